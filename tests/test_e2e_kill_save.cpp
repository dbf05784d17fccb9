// What a kill at any moment of a save leaves on the disk, with the real
// binary: the settings file and a picture file are each either their old
// selves or completely new, and the next save of the same file leaves no
// temporary file from a killed one behind.
//
// The program runs under strace, which holds the calls between a
// replacement's first byte and its rename back for a while, so that kills
// spread over a save land in every step of it. The spread is set by saves
// left to finish first.

#include <gtest/gtest.h>
#include <signal.h>

#include <QBuffer>
#include <QImage>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <thread>

#include "settings/profiletext.h"
#include "support/files.h"
#include "support/program.h"
#include "support/testenv.h"
#include "support/tracedprogram.h"

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::None);

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

constexpr int kW = 1024, kH = 768;
// Centres in the settings window's client area.
constexpr int kCaptureX = 35, kSaveX = 123, kButtonY = 268;
constexpr int kHiddenBoxX = 40, kHiddenBoxY = 232;

// Everything a file replacement does between creating its new file and
// renaming it into place (copying the permissions, flushing, and linking in
// a nameless file as Qt's QSaveFile makes), and the rename itself. None of
// them is called while the program starts up. Not flock: a writer that tries
// the lock of every temporary a killed run left would take longer with each
// kill.
const std::vector<std::string> kHeldCalls = {"fchmod", "fchown", "fsync",    "fdatasync",
                                             "linkat", "rename", "renameat", "renameat2"};
constexpr int kHoldUs = 40000;
constexpr int kKillsPerSave = 20;
// The last kill comes this much later than the save that was left to finish
// took: kills after the end must find the new file. Runs differ in speed by
// tens of milliseconds; the margin keeps some kills past the end of a slow one.
constexpr double kSpreadPast = 1.5;

std::set<std::string> Names(const std::string& folder)
{
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        names.insert(entry.path().filename().string());
    return names;
}

std::string Listed(const std::set<std::string>& names)
{
    std::string out;
    for (const auto& n : names)
        out += (out.empty() ? "" : ", ") + n;
    return out;
}

// How long until cond holds, checked every millisecond: the time a save
// takes sets the kill moments, so it is measured finer than WaitUntil polls.
std::optional<Clock::duration> TimeUntil(Clock::time_point from, const std::function<bool()>& cond, int timeoutMs)
{
    const auto deadline = from + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        if (cond())
            return Clock::now() - from;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return std::nullopt;
}

// One kind of save, as the series below drives it.
struct SaveUnderTest {
    std::string name;      // for the report
    std::string folder;    // holds the target and nothing else
    std::string target;    // file name in the folder
    QByteArray oldBytes;   // what the target holds before each save
    // Brings a started program to the point where one more click or key
    // saves; returns what went wrong, or "" when it got there.
    std::function<std::string(TracedProgram&)> prepare;
    std::vector<std::string> trigger;  // xdotool arguments that set off the save
    // "" when the bytes are the complete new file, else what is wrong with them.
    std::function<std::string(const QByteArray&)> problemWithNew;
};

