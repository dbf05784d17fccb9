// The settings file: what reads and writes find in and leave behind in real
// files, hand-edited ones included, and how a write that cannot be done fails.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <optional>
#include <random>

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/errors.h"
#include "settings/profile.h"
#include "settings/profiletext.h"
#include "settings/settings.h"

namespace {

QByteArray Utf8(const char8_t* s)
{
    return QByteArray(reinterpret_cast<const char*>(s));
}

QString Str(const char8_t* s)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(s));
}

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("zelbrik.ini");
    }

    void Put(const QByteArray& bytes) const { Put(path, bytes); }
    static void Put(const QString& p, const QByteArray& bytes)
    {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray Get() const { return Get(path); }
    static QByteArray Get(const QString& p)
    {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    QStringList Entries(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                      QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir;
    QString path;
};

// Checks that a write fails the way the error box expects.
template <typename F>
void ExpectUnableToWrite(const QString& fileName, F&& write)
{
    try {
        write();
        ADD_FAILURE() << "the write succeeded";
    } catch (const EIniFileError& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + fileName);
    }
}

// ---------------------------------------------------------------- writes

struct WriteCase {
    const char* what;
    std::optional<QByteArray> before;  // nullopt: no file
    const char8_t* section;
    const char8_t* key;
    const char8_t* value;
    QByteArray after;
};

}  // namespace

