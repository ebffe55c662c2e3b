#include "ImageEncoders.h"

#include "DIBmp.h"

#include <QIODevice>

#include <avif/avif.h>
#include <png.h>
#include <webp/encode.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
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

void SetWriteError(QString* error, const QIODevice& out) {
    SetError(error, out.errorString().isEmpty() ? QStringLiteral("write error") : out.errorString());
}

bool IsEncodable(const TDIB& image) {
    return !image.Empty() && (image.BitCount() == 24 || image.BitCount() == 32);
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

// ---- WebP ------------------------------------------------------------------------------------------

namespace {

struct WebpSink {
    QIODevice* out;
    bool failed = false;
};

int WebpWrite(const uint8_t* data, size_t size, const WebPPicture* picture) {
    auto* sink = static_cast<WebpSink*>(picture->custom_ptr);
    if (size == 0) return 1;
    if (sink->out->write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        sink->failed = true;
        return 0; // the library stops with VP8_ENC_ERROR_BAD_WRITE
    }
    return 1;
}

const char* WebpErrorText(WebPEncodingError code) {
    switch (code) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
        return "out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION:
        return "picture too large for WebP";
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW:
    case VP8_ENC_ERROR_FILE_TOO_BIG:
        return "WebP file too large";
    default:
        return "libwebp cannot encode the picture";
    }
}

struct WebpPictureFree {
    void operator()(WebPPicture* picture) const { WebPPictureFree(picture); }
};

// The picture's ARGB words (0xAARRGGBB) from the image, colour and alpha as WritePng takes them.
void FillArgb(const TDIB& image, bool withAlpha, WebPPicture& picture) {
    const int width = image.Width();
    std::vector<uint8_t> rgba(withAlpha ? size_t(width) * 4 : 0);
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* source = image.PixelPtr(0, y);
        uint32_t* argb = picture.argb + size_t(y) * size_t(picture.argb_stride);
        if (withAlpha) {
            UnpremultiplyRowToRgba(source, rgba.data(), width);
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = rgba.data() + size_t(x) * 4;
                argb[x] = uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            }
        } else {
            const int step = image.BitCount() / 8;
            for (int x = 0; x < width; ++x, source += step)
                argb[x] = 0xFF000000u | uint32_t(source[2]) << 16 | uint32_t(source[1]) << 8 | source[0];
        }
    }
}

} // namespace

bool WriteWebp(const TDIB& image, bool withAlpha, int quality, QIODevice& out, QString* error) {
    if (!IsEncodable(image)) {
        SetError(error, QStringLiteral("WebP needs a 24- or 32-bit image"));
        return false;
    }
    const bool lossless = quality >= 100;
    WebPConfig config;
    if (!WebPConfigInit(&config)) {
        SetError(error, QStringLiteral("libwebp cannot start"));
        return false;
    }
    if (lossless) {
        // The library's default effort: on a desktop about a ninth of the PNG file, in less time than
        // PNG; the levels above save a few per cent for a third more time.
        WebPConfigLosslessPreset(&config, 6);
        config.exact = 1;
    } else {
        config.quality = float(std::max(quality, 10));
        config.method = 4;
    }
    config.thread_level = 1;
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) {
        SetError(error, QStringLiteral("libwebp cannot start"));
        return false;
    }
    picture.use_argb = 1; // lossy encoding turns the ARGB words into its own YUV itself
    picture.width = image.Width();
    picture.height = image.Height();
    if (!WebPPictureAlloc(&picture)) {
        SetError(error, QStringLiteral("out of memory"));
        return false;
    }
    const std::unique_ptr<WebPPicture, WebpPictureFree> owned(&picture);
    FillArgb(image, withAlpha && image.BitCount() == 32, picture);
    WebpSink sink{&out};
    picture.writer = WebpWrite;
    picture.custom_ptr = &sink;
    if (WebPEncode(&config, &picture)) return true;
    if (sink.failed)
        SetWriteError(error, out);
    else
        SetError(error, QString::fromLatin1(WebpErrorText(picture.error_code)));
    return false;
}

// ---- AVIF ------------------------------------------------------------------------------------------

