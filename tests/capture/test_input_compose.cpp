// Confirming a capture: the three images for clicks, rectangles, lassos and ink.
#include "Compose.h"
#include "test_input_fakes.h"
#include "ParamName.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

namespace {

constexpr int Margin = 6; // the repaint margin of the default pen

void GrowBy(CaptureShape& s, const TPointD& p) {
    const int x = RoundEven(p.x), y = RoundEven(p.y);
    s.Bounds.Include(x - Margin, y - Margin, x + Margin, y + Margin);
}

// A selection or ink rectangle dragged from pixel (x1, y1) to pixel (x2, y2), as the mouse leaves it.
CaptureShape Rect(int x1, int y1, int x2, int y2) {
    CaptureShape s;
    s.Kind = skRectangle;
    const double a = x1 + 0.5, b = y1 + 0.5, c = x2 + 0.5, d = y2 + 0.5;
    s.Points = {{a, b}, {c, b}, {c, d}, {a, d}};
    const int rx1 = RoundEven(a), ry1 = RoundEven(b), rx2 = RoundEven(c), ry2 = RoundEven(d);
    s.Bounds = {std::min(rx1, rx2) - Margin, std::min(ry1, ry2) - Margin, std::max(rx1, rx2) + Margin,
                std::max(ry1, ry2) + Margin};
    return s;
}

CaptureShape Lasso(double cx, double cy, double r, int n = 72) {
    CaptureShape s;
    for (int i = 0; i < n; ++i) {
        const double t = 2 * M_PI * i / n;
        const TPointD p{std::floor(cx + r * std::cos(t)) + 0.5, std::floor(cy + r * std::sin(t)) + 0.5};
        s.Points.push_back(p);
        GrowBy(s, p);
    }
    return s;
}

CaptureShape InkLine(TPointD a, TPointD b, int steps = 20) {
    CaptureShape s;
    for (int i = 0; i <= steps; ++i) {
        const TPointD p{a.x + (b.x - a.x) * i / steps, a.y + (b.y - a.y) * i / steps};
        s.Points.push_back(p);
        GrowBy(s, p);
    }
    return s;
}

uint32_t Alpha(uint32_t argb) {
    return argb >> 24;
}

// Every pixel of `image` (at output position) against the pattern at desktop position + offset.
int PatternMismatches(const TDIB& image, QPoint offset) {
    int bad = 0;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            bad += image.GetPixel(x, y) != PatternPixel(x + offset.x(), y + offset.y());
    return bad;
}

TComposedCapture Compose(const TDIB& desktop, std::vector<CaptureShape> shapes, QRect grabbed = {}) {
    if (grabbed.isNull()) grabbed = QRect(0, 0, desktop.Width(), desktop.Height());
    if (shapes.empty()) shapes.emplace_back();
    return ComposeCapture(desktop, grabbed, std::move(shapes), 6, 0xFFD80000u);
}

} // namespace

TEST(ComposeCapture, ClickKeepsTheWholeGrabbedArea) {
    const TDIB desktop = PatternDesktop(400, 300);
    const TComposedCapture c = Compose(desktop, {});
    EXPECT_EQ(c.outputRect, QRect(0, 0, 400, 300));
    ASSERT_EQ(c.captureImage.BitCount(), 32);
    ASSERT_EQ(c.flatImage.BitCount(), 24);
    EXPECT_EQ(PatternMismatches(c.captureImage, {0, 0}), 0);
    EXPECT_EQ(PatternMismatches(c.flatImage, {0, 0}), 0);
    EXPECT_EQ(c.previewOrigin, QPointF(202, 154));
    // Below 500 pixels the preview keeps its size; the shadow adds 9 on every side.
    EXPECT_EQ(c.previewImage.Width(), 418);
    EXPECT_EQ(c.previewImage.Height(), 318);
}

TEST(ComposeCapture, ClickInModeOneKeepsTheWindowPart) {
    const TDIB desktop = PatternDesktop(400, 300);
    const TComposedCapture c = Compose(desktop, {}, QRect(0, 100, 250, 120));
    EXPECT_EQ(c.outputRect, QRect(0, 100, 250, 120));
    EXPECT_EQ(PatternMismatches(c.captureImage, {0, 100}), 0);
}

struct TRectCase {
    int x1, y1, x2, y2;
    QRect expected; // the output; the whole desktop when the drag counts as a click
};
class ComposeRectangle : public ::testing::TestWithParam<TRectCase> {};