class KillDuringSave : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(settingsDir); }

    std::map<std::string, std::string> environment() const
    {
        auto env = session.environment();
        env["XDG_CONFIG_HOME"] = settingsDir;
        return env;
    }

    void sh(const std::string& command) const { session.sh(command); }

    void putOld(const SaveUnderTest& s)
    {
        QFile f(QString::fromStdString(s.folder + "/" + s.target));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(s.oldBytes), s.oldBytes.size());
    }
    QByteArray targetBytes(const SaveUnderTest& s) const
    {
        return ReadAll(QString::fromStdString(s.folder + "/" + s.target));
    }
    bool savedAndClean(const SaveUnderTest& s) const
    {
        return s.problemWithNew(targetBytes(s)).empty() && Names(s.folder) == std::set<std::string>{s.target};
    }

    std::unique_ptr<TracedProgram> startPrepared(const SaveUnderTest& s, std::string& problem)
    {
        auto p = std::make_unique<TracedProgram>(kHeldCalls, kHoldUs, environment(), session.homeDir() + "/zelbrik.log");
        if (!WaitUntil([&] { return p->pid() > 0; }, 10000))
            problem = "strace did not start the program (exit code " + std::to_string(p->waitGone(0)) + ")";
        else
            problem = s.prepare(*p);
        return p;
    }

    ChildProcess trigger(const SaveUnderTest& s) const
    {
        std::vector<std::string> argv{"xdotool"};
        argv.insert(argv.end(), s.trigger.begin(), s.trigger.end());
        return ChildProcess(argv, environment());
    }

    // The whole series for one kind of save.
    void killSeries(const SaveUnderTest& s)
    {
        std::string problem;

        // Saves left to finish: how long one takes from the click. The
        // first run of a program also leaves files of its own (the file
        // dialog's state) that make later runs slower, so the longer of two.
        Clock::duration saveTime{};
        for (int run = 0; run < 2; ++run) {
            ASSERT_NO_FATAL_FAILURE(putOld(s));
            auto p = startPrepared(s, problem);
            ASSERT_EQ(problem, "");
            const auto clicked = Clock::now();
            ChildProcess click = trigger(s);
            const auto took = TimeUntil(clicked, [&] { return savedAndClean(s); }, 15000);
            ASSERT_TRUE(took) << s.name << " did not finish: " << s.problemWithNew(targetBytes(s)) << "; folder: "
                              << Listed(Names(s.folder));
            saveTime = std::max(saveTime, *took);
        }

        int old = 0, fresh = 0, broken = 0, leftBehind = 0;
        std::string moments;
        for (int i = 0; i < kKillsPerSave; ++i) {
            ASSERT_NO_FATAL_FAILURE(putOld(s));
            const auto before = Names(s.folder);
            auto p = startPrepared(s, problem);
            ASSERT_EQ(problem, "") << "kill " << i;
            const auto killAfter = std::chrono::duration_cast<Clock::duration>(saveTime * kSpreadPast * i /
                                                                               (kKillsPerSave - 1));
            const auto clicked = Clock::now();
            ChildProcess click = trigger(s);
            std::this_thread::sleep_until(clicked + killAfter);
            p->kill();
            ASSERT_EQ(p->waitGone(10000), 128 + SIGKILL) << "kill " << i << " found the program ended";

            const QByteArray now = targetBytes(s);
            const std::string at = std::to_string(int(Ms(killAfter).count())) + " ms";
            if (now == s.oldBytes) {
                ++old;
                moments += " " + at + ":old";
            } else if (const std::string wrong = s.problemWithNew(now); wrong.empty()) {
                ++fresh;
                moments += " " + at + ":new";
            } else {
                ++broken;
                moments += " " + at + ":BROKEN";
                ADD_FAILURE() << s.name << " killed " << at << " after the click left neither the old file nor a "
                              << "complete new one: " << wrong;
            }
            for (const auto& n : Names(s.folder))
                leftBehind += n != s.target && !before.count(n);
        }

        std::printf("%s: save left to finish took %.0f ms; %d kills from 0 to %.0f ms: %d old, %d new, %d broken; "
                    "%d temporary files left by the kills\n  %s\n",
                    s.name.c_str(), Ms(saveTime).count(), kKillsPerSave, Ms(saveTime * kSpreadPast).count(), old,
                    fresh, broken, leftBehind, moments.c_str());
        RecordProperty(s.name + "_save_ms", int(Ms(saveTime).count()));
        RecordProperty(s.name + "_kills_old", old);
        RecordProperty(s.name + "_kills_new", fresh);
        RecordProperty(s.name + "_kills_broken", broken);
        RecordProperty(s.name + "_temporaries_left", leftBehind);
        // The first kill comes before the click can have arrived, the last
        // after the save's end: both outcomes must have been seen, or the
        // kills missed the save.
        EXPECT_GT(old, 0);
        EXPECT_GT(fresh, 0);

        // One more save, not killed: only the target is left in the folder,
        // whatever the killed ones left there.
        ASSERT_NO_FATAL_FAILURE(putOld(s));
        auto p = startPrepared(s, problem);
        ASSERT_EQ(problem, "");
        ChildProcess click = trigger(s);
        WaitUntil([&] { return savedAndClean(s); }, 15000);
        EXPECT_EQ(s.problemWithNew(targetBytes(s)), "") << "the save after the kills";
        EXPECT_EQ(Listed(Names(s.folder)), s.target) << "only the target is left after a save that finished";
    }

    XSession session{{.width = kW, .height = kH, .windowManager = true, .tray = false}};
    std::string settingsDir = session.homeDir() + "/settings";
};

}  // namespace

