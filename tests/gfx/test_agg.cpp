// TAgg2D against hand-worked pixel values: attach rules, blend modes, paints, clip, strokes, dashes, text.
#include "Agg_2D_DIB.h"
#include "DIBmp.h"
#include "ParamName.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace {

// Fills every pixel with one value: 0xAARRGGBB for 32 bits (premultiplied by the caller), 0xRRGGBB for 24.
void Fill(TDIB& dib, uint32_t value) {
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x) {
            uint8_t* p = dib.PixelPtr(x, y);
            p[0] = uint8_t(value);
            p[1] = uint8_t(value >> 8);
            p[2] = uint8_t(value >> 16);
            if (dib.BitCount() == 32) p[3] = uint8_t(value >> 24);
        }
}

uint32_t Pixel(TDIB& dib, int x, int y) {
    const uint8_t* p = dib.PixelPtr(x, y);
    const uint32_t a = dib.BitCount() == 32 ? p[3] : 0xFF;
    return a << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

// Pixels that differ from the value; the bounding box of them when asked.
int CountChanged(TDIB& dib, uint32_t value, QRect* box = nullptr) {
    int changed = 0;
    QRect r;
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x)
            if (Pixel(dib, x, y) != value) {
                ++changed;
                r = r.united(QRect(x, y, 1, 1));
            }
    if (box) *box = r;
    return changed;
}

std::vector<double> Rect(double x1, double y1, double x2, double y2) {
    return {x1, y1, x2, y1, x2, y2, x1, y2};
}

constexpr uint32_t Opaque = 0xFF336699;

// ---- Attach ----

class AttachDepth : public ::testing::TestWithParam<int> {};

TEST_P(AttachDepth, RefusesAllButTwentyFourAndThirtyTwoBits) {
    const int bits = GetParam();
    TDIB dib(8, 8, bits);
    TAgg2D agg;
    EXPECT_EQ(agg.Attach(dib), bits == 24 || bits == 32);
}
INSTANTIATE_TEST_SUITE_P(Bits, AttachDepth, ::testing::Values(1, 8, 24, 32),
                         [](const auto& info) { return "Bits" + NamePart(info.param); });

TEST(TAgg2DAttach, RefusesEmptyAndNullAndKeepsThePreviousBinding) {
    TDIB first(20, 20, 32), empty, eight(20, 20, 8);
    Fill(first, 0);
    TAgg2D agg;
    EXPECT_FALSE(agg.Attached());
    EXPECT_FALSE(agg.Attach(empty));
    EXPECT_FALSE(agg.Attach(nullptr));
    ASSERT_TRUE(agg.Attach(first));
    agg.SetLineWidth(3);
    EXPECT_FALSE(agg.Attach(eight));
    EXPECT_EQ(agg.LineWidth(), 3) << "a refused attach changes nothing";
    const auto r = Rect(2, 2, 6, 6);
    agg.Polygon(r.data(), 4, PathDrawMode::FillOnly);
    EXPECT_EQ(Pixel(first, 4, 4), 0xFFFFFFFFu) << "still drawing into the first image";
}

TEST(TAgg2DAttach, DrawingBeforeAttachIsIgnored) {
    TAgg2D agg;
    const auto r = Rect(0, 0, 10, 10);
    agg.Polygon(r.data(), 4, PathDrawMode::FillAndStroke);
    agg.DrawText("x", false, 1, 1);
    agg.RenderCoverage(true);
    // Nothing of it is kept for the image attached afterwards.
    TDIB img(20, 20, 32);
    Fill(img, 0xFFFFFFFF);
    ASSERT_TRUE(agg.Attach(img));
    agg.RenderCoverage(true);
    EXPECT_EQ(CountChanged(img, 0xFFFFFFFF), 0);
}

