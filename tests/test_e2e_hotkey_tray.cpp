// The capture hotkey and the tray icon of the real binary, on a real X
// server with openbox and trayer, driven with xdotool.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <xcb/xcb.h>

#include "support/keygrab.h"
#include "support/program.h"
#include "support/testenv.h"

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::None);

namespace {

constexpr int kW = 1024, kH = 768;

// Button centres in the settings window's client area.
constexpr int kCaptureX = 35, kSaveX = 123, kButtonY = 268;

// The window with the keyboard focus, or XCB_NONE.
xcb_window_t InputFocus(const std::string& display)
{
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    xcb_window_t focus = XCB_NONE;
    if (!xcb_connection_has_error(c)) {
        if (auto* r = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)) {
            focus = r->focus;
            free(r);
        }
    }
    xcb_disconnect(c);
    return focus;
}

class HotKeyAndTray : public ::testing::Test {
protected:
    XSession session{{.width = kW, .height = kH, .windowManager = true, .tray = true}};

    void writeSettings(const std::string& content)
    {
        std::filesystem::create_directories(session.configDir());
        std::ofstream(session.configDir() + "/zelbrik.ini") << content;
    }
    std::string settings()
    {
        std::ifstream in(session.configDir() + "/zelbrik.ini");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void key(const std::string& keys) { session.sh("xdotool key " + keys); }

    // Right after the focused window is hidden, a key sent at once was seen
    // to get lost under load: while the keyboard focus is nowhere, the
    // server drops keys, grabbed or not. Done once the window manager has
    // put the focus on a window again.
    [[nodiscard]] bool focusLeft(const std::string& hidden)
    {
        const auto hiddenId = static_cast<xcb_window_t>(std::stoul(hidden));
        return WaitUntil(
            [&] {
                const xcb_window_t focus = InputFocus(session.display());
                return focus != XCB_NONE && focus != hiddenId;
            },
            5000);
    }

    bool overlayAppears(Program& p, int timeoutMs = 3000)
    {
        return WaitUntil([&] { return !p.windowCovering(0, 0, kW, kH).empty(); }, timeoutMs);
    }
    // The program registers its hotkey at the start before it shows the tray
    // icon.
    [[nodiscard]] bool startRegistrationTried()
    {
        return WaitUntil([&] { return !trayIcon().empty(); }, 10000);
    }

    // A capture starts by preparing its grab of the display, a shared memory
    // segment of the display's size, during the delay; then the overlay
    // covers the display. Either shows that one is under way.
    static int segmentsForTheDisplay(const Program& p)
    {
        std::ifstream in("/proc/sysvipc/shm");
        std::string line;
        std::getline(in, line);  // the header
        int count = 0;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            unsigned long long key, id, perms, size;
            long long creator;
            if (fields >> key >> id >> perms >> size >> creator && creator == p.pid() &&
                size == static_cast<unsigned long long>(kW) * kH * 4)
                ++count;
        }
        return count;
    }
    bool captureUnderWay(const Program& p) const
    {
        return segmentsForTheDisplay(p) > 0 || !p.windowCovering(0, 0, kW, kH).empty();
    }

    // The tray menu as a sentinel: it opens only once the program has handled
    // everything sent to it before the right click.
    [[nodiscard]] bool openTrayMenu(const Program& p)
    {
        const size_t before = p.windows().size();
        session.sh("xdotool mousemove --window " + trayIcon() + " 5 5 click 3");
        return WaitUntil([&] { return p.windows().size() == before + 1; }, 3000);
    }
    // A click elsewhere closes it with nothing chosen.
    [[nodiscard]] bool closeTrayMenu(const Program& p)
    {
        const size_t before = p.windows().size();
        session.sh("xdotool mousemove 600 200 click 1");
        return WaitUntil([&] { return p.windows().size() + 1 == before; }, 3000);
    }
    // The tray icon: a small visible window of the program's class (the
    // settings window shares the class but not the size).
    std::string trayIcon()
    {
        const ShResult r = session.sh(
            "for w in $(xdotool search --onlyvisible --class '^zelbrik$' 2>/dev/null); do xwininfo -id $w | "
            "awk -v id=$w '/Width:/{w=$2} /Height:/{h=$2} END{if (w <= 64 && h <= 64) print id}'; done");
        std::istringstream in(r.out);
        std::string id;
        in >> id;
        return id;
    }
};

}  // namespace

