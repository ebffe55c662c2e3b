#include "OutputTestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <avif/avif.h>
#include <png.h>
#include <webp/decode.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

TComposedCapture ComposeLassoCapture(int w, int h) {
    TComposedCapture c{TDIB(w, h, 32), TDIB(w, h, 24)};
    const double cx = w / 2.0, cy = h / 2.0, r = std::min(w, h) * 0.4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            // Coverage falls from 1 to 0 over three pixels: the edge carries partial alpha.
            const double cover = std::clamp((r - d) / 3.0, 0.0, 1.0);
            const int a = int(std::lround(cover * 255));
            const uint8_t red = x < w / 2 ? 220 : 30, green = uint8_t(40 + (y * 150) / std::max(h, 1)),
                          blue = x < w / 2 ? 20 : 200;
            uint8_t* p = c.capture.PixelPtr(x, y);
            p[0] = uint8_t(blue * a / 255);
            p[1] = uint8_t(green * a / 255);
            p[2] = uint8_t(red * a / 255);
            p[3] = uint8_t(a);
            uint8_t* f = c.flat.PixelPtr(x, y);
            f[0] = uint8_t((blue * a + 160 * (255 - a)) / 255);
            f[1] = uint8_t((green * a + 160 * (255 - a)) / 255);
            f[2] = uint8_t((red * a + 160 * (255 - a)) / 255);
        }
    return c;
}

TDIB ComposeGradient(int w, int h, int bitCount) {
    TDIB dib(w, h, bitCount);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = dib.PixelPtr(x, y);
            p[0] = uint8_t(x * 7 + y);
            p[1] = uint8_t(y * 3);
            p[2] = uint8_t(255 - x);
            if (bitCount == 32) p[3] = 255;
        }
    return dib;
}

namespace {

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

} // namespace

TDecodedPng DecodePng(const QByteArray& file) {
    TDecodedPng r;
    const auto* data = reinterpret_cast<const uint8_t*>(file.constData());
    if (file.size() < 33 || std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) != 0) return r;
    // Walk the chunks ourselves for the header fields and the compressed stream.
    QByteArray idat;
    for (qsizetype pos = 8; pos + 12 <= file.size();) {
        const uint32_t len = BigEndian32(data + pos);
        const char* type = file.constData() + pos + 4;
        if (pos + 12 + qsizetype(len) > file.size()) return r;
        if (std::memcmp(type, "IHDR", 4) == 0) {
            r.width = int(BigEndian32(data + pos + 8));
            r.height = int(BigEndian32(data + pos + 12));
            r.bitDepth = data[pos + 16];
            r.colorType = data[pos + 17];
            r.interlace = data[pos + 20];
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            idat.append(file.constData() + pos + 8, len);
        }
        pos += 12 + len;
    }
    if (idat.size() < 2) return r;
    r.zlibLevelField = (uint8_t(idat[1]) >> 6) & 3;
    r.channels = r.colorType == 6 ? 4 : r.colorType == 2 ? 3 : 0;
    if (!r.channels || r.bitDepth != 8) return r;
    const size_t stride = size_t(r.width) * r.channels;
    std::vector<uint8_t> raw((stride + 1) * r.height);
    uLongf rawSize = uLongf(raw.size());
    if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.constData()),
                   uLong(idat.size())) != Z_OK ||
        rawSize != raw.size())
        return r;
    for (int y = 0; y < r.height; ++y)
        r.rowFilters.push_back(raw[y * (stride + 1)]);

    // The pixels through libpng itself.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.constData(), size_t(file.size()))) return r;
    image.format = r.channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    r.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, r.pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return r;
    }
    r.ok = true;
    return r;
}

namespace {

struct JpegTestError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

void JpegTestErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegTestError*>(cinfo->err)->jump, 1);
}

bool DecodeJpegInto(jpeg_decompress_struct* cinfo, JpegTestError* err, const QByteArray* file,
                    TDecodedJpeg* r) {
    if (setjmp(err->jump)) return false;
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(file->constData()),
                 (unsigned long)file->size());
    jpeg_read_header(cinfo, TRUE);
    r->width = int(cinfo->image_width);
    r->height = int(cinfo->image_height);
    r->components = cinfo->num_components;
    r->progressive = cinfo->progressive_mode;
    if (cinfo->quant_tbl_ptrs[0]) {
        // Stored in zig-zag order in the file; libjpeg keeps them in natural order.
        r->lumaQuant.assign(cinfo->quant_tbl_ptrs[0]->quantval,
                            cinfo->quant_tbl_ptrs[0]->quantval + DCTSIZE2);
    }
    cinfo->out_color_space = JCS_RGB;
    jpeg_start_decompress(cinfo);
    r->pixels.resize(size_t(r->width) * 3 * r->height);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = r->pixels.data() + size_t(cinfo->output_scanline) * r->width * 3;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

} // namespace

TDecodedJpeg DecodeJpeg(const QByteArray& file) {
    TDecodedJpeg r;
    jpeg_decompress_struct cinfo{};
    JpegTestError err{};
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegTestErrorExit;
    r.ok = DecodeJpegInto(&cinfo, &err, &file, &r);
    jpeg_destroy_decompress(&cinfo);
    return r;
}

std::vector<uint16_t> ExpectedLumaQuant(int quality) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_RGB;
    cinfo.input_components = 3;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    std::vector<uint16_t> table(cinfo.quant_tbl_ptrs[0]->quantval,
                                cinfo.quant_tbl_ptrs[0]->quantval + DCTSIZE2);
    jpeg_destroy_compress(&cinfo);
    return table;
}

TDecodedPicture DecodeWebp(const QByteArray& file) {
    TDecodedPicture r;
    const auto* data = reinterpret_cast<const uint8_t*>(file.constData());
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size_t(file.size()), &features) != VP8_STATUS_OK) return r;
    r.width = features.width;
    r.height = features.height;
    r.hasAlpha = features.has_alpha != 0;
    r.lossless = features.format == 2;
    r.pixels.resize(size_t(r.width) * r.height * 4);
    r.ok = WebPDecodeRGBAInto(data, size_t(file.size()), r.pixels.data(), r.pixels.size(), r.width * 4) !=
           nullptr;
    return r;
}

TDecodedPicture DecodeAvif(const QByteArray& file) {
    TDecodedPicture r;
    avifDecoder* decoder = avifDecoderCreate();
    avifImage* image = avifImageCreateEmpty();
    if (decoder && image &&
        avifDecoderReadMemory(decoder, image, reinterpret_cast<const uint8_t*>(file.constData()),
                              size_t(file.size())) == AVIF_RESULT_OK &&
        image->depth == 8) {
        r.width = int(image->width);
        r.height = int(image->height);
        r.hasAlpha = image->alphaPlane != nullptr;
        r.lossless = image->matrixCoefficients == AVIF_MATRIX_COEFFICIENTS_IDENTITY;
        r.fullChroma = image->yuvFormat == AVIF_PIXEL_FORMAT_YUV444;
        r.pixels.resize(size_t(r.width) * r.height * 4);
        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, image);
        rgb.format = AVIF_RGB_FORMAT_RGBA;
        rgb.pixels = r.pixels.data();
        rgb.rowBytes = uint32_t(r.width) * 4;
        r.ok = avifImageYUVToRGB(image, &rgb) == AVIF_RESULT_OK;
    }
    if (image) avifImageDestroy(image);
    if (decoder) avifDecoderDestroy(decoder);
    return r;
}

int RunTool(const QString& program, const QStringList& args, QByteArray* out, int timeoutMs) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000)) return -1;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out) *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool HaveTool(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
