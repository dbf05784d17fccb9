#include "qcapture/jpeg.h"

#include <QtGlobal>
#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <new>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "common/errors.h"
#include "platform/filereplace.h"
#include "settings/intconv.h"

// libjpeg reports a fatal error by calling error_exit, whose default ends the
// process. We return to the caller with setjmp/longjmp, the way libjpeg's own
// example does, rather than throwing from error_exit: libjpeg is C code, and
// whether a C++ exception may pass through its frames depends on how the
// library was compiled, which is not ours to choose. The jump only leaves
// libjpeg's frames and lands in Compress(), whose locals are all trivially
// destructible, so it skips no C++ destructor; the exception is thrown after
// the compress object has been destroyed.

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void OnJpegError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->pub.format_message(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// A destination that collects the compressed data in a QByteArray, doubling
// it when full and cutting it to the written size at the end.
struct ByteSink {
    jpeg_destination_mgr pub;
    QByteArray* out;
};

extern "C" void SinkInit(j_compress_ptr cinfo)
{
    auto* sink = reinterpret_cast<ByteSink*>(cinfo->dest);
    sink->pub.next_output_byte = reinterpret_cast<JOCTET*>(sink->out->data());
    sink->pub.free_in_buffer = size_t(sink->out->size());
}

extern "C" boolean SinkGrow(j_compress_ptr cinfo)
{
    auto* sink = reinterpret_cast<ByteSink*>(cinfo->dest);
    const qsizetype used = sink->out->size();
    bool grown = true;
    try {
        sink->out->resize(used * 2);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    // Outside the catch block: the error jump must not leave a handler.
    if (!grown)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
    sink->pub.next_output_byte = reinterpret_cast<JOCTET*>(sink->out->data()) + used;
    sink->pub.free_in_buffer = size_t(sink->out->size() - used);
    return TRUE;
}

extern "C" void SinkTerm(j_compress_ptr cinfo)
{
    auto* sink = reinterpret_cast<ByteSink*>(cinfo->dest);
    sink->out->resize(sink->out->size() - qsizetype(sink->pub.free_in_buffer));
}

struct Input {
    JSAMPARRAY rows;
    JDIMENSION width;
    JDIMENSION height;
    int components;
    J_COLOR_SPACE colorSpace;
};

// Runs the whole compression; false with err.message filled when libjpeg
// fails. cinfo must be zero-initialised so destroying it is safe at any point.
bool Compress(jpeg_compress_struct& cinfo, ErrorManager& err, ByteSink& sink, const Input& in, int quality)
{
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnJpegError;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    cinfo.dest = &sink.pub;

    cinfo.image_width = in.width;
    cinfo.image_height = in.height;
    cinfo.input_components = in.components;
    cinfo.in_color_space = in.colorSpace;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);

    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height)
        jpeg_write_scanlines(&cinfo, in.rows + cinfo.next_scanline, cinfo.image_height - cinfo.next_scanline);
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

QString SystemReason(int error)
{
    return qt_error_string(error);
}

[[noreturn]] void ThrowFileError(const char* what, const QString& path, int error)
{
    throw EError(QStringLiteral("%1 \"%2\". %3").arg(QLatin1String(what), path, SystemReason(error)));
}

}  // namespace

QByteArray EncodeJpeg(const QImage& picture, int quality, JpegInput input)
{
    // Format_RGB32 is 0xffRRGGBB in native order: B, G, R, X in memory on a
    // little-endian machine. libjpeg-turbo reads that layout directly and
    // converts it to YCbCr exactly as it would 24-bit RGB.
    QImage source;
    Input in{};
    if (input == JpegInput::Rgb24) {
        source = picture.convertToFormat(QImage::Format_RGB888);
        in.components = 3;
        in.colorSpace = JCS_RGB;
    } else {
        source = picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
        in.components = 4;
        in.colorSpace = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    }

    std::vector<JSAMPROW> rows(size_t(std::max(source.height(), 0)));
    for (int y = 0; y < source.height(); ++y)
        rows[size_t(y)] = const_cast<JSAMPROW>(source.constScanLine(y));
    in.rows = rows.data();
    in.width = JDIMENSION(source.width());
    in.height = JDIMENSION(source.height());

    // A screenshot at middle quality takes well under a byte per pixel; the
    // sink doubles the buffer in the rare case it does not fit.
    QByteArray out;
    out.resize(std::max<qsizetype>(qsizetype(source.width()) * source.height() / 4, 4096));
    ByteSink sink{};
    sink.pub.init_destination = SinkInit;
    sink.pub.empty_output_buffer = SinkGrow;
    sink.pub.term_destination = SinkTerm;
    sink.out = &out;

    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    if (!Compress(cinfo, err, sink, in, quality))
        throw EError(QStringLiteral("JPEG error: %1").arg(QString::fromLocal8Bit(err.message)));
    return out;
}

int JpegQuality(const QString& qualityText)
{
    return std::clamp(StrToInt(qualityText), 0, 100);
}

void WriteFileReplacing(const QString& path, const QByteArray& bytes)
{
    if (const std::optional<FileReplaceFailure> failure = ReplaceFileContent(path, bytes))
        ThrowFileError(failure->step == FileReplaceFailure::Step::Write ? "Cannot write file" : "Cannot create file",
                       path, failure->error);
}

void SaveAsJpeg(const QString& path, const QImage& picture, const QString& qualityText)
{
    const int quality = JpegQuality(qualityText);
    WriteFileReplacing(path, EncodeJpeg(picture, quality));
}
