// TDIB shape, sharing, copy-on-write, canvas, conversions and the cell strip.
#include "DIBmp.h"
#include "ParamName.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>

namespace {

void FillRandom(TDIB& d, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < d.Height(); ++y) {
        uint8_t* row = d.PixelPtr(0, y);
        for (int i = 0; i < d.BytesPerRow(); ++i)
            row[i] = uint8_t(rng());
    }
}

uint32_t Px(TDIB& d, int x, int y) {
    return *d.PixelPtr32(x, y);
}

} // namespace

struct ShapeCase {
    int w, h, bits, bytesPerRow, size;
};
class DibShape : public testing::TestWithParam<ShapeCase> {};

TEST_P(DibShape, RowsArePaddedToFourBytes) {
    const ShapeCase c = GetParam();
    TDIB d(c.w, c.h, c.bits);
    EXPECT_EQ(d.BytesPerRow(), c.bytesPerRow);
    EXPECT_EQ(d.Size(), c.size);
    EXPECT_EQ(d.NextLine(), -c.bytesPerRow);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(d.Bits()) % 64, 0u);
    EXPECT_EQ(d.ScanLine(0), d.Bits() + (c.h - 1) * c.bytesPerRow);
}

INSTANTIATE_TEST_SUITE_P(Edge, DibShape,
                         testing::Values(ShapeCase{1, 1, 24, 4, 4}, ShapeCase{3, 2, 24, 12, 24},
                                         ShapeCase{3, 2, 32, 12, 24}, ShapeCase{5, 1, 1, 4, 4},
                                         ShapeCase{9, 2, 4, 8, 16}, ShapeCase{3, 3, 8, 4, 12},
                                         ShapeCase{3, 1, 16, 8, 8}, ShapeCase{33, 1, 1, 8, 8}),
                         [](const auto& info) {
                             const ShapeCase& c = info.param;
                             return "Bits" + NamePart(c.bits) + "Size" + NamePart(c.w) + "x" + NamePart(c.h);
                         });

TEST(Dib, BadBitCountsAndMasksThrowTheFixedMessages) {
    for (int bits : {0, 2, 7, 12, 48}) {
        try {
            TDIB d(4, 4, bits);
            FAIL() << bits;
        } catch (const EInvalidGraphicOperation& e) {
            EXPECT_EQ(std::string(e.what()), "Bitcount in invalid (" + std::to_string(bits) + ")");
        }
    }
    TDIB d(2, 2, 24);
    d.SetPixelFormat(PixelFormat::Make(5, 6, 5));
    try {
        d.SetSize(3, 3, 24);
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_STREQ(e.what(), "PixelFormat in invalid");
    }
    // A failed replacement keeps the old image.
    EXPECT_EQ(d.Width(), 2);
    EXPECT_EQ(d.BitCount(), 24);
    d.SetSize(3, 3, 16); // 5-6-5 is a 16-bit layout
    EXPECT_EQ(d.GetPixelFormat().greenMask, 0x07E0u);
}

TEST(Dib, PixelFormatRecord) {
    const PixelFormat f = PixelFormat::Make(5, 6, 5);
    EXPECT_EQ(f.redMask, 0xF800u);
    EXPECT_EQ(f.greenMask, 0x07E0u);
    EXPECT_EQ(f.blueMask, 0x001Fu);
    EXPECT_EQ(f.redShift, 8u);
    EXPECT_EQ(f.greenShift, 3u);
    EXPECT_EQ(f.blueShift, 3u);
    EXPECT_EQ(f.greenFill, 2u);
    const PixelFormat d = PixelFormat::Default();
    EXPECT_EQ(d.redMask, 0x00FF0000u);
    EXPECT_EQ(d.redShift, 16u);
    EXPECT_EQ(d.blueShift, 0u);
}

