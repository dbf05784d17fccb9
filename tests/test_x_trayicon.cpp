// TCoolTrayIcon in trayer (an XEmbed tray) on Xvfb with openbox, driven
// with xdotool: docking, tooltip, clicks, the menu, a tray restart.

#include <gtest/gtest.h>

#include <QTest>

#include <QAbstractNativeEventFilter>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QStyleHints>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include <xcb/xcb.h>

#include "platform/trayicon.h"
#include "platform/xcbutil.h"
#include "support/keygrab.h"
#include "support/testenv.h"
#include "support/xsession.h"

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::X11, .width = 1024, .height = 768, .tray = true);

namespace {

const QString kHint = QStringLiteral("Orvalt简体免费版V1.01.02");

ShResult Sh(const std::string& cmd)
{
    return ProcessXSession()->sh(cmd);
}

// When the last button press was sent, in any test of this process.
std::optional<std::chrono::steady_clock::time_point> g_lastPress;

// Two presses closer together than the double-click interval are one double
// click, whatever a test means by them: a test that wants a single click
// waits out what is left of that interval since the last press.
void WaitOutTheDoubleClickInterval()
{
    if (!g_lastPress)
        return;
    const auto interval = std::chrono::milliseconds(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        *g_lastPress + interval - std::chrono::steady_clock::now());
    if (left.count() > 0)
        QTest::qWait(static_cast<int>(left.count()));
}

// Runs an xdotool command line on the server.
void Pointer(const std::string& args)
{
    Sh("xdotool " + args);
    if (args.find("click") != std::string::npos || args.find("mousedown") != std::string::npos)
        g_lastPress = std::chrono::steady_clock::now();
}

// The widget Qt draws the icon in, while it is shown.
QWidget* IconWidget()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->inherits("QSystemTrayIconSys") && w->isVisible())
            return w;
    }
    return nullptr;
}

// Its X window.
std::string IconWindow()
{
    QWidget* w = IconWidget();
    return w ? std::to_string(w->winId()) : std::string();
}

// Where pointer motions reached the icon's window, in its coordinates.
class IconMotions : public QObject {
public:
    IconMotions() { qApp->installEventFilter(this); }
    ~IconMotions() override { qApp->removeEventFilter(this); }
    std::vector<QPoint> seen;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        // As the window gets it, before its widget: once for each motion.
        if (e->type() != QEvent::MouseMove || !watched->isWindowType())
            return false;
        if (QWidget* icon = IconWidget(); icon && watched == icon->windowHandle())
            seen.push_back(static_cast<QMouseEvent*>(e)->position().toPoint());
        return false;
    }
};

// The sentinel: a key combination grabbed on Qt's own connection and
// pressed at the end of an xdotool command line. The server puts fake input
// through one queue and sends its events in that order, and Qt hands them on
// in order: once the sentinel's press is in, so is everything the command
// line did before it. Nothing else would do: the server gets to fake input
// only after the requests that follow it (a window resized after a click is
// seen before the click), and Qt drops a motion of the pointer when a later
// one waits behind it (the program would never see where a drag went).
class Sentinel : public QAbstractNativeEventFilter {
public:
    Sentinel() : keys_(xcbutil::Connection(), kF11, kControl | kShift) { qApp->installNativeEventFilter(this); }
    ~Sentinel() override { qApp->removeNativeEventFilter(this); }
    bool ready() const { return keys_.holding(); }
    // xdotool arguments that press it.
    std::string command()
    {
        expected_ = presses_ + 1;
        return " key ctrl+shift+F11";
    }
    [[nodiscard]] bool arrived()
    {
        return QTest::qWaitFor([&] { return presses_ >= expected_; }, 5000);
    }

protected:
    // Taken from whatever window gets it (the open menu holds the keyboard),
    // so that nothing else sees it.
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* ev = static_cast<const xcb_key_press_event_t*>(message);
        const uint8_t kind = ev->response_type & 0x7f;
        if ((kind != XCB_KEY_PRESS && kind != XCB_KEY_RELEASE) ||
            std::find(keys_.keycodes().begin(), keys_.keycodes().end(), ev->detail) == keys_.keycodes().end())
            return false;
        if (kind == XCB_KEY_PRESS)
            ++presses_;
        return true;
    }

private:
    static constexpr unsigned kF11 = 0xffc8, kControl = XCB_MOD_MASK_CONTROL, kShift = XCB_MOD_MASK_SHIFT;
    KeyGrabber keys_;
    int presses_ = 0;
    int expected_ = 0;
};

