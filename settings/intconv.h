#pragma once
// The one integer conversion of the program, used for the quality text and for
// integers in the settings file: leading spaces, an optional sign, then decimal
// digits within the signed 32-bit range, or a hexadecimal marker ($, x, X, 0x,
// 0X) and one to eight hex digits taken as a signed 32-bit pattern. Nothing
// may follow the digits.

#include <QString>
#include <QStringView>
#include <optional>

std::optional<qint32> TryStrToInt(QStringView text);

// Throws EConvertError "'<text>' is not a valid integer value".
qint32 StrToInt(const QString& text);
