// The single-instance marker and the refusal of a second copy, in process.
// (The real binary's refusal is in test_e2e_startup.)

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "main/startup.h"
#include "platform/instancelock.h"
#include "support/modalwatcher.h"

namespace {

// Whether a fresh process could claim the marker now.
bool FreshProcessCanClaim(const QString& name)
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(ClaimSingleInstance(name) ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

TEST(SingleInstance, MarkerIsPerNameAndHeldUntilTheHolderEnds)
{
    const QString name = QStringLiteral("zelbrik_test_%1").arg(getpid());
    EXPECT_TRUE(FreshProcessCanClaim(name)) << "a child that ended released it";
    ASSERT_TRUE(ClaimSingleInstance(name));
    EXPECT_FALSE(FreshProcessCanClaim(name)) << "held by this process";
    EXPECT_TRUE(FreshProcessCanClaim(name + "_other"));
    EXPECT_TRUE(InstanceLockPath(name).startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR")));
}

TEST(SingleInstance, WithoutRuntimeFolderTheMarkerIsStillPerUser)
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString path = InstanceLockPath(QStringLiteral("zelbrik_qpxr"));
    qputenv("XDG_RUNTIME_DIR", saved);
    EXPECT_TRUE(path.contains(QString::number(getuid()))) << path.toStdString();
}

TEST(SingleInstance, SecondCopyIsToldWithTheInformationBox)
{
    ModalWatcher boxes;
    // The first claim makes this process the running copy; the second is the
    // refused one (flock conflicts between two opens of the same file).
    ASSERT_TRUE(ClaimFirstCopy());
    EXPECT_TRUE(boxes.seen().empty());
    EXPECT_FALSE(ClaimFirstCopy());
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text.toStdString(), "截图工具已经打开了,隐藏在任务栏的右边!");
    EXPECT_EQ(boxes.seen()[0].caption.toStdString(), "信息框");
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Information);
}

namespace {

// Runs body as an unprivileged user (65534 when this process is root, else
// as itself) in a child with the given environment changes; its exit code.
int AsUser(const std::map<std::string, std::string>& env, const std::function<int()>& body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(10);
        for (const auto& [k, v] : env) {
            if (v.empty())
                unsetenv(k.c_str());
            else
                setenv(k.c_str(), v.c_str(), 1);
        }
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// In the child: it claims the marker, and a fresh process after it is refused.
int ClaimsAndRefusesTheNext(const QString& name, const QString& mustNotStartWith)
{
    const QString path = InstanceLockPath(name);
    if (path.isEmpty() || (!mustNotStartWith.isEmpty() && path.startsWith(mustNotStartWith)))
        return 1;
    if (!ClaimSingleInstance(name))
        return 2;
    return FreshProcessCanClaim(name) ? 3 : 0;
}

uid_t UserOfTheChild()
{
    return geteuid() == 0 ? 65534 : geteuid();
}

}  // namespace

// A runtime folder that cannot be written must not turn the marker off: two
// copies would run with two tray icons.
TEST(SingleInstance, UnwritableRuntimeFolderStillKeepsOneCopy)
{
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const QString runtime = base.path() + "/runtime";
    const QString home = base.path() + "/home";
    const QString tmp = base.path() + "/tmp";
    for (const QString& d : {runtime, home, tmp})
        ASSERT_TRUE(QDir().mkpath(d));
    for (const QString& d : {base.path(), runtime, home, tmp})
        ASSERT_EQ(chown(QFile::encodeName(d).constData(), UserOfTheChild(), UserOfTheChild()), 0);
    ASSERT_EQ(chmod(QFile::encodeName(runtime).constData(), 0500), 0);
    ASSERT_EQ(chmod(QFile::encodeName(tmp).constData(), 01777), 0);
    const int rc = AsUser({{"XDG_RUNTIME_DIR", runtime.toStdString()},
                           {"HOME", home.toStdString()},
                           {"TMPDIR", tmp.toStdString()}},
                          [&] { return ClaimsAndRefusesTheNext("zelbrik_qpxr", runtime); });
    EXPECT_EQ(rc, 0) << "1: the lock is in the unwritable folder, 2: not claimed, 3: a second copy "
                        "could claim it too, 10: could not give up root";
}

// Without a runtime folder the marker must not be one that another local
// user can make and hold first, which would keep the real user's program
// from ever starting.
TEST(SingleInstance, AnotherUserCannotTakeTheMarkerFirst)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another user is needed to play the squatter; run as root";
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const QString home = base.path() + "/home";
    const QString tmp = base.path() + "/tmp";
    for (const QString& d : {home, tmp})
        ASSERT_TRUE(QDir().mkpath(d));
    ASSERT_EQ(chown(QFile::encodeName(home).constData(), 65534, 65534), 0);
    ASSERT_EQ(chmod(QFile::encodeName(base.path()).constData(), 0755), 0);
    ASSERT_EQ(chmod(QFile::encodeName(tmp).constData(), 01777), 0);

    // Root squats on every name the user's copy could pick in the shared
    // temporary folder, and holds the locks.
    const QString squatFolder = tmp + "/zelbrik_qpxr-65534";
    ASSERT_TRUE(QDir().mkpath(squatFolder));
    ASSERT_EQ(chmod(QFile::encodeName(squatFolder).constData(), 0777), 0);
    std::vector<int> held;
    for (const QString& lock : {tmp + "/zelbrik_qpxr-65534.lock", squatFolder + "/zelbrik_qpxr.lock"}) {
        const int fd = open(QFile::encodeName(lock).constData(), O_RDWR | O_CREAT, 0666);
        ASSERT_GE(fd, 0);
        fchmod(fd, 0666);
        ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
        held.push_back(fd);
    }
    const int rc = AsUser({{"XDG_RUNTIME_DIR", ""}, {"HOME", home.toStdString()}, {"TMPDIR", tmp.toStdString()}},
                          [&] { return ClaimsAndRefusesTheNext("zelbrik_qpxr", tmp); });
    EXPECT_EQ(rc, 0) << "1: the lock is where the squatter can reach it, 2: the program was kept "
                        "from starting, 3: a second copy could claim it too";
    for (int fd : held)
        close(fd);
}