TEST_F(ProfileFile, WriteChangesOnlyItsEntry)
{
    const WriteCase cases[] = {
        {"new file", std::nullopt, u8"jtzl", u8"截图质量", u8"50", Utf8(u8"[jtzl]\n截图质量=50\n")},
        {"empty file", "", u8"a", u8"x", u8"1", "[a]\nx=1\n"},
        {"blank lines only", "\n\n", u8"a", u8"x", u8"1", "\n\n[a]\nx=1\n"},
        {"replace keeps comments, spacing, spelling and CRLF",
         Utf8(u8"; mine\r\n[JTZL]\r\n  截图质量 = 80 \r\n\r\n[other]\r\nx=1\r\n"), u8"jtzl",
         u8"截图质量", u8"90",
         Utf8(u8"; mine\r\n[JTZL]\r\n  截图质量 = 90\r\n\r\n[other]\r\nx=1\r\n")},
        {"tabs and spaced header", "\t[ a ]\t\nx\t=\t1\n", u8"a", u8"x", u8"7",
         "\t[ a ]\t\nx\t=\t7\n"},
        {"quoted value is replaced whole", "[a]\nx=\"80\"\n", u8"a", u8"x", u8"90", "[a]\nx=90\n"},
        {"empty value written", "[a]\nx=1\n", u8"a", u8"x", u8"", "[a]\nx=\n"},
        {"empty old value", "[a]\nx=\ny=2\n", u8"a", u8"x", u8"3", "[a]\nx=3\ny=2\n"},
        {"case of names does not matter", "[HOTKEY2]\nSomeKey=1\n", u8"hotkey2", u8"somekey",
         u8"2", "[HOTKEY2]\nSomeKey=2\n"},
        {"first key of first section", "[a]\nx=1\nx=2\n[a]\nx=3\n", u8"a", u8"x", u8"9",
         "[a]\nx=9\nx=2\n[a]\nx=3\n"},
        {"a duplicate section is not looked at", "[a]\ny=1\n[a]\nx=3\n", u8"a", u8"x", u8"9",
         "[a]\ny=1\nx=9\n[a]\nx=3\n"},
        {"new key after the last non-blank line", "[a]\nx=1\n\n\n[b]\ny=2\n", u8"a", u8"z",
         u8"3", "[a]\nx=1\nz=3\n\n\n[b]\ny=2\n"},
        {"new key after a trailing comment of the section", "[a]\nx=1\n; old\n\n[b]\n", u8"a",
         u8"z", u8"3", "[a]\nx=1\n; old\nz=3\n\n[b]\n"},
        {"new key in a section that is only its header", "[a]\n[b]\n", u8"a", u8"x", u8"1",
         "[a]\nx=1\n[b]\n"},
        {"new key, no final newline", "[a]\nx=1", u8"a", u8"z", u8"3", "[a]\nx=1\nz=3\n"},
        {"new key after header without newline", "[a]", u8"a", u8"x", u8"1", "[a]\nx=1\n"},
        {"new section, no final newline", "[a]\nx=1", u8"b", u8"y", u8"2", "[a]\nx=1\n[b]\ny=2\n"},
        {"new section in CRLF file", "[a]\r\nx=1\r\n", u8"b", u8"y", u8"2",
         "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"},
        {"lone CR file, replace", "[a]\rx=1\ry=2", u8"a", u8"x", u8"5", "[a]\rx=5\ry=2"},
        {"lone CR file, new key", "[a]\rx=1\r", u8"a", u8"z", u8"3", "[a]\rx=1\rz=3\r"},
        {"byte-order mark kept", "\xEF\xBB\xBF[a]\nx=1\n", u8"a", u8"x", u8"5",
         "\xEF\xBB\xBF[a]\nx=5\n"},
        {"commented key is not the key", "[a]\n;x=1\n#x=2\n", u8"a", u8"x", u8"3",
         "[a]\n;x=1\n#x=2\nx=3\n"},
        {"keys before any section belong to none", "x=1\n[a]\n", u8"a", u8"x", u8"2",
         "x=1\n[a]\nx=2\n"},
        {"header with a comment after it", "[a] ; mine\nx=1\n", u8"a", u8"x", u8"2",
         "[a] ; mine\nx=2\n"},
        {"a '[' line without ']' is no header", "[a]\n[broken\nx=1\n", u8"a", u8"x", u8"2",
         "[a]\n[broken\nx=2\n"},
        {"line without '=' is left alone", "[a]\njunk\n", u8"a", u8"x", u8"1", "[a]\njunk\nx=1\n"},
        {"value with '=' and spaces", "[a]\nx=1\n", u8"a", u8"x", u8"p=q r", "[a]\nx=p=q r\n"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(path);
        if (c.before)
            Put(*c.before);
        TIniFile(path).WriteString(Str(c.section), Str(c.key), Str(c.value));
        EXPECT_EQ(Get(), c.after);
        EXPECT_EQ(Entries(dir.path()), QStringList{"zelbrik.ini"}) << "a temporary file stayed";
    }
}

// The layout of a file the program makes itself: the sections in the order of
// Save's writes, each right after the last, LF line breaks, no blank lines.
TEST_F(ProfileFile, SaveMakesTheThreeSections)
{
    TIniFile ini(path);
    for (int round = 0; round < 2; ++round) {
        ini.WriteString(settings::kQualitySection, settings::kQualityKey, round ? "75" : "50");
        ini.WriteInteger(settings::kHotKeySection, settings::kHotKeyKey, round ? 0x2041 : 16465);
        ini.WriteInteger(settings::kHiddenSection, settings::kHiddenKey, round);
        const QByteArray expected =
            round ? Utf8(u8"[jtzl]\n截图质量=75\n[HotKey2]\n截图热键=8257\n[yincang]\n隐藏=1\n")
                  : Utf8(u8"[jtzl]\n截图质量=50\n[HotKey2]\n截图热键=16465\n[yincang]\n隐藏=0\n");
        EXPECT_EQ(Get(), expected) << "round " << round;
    }
    EXPECT_EQ(ini.ReadString(settings::kQualitySection, settings::kQualityKey, "50"), "75");
    EXPECT_EQ(ini.ReadInteger(settings::kHotKeySection, settings::kHotKeyKey, 16465), 0x2041);
    EXPECT_EQ(ini.ReadInteger(settings::kHiddenSection, settings::kHiddenKey, 0), 1);
    ini.WriteInteger("n", "v", -2147483647 - 1);
    EXPECT_EQ(ini.ReadInteger("n", "v", 0), -2147483647 - 1);
}

TEST_F(ProfileFile, WriteCreatesTheFolder)
{
    const QString nested = dir.filePath("a/b/c/zelbrik.ini");
    TIniFile(nested).WriteString("s", "k", "v");
    EXPECT_EQ(Get(nested), "[s]\nk=v\n");
}

// ---------------------------------------------------------------- reads

namespace {
struct ReadCase {
    const char* what;
    std::optional<QByteArray> file;
    const char8_t* section;
    const char8_t* key;
    QString expected;  // "<default>" when the default must come back
};
}  // namespace

TEST_F(ProfileFile, ReadFindsWhatThePersonMeant)
{
    const QString dflt = "<default>";
    const ReadCase cases[] = {
        {"no file", std::nullopt, u8"jtzl", u8"截图质量", dflt},
        {"no section", "[b]\nx=1\n", u8"a", u8"x", dflt},
        {"no key", "[a]\ny=1\n", u8"a", u8"x", dflt},
        {"key of the next section", "[a]\n[b]\nx=1\n", u8"a", u8"x", dflt},
        {"key before any section", "x=1\n[a]\n", u8"a", u8"x", dflt},
        {"key only in a duplicate section", "[a]\ny=1\n[A]\nx=1\n", u8"a", u8"x", dflt},
        {"commented out", "[a]\n;x=1\n  # x=2\n", u8"a", u8"x", dflt},
        {"plain", Utf8(u8"[jtzl]\n截图质量=75\n"), u8"jtzl", u8"截图质量", "75"},
        {"case of names", "[HotKey2]\nKeY=1\n", u8"HOTKEY2", u8"key", "1"},
        {"non-ASCII case", Utf8(u8"[ÄÖ]\nÉ=1\n"), u8"äö", u8"é", "1"},
        {"blanks trimmed", "  [ a ]  \n \t x \t= \t hello world \t\n", u8"a", u8"x",
         "hello world"},
        {"double quotes", "[a]\nx = \"50\" \n", u8"a", u8"x", "50"},
        {"single quotes", "[a]\nx='50'\n", u8"a", u8"x", "50"},
        {"quoted spaces kept", "[a]\nx=\" 5 \"\n", u8"a", u8"x", " 5 "},
        {"mismatched quotes kept", "[a]\nx=\"50'\n", u8"a", u8"x", "\"50'"},
        {"a lone quote kept", "[a]\nx=\"\n", u8"a", u8"x", "\""},
        {"empty quotes", "[a]\nx=\"\"\n", u8"a", u8"x", ""},
        {"empty value is not absent", "[a]\nx=\n", u8"a", u8"x", ""},
        {"value with '='", "[a]\nx=p=q\n", u8"a", u8"x", "p=q"},
        {"first key wins", "[a]\nx=1\nX=2\n", u8"a", u8"x", "1"},
        {"first section wins", "[a]\nx=1\n[a]\nx=2\n", u8"a", u8"x", "1"},
        {"BOM and CRLF", Utf8(u8"\uFEFF[jtzl]\r\n截图质量=80\r\n"), u8"jtzl", u8"截图质量", "80"},
        {"lone CR", "[a]\rx=1\r[b]\rx=2", u8"b", u8"x", "2"},
        {"mixed line ends", "[a]\r\ny=0\rx=1\n", u8"a", u8"x", "1"},
        {"no final newline", "[a]\nx=1", u8"a", u8"x", "1"},
        {"blank lines and comments between", "\n; c\n[a]\n\n# c\n\nx=3\n", u8"a", u8"x", "3"},
        {"header with a comment", "[a] ; mine\nx=1\n", u8"a", u8"x", "1"},
        {"UTF-16LE from a Windows editor", QByteArray("\xFF\xFE[\0a\0]\0\r\0\n\0x\0=\0009\0", 18),
         u8"a", u8"x", "9"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(path);
        if (c.file)
            Put(*c.file);
        EXPECT_EQ(TIniFile(path).ReadString(Str(c.section), Str(c.key), dflt), c.expected);
        if (c.file) {
            EXPECT_EQ(Get(), *c.file) << "a read changed the file";
        }
    }
}

TEST_F(ProfileFile, ReadIntegerConvertsOrFallsBack)
{
    const struct {
        const char* stored;  // nullptr: no key
        qint32 expected;
    } cases[] = {
        {"0x4051", 16465}, {"abc", 12345},  {"2", 2},         {"0X10", 16},   {"$50", 80},
        {"-0x10", -16},    {"0x", 12345},   {"", 12345},      {nullptr, 12345},
        {"\"16465\"", 16465}, {"1 2", 12345}, {"99999999999", 12345}, {"$FFFFFFFF", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "<absent>");
        Put(c.stored ? QByteArray("[HotKey2]\nk=") + c.stored + "\n" : QByteArray("[HotKey2]\n"));
        EXPECT_EQ(TIniFile(path).ReadInteger("HotKey2", "k", 12345), c.expected);
    }
}

TEST_F(ProfileFile, LongValueArrivesCut)
{
    const QString emoji = Str(u8"😀");  // two UTF-16 code units
    const struct {
        const char* what;
        QString stored;
        QString expected;
    } cases[] = {
        {"exactly 2047", QString(2047, 'a'), QString(2047, 'a')},
        {"2048", QString(2048, 'a'), QString(2047, 'a')},
        {"long", QString(100000, 'b'), QString(2047, 'b')},
        {"pair across the cut", QString(2046, 'a') + emoji + "zz", QString(2046, 'a')},
        {"pair before the cut", QString(2045, 'a') + emoji + "zz", QString(2045, 'a') + emoji},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(path);
        TIniFile ini(path);
        ini.WriteString("a", "x", c.stored);
        EXPECT_EQ(ini.ReadString("a", "x", ""), c.expected);
    }
}

// Keys of the Windows original were stored in code page 936. A write keeps
// the file in it: the lines it does not change keep their bytes, the lines it
// adds are GB18030 too.
TEST_F(ProfileFile, GbkFileReadsAndStaysGbk)
{
    if (!QStringDecoder("GB18030").isValid())
        GTEST_SKIP() << "this Qt cannot decode GB18030";
    const QByteArray gbk =
        "; \xB1\xB8\xD7\xA2\r\n"  // "; 备注"
        "[jtzl]\r\n\xBD\xD8\xCD\xBC\xD6\xCA\xC1\xBF=80\r\n"
        "[HotKey2]\r\n\xBD\xD8\xCD\xBC\xC8\xC8\xBC\xFC=16466\r\n";
    Put(gbk);
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString(settings::kQualitySection, settings::kQualityKey, "50"), "80");
    EXPECT_EQ(ini.ReadInteger(settings::kHotKeySection, settings::kHotKeyKey, 16465), 16466);
    EXPECT_EQ(Get(), gbk);

    ini.WriteInteger(settings::kHiddenSection, settings::kHiddenKey, 1);
    EXPECT_EQ(Get(), gbk + "[yincang]\r\n\xD2\xFE\xB2\xD8=1\r\n");  // 隐藏 in GBK
    ini.WriteString(settings::kQualitySection, settings::kQualityKey, Str(u8"九十"));
    EXPECT_EQ(ini.ReadString(settings::kQualitySection, settings::kQualityKey, ""), Str(u8"九十"));
    EXPECT_TRUE(Get().contains("\xBD\xD8\xCD\xBC\xD6\xCA\xC1\xBF=\xBE\xC5\xCA\xAE\r\n"));
}

// A Save changes the bytes of the entries it writes and nothing else, also in
// lines that are not text of the file's encoding at all.
TEST_F(ProfileFile, LinesAWriteDoesNotChangeKeepTheirBytes)
{
    const auto utf16le = [](const char* ascii) {
        QByteArray out;
        for (const char* p = ascii; *p; ++p)
            out.append(*p).append('\0');
        return out;
    };
    const QByteArray garbage("\x80\x81\xFE\xFF\x00 junk \xC0\xAF", 12);
    const struct {
        const char* what;
        QByteArray before;
        const char8_t* value;
        QByteArray after;
    } cases[] = {
        {"binary garbage line in a GB18030 file", "[a]\nx=1\n" + garbage + "\n[b]\ny=\xD6\xD0\n", u8"5",
         "[a]\nx=5\n" + garbage + "\n[b]\ny=\xD6\xD0\n"},
        {"garbage after a UTF-8 byte-order mark", "\xEF\xBB\xBF[a]\nx=1\n" + garbage + "\n", u8"é",
         "\xEF\xBB\xBF[a]\nx=\xC3\xA9\n" + garbage + "\n"},
        {"unpaired surrogate in UTF-16",
         "\xFF\xFE" + utf16le("[a]\r\nx=1\r\n") + QByteArray("\x00\xD8", 2) + utf16le("=z\r\n"), u8"2",
         "\xFF\xFE" + utf16le("[a]\r\nx=2\r\n") + QByteArray("\x00\xD8", 2) + utf16le("=z\r\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Put(c.before);
        TIniFile ini(path);
        ini.WriteString("a", "x", Str(c.value));
        EXPECT_EQ(Get(), c.after);
        EXPECT_EQ(ini.ReadString("a", "x", ""), Str(c.value));
    }
    // Adding to a UTF-16 file whose last unit is cut: the half unit, which
    // reads as a replacement character, becomes a whole one, so the new lines
    // are not shifted by a byte and the old line reads as before.
    Put("\xFF\xFE" + utf16le("[a]\r\nx=1") + QByteArray("\x41", 1));
    TIniFile ini(path);
    const QString before = ini.ReadString("a", "x", "");
    ini.WriteString("b", "y", "3");
    EXPECT_EQ(Get(), "\xFF\xFE" + utf16le("[a]\r\nx=1") + QByteArray("\xFD\xFF", 2) + utf16le("\r\n[b]\r\ny=3\r\n"));
    EXPECT_EQ(ini.ReadString("b", "y", ""), "3");
    EXPECT_EQ(ini.ReadString("a", "x", ""), before);
}

// What a write stores is what a read gives back, also where a read trims
// blanks or takes quotes off: such values are stored in quotes.
TEST_F(ProfileFile, WrittenValuesReadBackAsWritten)
{
    const struct {
        QString value;
        QByteArray line;  // as stored
    } cases[] = {
        {" $50", "x=\" $50\""},
        {"50 ", "x=\"50 \""},
        {"\t", "x=\"\t\""},
        {"\"80\"", "x=\"\"80\"\""},
        {"'80'", "x=\"'80'\""},
        {"\"\"", "x=\"\"\"\""},
        {"\"", "x=\""},
        {"\"80'", "x=\"80'"},
        {"a \"b\" c", "x=a \"b\" c"},
        {"", "x="},
        {QString::fromLatin1("1\0002", 3), QByteArray("x=1\0002", 5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.toStdString());
        Put("[a]\nx=old\n");
        TIniFile ini(path);
        ini.WriteString("a", "x", c.value);
        EXPECT_EQ(Get(), "[a]\n" + c.line + "\n");
        EXPECT_EQ(ini.ReadString("a", "x", "<default>"), c.value);
        EXPECT_EQ(TIniFile(path).ReadString("a", "x", "<default>"), c.value);
    }
}

// The three settings of a Save go into the file together or not at all.
TEST_F(ProfileFile, SeveralValuesAreOneChange)
{
    const QByteArray before = "; mine\n[jtzl]\n" + Utf8(u8"截图质量=40\n");
    Put(before);
    TIniFile ini(path);
    ExpectUnableToWrite(path, [&] {
        ini.WriteValues({{"jtzl", Str(u8"截图质量"), "90"}, {"HotKey2", "k", "1"}, {"bad]", "k", "1"}});
    });
    EXPECT_EQ(Get(), before) << "a refused third value stops the first two as well";
    ExpectUnableToWrite(path, [&] {
        ini.WriteValues({{"jtzl", Str(u8"截图质量"), "90"}, {"HotKey2", "k", QString(QChar(0xDC00))}});
    });
    EXPECT_EQ(Get(), before);

    ini.WriteValues({{"jtzl", Str(u8"截图质量"), "90"}, {"HotKey2", "k", "16465"}, {"yincang", "h", "1"}});
    EXPECT_EQ(Get(), "; mine\n[jtzl]\n" + Utf8(u8"截图质量=90\n") + "[HotKey2]\nk=16465\n[yincang]\nh=1\n");
    EXPECT_EQ(Entries(dir.path()), QStringList{"zelbrik.ini"});
}

// Reading takes the memory the file needs. A small address-space limit is the
// way to see it: a read that reserved room for the largest file it accepts
// would fail under it.
TEST_F(ProfileFile, ReadNeedsNoMoreMemoryThanTheFile)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit allows";
#else
    Put("[a]\nx=1\n");
    const pid_t pid = fork();
    if (pid == 0) {
        long vmKb = 0;
        QFile status("/proc/self/status");
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmSize:"))
                    vmKb = line.mid(7).trimmed().split(' ').value(0).toLong();
        const rlimit limit{rlim_t(vmKb + 64 * 1024) * 1024, rlim_t(vmKb + 64 * 1024) * 1024};
        if (vmKb == 0 || setrlimit(RLIMIT_AS, &limit) != 0)
            _exit(10);
        try {
            TIniFile ini(path);
            if (ini.ReadString("a", "x", "") != "1")
                _exit(1);
            ini.WriteString("a", "x", "2");
            _exit(ini.ReadInteger("a", "x", 0) == 2 ? 0 : 2);
        } catch (...) {
            _exit(3);
        }
    }
    int st = 0;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    ASSERT_TRUE(WIFEXITED(st)) << "the child died of signal " << WTERMSIG(st);
    EXPECT_EQ(WEXITSTATUS(st), 0) << "1/2: wrong value, 3: an exception (bad_alloc), 10: no limit set";
#endif
}

// Without HOME (a service, a cleaned environment) the settings are still the
// user's own, in the home folder the user database names.
TEST(SettingsFile, HomeComesFromTheUserDatabaseWithoutHome)
{
    const QByteArray home = qgetenv("HOME");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qunsetenv("HOME");
    qunsetenv("XDG_CONFIG_HOME");
    const QString found = settings::SettingsFilePath();
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", config);
    const passwd* user = getpwuid(geteuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(found, QDir::cleanPath(QString::fromLocal8Bit(user->pw_dir)) + "/.config/zelbrik.ini");
}

// ---------------------------------------------------------------- broken files

TEST_F(ProfileFile, BrokenContentNeitherCrashesNorHangs)
{
    std::mt19937 rng(20240611);
    QByteArray random(1 << 20, '\0');
    for (char& ch : random)
        ch = char(rng());
    QByteArray randomLines = random;
    for (qsizetype i = 0; i < randomLines.size(); i += 97)
        randomLines[i] = (i / 97) % 3 ? '\n' : '[';
    const struct {
        const char* what;
        QByteArray content;
    } cases[] = {
        {"NUL bytes", QByteArray("[a\0]\nx\0=1\n\0\0\0[", 14)},
        {"binary garbage", random},
        {"garbage with line breaks", randomLines},
        {"one 1 MB line", QByteArray(1 << 20, 'k')},
        {"1 MB of '['", QByteArray(1 << 20, '[')},
        {"1 MB of '='", QByteArray(1 << 20, '=')},
        {"1 MB of CR", QByteArray(1 << 20, '\r')},
        {"1 MB header", "[" + QByteArray(1 << 20, 's') + "]\n"},
        {"1 MB value", "[a]\nx=" + QByteArray(1 << 20, 'v')},
        {"cut UTF-8 sequence at the end", "[a]\nx=1\n\xE6\x88"},
        {"encoded surrogate", "[a]\nx=\xED\xA0\x80\n"},
        {"over-long encoding", "[a]\nx=\xC0\xAF\n"},
        {"BOM then invalid bytes", "\xEF\xBB\xBF[a]\n\xFF\xFE\n"},
        {"odd UTF-16", "\xFF\xFE[\0a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Put(c.content);
        TIniFile ini(path);
        (void)ini.ReadString("a", "x", "d");
        EXPECT_EQ(ini.ReadInteger("nosuch", "x", 7), 7);
        ini.WriteString("zelbrik", "k", "v1");
        EXPECT_EQ(ini.ReadString("zelbrik", "k", ""), "v1");
        ini.WriteString("zelbrik", "k", "v2");
        EXPECT_EQ(ini.ReadString("zelbrik", "k", ""), "v2");
    }
}

TEST_F(ProfileFile, FiftyMegabyteFile)
{
    QByteArray big;
    big.reserve(50 << 20);
    big += "[filler]\n";
    while (big.size() < (50 << 20))
        big += "key_with_some_length=value value value value value value\n";
    big += "[a]\nx=last\n";
    Put(big);
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("a", "x", ""), "last");
    ini.WriteString("a", "x", "new");
    QByteArray expected = big;
    expected.replace(expected.size() - 5, 4, "new");
    EXPECT_EQ(Get(), expected);
}

// ---------------------------------------------------------------- failures

TEST_F(ProfileFile, RefusesLineBreaksAndNamesThatCannotReadBack)
{
    const QByteArray before = "[a]\nx=1\n";
    const struct {
        const char* what;
        QString section, key, value;
    } cases[] = {
        {"LF in value", "a", "x", "1\n[evil]\ny=2"},
        {"CR in value", "a", "x", "1\r[evil]"},
        {"CRLF in value", "a", "x", "1\r\n"},
        {"line break in key", "a", "x\ny", "1"},
        {"line break in section", "a\n", "x", "1"},
        {"']' in section", "a]b", "x", "1"},
        {"'=' in key", "a", "x=y", "1"},
        {"key like a comment", "a", ";x", "1"},
        {"key like a header", "a", "[x", "1"},
        {"empty key", "a", " ", "1"},
        {"empty section", "", "x", "1"},
        {"unpaired surrogate in value", "a", "x", QString("1") + QChar(0xD800)},
        {"unpaired surrogate in key", "a", QString(QChar(0xDC00)) + "x", "1"},
        {"unpaired surrogate in section", QString("a") + QChar(0xD83D), "x", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Put(before);
        ExpectUnableToWrite(path, [&] { TIniFile(path).WriteString(c.section, c.key, c.value); });
        EXPECT_EQ(Get(), before);
    }
}

TEST_F(ProfileFile, WriteWhereNothingCanBeWritten)
{
    // Root can write through permission bits, so these places stop anyone.
    const QByteArray old = "[a]\nx=1\n";
    const QString plainFile = dir.filePath("plain");
    Put(plainFile, old);
    const QString folder = dir.filePath("folder");
    ASSERT_TRUE(QDir().mkpath(folder + "/inner"));
    const QString fifo = dir.filePath("fifo.ini");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);

    const struct {
        const char* what;
        QString target;
    } cases[] = {
        {"parent is a regular file", plainFile + "/zelbrik.ini"},
        {"target is a directory", folder},
        {"target is a pipe", fifo},
        {"folder cannot be made", "/proc/zelbrik-no-such-folder/zelbrik.ini"},
        {"empty name", ""},
    };
    const QStringList entriesBefore = Entries(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TIniFile ini(c.target);
        ExpectUnableToWrite(c.target, [&] { ini.WriteString("a", "x", "2"); });
        ExpectUnableToWrite(c.target, [&] { ini.WriteInteger("a", "x", 2); });
        EXPECT_EQ(ini.ReadString("a", "x", "d"), "d");  // neither hangs on the pipe nor reads a folder
    }
    EXPECT_EQ(Get(plainFile), old);
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(Entries(folder), QStringList{"inner"});
    EXPECT_EQ(Entries(dir.path()), entriesBefore);
    EXPECT_FALSE(QFileInfo::exists("/proc/zelbrik-no-such-folder"));
}

// A folder the user may not write to: the rename cannot happen, the old file
// stays, and no temporary file is left. Root passes permission bits, so the
// write runs in a child that has given up root.
TEST_F(ProfileFile, WriteInReadOnlyFolderKeepsTheOldFile)
{
    const QString top = dir.filePath("top");
    const QString ro = top + "/ro";
    ASSERT_TRUE(QDir().mkpath(ro));
    const QString target = ro + "/zelbrik.ini";
    const QByteArray old = "[a]\r\nx=1\r\n";
    Put(target, old);
    ASSERT_EQ(chmod(dir.path().toLocal8Bit().constData(), 0755), 0);
    ASSERT_EQ(chmod(top.toLocal8Bit().constData(), 0755), 0);
    ASSERT_EQ(chmod(target.toLocal8Bit().constData(), 0666), 0);
    ASSERT_EQ(chmod(ro.toLocal8Bit().constData(), 0555), 0);

    fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(10);
        if (access(ro.toLocal8Bit().constData(), W_OK) == 0)
            _exit(11);  // still allowed to write: the case cannot be made
        if (access(target.toLocal8Bit().constData(), R_OK) != 0)
            _exit(12);  // the failure must come from the folder, not from reading
        int code = 1;
        try {
            TIniFile(target).WriteString("a", "x", "2");
        } catch (const EIniFileError& e) {
            code = e.Message() == "Unable to write to " + target ? 0 : 2;
        } catch (...) {
            code = 3;
        }
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no error, 2: wrong message, 3: wrong type, "
                                         "10/11/12: could not set the case up";
    chmod(ro.toLocal8Bit().constData(), 0755);
    EXPECT_EQ(Get(target), old);
    EXPECT_EQ(Entries(ro), QStringList{"zelbrik.ini"});
}

TEST_F(ProfileFile, RewriteKeepsPermissions)
{
    for (const mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0604), mode_t(0444), mode_t(0755)}) {
        SCOPED_TRACE(mode);
        QFile::remove(path);
        Put("[a]\nx=1\n");
        ASSERT_EQ(chmod(path.toLocal8Bit().constData(), mode), 0);
        TIniFile(path).WriteString("a", "x", "2");
        struct stat st {};
        ASSERT_EQ(stat(path.toLocal8Bit().constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(Get(), "[a]\nx=2\n");
    }
}

// A settings file kept elsewhere and linked in (as dotfile managers do) stays linked.
TEST_F(ProfileFile, WriteThroughSymlinkKeepsTheLink)
{
    const QString real = dir.filePath("real.ini");
    Put(real, "[a]\nx=1\n");
    ASSERT_TRUE(QFile::link(real, path));
    TIniFile(path).WriteString("a", "x", "2");
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(Get(real), "[a]\nx=2\n");
    EXPECT_EQ(Entries(dir.path()), (QStringList{"real.ini", "zelbrik.ini"}));
}

// ---------------------------------------------------------------- the text alone

TEST(ProfileText, EncodingIsTakenFromTheBytes)
{
    EXPECT_EQ(TProfileText::FromBytes(Utf8(u8"[a]\nx=é\n")).SourceEncoding(),
              TProfileText::Encoding::Utf8);
    EXPECT_EQ(TProfileText::FromBytes(QByteArray("\xFF\xFEx\0", 4)).SourceEncoding(),
              TProfileText::Encoding::Utf16);
    const TProfileText notUtf8 = TProfileText::FromBytes("[a]\nx=\xD2\xFE\xB2\xD8\n");
    if (QStringDecoder("GB18030").isValid()) {
        EXPECT_EQ(notUtf8.SourceEncoding(), TProfileText::Encoding::Gb18030);
        EXPECT_EQ(notUtf8.Value(u"a", u"x"), Str(u8"隐藏"));
    } else {
        EXPECT_EQ(notUtf8.SourceEncoding(), TProfileText::Encoding::Latin1);
    }
    // UTF-8 that stops in the middle of a character is not UTF-8.
    EXPECT_NE(TProfileText::FromBytes("[a]\nx=\xE6\x88").SourceEncoding(),
              TProfileText::Encoding::Utf8);
}
