#include "platform/filereplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

using Step = FileReplaceFailure::Step;

// The temporary is ".<target name>.<random>.tmp" in the target's folder (the
// rename must stay on one file system), hidden so that it does not show up in
// the user's folder while it exists.
QByteArray TempPrefix(const QByteArray& base)
{
    return '.' + base.left(200) + '.';
}

bool IsOurTempName(const char* name, const QByteArray& prefix)
{
    const size_t n = std::strlen(name);
    if (n <= size_t(prefix.size()) + 4 || std::strncmp(name, prefix.constData(), size_t(prefix.size())) != 0 ||
        std::strcmp(name + n - 4, ".tmp") != 0)
        return false;
    for (size_t i = size_t(prefix.size()); i < n - 4; ++i)
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'z')))
            return false;
    return true;
}

// A writer holds an exclusive lock on its temporary until the rename, so a
// temporary nobody holds is what a killed run left behind. Only our own
// regular files of our own name pattern are touched.
void RemoveAbandonedTemps(const QByteArray& folder, const QByteArray& prefix)
{
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsOurTempName(entry->d_name, prefix))
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dirFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

// The temporary file while it is being written: closed and removed unless
// it has been renamed into place.
struct TempFile {
    QByteArray name;
    int fd = -1;
    bool placed = false;
    ~TempFile()
    {
        if (!placed && !name.isEmpty())
            ::unlink(name.constData());
        if (fd >= 0)
            ::close(fd);
    }
};

bool WriteAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(std::min<qsizetype>(size, qsizetype(1) << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

}  // namespace

std::optional<FileReplaceFailure> ReplaceFileContent(const QString& path, const QByteArray& bytes)
{
    const auto fail = [](Step step, int error) { return FileReplaceFailure{step, error}; };
    if (path.isEmpty())
        return fail(Step::Create, ENOENT);
    QByteArray target = QFile::encodeName(path);

    // Replace what a symbolic link points to, not the link.
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(target.constData(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(target.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return fail(Step::Create, EISDIR);

    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.left(slash);
    const QByteArray prefix = TempPrefix(target.mid(slash + 1));
    const QByteArray folderPrefix = folder.endsWith('/') ? folder : folder + '/';

    RemoveAbandonedTemps(folder, prefix);

    // Mode 0666 lets the umask decide, as for any new file.
    TempFile temp;
    for (int attempt = 0; temp.fd < 0; ++attempt) {
        const QByteArray name =
            folderPrefix + prefix + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temp.name = name;
            temp.fd = fd;
        } else if (errno != EEXIST || attempt == 100) {
            return fail(Step::Create, errno);
        }
    }
    // Marks the file as being written; the lock goes with the process.
    ::flock(temp.fd, LOCK_EX | LOCK_NB);

    if (exists) {
        if (::fchmod(temp.fd, st.st_mode & 07777) != 0)
            return fail(Step::Create, errno);
        // Only root can give a file away; for anyone else the new file is theirs.
        if (::fchown(temp.fd, st.st_uid, st.st_gid) != 0) {
        }
    }

    // Every failure counts: a short write, a full disk seen only at fsync,
    // an error reported at close by a network file system.
    if (!WriteAll(temp.fd, bytes.constData(), bytes.size()) || ::fsync(temp.fd) != 0)
        return fail(Step::Write, errno);

    if (::rename(temp.name.constData(), target.constData()) != 0)
        return fail(Step::Create, errno);
    temp.placed = true;
    const int fd = temp.fd;
    temp.fd = -1;
    // The data is on the disk (fsync above); close only gives up the lock.
    ::close(fd);

    // Make the new name itself durable; a failure here loses nothing already written.
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}
