// The capture overlay on Xvfb with openbox and a tray panel, driven by real
// pointer events: the delayed single grab, the window covering the display
// above everything, the crosshair and band on screen, the region, and a
// capture started again while the overlay shows.

#include "support/overlaytest.h"

#include <QTemporaryDir>
#include <QWidget>

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::X11, .width = 1920, .height = 1080, .windowManager = true,
                         .tray = true);

namespace {

class Overlay : public OverlayTest {
protected:
    static void SetUpTestSuite()
    {
        static QTemporaryDir dir;
        const QImage pattern = ScreenPattern({1920, 1080}, 11);
        ASSERT_TRUE(ShowOnRoot(*ProcessXSession(), pattern, dir.path()));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return ComparePixels(TScreenGrabber().Grab({0, 0, 400, 400}), pattern.copy(0, 0, 400, 400)).empty(); },
            10000));
    }
};

TEST_F(Overlay, TwoClicksSelectARegionOnTheFrozenScreen)
{
    Xdo("mousemove 10 10");
    const QImage before = Screen();

    form5->StartCapture();
    QTest::qWait(100);
    // Enabling the timer again must neither restart nor repeat the wait.
    form5->StartCapture();
    EXPECT_LT(form5->Timer1->remainingTime(), 260);
    ASSERT_TRUE(Capture(1));
    QTest::qWait(500);
    EXPECT_EQ(grabbed->count(), 1) << "two starts within the delay grab once";
    EXPECT_FALSE(form5->Timer1->isActive());

    // The overlay covers the display exactly, outside the window manager's reach.
    const XWindowInfo info = QueryXWindow(*session, form5->winId());
    EXPECT_EQ(info.geometry, QRect(0, 0, 1920, 1080));
    EXPECT_TRUE(info.overrideRedirect);
    EXPECT_TRUE(info.viewable);
    EXPECT_TRUE(form5->isVisible());

    ASSERT_EQ(Picture().size(), QSize(1920, 1080));
    EXPECT_EQ(ComparePixels(Picture(), before), "");
    EXPECT_EQ(FirstNonOpaque(Picture()), "");
    EXPECT_TRUE(Selection.CrossActive);
    EXPECT_EQ(Selection.CrossX, -1);
    EXPECT_TRUE(ScreenShowsPicture());

    Xdo("mousemove 700 400");
    EXPECT_TRUE(PictureBecomes(WithCrosshair(before, 700, 400)));
    // Across the tray panel at the bottom: the overlay is above it.
    Xdo("mousemove 1900 1070");
    EXPECT_TRUE(PictureBecomes(WithCrosshair(before, 1900, 1070)));
    EXPECT_TRUE(ScreenShowsPicture()) << "the crosshair is not on the screen as drawn";

    // A right click sets the first corner and removes the crosshair.
    Xdo("click 3");
    EXPECT_TRUE(PictureBecomes(before));
    EXPECT_TRUE(Selection.Selecting);
    EXPECT_EQ(QPoint(Selection.AnchorX, Selection.AnchorY), QPoint(1900, 1070));
    Xdo("mousemove 300 200");
    EXPECT_TRUE(PictureBecomes(WithBand(before, 1900, 1070, 300, 200)));

    // A window mapped later stays below the overlay.
    QWidget other;
    other.setGeometry(200, 150, 500, 400);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    QTest::qWait(300);
    EXPECT_TRUE(ScreenShowsPicture()) << "another window came above the overlay";
    other.hide();

    // The middle button sets the second corner where it is pressed.
    Xdo("mousemove 250 150 click 2");
    ASSERT_TRUE(QTest::qWaitFor([&] { return region.has_value(); }, 5000));
    EXPECT_EQ(*region, QRect(250, 150, 1650, 920));
    EXPECT_EQ(ComparePixels(frozenAtRegion, before), "") << "the frozen picture is not as grabbed";
    EXPECT_FALSE(Selection.Selecting);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form5->isVisible(); }, 5000));
}

TEST_F(Overlay, CaptureWhileShowingGrabsTheOverlayAndKeepsTheFirstCorner)
{
    Xdo("mousemove 10 10");
    const QImage before = Screen();
    ASSERT_TRUE(Capture(1));
    Xdo("mousemove 500 500 click 1 mousemove 800 700");
    const QImage withBand = WithBand(before, 500, 500, 800, 700);
    ASSERT_TRUE(PictureBecomes(withBand));
    ASSERT_TRUE(ScreenShowsPicture());

    ASSERT_TRUE(Capture(2));
    // The new picture is the screen as it looked: overlay and band included.
    EXPECT_EQ(ComparePixels(Picture(), withBand), "");
    EXPECT_TRUE(Selection.Selecting);
    EXPECT_TRUE(Selection.CrossActive);
    EXPECT_EQ(Selection.CrossX, -1);
    EXPECT_EQ(Selection.CrossY, -1);

    // The next move takes the old band (now part of the picture) off and
    // draws the new one from the first corner.
    Xdo("mousemove 900 650");
    EXPECT_TRUE(PictureBecomes(WithBand(before, 500, 500, 900, 650)));
    Xdo("click 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return region.has_value(); }, 5000));
    EXPECT_EQ(*region, QRect(500, 500, 400, 150));
    EXPECT_EQ(ComparePixels(frozenAtRegion, before), "");
}

TEST_F(Overlay, DoubleClickGivesAnEmptyRegion)
{
    ASSERT_TRUE(Capture(1));
    Xdo("mousemove 640 480");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Selection.CrossX == 640; }, 5000));
    Xdo("click --repeat 2 --delay 40 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return region.has_value(); }, 5000));
    EXPECT_EQ(*region, QRect(640, 480, 0, 0));
}

}  // namespace
