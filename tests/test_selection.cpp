// The two-click selection on a small known picture: which pixels the
// crosshair and the band invert, that every removal restores the picture bit
// for bit, the region for every order of corners, and the picture box's
// mapping of mouse buttons to presses.

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QSignalSpy>
#include <array>
#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "qcapture/image.h"
#include "qcapture/selection.h"

namespace {

constexpr int W = 40;
constexpr int H = 30;

// Every pixel distinct, with all three channels varying.
QImage Pattern()
{
    QImage image(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            image.setPixel(x, y, qRgb(x * 6, y * 8, (x * 7 + y * 13) & 0xff));
    return image;
}

using Mask = std::function<bool(int, int)>;

// What the pen must cover, written from the definitions rather than the code:
// the two lines of a crosshair meet in a pixel inverted twice (unchanged).
Mask Crosshair(int x, int y)
{
    return [=](int c, int r) { return (c == x) != (r == y); };
}

Mask Band(int x1, int y1, int x2, int y2)
{
    const long long l = std::min(x1, x2), rr = std::max(x1, x2), t = std::min(y1, y2), b = std::max(y1, y2);
    return [=](int c, int r) {
        if (c < l || c >= rr || r < t || r >= b)
            return false;
        return c == l || c == rr - 1 || r == t || r == b - 1;
    };
}

Mask Nothing()
{
    return [](int, int) { return false; };
}

// Empty when `now` is `original` with exactly the mask's pixels inverted.
std::string CompareMarked(const QImage& original, const QImage& now, const Mask& mask)
{
    if (now.size() != original.size() || now.format() != original.format())
        return "picture size or format changed";
    std::string faults;
    int count = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const QRgb was = reinterpret_cast<const QRgb*>(original.constScanLine(y))[x];
            const QRgb is = reinterpret_cast<const QRgb*>(now.constScanLine(y))[x];
            const QRgb want = mask(x, y) ? was ^ 0x00ffffffu : was;
            if (is != want && ++count <= 5)
                faults += std::string("(").append(std::to_string(x)).append(",").append(std::to_string(y)).append(") ");
        }
    if (count)
        faults = std::to_string(count).append(" wrong pixels, first ").append(faults);
    return faults;
}

// Every pixel that differs between before and after lies in a reported rectangle.
std::string CheckCovered(const QImage& before, const QImage& after, const TChangedRects& changed)
{
    for (const QRect& r : changed)
        if (!QRect(0, 0, W, H).contains(r))
            return "rectangle outside the picture";
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (before.pixel(x, y) != after.pixel(x, y)) {
                bool inside = false;
                for (const QRect& r : changed)
                    inside = inside || r.contains(x, y);
                if (!inside)
                    return "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") changed unreported";
            }
    return {};
}

struct Step {
    enum Kind { Arm, Move, Press } kind;
    int x = 0;
    int y = 0;
};

Step Arm() { return {Step::Arm}; }
Step Move(int x, int y) { return {Step::Move, x, y}; }
Step Press(int x, int y) { return {Step::Press, x, y}; }

struct Case {
    const char* name;
    std::vector<Step> steps;
    std::optional<QRect> region;  // from the last press
};

// The visible mark after a sequence, as the user sees it: the crosshair at
// the pointer before the first press, the band between the first press and
// the pointer after it, nothing once the second press came.
struct Expectation {
    bool crossOn = false;
    std::optional<QPoint> cross;
    // No std::optional here: gcc 12 takes its QPoint for uninitialised.
    bool anchored = false;
    QPoint anchor;
    QPoint corner;

    Mask apply(const Step& s)
    {
        switch (s.kind) {
        case Step::Arm:
            crossOn = true;
            cross.reset();
            break;
        case Step::Move:
            if (anchored)
                corner = {s.x, s.y};
            else if (crossOn)
                cross = QPoint(s.x, s.y);
            break;
        case Step::Press:
            if (!anchored) {
                crossOn = false;
                cross.reset();
                anchored = true;
                anchor = corner = QPoint(s.x, s.y);
            } else {
                anchored = false;
            }
            break;
        }
        if (cross)
            return Crosshair(cross->x(), cross->y());
        if (anchored)
            return Band(anchor.x(), anchor.y(), corner.x(), corner.y());
        return Nothing();
    }
};

