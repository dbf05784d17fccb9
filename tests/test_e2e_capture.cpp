// A whole capture with the real binary, as a user makes it: the Capture
// button, two clicks on the frozen screen, a file name typed into the save
// dialog and Return; then the file and the clipboard are checked against
// the pattern that was on the screen.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/program.h"
#include "support/testenv.h"
#include "support/xscreen.h"

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::None);

namespace {

constexpr int kW = 1024, kH = 768;
constexpr int kCaptureX = 35, kButtonY = 268;

class Capture : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A deterministic, busy 8-bit pattern on the root window.
        pattern = session.homeDir() + "/pattern.png";
        ASSERT_EQ(Sh("convert -size " + std::to_string(kW) + "x" + std::to_string(kH) +
                     " -seed 7 plasma:red-blue -blur 0x1 -fill white -pointsize 18 -annotate +40+60 'zelbrik 截图' "
                     "-depth 8 PNG24:" + pattern)
                      .code,
                  0);
        background = std::make_unique<ChildProcess>(
            std::vector<std::string>{"display", "-window", "root", pattern}, session.environment());
        ASSERT_TRUE(WaitUntil([&] { return rootMatchesPattern(); }, 10000)) << "the pattern is on the screen";
    }

    bool rootMatchesPattern()
    {
        const std::string shot = session.homeDir() + "/root.png";
        session.sh("import -window root -depth 8 PNG24:" + shot);
        QImage a(QString::fromStdString(shot)), b(QString::fromStdString(pattern));
        return !a.isNull() && ComparePixels(a, b).empty();
    }

    QImage patternCrop(const QRect& r) { return QImage(QString::fromStdString(pattern)).convertToFormat(QImage::Format_RGB32).copy(r); }

    // What libjpeg-turbo's own cjpeg makes of the same pixels.
    QByteArray cjpeg(const QImage& picture, int quality)
    {
        const QString ppm = QString::fromStdString(session.homeDir()) + "/crop.ppm";
        picture.save(ppm, "PPM");
        QProcess p;
        p.start("cjpeg", {"-quality", QString::number(quality), "-baseline", ppm});
        p.waitForFinished();
        return p.readAllStandardOutput();
    }

    QImage clipboardPng()
    {
        const std::string out = session.homeDir() + "/clip.png";
        session.sh("xclip -selection clipboard -t image/png -o > " + out);
        return QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32);
    }

    // Runs one capture of `region` from the Capture button and saves it under
    // `typedName` (without extension); returns the path of the written file.
    std::string captureAndSave(Program& p, const std::string& window, const QRect& region, const std::string& typed)
    {
        p.clickAt(window, kCaptureX, kButtonY);
        if (!WaitUntil([&] { return !p.windowCovering(0, 0, kW, kH).empty(); }, 5000))
            return "";
        // Second corner first: the order of the corners must not matter.
        const QPoint a = region.bottomRight() + QPoint(1, 1), b = region.topLeft();
        session.sh("xdotool mousemove " + std::to_string(a.x()) + " " + std::to_string(a.y()) + " sleep 0.1 click 1");
        session.sh("xdotool mousemove " + std::to_string(a.x() - 50) + " " + std::to_string(a.y() - 40) +
                   " sleep 0.1 mousemove " + std::to_string(b.x()) + " " + std::to_string(b.y()) + " sleep 0.1 click 1");
        // The save dialog: a visible window of ours that is neither the
        // settings window nor the overlay.
        std::string dialog;
        WaitUntil(
            [&] {
                for (const auto& id : p.windows()) {
                    if (id != window && p.windowCovering(0, 0, kW, kH) != id) {
                        dialog = id;
                        return true;
                    }
                }
                return false;
            },
            5000);
        if (dialog.empty())
            return "";
        session.sh("xdotool windowactivate --sync " + dialog + " sleep 0.3 key ctrl+a type --delay 20 '" + typed + "'");
        session.sh("xdotool key --delay 50 Return");
        const std::string path = typed + ".jpg";
        WaitUntil([&] { return p.windows().size() <= 1 && std::filesystem::exists(path); }, 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return path;
    }

    // No tray: its panel would cover part of the pattern.
    XSession session{{.width = kW, .height = kH, .windowManager = true, .tray = false}};
    std::string pattern;
    std::unique_ptr<ChildProcess> background;
};

}  // namespace

TEST_F(Capture, RegionGoesToClipboardAndJpegFileAtTheUnsavedQuality)
{
    Program p(session);
    const std::string w = p.waitForWindow(kTitle);
    ASSERT_FALSE(w.empty());
    // Quality 30 typed and never saved: the Capture check accepts it and the
    // encoding uses it.
    session.sh("xdotool windowactivate --sync " + w + " key Tab ctrl+a type 30");

    const QRect region(100, 120, 300, 180);
    const std::string dir = session.homeDir() + "/shots";
    std::filesystem::create_directories(dir);
    const std::string path = captureAndSave(p, w, region, dir + "/first");
    ASSERT_FALSE(path.empty()) << "the overlay and the save dialog came up";
    ASSERT_TRUE(std::filesystem::exists(path)) << "a name without extension gets .jpg";

    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray written = f.readAll();
    const QImage expected = patternCrop(region);
    EXPECT_EQ(written, cjpeg(expected, 30)) << "exactly libjpeg's baseline encoding at quality 30";
    EXPECT_EQ(QImage::fromData(written).size(), region.size());

    const QImage clip = clipboardPng();
    EXPECT_EQ(clip.size(), expected.size());
    EXPECT_EQ(ComparePixels(clip, expected), "") << "the exact crop is on the clipboard";
    EXPECT_TRUE(p.process().running());
    EXPECT_TRUE(p.windows(kTitle).empty()) << "the settings window stays hidden";
    EXPECT_FALSE(std::filesystem::exists(session.configDir() + "/zelbrik.ini")) << "Capture saves nothing";
}
