#include "settings/settings.h"

#include <QDir>

#include "common/userdirs.h"

namespace settings {

QString SettingsFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = HomeFolder() + QStringLiteral("/.config");
    return base + QLatin1Char('/') + kFileName;
}

}  // namespace settings
