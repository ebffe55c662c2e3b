// The zoomed view's desktop picture against the plain way of making it: the whole 24-bit desktop
// magnified over a background-filled frame, the grid over all of it. The fast way (only the part in view
// goes to 32 bits; whole nearest zooms magnify one row per image row and repeat it) must give the very
// same pixels at every zoom, pan and interpolation, past the image's edges too.
#include "DIBmp.h"
#include "OverlayPaint.h"
#include "ParamName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <vector>

namespace {

using enum TInterpolation;

constexpr uint32_t Background = 0xFF181818u;

// Noise, so that a pixel taken from a neighbour shows; an odd size, so that no row padding hides.
TDIB NoiseDesktop(int w, int h) {
    TDIB d(w, h, 24);
    std::mt19937 rng(5);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x)
            d.PixelPtr(0, y)[x] = uint8_t(rng() >> 24);
    return d;
}

// The form's mapping of client (0, 0), truncated in single precision as its handlers do.
QPoint FirstPixel(double zoom, QPointF offset) {
    return QPoint(int(float(offset.x()) / float(zoom)), int(float(offset.y()) / float(zoom)));
}

TDIB Reference(TDIB& desktop, int w, int h, const TZoomedView& v) {
    TDIB frame(w, h, 24);
    frame.FillRect(QRect(0, 0, w, h), v.background, 256);
    desktop.ResizeSqr(frame, QRect(0, 0, desktop.Width(), desktop.Height()), v.mode, v.zoom, v.zoom,
                      -v.offset.x(), -v.offset.y(), QRect(0, 0, w, h));
    if (v.mode == TInterpolation::Nearest) DrawPixelGrid(frame, v.zoom, v.offset, v.firstPixel, v.phase);
    return frame;
}

struct ZoomCase {
    double zoom, x, y;
    TInterpolation mode;
};

void PrintTo(const ZoomCase& c, std::ostream* os) {
    *os << "zoom " << c.zoom << " offset " << c.x << "," << c.y << " mode " << int(c.mode);
}

class ZoomedDesktop : public ::testing::TestWithParam<ZoomCase> {};

