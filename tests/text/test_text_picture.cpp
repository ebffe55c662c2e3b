#include "TextPicture.h"

#include <gtest/gtest.h>

namespace {

// A ground of one grey with bars of another: `lines` bars `lineHeight` high, `lineHeight` apart.
TDIB Bars(int bitCount, uint8_t ground, uint8_t ink, int lines, int lineHeight, int w = 200) {
    const int h = 2 * lineHeight * lines + lineHeight;
    TDIB d(w, h, bitCount);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool bar = x >= 10 && x < w - 10 && (y / lineHeight) % 2 == 1;
            const uint32_t grey = bar ? ink : ground;
            d.SetPixel(x, y, 0xFF000000u | grey << 16 | grey << 8 | grey);
        }
    return d;
}

TEST(TextPicture, GroundAndInkFollowTheHistogram) {
    struct Case {
        const char* name;
        int ground, ink, groundCount, inkCount;
        int wantGround;
        bool wantLightInk;
    };
    for (const Case& c : {Case{"black on white", 255, 0, 9000, 1000, 255, false},
                          Case{"light grey on dark", 30, 212, 9000, 1000, 30, true},
                          Case{"dark on a mid grey", 140, 20, 9000, 1000, 140, false},
                          Case{"light on a mid grey", 110, 250, 9000, 1000, 110, true},
                          Case{"a dark ground alone", 20, 20, 9000, 0, 20, true},
                          Case{"a light ground alone", 230, 230, 9000, 0, 230, false}}) {
        std::array<int, 256> h{};
        h[size_t(c.ground)] += c.groundCount;
        h[size_t(c.ink)] += c.inkCount;
        const TGroundAndInk found = GroundAndInk(h);
        EXPECT_EQ(found.ground, c.wantGround) << c.name;
        EXPECT_EQ(found.lightInk, c.wantLightInk) << c.name;
    }
}

TEST(TextPicture, EveryColourSchemeBecomesTheSameDarkInkOnWhite) {
    const TTextPicture reference = PrepareTextPicture(Bars(24, 255, 0, 3, 40));
    ASSERT_FALSE(reference.inverted);
    ASSERT_EQ(reference.grey.BitCount(), 8);
    for (const auto& [name, ground, ink] :
         {std::tuple{"light grey on dark", 0x1e, 0xd4}, std::tuple{"grey on white", 0xff, 0x80},
          std::tuple{"white on blue-grey", 0x40, 0xff}}) {
        const TTextPicture p = PrepareTextPicture(Bars(32, uint8_t(ground), uint8_t(ink), 3, 40));
        EXPECT_EQ(p.inverted, ink > ground) << name;
        ASSERT_EQ(p.grey.Width(), reference.grey.Width()) << name;
        int differing = 0;
        for (int y = 0; y < p.grey.Height(); ++y)
            for (int x = 0; x < p.grey.Width(); ++x)
                differing += std::abs(p.grey.PixelPtr(x, y)[0] - reference.grey.PixelPtr(x, y)[0]) > 2;
        EXPECT_EQ(differing, 0) << name;
    }
    EXPECT_EQ(reference.grey.PixelPtr(5, 5)[0], 255);
    EXPECT_EQ(reference.grey.PixelPtr(50, 60)[0], 0);
}

TEST(TextPicture, LassoOutsidesHugeAndEmptyPictures) {
    // A lasso's outside is transparent: on a dark picture it must not read as a frame of ink.
    TDIB d = Bars(32, 0x20, 0xe0, 3, 40);
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < 5; ++x)
            *d.PixelPtr32(x, y) = 0;
    const TTextPicture lasso = PrepareTextPicture(d);
    EXPECT_TRUE(lasso.inverted);
    EXPECT_EQ(lasso.grey.PixelPtr(0, 10)[0], 255);
    EXPECT_EQ(lasso.lineHeight, 40);
    // A whole 4K monitor of small text is scaled up within the pixel bound.
    const TTextPicture huge = PrepareTextPicture(Bars(24, 255, 0, 110, 9, 3840));
    EXPECT_EQ(huge.lineHeight, 9);
    EXPECT_GT(huge.scale, 1);
    EXPECT_LE(double(huge.grey.Width()) * huge.grey.Height(), 24.1e6);
    // Nothing, or one flat grey: no lines, no scaling.
    EXPECT_TRUE(PrepareTextPicture(TDIB()).grey.Empty());
    const TTextPicture flat = PrepareTextPicture(Bars(24, 40, 40, 2, 10));
    EXPECT_EQ(flat.lineHeight, 0);
    EXPECT_EQ(flat.scale, 1);
}

} // namespace
