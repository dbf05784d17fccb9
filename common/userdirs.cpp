#include "common/userdirs.h"

#include <QDir>
#include <QFile>
#include <pwd.h>
#include <unistd.h>

#include <vector>

QString HomeFolder()
{
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return QDir::cleanPath(home);
    // A program started from a service or with a cleaned environment may have
    // no HOME; the user database still knows where the user lives.
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size_t(size > 0 ? size : 16384));
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return QDir::cleanPath(QFile::decodeName(found->pw_dir));
    return QStringLiteral("/");
}
