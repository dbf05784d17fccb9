// The single-instance marker and the refusal of a second copy, in process.
// (The real binary's refusal is in test_e2e_startup.)

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
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
