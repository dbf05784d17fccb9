// The wlr-screencopy grab on a headless sway: a known wallpaper must come
// back pixel for pixel in device pixels, at scale 1 and 2, from the named
// output only; a wrong name or a missing compositor gives a null image and
// a reason.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "platform/wlscreencopy.h"
#include "support/swaysession.h"
#include "support/testenv.h"
#include "support/xscreen.h"

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::None);

namespace {

// Set as the output's wallpaper; false when sway refused the command.
bool ShowWallpaper(const SwaySession& sway, const QString& output, const QImage& picture)
{
    const QString path = QDir(QString::fromStdString(sway.dir())).filePath(output + ".png");
    return picture.save(path, "PNG") && sway.setWallpaper(output.toStdString(), path.toStdString());
}

// Grabs until the picture is there: swaybg draws some time after the command.
std::string WaitForPicture(TWlScreencopy& grabber, const QString& output, const QImage& expected)
{
    std::string last = "no grab";
    WaitUntil(
        [&] {
            const QImage image = grabber.Grab(output);
            if (image.isNull()) {
                last = "null image: " + grabber.Error().toStdString();
                return false;
            }
            last = ComparePixels(image, expected);
            if (last.empty())
                last = FirstNonOpaque(image);
            if (last.empty() && image.format() != QImage::Format_RGB32)
                last = "format " + std::to_string(image.format());
            return last.empty();
        },
        15000);
    return last;
}

const TWlOutput* FindOutput(const std::vector<TWlOutput>& outputs, const QString& name)
{
    for (const auto& o : outputs)
        if (o.name == name)
            return &o;
    return nullptr;
}

struct ScaleCase {
    const char* name;
    int scale;
};

void PrintTo(const ScaleCase& c, std::ostream* os)
{
    *os << c.name;
}

class WlGrabScale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(WlGrabScale, GivesTheOutputInDevicePixels)
{
    const int scale = GetParam().scale;
    SwaySession sway({.width = 1920, .height = 1080, .scale = scale});
    ASSERT_TRUE(TWlScreencopy::Available(QString::fromStdString(sway.socketPath())));

    TWlScreencopy grabber(QString::fromStdString(sway.socketPath()));
    ASSERT_TRUE(grabber.Connected()) << grabber.Error().toStdString();
    const auto outputs = grabber.Outputs();
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0].name, "HEADLESS-1");
    EXPECT_EQ(outputs[0].modeSize, QSize(1920, 1080));
    EXPECT_EQ(outputs[0].scale, scale);
    EXPECT_EQ(outputs[0].logicalSize, QSize(1920 / scale, 1080 / scale));

    const QImage pattern = ScreenPattern({1920, 1080}, 7 + scale);
    ASSERT_TRUE(ShowWallpaper(sway, "HEADLESS-1", pattern));
    EXPECT_EQ(WaitForPicture(grabber, "HEADLESS-1", pattern), "");
    EXPECT_TRUE(grabber.Error().isEmpty()) << grabber.Error().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Scales, WlGrabScale, ::testing::Values(ScaleCase{"Scale1", 1}, ScaleCase{"Scale2", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WlGrab, GrabsOnlyTheNamedOutput)
{
    SwaySession sway;
    // Connected before the second output exists: the grabber must learn of it.
    TWlScreencopy grabber(QString::fromStdString(sway.socketPath()));
    ASSERT_TRUE(grabber.CanCapture()) << grabber.Error().toStdString();

    for (const char* command : {"create_output", "output HEADLESS-2 resolution 1280x720 position 1920 0"}) {
        const ShResult r = sway.swaymsg(command);
        ASSERT_EQ(r.code, 0) << command << ": " << r.out;
    }
    std::vector<TWlOutput> outputs;
    ASSERT_TRUE(WaitUntil(
        [&] {
            outputs = grabber.Outputs();
            const TWlOutput* second = FindOutput(outputs, "HEADLESS-2");
            return second && second->modeSize == QSize(1280, 720);
        },
        10000));
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_EQ(FindOutput(outputs, "HEADLESS-2")->position, QPoint(1920, 0));

    const QImage first = ScreenPattern({1920, 1080}, 1);
    const QImage second = ScreenPattern({1280, 720}, 101);
    ASSERT_TRUE(ShowWallpaper(sway, "HEADLESS-1", first));
    ASSERT_TRUE(ShowWallpaper(sway, "HEADLESS-2", second));
    EXPECT_EQ(WaitForPicture(grabber, "HEADLESS-2", second), "");
    EXPECT_EQ(WaitForPicture(grabber, "HEADLESS-1", first), "");
}

TEST(WlGrab, UnknownOutputGivesNoImageAndNamesTheOutputs)
{
    SwaySession sway;
    TWlScreencopy grabber(QString::fromStdString(sway.socketPath()));
    ASSERT_TRUE(grabber.CanCapture()) << grabber.Error().toStdString();

    const QImage image = grabber.Grab("HEADLESS-9");
    EXPECT_TRUE(image.isNull());
    EXPECT_TRUE(grabber.Error().contains("HEADLESS-9")) << grabber.Error().toStdString();
    EXPECT_TRUE(grabber.Error().contains("HEADLESS-1")) << grabber.Error().toStdString();
    // The connection is still good for the right name.
    EXPECT_FALSE(grabber.Grab("HEADLESS-1").isNull()) << grabber.Error().toStdString();
    EXPECT_TRUE(grabber.Error().isEmpty());
}

TEST(WlGrab, NoCompositorGivesNoImageAndAReason)
{
    QTemporaryDir dir;
    const QString socket = dir.filePath("wayland-0");
    EXPECT_FALSE(TWlScreencopy::Available(socket));

    TWlScreencopy grabber(socket);
    EXPECT_FALSE(grabber.Connected());
    EXPECT_FALSE(grabber.CanCapture());
    EXPECT_TRUE(grabber.Outputs().empty());
    EXPECT_TRUE(grabber.Grab("HEADLESS-1").isNull());
    EXPECT_TRUE(grabber.Error().contains(socket)) << grabber.Error().toStdString();
}

TEST(WlGrab, SessionTeardownLeavesNoProcessOrFolder)
{
    int group = -1;
    std::string dir;
    {
        SwaySession sway;
        group = sway.pid();
        dir = sway.dir();
        QImage pattern = ScreenPattern({1920, 1080}, 3);
        // swaybg running too, so the teardown has more than sway to stop.
        ASSERT_TRUE(ShowWallpaper(sway, "HEADLESS-1", pattern));
        TWlScreencopy grabber(QString::fromStdString(sway.socketPath()));
        ASSERT_EQ(WaitForPicture(grabber, "HEADLESS-1", pattern), "");
        ASSERT_TRUE(ProcessGroupRunning(group));
    }
    EXPECT_FALSE(ProcessGroupRunning(group)) << "processes of sway's group are left";
    EXPECT_FALSE(QDir(QString::fromStdString(dir)).exists());
}

}  // namespace
