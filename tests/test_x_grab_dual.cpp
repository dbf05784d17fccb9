// Two monitors on Xorg's dummy driver, the primary one (1920x1080) at 1280,0:
// the grab and the overlay take that display and nothing of the other.

#include "support/overlaytest.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::X11, .width = 1920, .height = 1080, .windowManager = true,
                         .twoMonitors = true);

namespace {

class TwoMonitors : public OverlayTest {
protected:
    void SetUp() override
    {
        OverlayTest::SetUp();
        ASSERT_TRUE(ShowOnRoot(*session, desktop, dir.path()));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return ComparePixels(TScreenGrabber().Grab(primary), desktop.copy(primary)).empty(); }, 10000));
    }
    const QRect primary{1280, 0, 1920, 1080};
    const QImage desktop = ScreenPattern({3200, 1080}, 7);
    QTemporaryDir dir;
};

TEST_F(TwoMonitors, PrimaryDisplayIsTheRandrPrimaryCrtc)
{
    EXPECT_EQ(PrimaryDisplayRect(), primary);
    EXPECT_EQ(QGuiApplication::primaryScreen()->geometry(), primary);
}

TEST_F(TwoMonitors, GrabTakesOnlyThePrimaryDisplay)
{
    for (auto method : {TScreenGrabber::Method::SharedMemory, TScreenGrabber::Method::GetImage}) {
        TScreenGrabber grabber;
        grabber.Prepare(primary);
        const QImage image = grabber.Grab(PrimaryDisplayRect(), method);
        ASSERT_EQ(image.size(), QSize(1920, 1080));
        EXPECT_EQ(ComparePixels(image, desktop.copy(primary)), "") << int(method);
        EXPECT_EQ(FirstNonOpaque(image), "");
    }
}

TEST_F(TwoMonitors, OverlayCoversThePrimaryDisplayExactly)
{
    Xdo("mousemove 1300 20");
    ASSERT_TRUE(Capture(1));
    EXPECT_EQ(QueryXWindow(*session, form5->winId()).geometry, primary);
    EXPECT_EQ(ComparePixels(Picture(), desktop.copy(primary)), "");
    // The other monitor keeps showing the desktop.
    EXPECT_EQ(ComparePixels(TScreenGrabber().Grab({0, 0, 1280, 1024}), desktop.copy(0, 0, 1280, 1024)), "");
    EXPECT_TRUE(ScreenShowsPicture());

    // Pointer positions are picture positions: origin at the display's corner.
    Xdo("mousemove 1380 50");
    EXPECT_TRUE(PictureBecomes(WithCrosshair(desktop.copy(primary), 100, 50)));
    Xdo("click 1 mousemove 1580 250 click 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return region.has_value(); }, 5000));
    EXPECT_EQ(*region, QRect(100, 50, 200, 200));
}

}  // namespace
