// THotKeyManager on a real X server: key grabs on the root window, presses
// sent with xdotool (XTEST), other clients holding combinations, keyboard map
// changes made with xmodmap.

#include <gtest/gtest.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/hotkeymanager.h"
#include "support/keygrab.h"
#include "support/testenv.h"
#include "support/xsession.h"

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::X11, .width = 1024, .height = 768, .windowManager = false);

namespace {

constexpr quint32 kShift = 0x2000, kCtrl = 0x4000, kAlt = 0x8000, kSuper = 0x10000;
constexpr quint32 kCtrlQ = kCtrl | 'Q';  // 16465
// Pressed after a combination that must not be reported: once its report is
// in, everything sent before it has been seen (the server keeps the order).
constexpr quint32 kSentinel = kCtrl | kShift | 0x7A;  // Ctrl+Shift+F11
constexpr const char* kSentinelKeys = "ctrl+shift+F11";

constexpr unsigned kXkQ = 0x71, kXkW = 0x77, kXkE = 0x65;
constexpr unsigned kControlMask = 4;
constexpr unsigned kLockMask = 2, kNumLockMask = 16;  // Lock and Mod2 (Num_Lock on this server)

const std::string& Display()
{
    static const std::string d = ProcessXSession()->display();
    return d;
}

void Sh(const std::string& cmd)
{
    ProcessXSession()->sh(cmd);
}

// Whether a fresh client can grab Ctrl+<keysym> in every lock variant, i.e.
// nobody (in particular not the manager) holds any of them.
bool FreeForOthers(unsigned keysym, unsigned modifiers = kControlMask)
{
    KeyGrabber g(Display(), keysym, modifiers);
    return g.holding();
}

// Counts the raw key presses this client receives, before the manager sees them.
class RawPressCounter : public QAbstractNativeEventFilter {
public:
    RawPressCounter() { qApp->installNativeEventFilter(this); }
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type == "xcb_generic_event_t" && (static_cast<xcb_generic_event_t*>(message)->response_type & 0x7f) == XCB_KEY_PRESS)
            ++presses;
        return false;
    }
    int presses = 0;
};

class HotKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager = std::make_unique<THotKeyManager>();
        QObject::connect(manager.get(), &THotKeyManager::OnHotKeyPressed,
                         [this](quint32 code, quint16 id) { reports.emplace_back(code, id); });
        sentinel = manager->AddHotKey(kSentinel);
        ASSERT_NE(sentinel, 0);
    }

    // Sends the keys followed by the sentinel; returns what was reported for
    // the keys alone (the sentinel's report removed).
    std::vector<std::pair<quint32, quint16>> pressThenSentinel(const std::string& keys)
    {
        return runThenSentinel("key " + keys);
    }
    // Runs an xdotool command line followed by the sentinel combination;
    // returns what was reported before the sentinel.
    std::vector<std::pair<quint32, quint16>> runThenSentinel(const std::string& xdotoolArgs)
    {
        reports.clear();
        Sh("xdotool " + xdotoolArgs + " key " + kSentinelKeys);
        bool got = QTest::qWaitFor([&] { return !reports.empty() && reports.back().first == kSentinel; }, 5000);
        EXPECT_TRUE(got) << "the sentinel combination was not reported";
        auto out = reports;
        if (got)
            out.pop_back();
        return out;
    }

    std::unique_ptr<THotKeyManager> manager;
    std::vector<std::pair<quint32, quint16>> reports;
    quint16 sentinel = 0;
};

using Report = std::pair<quint32, quint16>;
using Reports = std::vector<Report>;

struct KeyCase {
    quint32 code;
    const char* keys;  // as xdotool types them
};