TEST(TAgg2DAttach, SecondAttachResetsTheDrawingState) {
    TDIB a(40, 40, 32), b(40, 40, 32);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(a));
    agg.SetLineWidth(9);
    agg.SetLineColor(10, 20, 30, 40);
    agg.SetFillColor(1, 2, 3, 4);
    agg.SetBlendMode(AggBlendClear);
    agg.SetLineCap(AggLineCap::Butt);
    agg.SetClipBox(0, 0, 5, 5);
    agg.Path().MoveTo(1, 1);
    agg.Path().LineTo(30, 30);

    Fill(b, 0xFFFFFFFF);
    ASSERT_TRUE(agg.Attach(b));
    EXPECT_EQ(agg.LineWidth(), 1);
    EXPECT_EQ(agg.LineColor(), AggColor(0, 0, 0, 255));
    EXPECT_EQ(agg.FillColor(), AggColor(255, 255, 255, 255));
    EXPECT_EQ(agg.BlendMode(), AggBlendAlpha);
    EXPECT_EQ(agg.Path().TotalVertices(), 0u);

    // A 1-pixel black line along the middle of row 20: one row, fully covered, not clipped to 5x5;
    // the round cap (not butt) reaches half a pixel past each end.
    const double line[] = {10, 20.5, 30, 20.5};
    agg.Polyline(line, 2);
    for (int y = 0; y < 40; ++y)
        EXPECT_EQ(Pixel(b, 20, y), y == 20 ? 0xFF000000u : 0xFFFFFFFFu) << "row " << y;
    EXPECT_NE(Pixel(b, 9, 20), 0xFFFFFFFFu) << "round cap";
    EXPECT_EQ(Pixel(b, 8, 20), 0xFFFFFFFFu);
}

// ---- Paints and blend modes ----

TEST(AggColorTest, PackedValuesDecodeToComponents) {
    TAgg2D agg;
    agg.SetLineColorArgb(0xFF1D649E);
    EXPECT_EQ(agg.LineColor().r, 0x1D);
    EXPECT_EQ(agg.LineColor().g, 0x64);
    EXPECT_EQ(agg.LineColor().b, 0x9E);
    EXPECT_EQ(agg.LineColor().a, 0xFF);
    EXPECT_EQ(AggColor(0x1D, 0x64, 0x9E, 0x80).Argb(), 0x801D649Eu);
    const AggColor c = AggColor::FromArgb(0x11223344);
    uint32_t memory;
    std::memcpy(&memory, &c, 4);
    EXPECT_EQ(memory, 0x11223344u) << "memory order B,G,R,A reads back as 0xAARRGGBB";

    TDIB dib(4, 4, 32);
    Fill(dib, 0);
    ASSERT_TRUE(agg.Attach(dib));
    agg.SetLineColorArgb(0xFF1D649E);
    const auto r = Rect(0, 0, 4, 4);
    agg.Polygon(r.data(), 4, PathDrawMode::FillWithLineColor);
    const uint8_t* p = dib.PixelPtr(1, 1);
    EXPECT_EQ(p[0], 0x9E);
    EXPECT_EQ(p[1], 0x64);
    EXPECT_EQ(p[2], 0x1D);
    EXPECT_EQ(p[3], 0xFF);
}

TEST(TAgg2DBlend, PlainAlphaOverPremultipliedIsExact) {
    TDIB dib(8, 8, 32);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    const auto r = Rect(0, 0, 8, 8);
    struct Case {
        uint32_t dst;
        AggColor paint;
        uint32_t expected;
    };
    const Case cases[] = {
        {0x00000000, AggColor(255, 0, 0, 128), 0x80800000}, // straight paint lands premultiplied
        {0xFF0000FF, AggColor(255, 0, 0, 128), 0xFF80007F}, // red half over opaque blue
        {0x80000080, AggColor(0, 255, 0, 255), 0xFF00FF00}, // opaque paint replaces
        {0x80404040, AggColor(0, 0, 0, 0), 0x80404040},     // alpha 0 paints nothing
    };
    for (const Case& c : cases) {
        Fill(dib, c.dst);
        agg.SetFillColor(c.paint);
        agg.Polygon(r.data(), 4, PathDrawMode::FillOnly);
        EXPECT_EQ(Pixel(dib, 3, 3), c.expected) << std::hex << c.dst;
    }
}

TEST(TAgg2DBlend, ClearDrivesFullyCoveredPixelsToTransparentBlack) {
    TDIB dib(40, 30, 32);
    Fill(dib, Opaque);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    agg.SetBlendMode(AggBlendClear);
    const auto r = Rect(10, 5, 20, 25);
    agg.Polygon(r.data(), 4, PathDrawMode::FillOnly);
    QRect box;
    EXPECT_EQ(CountChanged(dib, Opaque, &box), 10 * 20);
    EXPECT_EQ(box, QRect(10, 5, 10, 20));
    EXPECT_EQ(Pixel(dib, 10, 5), 0u);
    EXPECT_EQ(Pixel(dib, 19, 24), 0u);
}

