#include "settings/intconv.h"

#include "platform/errors.h"

// Placeholder: decimal only, until the full rule lands.
std::optional<qint32> TryStrToInt(QStringView text)
{
    bool ok = false;
    int v = text.toInt(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

qint32 StrToInt(const QString& text)
{
    if (auto v = TryStrToInt(text))
        return *v;
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}
