// Reading any file at all: FromBytes and Value must never crash, hang or trip
// a sanitizer, and what they give must keep the promises of profiletext.h.

#include "fuzzcommon.h"
#include "settings/profiletext.h"

#include <cstddef>
#include <cstdint>

using fuzz::Show;

namespace {

// RFC 3629 UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(QByteArrayView b)
{
    qsizetype i = 0;
    while (i < b.size()) {
        const auto c = static_cast<unsigned char>(b[i]);
        int more;
        char32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= b.size())
            return false;
        for (int k = 1; k <= more; ++k) {
            const auto t = static_cast<unsigned char>(b[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (t & 0x3F);
        }
        const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (cp < least[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

void CheckEncoding(QByteArrayView bytes, const TProfileText& p, const QString& text, bool knownFault)
{
    using E = TProfileText::Encoding;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        FUZZ_CHECK(p.SourceEncoding() == E::Utf8, "a UTF-8 byte-order mark must give UTF-8");
        return;
    }
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        FUZZ_CHECK(p.SourceEncoding() == E::Utf16, "a UTF-16 byte-order mark must give UTF-16");
        return;
    }
    FUZZ_CHECK(bytes.isEmpty() || !text.isEmpty() || knownFault, "bytes without a byte-order mark gave no text");
    if (IsUtf8(bytes)) {
        FUZZ_CHECK(p.SourceEncoding() == E::Utf8, "valid UTF-8 was not taken as UTF-8");
        FUZZ_CHECK(text == QString::fromUtf8(bytes),
              "valid UTF-8 read as " + Show(text) + ", not as " + Show(QString::fromUtf8(bytes)));
    } else {
        FUZZ_CHECK(p.SourceEncoding() == E::Gb18030 || p.SourceEncoding() == E::Latin1,
              "text that is not UTF-8 and has no byte-order mark must be GB18030 or Latin-1");
    }
}

bool IsQuote(QChar c)
{
    return c == u'"' || c == u'\'';
}

// Whether the value stands in the text as a value is read: after an '=' and
// blanks, then either in a pair of quotes or on its own (when it has no
// blanks at its ends and no enclosing quotes of its own), then blanks up to
// the end of the line.
bool IsRestOfALine(const QString& text, const QString& v)
{
    const auto isLineEnd = [&](qsizetype i) { return i == text.size() || text[i] == u'\n' || text[i] == u'\r'; };
    const auto blanksBack = [&](qsizetype i) {
        while (i > 0 && fuzz::IsBlank(text[i - 1]))
            --i;
        return i;
    };
    const auto blanksOn = [&](qsizetype i) {
        while (i < text.size() && fuzz::IsBlank(text[i]))
            ++i;
        return i;
    };
    const bool bareable = fuzz::TrimBlanks(v).size() == v.size() &&
                          !(v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front());
    for (qsizetype at = text.indexOf(v); at >= 0; at = text.indexOf(v, at + 1)) {
        const qsizetype end = at + v.size();
        if (bareable) {
            const qsizetype before = blanksBack(at);
            if (before > 0 && text[before - 1] == u'=' && isLineEnd(blanksOn(end)))
                return true;
        }
        if (at > 0 && end < text.size() && IsQuote(text[at - 1]) && text[end] == text[at - 1]) {
            const qsizetype before = blanksBack(at - 1);
            if (before > 0 && text[before - 1] == u'=' && isLineEnd(blanksOn(end + 1)))
                return true;
        }
    }
    return false;
}

void CheckValue(const TProfileText& p, const QString& text, bool knownFault, const QString& section,
                const QString& key)
{
    const std::optional<QString> v = p.Value(section, key);
    const std::string where = "[" + Show(section) + "] " + Show(key);
    const std::optional<QString> again = p.Value(fuzz::Respelt(section), fuzz::Respelt(key));
    FUZZ_CHECK(again == v, where + " reads " + Show(v) + " but spelt as [" + Show(fuzz::Respelt(section)) +
                          "] " + Show(fuzz::Respelt(key)) + " reads " + Show(again));
    if (!v)
        return;
    FUZZ_CHECK(!v->contains(u'\n') && !v->contains(u'\r'), where + " has a line break: " + Show(v));
    FUZZ_CHECK(v->isEmpty() || knownFault || IsRestOfALine(text, *v),
               where + " reads " + Show(v) + ", which is no line's text after an '=' in " + Show(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const TProfileText p = TProfileText::FromBytes(bytes);
    FUZZ_CHECK(p.ToBytes() == bytes, "ToBytes() is not the bytes read");
    const QString text = p.Text();
    const bool knownFault =
        fuzz::InKnownFaultClass(bytes, p.SourceEncoding() == TProfileText::Encoding::Gb18030, text);
    CheckEncoding(bytes, p, text, knownFault);

    for (const fuzz::Pair& pair : fuzz::ProgramPairs())
        CheckValue(p, text, knownFault, pair.section, pair.key);

    // Names that the text really uses, each section with each key, and a few
    // cut straight from the input so that odd names are tried too.
    fuzz::Names names = fuzz::NamesIn(text, 2);
    if (size >= 2) {
        const qsizetype half = qsizetype(size) / 2;
        names.sections.append(fuzz::Units(QByteArrayView(bytes).first(half)));
        names.keys.append(fuzz::Units(QByteArrayView(bytes).sliced(half)));
    }
    for (const QString& s : names.sections)
        for (const QString& k : names.keys)
            CheckValue(p, text, knownFault, s, k);
    return 0;
}
