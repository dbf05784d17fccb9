#pragma once
// JPEG encoding of a captured picture with libjpeg, in memory, and the
// program's way of saving it: encoded first, then written next to the target
// and renamed over it, so a failure never damages an existing file.

#include <QByteArray>
#include <QImage>
#include <QString>

// How the picture's pixels reach libjpeg. Both give the same bytes; the
// direct path skips a conversion of the whole picture.
enum class JpegInput {
    Direct,    // the Format_RGB32 scanlines as they are (JCS_EXT_BGRX / XRGB)
    Rgb24      // the picture converted to 24-bit RGB first (JCS_RGB)
};

// Encodes the picture at the given quality (libjpeg keeps it within 1..100)
// with libjpeg's defaults, baseline quantisation tables, top to bottom.
// Pictures not in Format_RGB32 are converted first. Throws EError with
// libjpeg's message when libjpeg fails (an empty picture, for instance).
QByteArray EncodeJpeg(const QImage& picture, int quality, JpegInput input = JpegInput::Direct);

// The quality the program encodes with for a quality text: the text as
// StrToInt reads it (EConvertError when it does not convert), held to 0..100.
int JpegQuality(const QString& qualityText);

// Writes bytes to path through a temporary file in the same folder that is
// synced and renamed over path. An existing file keeps its permissions and is
// untouched when anything fails; no temporary file is left behind. Throws
// EError naming path and the system's reason.
void WriteFileReplacing(const QString& path, const QByteArray& bytes);

// Saves the picture as a JPEG file at path, at the quality of the quality text.
void SaveAsJpeg(const QString& path, const QImage& picture, const QString& qualityText);