TEST_P(ComposeRectangle, YieldsExactlyTheDraggedPixels) {
    const TRectCase& t = GetParam();
    const TDIB desktop = PatternDesktop(400, 300);
    const TComposedCapture c = Compose(desktop, {Rect(t.x1, t.y1, t.x2, t.y2)});
    EXPECT_EQ(c.outputRect, t.expected);
    ASSERT_EQ(c.captureImage.Width(), t.expected.width());
    ASSERT_EQ(c.captureImage.Height(), t.expected.height());
    // Every pixel opaque and unchanged, the border included.
    EXPECT_EQ(PatternMismatches(c.captureImage, t.expected.topLeft()), 0);
    EXPECT_EQ(PatternMismatches(c.flatImage, t.expected.topLeft()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComposeRectangle,
    ::testing::Values(TRectCase{50, 40, 150, 90, QRect(50, 40, 101, 51)},
                      TRectCase{150, 90, 50, 40, QRect(50, 40, 101, 51)},    // dragged the other way
                      TRectCase{10, 10, 21, 21, QRect(10, 10, 12, 12)},      // 12 pixels: counts
                      TRectCase{10, 10, 20, 20, QRect(0, 0, 400, 300)},      // 11 pixels: a click
                      TRectCase{10, 10, 10, 200, QRect(10, 10, 1, 191)},     // a one-pixel column
                      TRectCase{350, 250, 450, 350, QRect(350, 250, 50, 50)} // clipped at the edge
                      ),
    [](const auto& info) {
        const TRectCase& t = info.param;
        return "From" + NamePart(t.x1) + "x" + NamePart(t.y1) + "To" + NamePart(t.x2) + "x" + NamePart(t.y2);
    });

TEST(ComposeCapture, RectangleIsClippedToTheGrabbedPart) {
    const TDIB desktop = PatternDesktop(400, 300);
    const QRect grabbed(0, 0, 100, 100);
    EXPECT_EQ(Compose(desktop, {Rect(50, 50, 150, 150)}, grabbed).outputRect, QRect(50, 50, 50, 50));
    // Wholly outside the window part: the whole part, not an empty capture.
    EXPECT_EQ(Compose(desktop, {Rect(200, 200, 300, 250)}, grabbed).outputRect, grabbed);
}

TEST(ComposeCapture, LassoKeepsA32PixelMarginAndIsTransparentOutside) {
    const TDIB desktop = PatternDesktop(400, 300);
    const CaptureShape lasso = Lasso(200, 150, 50);
    const QRect bounds = lasso.Bounds.ToRect();
    const TComposedCapture c = Compose(desktop, {lasso});
    EXPECT_EQ(c.outputRect, bounds.adjusted(-32, -32, 32, 32));
    EXPECT_EQ(c.areaRect, bounds);
    const QPoint o = c.outputRect.topLeft();
    const TDIB& cap = c.captureImage;
    EXPECT_EQ(cap.GetPixel(0, 0), 0u) << "outside the lasso: fully transparent";
    EXPECT_EQ(cap.GetPixel(200 - o.x(), 150 - o.y()), PatternPixel(200, 150)) << "inside: unchanged";
    int partial = 0;
    for (int y = 0; y < cap.Height(); ++y)
        for (int x = 0; x < cap.Width(); ++x) {
            const uint32_t p = cap.GetPixel(x, y);
            const uint32_t a = Alpha(p);
            partial += a > 0 && a < 255;
            ASSERT_LE((p >> 16) & 255, a);
            ASSERT_LE((p >> 8) & 255, a);
            ASSERT_LE(p & 255, a);
        }
    EXPECT_GT(partial, 100) << "the edge is anti-aliased";
    // Flat: the cut-out over frosted, brightened surroundings.
    const uint32_t corner = c.flatImage.GetPixel(0, 0);
    for (int shift : {0, 8, 16}) {
        EXPECT_GE((corner >> shift) & 255, 152u);
        EXPECT_LE((corner >> shift) & 255, 247u);
    }
    EXPECT_EQ(c.flatImage.GetPixel(200 - o.x(), 150 - o.y()), PatternPixel(200, 150));
}

TEST(ComposeCapture, LassoMarginIsClippedAtTheDesktopEdge) {
    const TDIB desktop = PatternDesktop(400, 300);
    const CaptureShape lasso = Lasso(30, 30, 20);
    const TComposedCapture c = Compose(desktop, {lasso});
    const QRect b = lasso.Bounds.ToRect();
    EXPECT_EQ(c.outputRect, QRect(0, 0, b.right() + 1 + 32, b.bottom() + 1 + 32));
}

TEST(ComposeCapture, SmallLassoIsAClick) {
    const TDIB desktop = PatternDesktop(400, 300);
    CaptureShape tiny = Lasso(100, 100, 5, 12); // 11 pixels + margins = 23
    ASSERT_LE(std::max(tiny.Bounds.Width(), tiny.Bounds.Height()), 23);
    EXPECT_EQ(Compose(desktop, {tiny}).outputRect, QRect(0, 0, 400, 300));
}

TEST(ComposeCapture, InkLeavingARectangleEnlargesTheCapture) {
    const TDIB desktop = PatternDesktop(400, 300);
    const CaptureShape ink = InkLine({150.5, 150.5}, {300.5, 150.5});
    ASSERT_EQ(ink.Bounds, (TShapeBounds{144, 144, 306, 156}));
    const TComposedCapture c = Compose(desktop, {Rect(100, 100, 200, 200), ink});
    // Area: the rectangle and the stroke + 32; output: the area + 32.
    EXPECT_EQ(c.areaRect, QRect(QPoint(100, 100), QPoint(337, 200)));
    EXPECT_EQ(c.outputRect, QRect(QPoint(68, 68), QPoint(369, 232)));
    const QPoint o = c.outputRect.topLeft();
    const uint32_t inked = c.captureImage.GetPixel(280 - o.x(), 150 - o.y());
    EXPECT_EQ(inked, 0xFFD80000u) << "the stroke is whole, outside the rectangle too";
    EXPECT_EQ(c.captureImage.GetPixel(250 - o.x(), 120 - o.y()), 0u) << "outside rectangle and ink";
    EXPECT_EQ(c.captureImage.GetPixel(100 - o.x(), 100 - o.y()), PatternPixel(100, 100)) << "rectangle edge";
    EXPECT_EQ(c.captureImage.GetPixel(200 - o.x(), 200 - o.y()), PatternPixel(200, 200)) << "rectangle edge";
    EXPECT_EQ(c.flatImage.GetPixel(280 - o.x(), 150 - o.y()), 0xFFD80000u);
}

TEST(ComposeCapture, InkInsideARectangleKeepsItExact) {
    const TDIB desktop = PatternDesktop(400, 300);
    const TComposedCapture c =
        Compose(desktop, {Rect(100, 100, 200, 200), InkLine({120.5, 150.5}, {180.5, 150.5})});
    EXPECT_EQ(c.outputRect, QRect(100, 100, 101, 101));
    EXPECT_EQ(c.captureImage.GetPixel(150 - 100, 150 - 100), 0xFFD80000u);
    EXPECT_EQ(c.captureImage.GetPixel(150 - 100, 120 - 100), PatternPixel(150, 120));
}

TEST(ComposeCapture, OnceInkLeavesTheSelectionLaterStrokesKeepTheMargin) {
    const TDIB desktop = PatternDesktop(400, 300);
    const CaptureShape out = InkLine({150.5, 150.5}, {300.5, 150.5});
    const CaptureShape in = InkLine({105.5, 180.5}, {110.5, 180.5});
    ASSERT_EQ(in.Bounds.left, 100) << "wholly inside the rectangle";
    EXPECT_EQ(Compose(desktop, {Rect(100, 100, 200, 200), out, in}).areaRect.left(), 100 - 32);
    // In the other order the inside stroke is measured before anything left the rectangle.
    EXPECT_EQ(Compose(desktop, {Rect(100, 100, 200, 200), in, out}).areaRect.left(), 100);
}

TEST(ComposeCapture, LargePreviewIsScaledTo500PixelsWithShadow) {
    const TDIB desktop = PatternDesktop(1200, 800);
    const TComposedCapture c = Compose(desktop, {Rect(100, 100, 1099, 699)});
    EXPECT_EQ(c.outputRect, QRect(100, 100, 1000, 600));
    EXPECT_EQ(c.previewImage.Width(), 500 + 18);
    EXPECT_EQ(c.previewImage.Height(), 300 + 18);
    EXPECT_EQ(c.previewOrigin, QPointF(600 + 2, 400 + 4));
    // Shadow below right, soft: transparent at the top-left corner, some alpha near the bottom right.
    EXPECT_EQ(Alpha(c.previewImage.GetPixel(0, 0)), 0u);
    const uint32_t shadow = Alpha(c.previewImage.GetPixel(510, 310));
    EXPECT_GT(shadow, 0u);
    EXPECT_LT(shadow, 255u);
    EXPECT_EQ(Alpha(c.previewImage.GetPixel(200, 150)), 255u);
}

TEST(ComposeCapture, PenColourFadesForWidePens) {
    EXPECT_EQ(InkPenColor(0xFFD80000u, 6), 0xFFD80000u);
    EXPECT_EQ(InkPenColor(0xFFD80000u, 1), 0xFFD80000u);
    EXPECT_EQ(InkPenColor(0xFFD80000u, 10) >> 24, 216u);
    EXPECT_EQ(InkPenColor(0xFFD80000u, 17) >> 24, 146u);
    EXPECT_EQ(InkPenColor(0xFF123456u, 17) & 0xFFFFFFu, 0x123456u);
}

TEST(ComposeCapture, WidePenDrawsTranslucentInk) {
    const TDIB desktop = PatternDesktop(200, 100);
    std::vector<CaptureShape> shapes(1);
    shapes.push_back(InkLine({20.5, 50.5}, {180.5, 50.5}));
    const TComposedCapture c = ComposeCapture(desktop, QRect(0, 0, 200, 100), shapes, 17, 0xFFD80000u);
    const uint32_t p = c.captureImage.GetPixel(100, 50);
    EXPECT_EQ(Alpha(p), 255u);
    EXPECT_NE(p, 0xFFD80000u) << "the desktop shows through a highlighter pen";
    EXPECT_GT((p >> 16) & 255, 0x60u);
}

// Redaction cannot be undone: two desktops that differ only under a box give the very same pictures,
// byte for byte, in all three images, whatever the selection does around the box (all of the desktop,
// a rectangle beside it, a lasso through it whose frosted surroundings blur across the box's edge).
struct TCoverCase {
    const char* name;
    TToolKind tool;
    int selection; // 0 click, 1 rectangle over part of the box, 2 lasso through it
};

class ComposeCovered : public ::testing::TestWithParam<TCoverCase> {};

TEST_P(ComposeCovered, NothingUnderTheBoxReachesThePicture) {
    const TCoverCase& c = GetParam();
    const QRect box(120, 80, 90, 50);
    TDIB desktops[2] = {PatternDesktop(400, 300), PatternDesktop(400, 300)};
    // The second desktop hides other "text" under the box.
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            desktops[1].SetPixel(x, y, (x * 7 + y * 13) % 5 ? 0xFF000000u : 0xFFFFFFFFu);
    TComposedCapture out[2];
    for (int i = 0; i < 2; ++i) {
        std::vector<CaptureShape> shapes(1);
        if (c.selection == 1) shapes[0] = Rect(100, 60, 180, 200);
        if (c.selection == 2) shapes[0] = Lasso(160, 120, 60);
        CaptureShape cover;
        cover.Tool = c.tool;
        cover.Width = 6;
        cover.Points = {{box.left() + 0.5, box.top() + 0.5}, {box.right() + 0.5, box.bottom() + 0.5}};
        shapes.push_back(cover);
        out[i] = Compose(desktops[i], shapes);
    }
    ASSERT_FALSE(out[0].captureImage.Empty());
    EXPECT_TRUE(out[0].outputRect.contains(box)) << "a box leaving the selection enlarges the capture";
    for (const auto& [a, b] :
         {std::pair{out[0].captureImage, out[1].captureImage}, std::pair{out[0].flatImage, out[1].flatImage},
          std::pair{out[0].previewImage, out[1].previewImage}}) {
        ASSERT_EQ(a.Width(), b.Width());
        ASSERT_EQ(a.Height(), b.Height());
        int differing = 0;
        for (int y = 0; y < a.Height(); ++y)
            differing +=
                std::memcmp(a.PixelPtr(0, y), b.PixelPtr(0, y), size_t(a.Width() * a.BitCount() / 8)) != 0;
        EXPECT_EQ(differing, 0) << "rows of a " << a.BitCount() << "-bit image";
    }
    // What covers the box is opaque, and a pixelation is blocks of at least ten pixels, not one colour.
    const QPoint o = out[0].outputRect.topLeft();
    const TDIB& flat = out[0].flatImage;
    const QRect inside = box.translated(-o) & QRect(0, 0, flat.Width(), flat.Height());
    std::set<uint32_t> colours;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            colours.insert(flat.GetPixel(x, y) & 0xFFFFFFu);
            const bool insideBlock = x > box.left() - o.x() && (x - box.left() + o.x()) % 12;
            if (c.tool == TToolKind::Pixelate && insideBlock) {
                ASSERT_EQ(flat.GetPixel(x, y), flat.GetPixel(x - 1, y)) << "in a block at " << x << "," << y;
            }
        }
    if (c.tool == TToolKind::Redact) {
        EXPECT_EQ(colours, std::set<uint32_t>{0xD80000u});
    } else {
        EXPECT_GT(colours.size(), 4u);
    }
}

INSTANTIATE_TEST_SUITE_P(Boxes, ComposeCovered,
                         ::testing::Values(TCoverCase{"PixelateClick", TToolKind::Pixelate, 0},
                                           TCoverCase{"PixelateRectangle", TToolKind::Pixelate, 1},
                                           TCoverCase{"PixelateLasso", TToolKind::Pixelate, 2},
                                           TCoverCase{"RedactClick", TToolKind::Redact, 0},
                                           TCoverCase{"RedactLasso", TToolKind::Redact, 2}),
                         [](const ::testing::TestParamInfo<TCoverCase>& info) {
                             return std::string(info.param.name);
                         });
