#include "ImageEncoders.h"

#include "DIBmp.h"

#include <QIODevice>

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace {

// v * 255 / a for every colour value and alpha, built once: the division is exact integer division,
// the same for every pixel, and a table keeps it off the per-pixel path.
const std::array<uint8_t, 256 * 256>& UnpremultiplyTable() {
    static const auto table = [] {
        std::array<uint8_t, 256 * 256> t{};
        for (int a = 1; a < 256; ++a)
            for (int v = 0; v < 256; ++v)
                t[a * 256 + v] = uint8_t(std::min(255, v * 255 / a));
        for (int v = 0; v < 256; ++v)
            t[v] = uint8_t(v); // alpha 0 keeps the colour bytes
        return t;
    }();
    return table;
}

void SetError(QString* error, const QString& text) {
    if (error) *error = text;
}

} // namespace

void UnpremultiplyRowToRgba(const uint8_t* bgra, uint8_t* rgba, int width) {
    const uint8_t* table = UnpremultiplyTable().data();
    for (int x = 0; x < width; ++x, bgra += 4, rgba += 4) {
        const uint8_t a = bgra[3];
        const uint8_t* row = table + a * 256;
        if (a == 255) {
            rgba[0] = bgra[2];
            rgba[1] = bgra[1];
            rgba[2] = bgra[0];
        } else {
            rgba[0] = row[bgra[2]];
            rgba[1] = row[bgra[1]];
            rgba[2] = row[bgra[0]];
        }
        rgba[3] = a;
    }
}

void RowToRgb(const uint8_t* source, int bytesPerPixel, uint8_t* rgb, int width) {
    for (int x = 0; x < width; ++x, source += bytesPerPixel, rgb += 3) {
        rgb[0] = source[2];
        rgb[1] = source[1];
        rgb[2] = source[0];
    }
}

// ---- PNG -------------------------------------------------------------------------------------------

namespace {

struct PngSink {
    QIODevice* out;
    bool failed = false;
    char message[200] = {};
};

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    if (sink->out->write(reinterpret_cast<const char*>(data), qint64(length)) != qint64(length)) {
        sink->failed = true;
        png_error(png, "write error"); // leaves through the setjmp of EncodePng
    }
}

void PngFlush(png_structp) {}

void PngErrorHandler(png_structp png, png_const_charp message) {
    auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

void PngWarningHandler(png_structp, png_const_charp) {}

// Holds no object with a destructor between setjmp and the libpng calls, so the jump back on an error
// skips nothing; the caller owns the row buffer and frees the structures.
bool EncodePng(png_structp png, png_infop info, const TDIB& image, bool rgba, int level, uint8_t* row) {
    if (setjmp(png_jmpbuf(png))) return false;
    const int width = image.Width(), height = image.Height();
    const int bytesPerPixel = image.BitCount() / 8;
    png_set_write_fn(png, png_get_io_ptr(png), PngWrite, PngFlush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                 rgba ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, level);
    // libpng would pick Z_FILTERED for filtered rows; on screenshots (long runs of equal differences)
    // the default strategy gives files about a fifth smaller and is faster at the same level.
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        const uint8_t* source = image.PixelPtr(0, y);
        if (rgba)
            UnpremultiplyRowToRgba(source, row, width);
        else
            RowToRgb(source, bytesPerPixel, row, width);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

} // namespace

bool WritePng(const TDIB& image, bool withAlpha, QIODevice& out, QString* error, int level) {
    if (image.Empty() || (image.BitCount() != 24 && image.BitCount() != 32)) {
        SetError(error, QStringLiteral("PNG needs a 24- or 32-bit image"));
        return false;
    }
    const bool rgba = withAlpha && image.BitCount() == 32;
    std::vector<uint8_t> row(size_t(image.Width()) * (rgba ? 4 : 3));
    PngSink sink{&out};
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, PngErrorHandler, PngWarningHandler);
    if (!png) {
        SetError(error, QStringLiteral("libpng cannot start"));
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        SetError(error, QStringLiteral("libpng cannot start"));
        return false;
    }
    png_set_write_fn(png, &sink, PngWrite, PngFlush);
    const bool ok = EncodePng(png, info, image, rgba, std::clamp(level, 0, 9), row.data());
    png_destroy_write_struct(&png, &info);
    if (!ok)
        SetError(error, sink.failed ? (out.errorString().isEmpty() ? QStringLiteral("write error")
                                                                   : out.errorString())
                                    : QString::fromLatin1(sink.message));
    return ok;
}

// ---- JPEG ------------------------------------------------------------------------------------------

