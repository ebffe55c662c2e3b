// The pixel arithmetic of TDIB, exhaustively where the space is small, and every fast loop against its
// plain reference on odd sizes and padded strides.
#include "DIBmp.h"
#include "DibOps.h"
#include "ParamName.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

void FillRandom(TDIB& d, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < d.Height(); ++y) {
        uint8_t* row = d.PixelPtr(0, y);
        for (int i = 0; i < d.BytesPerRow(); ++i)
            row[i] = uint8_t(rng());
    }
}

// Random premultiplied 32-bit pixels (each colour byte not above alpha).
void FillRandomPremultiplied(TDIB& d, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x) {
            const uint32_t a = rng() % 256;
            uint8_t* p = d.PixelPtr(x, y);
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(a ? rng() % (a + 1) : 0);
            p[3] = uint8_t(a);
        }
}

bool SamePixels(TDIB& a, TDIB& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) return false;
    const size_t row = size_t(a.Width()) * a.BitCount() / 8;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.PixelPtr(0, y), b.PixelPtr(0, y), row) != 0) return false;
    return true;
}

TDIB Copy(const TDIB& a) {
    TDIB c;
    c.CreateCopy(a, true);
    return c;
}

uint32_t Px(TDIB& d, int x, int y) {
    return *d.PixelPtr32(x, y);
}

} // namespace

// ---- FillRect, Tint ------------------------------------------------------------------------------------

TEST(DibFill, HalfBlackOverWhiteRoundsEachTermDown) {
    TDIB d(5, 3, 32);
    d.FillRect(QRect(0, 0, 5, 3), 0xFFFFFFFF);
    d.FillRect(QRect(0, 0, 5, 3), 0xFF000000, 128);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(Px(d, x, y), 0xFE7F7F7Fu);
}

TEST(DibFill, FullAlphaWritesTheAlphaByteAndClips) {
    TDIB d(4, 4, 32);
    d.SetClipRect(QRect(1, 1, 2, 2));
    d.FillRect(QRect(-5, -5, 20, 20), 0x12345678);
    EXPECT_EQ(Px(d, 1, 1), 0x12345678u);
    EXPECT_EQ(Px(d, 2, 2), 0x12345678u);
    EXPECT_EQ(Px(d, 0, 0), 0u);
    EXPECT_EQ(Px(d, 3, 3), 0u);
    TDIB e(3, 1, 24);
    e.FillRect(QRect(0, 0, 3, 1), 0x12345678);
    EXPECT_EQ(e.PixelPtr(2, 0)[0], 0x78);
    EXPECT_EQ(e.PixelPtr(2, 0)[2], 0x34);
    EXPECT_EQ(e.PixelPtr(0, 0)[9], 0) << "padding untouched";
}

// Every colour byte over every old byte at every alpha, for both depths.
class DibFillTable : public testing::TestWithParam<int> {};
TEST_P(DibFillTable, BlendMatchesTheFormulaExhaustively) {
    const int bits = GetParam();
    TDIB d(256, 257, bits);
    for (int c = 0; c < 256; c += 1) {
        for (int y = 0; y < 257; ++y)
            for (int x = 0; x < 256; ++x)
                std::memset(d.PixelPtr(x, y), x, bits / 8);
        const uint32_t colour = uint32_t(c) * 0x01010101u;
        for (int a = 0; a < 257; ++a)
            d.FillRect(QRect(0, a, 256, 1), colour, a);
        for (int a = 0; a < 257; ++a)
            for (int o = 0; o < 256; ++o) {
                const int want = a >= 256 ? c : std::min(255, c * a / 256 + o * (256 - a) / 256);
                const uint8_t* p = d.PixelPtr(o, a);
                for (int k = 0; k < bits / 8; ++k)
                    ASSERT_EQ(p[k], want) << "c=" << c << " a=" << a << " old=" << o;
            }
    }
}

TEST_P(DibFillTable, AddSubtractAndTintSaturateExhaustively) {
    const int bits = GetParam();
    TDIB d(256, 256, bits);
    auto reset = [&] {
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                std::memset(d.PixelPtr(x, y), x, bits / 8);
    };
    for (int mode : {1, 2, 3}) {
        reset();
        d.SetDrawMode(mode == 3 ? 0 : mode);
        for (int c = 0; c < 256; ++c) {
            const uint32_t colour = uint32_t(c) * 0x01010101u;
            if (mode == 3)
                d.Tint(QRect(0, c, 256, 1), colour, 0x80808080);
            else
                d.FillRect(QRect(0, c, 256, 1), colour, 256);
        }
        for (int c = 0; c < 256; ++c)
            for (int o = 0; o < 256; ++o) {
                const int want = mode == 1   ? std::min(255, o + c)
                                 : mode == 2 ? std::max(0, o - c)
                                             : std::clamp(o + c - 0x80, 0, 255);
                for (int k = 0; k < bits / 8; ++k)
                    ASSERT_EQ(d.PixelPtr(o, c)[k], want) << "mode " << mode << " c=" << c << " old=" << o;
            }
    }
}
INSTANTIATE_TEST_SUITE_P(Depths, DibFillTable, testing::Values(24, 32),
                         [](const auto& info) { return "Bits" + NamePart(info.param); });

TEST(DibFill, AddModeScalesTheColourByAlpha) {
    TDIB d(2, 1, 32);
    d.SetDrawMode(1);
    d.FillRect(QRect(0, 0, 2, 1), 0xFF804020, 128);
    EXPECT_EQ(Px(d, 0, 0), 0x7F402010u);
    d.FillRect(QRect(0, 0, 2, 1), 0xFF804020, 128);
    EXPECT_EQ(Px(d, 1, 0), 0xFE804020u);
}