const std::vector<Case> kCases = {
    {"CrosshairFollowsThePointer", {Arm(), Move(5, 7), Move(6, 7), Move(39, 29), Move(0, 0), Move(0, 0)}, {}},
    {"LowerRightThenUpperLeft",
     {Arm(), Move(30, 20), Press(30, 20), Move(25, 15), Move(10, 5), Press(10, 5)},
     QRect(10, 5, 20, 15)},
    {"UpperLeftThenLowerRight",
     {Arm(), Move(10, 5), Press(10, 5), Move(12, 9), Move(30, 20), Press(30, 20)},
     QRect(10, 5, 20, 15)},
    {"UpperRightThenLowerLeft", {Arm(), Press(30, 5), Move(10, 20), Press(10, 20)}, QRect(10, 5, 20, 15)},
    {"SecondPressAwayFromLastBand", {Arm(), Move(3, 3), Press(10, 5), Move(20, 20), Press(30, 25)},
     QRect(10, 5, 20, 20)},
    {"BackToTheFirstCornerLeavesNoBand", {Arm(), Press(10, 10), Move(15, 15), Move(10, 10), Press(10, 10)},
     QRect(10, 10, 0, 0)},
    {"DoubleClickGivesAnEmptyRegion", {Arm(), Move(12, 8), Press(12, 8), Press(12, 8)}, QRect(12, 8, 0, 0)},
    {"TwoClicksOnOneColumn", {Arm(), Move(7, 3), Press(7, 3), Move(7, 20), Press(7, 20)}, QRect(7, 3, 0, 17)},
    {"TwoClicksOnOneRow", {Arm(), Press(3, 7), Move(20, 7), Press(20, 7)}, QRect(3, 7, 17, 0)},
    {"ThinBandsInvertEachPixelOnce",
     {Arm(), Press(5, 5), Move(6, 6), Move(7, 6), Move(6, 8), Move(8, 8), Move(4, 4), Move(3, 8), Press(3, 8)},
     QRect(3, 5, 2, 3)},
    {"ArmWhileBandKeepsTheFirstCorner",
     {Arm(), Move(4, 4), Press(5, 5), Move(20, 20), Arm(), Move(25, 10), Move(26, 11), Press(25, 10)},
     QRect(5, 5, 20, 5)},
    {"OutsideThePictureIsClipped",
     {Arm(), Move(-5, -5), Move(45, 10), Move(10, 100), Move(-1, -1), Move(W, H), Press(-10, -10), Move(50, 40),
      Move(20, 15), Move(INT_MAX, INT_MIN), Move(INT_MIN, INT_MAX), Move(W, H), Press(50, 50)},
     QRect(-10, -10, 60, 60)},
    {"SecondCaptureAfterADoneSelection",
     {Arm(), Press(1, 1), Move(9, 9), Press(9, 9), Move(3, 3), Arm(), Move(4, 4), Press(4, 4), Move(2, 9),
      Press(2, 9)},
     QRect(2, 4, 2, 5)},
};

class SelectionSequence : public ::testing::TestWithParam<Case> {};

