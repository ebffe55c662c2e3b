// The encoders against independent decoders: libpng/zlib/libjpeg/libwebp/libavif called directly,
// pngcheck and ImageMagick's identify, and devices that fail part-way.
#include "ImageEncoders.h"
#include "OutputTestSupport.h"
#include "ParamName.h"

#include <QBuffer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray EncodePngBytes(const TDIB& image, bool alpha) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(WritePng(image, alpha, buffer));
    return bytes;
}

QByteArray EncodeJpegBytes(const TDIB& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(WriteJpeg(image, quality, buffer));
    return bytes;
}

QString SaveTemp(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

TEST(Unpremultiply, EveryValueAndAlphaPair) {
    std::vector<uint8_t> bgra(256 * 4), rgba(256 * 4);
    for (int a = 0; a < 256; ++a) {
        for (int v = 0; v < 256; ++v) {
            bgra[v * 4 + 0] = uint8_t(v);
            bgra[v * 4 + 1] = uint8_t(255 - v);
            bgra[v * 4 + 2] = uint8_t(v / 2);
            bgra[v * 4 + 3] = uint8_t(a);
        }
        UnpremultiplyRowToRgba(bgra.data(), rgba.data(), 256);
        for (int v = 0; v < 256; ++v) {
            auto expect = [a](int c) { return a == 0 ? c : std::min(255, c * 255 / a); };
            ASSERT_EQ(rgba[v * 4 + 0], expect(v / 2)) << "v=" << v << " a=" << a;
            ASSERT_EQ(rgba[v * 4 + 1], expect(255 - v)) << "v=" << v << " a=" << a;
            ASSERT_EQ(rgba[v * 4 + 2], expect(v)) << "v=" << v << " a=" << a;
            ASSERT_EQ(rgba[v * 4 + 3], a);
        }
    }
}

struct PngCase {
    const char* name;
    int width, height;
    bool alpha;
};

class PngEncoderTest : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngEncoderTest, LayoutAndPixelsReadBack) {
    const PngCase c = GetParam();
    const TComposedCapture cap = ComposeLassoCapture(c.width, c.height);
    const TDecodedPng png = DecodePng(EncodePngBytes(cap.capture, c.alpha));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.width, c.width);
    EXPECT_EQ(png.height, c.height);
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_EQ(png.colorType, c.alpha ? 6 : 2);
    EXPECT_EQ(png.interlace, 0);
    EXPECT_EQ(png.zlibLevelField, 3) << "zlib level 9 marks its stream as maximum compression";
    ASSERT_EQ(int(png.rowFilters.size()), c.height);
    // libpng writes a one-pixel-wide row unfiltered: Sub has no left neighbour there and would store
    // the same bytes.
    const int filter = c.width > 1 ? 1 : 0;
    for (int y = 0; y < c.height; ++y)
        ASSERT_EQ(png.rowFilters[y], filter) << "row " << y << " not Sub-filtered";

    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const uint8_t* s = cap.capture.PixelPtr(x, y);
            const uint8_t* d = png.pixels.data() + (size_t(y) * c.width + x) * png.channels;
            const int a = s[3];
            if (c.alpha) {
                ASSERT_EQ(d[3], a);
                for (int ch = 0; ch < 3; ++ch) {
                    const int v = s[2 - ch];
                    ASSERT_EQ(d[ch], a ? v * 255 / a : v) << x << "," << y;
                }
            } else {
                // Without transparency the premultiplied bytes are the colour: black, opaque surroundings.
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(d[ch], s[2 - ch]) << x << "," << y;
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Sizes, PngEncoderTest,
                         ::testing::Values(PngCase{"odd_rgb", 33, 17, false},
                                           PngCase{"odd_rgba", 33, 17, true},
                                           PngCase{"one_pixel_rgba", 1, 1, true},
                                           PngCase{"wide_rgb", 257, 3, false},
                                           PngCase{"lasso_rgba", 120, 80, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PngEncoder, LassoEdgesKeepStraightColourAndSurroundingsAreTransparent) {
    const TComposedCapture cap = ComposeLassoCapture(120, 80);
    const TDecodedPng png = DecodePng(EncodePngBytes(cap.capture, true));
    ASSERT_TRUE(png.ok);
    int edge = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 60; ++x) { // the red half: straight colour red 220, blue 20
            const uint8_t* d = png.pixels.data() + (size_t(y) * 120 + x) * 4;
            if (d[3] == 0) {
                EXPECT_EQ(d[0] | d[1] | d[2], 0);
            } else if (d[3] >= 64) {
                ++edge;
                EXPECT_NEAR(d[0], 220, 4) << x << "," << y << " alpha " << int(d[3]);
                EXPECT_NEAR(d[2], 20, 4);
            }
        }
    EXPECT_GT(edge, 100);
    const uint8_t* corner = png.pixels.data();
    EXPECT_EQ(corner[3], 0);
}

TEST(PngEncoder, TwentyFourBitSourceIsRgbEvenWithTransparency) {
    const TDIB image = ComposeGradient(9, 7, 24);
    const TDecodedPng png = DecodePng(EncodePngBytes(image, true));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colorType, 2);
    const uint8_t* s = image.PixelPtr(4, 5);
    const uint8_t* d = png.pixels.data() + (5 * 9 + 4) * 3;
    EXPECT_EQ(d[0], s[2]);
    EXPECT_EQ(d[1], s[1]);
    EXPECT_EQ(d[2], s[0]);
}