TEST(DibFill, TintLeavesChannelsAtTheReference) {
    TDIB d(3, 2, 24);
    FillRandom(d, 5);
    TDIB before = Copy(d);
    d.Tint(QRect(0, 0, 3, 2), 0x80808080, 0x80808080);
    EXPECT_TRUE(SamePixels(d, before));
}

// ---- fast loops against their references -------------------------------------------------------------

struct OddCase {
    int bits, w, h;
};
class DibFastLoops : public testing::TestWithParam<OddCase> {};

TEST_P(DibFastLoops, FillBlendAndAddSubMatchReference) {
    const auto [bits, w, h] = GetParam();
    for (int alpha : {0, 1, 77, 128, 255}) {
        TDIB a(w + 3, h + 2, bits);
        FillRandom(a, uint32_t(alpha + w));
        TDIB b = Copy(a);
        const QRect r(1, 1, w, h);
        DibOps::FillBlend(a.View(), r, 0xC0FF1080u, alpha);
        DibOps::FillBlendRef(b.View(), r, 0xC0FF1080u, alpha);
        ASSERT_TRUE(SamePixels(a, b)) << alpha;
        DibOps::AddSubC(a.View(), r, 0x01FF7F00u, 0x30001020u);
        DibOps::AddSubCRef(b.View(), r, 0x01FF7F00u, 0x30001020u);
        ASSERT_TRUE(SamePixels(a, b)) << alpha;
    }
}

TEST_P(DibFastLoops, BoxFilterMatchesNaiveSum) {
    const auto [bits, w, h] = GetParam();
    for (QSize mask : {QSize(1, 1), QSize(3, 3), QSize(7, 7), QSize(5, 2), QSize(11, 11)}) {
        TDIB a(w + 4, h + 4, bits);
        FillRandom(a, uint32_t(mask.width() * 31 + w));
        TDIB b = Copy(a);
        const QRect r(1, 2, w + 2, h + 1);
        const int ax = mask.width() / 2, ay = mask.height() / 2;
        DibOps::BoxFilter(a.View(), r, mask.width(), mask.height(), ax, ay);
        DibOps::BoxFilterRef(b.View(), r, mask.width(), mask.height(), ax, ay);
        ASSERT_TRUE(SamePixels(a, b)) << mask.width() << "x" << mask.height();
    }
}

TEST_P(DibFastLoops, CopyPremultiplyAndAlphaBlendMatchReference) {
    const auto [bits, w, h] = GetParam();
    TDIB src24(w + 1, h, 24);
    FillRandom(src24, 9);
    TDIB a(w + 2, h + 1, 32), b(w + 2, h + 1, 32);
    DibOps::Copy24To32(src24.ConstView(), QRect(1, 0, w, h), a.View(), 1, 1);
    DibOps::Copy24To32Ref(src24.ConstView(), QRect(1, 0, w, h), b.View(), 1, 1);
    ASSERT_TRUE(SamePixels(a, b));
    FillRandom(a, 10);
    b = Copy(a);
    DibOps::Premultiply(a.View(), QRect(0, 0, w, h));
    DibOps::PremultiplyRef(b.View(), QRect(0, 0, w, h));
    ASSERT_TRUE(SamePixels(a, b));
    TDIB s(w, h, 32);
    FillRandomPremultiplied(s, 11);
    TDIB d1(w + 1, h + 1, bits);
    FillRandom(d1, 12);
    TDIB d2 = Copy(d1);
    for (int ca : {255, 128}) {
        DibOps::AlphaBlend(s.ConstView(), QRect(0, 0, w, h), d1.View(), 1, 0, ca, true);
        DibOps::AlphaBlendRef(s.ConstView(), QRect(0, 0, w, h), d2.View(), 1, 0, ca, true);
        ASSERT_TRUE(SamePixels(d1, d2)) << ca;
    }
}