TEST(TAgg2DBlend, ClearScalesPartlyCoveredPixelsByTheUncoveredShare) {
    TDIB dib(40, 30, 32);
    const uint32_t start = 0xC8906030; // premultiplied: every channel <= alpha
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    agg.SetBlendMode(AggBlendClear);
    for (double share : {0.25, 0.5, 0.75}) {
        Fill(dib, start);
        // Column 10 covered over `share` of its width, column 11 fully.
        const auto r = Rect(11 - share, 4, 20, 26);
        agg.Polygon(r.data(), 4, PathDrawMode::FillOnly);
        const uint32_t edge = Pixel(dib, 10, 10);
        for (int shift = 0; shift < 32; shift += 8) {
            const double expected = ((start >> shift) & 0xFF) * (1 - share);
            EXPECT_NEAR(double((edge >> shift) & 0xFF), expected, 1.5)
                << "share " << share << " byte " << shift / 8;
        }
        EXPECT_EQ(Pixel(dib, 11, 10), 0u);
        EXPECT_EQ(Pixel(dib, 9, 10), start);
    }
}

// Every edge coverage of a many-sided polygon: the coverage is read back from an opaque white fill over
// transparent black (its alpha is the coverage), and clear must leave each channel at round(p * (255 - c) /
// 255).
TEST(TAgg2DBlend, ClearMatchesTheExactRoundingAtEveryCoverage) {
    const int w = 90, h = 90;
    std::vector<double> poly;
    for (int i = 0; i < 37; ++i) {
        const double t = 2 * M_PI * i / 37;
        poly.push_back(45 + 38 * std::cos(t) + 0.13);
        poly.push_back(45 + 31 * std::sin(t) + 0.29);
    }
    TDIB coverage(w, h, 32), target(w, h, 32);
    Fill(coverage, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t a = uint8_t(128 + (x * 7 + y * 3) % 128);
            uint8_t* p = target.PixelPtr(x, y);
            p[0] = uint8_t(x * 13 % (a + 1)), p[1] = uint8_t(y * 11 % (a + 1)),
            p[2] = uint8_t((x + y) % (a + 1)), p[3] = a;
        }
    TDIB original(w, h, 32);
    original.CreateCopy(target, true);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(coverage));
    agg.Polygon(poly.data(), 37, PathDrawMode::FillOnly);
    ASSERT_TRUE(agg.Attach(target));
    agg.SetBlendMode(AggBlendClear);
    agg.Polygon(poly.data(), 37, PathDrawMode::FillOnly);
    const auto multiply = [](unsigned a, unsigned b) {
        const unsigned t = a * b + 128;
        return ((t >> 8) + t) >> 8;
    };
    int partial = 0, mismatches = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned c = coverage.PixelPtr(x, y)[3];
            partial += c > 0 && c < 255;
            for (int k = 0; k < 4; ++k)
                mismatches += target.PixelPtr(x, y)[k] != multiply(original.PixelPtr(x, y)[k], 255 - c);
        }
    EXPECT_GT(partial, 150) << "the polygon's edge has many partial coverages";
    EXPECT_EQ(mismatches, 0);
}

TEST(TAgg2DBlend, ClearWithATransparentPaintLeavesPixels) {
    TDIB dib(20, 20, 32);
    Fill(dib, Opaque);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    agg.SetBlendMode(AggBlendClear);
    agg.SetNoFill();
    agg.Rasterizer().Reset();
    const auto r = Rect(0, 0, 20, 20);
    agg.Polygon(r.data(), 4, PathDrawMode::FillOnly);
    agg.Rasterizer().AddPath(agg.Curve());
    agg.RenderCoverage(true);
    EXPECT_EQ(CountChanged(dib, Opaque), 0);
}