// Visible to other clients and embedded in the tray (no longer a child of the
// root). Qt names the window's WM_CLASS class after the application
// ("zelbrik") and its instance after the executable.
bool Docked(const std::string& id)
{
    if (id.empty())
        return false;
    const std::string visible =
        Sh("xdotool search --onlyvisible --class '^" + QCoreApplication::applicationName().toStdString() + "$'").out;
    std::istringstream in(visible);
    bool listed = false;
    for (std::string w; in >> w;)
        listed = listed || w == id;
    const std::string tree = Sh("xwininfo -tree -id " + id).out;
    const auto rootPos = tree.find("Root window id: ");
    const auto parentPos = tree.find("Parent window id: ");
    if (rootPos == std::string::npos || parentPos == std::string::npos)
        return false;
    const std::string root = tree.substr(rootPos + 16, tree.find(' ', rootPos + 16) - rootPos - 16);
    const std::string parent = tree.substr(parentPos + 18, tree.find(' ', parentPos + 18) - parentPos - 18);
    return listed && parent != root;
}

bool WindowExists(const std::string& id)
{
    return Sh("xwininfo -id " + id + " >/dev/null 2>&1 && echo yes").out.find("yes") != std::string::npos;
}

const QLabel* VisibleToolTip()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->inherits("QTipLabel") && w->isVisible())
            return qobject_cast<QLabel*>(w);
    }
    return nullptr;
}

class Tray : public ::testing::Test {
protected:
    void SetUp() override
    {
        menu = std::make_unique<QMenu>();
        open = menu->addAction(QStringLiteral("打开(&O)"));
        exit = menu->addAction(QStringLiteral("退出(&Q)"));
        QObject::connect(open, &QAction::triggered, [this] { ++openTriggered; });
        QObject::connect(exit, &QAction::triggered, [this] { ++exitTriggered; });

        tray = std::make_unique<TCoolTrayIcon>();
        QIcon icon;
        icon.addFile(QStringLiteral(":/zelbrik/zelbrik-16.png"), QSize(16, 16));
        icon.addFile(QStringLiteral(":/zelbrik/zelbrik-32.png"), QSize(32, 32));
        ASSERT_FALSE(icon.isNull());
        tray->SetIcon(icon);
        tray->SetHint(kHint);
        tray->SetPopupMenu(menu.get());
        QObject::connect(tray.get(), &TCoolTrayIcon::OnClick, [this] { ++clicks; });
        ASSERT_TRUE(sentinel.ready());
        tray->Show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Docked(id = IconWindow()); }, 10000))
            << "the icon did not dock in trayer; window '" << id << "': " << Sh("xwininfo -tree -id " + id).out;
        // Keep clicks of consecutive tests from making a double click.
        WaitOutTheDoubleClickInterval();
    }
    void TearDown() override
    {
        tray.reset();
        if (!ProcessXSession()->trayRunning())
            ProcessXSession()->startTray();
        Sh("xdotool mousemove 500 300");
    }

    // Runs an xdotool command line on the icon window.
    void OnIcon(const std::string& args) { Pointer(onIcon(args)); }
    std::string onIcon(const std::string& args) const { return "mousemove --window " + id + " 5 5 " + args; }

    // Runs an xdotool command line with the sentinel at its end.
    void withSentinel(const std::string& args) { Pointer(args + sentinel.command()); }

    // Whether the pointer put on a point of the icon reaches the icon's own
    // window there.
    [[nodiscard]] bool pointerReachesTheIcon()
    {
        reachAt = reachAt == 6 ? 7 : 6;  // never where the pointer already is
        motions.seen.clear();
        Pointer("mousemove --window " + id + " " + std::to_string(reachAt) + " " + std::to_string(reachAt));
        return QTest::qWaitFor(
            [&] { return std::find(motions.seen.begin(), motions.seen.end(), QPoint(reachAt, reachAt)) != motions.seen.end(); },
            1000);
    }

    std::unique_ptr<QMenu> menu;
    QAction* open = nullptr;
    QAction* exit = nullptr;
    std::unique_ptr<TCoolTrayIcon> tray;
    std::string id;
    int clicks = 0;
    int openTriggered = 0;
    int exitTriggered = 0;
    Sentinel sentinel;
    IconMotions motions;
    int reachAt = 6;
};

TEST_F(Tray, IsAvailableWithTrayer)
{
    EXPECT_TRUE(TCoolTrayIcon::IsAvailable());
}

TEST_F(Tray, HoveringShowsTheHint)
{
    OnIcon("");
    ASSERT_TRUE(QTest::qWaitFor([] { return VisibleToolTip() != nullptr; }, 5000)) << "no tooltip";
    EXPECT_EQ(VisibleToolTip()->text(), kHint);
}