TEST_F(KillDuringSave, SettingsFileIsTheOldOrAllOfTheNewAndTheNextSaveLeavesOnlyIt)
{
    // A hand-kept file: the comment and the section of its own must come
    // through every save, the foreign section last so that a cut-off file
    // shows.
    const QByteArray old = "; 截图工具的设置\n"
                           "[jtzl]\n截图质量=40\n"
                           "[HotKey2]\n截图热键=16465\n"
                           "[yincang]\n隐藏=0\n"
                           "[其他程序]\n保留=原样\n";
    SaveUnderTest s;
    s.name = "settings";
    s.folder = settingsDir;
    s.target = "zelbrik.ini";
    s.oldBytes = old;
    // All three values change, so that a file with only some of them shows.
    s.prepare = [this](TracedProgram& p) -> std::string {
        const std::string w = p.waitForWindow(kTitle);
        if (w.empty())
            return "no settings window";
        // The hotkey field has the focus at start.
        sh("xdotool windowactivate --sync " + w + " key ctrl+w Tab ctrl+a type 85");
        sh("xdotool mousemove --window " + w + " " + std::to_string(kHiddenBoxX) + " " + std::to_string(kHiddenBoxY) +
           " click 1 mousemove --window " + w + " " + std::to_string(kSaveX) + " " + std::to_string(kButtonY));
        return "";
    };
    s.trigger = {"click", "1"};
    s.problemWithNew = [](const QByteArray& bytes) -> std::string {
        const TProfileText text = TProfileText::FromBytes(bytes);
        const auto value = [&](const char* section, const char* key) {
            return text.Value(QString::fromUtf8(section), QString::fromUtf8(key)).value_or("(none)");
        };
        const QString quality = value("jtzl", "截图质量"), hotKey = value("HotKey2", "截图热键"),
                      hidden = value("yincang", "隐藏"), foreign = value("其他程序", "保留");
        const bool comment = text.Text().startsWith(QString::fromUtf8("; 截图工具的设置\n"));
        if (quality == "85" && hotKey == "16471" && hidden == "1" && foreign == QString::fromUtf8("原样") && comment)
            return "";
        return QString("quality=%1 hotkey=%2 hidden=%3 foreign=%4 comment %5, %6 bytes:\n%7")
            .arg(quality, hotKey, hidden, foreign, QLatin1StringView(comment ? "kept" : "lost"))
            .arg(bytes.size())
            .arg(text.Text())
            .toStdString();
    };
    killSeries(s);
}

TEST_F(KillDuringSave, PictureIsTheOldOrACompleteJpegAndTheNextSaveLeavesOnlyIt)
{
    const std::string shots = session.homeDir() + "/shots";
    std::filesystem::create_directories(shots);
    // Away from the settings window, which is hidden before the grab anyway.
    const QRect region(40, 40, 200, 150);

    QImage small(64, 48, QImage::Format_RGB32);
    small.fill(Qt::darkGreen);
    QByteArray old;
    QBuffer buffer(&old);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(small.save(&buffer, "JPG"));

    SaveUnderTest s;
    s.name = "picture";
    s.folder = shots;
    s.target = "shot.jpg";
    s.oldBytes = old;
    s.prepare = [&](TracedProgram& p) -> std::string {
        const std::string w = p.waitForWindow(kTitle);
        if (w.empty())
            return "no settings window";
        sh("xdotool mousemove --window " + w + " " + std::to_string(kCaptureX) + " " + std::to_string(kButtonY) +
           " click 1");
        std::string overlay;
        if (!WaitUntil([&] { return !(overlay = p.windowCovering(0, 0, kW, kH)).empty(); }, 5000))
            return "no capture overlay";
        const QPoint a = region.topLeft(), b = region.bottomRight() + QPoint(1, 1);
        sh("xdotool mousemove " + std::to_string(a.x()) + " " + std::to_string(a.y()) + " click 1 mousemove " +
           std::to_string(b.x()) + " " + std::to_string(b.y()) + " click 1");
        std::string dialog;
        WaitUntil(
            [&] {
                for (const auto& id : p.windows())
                    if (id != w && id != overlay) {
                        dialog = id;
                        return true;
                    }
                return false;
            },
            5000);
        if (dialog.empty())
            return "no save dialog";
        sh("xdotool windowactivate --sync " + dialog + " key ctrl+a type '" + shots + "/shot.jpg'");
        return "";
    };
    s.trigger = {"key", "Return"};
    s.problemWithNew = [&](const QByteArray& bytes) -> std::string {
        // A cut-off JPEG still decodes (the rest grey): the end marker shows
        // that it is whole.
        const QImage picture = QImage::fromData(bytes, "JPG");
        if (bytes.endsWith("\xFF\xD9") && picture.size() == region.size())
            return "";
        return std::to_string(bytes.size()) + " bytes, " + (bytes.endsWith("\xFF\xD9") ? "" : "no end marker, ") +
               "decodes to " + std::to_string(picture.width()) + "x" + std::to_string(picture.height());
    };
    killSeries(s);
}