TEST(TAgg2DBlend, TwentyFourBitTargetsIgnoreTheBlendMode) {
    TDIB dib(20, 20, 24);
    Fill(dib, 0x102030);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    agg.SetBlendMode(AggBlendClear);
    agg.SetFillColor(200, 100, 50, 255);
    const auto r = Rect(5, 5, 15, 15);
    agg.Polygon(r.data(), 4, PathDrawMode::FillOnly);
    EXPECT_EQ(Pixel(dib, 10, 10), 0xFFC86432u);
    EXPECT_EQ(Pixel(dib, 2, 2), 0xFF102030u);
}

TEST(TAgg2DBlend, UnknownOperatorNumbersDrawAsPlainAlpha) {
    TDIB dib(10, 10, 32);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    const auto r = Rect(0, 0, 10, 10);
    for (int mode : {13, 25, 26, 27, 29, 255}) {
        Fill(dib, 0xFF0000FF);
        agg.SetBlendMode(uint8_t(mode));
        agg.SetFillColor(255, 0, 0, 128);
        agg.Polygon(r.data(), 4, PathDrawMode::FillOnly);
        EXPECT_EQ(Pixel(dib, 5, 5), 0xFF80007Fu) << "mode " << mode;
    }
}

// ---- Path drawing modes ----

struct ModeCase {
    const char* name;
    PathDrawMode mode;
    AggColor fill, line;
    double width;
    bool inside, outline;
};

class DrawModes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(DrawModes, PaintFillAndOutlineAsAsked) {
    const ModeCase& c = GetParam();
    TDIB dib(40, 40, 24);
    Fill(dib, 0xFFFFFF);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    agg.SetFillColor(c.fill);
    agg.SetLineColor(c.line);
    agg.SetLineWidth(c.width);
    const auto r = Rect(10, 10, 30, 30);
    agg.Polygon(r.data(), 4, c.mode);
    EXPECT_EQ(Pixel(dib, 20, 20) != 0xFFFFFFFF, c.inside) << "inside";
    EXPECT_EQ(Pixel(dib, 8, 20) != 0xFFFFFFFF, c.outline) << "just outside the left edge";
}

