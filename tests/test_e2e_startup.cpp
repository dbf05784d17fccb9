// Start-up of the real binary on a real X server: one copy per user, the
// refusal message of a second copy, and the ways the program ends.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

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
    EXPECT_FALSE(first.windows(kTitle).empty());
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