TEST(Dib, SetSizeKeepsPixelsOnlyForTheSameShape) {
    TDIB d(4, 3, 24);
    FillRandom(d, 1);
    const uint8_t* before = d.Bits();
    const uint8_t first = d.Bits()[0];
    d.SetSize(4, 3, 24);
    EXPECT_EQ(d.Bits(), before);
    EXPECT_EQ(d.Bits()[0], first);
    d.SetSize(4, 3, 32);
    EXPECT_NE(d.Bits(), nullptr);
    for (int i = 0; i < d.Size(); ++i)
        ASSERT_EQ(d.Bits()[i], 0) << "fresh pixels are zero";
    d.SetSize(0, 3, 32);
    EXPECT_TRUE(d.Empty());
    EXPECT_EQ(d.Width(), 0);
    d.SetWidth(5);
    EXPECT_EQ(d.Width(), 5);
    EXPECT_EQ(d.Height(), 1);
    EXPECT_EQ(d.BitCount(), 8);
}

TEST(Dib, AssignSharesAndCanvasUnshares) {
    TDIB a(8, 8, 32);
    a.FillRect(QRect(0, 0, 8, 8), 0xFF102030);
    TDIB b;
    b = a;
    EXPECT_TRUE(b.SharesWith(a));
    EXPECT_EQ(a.RefCount(), 2);
    // Writes through PixelPtr are seen by both.
    *a.PixelPtr32(1, 1) = 0xFFABCDEF;
    EXPECT_EQ(Px(b, 1, 1), 0xFFABCDEFu);
    // Drawing on the canvas of one leaves the other unchanged.
    QPainter* p = b.Canvas();
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(b.SharesWith(a));
    p->fillRect(QRect(0, 0, 8, 8), QColor(0, 0, 255));
    EXPECT_EQ(Px(b, 0, 0), 0xFF0000FFu);
    EXPECT_EQ(Px(a, 0, 0), 0xFF102030u);
    EXPECT_EQ(Px(b, 1, 1), 0xFF0000FFu);
    EXPECT_EQ(Px(a, 1, 1), 0xFFABCDEFu);
    EXPECT_EQ(a.RefCount(), 1);
}

TEST(Dib, CanvasKeepsPenAcrossReplacementAndMemoryImageGetsOne) {
    TDIB m(4, 4, 24, true);
    EXPECT_TRUE(m.MemoryImage());
    QPainter* p = m.Canvas();
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(m.MemoryImage());
    p->setPen(QColor(255, 0, 0));
    m.SetSize(6, 6, 24);
    p = m.Canvas();
    EXPECT_EQ(p->pen().color(), QColor(255, 0, 0));
    p->drawPoint(2, 2);
    EXPECT_EQ(m.GetPixel(2, 2), 0xFFFF0000u);
}

TEST(Dib, CreateCopyIsPrivate) {
    TDIB a(5, 3, 24, true);
    FillRandom(a, 2);
    TDIB b;
    b.CreateCopy(a, true);
    EXPECT_FALSE(b.SharesWith(a));
    EXPECT_TRUE(b.MemoryImage());
    EXPECT_EQ(0, std::memcmp(a.Bits(), b.Bits(), size_t(a.Size())));
    TDIB c;
    c.CreateCopy(a, false);
    EXPECT_EQ(c.Width(), 5);
    EXPECT_EQ(c.PixelPtr(0, 0)[0], 0);
}

TEST(Dib, ConvertDepths) {
    TDIB a(3, 2, 32);
    *a.PixelPtr32(0, 0) = 0x80402010;
    *a.PixelPtr32(2, 1) = 0x00FFFFFF;
    a.SetBitCount(24);
    EXPECT_EQ(a.BitCount(), 24);
    // Alpha dropped, colour kept as it stands.
    EXPECT_EQ(a.GetPixel(0, 0), 0xFF402010u);
    EXPECT_EQ(a.GetPixel(2, 1), 0xFFFFFFFFu);
    a.SetBitCount(32);
    EXPECT_EQ(Px(a, 0, 0), 0xFF402010u);
    a.SetBitCount(16);
    EXPECT_EQ(a.GetPixelFormat().redMask, 0x7C00u);
    EXPECT_EQ(a.GetPixel(2, 1), 0xFFFFFFFFu);
    EXPECT_EQ(a.GetPixel(0, 0), 0xFF422110u); // 5 bits per channel, expanded back
    a.SetBitCount(8);
    EXPECT_EQ(a.PaletteCount(), 256);
    EXPECT_EQ(a.GetPixel(2, 1), 0xFFFFFFFFu);
    a.SetBitCount(0);
    EXPECT_TRUE(a.Empty());
}

