// TCoolTrayIcon in trayer (an XEmbed tray) on Xvfb with openbox, driven
// with xdotool: docking, tooltip, clicks, the menu, a tray restart.

#include <gtest/gtest.h>

#include <QTest>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QStyleHints>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "platform/trayicon.h"
#include "support/testenv.h"
#include "support/xsession.h"

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::X11, .width = 1024, .height = 768, .tray = true);

// The icons live in the library's resources; Q_INIT_RESOURCE must be called
// outside any namespace.
static void InitResources()
{
    Q_INIT_RESOURCE(zelbrik);
}

namespace {

const QString kHint = QStringLiteral("Orvalt简体免费版V1.01.02");

void Settle(int ms)
{
    QTest::qWaitFor([] { return false; }, ms);
}

ShResult Sh(const std::string& cmd)
{
    return ProcessXSession()->sh(cmd);
}

// The X window Qt draws the icon in, while it is shown.
std::string IconWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->inherits("QSystemTrayIconSys") && w->isVisible())
            return std::to_string(w->winId());
    }
    return {};
}

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
        InitResources();
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
        tray->Show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Docked(id = IconWindow()); }, 10000))
            << "the icon did not dock in trayer; window '" << id << "': " << Sh("xwininfo -tree -id " + id).out;
        // Keep clicks of consecutive tests from making a double click.
        Settle(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
    }
    void TearDown() override
    {
        tray.reset();
        if (!ProcessXSession()->trayRunning())
            ProcessXSession()->startTray();
        Sh("xdotool mousemove 500 300");
    }

    // Runs an xdotool command line on the icon window.
    void OnIcon(const std::string& args) { Sh("xdotool mousemove --window " + id + " 5 5 " + args); }

    std::unique_ptr<QMenu> menu;
    QAction* open = nullptr;
    QAction* exit = nullptr;
    std::unique_ptr<TCoolTrayIcon> tray;
    std::string id;
    int clicks = 0;
    int openTriggered = 0;
    int exitTriggered = 0;
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
    OnIcon("mousedown 1");
    Settle(300);
    EXPECT_EQ(clicks, 0) << "raised at the press";
    Sh("xdotool mouseup 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicks > 0; }, 3000));
    Settle(300);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(menu->isVisible());
}

TEST_F(Tray, ReleasingOutsideTheIconIsNoClick)
{
    OnIcon("mousedown 1 mousemove 500 300 mouseup 1");
    Settle(400);
    EXPECT_EQ(clicks, 0);
    // The next click on the icon counts normally.
    Settle(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
    OnIcon("click 1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return clicks == 1; }, 3000));
}

TEST_F(Tray, DoubleClickRaisesNoMoreThanTheFirstClick)
{
    // The second press of a double click comes as a double-click event,
    // which is not bound; its release ends no click.
    OnIcon("click --repeat 2 --delay 80 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicks > 0; }, 3000));
    Settle(400);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(menu->isVisible());
    EXPECT_EQ(openTriggered + exitTriggered, 0);
}

TEST_F(Tray, RightClickOpensTheMenuAtThePointerAndAClickElsewhereClosesIt)
{
    OnIcon("click 3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 3000)) << "no menu";
    const QPoint pointer = QCursor::pos();
    const QRect at = menu->geometry();
    EXPECT_LE(std::abs(at.right() + 1 - pointer.x()), 1) << "right edge not at the pointer";
    EXPECT_LE(at.bottom(), pointer.y()) << "the tray is at the bottom: the menu opens above";
    Settle(200);
    EXPECT_EQ(openTriggered + exitTriggered, 0) << "the release of the right button chose an entry";

    Sh("xdotool mousemove 300 300 click 1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }, 3000)) << "a click elsewhere did not close the menu";
    Settle(200);
    EXPECT_EQ(openTriggered + exitTriggered, 0);
    EXPECT_EQ(clicks, 0);

    // Opened again, an entry is chosen with the mouse.
    Settle(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
    OnIcon("click 3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 3000));
    const QPoint exitAt = menu->mapToGlobal(menu->actionGeometry(exit).center());
    Sh("xdotool mousemove " + std::to_string(exitAt.x()) + " " + std::to_string(exitAt.y()) + " click 1");
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
    Settle(300);  // trayer lays out the new icon
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
