#pragma once
// Where the settings live and what they are called.

#include <QString>

#include "common/hotkeycode.h"

namespace settings {

inline const QString kFileName = QStringLiteral("zelbrik.ini");

inline const QString kQualitySection = QStringLiteral("jtzl");
inline const QString kQualityKey = QStringLiteral("截图质量");
inline const QString kQualityDefault = QStringLiteral("50");

inline const QString kHotKeySection = QStringLiteral("HotKey2");
inline const QString kHotKeyKey = QStringLiteral("截图热键");
inline constexpr qint32 kHotKeyDefault = qint32(hotkey::kDefault);  // Ctrl+Q, 16465

inline const QString kHiddenSection = QStringLiteral("yincang");
inline const QString kHiddenKey = QStringLiteral("隐藏");
inline constexpr qint32 kHiddenDefault = 0;

// "zelbrik.ini" in $XDG_CONFIG_HOME, or in ~/.config when that is unset or
// not an absolute path.
QString SettingsFilePath();

}  // namespace settings