TEST_P(ZoomedDesktop, GivesThePixelsOfMagnifyingTheWholeDesktop) {
    const ZoomCase c = GetParam();
    TDIB desktop = NoiseDesktop(61, 47);
    const int w = 97, h = 83;
    TZoomedView v;
    v.zoom = c.zoom;
    v.offset = QPointF(c.x, c.y);
    v.firstPixel = FirstPixel(c.zoom, v.offset);
    v.mode = c.mode;
    v.phase = 2300;
    v.background = Background;
    const TDIB expected = Reference(desktop, w, h, v);
    // The same desktop as the X server's grabbed rows: 32 bits a pixel, the fourth byte its padding.
    std::vector<uint8_t> grabbed(size_t(desktop.Width()) * desktop.Height() * 4);
    for (int y = 0; y < desktop.Height(); ++y)
        for (int x = 0; x < desktop.Width(); ++x) {
            uint8_t* g = &grabbed[(size_t(y) * desktop.Width() + x) * 4];
            std::copy_n(desktop.PixelPtr(x, y), 3, g);
            g[3] = uint8_t(x * 7 + y);
        }
    const DibOps::ConstView rowsView{grabbed.data(), desktop.Width() * 4, desktop.Width(), desktop.Height(),
                                     4};
    for (const bool fromRows : {false, true}) {
        SCOPED_TRACE(fromRows ? "from the grabbed rows" : "from the picture");
        TDIB source, rows, view(w, h, 32);
        view.FillRect(QRect(0, 0, w, h), 0x00FFFFFFu, 256); // stale content that must not show
        if (fromRows)
            DrawZoomedDesktop(rowsView, source, rows, view.View(), v);
        else
            DrawZoomedDesktop(desktop, source, rows, view, v);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* e = expected.PixelPtr(x, y);
                const uint8_t* a = view.PixelPtr(x, y);
                ASSERT_TRUE(a[0] == e[0] && a[1] == e[1] && a[2] == e[2])
                    << "at " << x << "," << y << ": " << int(a[2]) << "/" << int(a[1]) << "/" << int(a[0])
                    << " instead of " << int(e[2]) << "/" << int(e[1]) << "/" << int(e[0]);
                ASSERT_EQ(a[3], 255) << "opaque at " << x << "," << y;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Views, ZoomedDesktop,
                         ::testing::Values(ZoomCase{8, 0, 0, Nearest}, ZoomCase{8, 100, 50, Nearest},
                                           ZoomCase{8, -37, -21, Nearest}, // past top-left
                                           ZoomCase{8, 400, 300, Nearest}, // past bottom-right
                                           ZoomCase{4, 13, 7, Nearest}, ZoomCase{2, 5, 3, Nearest},
                                           ZoomCase{3, 11, -5, Nearest}, // no grid below 3.5
                                           ZoomCase{32, 1000, 700, Nearest},
                                           ZoomCase{32, 3000, 0, Nearest}, // nothing of the image
                                           ZoomCase{4.5, 5, 3, Nearest},
                                           ZoomCase{6.25, -10.5, 7.25, Nearest}, // animating zooms
                                           ZoomCase{1, 0, 0, Nearest}, ZoomCase{1, -7, 5, Nearest},
                                           ZoomCase{1, 20, -9, Nearest}, // the magnifier's start
                                           ZoomCase{2.5, 10, 10, Linear}, ZoomCase{1.5, 3.3, 2.2, Linear},
                                           ZoomCase{1, 0, 0, Linear}, // linear
                                           ZoomCase{4, 20, 20, Cubic}, ZoomCase{8, -30, 40, Cubic},
                                           ZoomCase{1.25, -7, 9, Cubic}), // cubic
                         [](const auto& info) {
                             const ZoomCase& c = info.param;
                             return "Zoom" + NamePart(c.zoom) + "Offset" + NamePart(c.x) + "x" +
                                    NamePart(c.y) + InterpolationName(c.mode);
                         });

TEST(ZoomedDesktopScratch, IsKeptBetweenPaintsAndGrowsOnlyWhenItMust) {
    TDIB desktop = NoiseDesktop(200, 150);
    TDIB source, rows, view(160, 120, 32);
    TZoomedView v;
    v.zoom = 8;
    v.offset = QPointF(320, 240);
    v.firstPixel = FirstPixel(v.zoom, v.offset);
    DrawZoomedDesktop(desktop, source, rows, view, v);
    const uint8_t* sourceBits = source.Bits();
    const uint8_t* rowBits = rows.Bits();
    ASSERT_NE(sourceBits, nullptr);
    EXPECT_LE(source.Width(), 160 / 8 + 8) << "only the part in view and the kernel's reach";
    v.offset = QPointF(600, 400);
    DrawZoomedDesktop(desktop, source, rows, view, v);
    EXPECT_EQ(source.Bits(), sourceBits) << "a pan needs no new scratch";
    EXPECT_EQ(rows.Bits(), rowBits);
    v.zoom = 2;
    v.offset = QPointF(10, 10);
    DrawZoomedDesktop(desktop, source, rows, view, v);
    EXPECT_GE(source.Width(), 160 / 2) << "zooming out shows more of the desktop";

    // Unmagnified (the magnifier's start) the desktop goes straight into the view.
    TDIB none, noRows;
    v.zoom = 1;
    DrawZoomedDesktop(desktop, none, noRows, view, v);
    EXPECT_TRUE(none.Empty() && noRows.Empty());
}

TEST(ZoomedImageArea, IsWhereClientPixelCentresFallInsideTheImage) {
    EXPECT_EQ(ZoomedImageArea(QSize(10, 10), 4, QPointF(0, 0), QSize(100, 100)), QRect(0, 0, 40, 40));
    EXPECT_EQ(ZoomedImageArea(QSize(10, 10), 4, QPointF(-6, -2), QSize(100, 100)), QRect(6, 2, 40, 40));
    EXPECT_EQ(ZoomedImageArea(QSize(10, 10), 4, QPointF(30, 0), QSize(100, 100)), QRect(0, 0, 10, 40));
    // Zoom 2.5 from -1: client 0 shows (0.5 - 1) / 2.5 < 0, client 1 shows 0.6.
    EXPECT_EQ(ZoomedImageArea(QSize(10, 10), 2.5, QPointF(-1, 0), QSize(100, 100)).left(), 1);
    EXPECT_TRUE(ZoomedImageArea(QSize(10, 10), 4, QPointF(50, 0), QSize(100, 100)).isEmpty());
    EXPECT_TRUE(ZoomedImageArea(QSize(10, 10), 0, QPointF(0, 0), QSize(100, 100)).isEmpty());
}

} // namespace