namespace {

constexpr size_t kJpegBufferSize = 64 * 1024;

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
    bool sinkFailed = false;
    char message[JMSG_LENGTH_MAX] = {};
};

struct JpegSink {
    jpeg_destination_mgr manager;
    QIODevice* out;
    JOCTET* buffer;
};

void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    if (!err->sinkFailed) (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void JpegOutputMessage(j_common_ptr) {}

void JpegInitDestination(j_compress_ptr cinfo) {
    auto* sink = reinterpret_cast<JpegSink*>(cinfo->dest);
    sink->manager.next_output_byte = sink->buffer;
    sink->manager.free_in_buffer = kJpegBufferSize;
}

void JpegSinkFailed(j_compress_ptr cinfo) {
    reinterpret_cast<JpegError*>(cinfo->err)->sinkFailed = true;
    (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
}

boolean JpegEmptyBuffer(j_compress_ptr cinfo) {
    auto* sink = reinterpret_cast<JpegSink*>(cinfo->dest);
    if (sink->out->write(reinterpret_cast<const char*>(sink->buffer), qint64(kJpegBufferSize)) !=
        qint64(kJpegBufferSize))
        JpegSinkFailed(cinfo);
    JpegInitDestination(cinfo);
    return TRUE;
}

void JpegTermDestination(j_compress_ptr cinfo) {
    auto* sink = reinterpret_cast<JpegSink*>(cinfo->dest);
    const qint64 n = qint64(kJpegBufferSize - sink->manager.free_in_buffer);
    if (n > 0 && sink->out->write(reinterpret_cast<const char*>(sink->buffer), n) != n) JpegSinkFailed(cinfo);
}

// As EncodePng: nothing with a destructor lives between setjmp and the library calls. The library takes
// rows as writable pointers, so each row of the (const) image goes through rowBuffer (one row's bytes).
bool EncodeJpeg(jpeg_compress_struct* cinfo, JpegError* err, JpegSink* sink, const TDIB& image, int quality,
                JSAMPLE* rowBuffer) {
    if (setjmp(err->jump)) return false;
    jpeg_create_compress(cinfo); // clears every field but the error manager
    cinfo->dest = &sink->manager;
    cinfo->image_width = JDIMENSION(image.Width());
    cinfo->image_height = JDIMENSION(image.Height());
    cinfo->input_components = image.BitCount() / 8;
    cinfo->in_color_space = image.BitCount() == 32 ? JCS_EXT_BGRX : JCS_EXT_BGR;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    const size_t rowBytes = size_t(image.Width()) * (image.BitCount() / 8);
    while (cinfo->next_scanline < cinfo->image_height) {
        std::memcpy(rowBuffer, image.PixelPtr(0, int(cinfo->next_scanline)), rowBytes);
        JSAMPROW row = rowBuffer;
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

} // namespace

bool WriteJpeg(const TDIB& image, int quality, QIODevice& out, QString* error) {
    if (image.Empty() || (image.BitCount() != 24 && image.BitCount() != 32)) {
        SetError(error, QStringLiteral("JPEG needs a 24- or 32-bit image"));
        return false;
    }
    std::vector<JOCTET> buffer(kJpegBufferSize);
    std::vector<JSAMPLE> row(size_t(image.Width()) * (image.BitCount() / 8));
    jpeg_compress_struct cinfo{};
    JpegError err{};
    cinfo.err = jpeg_std_error(&err.manager);
    err.manager.error_exit = JpegErrorExit;
    err.manager.output_message = JpegOutputMessage;
    JpegSink sink{};
    sink.out = &out;
    sink.buffer = buffer.data();
    sink.manager.init_destination = JpegInitDestination;
    sink.manager.empty_output_buffer = JpegEmptyBuffer;
    sink.manager.term_destination = JpegTermDestination;
    const bool ok = EncodeJpeg(&cinfo, &err, &sink, image, std::clamp(quality, 10, 100), row.data());
    jpeg_destroy_compress(&cinfo);
    if (!ok)
        SetError(error, err.sinkFailed ? (out.errorString().isEmpty() ? QStringLiteral("write error")
                                                                      : out.errorString())
                                       : QString::fromLatin1(err.message));
    return ok;
}

// ---- BMP -------------------------------------------------------------------------------------------

bool WriteBmp(const TDIB& image, QIODevice& out, QString* error) {
    if (image.Empty()) {
        SetError(error, QStringLiteral("empty image"));
        return false;
    }
    try {
        image.SaveToStream(out);
        return true;
    } catch (const std::exception& e) {
        SetError(error, QString::fromUtf8(e.what()));
        return false;
    }
}