const AggColor Red(255, 0, 0, 255), Blue(0, 0, 255, 255), None(0, 0, 0, 0);
INSTANTIATE_TEST_SUITE_P(
    Modes, DrawModes,
    ::testing::Values(
        ModeCase{"FillOnly", PathDrawMode::FillOnly, Red, Blue, 4, true, false},
        ModeCase{"FillOnlyNoFill", PathDrawMode::FillOnly, None, Blue, 4, false, false},
        ModeCase{"StrokeOnly", PathDrawMode::StrokeOnly, Red, Blue, 4, false, true},
        ModeCase{"StrokeOnlyZeroWidth", PathDrawMode::StrokeOnly, Red, Blue, 0, false, false},
        ModeCase{"StrokeOnlyNegativeWidth", PathDrawMode::StrokeOnly, Red, Blue, -3, false, false},
        ModeCase{"StrokeOnlyTransparentLine", PathDrawMode::StrokeOnly, Red, None, 4, false, false},
        ModeCase{"BothNoFillStrokes", PathDrawMode::FillAndStroke, None, Blue, 4, false, true},
        ModeCase{"BothZeroWidthFills", PathDrawMode::FillAndStroke, Red, Blue, 0, true, false},
        ModeCase{"Both", PathDrawMode::FillAndStroke, Red, Blue, 4, true, true},
        ModeCase{"FillWithLineColor", PathDrawMode::FillWithLineColor, None, Blue, 0, true, false},
        ModeCase{"UnknownMode", PathDrawMode(7), Red, Blue, 4, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TAgg2DPath, FillAndStrokeStrokesOverTheFill) {
    TDIB dib(40, 40, 24);
    Fill(dib, 0xFFFFFF);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    agg.SetFillColor(255, 0, 0, 255);
    agg.SetLineColor(0, 0, 255, 255);
    agg.SetLineWidth(4);
    const auto r = Rect(10, 10, 30, 30);
    agg.Polygon(r.data(), 4, PathDrawMode::FillAndStroke);
    EXPECT_EQ(Pixel(dib, 11, 20), 0xFF0000FFu) << "the stroke covers the fill's edge";
    EXPECT_EQ(Pixel(dib, 20, 20), 0xFFFF0000u);
}

TEST(TAgg2DPath, DegeneratePolygonsDrawNothing) {
    TDIB dib(20, 20, 24);
    Fill(dib, 0xFFFFFF);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    agg.SetFillColor(0, 0, 0, 255);
    const double one[] = {10.5, 10.5};
    agg.Polygon(one, 1, PathDrawMode::FillOnly);
    EXPECT_EQ(CountChanged(dib, 0xFFFFFFFF), 0);
    agg.Polygon(one, 0, PathDrawMode::FillAndStroke);
    EXPECT_EQ(agg.Path().TotalVertices(), 0u);
    agg.Polygon(nullptr, 5, PathDrawMode::FillAndStroke);
    EXPECT_EQ(agg.Path().TotalVertices(), 0u);
    agg.Polyline(one, -2);
    EXPECT_EQ(CountChanged(dib, 0xFFFFFFFF), 0);
}

TEST(TAgg2DPath, NonFinitePointsAreSkippedAndFarPointsClipped) {
    TDIB dib(20, 20, 24);
    Fill(dib, 0xFFFFFF);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    agg.SetFillColor(0, 0, 0, 255);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double pts[] = {5, 5, nan, 3, 15, 5, inf, inf, 15, 15, 5, 15};
    agg.Polygon(pts, 6, PathDrawMode::FillOnly);
    EXPECT_EQ(CountChanged(dib, 0xFFFFFFFF), 100);
    Fill(dib, 0xFFFFFF);
    const auto huge = Rect(-1e12, -1e12, 1e12, 1e12);
    agg.Polygon(huge.data(), 4, PathDrawMode::FillOnly);
    EXPECT_EQ(CountChanged(dib, 0xFF000000), 0) << "the whole image, nothing wrapped around";
}

// The overlay hands its shape points over as points: they must make the same path as (x, y) pairs,
// skipped non-finite points included.
TEST(TAgg2DPath, PointSpansDrawWhatCoordinatePairsDraw) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<TPointD> points = {{nan, 4},     {6.5, 5.25}, {30.75, 8.5}, {22, nan},
                                         {26.5, 31.5}, {9.25, 27},  {15.5, 14.5}};
    std::vector<double> pairs;
    for (const TPointD& p : points) {
        pairs.push_back(p.x);
        pairs.push_back(p.y);
    }
    auto draw = [&](bool asPoints) {
        TDIB dib(40, 40, 32);
        Fill(dib, 0);
        TAgg2D agg;
        EXPECT_TRUE(agg.Attach(dib));
        agg.SetFillColor(200, 40, 90, 160);
        agg.SetLineColor(20, 120, 220, 200);
        agg.SetLineWidth(2.5);
        if (asPoints)
            agg.Polygon(points, PathDrawMode::FillAndStroke);
        else
            agg.Polygon(pairs.data(), int(points.size()), PathDrawMode::FillAndStroke);
        EXPECT_EQ(agg.Path().TotalVertices(), 6u) << "five points and the close";
        agg.SetLineWidth(1.5);
        if (asPoints)
            agg.Polyline(std::span(points).subspan(1, 4));
        else
            agg.Polyline(pairs.data() + 2, 4);
        return dib;
    };
    TDIB pairsDrawn = draw(false), pointsDrawn = draw(true);
    EXPECT_GT(CountChanged(pairsDrawn, 0), 100);
    EXPECT_EQ(pointsDrawn.StoredForm(), pairsDrawn.StoredForm());
}

TEST(TAgg2DPath, InkStrokeWidthMatchesThePen) {
    for (double width : {6.0, 17.0}) {
        TDIB dib(80, 60, 24);
        Fill(dib, 0xFFFFFF);
        TAgg2D agg;
        ASSERT_TRUE(agg.Attach(dib));
        agg.SetLineWidth(width);
        const double line[] = {20, 30, 60, 30};
        agg.Polyline(line, 2);
        int rows = 0;
        for (int y = 0; y < 60; ++y)
            rows += Pixel(dib, 40, y) == 0xFF000000;
        EXPECT_NEAR(rows, width, 1.0) << width;
        // Round caps reach half the width beyond each end point.
        EXPECT_NE(Pixel(dib, int(20 - width / 2 + 0.5), 30), 0xFFFFFFFFu);
        EXPECT_EQ(Pixel(dib, int(20 - width / 2 - 1.5), 30), 0xFFFFFFFFu);
    }
}

// ---- Clip box ----

TEST(TAgg2DClip, TruncatedInclusiveBoxWithFullEdgeCoverage) {
    TDIB dib(40, 40, 32);
    Fill(dib, 0);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    agg.SetClipBox(10.7, 12.2, 20.9, 25.5);
    const auto all = Rect(-5, -5, 45, 45);
    agg.Polygon(all.data(), 4, PathDrawMode::FillOnly);
    QRect box;
    EXPECT_EQ(CountChanged(dib, 0, &box), 11 * 14);
    EXPECT_EQ(box, QRect(10, 12, 11, 14));
    EXPECT_EQ(Pixel(dib, 10, 12), 0xFFFFFFFFu) << "the first column is fully covered";
    EXPECT_EQ(Pixel(dib, 20, 25), 0xFFFFFFFFu);
}

TEST(TAgg2DClip, BoxesOutsideTheImageDrawNothing) {
    TDIB dib(20, 20, 32);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    const auto all = Rect(0, 0, 20, 20);
    for (const QRectF& clip : {QRectF(25, 25, 10, 10), QRectF(-30, -30, 5, 5)}) {
        Fill(dib, 0);
        agg.SetClipBox(clip.left(), clip.top(), clip.right(), clip.bottom());
        agg.Polygon(all.data(), 4, PathDrawMode::FillOnly);
        EXPECT_EQ(CountChanged(dib, 0), 0);
    }
    Fill(dib, 0);
    agg.SetClipBox(-30, -30, 1e30, std::numeric_limits<double>::infinity());
    agg.Polygon(all.data(), 4, PathDrawMode::FillOnly);
    EXPECT_EQ(CountChanged(dib, 0), 400) << "limited to the image";
}

// ---- The overlay's dashed outline through the exposed members ----

TEST(TAgg2DDash, DashesFollowTheOverlayPattern) {
    TDIB dib(260, 40, 32);
    Fill(dib, 0);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    agg.SetLineColorArgb(0xFF1D649E);
    TAggDashStroke outline(agg.Curve());
    outline.SetDash(10, 12);
    outline.SetDashStart(4);
    outline.SetWidth(9);
    agg.Path().RemoveAll();
    agg.Path().MoveTo(20, 20);
    agg.Path().LineTo(240, 20);
    agg.Rasterizer().Reset();
    agg.Rasterizer().AddPath(outline);
    agg.RenderCoverage(false);
    // Starting 4 into the pattern: dashes over [20,26], [38,48], [60,70] ..., each with a round cap of
    // radius 4.5; the gaps' middles (32, 54, 76 ...) stay clear.
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(Pixel(dib, 43 + 22 * k, 20), 0xFF1D649Eu) << "dash " << k;
        EXPECT_EQ(Pixel(dib, 32 + 22 * k, 20), 0u) << "gap " << k;
    }
    EXPECT_EQ(Pixel(dib, 22, 20), 0xFF1D649Eu);
    EXPECT_EQ(Pixel(dib, 43, 16), 0xFF1D649Eu) << "width 9 about y = 20";
    EXPECT_NE(Pixel(dib, 43, 15), 0xFF1D649Eu) << "half covered";
    EXPECT_EQ(Pixel(dib, 43, 14), 0u);
    EXPECT_EQ(Pixel(dib, 43, 25), 0u);

    // A pattern without length is ignored instead of looping forever.
    outline.SetDash(0, 0);
    Fill(dib, 0);
    agg.Rasterizer().Reset();
    agg.Rasterizer().AddPath(outline);
    agg.RenderCoverage(false);
    EXPECT_EQ(CountChanged(dib, 0), 0);
}

