#include "settings/profiletext.h"

#include <QStringDecoder>

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView TrimBlanks(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.sliced(b, e - b);
}

bool SameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool ContainsLineBreak(QStringView s)
{
    return s.contains(u'\n') || s.contains(u'\r');
}

QString DecodeUtf16(const QByteArray& bytes, QStringConverter::Encoding encoding)
{
    QStringDecoder decoder(encoding);  // takes the byte-order mark off
    return decoder.decode(bytes);
}

}  // namespace

struct TProfileText::Location {
    bool sectionFound = false;
    Line lastNonBlank;  // in the section; its header when it has nothing else
    bool keyFound = false;
    qsizetype valueStart = 0;  // after '=' and the blanks that follow it
    qsizetype valueEnd = 0;    // end of the line's text
};

TProfileText TProfileText::FromBytes(const QByteArray& bytes)
{
    TProfileText result;
    QByteArrayView body(bytes);

    if (body.startsWith("\xEF\xBB\xBF")) {
        result.utf8Bom_ = true;
        result.encoding_ = Encoding::Utf8;
        // The mark says UTF-8; what does not decode becomes replacement characters.
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        result.text_ = decoder.decode(body.sliced(3));
        return result;
    }
    if (body.startsWith("\xFF\xFE") || body.startsWith("\xFE\xFF")) {
        result.encoding_ = Encoding::Utf16;
        result.text_ = DecodeUtf16(bytes, body.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                                      : QStringConverter::Utf16BE);
        return result;
    }

    // Stateless, so that a sequence cut off at the end counts as an error too.
    QStringDecoder utf8(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8.decode(body);
    if (!utf8.hasError()) {
        result.encoding_ = Encoding::Utf8;
        result.text_ = std::move(text);
        return result;
    }

    // Files of the Windows original hold their Chinese keys in code page 936,
    // which GB18030 contains.
    QStringDecoder gb("GB18030");
    if (gb.isValid()) {
        result.encoding_ = Encoding::Gb18030;
        result.text_ = gb.decode(body);
    } else {
        result.encoding_ = Encoding::Latin1;
        result.text_ = QString::fromLatin1(body);
    }
    return result;
}

QByteArray TProfileText::ToBytes() const
{
    QByteArray out;
    if (utf8Bom_)
        out = QByteArrayLiteral("\xEF\xBB\xBF");
    out += text_.toUtf8();
    return out;
}

bool TProfileText::NextLine(qsizetype from, Line& line) const
{
    const qsizetype n = text_.size();
    if (from >= n)
        return false;
    const QChar* data = text_.constData();
    qsizetype i = from;
    while (i < n && data[i] != u'\n' && data[i] != u'\r')
        ++i;
    line.start = from;
    line.contentEnd = i;
    if (i < n) {
        if (data[i] == u'\r' && i + 1 < n && data[i + 1] == u'\n')
            i += 2;
        else
            ++i;
    }
    line.end = i;
    return true;
}

TProfileText::Location TProfileText::Find(QStringView section, QStringView key) const
{
    Location loc;
    const QStringView all(text_);
    bool inSection = false;
    Line line;
    qsizetype pos = 0;
    while (NextLine(pos, line)) {
        pos = line.end;
        const QStringView raw = all.sliced(line.start, line.contentEnd - line.start);
        const QStringView content = TrimBlanks(raw);
        if (content.isEmpty())
            continue;
        const QChar first = content.front();
        if (first == u'[') {
            const qsizetype close = content.indexOf(u']');
            if (close > 0) {
                if (inSection)
                    break;  // the first matching section ends here
                if (SameName(TrimBlanks(content.sliced(1, close - 1)), section)) {
                    loc.sectionFound = true;
                    loc.lastNonBlank = line;
                    inSection = true;
                }
                continue;
            }
            // A '[' without ']' names no section; the line is kept and otherwise ignored.
        }
        if (!inSection)
            continue;
        loc.lastNonBlank = line;
        if (first == u';' || first == u'#' || first == u'[')
            continue;
        const qsizetype eq = raw.indexOf(u'=');
        if (eq < 0)
            continue;
        if (!SameName(TrimBlanks(raw.first(eq)), key))
            continue;
        loc.keyFound = true;
        qsizetype v = line.start + eq + 1;
        while (v < line.contentEnd && IsBlank(all[v]))
            ++v;
        loc.valueStart = v;
        loc.valueEnd = line.contentEnd;
        break;
    }
    return loc;
}

std::optional<QString> TProfileText::Value(QStringView section, QStringView key) const
{
    const Location loc = Find(TrimBlanks(section), TrimBlanks(key));
    if (!loc.keyFound)
        return std::nullopt;
    QStringView value =
        TrimBlanks(QStringView(text_).sliced(loc.valueStart, loc.valueEnd - loc.valueStart));
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    return value.toString();
}

QString TProfileText::LineBreak() const
{
    Line line;
    qsizetype pos = 0;
    // The first line break of the file sets the style of the lines we add.
    if (NextLine(pos, line) && line.end > line.contentEnd)
        return text_.sliced(line.contentEnd, line.end - line.contentEnd);
    return QStringLiteral("\n");
}

bool TProfileText::CanStore(QStringView section, QStringView key, QStringView value)
{
    const QStringView s = TrimBlanks(section);
    const QStringView k = TrimBlanks(key);
    if (s.isEmpty() || k.isEmpty())
        return false;
    if (ContainsLineBreak(section) || ContainsLineBreak(key) || ContainsLineBreak(value))
        return false;
    if (s.contains(u']') || k.contains(u'='))
        return false;
    const QChar first = k.front();
    return first != u';' && first != u'#' && first != u'[';
}

bool TProfileText::SetValue(QStringView section, QStringView key, QStringView value)
{
    if (!CanStore(section, key, value))
        return false;
    const QStringView s = TrimBlanks(section);
    const QStringView k = TrimBlanks(key);
    const Location loc = Find(s, k);

    if (loc.keyFound) {
        text_.replace(loc.valueStart, loc.valueEnd - loc.valueStart, value.data(), value.size());
        return true;
    }

    const QString eol = LineBreak();
    QString entry = k.toString();
    entry.append(u'=').append(value).append(eol);
    if (loc.sectionFound) {
        const Line& last = loc.lastNonBlank;
        // Only the file's last line can lack a line break.
        const QString prefix = last.end == last.contentEnd ? eol : QString();
        text_.insert(last.end, prefix + entry);
        return true;
    }

    if (!text_.isEmpty() && !text_.endsWith(u'\n') && !text_.endsWith(u'\r'))
        text_ += eol;
    text_.append(u'[').append(s).append(u']').append(eol).append(entry);
    return true;
}