TEST_P(SelectionSequence, PictureShowsExactlyTheCurrentMark)
{
    const Case& c = GetParam();
    const QImage original = Pattern();
    QImage picture = original;
    TSelection selection;
    Expectation expected;
    std::optional<QRect> region;

    for (size_t i = 0; i < c.steps.size(); ++i) {
        const Step& s = c.steps[i];
        SCOPED_TRACE("step " + std::to_string(i) + " at " + std::to_string(s.x) + "," + std::to_string(s.y));
        const QImage before = picture.copy();
        TChangedRects changed;
        switch (s.kind) {
        case Step::Arm:
            selection.Arm();
            EXPECT_EQ(selection.CrossX, -1);
            EXPECT_EQ(selection.CrossY, -1);
            EXPECT_TRUE(selection.CrossActive);
            break;
        case Step::Move:
            changed = selection.MouseMove(picture, s.x, s.y);
            break;
        case Step::Press: {
            TPressResult r = selection.MouseDown(picture, s.x, s.y);
            changed = r.changed;
            region = r.region;
            if (r.region) {
                EXPECT_EQ(selection.EndX, s.x);
                EXPECT_EQ(selection.EndY, s.y);
                EXPECT_FALSE(selection.Selecting);
            } else {
                EXPECT_FALSE(selection.CrossActive);
                EXPECT_TRUE(selection.Selecting);
                EXPECT_EQ(QPoint(selection.AnchorX, selection.AnchorY), QPoint(s.x, s.y));
            }
            break;
        }
        }
        const Mask mask = expected.apply(s);
        EXPECT_EQ(CompareMarked(original, picture, mask), "");
        EXPECT_EQ(CheckCovered(before, picture, changed), "");
    }
    ASSERT_EQ(region.has_value(), c.region.has_value());
    if (c.region) {
        EXPECT_EQ(*region, *c.region);
        EXPECT_EQ(picture, original);
    }
}

INSTANTIATE_TEST_SUITE_P(Sequences, SelectionSequence, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SelectionState, ModuleInstanceStartsAtRest)
{
    EXPECT_FALSE(Selection.CrossActive);
    EXPECT_FALSE(Selection.Selecting);
    for (int v : {Selection.CrossX, Selection.CrossY, Selection.AnchorX, Selection.AnchorY, Selection.CornerX,
                  Selection.CornerY, Selection.EndX, Selection.EndY})
        EXPECT_EQ(v, 0);
}

TEST(SelectionState, EventsOutsideACaptureChangeNothing)
{
    const QImage original = Pattern();
    QImage picture = original;
    TSelection selection;  // never armed
    EXPECT_TRUE(selection.MouseMove(picture, 5, 5).isEmpty());
    EXPECT_EQ(picture, original);
    EXPECT_EQ(selection.CrossX, 0);
}

TEST(SelectionState, ArmLeavesCornersAlone)
{
    QImage picture = Pattern();
    TSelection selection;
    selection.Arm();
    selection.MouseDown(picture, 3, 4);
    selection.MouseMove(picture, 9, 8);
    selection.Arm();
    EXPECT_TRUE(selection.Selecting);
    EXPECT_TRUE(selection.CrossActive);
    EXPECT_EQ(QPoint(selection.AnchorX, selection.AnchorY), QPoint(3, 4));
    EXPECT_EQ(QPoint(selection.CornerX, selection.CornerY), QPoint(9, 8));
}

