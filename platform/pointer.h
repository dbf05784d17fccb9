#pragma once
// The pointer position in device pixels. Under a scale factor Qt hands
// widgets positions rounded to whole logical pixels, which loses every odd
// device pixel; the X server still knows the exact one.

#include <QPoint>
#include <QWidget>
#include <optional>

// Where the pointer is now, relative to the native window's top-left, in
// device pixels; nothing without an X connection or when it is elsewhere.
std::optional<QPoint> PointerInWindow(WId window);
