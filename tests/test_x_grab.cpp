// The screen grab on Xvfb: a known picture on the root window must come back
// pixel for pixel, opaque, through shared memory and through GetImage, with
// and without a prepared buffer; the shared segment goes when the picture does.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/screengrab.h"
#include "support/testenv.h"
#include "support/xsession.h"
#include "support/xscreen.h"

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::X11, .width = 1920, .height = 1080, .windowManager = true);

namespace {

class ScreenGrab : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        pattern = new QImage(ScreenPattern({1920, 1080}, 5));
        static QTemporaryDir dir;
        ASSERT_TRUE(ShowOnRoot(*ProcessXSession(), *pattern, dir.path()));
        TScreenGrabber grabber;
        ASSERT_TRUE(WaitUntil([&] { return ComparePixels(grabber.Grab({0, 0, 1920, 1080}), *pattern).empty(); },
                              10000))
            << "the root window never showed the pattern";
    }
    static void TearDownTestSuite() { delete pattern; }
    static QImage* pattern;
};
QImage* ScreenGrab::pattern = nullptr;

TEST_F(ScreenGrab, PrimaryDisplayIsTheRootWithoutRandrPrimary)
{
    EXPECT_EQ(PrimaryDisplayRect(), QRect(0, 0, 1920, 1080));
}

struct GrabCase {
    const char* name;
    TScreenGrabber::Method method;
    bool prepare;
    QRect area;
};

class GrabMethods : public ScreenGrab, public ::testing::WithParamInterface<GrabCase> {};

TEST_P(GrabMethods, ReturnsTheScreenPixelForPixelAndOpaque)
{
    const GrabCase& c = GetParam();
    ASSERT_TRUE(TScreenGrabber::SharedMemoryAvailable());
    TScreenGrabber grabber;
    if (c.prepare) {
        grabber.Prepare(c.area);
        EXPECT_TRUE(grabber.Prepared());
    }
    const QImage image = grabber.Grab(c.area, c.method);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.size(), c.area.size());
    EXPECT_EQ(ComparePixels(image, pattern->copy(c.area)), "");
    EXPECT_EQ(FirstNonOpaque(image), "");
    // Qt's conversions must see an opaque picture.
    EXPECT_EQ(FirstNonOpaque(image.convertToFormat(QImage::Format_ARGB32)), "");
    EXPECT_FALSE(grabber.Prepared()) << "a prepared buffer serves one grab";
}

INSTANTIATE_TEST_SUITE_P(
    Methods, GrabMethods,
    ::testing::Values(GrabCase{"SharedMemory", TScreenGrabber::Method::SharedMemory, false, {0, 0, 1920, 1080}},
                      GrabCase{"SharedMemoryPrepared", TScreenGrabber::Method::SharedMemory, true, {0, 0, 1920, 1080}},
                      GrabCase{"GetImage", TScreenGrabber::Method::GetImage, false, {0, 0, 1920, 1080}},
                      GrabCase{"AutomaticPrepared", TScreenGrabber::Method::Automatic, true, {0, 0, 1920, 1080}},
                      GrabCase{"SharedMemoryPart", TScreenGrabber::Method::SharedMemory, true, {300, 257, 771, 513}},
                      GrabCase{"GetImagePart", TScreenGrabber::Method::GetImage, false, {1, 1079, 1919, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScreenGrab, BufferPreparedForAnotherSizeIsNotUsed)
{
    TScreenGrabber grabber;
    grabber.Prepare({0, 0, 640, 480});
    ASSERT_TRUE(grabber.Prepared());
    const QImage image = grabber.Grab({0, 0, 1920, 1080});
    EXPECT_EQ(ComparePixels(image, *pattern), "");
    EXPECT_TRUE(grabber.Prepared()) << "the 640x480 buffer should wait for a grab of its size";
    const QImage small = grabber.Grab({100, 100, 640, 480});
    EXPECT_EQ(ComparePixels(small, pattern->copy(100, 100, 640, 480)), "");
    EXPECT_FALSE(grabber.Prepared());
}

// The picture's memory is the shared segment: it must be gone with the last
// image sharing it, or every capture would leave 8 MB behind.
TEST_F(ScreenGrab, SegmentLivesExactlyAsLongAsThePicture)
{
    // An odd size no other segment has.
    const QRect area(3, 5, 1001, 333);
    const size_t bytes = size_t(area.width()) * area.height() * 4;
    const int before = SharedSegmentsOfSize(bytes);
    ASSERT_GE(before, 0);
    {
        TScreenGrabber grabber;
        grabber.Prepare(area);
        EXPECT_EQ(SharedSegmentsOfSize(bytes), before + 1);
        QImage image = grabber.Grab(area, TScreenGrabber::Method::SharedMemory);
        QImage shared = image;
        image = QImage();
        EXPECT_EQ(SharedSegmentsOfSize(bytes), before + 1) << "freed while still shown";
        EXPECT_EQ(ComparePixels(shared, pattern->copy(area)), "");
        shared = QImage();
        // The server detaches when it reads our request.
        EXPECT_TRUE(WaitUntil([&] { return SharedSegmentsOfSize(bytes) == before; }, 5000));
        grabber.Prepare(area);
        EXPECT_EQ(SharedSegmentsOfSize(bytes), before + 1);
    }
    EXPECT_TRUE(WaitUntil([&] { return SharedSegmentsOfSize(bytes) == before; }, 5000))
        << "an unused prepared buffer outlived its grabber";
}

// Drawing into the grab (the selection does) must not touch another copy.
TEST_F(ScreenGrab, WritingIntoAGrabLeavesItsCopiesAlone)
{
    TScreenGrabber grabber;
    QImage image = grabber.Grab({0, 0, 64, 64});
    const QImage copy = image;
    image.setPixel(1, 1, qRgb(1, 2, 3));
    EXPECT_EQ(copy.pixel(1, 1), pattern->pixel(1, 1));
    EXPECT_EQ(image.pixel(1, 1), qRgb(1, 2, 3));
}

}  // namespace