namespace {

struct AvifImageFree {
    void operator()(avifImage* image) const { avifImageDestroy(image); }
};
struct AvifEncoderFree {
    void operator()(avifEncoder* encoder) const { avifEncoderDestroy(encoder); }
};
struct AvifOutput {
    avifRWData data = AVIF_DATA_EMPTY;
    AvifOutput() = default;
    AvifOutput(const AvifOutput&) = delete;
    AvifOutput& operator=(const AvifOutput&) = delete;
    ~AvifOutput() { avifRWDataFree(&data); }
};

QString AvifError(avifResult result) {
    if (result == AVIF_RESULT_OUT_OF_MEMORY) return QStringLiteral("out of memory");
    return QStringLiteral("libavif: %1").arg(QString::fromLatin1(avifResultToString(result)));
}

// libavif's own mapping of a quality to a quantizer (newer versions take the quality itself).
int AvifQuantizer(int quality) {
    return std::clamp(((100 - quality) * AVIF_QUANTIZER_WORST_QUALITY + 50) / 100,
                      AVIF_QUANTIZER_BEST_QUALITY, AVIF_QUANTIZER_WORST_QUALITY);
}

// The encoder's speed, of 0 (slowest) to 10. At 8 and above libaom leaves out the tools that find the
// repeated colours and shapes of screen content: a 1920x1080 desktop grows from about 80 KiB to 1.5 MiB
// lossless, and from 30 KiB to 390 KiB lossy at 90, for about half the time. Below 7 the files hardly
// shrink further.
constexpr int kAvifSpeed = 7;

} // namespace

bool WriteAvif(const TDIB& image, bool withAlpha, int quality, QIODevice& out, QString* error) {
    if (!IsEncodable(image)) {
        SetError(error, QStringLiteral("AVIF needs a 24- or 32-bit image"));
        return false;
    }
    const bool lossless = quality >= 100;
    const bool alpha = withAlpha && image.BitCount() == 32;
    const int width = image.Width(), height = image.Height();
    const std::unique_ptr<avifImage, AvifImageFree> picture(
        avifImageCreate(uint32_t(width), uint32_t(height), 8, AVIF_PIXEL_FORMAT_YUV444));
    if (!picture) {
        SetError(error, QStringLiteral("out of memory"));
        return false;
    }
    picture->yuvRange = AVIF_RANGE_FULL;
    picture->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    picture->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    picture->matrixCoefficients =
        lossless ? AVIF_MATRIX_COEFFICIENTS_IDENTITY : AVIF_MATRIX_COEFFICIENTS_BT601;

    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, picture.get());
    // The identity matrix is a plain reordering only in the library's own conversion.
    rgb.avoidLibYUV = lossless ? AVIF_TRUE : AVIF_FALSE;
    std::vector<uint8_t> straight;
    if (alpha) {
        // Straight alpha as the PNG encoder computes it, so every format keeps the same colours.
        straight.resize(size_t(width) * 4 * size_t(height));
        for (int y = 0; y < height; ++y)
            UnpremultiplyRowToRgba(image.PixelPtr(0, y), straight.data() + size_t(y) * width * 4, width);
        rgb.format = AVIF_RGB_FORMAT_RGBA;
        rgb.pixels = straight.data();
        rgb.rowBytes = uint32_t(width) * 4;
    } else {
        // The image's own rows; the conversion only reads them.
        rgb.format = image.BitCount() == 32 ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
        rgb.ignoreAlpha = AVIF_TRUE;
        rgb.pixels = const_cast<uint8_t*>(image.PixelPtr(0, 0));
        rgb.rowBytes = uint32_t(image.BytesPerRow());
    }
    if (const avifResult converted = avifImageRGBToYUV(picture.get(), &rgb); converted != AVIF_RESULT_OK) {
        SetError(error, AvifError(converted));
        return false;
    }
    straight = {};

    const std::unique_ptr<avifEncoder, AvifEncoderFree> encoder(avifEncoderCreate());
    if (!encoder) {
        SetError(error, QStringLiteral("out of memory"));
        return false;
    }
    // libaom is the library's encoder that can be lossless and write 4:4:4.
    if (avifCodecName(AVIF_CODEC_CHOICE_AOM, AVIF_CODEC_FLAG_CAN_ENCODE))
        encoder->codecChoice = AVIF_CODEC_CHOICE_AOM;
    encoder->maxThreads = int(std::max(1u, std::thread::hardware_concurrency()));
    encoder->speed = kAvifSpeed;
    const int quantizer = lossless ? AVIF_QUANTIZER_LOSSLESS : AvifQuantizer(std::max(quality, 10));
    encoder->minQuantizer = encoder->maxQuantizer = quantizer;
    // The alpha plane is always lossless, as WebP's: a lasso's edge is a thin band in flat planes that
    // costs little, and the surroundings stay exactly transparent.
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
    AvifOutput file;
    if (const avifResult written = avifEncoderWrite(encoder.get(), picture.get(), &file.data);
        written != AVIF_RESULT_OK) {
        SetError(error, AvifError(written));
        return false;
    }
    if (out.write(reinterpret_cast<const char*>(file.data.data), qint64(file.data.size)) !=
        qint64(file.data.size)) {
        SetWriteError(error, out);
        return false;
    }
    return true;
}