TEST_F(HotKeys, EachCombinationIsReportedWithItsCodeAndIdentifier)
{
    const KeyCase cases[] = {
        {kCtrlQ, "ctrl+q"},
        {kCtrl | kShift | 0x74, "ctrl+shift+F5"},
        {kAlt | '1', "alt+1"},
        {kSuper | 0x20, "super+space"},
        {kCtrl | kAlt | 0x2E, "ctrl+alt+Delete"},
        {kCtrl | 0x6B, "ctrl+KP_Add"},
        {kCtrl | 0xBA, "ctrl+semicolon"},
        {kCtrl | 0xDB, "ctrl+bracketleft"},
        {kShift | 0x25, "shift+Left"},
        {kCtrl | 0x2C, "ctrl+Print"},
        {kAlt | 0x24, "alt+Home"},
        {kCtrl | 0x0D, "ctrl+Return"},
    };
    ASSERT_EQ(kCtrlQ, 16465u);
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.keys);
        reports.clear();
        const quint16 id = manager->AddHotKey(c.code);
        ASSERT_NE(id, 0);
        EXPECT_NE(id, sentinel);
        EXPECT_EQ(pressThenSentinel(c.keys), (Reports{{c.code, id}}));
        EXPECT_TRUE(manager->RemoveHotKey(id));
        EXPECT_FALSE(manager->RemoveHotKey(id));
    }
}

TEST_F(HotKeys, CodesWithoutAKeyAreRefused)
{
    // No key byte, unassigned virtual-key codes, a lone modifier key code.
    for (quint32 code : {kCtrl, kCtrl | 0x07u, kCtrl | 0xFFu, kCtrl | 0xE8u, kCtrl | 0x11u}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(manager->AddHotKey(code), 0);
    }
}

TEST_F(HotKeys, IdentifiersAreDistinctAndACombinationIsHeldOnce)
{
    const quint16 a = manager->AddHotKey(kCtrlQ);
    const quint16 b = manager->AddHotKey(kCtrl | 'W');
    const quint16 c = manager->AddHotKey(kAlt | 'Q');
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    ASSERT_NE(c, 0);
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    EXPECT_NE(a, c);
    EXPECT_NE(a, sentinel);
    // A second registration of a held combination would share the server's
    // grab; it is refused and the first one keeps working.
    EXPECT_EQ(manager->AddHotKey(kCtrlQ), 0);
    EXPECT_EQ(pressThenSentinel("ctrl+q alt+q ctrl+w"), (Reports{{kCtrlQ, a}, {kAlt | 'Q', c}, {kCtrl | 'W', b}}));
}

TEST_F(HotKeys, LockKeysDoNotMatter)
{
    const quint16 id = manager->AddHotKey(kCtrlQ);
    ASSERT_NE(id, 0);
    struct LockCase {
        const char* toggle;
        const char* indicator;  // as `xset q` names the LEDs it turns on
    };
    const LockCase cases[] = {
        {"Num_Lock", "Num Lock:    on"},
        {"Caps_Lock", "Caps Lock:   on"},
        {"Num_Lock Caps_Lock", "Num Lock:    on"},
    };
    for (const LockCase& c : cases) {
        SCOPED_TRACE(c.toggle);
        Sh(std::string("xdotool key ") + c.toggle);
        EXPECT_NE(ProcessXSession()->sh("xset q").out.find(c.indicator), std::string::npos) << "lock is not on";
        EXPECT_EQ(pressThenSentinel("ctrl+q"), (Reports{{kCtrlQ, id}}));
        Sh(std::string("xdotool key ") + c.toggle);  // off again
    }
    EXPECT_EQ(ProcessXSession()->sh("xset q").out.find(": on"), std::string::npos);
}

TEST_F(HotKeys, OnlyTheRegisteredCombinationIsReported)
{
    const quint16 id = manager->AddHotKey(kCtrlQ);
    ASSERT_NE(id, 0);
    // Same key, other modifiers; other keys with the same modifier.
    EXPECT_TRUE(pressThenSentinel("q shift+q ctrl+shift+q alt+q ctrl+alt+q super+q ctrl+w").empty());
    EXPECT_EQ(pressThenSentinel("ctrl+q"), (Reports{{kCtrlQ, id}}));
    ASSERT_TRUE(manager->RemoveHotKey(id));
    EXPECT_TRUE(pressThenSentinel("ctrl+q").empty()) << "removed, still reported";
}