TEST(PngEncoder, ExternalToolsAcceptTheFile) {
    ASSERT_TRUE(HaveTool("pngcheck") && HaveTool("identify"))
        << "pngcheck and ImageMagick are test dependencies";
    QTemporaryDir dir;
    const TComposedCapture cap = ComposeLassoCapture(101, 61);
    for (bool alpha : {false, true}) {
        const QString path = SaveTemp(dir, alpha ? "a.png" : "b.png", EncodePngBytes(cap.capture, alpha));
        QByteArray out;
        EXPECT_EQ(RunTool("pngcheck", {"-v", path}, &out), 0) << out.constData();
        EXPECT_TRUE(out.contains(alpha ? "RGB+alpha" : "RGB")) << out.constData();
        EXPECT_TRUE(out.contains("non-interlaced")) << out.constData();
        EXPECT_EQ(RunTool("identify", {"-format", "%m %w %h %[channels]", path}, &out), 0);
        EXPECT_EQ(out, alpha ? QByteArray("PNG 101 61 srgba") : QByteArray("PNG 101 61 srgb"));
    }
}

class JpegQualityTest : public ::testing::TestWithParam<int> {};

TEST_P(JpegQualityTest, QualityReachesTheFile) {
    const int quality = GetParam();
    const TDIB image = ComposeGradient(64, 48, 24);
    const TDecodedJpeg jpeg = DecodeJpeg(EncodeJpegBytes(image, quality));
    ASSERT_TRUE(jpeg.ok);
    EXPECT_EQ(jpeg.width, 64);
    EXPECT_EQ(jpeg.height, 48);
    EXPECT_EQ(jpeg.components, 3);
    EXPECT_FALSE(jpeg.progressive);
    EXPECT_EQ(jpeg.lumaQuant, ExpectedLumaQuant(std::clamp(quality, 10, 100)));
}

INSTANTIATE_TEST_SUITE_P(Qualities, JpegQualityTest, ::testing::Values(10, 50, 90, 100, 5, 150),
                         [](const auto& info) { return "Quality" + NamePart(info.param); });

TEST(JpegEncoder, PixelsSurviveAndChannelsAreNotSwapped) {
    for (int bits : {24, 32}) {
        TDIB image(40, 24, bits);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40; ++x)
                image.SetPixel(x, y, x < 20 ? 0xFFE01010u : 0xFF1010E0u); // red | blue
        const TDecodedJpeg jpeg = DecodeJpeg(EncodeJpegBytes(image, 95));
        ASSERT_TRUE(jpeg.ok);
        const uint8_t* left = jpeg.pixels.data() + (12 * 40 + 5) * 3;
        const uint8_t* right = jpeg.pixels.data() + (12 * 40 + 34) * 3;
        EXPECT_NEAR(left[0], 0xE0, 8);
        EXPECT_NEAR(left[2], 0x10, 8);
        EXPECT_NEAR(right[0], 0x10, 8);
        EXPECT_NEAR(right[2], 0xE0, 8);
    }
}

