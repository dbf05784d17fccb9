#pragma once
// Helpers shared by the fuzz targets: turning input bytes into QStrings that
// can hold any UTF-16 unit, and stopping with a readable reason.

#include <QByteArray>
#include <QList>
#include <QString>
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

inline void Check(bool ok, const std::string& reason)
{
    if (!ok)
        Fail(reason);
}

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
