#pragma once
// Helpers shared by the fuzz targets: turning input bytes into QStrings that
// can hold any UTF-16 unit, and stopping with a readable reason.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QStringView>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace fuzz {

// A byte below 0x80 is that ASCII character, so that seeds stay readable and
// the fuzzer finds names and digits quickly; a byte from 0x80 up is followed
// by two bytes giving one UTF-16 unit (big-endian), which makes every unit,
// lone surrogates included, reachable. A cut-off escape is taken as Latin-1.
inline QString Units(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80 || i + 2 >= bytes.size()) {
            out.append(QChar(char16_t(b)));
            continue;
        }
        const auto hi = static_cast<unsigned char>(bytes[i + 1]);
        const auto lo = static_cast<unsigned char>(bytes[i + 2]);
        out.append(QChar(char16_t(hi << 8 | lo)));
        i += 2;
    }
    return out;
}

// Printable ASCII as it is, everything else as \u{XXXX}, so that a report
// shows blanks, line breaks and surrogates exactly.
inline std::string Show(QStringView s)
{
    std::string out = "\"";
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F && u != u'"' && u != u'\\') {
            out += char(u);
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u{%04X}", unsigned(u));
            out += buf;
        }
    }
    return out + "\"";
}

inline std::string Show(const QString& s)
{
    return Show(QStringView(s));
}

inline std::string Show(const std::optional<QString>& s)
{
    return s ? Show(*s) : std::string("(absent)");
}

[[noreturn]] inline void Fail(const std::string& reason)
{
    std::fprintf(stderr, "\n*** property violated: %s\n", reason.c_str());
    std::fflush(stderr);
    std::abort();
}

// A macro, so that the reason (which may print whole texts) is put together
// only when the check fails.
#define FUZZ_CHECK(ok, reason)        \
    do {                              \
        if (!(ok))                    \
            ::fuzz::Fail(reason);     \
    } while (false)

inline bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

inline QStringView TrimBlanks(QStringView s)
{
    while (!s.isEmpty() && IsBlank(s.front()))
        s = s.sliced(1);
    while (!s.isEmpty() && IsBlank(s.back()))
        s.chop(1);
    return s;
}

// Names match without regard to case, the blanks around them ignored.
inline bool SameName(QStringView a, QStringView b)
{
    return TrimBlanks(a).compare(TrimBlanks(b), Qt::CaseInsensitive) == 0;
}

// The same name spelt another way: blanks around it and ASCII letters in the
// other case (only ASCII, so that no folding rule can make it another name).
inline QString Respelt(QStringView s)
{
    QString out = QStringLiteral(" \t");
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            out.append(QChar(char16_t(u - 32)));
        else if (u >= u'A' && u <= u'Z')
            out.append(QChar(char16_t(u + 32)));
        else
            out.append(c);
    }
    return out + QStringLiteral("\t ");
}

// The section and key names a text seems to use, taken with a simple look at
// its lines, to give the targets names that are really there.
struct Names {
    QList<QString> sections;
    QList<QString> keys;
};

inline Names NamesIn(QStringView text, qsizetype most)
{
    Names names;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        const QStringView line = TrimBlanks(text.sliced(pos, end - pos));
        pos = end + 1;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            if (close > 0 && names.sections.size() < most)
                names.sections.append(line.sliced(1, close - 1).toString());
        } else if (const qsizetype eq = line.indexOf(u'='); eq > 0 && names.keys.size() < most) {
            names.keys.append(line.first(eq).toString());
        }
    }
    return names;
}

// Known faults can be stepped around during a long run, so that the fuzzer
// goes on looking for new ones: ZELBRIK_FUZZ_SKIP is a comma-separated list
// of the classes below. Unset (the default), every input is checked fully.
//   gb18030-cut   a file read as GB18030 with a line, or the text before an
//                 '=', that ends inside a character
//   utf16-odd     a UTF-16 file with half a unit at the end
//   feff-start    a text with U+FEFF in it (a value that starts with one reads without it)
inline bool Skipping(const char* fault)
{
    static const QStringList skipped = qEnvironmentVariable("ZELBRIK_FUZZ_SKIP").split(u',', Qt::SkipEmptyParts);
    return skipped.contains(QLatin1StringView(fault));
}

inline bool EndsInsideGb18030Character(QByteArrayView bytes)
{
    // One converter, reset for each use: opening one costs far more than a short decode.
    static QStringDecoder decoder("GB18030");
    decoder.resetState();
    const QString alone = decoder.decode(bytes);
    decoder.resetState();
    const QString followed = decoder.decode(bytes.toByteArray() + '\n');
    return alone + u'\n' != followed;
}

// The pieces a profile decodes on their own end at a line break, an '=' or
// the end of the file; none of these bytes can be part of a GB18030 character.
inline bool CutsGb18030Character(QByteArrayView file)
{
    qsizetype from = 0;
    for (qsizetype i = 0; i <= file.size(); ++i) {
        if (i < file.size() && file[i] != '\n' && file[i] != '\r' && file[i] != '=')
            continue;
        if (i > from && uchar(file[i - 1]) >= 0x30 && EndsInsideGb18030Character(file.sliced(from, i - from)))
            return true;
        from = i + 1;
    }
    return false;
}

// text is the file's Text().
inline bool InKnownFaultClass(const QByteArray& file, bool readAsGb18030, QStringView text)
{
    if (Skipping("feff-start") && text.contains(QChar(0xFEFF)))
        return true;
    if (Skipping("gb18030-cut") && readAsGb18030 && CutsGb18030Character(file))
        return true;
    const bool utf16 = file.startsWith("\xFF\xFE") || file.startsWith("\xFE\xFF");
    return Skipping("utf16-odd") && utf16 && file.size() % 2 != 0;
}

struct Pair {
    QString section;
    QString key;
};

// The names the program itself reads and writes.
inline const QList<Pair>& ProgramPairs()
{
    static const QList<Pair> pairs = {
        {QStringLiteral("jtzl"), QString::fromUtf8(u8"截图质量")},
        {QStringLiteral("HotKey2"), QString::fromUtf8(u8"截图热键")},
        {QStringLiteral("yincang"), QString::fromUtf8(u8"隐藏")},
    };
    return pairs;
}

}  // namespace fuzz
