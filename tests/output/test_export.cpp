// File names, extensions, output sizes and the prepared (scaled, captioned) output image.
#include "Agg_2D_DIB.h"
#include "Export.h"
#include "FakePlatform.h"
#include "OutputTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <numeric>

namespace {

void Touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

// The lists' indexes name the formats; any other index (-1: a list without selection) is no format, or
// the nearest one where a name must be made all the same.
TEST(ImageFormatFromIndex, TakesOnlyTheListIndexesAndClampFormatTheNearest) {
    EXPECT_EQ(ImageFormatFromIndex(0), TImageFormat::Png);
    EXPECT_EQ(ImageFormatFromIndex(1), TImageFormat::Jpeg);
    EXPECT_EQ(ImageFormatFromIndex(2), TImageFormat::Bmp);
    EXPECT_EQ(ImageFormatFromIndex(3), TImageFormat::Webp);
    EXPECT_EQ(ImageFormatFromIndex(4), TImageFormat::Avif);
    for (int index : {-1, 5, -100, 100})
        EXPECT_FALSE(ImageFormatFromIndex(index)) << index;
    EXPECT_EQ(ClampFormat(-1), TImageFormat::Png);
    EXPECT_EQ(ClampFormat(1), TImageFormat::Jpeg);
    EXPECT_EQ(ClampFormat(3), TImageFormat::Webp);
    EXPECT_EQ(ClampFormat(5), TImageFormat::Avif);
}

struct NameCase {
    const char* name;
    QString title;
    TImageFormat format;
    QString expected; // file name inside the folder
};

class MakeFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(MakeFileNameTest, BuildsTheName) {
    QTemporaryDir dir;
    const NameCase c = GetParam();
    // The folder is given without its trailing separator: MakeFileName adds it.
    EXPECT_EQ(MakeFileName(dir.path(), c.title, c.format), dir.path() + "/" + c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, MakeFileNameTest,
    ::testing::Values(NameCase{"forbidden_dropped", "a/b:c*?", TImageFormat::Png, "abc.png"},
                      NameCase{"reserved_device", "con", TImageFormat::Png, "Forbidden filename.png"},
                      NameCase{"reserved_upper_jpeg", "LPT3", TImageFormat::Jpeg, "Forbidden filename.jpg"},
                      NameCase{"empty_title", "", TImageFormat::Jpeg, QStringLiteral("Vexmor捕获.jpg")},
                      NameCase{"only_forbidden", "<>:|?*\"\\/", TImageFormat::Bmp,
                               QStringLiteral("Vexmor捕获.bmp")},
                      NameCase{"shell_metacharacters_are_a_name", "\"; rm -rf ~; \"", TImageFormat::Png,
                               "; rm -rf ~; .png"},
                      NameCase{"format_below_range", "x", TImageFormat(-1), "x.png"},
                      NameCase{"format_above_range", "x", TImageFormat(9), "x.avif"},
                      NameCase{"webp", "x", TImageFormat::Webp, "x.webp"},
                      NameCase{"chinese_title", QStringLiteral("记事本 - 无标题"), TImageFormat::Jpeg,
                               QStringLiteral("记事本 - 无标题.jpg")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MakeFileName, LongChineseTitleIsCutToWholeCharactersWithin130Bytes) {
    QTemporaryDir dir;
    QString title;
    for (int i = 0; i < 200; ++i)
        title += QChar(0x4E2D + (i % 7));
    const QString name = QFileInfo(MakeFileName(dir.path(), title, TImageFormat::Jpeg)).fileName();
    ASSERT_TRUE(name.endsWith(".jpg"));
    const QString stem = name.chopped(4);
    EXPECT_LE(stem.toUtf8().size(), 130);
    EXPECT_EQ(stem, title.left(43)); // three bytes each in UTF-8: 43 whole characters
}

TEST(MakeFileName, TakenNamesAreNumbered) {
    QTemporaryDir dir;
    Touch(dir.filePath("shot.jpg"));
    EXPECT_EQ(MakeFileName(dir.path(), "shot", TImageFormat::Jpeg), dir.filePath("shot_2.jpg"));
    Touch(dir.filePath("shot_2.jpg"));
    EXPECT_EQ(MakeFileName(dir.path(), "shot", TImageFormat::Jpeg), dir.filePath("shot_3.jpg"));
    Touch(dir.filePath("take_5.png"));
    EXPECT_EQ(MakeFileName(dir.path(), "take_5", TImageFormat::Png), dir.filePath("take_6.png"));
    // Another format's file does not take the name.
    EXPECT_EQ(MakeFileName(dir.path(), "shot", TImageFormat::Png), dir.filePath("shot.png"));
}

TEST(MakeWorkFileName, MakesTheWorkFolderInsideDocuments) {
    QTemporaryDir dir;
    auto fake = InstallFakePlatform();
    fake->documents = dir.filePath("Documents"); // missing: made on demand
    const QString path = MakeWorkFileName("edit me", TImageFormat::Png);
    EXPECT_EQ(path, dir.filePath(QStringLiteral("Documents/我的视频捕获/edit me.png")));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("Documents/我的视频捕获"))).isDir());
}

struct ExtCase {
    const char* name;
    QString path;
    TImageFormat format;
    QString expected;
};
class AddFormatExtensionTest : public ::testing::TestWithParam<ExtCase> {};
TEST_P(AddFormatExtensionTest, Completes) {
    EXPECT_EQ(AddFormatExtension(GetParam().path, GetParam().format), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(
    Names, AddFormatExtensionTest,
    ::testing::Values(ExtCase{"jpeg_name_as_png", "/d/shot.jpeg", TImageFormat::Png, "/d/shot.jpeg.png"},
                      ExtCase{"png_upper_kept", "/d/shot.PNG", TImageFormat::Png, "/d/shot.PNG"},
                      ExtCase{"jpeg_kept", "/d/shot.JPEG", TImageFormat::Jpeg, "/d/shot.JPEG"},
                      ExtCase{"jpg_mixed_case_kept", "/d/shot.JpG", TImageFormat::Jpeg, "/d/shot.JpG"},
                      ExtCase{"jpg_as_bmp", "/d/shot.jpg", TImageFormat::Bmp, "/d/shot.jpg.bmp"},
                      ExtCase{"none", "/d/shot", TImageFormat::Jpeg, "/d/shot.jpg"},
                      ExtCase{"dot_in_folder_only", "/d/v1.png/shot", TImageFormat::Png,
                              "/d/v1.png/shot.png"},
                      ExtCase{"trailing_dot", "/d/shot.", TImageFormat::Bmp, "/d/shot..bmp"},
                      ExtCase{"webp_mixed_case_kept", "/d/shot.WebP", TImageFormat::Webp, "/d/shot.WebP"},
                      ExtCase{"avif_upper_kept", "/d/shot.AVIF", TImageFormat::Avif, "/d/shot.AVIF"},
                      ExtCase{"webp_as_avif", "/d/shot.webp", TImageFormat::Avif, "/d/shot.webp.avif"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SizeCase {
    const char* name;
    QSize source;
    int percent;
    QSize expected;
};
class ScaledSizeTest : public ::testing::TestWithParam<SizeCase> {};
TEST_P(ScaledSizeTest, RoundsHalfToEven) {
    EXPECT_EQ(ScaledSize(GetParam().source, GetParam().percent), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(
    Sizes, ScaledSizeTest,
    ::testing::Values(SizeCase{"half_1001x601", {1001, 601}, 50, {500, 300}},
                      SizeCase{"tenth_5x5_is_one_pixel", {5, 5}, 10, {1, 1}},
                      SizeCase{"half_odd_up_to_even", {1003, 7}, 50, {502, 4}},
                      SizeCase{"sixty_percent", {10, 25}, 60, {6, 15}},
                      SizeCase{"seventy_halves", {15, 45}, 70, {10, 32}}, // 10.5 -> 10, 31.5 -> 32
                      SizeCase{"full_size_kept", {1920, 1080}, 100, {1920, 1080}},
                      SizeCase{"never_zero", {1, 3}, 10, {1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

uint64_t Checksum(const TDIB& dib) {
    return std::accumulate(dib.Bits(), dib.Bits() + dib.Size(), uint64_t(0),
                           [](uint64_t s, uint8_t b) { return s * 31 + b; });
}

TEST(PrepareOutputImage, FullSizeWithoutCommentIsTheHeldImageItself) {
    for (int bits : {24, 32}) {
        const TDIB held = ComposeGradient(64, 32, bits);
        const TDIB out = PrepareOutputImage(held, 100, QString());
        EXPECT_TRUE(out.SharesWith(held)) << bits << "-bit: a copy was made";
        EXPECT_EQ(out.Bits(), held.Bits());
    }
}

TEST(PrepareOutputImage, ScalesWithSuperSamplingAtHalfAndLanczosAbove) {
    const TComposedCapture cap = ComposeLassoCapture(1001, 601);
    for (int percent : {50, 60}) {
        const TDIB out = PrepareOutputImage(cap.flat, percent, QString());
        const QSize size = ScaledSize({1001, 601}, percent);
        ASSERT_EQ(out.Width(), size.width());
        ASSERT_EQ(out.Height(), size.height());
        EXPECT_EQ(out.BitCount(), 24);
        // The same picture as the image library's resampler of the expected kind gives.
        for (TInterpolation mode : {TInterpolation::SuperSampling, TInterpolation::Lanczos}) {
            TDIB reference(size.width(), size.height(), 24), source = cap.flat;
            source.Resize(reference, QRect(0, 0, 1001, 601), QRect(QPoint(), size), mode);
            const bool same = std::equal(out.Bits(), out.Bits() + out.Size(), reference.Bits());
            EXPECT_EQ(same, mode == (percent > 50 ? TInterpolation::Lanczos : TInterpolation::SuperSampling))
                << percent << "% against mode " << int(mode);
        }
    }
}

TEST(PrepareOutputImage, CaptionIsDrawnOnACopyOnly) {
    TDIB held(400, 120, 24);
    held.FillRect(QRect(0, 0, 400, 120), 0xFF808080u);
    const uint64_t before = Checksum(held);
    const TDIB out = PrepareOutputImage(held, 100, QStringLiteral("Hello caption"));
    EXPECT_EQ(Checksum(held), before) << "the held image was drawn on";
    EXPECT_FALSE(out.SharesWith(held));
    int white = 0, dark = 0, changedOutside = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 400; ++x) {
            const uint8_t v = out.PixelPtr(x, y)[1];
            const bool inBand = y >= 120 - 20 - 34 && y <= 120 - 20 + 12 && x >= 8;
            if (!inBand) changedOutside += v != 0x80;
            white += v > 0xF0;
            dark += v < 0x30;
        }
    EXPECT_GT(white, 50) << "white letters";
    EXPECT_GT(dark, 50) << "dark halo";
    EXPECT_EQ(changedOutside, 0) << "the caption sits left-aligned on a baseline 20 pixels above the bottom";
}

TEST(PrepareOutputImage, CaptionOnAScaledTransparentCapture) {
    const TComposedCapture cap = ComposeLassoCapture(200, 100);
    const uint64_t before = Checksum(cap.capture);
    const TDIB out = PrepareOutputImage(cap.capture, 50, QStringLiteral("注释 text"));
    EXPECT_EQ(Checksum(cap.capture), before);
    ASSERT_EQ(out.Width(), 100);
    ASSERT_EQ(out.Height(), 50);
    ASSERT_EQ(out.BitCount(), 32);
    // The caption makes parts of the transparent surroundings opaque; alpha stays premultiplied.
    int opaqueBelow = 0;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) {
            const uint8_t* p = out.PixelPtr(x, y);
            ASSERT_LE(std::max({p[0], p[1], p[2]}), p[3]) << x << "," << y;
            opaqueBelow += p[3] > 200 && x < 20 && y > 10 && y < 34; // left of the disc, around the baseline
        }
    EXPECT_GT(opaqueBelow, 0);
}

TEST(CaptionSize, LargestSizeThatFitsElse18) {
    const std::string text = "A comment of moderate length";
    TAgg2D agg;
    TDIB scratch(10, 10, 24);
    ASSERT_TRUE(agg.Attach(scratch));
    agg.SetTextHints(true);
    std::map<int, double> widths;
    for (int size = 32; size >= 18; size -= 2) {
        agg.SetFont("Trebuchet MS", false, size, true, 0);
        widths[size] = agg.TextWidth(text);
    }
    for (int size = 32; size >= 20; size -= 2) {
        // Just wide enough for this size: TextWidth < width - 24.
        const int width = int(std::floor(widths[size])) + 25;
        if (size < 32 && widths[size + 2] < width - 24) continue; // two sizes too close to separate
        EXPECT_EQ(ChooseCaptionSize(agg, text, width), size) << "width " << width;
        EXPECT_EQ(agg.FontHeight(), size);
    }
    EXPECT_EQ(ChooseCaptionSize(agg, text, int(widths[20]) + 10), 18);
    EXPECT_EQ(ChooseCaptionSize(agg, text, 5000), 32);
}

TEST(PrepareOutputImage, LongCommentOnNarrowCaptureRunsPastTheRightEdge) {
    TDIB held(120, 60, 24);
    held.FillRect(QRect(0, 0, 120, 60), 0xFF808080u);
    const TDIB out =
        PrepareOutputImage(held, 100, QStringLiteral("This comment is far too long for the picture"));
    int touchedAtRight = 0;
    for (int y = 0; y < 60; ++y)
        touchedAtRight += out.PixelPtr(118, y)[1] != 0x80;
    EXPECT_GT(touchedAtRight, 0);
}

} // namespace