TEST(TAgg2DDash, ClosePolygonClosesOnlyAPathWithVertices) {
    TAgg2D agg;
    agg.ClosePolygon();
    EXPECT_EQ(agg.Path().TotalVertices(), 0u);
    agg.Path().MoveTo(1, 1);
    agg.Path().LineTo(5, 1);
    agg.Path().LineTo(5, 5);
    agg.ClosePolygon();
    EXPECT_EQ(agg.Path().TotalVertices(), 4u);
    agg.ResetPath();
    EXPECT_EQ(agg.Path().TotalVertices(), 0u);
}

// ---- Text ----

class TAgg2DText : public ::testing::Test {
  protected:
    TAgg2D agg;
};

TEST_F(TAgg2DText, WidthOfNothingIsZero) {
    EXPECT_EQ(agg.TextWidth("abc"), 0) << "no font yet";
    agg.SetFont("Trebuchet MS", false, 20);
    EXPECT_EQ(agg.FontHeight(), 20);
    EXPECT_EQ(agg.TextWidth(""), 0);
    EXPECT_EQ(agg.TextWidth("\x01\x02\x7F"), 0) << "control characters have no glyph";
    EXPECT_EQ(agg.TextWidth("\xEF\xBF\xBF"), 0) << "U+FFFF has no glyph anywhere";
    EXPECT_GT(agg.TextWidth("H"), 0);
    agg.SetFont("Trebuchet MS", false, 0);
    EXPECT_EQ(agg.TextWidth("H"), 0) << "a font of no height";
}