TEST_F(Tray, TheHintKeepsAtMost127Characters)
{
    const QString emoji = QString::fromUcs4(U"\U0001F600");  // two UTF-16 units
    struct Case {
        const char* name;
        QString hint;
        QString shown;
    };
    const Case cases[] = {
        {"short", kHint, kHint},
        {"exactly 127", QString(127, 'a'), QString(127, 'a')},
        {"200", QString(200, 'b'), QString(127, 'b')},
        {"pair across the limit", QString(126, 'c') + emoji + "d", QString(126, 'c')},
        {"pair inside the limit", QString(125, 'e') + emoji + "fg", QString(125, 'e') + emoji},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tray->SetHint(c.hint);
        EXPECT_EQ(tray->Hint(), c.shown);
    }
}

TEST_F(Tray, LeftClickRaisesOnClickOnceAtTheRelease)
{
    withSentinel(onIcon("mousedown 1"));
    ASSERT_TRUE(sentinel.arrived());
    EXPECT_EQ(clicks, 0) << "raised at the press";
    withSentinel("mouseup 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicks > 0; }, 3000));
    ASSERT_TRUE(sentinel.arrived());
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(menu->isVisible());
}

TEST_F(Tray, ReleasingOutsideTheIconIsNoClick)
{
    withSentinel(onIcon("mousedown 1 mousemove 500 300 mouseup 1"));
    ASSERT_TRUE(sentinel.arrived());
    EXPECT_EQ(clicks, 0);
    // The next click on the icon counts normally.
    WaitOutTheDoubleClickInterval();
    OnIcon("click 1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return clicks == 1; }, 3000));
}

TEST_F(Tray, DoubleClickRaisesNoMoreThanTheFirstClick)
{
    // The second press of a double click comes as a double-click event,
    // which is not bound; its release ends no click.
    withSentinel(onIcon("click --repeat 2 --delay 80 1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicks > 0; }, 3000));
    ASSERT_TRUE(sentinel.arrived());
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(menu->isVisible());
    EXPECT_EQ(openTriggered + exitTriggered, 0);
}

TEST_F(Tray, RightClickOpensTheMenuAtThePointerAndAClickElsewhereClosesIt)
{
    withSentinel(onIcon("click 3"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 3000)) << "no menu";
    const QPoint pointer = QCursor::pos();
    const QRect at = menu->geometry();
    EXPECT_LE(std::abs(at.right() + 1 - pointer.x()), 1) << "right edge not at the pointer";
    EXPECT_LE(at.bottom(), pointer.y()) << "the tray is at the bottom: the menu opens above";
    ASSERT_TRUE(sentinel.arrived());
    EXPECT_EQ(openTriggered + exitTriggered, 0) << "the release of the right button chose an entry";

    withSentinel("mousemove 300 300 click 1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }, 3000)) << "a click elsewhere did not close the menu";
    ASSERT_TRUE(sentinel.arrived());
    EXPECT_EQ(openTriggered + exitTriggered, 0);
    EXPECT_EQ(clicks, 0);

    // Opened again, an entry is chosen with the mouse.
    WaitOutTheDoubleClickInterval();
    OnIcon("click 3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 3000));
    const QPoint exitAt = menu->mapToGlobal(menu->actionGeometry(exit).center());
    Pointer("mousemove " + std::to_string(exitAt.x()) + " " + std::to_string(exitAt.y()) + " click 1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return exitTriggered == 1; }, 3000));
    EXPECT_EQ(openTriggered, 0);
    EXPECT_FALSE(menu->isVisible());
}

TEST_F(Tray, TheIconComesBackWhenTheTrayRestarts)
{
    ProcessXSession()->stopTray();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Docked(IconWindow()); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([] { return !TCoolTrayIcon::IsAvailable(); }, 5000));
    ProcessXSession()->startTray();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Docked(id = IconWindow()); }, 10000)) << "not docked again";
    EXPECT_TRUE(TCoolTrayIcon::IsAvailable());
    // trayer may still be placing the new icon.
    ASSERT_TRUE(QTest::qWaitFor([&] { return pointerReachesTheIcon(); }, 10000)) << "the pointer on the icon misses it";
    OnIcon("click 1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return clicks == 1; }, 3000)) << "the icon docked again but does not answer";
}

TEST_F(Tray, DestructionRemovesTheIconWindow)
{
    ASSERT_TRUE(WindowExists(id));
    tray.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !WindowExists(id); }, 3000));
    EXPECT_TRUE(IconWindow().empty());
}

}  // namespace
