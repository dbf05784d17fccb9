#include "platform/instancelock.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/userdirs.h"

namespace {

// A folder nobody but this user can add files to or take them from: the lock
// file in it cannot be made or held first by anyone else.
bool IsPrivateFolder(const QString& path, bool followLink)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return false;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if ((followLink ? ::stat(name.constData(), &st) : ::lstat(name.constData(), &st)) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 &&
           ::access(name.constData(), W_OK | X_OK) == 0;
}

// A folder of our own in the shared temporary folder: made private, or
// accepted only when it already is ours and private.
QString OwnTempFolder(const QString& name)
{
    const QString path = QDir::tempPath() + QStringLiteral("/%1-%2").arg(name).arg(::geteuid());
    ::mkdir(QFile::encodeName(path).constData(), 0700);
    return IsPrivateFolder(path, false) ? path : QString();
}

}  // namespace

QString InstanceLockPath(const QString& name)
{
    const QString lockName = name + QStringLiteral(".lock");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (IsPrivateFolder(runtime, true))
        return runtime + u'/' + lockName;
    const QString systemRuntime = QStringLiteral("/run/user/%1").arg(::geteuid());
    if (IsPrivateFolder(systemRuntime, true))
        return systemRuntime + u'/' + lockName;
    const QString temp = OwnTempFolder(name);
    if (!temp.isEmpty())
        return temp + u'/' + lockName;
    // Someone else took our name in the temporary folder: the home folder is
    // still ours alone.
    const QString cache = HomeFolder() + QStringLiteral("/.cache");
    QDir().mkpath(cache);
    if (IsPrivateFolder(cache, true))
        return cache + QStringLiteral("/%1-%2.lock").arg(name).arg(::geteuid());
    return QString();
}

bool ClaimSingleInstance(const QString& name)
{
    const QString lockPath = InstanceLockPath(name);
    if (lockPath.isEmpty())
        return true;
    const QByteArray path = QFile::encodeName(lockPath);
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;  // fd stays open for the life of the process
    const bool heldByOther = errno == EWOULDBLOCK;
    ::close(fd);
    return !heldByOther;
}
