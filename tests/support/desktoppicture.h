#pragma once
// A picture that looks like a desktop screenshot: gradients, flat window
// areas, title bars, lines of text, a photo-like noisy patch and icons. The
// same size always gives the same pixels within one build.

#include <QImage>

// Format_RGB32, pad byte 0xff.
QImage DesktopPicture(int width, int height);