TEST_F(HotKeys, HoldingTheCombinationReportsOnePress)
{
    const quint16 id = manager->AddHotKey(kCtrlQ);
    ASSERT_NE(id, 0);
    RawPressCounter raw;
    // Long enough for the server's auto-repeat (660 ms delay, 25/s here).
    EXPECT_EQ(runThenSentinel("keydown ctrl+q sleep 1.5 keyup q keyup ctrl"), (Reports{{kCtrlQ, id}}));
    // Without repeats on the wire the case would prove nothing: the hold, the
    // sentinel, and at least a few repeats.
    EXPECT_GE(raw.presses, 6) << "the server did not auto-repeat";
    // The next press after the release is a new one.
    EXPECT_EQ(pressThenSentinel("ctrl+q"), (Reports{{kCtrlQ, id}}));
}

TEST_F(HotKeys, AFocusedWindowOfOursNeverSeesTheCombination)
{
    const quint16 id = manager->AddHotKey(kCtrlQ);
    ASSERT_NE(id, 0);
    QLineEdit edit;
    int qPresses = 0;
    struct Spy : QObject {
        int* count;
        explicit Spy(int* c) : count(c) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            const bool key = e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease ||
                             e->type() == QEvent::ShortcutOverride;
            if (key && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Q)
                ++*count;
            return false;
        }
    } spy(&qPresses);
    edit.installEventFilter(&spy);
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    edit.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
    edit.setFocus();
    // The window really has the keyboard: plain keys are typed into it.
    Sh("xdotool key a");
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit.text() == "a"; }, 3000));
    // Twice: the release must come to the manager too, or the second press
    // would pass for an auto-repeat.
    EXPECT_EQ(pressThenSentinel("ctrl+q ctrl+q"), (Reports{{kCtrlQ, id}, {kCtrlQ, id}}));
    EXPECT_EQ(qPresses, 0);
    Sh("xdotool key q");
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit.text() == "aq"; }, 3000)) << "q alone is the window's again";
}

struct HeldVariant {
    const char* name;
    unsigned lock;  // the one lock state held with Control
    friend void PrintTo(const HeldVariant& v, std::ostream* os) { *os << v.name; }
};

class HeldByAnotherClient : public HotKeys, public ::testing::WithParamInterface<HeldVariant> {};

TEST_P(HeldByAnotherClient, IsRefusedAndLeavesNoGrabBehind)
{
    KeyGrabber other(Display(), kXkQ, kControlMask, {GetParam().lock});
    ASSERT_TRUE(other.holding());
    EXPECT_EQ(manager->AddHotKey(kCtrlQ), 0);
    other.release();
    // Every variant is free again: the grabs that did succeed were released.
    EXPECT_TRUE(FreeForOthers(kXkQ));
    EXPECT_TRUE(pressThenSentinel("ctrl+q").empty());
    // And the combination can be registered now.
    const quint16 id = manager->AddHotKey(kCtrlQ);
    EXPECT_NE(id, 0);
    EXPECT_EQ(pressThenSentinel("ctrl+q"), (Reports{{kCtrlQ, id}}));
}