TEST(Dib, QImageViewsAndCopies) {
    TDIB a(3, 2, 24);
    a.PixelPtr(1, 1)[0] = 0x11; // B
    a.PixelPtr(1, 1)[2] = 0x33; // R
    QImage v = a.AsQImage();
    EXPECT_EQ(v.constBits(), a.Bits());
    EXPECT_EQ(v.pixel(1, 1), 0xFF330011u);
    QImage copy = a.ToQImage();
    EXPECT_NE(copy.constBits(), a.Bits());
    TDIB b = TDIB::FromQImage(copy, 32);
    EXPECT_EQ(Px(b, 1, 1), 0xFF330011u);
}

TEST(Dib, ConstQImageReadsThePixelsAndWritesACopy) {
    TDIB a(3, 2, 32);
    *a.PixelPtr32(2, 1) = 0xFF102030u;
    const TDIB& shown = a;
    QImage v = shown.AsConstQImage();
    EXPECT_EQ(v.constBits(), a.Bits());
    EXPECT_EQ(v.bytesPerLine(), a.BytesPerRow());
    EXPECT_EQ(v.pixel(2, 1), 0xFF102030u);
    v.setPixel(2, 1, 0xFF000000u);
    EXPECT_NE(v.constBits(), a.Bits()) << "writing detaches";
    EXPECT_EQ(Px(a, 2, 1), 0xFF102030u) << "the image keeps its pixels";
}

// Odd widths, so that the rows are padded and the stride is not width times bytes per pixel.
TEST(Dib, ViewsAliasThePixelsWithTheImagesStrideAndDepth) {
    for (const int bits : {24, 32}) {
        SCOPED_TRACE(bits);
        TDIB d(7, 5, bits);
        auto expectView = [&](const DibOps::ConstView& v, int w, int h) {
            EXPECT_EQ(v.bits, d.Bits());
            EXPECT_EQ(v.stride, d.BytesPerRow());
            EXPECT_EQ(v.bpp, bits / 8);
            EXPECT_EQ(QSize(v.width, v.height), QSize(w, h));
            EXPECT_EQ(v.Pixel(w - 1, h - 1), d.PixelPtr(w - 1, h - 1));
        };
        expectView(std::as_const(d).ConstView(), 7, 5);
        expectView(std::as_const(d).ConstView(3, 2), 3, 2);
        // A View reads as a ConstView of the same pixels.
        expectView(d.View(), 7, 5);
        expectView(d.View(3, 2), 3, 2);
        EXPECT_EQ(d.View().Pixel(6, 4), d.PixelPtr(6, 4));
    }
}

TEST(Dib, TempDibIsReusedAndBusyGivesAFreshOne) {
    TDIB* a = GetTempDIB(10, 10);
    EXPECT_EQ(a->BitCount(), 24);
    TDIB* b = GetTempDIB(5, 5);
    EXPECT_NE(a, b);
    ReleaseTempDIB(b);
    ReleaseTempDIB(a);
    TDIB* c = GetTempDIB(4, 20);
    EXPECT_EQ(c, a);
    EXPECT_EQ(c->Width(), 4); // enlarged to exactly the request
    EXPECT_EQ(c->Height(), 20);
    ReleaseTempDIB(c);
    EXPECT_EQ(GetTempDIB(2, 2), a); // larger than asked is fine
    ReleaseTempDIB(a);
}

TEST(Dib, PaletteManagerSharesEqualTables) {
    TDIB a(4, 4, 8), b(4, 4, 8);
    const int before = TPaletteManager::ItemCount();
    TPalette pa = a.Palette(), pb = b.Palette();
    EXPECT_EQ(pa, pb);
    uint32_t red = 0xFF0000;
    b.SetColorTable(&red, 1);
    TPalette pc = b.Palette();
    EXPECT_NE(pc, pa);
    EXPECT_EQ(pc->checksum, 256u + 255u);
    EXPECT_LE(TPaletteManager::ItemCount(), before + 2);
    EXPECT_EQ(TDIB(2, 2, 24).Palette(), nullptr);
}

