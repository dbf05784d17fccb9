#include "settings/profiletext.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool IsBlankUnit(char16_t u)
{
    return u == u' ' || u == u'\t';
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

bool IsQuote(QChar c)
{
    return c == u'"' || c == u'\'';
}

// The quotes a read takes off: one pair of the same kind around the value.
bool HasEnclosingQuotes(QStringView s)
{
    return s.size() >= 2 && IsQuote(s.front()) && s.back() == s.front();
}

// Strict UTF-8: no over-long forms, no encoded surrogates, nothing past
// U+10FFFF, no sequence cut off at the end. Checked in place, so that a large
// file is not decoded as a whole only to learn what it is.
bool IsValidUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const uchar c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        char32_t cp = 0;
        char32_t lowest = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2, cp = c & 0x1F, lowest = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, cp = c & 0x0F, lowest = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, cp = c & 0x07, lowest = 0x10000;
        } else {
            return false;
        }
        if (n - i < length)
            return false;
        for (int k = 1; k < length; ++k) {
            const uchar cc = p[i + k];
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

bool IsAscii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

}  // namespace

// Decodes and encodes pieces of one file in its own encoding.
class TProfileText::Codec {
public:
    Codec(Encoding encoding, bool bigEndian) : encoding_(encoding), bigEndian_(bigEndian) {}

    // Each piece on its own: a character cut off at its end becomes a
    // replacement character instead of waiting for bytes that never come,
    // and a U+FEFF at its start is text, not a byte-order mark.
    QString Decode(const QByteArray& bytes, qsizetype from, qsizetype to)
    {
        QByteArrayView piece(bytes.constData() + from, to - from);
        if (encoding_ == Encoding::Latin1)
            return QString::fromLatin1(piece);
        if (!decoder_.isValid())
            decoder_ = MakeDecoder();
        decoder_.resetState();
        if (encoding_ == Encoding::Utf16) {
            const bool half = piece.size() % 2 != 0;
            QString text = decoder_.decode(piece.first(piece.size() - (half ? 1 : 0)));
            if (half)
                text += QChar::ReplacementCharacter;
            return text;
        }
        if (encoding_ == Encoding::Gb18030) {
            // Qt's GB18030 decoder keeps a cut-off character waiting even
            // when told to be stateless. A line feed, which is never part of
            // a character, ends it; it is taken off again.
            QByteArray terminated(piece.data(), piece.size());
            terminated.append('\n');
            QString text = decoder_.decode(terminated);
            if (text.endsWith(u'\n'))
                text.chop(1);
            return text;
        }
        return decoder_.decode(piece);
    }

    // nullopt when the encoding cannot hold the text.
    std::optional<QByteArray> Encode(QStringView text) const
    {
        switch (encoding_) {
        case Encoding::Utf8:
            return text.toUtf8();
        case Encoding::Latin1:
            for (const QChar c : text)
                if (c.unicode() > 0xFF)
                    return std::nullopt;
            return text.toLatin1();
        case Encoding::Utf16:
        case Encoding::Gb18030:
            break;
        }
        QStringEncoder encoder = encoding_ == Encoding::Gb18030
                                     ? QStringEncoder("GB18030")
                                     : QStringEncoder(bigEndian_ ? QStringConverter::Utf16BE
                                                                 : QStringConverter::Utf16LE);
        if (!encoder.isValid())
            return std::nullopt;
        QByteArray out = encoder.encode(text);
        if (encoder.hasError())
            return std::nullopt;
        return out;
    }

private:
    QStringDecoder MakeDecoder() const
    {
        constexpr auto flags = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;
        if (encoding_ == Encoding::Gb18030)
            return QStringDecoder("GB18030", flags);
        if (encoding_ == Encoding::Utf8)
            return QStringDecoder(QStringConverter::Utf8, flags);
        return QStringDecoder(bigEndian_ ? QStringConverter::Utf16BE : QStringConverter::Utf16LE, flags);
    }

    Encoding encoding_;
    bool bigEndian_;
    QStringDecoder decoder_;
};

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
    result.bytes_ = bytes;
    const QByteArrayView body(bytes);

    if (body.startsWith("\xEF\xBB\xBF")) {
        // The mark says UTF-8; what does not decode becomes replacement characters.
        result.encoding_ = Encoding::Utf8;
        result.bodyStart_ = 3;
    } else if (body.startsWith("\xFF\xFE") || body.startsWith("\xFE\xFF")) {
        result.encoding_ = Encoding::Utf16;
        result.bigEndian_ = body.startsWith("\xFE\xFF");
        result.bodyStart_ = 2;
    } else if (IsValidUtf8(body)) {
        result.encoding_ = Encoding::Utf8;
    } else if (QStringDecoder("GB18030").isValid()) {
        // Files of the Windows original hold their Chinese keys in code page
        // 936, which GB18030 contains.
        result.encoding_ = Encoding::Gb18030;
    } else {
        result.encoding_ = Encoding::Latin1;
    }
    return result;
}

QString TProfileText::Text() const
{
    Codec codec(encoding_, bigEndian_);
    return codec.Decode(bytes_, bodyStart_, bytes_.size());
}

char16_t TProfileText::UnitAt(qsizetype offset) const
{
    const auto* p = reinterpret_cast<const uchar*>(bytes_.constData());
    if (encoding_ != Encoding::Utf16)
        return p[offset];
    if (offset + 1 >= bytes_.size())
        return 0xFFFF;  // half a unit at the end: content, never a line break
    return bigEndian_ ? char16_t(p[offset] << 8 | p[offset + 1]) : char16_t(p[offset + 1] << 8 | p[offset]);
}