TEST(JpegEncoder, IdentifyReadsQuality) {
    ASSERT_TRUE(HaveTool("identify"));
    QTemporaryDir dir;
    const QString path = SaveTemp(dir, "q.jpg", EncodeJpegBytes(ComposeGradient(50, 30, 24), 70));
    QByteArray out;
    EXPECT_EQ(RunTool("identify", {"-format", "%m %w %h %Q %[interlace]", path}, &out), 0);
    EXPECT_EQ(out, QByteArray("JPEG 50 30 70 None"));
}

TEST(BmpEncoder, IsTheImageLibraryFile) {
    const TDIB image = ComposeGradient(13, 5, 24);
    QByteArray bytes, reference;
    QBuffer a(&bytes), b(&reference);
    a.open(QIODevice::WriteOnly);
    b.open(QIODevice::WriteOnly);
    ASSERT_TRUE(WriteBmp(image, a));
    image.SaveToStream(b);
    EXPECT_EQ(bytes, reference);
    QTemporaryDir dir;
    const QString path = SaveTemp(dir, "x.bmp", bytes);
    QByteArray out;
    ASSERT_TRUE(HaveTool("identify"));
    EXPECT_EQ(RunTool("identify", {"-format", "%m %w %h", path}, &out), 0);
    EXPECT_EQ(out, QByteArray("BMP3 13 5").left(out.startsWith("BMP3") ? 9 : 8)) << out.constData();
    TDIB back;
    back.LoadFromFile(path);
    ASSERT_EQ(back.Width(), 13);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(back.GetPixel(x, y), image.GetPixel(x, y));
}

// WebP and AVIF read back by their own libraries: exactly the pixels PNG would hold at quality 100,
// close to them below, the alpha exact at every quality. The colours a lossy encoder may change under
// alpha 0 do not count: its error is measured on the colour composed over black.
struct ModernCase {
    const char* name;
    bool avif;  // else WebP
    bool lasso; // the lasso capture (32-bit); else a 24-bit gradient
    int width, height;
    bool alpha;
    int quality;
    double meanError; // per colour channel over all pixels; 0: every byte exact
};

class ModernFormatTest : public ::testing::TestWithParam<ModernCase> {};

TEST_P(ModernFormatTest, PixelsReadBack) {
    const ModernCase c = GetParam();
    const TDIB image =
        c.lasso ? ComposeLassoCapture(c.width, c.height).capture : ComposeGradient(c.width, c.height, 24);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(c.avif ? WriteAvif(image, c.alpha, c.quality, buffer)
                       : WriteWebp(image, c.alpha, c.quality, buffer));
    const TDecodedPicture back = c.avif ? DecodeAvif(bytes) : DecodeWebp(bytes);
    ASSERT_TRUE(back.ok);
    ASSERT_EQ(back.width * back.height, c.width * c.height);
    const bool keepsAlpha = c.alpha && c.lasso;
    EXPECT_EQ(back.hasAlpha, keepsAlpha);
    EXPECT_EQ(back.lossless, c.quality >= 100);
    EXPECT_EQ(back.fullChroma, c.avif);

    std::vector<uint8_t> straight(size_t(c.width) * 4);
    double colourError = 0;
    for (int y = 0; y < c.height; ++y) {
        if (keepsAlpha) UnpremultiplyRowToRgba(image.PixelPtr(0, y), straight.data(), c.width);
        for (int x = 0; x < c.width; ++x) {
            const uint8_t* s = image.PixelPtr(x, y);
            const uint8_t opaque[4] = {s[2], s[1], s[0], 255};
            const uint8_t* e = keepsAlpha ? straight.data() + x * 4 : opaque;
            const uint8_t* d = back.pixels.data() + (size_t(y) * c.width + x) * 4;
            ASSERT_EQ(d[3], e[3]) << "alpha at " << x << "," << y;
            for (int ch = 0; ch < 3; ++ch) {
                ASSERT_TRUE(c.meanError > 0 || d[ch] == e[ch]) << "channel " << ch << " at " << x << "," << y;
                colourError += std::abs(d[ch] - e[ch]) * d[3] / 255.0;
            }
        }
    }
    EXPECT_LE(colourError / (3.0 * c.width * c.height), c.meanError);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ModernFormatTest,
    ::testing::Values(ModernCase{"webp_lossless_lasso_rgba", false, true, 120, 80, true, 100, 0},
                      ModernCase{"webp_lossless_lasso_opaque", false, true, 120, 80, false, 100, 0},
                      ModernCase{"webp_lossless_odd_24bit", false, false, 33, 17, true, 100, 0},
                      ModernCase{"webp_lossy_lasso_rgba", false, true, 120, 80, true, 80, 2.0},
                      ModernCase{"webp_lossy_lasso_opaque", false, true, 120, 80, false, 90, 2.0},
                      ModernCase{"webp_lossy_lowest_quality", false, false, 64, 48, false, 5, 8.0},
                      ModernCase{"avif_lossless_lasso_rgba", true, true, 120, 80, true, 100, 0},
                      ModernCase{"avif_lossless_lasso_opaque", true, true, 120, 80, false, 100, 0},
                      ModernCase{"avif_lossless_odd_24bit", true, false, 33, 17, true, 100, 0},
                      ModernCase{"avif_lossless_one_pixel", true, true, 1, 1, true, 100, 0},
                      ModernCase{"avif_lossy_lasso_rgba", true, true, 120, 80, true, 80, 1.0},
                      ModernCase{"avif_lossy_lasso_opaque", true, true, 120, 80, false, 90, 1.0},
                      ModernCase{"avif_lossy_lowest_quality", true, false, 64, 48, false, 5, 8.0}),
    [](const auto& info) { return std::string(info.param.name); });

