#include "platform/instancelock.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

QString InstanceLockPath(const QString& name)
{
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QDir::isAbsolutePath(dir) || !QFileInfo(dir).isDir()) {
        // Per user even without a runtime folder: the user id is in the name.
        dir = QDir::tempPath();
        return dir + QStringLiteral("/%1-%2.lock").arg(name).arg(getuid());
    }
    return dir + QStringLiteral("/%1.lock").arg(name);
}

bool ClaimSingleInstance(const QString& name)
{
    const QByteArray path = QFile::encodeName(InstanceLockPath(name));
    int fd = open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return true;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;  // fd stays open for the life of the process
    const bool heldByOther = errno == EWOULDBLOCK;
    close(fd);
    return !heldByOther;
}