TEST_F(TAgg2DText, WidthGrowsWithHeightAndWeight) {
    agg.SetFont("Trebuchet MS", false, 20);
    const double regular = agg.TextWidth("Vexmor capture");
    agg.SetFont("Trebuchet MS", false, 40);
    EXPECT_NEAR(agg.TextWidth("Vexmor capture"), 2 * regular, 0.1 * regular);
    agg.SetFont("Trebuchet MS", true, 20);
    EXPECT_GT(agg.TextWidth("Vexmor capture"), regular);
}

TEST_F(TAgg2DText, KerningNarrowsAPair) {
    agg.SetTextHints(false);
    agg.SetFont("Trebuchet MS", false, 40);
    const double pair = agg.TextWidth("AV");
    const double apart = agg.TextWidth("A") + agg.TextWidth("V");
    EXPECT_LT(pair, apart - 0.5);
    EXPECT_DOUBLE_EQ(agg.TextWidth("A\x01V"), pair) << "a glyph-less character between keeps the pair";
}

TEST_F(TAgg2DText, ChineseComesFromAFallbackTypeface) {
    agg.SetFont("Trebuchet MS", false, 24);
    const double chinese = agg.TextWidth("屏幕截图");
    EXPECT_GT(chinese, 4 * 24 * 0.8) << "four full-width glyphs";
    EXPECT_LT(chinese, 4 * 24 * 1.2);
    EXPECT_DOUBLE_EQ(agg.TextWidth("A屏"), agg.TextWidth("A") + agg.TextWidth("屏"))
        << "no kerning between typefaces";
    EXPECT_GT(agg.TextWidth("\xE5\xB1"), 0) << "a cut-off sequence draws as a replacement mark";
}

// The bounding box of the dark pixels of text drawn in black on white.
QRect DrawnBox(TAgg2D& agg, TDIB& dib, const char* text, AggAlignH h, AggAlignV v, double x, double y) {
    Fill(dib, 0xFFFFFF);
    agg.Attach(dib);
    agg.SetFillColor(0, 0, 0, 255);
    agg.SetLineWidth(0);
    agg.SetTextAlignment(h, v);
    agg.DrawText(text, true, x, y);
    QRect box;
    for (int yy = 0; yy < dib.Height(); ++yy)
        for (int xx = 0; xx < dib.Width(); ++xx)
            if ((Pixel(dib, xx, yy) & 0xFF) < 128) box = box.united(QRect(xx, yy, 1, 1));
    return box;
}

TEST_F(TAgg2DText, AlignmentAnchorsTheText) {
    TDIB dib(200, 100, 24);
    agg.SetFont("Trebuchet MS", false, 30);
    const double width = agg.TextWidth("HH");
    const QRect baseline = DrawnBox(agg, dib, "HH", AggAlignH::Left, AggAlignV::Baseline, 50, 60);
    EXPECT_EQ(baseline.bottom(), 59) << "H sits on the baseline";
    EXPECT_NEAR(baseline.height(), 22, 2) << "the H of a 30-pixel font";
    const QRect top = DrawnBox(agg, dib, "HH", AggAlignH::Left, AggAlignV::Top, 50, 20);
    EXPECT_NEAR(top.top(), 20, 1) << "top alignment hangs the H from y";
    const QRect middle = DrawnBox(agg, dib, "HH", AggAlignH::Left, AggAlignV::Middle, 50, 50);
    EXPECT_NEAR(middle.center().y(), 50, 1.5);
    const QRect right = DrawnBox(agg, dib, "HH", AggAlignH::Right, AggAlignV::Baseline, 150, 60);
    EXPECT_NEAR(right.left(), baseline.left() + 100 - width, 1.5);
    const QRect centre = DrawnBox(agg, dib, "HH", AggAlignH::Center, AggAlignV::Baseline, 100, 60);
    EXPECT_NEAR(centre.center().x(), 100, 3);
}

