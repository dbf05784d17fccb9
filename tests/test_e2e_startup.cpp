// Start-up of the real binary on a real X server: one copy per user, the
// refusal message of a second copy, and the ways the program ends.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>
#include <unistd.h>

#include "support/program.h"
#include "support/testenv.h"

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::None);

namespace {

class StartUp : public ::testing::Test {
protected:
    XSession session{{.width = 1024, .height = 768, .windowManager = true, .tray = true}};

    bool settingsWritten() { return std::filesystem::exists(session.configDir() + "/zelbrik.ini"); }
};

}  // namespace

TEST_F(StartUp, SecondCopyIsRefusedWithTheMessageAndTheFirstGoesOn)
{
    Program first(session);
    const std::string main = first.waitForWindow(kTitle);
    ASSERT_FALSE(main.empty()) << "the first copy shows its settings window";

    Program second(session, session.homeDir() + "/second.log");
    const std::string box = second.waitForWindow("^信息框$");
    ASSERT_FALSE(box.empty()) << "the second copy shows the information box";
    EXPECT_EQ(second.windows().size(), 1u) << "and no other window";
    EXPECT_TRUE(second.windows(kTitle).empty());

    session.sh("xdotool windowactivate --sync " + box + " key Return");
    EXPECT_EQ(second.process().waitExit(10000), 0);

    EXPECT_TRUE(first.process().running());
    // Waited for: a search that runs while the box's window is being
    // destroyed can come back empty.
    EXPECT_FALSE(first.waitForWindow(kTitle, 5000).empty());
}

TEST_F(StartUp, CloseBoxEndsWithCodeZeroWithoutSavingAndANewCopyStarts)
{
    {
        Program first(session);
        const std::string main = first.waitForWindow(kTitle);
        ASSERT_FALSE(main.empty());
        // openbox closes the active window on Alt+F4, as its close box does.
        session.sh("xdotool windowactivate --sync " + main + " key alt+F4");
        EXPECT_EQ(first.process().waitExit(10000), 0);
    }
    EXPECT_FALSE(settingsWritten());

    Program again(session);
    EXPECT_FALSE(again.waitForWindow(kTitle).empty()) << "a new copy starts after the first ended";
    EXPECT_TRUE(again.windows("^信息框$").empty());
}

TEST_F(StartUp, ExitButtonEndsWithCodeZero)
{
    Program first(session);
    const std::string main = first.waitForWindow(kTitle);
    ASSERT_FALSE(main.empty());
    // Exit's accelerator: Alt+Q (the focus starts in the hotkey field, which
    // would take the combination itself, so move it to the quality field).
    session.sh("xdotool windowactivate --sync " + main + " key Tab alt+q");
    EXPECT_EQ(first.process().waitExit(10000), 0);
    EXPECT_FALSE(settingsWritten());
}

// The session's end asks with SIGTERM (a terminal with SIGINT): the program
// ends as through Exit, with code 0 and nothing written.
TEST_F(StartUp, TerminationSignalEndsLikeExit)
{
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        Program p(session);
        ASSERT_FALSE(p.waitForWindow(kTitle).empty());
        p.process().signal(sig);
        EXPECT_EQ(p.process().waitExit(10000), 0);
    }
    EXPECT_FALSE(settingsWritten());
}

TEST_F(StartUp, KilledCopyLeavesNoStaleMarker)
{
    {
        Program first(session);
        ASSERT_FALSE(first.waitForWindow(kTitle).empty());
        first.process().signal(SIGKILL);
        EXPECT_EQ(first.process().waitExit(5000), 128 + SIGKILL);
    }
    Program again(session);
    EXPECT_FALSE(again.waitForWindow(kTitle).empty());
    EXPECT_TRUE(again.windows("^信息框$").empty());
}

TEST(StartUpWithoutTray, StartHiddenStillShowsTheWindowWhenNothingCouldBringItBack)
{
    XSession bare({.width = 1024, .height = 768, .windowManager = true, .tray = false});
    std::filesystem::create_directories(bare.configDir());
    { std::ofstream(bare.configDir() + "/zelbrik.ini") << "[yincang]\n隐藏=1\n"; }
    Program p(bare);
    EXPECT_FALSE(p.waitForWindow(kTitle).empty());
}

// Without a display the program says in one line what is missing and ends
// with code 1, instead of Qt's abort with a message about platform plugins.
TEST(StartUpWithoutDisplay, SaysWhatIsMissingAndEndsWithOne)
{
    const std::string dir = std::filesystem::temp_directory_path() / ("zelbrik-nodisplay-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const struct {
        const char* what;
        std::map<std::string, std::string> env;
        const char* named;
    } cases[] = {
        {"nothing set", {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, "DISPLAY"},
        {"an X display nobody serves", {{"DISPLAY", ":987"}, {"WAYLAND_DISPLAY", ""}}, "\":987\""},
        {"a Wayland socket nobody serves", {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", "zelbrik-none"}}, "zelbrik-none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string log = dir + "/log";
        std::filesystem::remove(log);
        auto env = c.env;
        env["QT_QPA_PLATFORM"] = "";
        env["XDG_RUNTIME_DIR"] = dir;
        env["HOME"] = dir;
        ChildProcess p({ZELBRIK_BINARY}, env, log);
        EXPECT_EQ(p.waitExit(10000), 1);
        std::ifstream in(log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind("zelbrik: ", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(c.named), std::string::npos) << lines[0];
    }
    std::filesystem::remove_all(dir);
}
