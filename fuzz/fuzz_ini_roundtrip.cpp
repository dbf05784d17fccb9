// Changing one value: what SetValue accepts must read back exactly, from the
// text in memory and from the bytes a save would write, and nothing else in
// the file may change its meaning; what it refuses must leave the text alone.
//
// Input: FILE 0x1F SECTION 0x1F KEY 0x1F VALUE, split at the last three 0x1F
// bytes. FILE is taken as raw file bytes, the names and the value through
// fuzz::Units so that any UTF-16 unit can appear in them. Without three
// separators the whole input is the file and one of the program's own names
// gets a plain value.

#include "fuzzcommon.h"
#include "settings/profiletext.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using fuzz::Pair;
using fuzz::Show;

namespace {

struct Input {
    QByteArray file;
    QString section;
    QString key;
    QString value;
};

Input Split(QByteArrayView bytes)
{
    qsizetype cuts[3];
    qsizetype end = bytes.size();
    int found = 0;
    for (; found < 3; ++found) {
        const qsizetype at = bytes.first(end).lastIndexOf('\x1F');
        if (at < 0)
            break;
        cuts[2 - found] = at;
        end = at;
    }
    if (found < 3) {
        const Pair& p = fuzz::ProgramPairs()[bytes.size() % fuzz::ProgramPairs().size()];
        return {bytes.toByteArray(), p.section, p.key, QStringLiteral("75")};
    }
    auto part = [&](int i) {
        const qsizetype from = cuts[i] + 1;
        const qsizetype to = i < 2 ? cuts[i + 1] : bytes.size();
        return fuzz::Units(bytes.sliced(from, to - from));
    };
    return {bytes.first(cuts[0]).toByteArray(), part(0), part(1), part(2)};
}

std::string Name(const Pair& p)
{
    return "[" + Show(p.section) + "] " + Show(p.key);
}

// Plain names and a plain value (letters and digits only) can always be
// stored; refusing them would make the settings unwritable.
bool Plain(QStringView s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (!((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9')))
            return false;
    }
    return true;
}

// The file as the units a line break is made of: bytes, or for UTF-16 whole
// 16-bit units counted from the start (a half unit at the end left out).
QList<char16_t> UnitsOf(const QByteArray& bytes, bool utf16, bool bigEndian)
{
    QList<char16_t> units;
    if (!utf16) {
        for (const char c : bytes)
            units.append(static_cast<unsigned char>(c));
        return units;
    }
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        units.append(bigEndian ? char16_t(first << 8 | second) : char16_t(second << 8 | first));
    }
    return units;
}

// A change replaces units inside one line or only inserts lines: the units of
// the old file that differ (between the longest common start and end) hold
// no line break, so every other line keeps its bytes, even one that does not
// decode. Compared in whole units, the differing part is the changed run or
// a rotation of it, so it holds a line break only if the change did.
void CheckOneLineChanged(const TProfileText& before, const TProfileText& after, const std::string& what)
{
    const bool utf16 = before.SourceEncoding() == TProfileText::Encoding::Utf16;
    const bool bigEndian = before.ToBytes().startsWith("\xFE\xFF");
    const QList<char16_t> a = UnitsOf(before.ToBytes(), utf16, bigEndian);
    const QList<char16_t> b = UnitsOf(after.ToBytes(), utf16, bigEndian);
    const qsizetype most = std::min(a.size(), b.size());
    qsizetype head = 0;
    while (head < most && a[head] == b[head])
        ++head;
    qsizetype tail = 0;
    while (tail < most - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    for (qsizetype i = head; i < a.size() - tail; ++i)
        FUZZ_CHECK(a[i] != u'\n' && a[i] != u'\r',
                   what + " changed more than one line: units " + std::to_string(head) + ".." +
                       std::to_string(a.size() - tail) + " of " + std::to_string(a.size()) +
                       " differ, text was " + Show(before.Text()) + ", now " + Show(after.Text()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Input in = Split(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    const TProfileText before = TProfileText::FromBytes(in.file);
    const QString beforeText = before.Text();
    if (fuzz::InKnownFaultClass(in.file, before.SourceEncoding() == TProfileText::Encoding::Gb18030, beforeText))
        return 0;
    const Pair target{in.section, in.key};
    const std::string what = "SetValue(" + Name(target) + ", " + Show(in.value) + ")";

    // The pairs to watch: the program's own, the names the file uses crossed
    // with each other and with the changed pair's names, and the changed pair
    // spelt in other ways.
    QList<Pair> probes = fuzz::ProgramPairs();
    fuzz::Names names = fuzz::NamesIn(beforeText, 2);
    names.sections.append(in.section);
    names.keys.append(in.key);
    for (const QString& s : names.sections)
        for (const QString& k : names.keys)
            probes.append({s, k});
    probes.append({fuzz::Respelt(in.section), fuzz::Respelt(in.key)});
    probes.append({in.section.toUpper(), in.key.toLower()});

    QList<std::optional<QString>> was;
    for (const Pair& p : probes)
        was.append(before.Value(p.section, p.key));

    TProfileText after = before;
    const bool stored = after.SetValue(in.section, in.key, in.value);
    const bool storable = TProfileText::CanStore(in.section, in.key, in.value);
    FUZZ_CHECK(storable || !stored, what + " returned true where CanStore says false");
    // A GB18030 or Latin-1 file may have to refuse even plain text (it could
    // make the file read as UTF-8); UTF-8 and UTF-16 files never need to.
    const bool unicodeFile = before.SourceEncoding() == TProfileText::Encoding::Utf8 ||
                             before.SourceEncoding() == TProfileText::Encoding::Utf16;
    if (unicodeFile && Plain(in.section) && Plain(in.key) && Plain(in.value))
        FUZZ_CHECK(stored, what + " refused plain names and a plain value");

    if (!stored) {
        FUZZ_CHECK(after.Text() == beforeText, what + " returned false but changed the text to " +
                                                 Show(after.Text()) + " from " + Show(beforeText));
        FUZZ_CHECK(after.ToBytes() == before.ToBytes(), what + " returned false but changed the bytes");
        return 0;
    }

    CheckOneLineChanged(before, after, what);

    const TProfileText saved = TProfileText::FromBytes(after.ToBytes());
    const std::optional<QString> inMemory = after.Value(in.section, in.key);
    FUZZ_CHECK(inMemory == in.value, what + " then reads " + Show(inMemory) + " in memory; text " + Show(after.Text()));
    const std::optional<QString> reread = saved.Value(in.section, in.key);
    FUZZ_CHECK(reread == in.value, what + " then reads " + Show(reread) + " after a save; saved text " +
                                  Show(saved.Text()));

    for (qsizetype i = 0; i < probes.size(); ++i) {
        const Pair& p = probes[i];
        const bool same = fuzz::SameName(p.section, in.section) && fuzz::SameName(p.key, in.key);
        const std::optional<QString> expected = same ? std::optional<QString>(in.value) : was[i];
        // What the program sees the next time it starts; the text in memory
        // is the same bytes, and the changed pair was read from both above.
        const std::optional<QString> disk = saved.Value(p.section, p.key);
        FUZZ_CHECK(disk == expected, what + ": " + Name(p) + " read " + Show(was[i]) + " before and " +
                                    Show(disk) + " after a save; saved text " + Show(saved.Text()));
    }
    return 0;
}
