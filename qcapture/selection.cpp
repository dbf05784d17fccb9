#include "qcapture/selection.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

TSelection Selection;

namespace {

constexpr uint32_t InvertMask = 0x00ffffffu;

// Raw scanline access: a QPainter raster-op pass costs fifty times more.
struct Pixels {
    explicit Pixels(QImage& picture)
        : width(picture.width()),
          height(picture.height()),
          stride(picture.bytesPerLine() / 4),
          // bits() detaches only when the picture is shared.
          base(picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
                   ? reinterpret_cast<uint32_t*>(picture.bits())
                   : nullptr)
    {
        if (!base)
            width = height = 0;
    }

    // Row y, columns [x0, x1) clipped.
    void Row(int y, int x0, int x1, TChangedRects& changed)
    {
        if (y < 0 || y >= height)
            return;
        x0 = std::max(x0, 0);
        x1 = std::min(x1, width);
        if (x0 >= x1)
            return;
        uint32_t* p = base + ptrdiff_t(y) * stride;
        for (int x = x0; x < x1; ++x)
            p[x] ^= InvertMask;
        changed.append(QRect(x0, y, x1 - x0, 1));
    }

    // Column x, rows [y0, y1) clipped.
    void Column(int x, int y0, int y1, TChangedRects& changed)
    {
        if (x < 0 || x >= width)
            return;
        y0 = std::max(y0, 0);
        y1 = std::min(y1, height);
        if (y0 >= y1)
            return;
        uint32_t* p = base + ptrdiff_t(y0) * stride + x;
        for (int y = y0; y < y1; ++y, p += stride)
            *p ^= InvertMask;
        changed.append(QRect(x, y0, 1, y1 - y0));
    }

    int width;
    int height;
    ptrdiff_t stride;
    uint32_t* base;
};

}  // namespace

void TSelection::InvertCrosshair(QImage& picture, int x, int y, TChangedRects& changed)
{
    Pixels px(picture);
    px.Column(x, 0, px.height, changed);
    px.Row(y, 0, px.width, changed);
}

void TSelection::InvertBand(QImage& picture, int x1, int y1, int x2, int y2, TChangedRects& changed)
{
    // 64-bit bounds: a corner at INT_MIN or INT_MAX must not wrap.
    const long long left = std::min(x1, x2), right = std::max(x1, x2);  // columns [left, right)
    const long long top = std::min(y1, y2), bottom = std::max(y1, y2);  // rows [top, bottom)
    if (left == right || top == bottom)
        return;
    Pixels px(picture);
    auto clampX = [&](long long v) { return int(std::clamp<long long>(v, -1, px.width + 1LL)); };
    auto clampY = [&](long long v) { return int(std::clamp<long long>(v, -1, px.height + 1LL)); };
    const int l = clampX(left), r = clampX(right - 1);    // last column
    const int t = clampY(top), b = clampY(bottom - 1);    // last row
    // Top and bottom rows whole, the sides between them: each pixel once.
    // Positions clamped to just outside the picture stay outside.
    px.Row(t, l, r + 1, changed);
    if (bottom - 1 != top)
        px.Row(b, l, r + 1, changed);
    if (bottom - top > 2) {
        px.Column(l, t + 1, b, changed);
        if (right - 1 != left)
            px.Column(r, t + 1, b, changed);
    }
}

void TSelection::Arm()
{
    CrossX = -1;
    CrossY = -1;
    CrossActive = true;
}

TChangedRects TSelection::MouseMove(QImage& picture, int x, int y)
{
    TChangedRects changed;
    if (Selecting) {
        InvertBand(picture, AnchorX, AnchorY, CornerX, CornerY, changed);
        InvertBand(picture, AnchorX, AnchorY, x, y, changed);
        CornerX = x;
        CornerY = y;
    } else if (CrossActive) {
        InvertCrosshair(picture, CrossX, CrossY, changed);
        InvertCrosshair(picture, x, y, changed);
        CrossX = x;
        CrossY = y;
    }
    return changed;
}

TPressResult TSelection::MouseDown(QImage& picture, int x, int y)
{
    TPressResult result;
    if (!Selecting) {
        CrossActive = false;
        InvertCrosshair(picture, CrossX, CrossY, result.changed);
        AnchorX = x;
        AnchorY = y;
        CornerX = x;
        CornerY = y;
        Selecting = true;
        // The pen needs no resetting: inversion is built into the primitives.
        // No band yet; the first move draws it.
        return result;
    }
    EndX = x;
    EndY = y;
    Selecting = false;
    InvertBand(picture, AnchorX, AnchorY, CornerX, CornerY, result.changed);
    result.region = QRect(std::min(AnchorX, EndX), std::min(AnchorY, EndY), std::abs(EndX - AnchorX),
                          std::abs(EndY - AnchorY));
    return result;
}