TEST_P(DibFastLoops, NarrowingCopyAndTintOverMatchReference) {
    // `bits` is the source depth here; the tint's source may be either, its destination is 32 bits.
    const auto [bits, w, h] = GetParam();
    TDIB src(w + 2, h + 1, bits);
    FillRandom(src, 21);
    const QRect r(1, 1, w, h);
    if (bits == 32) {
        TDIB a(w + 1, h, 24), b(w + 1, h, 24);
        FillRandom(a, 22);
        b = Copy(a);
        DibOps::Copy32To24(src.ConstView(), r, a.View(), 1, 0);
        DibOps::Copy32To24Ref(src.ConstView(), r, b.View(), 1, 0);
        ASSERT_TRUE(SamePixels(a, b));
    }
    for (uint32_t colour : {0x57092236u, 0xFF102030u, 0x00000000u, 0x80FFFFFFu}) {
        TDIB a(w + 1, h + 2, 32);
        FillRandom(a, colour);
        TDIB b = Copy(a);
        DibOps::TintOver(src.ConstView(), r, a.View(), 0, 2, colour);
        DibOps::TintOverRef(src.ConstView(), r, b.View(), 0, 2, colour);
        ASSERT_TRUE(SamePixels(a, b)) << std::hex << colour;
        // The one pass is what the overlay did in two: fill with the colour, alpha-draw it over a
        // 32-bit copy of the source (whose fourth byte a 24-bit source makes opaque).
        TDIB copy(w, h, 32), fill(w, h, 32);
        if (bits == 24)
            DibOps::Copy24To32(src.ConstView(), r, copy.View(), 0, 0);
        else
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    *copy.PixelPtr32(x, y) = *src.PixelPtr32(1 + x, 1 + y) | 0xFF000000u;
        fill.FillRect(QRect(0, 0, w, h), colour, 256);
        fill.AlphaDraw(copy, 0, 0, QRect(0, 0, w, h), 255);
        for (int y = 0; y < h; ++y)
            ASSERT_EQ(0, std::memcmp(copy.PixelPtr(0, y), a.PixelPtr(0, 2 + y), size_t(w) * 4)) << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, DibFastLoops,
                         testing::Values(OddCase{24, 1, 1}, OddCase{24, 7, 5}, OddCase{24, 33, 13},
                                         OddCase{32, 1, 1}, OddCase{32, 6, 3}, OddCase{32, 65, 17},
                                         OddCase{24, 130, 3}, OddCase{32, 3, 40}),
                         [](const auto& info) {
                             const OddCase& c = info.param;
                             return "Bits" + NamePart(c.bits) + "Size" + NamePart(c.w) + "x" + NamePart(c.h);
                         });

// ---- alpha -------------------------------------------------------------------------------------------

TEST(DibAlpha, PremultiplyIsRoundedExhaustively) {
    TDIB d(256, 256, 32);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c)
            *d.PixelPtr32(c, a) = uint32_t(a) << 24 | uint32_t(c) << 16 | uint32_t(c) << 8 | uint32_t(c);
    d.PremultiplyAlpha(QRect(0, 0, 256, 256));
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c) {
            const uint32_t want = uint32_t(std::lround(c * a / 255.0));
            const uint32_t p = Px(d, c, a);
            ASSERT_EQ(p >> 24, uint32_t(a));
            ASSERT_EQ(p & 0xFF, want) << c << "*" << a;
            ASSERT_EQ((p >> 16) & 0xFF, want);
        }
}

TEST(DibAlpha, SourceOverIsWithinOneOfExactAndKeepsOpaqueAndTransparent) {
    // Every premultiplied source pair (s <= sa) over every destination byte.
    TDIB src(256, 256, 32), dst(256, 256, 32);
    for (int d = 0; d < 256; d += 5) {
        for (int sa = 0; sa < 256; ++sa)
            for (int s = 0; s < 256; ++s) {
                *src.PixelPtr32(s, sa) = uint32_t(sa) << 24 | uint32_t(std::min(s, sa)) * 0x010101u;
                *dst.PixelPtr32(s, sa) = uint32_t(d) * 0x01010101u;
            }
        src.AlphaDraw(dst, 0, 0, QRect(0, 0, 256, 256));
        for (int sa = 0; sa < 256; ++sa)
            for (int s = 0; s <= sa; ++s) {
                const double exact = s + d * (1 - sa / 255.0);
                const uint32_t p = Px(dst, s, sa);
                ASSERT_LE(std::fabs(double(p & 0xFF) - exact), 1.0) << s << " " << sa << " " << d;
                if (sa == 255) {
                    ASSERT_EQ(p & 0xFF, uint32_t(s));
                }
                if (sa == 0) {
                    ASSERT_EQ(p, uint32_t(d) * 0x01010101u);
                }
            }
    }
}

TEST(DibAlpha, ConstantAlphaAndOpaqueSource) {
    TDIB s(1, 1, 24), d(1, 1, 32);
    s.PixelPtr(0, 0)[0] = 200;
    *d.PixelPtr32(0, 0) = 0xFF000064; // blue 100
    s.AlphaDraw(d, 0, 0, QRect(0, 0, 1, 1), 128);
    // 200*128/255 + 100*127/255 = 100.4 + 49.8: each term rounded.
    EXPECT_EQ(d.PixelPtr(0, 0)[0], 100 + 50);
    TDIB e(2, 2, 32);
    s.AlphaDraw(e, 0, 0, QRect(0, 0, 0, 0), 255); // empty: nothing
    EXPECT_EQ(Px(e, 0, 0), 0u);
}

// ---- copies, borders, growing ------------------------------------------------------------------------

