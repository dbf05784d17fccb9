// The overlay with Qt scaling everything by two: the picture stays one
// picture pixel per device pixel, and the pointer maps to the device pixel
// under it, odd ones included.

#include "support/overlaytest.h"

#include <QTemporaryDir>

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::X11, .width = 1920, .height = 1080, .windowManager = true,
                         .environment = {{"QT_SCALE_FACTOR", "2"}});

namespace {

TEST_F(OverlayTest, ScaledDesktopKeepsDevicePixels)
{
    ASSERT_EQ(form5->devicePixelRatioF(), 2.0);
    QTemporaryDir dir;
    const QImage pattern = ScreenPattern({1920, 1080}, 3);
    ASSERT_TRUE(ShowOnRoot(*session, pattern, dir.path()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ComparePixels(Screen(), pattern).empty(); }, 10000));
    Xdo("mousemove 3 3");

    ASSERT_TRUE(Capture(1));
    EXPECT_EQ(PrimaryDisplayRect(), QRect(0, 0, 1920, 1080));
    EXPECT_EQ(QueryXWindow(*session, form5->winId()).geometry, QRect(0, 0, 1920, 1080));
    ASSERT_EQ(Picture().size(), QSize(1920, 1080));
    EXPECT_EQ(Picture().devicePixelRatio(), 2.0);
    EXPECT_EQ(ComparePixels(Picture(), pattern), "");
    EXPECT_TRUE(ScreenShowsPicture()) << "the picture is not shown one to one";

    Xdo("mousemove 1001 601");
    EXPECT_TRUE(PictureBecomes(WithCrosshair(pattern, 1001, 601)));
    EXPECT_TRUE(ScreenShowsPicture()) << "repainted area misses part of the crosshair";
    Xdo("click 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Selection.Selecting; }, 5000));
    EXPECT_EQ(QPoint(Selection.AnchorX, Selection.AnchorY), QPoint(1001, 601));
    Xdo("mousemove 1202 803");
    EXPECT_TRUE(PictureBecomes(WithBand(pattern, 1001, 601, 1202, 803)));
    EXPECT_TRUE(ScreenShowsPicture());
    Xdo("click 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return region.has_value(); }, 5000));
    EXPECT_EQ(*region, QRect(1001, 601, 201, 202));
    EXPECT_EQ(ComparePixels(frozenAtRegion, pattern), "");
}

}  // namespace
