#pragma once
// Helpers of the X11 capture tests: a known picture shown on the root window,
// and what the X server says about a window.

#include <QDir>
#include <QImage>
#include <QRect>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <regex>
#include <string>

#include "support/xsession.h"

// 8 bits per channel, so the server stores it exactly. Red and green count
// columns and rows, blue tells the 256-pixel blocks apart: any offset in a
// grab shows as a mismatch.
inline QImage ScreenPattern(QSize size, int seed = 0)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(x & 0xff, y & 0xff, ((x >> 8) * 29 + (y >> 8) * 83 + seed) & 0xff);
    }
    return image;
}

// Shows the picture as the root window's background (ImageMagick's display).
inline bool ShowOnRoot(const XSession& session, const QImage& picture, const QString& dir)
{
    const QString path = QDir(dir).filePath("root.png");
    if (!picture.save(path, "PNG"))
        return false;
    session.sh("display -window root '" + path.toStdString() + "'");
    return true;
}

// First pixel whose top byte is not 0xff, or an empty text.
inline std::string FirstNonOpaque(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] >> 24) != 0xff)
                return "pad byte not 0xff at " + std::to_string(x) + "," + std::to_string(y);
    }
    return {};
}

// Empty when equal pixel for pixel (all 32 bits), else where they differ.
inline std::string ComparePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return "sizes differ";
    const QImage x = a.format() == QImage::Format_RGB32 ? a : a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.format() == QImage::Format_RGB32 ? b : b.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    std::string first;
    for (int r = 0; r < x.height(); ++r) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(r));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(r));
        for (int c = 0; c < x.width(); ++c)
            if (p[c] != q[c] && count++ == 0)
                first = std::to_string(c) + "," + std::to_string(r);
    }
    return count ? std::to_string(count) + " pixels differ, first at " + first : std::string();
}

struct XWindowInfo {
    QRect geometry;  // absolute, in device pixels
    bool overrideRedirect = false;
    bool viewable = false;
};

inline XWindowInfo QueryXWindow(const XSession& session, unsigned long window)
{
    const std::string out = session.sh("xwininfo -id " + std::to_string(window)).out;
    auto number = [&](const char* label) {
        std::smatch m;
        const std::regex re(std::string(label) + R"(:\s*(-?\d+))");
        return std::regex_search(out, m, re) ? std::stoi(m[1]) : -99999;
    };
    XWindowInfo info;
    info.geometry = QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
                          number("Height"));
    info.overrideRedirect = out.find("Override Redirect State: yes") != std::string::npos;
    info.viewable = out.find("Map State: IsViewable") != std::string::npos;
    return info;
}

// Shared segments of exactly this size that exist now (ours or anyone's).
inline int SharedSegmentsOfSize(size_t bytes)
{
    FILE* f = fopen("/proc/sysvipc/shm", "r");
    if (!f)
        return -1;
    char line[512];
    int count = 0;
    fgets(line, sizeof line, f);  // header
    while (fgets(line, sizeof line, f)) {
        unsigned long long key, id, perms, size;
        if (sscanf(line, "%llu %llu %llo %llu", &key, &id, &perms, &size) == 4 && size == bytes)
            ++count;
    }
    fclose(f);
    return count;
}

// The picture with the given pixels inverted, as the selection's pen does:
// written from the definitions, not from the program's code.
inline QImage WithCrosshair(QImage picture, int x, int y)
{
    for (int r = 0; r < picture.height(); ++r)
        for (int c = 0; c < picture.width(); ++c)
            if ((c == x) != (r == y))
                picture.setPixel(c, r, picture.pixel(c, r) ^ 0x00ffffffu);
    return picture;
}

inline QImage WithBand(QImage picture, int x1, int y1, int x2, int y2)
{
    const int l = std::min(x1, x2), r = std::max(x1, x2), t = std::min(y1, y2), b = std::max(y1, y2);
    for (int y = std::max(t, 0); y < std::min(b, picture.height()); ++y)
        for (int x = std::max(l, 0); x < std::min(r, picture.width()); ++x)
            if (x == l || x == r - 1 || y == t || y == b - 1)
                picture.setPixel(x, y, picture.pixel(x, y) ^ 0x00ffffffu);
    return picture;
}
