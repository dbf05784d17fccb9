#include "settings/intconv.h"

#include "common/errors.h"

namespace {

int HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool IsDecimalDigit(QChar c)
{
    // Only ASCII digits: QChar::isDigit would also take full-width and other scripts' digits.
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

}  // namespace

std::optional<qint32> TryStrToInt(QStringView text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text[i] == u' ')  // the space character only, not tabs
        ++i;

    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    bool hex = false;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }

    if (i == n)
        return std::nullopt;  // empty, a lone sign, or a marker without digits

    if (hex) {
        if (n - i > 8)
            return std::nullopt;
        quint32 pattern = 0;
        for (; i < n; ++i) {
            const int d = HexDigitValue(text[i]);
            if (d < 0)
                return std::nullopt;
            pattern = (pattern << 4) | quint32(d);
        }
        // The sign applies to the 32-bit pattern, wrapping: -$80000000 stays the lowest value.
        if (negative)
            pattern = 0u - pattern;
        return qint32(pattern);
    }

    // Accumulate the magnitude in 64 bits and stop as soon as it leaves the
    // range, so that a long run of digits cannot overflow.
    const qint64 limit = negative ? qint64(2147483648LL) : qint64(2147483647LL);
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        if (!IsDecimalDigit(text[i]))
            return std::nullopt;
        magnitude = magnitude * 10 + (text[i].unicode() - u'0');
        if (magnitude > limit)
            return std::nullopt;
    }
    return qint32(negative ? -magnitude : magnitude);
}

qint32 StrToInt(const QString& text)
{
    if (auto v = TryStrToInt(text))
        return *v;
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}
