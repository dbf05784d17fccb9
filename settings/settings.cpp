#include "settings/settings.h"

#include <QDir>

namespace settings {

QString SettingsFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QLatin1Char('/') + kFileName;
}

}  // namespace settings