TEST_F(TAgg2DText, AngleTurnsTheTextAboutItsAnchor) {
    TDIB dib(200, 200, 24);
    agg.SetFont("Trebuchet MS", false, 24, false, M_PI / 2);
    const QRect box = DrawnBox(agg, dib, "Vexmor", AggAlignH::Left, AggAlignV::Baseline, 100, 40);
    EXPECT_GT(box.height(), 2 * box.width()) << "runs downward";
    EXPECT_GE(box.top(), 38);
    EXPECT_GE(box.left(), 99) << "a quarter turn clockwise: the glyphs' tops point to +x";
    EXPECT_LE(box.right(), 100 + 24);
}

TEST_F(TAgg2DText, ItalicLeansWithoutChangingTheAdvance) {
    TDIB dib(120, 60, 24);
    agg.SetFont("Trebuchet MS", false, 30);
    const QRect upright = DrawnBox(agg, dib, "l", AggAlignH::Left, AggAlignV::Baseline, 20, 45);
    agg.SetFont("Trebuchet MS", false, 30, true);
    const QRect italic = DrawnBox(agg, dib, "l", AggAlignH::Left, AggAlignV::Baseline, 20, 45);
    EXPECT_GT(italic.width(), upright.width() + 3);
    // Chinese in italic (no italic face exists) leans too.
    agg.SetFont("Trebuchet MS", false, 30, false);
    const QRect cjk = DrawnBox(agg, dib, "丨", AggAlignH::Left, AggAlignV::Baseline, 20, 45);
    agg.SetFont("Trebuchet MS", false, 30, true);
    const QRect cjkItalic = DrawnBox(agg, dib, "丨", AggAlignH::Left, AggAlignV::Baseline, 20, 45);
    EXPECT_GT(cjkItalic.width(), cjk.width() + 3);
}

TEST_F(TAgg2DText, ManyFontsStayUsable) {
    // More sizes than the cache holds: old entries go, text keeps measuring the same.
    agg.SetFont("Trebuchet MS", false, 12);
    const double first = agg.TextWidth("Vexmor 截图");
    for (int size = 13; size < 60; ++size) {
        agg.SetFont("Trebuchet MS", size % 2, size);
        EXPECT_GT(agg.TextWidth("Vexmor 截图"), 0);
    }
    agg.SetFont("Trebuchet MS", false, 12);
    EXPECT_DOUBLE_EQ(agg.TextWidth("Vexmor 截图"), first);
}

} // namespace

// ---- UTF-8: each malformed byte reads as one replacement mark, never as a stray glyph ----

struct Utf8Case {
    const char* name;
    const char* text;
    const char* sameWidthAs; // a well-formed string that must measure the same
};

class Utf8Decoding : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Decoding, MeasuresAsTheWellFormedEquivalent) {
    TAgg2D agg;
    agg.SetTextHints(false);
    agg.SetFont("Trebuchet MS", false, 20);
    EXPECT_DOUBLE_EQ(agg.TextWidth(GetParam().text), agg.TextWidth(GetParam().sameWidthAs));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Decoding,
    ::testing::Values(Utf8Case{"TwoByte", "\xC3\xA2", "â"}, Utf8Case{"ThreeByte", "\xE6\x88\xAA", "截"},
                      Utf8Case{"Overlong", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
                      Utf8Case{"Surrogate", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
                      Utf8Case{"BeyondUnicode", "\xF4\x90\x80\x80",
                               "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
                      Utf8Case{"LoneContinuation", "a\x80z", "a\xEF\xBF\xBDz"},
                      Utf8Case{"CutBeforeAscii", "\xE6\x88z", "\xEF\xBF\xBD\xEF\xBF\xBDz"}),
    [](const auto& info) { return std::string(info.param.name); });