// Drawing a mark twice is the only way it is ever removed.
TEST(InvertingPen, EveryMarkDrawnTwiceLeavesNoTrace)
{
    const QImage original = Pattern();
    const std::vector<std::array<int, 4>> bands = {
        {0, 0, W, H}, {5, 5, 6, 6}, {39, 29, 0, 0}, {-100, -100, 100, 100}, {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
        {10, 3, 10, 20}, {-3, 5, 2, 5}};
    for (const auto& b : bands) {
        QImage picture = original;
        TChangedRects changed;
        TSelection::InvertBand(picture, b[0], b[1], b[2], b[3], changed);
        EXPECT_EQ(CompareMarked(original, picture, Band(b[0], b[1], b[2], b[3])), "") << b[0] << "," << b[1];
        TSelection::InvertBand(picture, b[0], b[1], b[2], b[3], changed);
        EXPECT_EQ(picture, original);
    }
    for (const QPoint p : {QPoint(0, 0), QPoint(W - 1, H - 1), QPoint(-1, 3), QPoint(3, -1), QPoint(W, H),
                           QPoint(INT_MIN, INT_MAX)}) {
        QImage picture = original;
        TChangedRects changed;
        TSelection::InvertCrosshair(picture, p.x(), p.y(), changed);
        EXPECT_EQ(CompareMarked(original, picture, Crosshair(p.x(), p.y())), "") << p.x() << "," << p.y();
        TSelection::InvertCrosshair(picture, p.x(), p.y(), changed);
        EXPECT_EQ(picture, original);
    }
}

// The pen keeps each pixel's top byte, so the picture stays valid Format_RGB32.
TEST(InvertingPen, KeepsTheOpaqueByte)
{
    QImage picture = Pattern();
    TChangedRects changed;
    TSelection::InvertCrosshair(picture, 3, 3, changed);
    TSelection::InvertBand(picture, 1, 1, 20, 20, changed);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            ASSERT_EQ(reinterpret_cast<const QRgb*>(picture.constScanLine(y))[x] >> 24, 0xffu);
}

// Mouse events of the picture box: every button is a press, and the second
// press of a double click (which Qt delivers as MouseButtonDblClick) too.
TEST(PictureBox, EveryButtonAndBothClicksOfADoubleClickArePresses)
{
    TImage box;
    box.resize(W, H);
    box.SetPicture(Pattern());
    QSignalSpy presses(&box, &TImage::MousePressed);
    QSignalSpy moves(&box, &TImage::MouseMoved);

    auto send = [&](QEvent::Type type, Qt::MouseButton button, QPointF pos) {
        QMouseEvent e(type, pos, box.mapToGlobal(pos), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
        QCoreApplication::sendEvent(&box, &e);
    };
    send(QEvent::MouseButtonPress, Qt::RightButton, {3.6, 4.2});
    send(QEvent::MouseButtonRelease, Qt::RightButton, {3.6, 4.2});
    send(QEvent::MouseButtonPress, Qt::MiddleButton, {10, 11});
    send(QEvent::MouseButtonRelease, Qt::MiddleButton, {10, 11});
    // A double click as Qt delivers it: press, release, double click, release.
    send(QEvent::MouseButtonPress, Qt::LeftButton, {7, 8});
    send(QEvent::MouseButtonRelease, Qt::LeftButton, {7, 8});
    send(QEvent::MouseButtonDblClick, Qt::LeftButton, {7, 8});
    send(QEvent::MouseButtonRelease, Qt::LeftButton, {7, 8});
    send(QEvent::MouseMove, Qt::NoButton, {20.9, 1.1});

    ASSERT_EQ(presses.count(), 4);
    const std::vector<std::tuple<Qt::MouseButton, int, int>> want = {
        {Qt::RightButton, 3, 4}, {Qt::MiddleButton, 10, 11}, {Qt::LeftButton, 7, 8}, {Qt::LeftButton, 7, 8}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(presses[i][0].value<Qt::MouseButton>(), std::get<0>(want[i])) << i;
        EXPECT_EQ(presses[i][1].toInt(), std::get<1>(want[i])) << i;
        EXPECT_EQ(presses[i][2].toInt(), std::get<2>(want[i])) << i;
    }
    ASSERT_EQ(moves.count(), 1);
    EXPECT_EQ(moves[0][0].toInt(), 20);
    EXPECT_EQ(moves[0][1].toInt(), 1);
}

TEST(PictureBox, SetPictureReplacesAndKeepsThePixels)
{
    TImage box;
    const QImage first = Pattern();
    box.SetPicture(first);
    EXPECT_EQ(box.Picture(), first);
    EXPECT_EQ(box.Picture().devicePixelRatio(), box.devicePixelRatioF());
    QImage small(3, 2, QImage::Format_RGB32);
    small.fill(Qt::red);
    box.SetPicture(small);
    EXPECT_EQ(box.Picture().size(), QSize(3, 2));
    EXPECT_EQ(box.Picture().pixel(1, 1), qRgb(255, 0, 0));
}

}  // namespace