bool TProfileText::NextLine(qsizetype from, Line& line) const
{
    // Line breaks, '[', '=', ';', '#' and blanks are ASCII, and in UTF-8 and
    // GB18030 such bytes never occur inside a multi-byte character; for UTF-16
    // they are whole units. So lines and names can be found on the bytes.
    const qsizetype n = bytes_.size();
    const int unit = UnitSize();
    if (from >= n)
        return false;
    qsizetype i = from;
    while (i < n && UnitAt(i) != u'\n' && UnitAt(i) != u'\r')
        i += unit;
    i = std::min(i, n);
    line.start = from;
    line.contentEnd = i;
    if (i < n) {
        if (UnitAt(i) == u'\r' && i + unit < n && UnitAt(i + unit) == u'\n')
            i += 2 * unit;
        else
            i += unit;
    }
    line.end = std::min(i, n);
    return true;
}

TProfileText::Location TProfileText::Find(QStringView section, QStringView key) const
{
    Location loc;
    Codec codec(encoding_, bigEndian_);
    const int unit = UnitSize();
    bool inSection = false;
    Line line;
    qsizetype pos = bodyStart_;
    while (NextLine(pos, line)) {
        pos = line.end;
        qsizetype b = line.start;
        qsizetype e = line.contentEnd;
        while (b < e && IsBlankUnit(UnitAt(b)))
            b += unit;
        while (e - unit >= b && IsBlankUnit(UnitAt(e - unit)))
            e -= unit;
        if (b >= e)
            continue;
        const char16_t first = UnitAt(b);
        if (first == u'[') {
            // ']' may be a second byte of a GB18030 character: look in the text.
            const QString content = codec.Decode(bytes_, b, e);
            const qsizetype close = content.indexOf(u']');
            if (close > 0) {
                if (inSection)
                    break;  // the first matching section ends here
                if (SameName(TrimBlanks(QStringView(content).sliced(1, close - 1)), section)) {
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
        qsizetype eq = line.start;
        while (eq < line.contentEnd && UnitAt(eq) != u'=')
            eq += unit;
        if (eq >= line.contentEnd)
            continue;
        if (!SameName(TrimBlanks(codec.Decode(bytes_, line.start, eq)), key))
            continue;
        loc.keyFound = true;
        qsizetype v = eq + unit;
        while (v < line.contentEnd && IsBlankUnit(UnitAt(v)))
            v += unit;
        loc.valueStart = std::min(v, line.contentEnd);
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
    Codec codec(encoding_, bigEndian_);
    const QString raw = codec.Decode(bytes_, loc.valueStart, loc.valueEnd);
    QStringView value = TrimBlanks(raw);
    if (HasEnclosingQuotes(value))
        value = value.sliced(1, value.size() - 2);
    return value.toString();
}

bool TProfileText::EndsWithLineBreak() const
{
    const qsizetype n = bytes_.size();
    const int unit = UnitSize();
    if ((n - bodyStart_) % unit != 0 || n - unit < bodyStart_)
        return false;
    const char16_t last = UnitAt(n - unit);
    return last == u'\n' || last == u'\r';
}

QString TProfileText::LineBreak() const
{
    Line line;
    // The first line break of the file sets the style of the lines we add.
    if (NextLine(bodyStart_, line) && line.end > line.contentEnd)
        return UnitAt(line.contentEnd) == u'\n'                  ? QStringLiteral("\n")
               : line.end - line.contentEnd == 2 * UnitSize()    ? QStringLiteral("\r\n")
                                                                 : QStringLiteral("\r");
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
    if (!section.isValidUtf16() || !key.isValidUtf16() || !value.isValidUtf16())
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
    const Codec codec(encoding_, bigEndian_);

    // A read trims blanks and takes one pair of quotes off; quoting such a
    // value makes the read give it back whole.
    QString stored = value.toString();
    if (!value.isEmpty() && (IsBlank(value.front()) || IsBlank(value.back()) || HasEnclosingQuotes(value)))
        stored = u'"' + stored + u'"';

    QByteArray out = bytes_;
    if (loc.keyFound) {
        const std::optional<QByteArray> encoded = codec.Encode(stored);
        if (!encoded)
            return false;
        out.replace(loc.valueStart, loc.valueEnd - loc.valueStart, *encoded);
    } else {
        const QString eol = LineBreak();
        QString added = k.toString() + u'=' + stored + eol;
        qsizetype at = out.size();
        if (loc.sectionFound) {
            const Line& last = loc.lastNonBlank;
            at = last.end;
            // Only the file's last line can lack a line break.
            if (last.end == last.contentEnd)
                added.prepend(eol);
        } else {
            added = u'[' + s.toString() + u']' + eol + added;
            if (out.size() > bodyStart_ && !EndsWithLineBreak())
                added.prepend(eol);
        }
        const std::optional<QByteArray> encoded = codec.Encode(added);
        if (!encoded)
            return false;
        // Half a UTF-16 unit at the end would shift everything added after
        // it by one byte. It reads as a replacement character: put a whole
        // one in its place, so that the line still reads as it did.
        if (encoding_ == Encoding::Utf16 && at == out.size() && (at - bodyStart_) % 2 != 0) {
            out.chop(1);
            out.append(bigEndian_ ? "\xFF\xFD" : "\xFD\xFF", 2);
            at = out.size();
        }
        out.insert(at, *encoded);
    }

    // The change must read back as asked, and must not make the rest of the
    // file decode differently (a GB18030 file whose only non-UTF-8 bytes were
    // the old value would now read as UTF-8).
    const TProfileText changed = FromBytes(out);
    if (changed.encoding_ != encoding_ && !IsAscii(QByteArrayView(out).sliced(changed.bodyStart_)))
        return false;
    if (changed.Value(s, k) != value)
        return false;
    *this = changed;
    return true;
}
