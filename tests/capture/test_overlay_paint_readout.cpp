// The zoomed view's pick read-out: the colour conversions, the panel's placement at the view's edges,
// and the text of each line for known picks.
#include "OverlayPaint.h"
#include "ParamName.h"

#include <gtest/gtest.h>

namespace {

struct HlsCase {
    int r, g, b;
    int hue, lightness, saturation; // degrees and percent, rounded
};

class HlsConversion : public ::testing::TestWithParam<HlsCase> {};

TEST_P(HlsConversion, GivesTheUsualHueLightnessAndSaturation) {
    const HlsCase c = GetParam();
    const THls hls = RgbToHls(c.r, c.g, c.b);
    EXPECT_EQ(std::lround(hls.hue * 360), c.hue);
    EXPECT_EQ(std::lround(hls.lightness * 100), c.lightness);
    EXPECT_EQ(std::lround(hls.saturation * 100), c.saturation);
    EXPECT_EQ(HlsToRgb(hls), uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b)) << "round trip";
}

INSTANTIATE_TEST_SUITE_P(Colours, HlsConversion,
                         ::testing::Values(HlsCase{255, 0, 0, 0, 50, 100}, HlsCase{0, 255, 0, 120, 50, 100},
                                           HlsCase{0, 0, 255, 240, 50, 100},
                                           HlsCase{255, 0, 255, 300, 50, 100},
                                           HlsCase{128, 128, 128, 0, 50, 0}, HlsCase{0, 0, 0, 0, 0, 0},
                                           HlsCase{255, 255, 255, 0, 100, 0},
                                           HlsCase{30, 100, 60, 146, 25, 54},
                                           HlsCase{250, 240, 200, 48, 88, 83}),
                         [](const auto& info) {
                             const HlsCase& c = info.param;
                             return "R" + NamePart(c.r) + "G" + NamePart(c.g) + "B" + NamePart(c.b);
                         });

struct PanelCase {
    QRect pick;
    QPoint topLeft;
};

class PanelPlacement : public ::testing::TestWithParam<PanelCase> {};

TEST_P(PanelPlacement, SitsRightAndBelowUnlessTheViewEnds) {
    EXPECT_EQ(PickPanelRect(GetParam().pick, 640, 400), QRect(GetParam().topLeft, QSize(174, 116)));
}

// Pick 8x8 client pixels; right/bottom edges exclusive: right = left + 8.
INSTANTIATE_TEST_SUITE_P(
    Edges, PanelPlacement,
    ::testing::Values(PanelCase{QRect(100, 100, 8, 8), QPoint(135, 120)},
                      PanelCase{QRect(429, 100, 8, 8), QPoint(464, 120)},  // right edge 638 = W - 2 fits
                      PanelCase{QRect(430, 100, 8, 8), QPoint(244, 120)},  // one more: flipped left
                      PanelCase{QRect(100, 262, 8, 8), QPoint(135, 282)},  // bottom 398 fits
                      PanelCase{QRect(100, 263, 8, 8), QPoint(135, 135)},  // flipped above
                      PanelCase{QRect(600, 380, 8, 8), QPoint(414, 252)}), // both
    [](const auto& info) {
        const PanelCase& c = info.param;
        return "PickAt" + NamePart(c.pick.x()) + "x" + NamePart(c.pick.y()) +
               (c.topLeft.x() < c.pick.x() ? "Left" : "Right") +
               (c.topLeft.y() < c.pick.y() ? "Above" : "Below");
    });

std::vector<std::string> Texts(const std::vector<TReadoutLine>& lines) {
    std::vector<std::string> t;
    for (const TReadoutLine& l : lines)
        t.push_back(l.text);
    return t;
}

TEST(PickReadout, HoveringOverAPureRedPixel) {
    const auto lines = PickReadoutLines(QRect(17, 42, 1, 1), true, 0x0000FFu, QPoint(300, 200));
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{"x 17", "y 42", "Ctrl to select", "Color 0000FF",
                                                      "RGB 255   0   0", "HLS 0 50% 100%"}));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], (TReadoutLine{QPoint(313, 209), "x 17", 11}));
    EXPECT_EQ(lines[1].at, QPoint(393, 209));
    EXPECT_EQ(lines[2], (TReadoutLine{QPoint(313, 229), "Ctrl to select", 12}));
    EXPECT_EQ(lines[3].at, QPoint(313, 259));
    EXPECT_EQ(lines[3].fontHeight, 15);
    EXPECT_EQ(lines[4], (TReadoutLine{QPoint(313, 279), "RGB 255   0   0", 13}));
    EXPECT_EQ(lines[5], (TReadoutLine{QPoint(313, 294), "HLS 0 50% 100%", 13}));
}

TEST(PickReadout, ADraggedPickGivesItsSizeAndSelectionColour) {
    // 0x00BBGGRR: blue 0x12, green 0x34, red 0xAB.
    const auto lines = PickReadoutLines(QRect(5, 6, 30, 1), false, 0x1234ABu, QPoint(0, 0));
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{"x 5", "y 6", "w 30", "h 1", "Sel color 1234AB",
                                                      "RGB 171  52  18", "HLS 13 37% 81%"}));
    EXPECT_EQ(lines[3].at, QPoint(93, 29));
    EXPECT_EQ(lines[4].fontHeight, 11);
}

} // namespace