TEST(DibCells, CellRectAndCounts) {
    TDIBmp strip(90, 15, 32);
    strip.SetILCount(9);
    EXPECT_EQ(strip.CellWidth(), 10);
    EXPECT_EQ(strip.CellCount(), 9);
    EXPECT_EQ(strip.CellRect(2), QRect(20, 0, 10, 15));
    EXPECT_EQ(strip.CellRect(-7), QRect(7, 0, 10, 15));
    strip.SetILCount(-15);
    EXPECT_EQ(strip.CellWidth(), 15);
    EXPECT_EQ(strip.CellCount(), 6);
    TDIBmp copy;
    strip.SetDrawMode(TDIBmpDrawMode::dmAlphaBlend);
    copy = strip;
    EXPECT_EQ(copy.ILCount(), -15);
    EXPECT_EQ(copy.DrawMode(), TDIBmpDrawMode::dmAlphaBlend);
    EXPECT_TRUE(copy.SharesWith(strip));
}

TEST(DibCells, DrawCellAlphaBlendsClippedToTheDestination) {
    TDIBmp strip(4, 2, 32);
    strip.SetILCount(2);
    strip.SetDrawMode(TDIBmpDrawMode::dmAlphaBlend);
    *strip.PixelPtr32(2, 0) = 0x80400000; // half-transparent premultiplied red in cell 1
    *strip.PixelPtr32(3, 0) = 0xFF00FF00;
    TDIB dest(3, 3, 32);
    dest.FillRect(QRect(0, 0, 3, 3), 0xFF0000FF);
    dest.SetClipRect(QRect(0, 0, 2, 3));
    strip.DrawCell(dest, 1, 1, 1);
    // (1,1) gets cell pixel (0,0) of cell 1: 0x40 red + blue * 127/255.
    EXPECT_EQ(Px(dest, 1, 1), 0xFF40007Fu);
    // (2,1) lies outside the clip rectangle.
    EXPECT_EQ(Px(dest, 2, 1), 0xFF0000FFu);
}

TEST(DibDraw, DrawToCopiesWithoutBlendingAndStretchesNearest) {
    TDIB s(2, 2, 32);
    *s.PixelPtr32(0, 0) = 0x80400000; // half-transparent: copied as it stands, not blended
    *s.PixelPtr32(1, 1) = 0xFF00FF00;
    QImage target(4, 4, QImage::Format_ARGB32_Premultiplied);
    target.fill(0xFF0000FF);
    {
        QPainter p(&target);
        s.DrawTo(p, 1, 1, QRect(0, 0, 2, 2));
    }
    EXPECT_EQ(target.pixel(1, 1), 0x80400000u);
    EXPECT_EQ(target.pixel(2, 2), 0xFF00FF00u);
    EXPECT_EQ(target.pixel(0, 0), 0xFF0000FFu);
    QImage big(4, 4, QImage::Format_ARGB32_Premultiplied);
    big.fill(0);
    {
        QPainter p(&big);
        s.Draw(p, QRect(0, 0, 4, 4));
    }
    EXPECT_EQ(big.pixel(1, 1), 0x80400000u);
    EXPECT_EQ(big.pixel(3, 2), 0xFF00FF00u);
    EXPECT_EQ(big.pixel(2, 1), 0u);
    // Image to image: 32 -> 24 drops alpha, clipped at the destination's edge.
    TDIB d(2, 2, 24);
    s.DrawTo(d, 1, 1, QRect(0, 0, 2, 2));
    EXPECT_EQ(d.GetPixel(1, 1), 0xFF400000u);
    EXPECT_EQ(d.GetPixel(0, 0), 0xFF000000u);
}

TEST(Dib, TooLargeIsRefusedAndKeepsTheImage) {
    TDIB d(2, 2, 24);
    EXPECT_THROW(d.SetSize(70000, 70000, 32), std::bad_alloc);
    EXPECT_EQ(d.Width(), 2);
    TDIB e;
    int changes = 0;
    e.OnChange = [&] { ++changes; };
    e.SetSize(3, 3, 24);
    e.Assign(d);
    e.Assign(d); // the same image: nothing
    EXPECT_EQ(changes, 2);
}