INSTANTIATE_TEST_SUITE_P(LockVariants, HeldByAnotherClient,
                         ::testing::Values(HeldVariant{"Plain", 0}, HeldVariant{"CapsLock", kLockMask},
                                           HeldVariant{"NumLock", kNumLockMask},
                                           HeldVariant{"Both", kLockMask | kNumLockMask}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HotKeys, ChangeMovesTheRegistration)
{
    const quint16 first = manager->AddHotKey(kCtrlQ);
    ASSERT_NE(first, 0);
    const quint16 second = manager->ChangeHotKey(first, kCtrl | 'W');
    ASSERT_NE(second, 0);
    EXPECT_TRUE(FreeForOthers(kXkQ)) << "the old combination is still grabbed";
    EXPECT_FALSE(FreeForOthers(kXkW));
    EXPECT_EQ(pressThenSentinel("ctrl+q ctrl+w"), (Reports{{kCtrl | 'W', second}}));
    EXPECT_FALSE(manager->RemoveHotKey(first));
}

TEST_F(HotKeys, ChangeOfAnUnknownIdentifierRegistersNothing)
{
    const quint16 id = manager->AddHotKey(kCtrlQ);
    ASSERT_NE(id, 0);
    quint16 unknown = 1;
    while (unknown == id || unknown == sentinel)
        ++unknown;
    for (quint16 stale : {quint16(0), unknown}) {
        SCOPED_TRACE(stale);
        EXPECT_EQ(manager->ChangeHotKey(stale, kCtrl | 'E'), 0);
        EXPECT_TRUE(FreeForOthers(kXkE));
    }
    // The existing registration is untouched.
    EXPECT_EQ(pressThenSentinel("ctrl+e ctrl+q"), (Reports{{kCtrlQ, id}}));
}

TEST_F(HotKeys, ChangeToAHeldCombinationLeavesNothingRegistered)
{
    const quint16 id = manager->AddHotKey(kCtrlQ);
    ASSERT_NE(id, 0);
    KeyGrabber other(Display(), kXkE, kControlMask);
    ASSERT_TRUE(other.holding());
    EXPECT_EQ(manager->ChangeHotKey(id, kCtrl | 'E'), 0);
    EXPECT_TRUE(FreeForOthers(kXkQ)) << "the old registration was not removed";
    EXPECT_TRUE(pressThenSentinel("ctrl+q").empty());
    EXPECT_EQ(manager->ChangeHotKey(id, kCtrlQ), 0) << "the identifier is gone";
}

TEST_F(HotKeys, KeyboardMapChangeMovesTheGrabs)
{
    const quint16 id = manager->AddHotKey(kCtrlQ);
    ASSERT_NE(id, 0);
    auto keycodeOf = [](const char* sym) {
        std::string out = ProcessXSession()->sh(std::string("xmodmap -pke | awk '$4 == \"") + sym + "\" {print $2}'").out;
        return std::atoi(out.c_str());
    };
    const int q = keycodeOf("q"), w = keycodeOf("w");
    ASSERT_GT(q, 0);
    ASSERT_GT(w, 0);
    auto swap = [&](int qCode, int wCode) {
        Sh("xmodmap -e 'keycode " + std::to_string(qCode) + " = q Q' -e 'keycode " + std::to_string(wCode) +
           " = w W'");
    };
    swap(w, q);  // q now on the key that was w, and w on the old q
    ASSERT_EQ(keycodeOf("q"), w);
    // The manager follows the new map: Ctrl+Q is held on the new key, and the
    // old key (now w) is released.
    EXPECT_TRUE(QTest::qWaitFor([] { return !FreeForOthers(kXkQ); }, 3000));
    EXPECT_TRUE(FreeForOthers(kXkW));
    EXPECT_EQ(pressThenSentinel("ctrl+w ctrl+q"), (Reports{{kCtrlQ, id}}));

    swap(q, w);
    ASSERT_EQ(keycodeOf("q"), q);
    EXPECT_TRUE(QTest::qWaitFor([] { return !FreeForOthers(kXkQ) && FreeForOthers(kXkW); }, 3000));
    EXPECT_EQ(pressThenSentinel("ctrl+w ctrl+q"), (Reports{{kCtrlQ, id}}));
}

TEST_F(HotKeys, DestructionReleasesEveryGrab)
{
    ASSERT_NE(manager->AddHotKey(kCtrlQ), 0);
    ASSERT_NE(manager->AddHotKey(kCtrl | 'W'), 0);
    EXPECT_FALSE(FreeForOthers(kXkQ));
    EXPECT_FALSE(FreeForOthers(kXkW));
    manager.reset();
    EXPECT_TRUE(FreeForOthers(kXkQ));
    EXPECT_TRUE(FreeForOthers(kXkW));
    EXPECT_TRUE(FreeForOthers(0xffc8, kControlMask | 1)) << "the sentinel (Ctrl+Shift+F11) is still grabbed";
}

}  // namespace