// Every encoder, cut off after a number of bytes: false with a reason, never a crash.
struct FailCase {
    const char* name;
    int format; // 0 PNG, 1 JPEG, 2 BMP, 3 WebP, 4 AVIF
    qint64 limit;
};
class FailingSinkTest : public ::testing::TestWithParam<FailCase> {};

TEST_P(FailingSinkTest, ReportsTheFailure) {
    const FailCase c = GetParam();
    TComposedCapture cap = ComposeLassoCapture(500, 300);
    // Noise makes the JPEG larger than the encoder's 64 KiB buffer, so both of its write paths fail.
    uint32_t seed = 12345;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 500; ++x) {
            for (int ch = 0; ch < 3; ++ch) {
                seed = seed * 1664525u + 1013904223u;
                cap.flat.PixelPtr(x, y)[ch] = uint8_t(seed >> 24);
            }
        }
    TFailingDevice sink(nullptr, c.limit);
    QString error;
    bool ok = true;
    switch (c.format) {
    case 0:
        ok = WritePng(cap.capture, true, sink, &error);
        break;
    case 1:
        ok = WriteJpeg(cap.flat, 90, sink, &error);
        break;
    case 3:
        ok = WriteWebp(cap.flat, false, c.limit % 2 ? 90 : 100, sink, &error);
        break;
    case 4:
        ok = WriteAvif(cap.flat, false, c.limit % 2 ? 50 : 100, sink, &error);
        break;
    case 2:
        ok = WriteBmp(cap.flat, sink, &error);
        break;
    }
    EXPECT_FALSE(ok) << sink.written() << " bytes written";
    EXPECT_FALSE(error.isEmpty());
    EXPECT_LE(sink.written(), c.limit);
}

INSTANTIATE_TEST_SUITE_P(Limits, FailingSinkTest,
                         ::testing::Values(FailCase{"png_at_0", 0, 0}, FailCase{"png_at_100", 0, 100},
                                           FailCase{"png_at_2000", 0, 2000}, FailCase{"jpeg_at_0", 1, 0},
                                           FailCase{"jpeg_at_1000", 1, 1000},
                                           FailCase{"jpeg_at_70000", 1, 70000}, FailCase{"bmp_at_0", 2, 0},
                                           FailCase{"bmp_at_60", 2, 60}, FailCase{"webp_at_0", 3, 0},
                                           FailCase{"webp_lossy_at_1001", 3, 1001},
                                           FailCase{"webp_at_20000", 3, 20000}, FailCase{"avif_at_0", 4, 0},
                                           FailCase{"avif_lossy_at_1001", 4, 1001}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Encoders, RefuseEmptyImages) {
    TDIB empty;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QString error;
    EXPECT_FALSE(WritePng(empty, false, buffer, &error));
    EXPECT_FALSE(WriteJpeg(empty, 90, buffer, &error));
    EXPECT_FALSE(WriteBmp(empty, buffer, &error));
    EXPECT_FALSE(WriteWebp(empty, true, 100, buffer, &error));
    EXPECT_FALSE(WriteAvif(empty, true, 100, buffer, &error));
    EXPECT_TRUE(bytes.isEmpty());
}

} // namespace
