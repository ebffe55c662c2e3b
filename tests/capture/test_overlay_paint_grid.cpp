// The zoomed view's pulsing pixel grid: its strength over zoom, the darkening range, and where the lines
// fall on a flat grey view.
#include "DIBmp.h"
#include "OverlayPaint.h"
#include "ParamName.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>

namespace {

struct StrengthCase {
    double zoom, strength;
};

class GridStrength : public ::testing::TestWithParam<StrengthCase> {};

TEST_P(GridStrength, FadesInBetweenThreeAndAHalfAndSix) {
    EXPECT_DOUBLE_EQ(PixelGridStrength(GetParam().zoom), GetParam().strength);
}

INSTANTIATE_TEST_SUITE_P(Zooms, GridStrength,
                         ::testing::Values(StrengthCase{1, 0}, StrengthCase{3.5, 0}, StrengthCase{4, 6.4},
                                           StrengthCase{4.75, 16}, StrengthCase{6, 32}, StrengthCase{8, 32},
                                           StrengthCase{32, 32}),
                         [](const auto& info) { return "Zoom" + NamePart(info.param.zoom); });

TEST(GridDarkening, RangesFromEightToFortyThreeLevelsAtFullStrength) {
    std::set<int> vertical, horizontal;
    for (int tick = 0; tick < 400; ++tick) {
        const TGridDarkening d = PixelGridDarkening(8, tick * 100.0);
        vertical.insert(d.vertical);
        horizontal.insert(d.horizontal);
    }
    EXPECT_EQ(*vertical.begin(), 8);
    EXPECT_EQ(*vertical.rbegin(), 43);
    EXPECT_EQ(*horizontal.begin(), 8);
    EXPECT_EQ(*horizontal.rbegin(), 43);
}

TEST(GridDarkening, TheTwoDirectionsPulseAnEighthOfAPeriodApart) {
    const double crest = 5000 * std::numbers::pi / 2; // vertical lines at their darkest
    const TGridDarkening d = PixelGridDarkening(6, crest);
    EXPECT_EQ(d.vertical, 43);
    EXPECT_EQ(d.horizontal, 38); // (0.55 sin(3/4 pi) + 0.8) * 32
    const TGridDarkening none = PixelGridDarkening(3.5, crest);
    EXPECT_EQ(none.vertical, 0);
    EXPECT_EQ(none.horizontal, 0);
}

int Grey(TDIB& dib, int x, int y) {
    return dib.PixelPtr(x, y)[1];
}

TDIB FlatGrey(int w, int h) {
    TDIB view(w, h, 24);
    view.FillRect(QRect(0, 0, w, h), 0xFF808080u, 256);
    return view;
}

// Zoom 4 at phase 0: strength 6.4, vertical lines 5 levels, horizontal ones round(7.61) = 8.
TEST(PixelGrid, DarkensTheLeftAndTopEdgeOfEveryImagePixel) {
    TDIB view = FlatGrey(40, 20);
    DrawPixelGrid(view, 4, QPointF(0, 0), QPoint(0, 0), 0);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) {
            const int expected = 128 - (x % 4 == 0 ? 5 : 0) - (y % 4 == 0 ? 8 : 0);
            ASSERT_EQ(Grey(view, x, y), expected) << "at " << x << "," << y;
        }
    EXPECT_EQ(view.PixelPtr(5, 5)[0], 128) << "every channel alike";
    EXPECT_EQ(view.PixelPtr(4, 5)[2], 123);
}

TEST(PixelGrid, FollowsThePanAndFractionalZooms) {
    TDIB view = FlatGrey(30, 12);
    // Image x of client 0 is (0 + 5) / 4.5 = 1; its left edge, 4.5 - 5 = -0.5, rounds (half to even) to 0.
    DrawPixelGrid(view, 4.5, QPointF(5, 0), QPoint(1, 0), 0);
    std::set<int> columns;
    for (int x = 0; x < 30; ++x)
        if (Grey(view, x, 5) < 128) columns.insert(x);
    // u * 4.5 - 5 rounded half to even: 0 (-0.5), 4, 8 (8.5), 13, 18 (17.5), 22, 26 (26.5).
    EXPECT_EQ(columns, (std::set<int>{0, 4, 8, 13, 18, 22, 26}));
}

TEST(PixelGrid, LeavesTheAlphaOfA32BitViewAlone) {
    TDIB view(12, 12, 32);
    view.FillRect(QRect(0, 0, 12, 12), 0xFF101010u, 256);
    DrawPixelGrid(view, 6, QPointF(0, 0), QPoint(0, 0), 5000 * std::numbers::pi / 2); // 43 and 38 levels
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const uint8_t* p = view.PixelPtr(x, y);
            ASSERT_EQ(p[3], 0xFF);
            const bool line = x % 6 == 0 || y % 6 == 0;
            ASSERT_EQ(p[0], line ? 0 : 0x10) << "darkening saturates at 0, at " << x << "," << y;
        }
}

TEST(PixelGrid, DrawsNothingUpToZoomThreeAndAHalf) {
    TDIB view = FlatGrey(16, 16);
    DrawPixelGrid(view, 3.5, QPointF(0, 0), QPoint(0, 0), 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(Grey(view, x, y), 128);
}

} // namespace