TEST_F(HotKeyAndTray, HotKeyWhileHiddenStartsTheCaptureAfterTheDelay)
{
    writeSettings("[yincang]\n隐藏=1\n");
    Program p(session);
    ASSERT_TRUE(WaitUntil([&] { return !trayIcon().empty(); }, 10000)) << "only the tray icon is shown";
    EXPECT_TRUE(p.windows(kTitle).empty());

    const auto pressed = std::chrono::steady_clock::now();
    key("ctrl+q");
    // What tells the other cases that a capture has started before its
    // overlay can show.
    EXPECT_TRUE(WaitUntil([&] { return segmentsForTheDisplay(p) > 0; }, 3000)) << "no grab prepared in the delay";
    ASSERT_TRUE(overlayAppears(p));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - pressed).count();
    EXPECT_GE(ms, 280) << "the grab waits for the 300 ms delay";
    EXPECT_TRUE(p.windows("^信息框$").empty());
}

TEST_F(HotKeyAndTray, HotKeyWorksWithNumLockOn)
{
    writeSettings("[yincang]\n隐藏=1\n");
    Program p(session);
    ASSERT_TRUE(WaitUntil([&] { return !trayIcon().empty(); }, 10000));
    key("Num_Lock");
    key("ctrl+q");
    EXPECT_TRUE(overlayAppears(p));
    key("Num_Lock");
}

TEST_F(HotKeyAndTray, WhileShownTheHotKeyOnlyFillsTheFocusedField)
{
    Program p(session);
    const std::string w = p.waitForWindow(kTitle);
    ASSERT_FALSE(w.empty());
    session.sh("xdotool windowactivate --sync " + w);
    // The field has the focus at start: Ctrl+W is typed into it, then the
    // grabbed Ctrl+Q arrives through the hotkey and replaces it.
    key("ctrl+w");
    key("ctrl+q");
    // Save is the sentinel: the program handles its click after the keys.
    p.clickAt(w, kSaveX, kButtonY);
    ASSERT_TRUE(WaitUntil([&] { return settings().find("截图热键=") != std::string::npos; }, 5000));
    EXPECT_FALSE(captureUnderWay(p)) << "no capture while the window is shown";
    EXPECT_NE(settings().find("截图热键=16465\n"), std::string::npos) << settings();
}

TEST_F(HotKeyAndTray, WhileShownWithFocusElsewhereTheHotKeyDoesNothingAndSaveMovesIt)
{
    Program p(session);
    const std::string w = p.waitForWindow(kTitle);
    ASSERT_FALSE(w.empty());
    session.sh("xdotool windowactivate --sync " + w);
    key("ctrl+w");  // into the hotkey field
    key("Tab");     // focus to the quality field
    key("ctrl+q");
    p.clickAt(w, kSaveX, kButtonY);  // the sentinel
    ASSERT_TRUE(WaitUntil([&] { return settings().find("截图热键=") != std::string::npos; }, 5000));
    EXPECT_FALSE(captureUnderWay(p));
    EXPECT_NE(settings().find("截图热键=16471\n"), std::string::npos) << "the field kept Ctrl+W: " << settings();

    // Save hid the window and moved the hotkey to Ctrl+W.
    ASSERT_TRUE(WaitUntil([&] { return p.windows(kTitle).empty(); }, 5000));
    ASSERT_TRUE(focusLeft(w));
    key("ctrl+q");
    ASSERT_TRUE(openTrayMenu(p)) << "the menu opens";
    EXPECT_FALSE(captureUnderWay(p)) << "the old combination is released";
    ASSERT_TRUE(closeTrayMenu(p)) << "the menu closes";
    key("ctrl+w");
    EXPECT_TRUE(overlayAppears(p));
}

TEST_F(HotKeyAndTray, SaveWithTheSameHotKeyRegistersItAgain)
{
    Program p(session);
    const std::string w = p.waitForWindow(kTitle);
    ASSERT_FALSE(w.empty());
    p.clickAt(w, kSaveX, kButtonY);
    ASSERT_TRUE(WaitUntil([&] { return p.windows(kTitle).empty(); }, 5000));
    ASSERT_TRUE(focusLeft(w));
    key("ctrl+q");
    EXPECT_TRUE(overlayAppears(p));
}