TEST(DibCopy, DepthPairs) {
    TDIB s24(3, 2, 24);
    FillRandom(s24, 3);
    TDIB d32(4, 3, 32);
    s24.CopyRect(d32, 1, 1, QRect(0, 0, 3, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(Px(d32, x + 1, y + 1) >> 24, 0xFFu);
            EXPECT_EQ(0, std::memcmp(d32.PixelPtr(x + 1, y + 1), s24.PixelPtr(x, y), 3));
        }
    EXPECT_EQ(Px(d32, 0, 0), 0u);
    TDIB d24(3, 2, 24);
    d32.CopyRect(d24, 0, 0, QRect(0, 0, 3, 2)); // 32 -> 24 copies nothing
    for (int i = 0; i < d24.Size(); ++i)
        ASSERT_EQ(d24.Bits()[i], 0);
    // A rectangle that does not fit is clipped, never written outside.
    s24.CopyRect(d24, 2, 1, QRect(0, 0, 3, 2));
    EXPECT_EQ(0, std::memcmp(d24.PixelPtr(2, 1), s24.PixelPtr(0, 0), 3));
}

TEST(DibCopy, OverlappingMoveWithinOneImage) {
    TDIB d(4, 4, 32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            *d.PixelPtr32(x, y) = uint32_t(y * 4 + x);
    d.CopyRect(d, 1, 1, QRect(0, 0, 3, 3));
    for (int y = 1; y < 4; ++y)
        for (int x = 1; x < 4; ++x)
            ASSERT_EQ(Px(d, x, y), uint32_t((y - 1) * 4 + x - 1));
}

TEST(DibCopy, BorderReplicatesOrZeroes) {
    TDIB s(2, 2, 32);
    *s.PixelPtr32(0, 0) = 1;
    *s.PixelPtr32(1, 0) = 2;
    *s.PixelPtr32(0, 1) = 3;
    *s.PixelPtr32(1, 1) = 4;
    TDIB d(5, 4, 32);
    s.CopyRectBorder(d, 0, 0, QRect(0, 0, 2, 2), QMargins(1, 1, 2, 1), true);
    const uint32_t want[4][5] = {{1, 1, 2, 2, 2}, {1, 1, 2, 2, 2}, {3, 3, 4, 4, 4}, {3, 3, 4, 4, 4}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(Px(d, x, y), want[y][x]) << x << "," << y;
    d.FillRect(QRect(0, 0, 5, 4), 0xFFFFFFFF);
    s.CopyRectBorder(d, 0, 0, QRect(0, 0, 2, 2), QMargins(1, 1, 2, 1), false);
    EXPECT_EQ(Px(d, 0, 0), 0u);
    EXPECT_EQ(Px(d, 1, 1), 1u);
    EXPECT_EQ(Px(d, 4, 2), 0u);
}

TEST(DibGrow, NegativeMarginCropsAndModesFill) {
    TDIB d(4, 2, 32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            *d.PixelPtr32(x, y) = uint32_t(10 * y + x);
    d.Grow(QMargins(-1, 0, 0, 0));
    ASSERT_EQ(d.Width(), 3);
    EXPECT_EQ(Px(d, 0, 0), 1u);
    EXPECT_EQ(Px(d, 2, 1), 13u);
    d.Grow(QMargins(1, 1, 2, 1), TMarginFill::Edge, 0);
    ASSERT_EQ(d.Width(), 6);
    ASSERT_EQ(d.Height(), 4);
    const uint32_t want[4][6] = {
        {1, 1, 2, 3, 3, 3}, {1, 1, 2, 3, 3, 3}, {11, 11, 12, 13, 13, 13}, {11, 11, 12, 13, 13, 13}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(Px(d, x, y), want[y][x]) << x << "," << y;
    d.Grow(QMargins(1, 0, 0, 1), TMarginFill::Colour, 0xFFABCDEF);
    EXPECT_EQ(Px(d, 0, 0), 0xFFABCDEFu);
    EXPECT_EQ(Px(d, 3, 4), 0xFFABCDEFu);
    EXPECT_EQ(Px(d, 1, 0), 1u);
    TDIB e(2, 2, 24);
    e.Grow(QMargins(1, 1, 1, 1), TMarginFill::Leave, 0xFFFFFFFF); // margins as allocated (zero)
    EXPECT_EQ(e.GetPixel(0, 0), 0xFF000000u);
}

// ---- box filter and blur -----------------------------------------------------------------------------

TEST(DibBox, RoundsHalfUpAndSkipsWhenTooSmall) {
    TDIB d(5, 5, 32);
    *d.PixelPtr32(0, 0) = 0x05050504; // sums 4 and 5 over 9 pixels
    d.BoxFilter(QRect(0, 0, 5, 5), QSize(3, 3), QPoint(1, 1));
    EXPECT_EQ(Px(d, 1, 1), 0x01010100u); // (4 + 4) / 9 = 0, (5 + 4) / 9 = 1
    EXPECT_EQ(Px(d, 3, 3), 0u);
    EXPECT_EQ(Px(d, 0, 0), 0x05050504u); // outside the area
    // The image must leave a margin of the anchor's size around the area, else nothing happens.
    TDIB s(5, 5, 32);
    *s.PixelPtr32(1, 1) = 0xFFFFFFFF;
    s.BoxFilter(QRect(0, 0, 5, 5), QSize(3, 3), QPoint(1, 2));
    EXPECT_EQ(Px(s, 1, 1), 0xFFFFFFFFu);
    s.BoxFilter(QRect(0, 0, 4, 4), QSize(3, 3), QPoint(1, 1));
    EXPECT_EQ(Px(s, 1, 1), 0x1C1C1C1Cu); // 255 / 9 rounded
}

TEST(DibBox, BlurKeepsFlatAreasAndSpreadsAnEdge) {
    TDIB d(20, 9, 24);
    d.FillRect(QRect(0, 0, 20, 9), 0xFF404040);
    d.FillRect(QRect(10, 0, 10, 9), 0xFFC0C0C0);
    d.Blur(QRect(0, 0, 20, 9), QSize(5, 5), 2);
    EXPECT_EQ(d.GetPixel(0, 4), 0xFF404040u);
    EXPECT_EQ(d.GetPixel(19, 0), 0xFFC0C0C0u);
    const int left = d.GetPixel(9, 4) & 0xFF, right = d.GetPixel(10, 4) & 0xFF;
    EXPECT_GT(left, 0x40);
    EXPECT_LT(right, 0xC0);
    EXPECT_LT(left, right);
    // Rows agree: the replicated border adds nothing vertically.
    EXPECT_EQ(d.GetPixel(9, 0), d.GetPixel(9, 8));
}

// ---- resamplers --------------------------------------------------------------------------------------

TEST(DibResize, NearestZoomShowsImageAtOffsetOverZoom) {
    TDIB s(20, 10, 32);
    FillRandom(s, 21);
    TDIB d(64, 40, 32);
    const int offset = 5;
    s.ResizeSqr(d, QRect(0, 0, 20, 10), TInterpolation::Nearest, 8, 8, -offset, -offset, QRect(0, 0, 64, 40));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(Px(d, x, y), Px(s, (x + offset) / 8, (y + offset) / 8)) << x << "," << y;
}

TEST(DibResize, LinearAndSuperSamplingKnownValues) {
    TDIB s(4, 1, 32);
    const uint32_t v[4] = {10, 20, 30, 50};
    for (int i = 0; i < 4; ++i)
        *s.PixelPtr32(i, 0) = v[i];
    TDIB d(4, 1, 32);
    s.Resize(d, QRect(0, 0, 4, 1), QRect(2, 0, 2, 1), TInterpolation::SuperSampling);
    EXPECT_EQ(Px(d, 2, 0), 15u);
    EXPECT_EQ(Px(d, 3, 0), 40u);
    EXPECT_EQ(Px(d, 0, 0), 0u);
    TDIB t(2, 1, 32);
    *t.PixelPtr32(0, 0) = 0;
    *t.PixelPtr32(1, 0) = 100;
    TDIB u(4, 1, 32);
    t.Resize(u, QRect(0, 0, 2, 1), QRect(0, 0, 4, 1), TInterpolation::Linear);
    EXPECT_EQ(Px(u, 0, 0), 0u);
    EXPECT_EQ(Px(u, 1, 0), 25u);
    EXPECT_EQ(Px(u, 2, 0), 75u);
    EXPECT_EQ(Px(u, 3, 0), 100u);
}

TEST(DibResize, CenterStaysInPlace) {
    TDIB s(8, 8, 24);
    FillRandom(s, 22);
    TDIB d(8, 8, 24);
    s.ResizeCenter(d, QRect(0, 0, 8, 8), 2, 2, 4, 4, TInterpolation::Nearest);
    EXPECT_EQ(d.GetPixel(4, 4), s.GetPixel(4, 4));
    EXPECT_EQ(d.GetPixel(3, 3), s.GetPixel(3, 3));
    EXPECT_EQ(d.GetPixel(0, 0), s.GetPixel(2, 2));
}

struct ResizeCase {
    int bits;
    TInterpolation mode;
    double fx, fy, sx, sy;
};
class DibResizeModel : public testing::TestWithParam<ResizeCase> {};

TEST_P(DibResizeModel, WithinOneOfTheDoubleModel) {
    const ResizeCase c = GetParam();
    TDIB s(37, 23, c.bits);
    FillRandom(s, uint32_t(int(c.mode) * 100 + c.bits));
    const int dw = int(37 * c.fx) + 9, dh = int(23 * c.fy) + 7;
    TDIB fast(dw, dh, c.bits), model(dw, dh, c.bits);
    const QRect src(2, 1, 33, 21), clip(1, 1, dw - 2, dh - 1);
    s.ResizeSqr(fast, src, c.mode, c.fx, c.fy, c.sx, c.sy, clip);
    DibOps::ResizeSqrModel(s.ConstView(), src, model.View(), clip, c.fx, c.fy, c.sx, c.sy, c.mode);
    const int bpp = c.bits / 8;
    int worst = 0;
    for (int y = 0; y < dh; ++y)
        for (int i = 0; i < dw * bpp; ++i)
            worst = std::max(worst, std::abs(fast.PixelPtr(0, y)[i] - model.PixelPtr(0, y)[i]));
    EXPECT_LE(worst, c.mode == TInterpolation::Nearest ? 0 : 1);
    // The written area matches too: a pixel outside it stays zero in both.
    EXPECT_EQ(fast.GetPixel(0, 0), model.GetPixel(0, 0));
}

INSTANTIATE_TEST_SUITE_P(Modes, DibResizeModel,
                         testing::Values(ResizeCase{32, TInterpolation::Nearest, 8, 8, -3, -5},
                                         ResizeCase{24, TInterpolation::Nearest, 1.7, 0.6, 0.5, 2},
                                         ResizeCase{32, TInterpolation::Linear, 1.5, 1.5, -1, 0},
                                         ResizeCase{24, TInterpolation::Linear, 0.45, 2.2, 0, 0},
                                         ResizeCase{32, TInterpolation::Cubic, 8, 8, -7, -2},
                                         ResizeCase{24, TInterpolation::Cubic, 0.7, 1.3, 1, 1},
                                         ResizeCase{32, TInterpolation::SuperSampling, 0.37, 0.51, 0, 0},
                                         ResizeCase{24, TInterpolation::SuperSampling, 0.13, 0.25, 2, 0},
                                         ResizeCase{32, TInterpolation::Lanczos, 0.6, 0.6, 0, 0},
                                         ResizeCase{24, TInterpolation::Lanczos, 2.5, 1.1, -2, 3}),
                         [](const auto& info) {
                             const ResizeCase& c = info.param;
                             return InterpolationName(c.mode) + NamePart(c.bits) + "BitsFactor" +
                                    NamePart(c.fx) + "x" + NamePart(c.fy) + "Shift" + NamePart(c.sx) + "x" +
                                    NamePart(c.sy);
                         });

TEST(DibWarp, IdentityQuadCopiesAndMirrorFlips) {
    TDIB s(12, 8, 32);
    FillRandom(s, 30);
    TDIB d(12, 8, 32);
    const std::array<QPointF, 4> rect = {QPointF(0, 0), QPointF(12, 0), QPointF(12, 8), QPointF(0, 8)};
    s.WarpQuad(d, QRect(0, 0, 12, 8), QRect(0, 0, 12, 8), rect, rect, TInterpolation::Linear);
    int worst = 0;
    for (int y = 0; y < 8; ++y)
        for (int i = 0; i < 48; ++i)
            worst = std::max(worst, std::abs(d.PixelPtr(0, y)[i] - s.PixelPtr(0, y)[i]));
    EXPECT_LE(worst, 1);
    TDIB m(12, 8, 32);
    const std::array<QPointF, 4> mirrored = {QPointF(12, 0), QPointF(0, 0), QPointF(0, 8), QPointF(12, 8)};
    s.WarpQuad(m, QRect(0, 0, 12, 8), QRect(0, 0, 12, 8), rect, mirrored, TInterpolation::Nearest);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(Px(m, x, y), Px(s, 11 - x, y));
    // Outside the destination quadrangle nothing is written.
    TDIB t(12, 8, 32);
    const std::array<QPointF, 4> small = {QPointF(2, 2), QPointF(6, 2), QPointF(6, 6), QPointF(2, 6)};
    s.WarpQuad(t, QRect(0, 0, 12, 8), QRect(0, 0, 12, 8), rect, small, TInterpolation::Linear);
    EXPECT_EQ(Px(t, 0, 0), 0u);
    EXPECT_EQ(Px(t, 8, 7), 0u);
    EXPECT_NE(Px(t, 4, 4), 0u);
}

namespace {

// The projective map taking the four points `from` to `to`, solved as an 8x8 linear system.
std::array<double, 9> SolveHomography(const std::array<QPointF, 4>& from, const std::array<QPointF, 4>& to) {
    double a[8][9] = {};
    for (int i = 0; i < 4; ++i) {
        const double x = from[i].x(), y = from[i].y(), u = to[i].x(), v = to[i].y();
        const double r0[9] = {x, y, 1, 0, 0, 0, -u * x, -u * y, u};
        const double r1[9] = {0, 0, 0, x, y, 1, -v * x, -v * y, v};
        std::copy(r0, r0 + 9, a[2 * i]);
        std::copy(r1, r1 + 9, a[2 * i + 1]);
    }
    for (int c = 0; c < 8; ++c) {
        int p = c;
        for (int r = c + 1; r < 8; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
        std::swap(a[c], a[p]);
        for (int r = 0; r < 8; ++r)
            if (r != c) {
                const double f = a[r][c] / a[c][c];
                for (int k = c; k < 9; ++k)
                    a[r][k] -= f * a[c][k];
            }
    }
    std::array<double, 9> h{};
    for (int i = 0; i < 8; ++i)
        h[i] = a[i][8] / a[i][i];
    h[8] = 1;
    return h;
}

} // namespace

TEST(DibWarp, PerspectiveMatchesADoubleModel) {
    TDIB s(40, 30, 32);
    FillRandom(s, 31);
    TDIB d(50, 40, 32);
    const std::array<QPointF, 4> src = {QPointF(2, 1), QPointF(38, 3), QPointF(37, 29), QPointF(1, 27)};
    const std::array<QPointF, 4> dst = {QPointF(6, 4), QPointF(45, 8), QPointF(41, 36), QPointF(3, 33)};
    s.WarpQuad(d, QRect(0, 0, 40, 30), QRect(0, 0, 50, 40), src, dst, TInterpolation::Linear);
    const auto h = SolveHomography(dst, src);
    auto edgeDistance = [&](double x, double y) {
        double best = 1e9;
        for (int i = 0; i < 4; ++i) {
            const QPointF p = dst[i], q = dst[(i + 1) % 4];
            const double len = std::hypot(q.x() - p.x(), q.y() - p.y());
            const double c = ((q.x() - p.x()) * (y - p.y()) - (q.y() - p.y()) * (x - p.x())) / len;
            best = std::min(best, c);
        }
        return best; // positive inside (clockwise on screen)
    };
    int compared = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) {
            const double cx = x + 0.5, cy = y + 0.5, e = edgeDistance(cx, cy);
            if (e < -0.01) {
                ASSERT_EQ(Px(d, x, y), 0u) << x << "," << y; // outside: untouched
                continue;
            }
            if (e < 0.01) continue; // on an edge: either answer is right
            const double w = h[6] * cx + h[7] * cy + h[8];
            const double u = (h[0] * cx + h[1] * cy + h[2]) / w - 0.5,
                         v = (h[3] * cx + h[4] * cy + h[5]) / w - 0.5;
            const int x0 = int(std::floor(u)), y0 = int(std::floor(v));
            const double ax = u - x0, ay = v - y0;
            auto at = [&](int i, int j, int c) {
                return double(s.PixelPtr(std::clamp(i, 0, 39), std::clamp(j, 0, 29))[c]);
            };
            for (int c = 0; c < 4; ++c) {
                const double want = (1 - ay) * ((1 - ax) * at(x0, y0, c) + ax * at(x0 + 1, y0, c)) +
                                    ay * ((1 - ax) * at(x0, y0 + 1, c) + ax * at(x0 + 1, y0 + 1, c));
                ASSERT_LE(std::fabs(d.PixelPtr(x, y)[c] - want), 1.6) << x << "," << y << " c" << c;
            }
            ++compared;
        }
    EXPECT_GT(compared, 900);
}

namespace {

struct WarpCase {
    const char* name;
    QRect srcRect; // inside a 37 x 23 source
    std::array<QPointF, 4> srcQuad;
    std::array<QPointF, 4> dstQuad; // onto a 45 x 31 destination
    QRect clip;
};

std::ostream& operator<<(std::ostream& os, const WarpCase& c) {
    return os << c.name;
}

class DibWarpFast : public testing::TestWithParam<WarpCase> {};

} // namespace

// The linear warp's two-pixel loop against the plain per-pixel one: the same bits, including the
// replicated edges, the odd pixel at a row's end, clipping and points that draw nothing.
TEST_P(DibWarpFast, LinearMatchesThePlainLoop) {
    const WarpCase& c = GetParam();
    TDIB src(37, 23, 32);
    FillRandom(src, 50);
    TDIB fast(45, 31, 32), plain(45, 31, 32);
    FillRandom(fast, 51);
    plain = Copy(fast);
    const bool a = DibOps::WarpQuad(src.ConstView(), c.srcRect, c.srcQuad, fast.View(), c.clip, c.dstQuad,
                                    TInterpolation::Linear);
    const bool b = DibOps::WarpQuadRef(src.ConstView(), c.srcRect, c.srcQuad, plain.View(), c.clip, c.dstQuad,
                                       TInterpolation::Linear);
    ASSERT_EQ(a, b);
    for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 45; ++x)
            ASSERT_EQ(Px(fast, x, y), Px(plain, x, y)) << x << "," << y;
    // Something was drawn at all (the destination started as noise, so compare with a fresh copy).
    TDIB untouched(45, 31, 32);
    FillRandom(untouched, 51);
    EXPECT_FALSE(SamePixels(fast, untouched));
}

INSTANTIATE_TEST_SUITE_P(
    Quads, DibWarpFast,
    testing::Values(WarpCase{"identity",
                             QRect(0, 0, 37, 23),
                             {QPointF(0, 0), QPointF(37, 0), QPointF(37, 23), QPointF(0, 23)},
                             {QPointF(0, 0), QPointF(37, 0), QPointF(37, 23), QPointF(0, 23)},
                             QRect(0, 0, 45, 31)},
                    WarpCase{"swaying card",
                             QRect(0, 0, 37, 23),
                             {QPointF(0, 0), QPointF(37, 0), QPointF(37, 23), QPointF(0, 23)},
                             {QPointF(3.3, 1.7), QPointF(41.2, 4.1), QPointF(39.6, 29.4), QPointF(1.2, 27.9)},
                             QRect(0, 0, 45, 31)},
                    WarpCase{"strong perspective",
                             QRect(0, 0, 37, 23),
                             {QPointF(1, 2), QPointF(36, 0.5), QPointF(35, 22), QPointF(0.5, 21)},
                             {QPointF(15, 2), QPointF(30, 2), QPointF(44, 30), QPointF(0.5, 30)},
                             QRect(0, 0, 45, 31)},
                    WarpCase{"enlarged, reads replicated edges",
                             QRect(0, 0, 37, 23),
                             {QPointF(-6, -4), QPointF(43, -4), QPointF(43, 27), QPointF(-6, 27)},
                             {QPointF(0, 0), QPointF(45, 0), QPointF(45, 31), QPointF(0, 31)},
                             QRect(0, 0, 45, 31)},
                    WarpCase{"part of the source",
                             QRect(5, 3, 11, 9),
                             {QPointF(4, 2), QPointF(17, 3), QPointF(16, 13), QPointF(5, 12)},
                             {QPointF(2.5, 2.5), QPointF(40.5, 6), QPointF(42, 28.5), QPointF(4, 25)},
                             QRect(0, 0, 45, 31)},
                    WarpCase{"mirrored and rotated",
                             QRect(0, 0, 37, 23),
                             {QPointF(0, 0), QPointF(37, 0), QPointF(37, 23), QPointF(0, 23)},
                             {QPointF(40, 28), QPointF(5, 30), QPointF(3, 2), QPointF(42, 1)},
                             QRect(0, 0, 45, 31)},
                    WarpCase{"clipped and off the edges",
                             QRect(0, 0, 37, 23),
                             {QPointF(0, 0), QPointF(37, 0), QPointF(37, 23), QPointF(0, 23)},
                             {QPointF(-9, -5), QPointF(50, -2), QPointF(47, 40), QPointF(-4, 35)},
                             QRect(3, 4, 31, 19)},
                    WarpCase{
                        "odd one-pixel spans",
                        QRect(0, 0, 37, 23),
                        {QPointF(0, 0), QPointF(37, 0), QPointF(37, 23), QPointF(0, 23)},
                        {QPointF(22.5, 0.2), QPointF(44.8, 15.5), QPointF(22.5, 30.8), QPointF(0.2, 15.5)},
                        QRect(0, 0, 45, 31)},
                    WarpCase{"source through infinity",
                             QRect(0, 0, 37, 23),
                             {QPointF(0, 0), QPointF(37, 0), QPointF(0, 23), QPointF(37, 23)},
                             {QPointF(2, 2), QPointF(43, 2), QPointF(43, 29), QPointF(2, 29)},
                             QRect(0, 0, 45, 31)}),
    [](const auto& info) {
        // "swaying card" becomes "SwayingCard".
        std::string n;
        bool wordStart = true;
        for (const char* p = info.param.name; *p; ++p) {
            const char c = *p;
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                wordStart = true;
                continue;
            }
            n += wordStart ? char(std::toupper(static_cast<unsigned char>(c))) : c;
            wordStart = false;
        }
        return n;
    });

TEST(DibResize, InPlaceReadsTheOriginalPixels) {
    for (TInterpolation mode : {TInterpolation::Nearest, TInterpolation::Linear}) {
        TDIB a(16, 8, 32);
        FillRandom(a, 40);
        TDIB copy = Copy(a), expected(16, 8, 32);
        copy.ResizeSqr(expected, QRect(0, 0, 8, 4), mode, 2, 2, 0, 0, QRect(0, 0, 16, 8));
        a.ResizeSqr(a, QRect(0, 0, 8, 4), mode, 2, 2, 0, 0, QRect(0, 0, 16, 8));
        EXPECT_TRUE(SamePixels(a, expected)) << InterpolationName(mode);
    }
}

TEST(DibResize, NumbersNamingNoInterpolationAreRefused) {
    for (TInterpolation mode : {TInterpolation::Nearest, TInterpolation::Linear, TInterpolation::Cubic,
                                TInterpolation::SuperSampling, TInterpolation::Lanczos})
        EXPECT_EQ(InterpolationFromInt(int(mode)), mode) << InterpolationName(mode);
    TDIB s(8, 8, 32), d(16, 16, 32);
    for (int number : {-1, 0, 3, 5, 32}) {
        EXPECT_FALSE(InterpolationFromInt(number)) << number;
        EXPECT_FALSE(DibOps::ResizeSqr(s.ConstView(), QRect(0, 0, 8, 8), d.View(), QRect(0, 0, 16, 16), 2, 2,
                                       0, 0, TInterpolation(number)))
            << number;
    }
}

// ---- alpha bands ---------------------------------------------------------------------------------------

namespace {
// A 32-bit image of the rows' letters: '#' opaque, '+' alpha 128, '-' alpha 127, '.' transparent.
TDIB FromRows(const std::vector<std::string>& rows) {
    TDIB d(int(rows[0].size()), int(rows.size()), 32);
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x) {
            const char c = rows[size_t(y)][size_t(x)];
            *d.PixelPtr32(x, y) = c == '#'   ? 0xFF102030u
                                  : c == '+' ? 0x80000000u
                                  : c == '-' ? 0x7F7F7F7Fu
                                             : 0;
        }
    return d;
}

std::vector<QRect> Bands(TDIB& d, const QRect& r, bool fast) {
    std::vector<QRect> out{QRect(9, 9, 9, 9)}; // stale contents are cleared
    (fast ? DibOps::AlphaBands : DibOps::AlphaBandsRef)(d.ConstView(), r, 128, out);
    return out;
}
} // namespace

TEST(DibAlphaBands, NamedShapes) {
    struct Case {
        const char* name;
        std::vector<std::string> rows;
        std::vector<QRect> bands;
    };
    const std::vector<Case> cases = {
        {"empty", {"....", "...."}, {}},
        {"full", {"###", "###"}, {QRect(0, 0, 3, 2)}},
        {"half alpha counts, just below does not", {"-+-+"}, {QRect(1, 0, 1, 1), QRect(3, 0, 1, 1)}},
        {"a hole splits its rows into a band of two",
         {"#####", "##.##", "##.##", "#####"},
         {QRect(0, 0, 5, 1), QRect(0, 1, 2, 2), QRect(3, 1, 2, 2), QRect(0, 3, 5, 1)}},
        {"an empty row ends a band", {"##", "..", "##"}, {QRect(0, 0, 2, 1), QRect(0, 2, 2, 1)}},
        {"slanted edges give a band per row", {"###.", ".###"}, {QRect(0, 0, 3, 1), QRect(1, 1, 3, 1)}},
        {"one pixel", {"#"}, {QRect(0, 0, 1, 1)}},
        {"runs across and ending at 64-pixel blocks",
         {std::string(60, '.') + std::string(10, '#') + std::string(57, '.') + "###"},
         {QRect(60, 0, 10, 1), QRect(127, 0, 3, 1)}},
        {"a run exactly one block long", {std::string(64, '#') + "."}, {QRect(0, 0, 64, 1)}},
    };
    for (const Case& c : cases) {
        TDIB d = FromRows(c.rows);
        const QRect all(0, 0, d.Width(), d.Height());
        EXPECT_EQ(Bands(d, all, true), c.bands) << c.name;
        EXPECT_EQ(Bands(d, all, false), c.bands) << c.name << " (plain loop)";
    }
    // An inner area: rectangles are relative to its corner.
    TDIB d = FromRows({"#....", "..##.", "....."});
    EXPECT_EQ(Bands(d, QRect(1, 1, 4, 2), true), std::vector<QRect>{QRect(1, 0, 2, 1)});
}

TEST(DibAlphaBands, RandomShapesAreCoveredExactlyInBandsLikeThePlainLoop) {
    std::mt19937 rng(3);
    for (int w : {1, 3, 63, 64, 65, 131, 500}) {
        // Blobs of every alpha over transparency, rows often alike so that bands form.
        TDIB d(w + 2, 40, 32);
        d.FillRect(QRect(0, 0, d.Width(), d.Height()), 0, 256);
        for (int k = 0; k < 12; ++k) {
            const int x = int(rng() % uint32_t(w)), y = int(rng() % 40u);
            const QRect blob(x + 1, y, 1 + int(rng() % uint32_t(w)), 1 + int(rng() % 12u));
            const uint32_t a = rng() % 256;
            d.FillRect(blob.intersected(QRect(1, 0, w, 40)), a << 24, 256);
        }
        const QRect area(1, 0, w, 40);
        const std::vector<QRect> bands = Bands(d, area, true);
        ASSERT_EQ(bands, Bands(d, area, false)) << w;
        std::vector<int> covered(size_t(w) * 40, 0);
        for (size_t i = 0; i < bands.size(); ++i) {
            const QRect& b = bands[i];
            if (i > 0) {
                const QRect& p = bands[i - 1];
                const bool sameBand = p.top() == b.top();
                EXPECT_TRUE(sameBand ? p.height() == b.height() && p.right() + 1 < b.left()
                                     : p.bottom() < b.top())
                    << "not banded at " << i << " width " << w;
            }
            for (int y = b.top(); y <= b.bottom(); ++y)
                for (int x = b.left(); x <= b.right(); ++x)
                    ++covered[size_t(y) * w + x];
        }
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(covered[size_t(y) * w + x], int(Px(d, x + 1, y) >> 24) >= 128 ? 1 : 0)
                    << x << "," << y << " width " << w;
    }
}
