#pragma once
// The two-click region selection on the frozen picture: a crosshair follows
// the pointer until the first press, a rubber band from the first corner
// follows it until the second. Every mark is drawn with an inverting pen
// directly into the picture and removed by drawing it again, so the picture
// is exactly as grabbed once the selection ends.

#include <QImage>
#include <QRect>
#include <QVarLengthArray>
#include <optional>

// Picture areas a step changed, in picture pixels (for repainting only
// those). A step touches at most two crosshairs or two bands.
using TChangedRects = QVarLengthArray<QRect, 8>;

struct TPressResult {
    TChangedRects changed;
    // Set by the second press: left, top, width, height.
    std::optional<QRect> region;
};

class TSelection {
public:
    bool CrossActive = false;  // the crosshair follows the pointer
    bool Selecting = false;    // the first corner is set; the band follows the pointer
    int CrossX = 0;            // where the crosshair was last drawn; -1: none since Arm
    int CrossY = 0;
    int AnchorX = 0;  // the first press
    int AnchorY = 0;
    int CornerX = 0;  // the free corner of the band last drawn
    int CornerY = 0;
    int EndX = 0;  // the second press
    int EndY = 0;

    // A frozen picture is shown: no crosshair drawn on it yet (-1 lies
    // outside), the crosshair on. A first corner already set stays set.
    void Arm();

    TChangedRects MouseMove(QImage& picture, int x, int y);
    // Every button is a press; a double click is two presses.
    TPressResult MouseDown(QImage& picture, int x, int y);

    // The inverting pen, XOR 0x00ffffff on Format_RGB32 pixels, clipped to
    // the picture. Both primitives are their own inverse.
    //
    // Vertical line from (x, 0) towards (x, H), then horizontal from (0, y)
    // towards (W, y): each covers its start and stops before its end; the
    // crossing pixel is inverted twice.
    static void InvertCrosshair(QImage& picture, int x, int y, TChangedRects& changed);
    // The one-pixel outline covering columns min(x1,x2)..max(x1,x2)-1 and
    // rows likewise, each pixel once; nothing without width or height.
    static void InvertBand(QImage& picture, int x1, int y1, int x2, int y2, TChangedRects& changed);
};

// The selection of the program's one overlay; all zero at start.
extern TSelection Selection;