TEST_F(HotKeyAndTray, CombinationHeldByAnotherClientIsSilentAndCaptureButtonStillWorks)
{
    KeyGrabber other(session.display(), 'q', 4 /* Control */);
    ASSERT_TRUE(other.holding());
    Program p(session);
    const std::string w = p.waitForWindow(kTitle);
    ASSERT_FALSE(w.empty());
    ASSERT_TRUE(startRegistrationTried()) << "the start does not finish";
    EXPECT_TRUE(p.windows("^信息框$").empty()) << "a refused registration is silent";

    // Hidden by Save (which tries to register again and is refused again).
    p.clickAt(w, kSaveX, kButtonY);
    ASSERT_TRUE(WaitUntil([&] { return p.windows(kTitle).empty(); }, 5000));
    ASSERT_TRUE(focusLeft(w));
    key("ctrl+q");

    // A click on the tray icon, the sentinel, shows the window again.
    const std::string icon = trayIcon();
    ASSERT_FALSE(icon.empty());
    session.sh("xdotool mousemove --window " + icon + " 5 5 click 1");
    const std::string shown = p.waitForWindow(kTitle);
    ASSERT_FALSE(shown.empty());
    EXPECT_FALSE(captureUnderWay(p)) << "the keys belong to the other client";
    EXPECT_TRUE(p.windows("^信息框$").empty());

    // The Capture button still captures.
    p.clickAt(shown, kCaptureX, kButtonY);
    EXPECT_TRUE(overlayAppears(p));
}

TEST_F(HotKeyAndTray, SaveRegistersTheHotKeyWhenTheStartRegistrationWasRefused)
{
    auto other = std::make_unique<KeyGrabber>(session.display(), 'q', 4 /* Control */);
    ASSERT_TRUE(other->holding());
    Program p(session);
    const std::string w = p.waitForWindow(kTitle);
    ASSERT_FALSE(w.empty());
    ASSERT_TRUE(startRegistrationTried()) << "the start does not finish";
    other.reset();  // the other client lets go of Ctrl+Q

    p.clickAt(w, kSaveX, kButtonY);
    ASSERT_TRUE(WaitUntil([&] { return p.windows(kTitle).empty(); }, 5000));
    ASSERT_TRUE(focusLeft(w));
    key("ctrl+q");
    EXPECT_TRUE(overlayAppears(p)) << "Save registered the combination anew";
}

TEST_F(HotKeyAndTray, TrayIconClickMenuExitAndHostRestart)
{
    writeSettings("[yincang]\n隐藏=1\n");
    Program p(session);
    ASSERT_TRUE(WaitUntil([&] { return !trayIcon().empty(); }, 10000));
    EXPECT_TRUE(p.windows(kTitle).empty());

    // A left click shows the settings window in front.
    session.sh("xdotool mousemove --window " + trayIcon() + " 5 5 click 1");
    const std::string w = p.waitForWindow(kTitle);
    ASSERT_FALSE(w.empty());
    EXPECT_TRUE(WaitUntil([&] { return session.sh("xdotool getactivewindow").out.find(w) != std::string::npos; },
                          3000));

    // The icon comes back when the tray host restarts.
    session.stopTray();
    EXPECT_TRUE(WaitUntil([&] { return trayIcon().empty(); }, 5000));
    session.startTray();
    ASSERT_TRUE(WaitUntil([&] { return !trayIcon().empty(); }, 10000)) << "the icon docks in the new tray";

    // Right click, then a click elsewhere closes the menu with nothing chosen.
    EXPECT_TRUE(openTrayMenu(p)) << "the menu opens";
    EXPECT_TRUE(closeTrayMenu(p)) << "and closes";

    // Right click, then the Exit entry (its accelerator Q) ends the program
    // with code 0 and the icon goes. The menu open again is the sentinel for
    // the click that closed it.
    ASSERT_TRUE(openTrayMenu(p)) << "the menu opens again";
    EXPECT_TRUE(p.process().running());
    EXPECT_FALSE(p.windows(kTitle).empty()) << "nothing was chosen";
    key("q");
    EXPECT_EQ(p.process().waitExit(10000), 0);
    EXPECT_TRUE(WaitUntil([&] { return trayIcon().empty(); }, 5000));
}
