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

// A change replaces bytes inside one line or only inserts lines: the bytes of
// the old file that differ (between the longest common start and end) hold
// no line break, so every other line keeps its bytes, even one that does not
// decode.
void CheckOneLineChanged(const TProfileText& before, const TProfileText& after, const std::string& what)
{
    const QByteArray& a = before.ToBytes();
    const QByteArray& b = after.ToBytes();
    const qsizetype most = std::min(a.size(), b.size());
    qsizetype head = 0;
    while (head < most && a[head] == b[head])
        ++head;
    qsizetype tail = 0;
    while (tail < most - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;

    const bool utf16 = before.SourceEncoding() == TProfileText::Encoding::Utf16;
    const bool bigEndian = a.startsWith("\xFE\xFF");
    const qsizetype unit = utf16 ? 2 : 1;
    // Whole units only, counted from the start of the file.
    qsizetype from = head - head % unit;
    qsizetype to = a.size() - tail;
    to = std::min(a.size(), to + (to % unit ? unit - to % unit : 0));
    for (qsizetype i = from; i + unit <= to; i += unit) {
        const auto lo = static_cast<unsigned char>(a[i]);
        char16_t u = lo;
        if (utf16) {
            const auto hi = static_cast<unsigned char>(a[i + 1]);
            u = bigEndian ? char16_t(lo << 8 | hi) : char16_t(hi << 8 | lo);
        }
        FUZZ_CHECK(u != u'\n' && u != u'\r', what + " changed more than one line: bytes " +
                                             std::to_string(from) + ".." + std::to_string(to) + " of " +
                                             std::to_string(a.size()) + " differ, text was " +
                                             Show(before.Text()) + ", now " + Show(after.Text()));
    }
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
