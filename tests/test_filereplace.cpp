// Replacing a file's content, for the settings and for the pictures: a full
// disk leaves the old file as it was, and temporaries a killed run left
// behind are cleared by the next replace of the same file.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "common/errors.h"
#include "platform/filereplace.h"
#include "qcapture/jpeg.h"
#include "settings/profile.h"
#include "support/files.h"

namespace {

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

void Put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() && f.flush();
}

// Runs body in a child with a private mount namespace in which folder is a
// tiny tmpfs filled to the last block; the mount goes with the child. The
// child's exit code comes back: 0 for success, 77 when no such mount can be
// made here.
int OnFullDisk(const QString& folder, const QByteArray& oldContent,
               const std::function<int(const QString& target)>& body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const uid_t uid = geteuid();
        const gid_t gid = getegid();
        if (unshare(uid == 0 ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS) != 0)
            _exit(77);
        if (uid != 0) {
            WriteFile("/proc/self/setgroups", "deny");
            WriteFile("/proc/self/uid_map", QByteArray::number(uid) + ' ' + QByteArray::number(uid) + " 1");
            WriteFile("/proc/self/gid_map", QByteArray::number(gid) + ' ' + QByteArray::number(gid) + " 1");
        }
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=200k") != 0)
            _exit(77);
        const QString target = folder + "/target";
        if (!WriteFile(target, oldContent))
            _exit(20);
        // Fill what is left, a byte at a time at the end.
        QFile filler(folder + "/filler");
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            _exit(21);
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("f", 1) == 1) {
        }
        filler.close();
        _exit(body(target));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// What the child checks after the failed write: the error, the old file
// byte for byte, and nothing else left in the folder.
int CheckedFailure(const QString& target, const QByteArray& oldContent, const QString& expectedStart,
                   const std::function<void()>& write)
{
    try {
        write();
        std::fprintf(stderr, "the write on a full disk succeeded\n");
        return 1;
    } catch (const EError& e) {
        if (!e.Message().startsWith(expectedStart)) {
            std::fprintf(stderr, "message: %s\n", qPrintable(e.Message()));
            return 2;
        }
    }
    QFile f(target);
    if (!f.open(QIODevice::ReadOnly) || f.readAll() != oldContent)
        return 3;
    const QString folder = QFileInfo(target).absolutePath();
    if (Entries(folder) != QStringList({"filler", "target"})) {
        std::fprintf(stderr, "left: %s\n", qPrintable(Entries(folder).join(' ')));
        return 4;
    }
    return 0;
}

}  // namespace

// A settings file under the size of a write buffer is the case that emptied
// the file once: the failure then came only when the buffer was flushed.
TEST(ReplaceFile, FullDiskKeepsTheOldFileForBothWriters)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray ini = "[jtzl]\n" + QByteArray("\xE6\x88\xAA\xE5\x9B\xBE\xE8\xB4\xA8\xE9\x87\x8F=40\n");
    QImage old(32, 32, QImage::Format_RGB32);
    old.fill(Qt::red);
    const QByteArray jpeg = EncodeJpeg(old, 50);
    const struct {
        const char* what;
        QByteArray oldContent;
        QString expectedStart;
        std::function<void(const QString&)> write;
    } cases[] = {
        {"settings Save", ini, "Unable to write to ",
         [](const QString& target) {
             TIniFile(target).WriteValues({{"jtzl", QString::fromUtf8("截图质量"), "90"},
                                           {"HotKey2", QString::fromUtf8("截图热键"), "16465"},
                                           {"yincang", QString::fromUtf8("隐藏"), "1"}});
         }},
        {"JPEG save", jpeg, "Cannot write file \"",
         [](const QString& target) {
             QImage picture(64, 64, QImage::Format_RGB32);
             picture.fill(Qt::blue);
             SaveAsJpeg(target, picture, "90");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString folder = dir.filePath(c.what);
        ASSERT_TRUE(QDir().mkpath(folder));
        const int rc = OnFullDisk(folder, c.oldContent, [&](const QString& target) {
            return CheckedFailure(target, c.oldContent, c.expectedStart, [&] { c.write(target); });
        });
        if (rc == 77)
            GTEST_SKIP() << "no private tmpfs mount can be made here";
        EXPECT_EQ(rc, 0) << "1: no error, 2: wrong message, 3: old file changed, 4: a file was left, "
                            "20/21: the case could not be set up";
        EXPECT_TRUE(Entries(folder).isEmpty()) << "the mount stayed behind";
    }
}

// A writer holds a lock on its temporary file until it is renamed; a killed
// writer's lock is gone, and its file is cleared by the next replace of the
// same target. A temporary still being written, other targets' temporaries
// and the user's own files stay.
TEST(ReplaceFile, AbandonedTemporariesOfTheSameTargetAreRemoved)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path();
    const QStringList abandoned = {".shot.jpg.k3j2.tmp", ".shot.jpg.0.tmp"};
    const QStringList kept = {".shot.jpg.notours", ".shot.jpg.ab-c.tmp", ".other.jpg.k3j2.tmp",
                              "shot.jpg.bak", ".shot.jpg.live1.tmp"};
    for (const QString& name : abandoned + kept)
        Put(folder + "/" + name, "x");
    Put(folder + "/shot.jpg", "old");

    // A live writer: a child holding the lock on its temporary.
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        const int fd = open(QFile::encodeName(folder + "/.shot.jpg.live1.tmp").constData(), O_RDWR);
        const char ok = (fd >= 0 && flock(fd, LOCK_EX) == 0) ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        char c;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');

    EXPECT_EQ(ReplaceFileContent(folder + "/shot.jpg", "new"), std::nullopt);
    EXPECT_EQ(ReadAll(folder + "/shot.jpg"), QByteArray("new"));
    QStringList expected = kept;
    expected << "shot.jpg";
    expected.sort();
    QStringList left = Entries(folder);
    left.sort();
    EXPECT_EQ(left, expected);

    (void)!write(release[1], "x", 1);
    waitpid(holder, nullptr, 0);
    // Its writer gone, the last one goes with the next replace; so do the
    // settings file's own.
    Put(folder + "/.zelbrik.ini.zz9.tmp", "x");
    EXPECT_EQ(ReplaceFileContent(folder + "/shot.jpg", "newer"), std::nullopt);
    TIniFile(folder + "/zelbrik.ini").WriteString("a", "x", "1");
    EXPECT_FALSE(Entries(folder).contains(".shot.jpg.live1.tmp"));
    EXPECT_FALSE(Entries(folder).contains(".zelbrik.ini.zz9.tmp"));
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        close(fd);
}
