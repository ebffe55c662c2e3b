// BMP write/read of every bit count in both row orders, RLE, PNG, TGA, the stored form, and loaders
// fed hostile data.
#include "DIBmp.h"
#include "ParamName.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

void FillRandom(TDIB& d, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < d.Height(); ++y) {
        uint8_t* row = d.PixelPtr(0, y);
        // Only the picture's bytes; padding stays zero as a file would have it.
        const int bytes = (d.Width() * d.BitCount() + 7) / 8;
        for (int i = 0; i < bytes; ++i)
            row[i] = uint8_t(rng());
        if (d.BitCount() < 8 && (d.Width() * d.BitCount()) % 8)
            row[bytes - 1] &= uint8_t(0xFF << (8 - (d.Width() * d.BitCount()) % 8));
    }
}

bool SamePicture(TDIB& a, TDIB& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) return false;
    return std::memcmp(a.Bits(), b.Bits(), size_t(a.Size())) == 0;
}

QByteArray Bmp(const TDIB& d) {
    QByteArray data;
    QBuffer b(&data);
    b.open(QIODevice::WriteOnly);
    d.SaveToStream(b);
    return data;
}

uint32_t LE32(const QByteArray& d, int at) {
    return uint8_t(d[at]) | uint8_t(d[at + 1]) << 8 | uint8_t(d[at + 2]) << 16 |
           uint32_t(uint8_t(d[at + 3])) << 24;
}
void SetLE32(QByteArray& d, int at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        d[at + i] = char(v >> (8 * i));
}

// The bottom-up twin of a top-down BMP file written by TDIB.
QByteArray BottomUp(const QByteArray& file, const TDIB& d) {
    QByteArray out = file;
    SetLE32(out, 14 + 8, uint32_t(d.Height()));
    const int offset = int(LE32(file, 10)), row = d.BytesPerRow();
    for (int y = 0; y < d.Height(); ++y)
        std::memcpy(out.data() + offset + y * row, file.constData() + offset + (d.Height() - 1 - y) * row,
                    row);
    return out;
}

template <typename F> std::string Message(F f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

// A minimal info-header BMP around the given pixel data.
QByteArray MakeBmp(int w, int h, int bits, int compression, const QByteArray& palette,
                   const QByteArray& pixels, uint32_t clrUsed = 0) {
    QByteArray d(54, 0);
    d[0] = 'B';
    d[1] = 'M';
    SetLE32(d, 2, uint32_t(54 + palette.size() + pixels.size()));
    SetLE32(d, 10, uint32_t(54 + palette.size()));
    SetLE32(d, 14, 40);
    SetLE32(d, 18, uint32_t(w));
    SetLE32(d, 22, uint32_t(h));
    d[26] = 1;
    d[28] = char(bits);
    SetLE32(d, 30, uint32_t(compression));
    SetLE32(d, 46, clrUsed);
    return d + palette + pixels;
}

QByteArray GreyPalette(int n) {
    QByteArray p;
    for (int i = 0; i < n; ++i) {
        const char v = char(i * 255 / (n - 1));
        const char entry[4] = {v, v, v, 0};
        p += QByteArray(entry, 4);
    }
    return p;
}

} // namespace

TEST(DibFiles, StoredFormOfTheIconStrip) {
    TDIB strip(90, 15, 32);
    const QByteArray s = strip.StoredForm();
    ASSERT_EQ(s.size(), 5452);
    const uint32_t want[] = {40, 90, uint32_t(-15), 0x00200001, 3,         5400, 0, 0,
                             0,  0,  0x00FF0000,    0x0000FF00, 0x000000FF};
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(LE32(s, 4 * i), want[i]) << i; // planes 1 and bit count 32 share one word
    const QByteArray file = Bmp(strip);
    EXPECT_EQ(file.left(2), "BM");
    EXPECT_EQ(LE32(file, 2), 14u + 5452u);
    EXPECT_EQ(LE32(file, 6), 0u);
    EXPECT_EQ(LE32(file, 10), 14u + 52u);
    EXPECT_EQ(Bmp(TDIB()).size(), 0);
}

struct DepthCase {
    int bits, w, h;
};
class DibRoundTrip : public testing::TestWithParam<DepthCase> {};

TEST_P(DibRoundTrip, BothRowOrdersGiveTheSamePicture) {
    const auto [bits, w, h] = GetParam();
    TDIB d(w, h, bits);
    FillRandom(d, uint32_t(bits * 7 + w));
    if (bits <= 8) {
        std::vector<uint32_t> table(256);
        for (int i = 0; i < 256; ++i)
            table[i] = uint32_t(i * 0x010203) & 0xFFFFFF;
        d.SetColorTable(table.data(), 256);
    }
    const QByteArray file = Bmp(d);
    TDIB top, bottom;
    top.LoadFromBmpData(file);
    EXPECT_TRUE(SamePicture(top, d));
    for (int i = 0; i < d.PaletteCount(); ++i)
        ASSERT_EQ(top.ColorTable()[i], d.ColorTable()[i]) << i;
    bottom.LoadFromBmpData(BottomUp(file, d));
    EXPECT_TRUE(SamePicture(bottom, d));
    // Loading a bottom-up file yields our own top-down layout when saved again.
    EXPECT_EQ(Bmp(bottom), file);
}

INSTANTIATE_TEST_SUITE_P(EveryBitCount, DibRoundTrip,
                         testing::Values(DepthCase{1, 13, 5}, DepthCase{4, 7, 3}, DepthCase{8, 5, 4},
                                         DepthCase{16, 3, 3}, DepthCase{24, 6, 5}, DepthCase{24, 1, 1},
                                         DepthCase{32, 9, 2}),
                         [](const auto& info) {
                             const DepthCase& c = info.param;
                             return "Bits" + NamePart(c.bits) + "Size" + NamePart(c.w) + "x" + NamePart(c.h);
                         });

TEST(DibFiles, StreamAndFileAndClipboardForms) {
    TDIB d(6, 5, 24);
    FillRandom(d, 4);
    QTemporaryDir dir;
    const QString name = dir.filePath("pic.bmp");
    d.SaveToFile(name);
    TDIB e;
    e.LoadFromFile(name);
    EXPECT_TRUE(SamePicture(e, d));
    TDIB f;
    f.LoadFromClipboardData(d.ClipboardData());
    EXPECT_TRUE(SamePicture(f, d));
    // A stream at its end loads nothing and keeps the image.
    QByteArray none;
    QBuffer b(&none);
    b.open(QIODevice::ReadOnly);
    f.LoadFromStream(b);
    EXPECT_TRUE(SamePicture(f, d));
    // MemoryImage kind survives a load.
    TDIB m(1, 1, 24, true);
    m.LoadFromBmpData(Bmp(d));
    EXPECT_TRUE(m.MemoryImage());
}

TEST(DibFiles, CoreHeaderAndBitfields) {
    // 2x2 8-bit core header: RGBTRIPLE palette, bottom-up.
    QByteArray core(12, 0);
    SetLE32(core, 0, 12);
    core[4] = 2;
    core[6] = 2;
    core[8] = 1;
    core[10] = 8;
    QByteArray pal(256 * 3, 0);
    pal[3] = char(0x11); // entry 1: blue 0x11
    pal[5] = char(0x33); // entry 1: red 0x33
    const QByteArray pixels = QByteArray("\x01\x00\x00\x00\x00\x01\x00\x00", 8);
    TDIB d;
    d.LoadStoredForm(core + pal + pixels);
    ASSERT_EQ(d.Width(), 2);
    EXPECT_EQ(d.GetPixel(0, 1), 0xFF330011u); // first data row is the bottom row
    EXPECT_EQ(d.GetPixel(1, 0), 0xFF330011u);
    EXPECT_EQ(d.GetPixel(0, 0), 0xFF000000u);
    // 16-bit 5-6-5 through BI_BITFIELDS.
    QByteArray masks(12, 0);
    SetLE32(masks, 0, 0xF800);
    SetLE32(masks, 4, 0x07E0);
    SetLE32(masks, 8, 0x001F);
    QByteArray file = MakeBmp(1, 1, 16, 3, masks, QByteArray("\xE0\x07\x00\x00", 4));
    SetLE32(file, 10, 54 + 12);
    TDIB g;
    g.LoadFromBmpData(file);
    EXPECT_EQ(g.GetPixelFormat().greenMask, 0x07E0u);
    EXPECT_EQ(g.GetPixel(0, 0), 0xFF00FF00u);
}

TEST(DibFiles, Rle8WithEveryEscape) {
    // 6x3, bottom-up: row 0: run 3 of 1, absolute 3 (2,3,4) padded; EOL; row 1: delta (2,1); row 2:
    // at x=2: run 2 of 5; end of bitmap.
    const QByteArray rle("\x03\x01\x00\x03\x02\x03\x04\x00\x00\x00\x00\x02\x02\x01\x02\x05\x00\x01", 18);
    TDIB d;
    d.LoadFromBmpData(MakeBmp(6, 3, 8, 1, GreyPalette(256), rle));
    const int want[3][6] = {{0, 0, 5, 5, 0, 0}, {0, 0, 0, 0, 0, 0}, {1, 1, 1, 2, 3, 4}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(d.PixelPtr(x, y)[0], want[y][x]) << x << "," << y;
}

TEST(DibFiles, Rle4RunsAndAbsolute) {
    // 6x1: run of 3 alternating nibbles 1,2; absolute 3 nibbles (7,8,9) padded to 16 bits; end.
    const QByteArray rle("\x03\x12\x00\x03\x78\x90\x00\x01", 8);
    TDIB d;
    d.LoadFromBmpData(MakeBmp(6, 1, 4, 2, GreyPalette(16), rle));
    const uint8_t* row = d.PixelPtr(0, 0);
    EXPECT_EQ(row[0], 0x12);
    EXPECT_EQ(row[1], 0x17);
    EXPECT_EQ(row[2], 0x89);
}

TEST(DibFiles, PngAndTga) {
    QTemporaryDir dir;
    QImage q(5, 3, QImage::Format_ARGB32);
    q.fill(qRgba(200, 100, 50, 128));
    q.setPixel(4, 2, qRgba(255, 0, 0, 255));
    const QString png = dir.filePath("a.png");
    ASSERT_TRUE(q.save(png));
    TDIB d;
    d.LoadFromFile(png);
    ASSERT_EQ(d.BitCount(), 32);
    EXPECT_FALSE(d.MemoryImage());
    EXPECT_EQ(d.GetPixel(4, 2), 0xFFFF0000u);
    EXPECT_EQ(d.GetPixel(0, 0), 0x80643219u); // premultiplied, rounded
    d.PremultiplyOnPngLoad = false;
    d.LoadFromFile(png);
    EXPECT_EQ(d.GetPixel(0, 0), 0x80C86432u);
    QImage rgb(3, 2, QImage::Format_RGB32);
    rgb.fill(qRgb(1, 2, 3));
    ASSERT_TRUE(rgb.save(dir.filePath("b.png")));
    d.LoadFromFile(dir.filePath("b.png"));
    EXPECT_EQ(d.BitCount(), 24);
    EXPECT_EQ(d.GetPixel(2, 1), 0xFF010203u);

    // TGA type 2, 24 bits, 2x2, bottom-up then the same top-down.
    QByteArray tga(18, 0);
    tga[2] = 2;
    tga[12] = 2;
    tga[14] = 2;
    tga[16] = 24;
    const QByteArray px("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C", 12);
    QFile f(dir.filePath("c.tga"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(tga + px);
    f.close();
    d.LoadFromFile(dir.filePath("c.tga"));
    EXPECT_EQ(d.GetPixel(0, 1), 0xFF030201u); // first stored row is the bottom one
    tga[17] = 0x20;
    d.LoadFromTgaData(tga + px);
    EXPECT_EQ(d.GetPixel(0, 0), 0xFF030201u);
}

// ---- hostile input ------------------------------------------------------------------------------------

struct BadCase {
    const char* name;
    QByteArray data;
    const char* message;
};

TEST(DibBadInput, EveryLieEndsInTheFixedMessageAndKeepsTheOldImage) {
    TDIB good(3, 3, 24);
    good.FillRect(QRect(0, 0, 3, 3), 0xFF112233);
    const QByteArray file = Bmp(good);
    auto patched = [&](int at, uint32_t v) {
        QByteArray d = file;
        SetLE32(d, at, v);
        return d;
    };
    const std::vector<BadCase> cases = {
        {"not BM", QByteArray("XM") + file.mid(2), "DIB is invalid"},
        {"short file header", file.left(10), "DIB is invalid"},
        {"three bytes of header", file.left(17), "DIB is invalid"},
        {"header size 41", patched(14, 41), "DIB is invalid"},
        {"truncated pixels", file.left(file.size() - 1), "DIB is invalid"},
        {"zero width", patched(18, 0), "DIB is invalid"},
        {"negative width", patched(18, uint32_t(-3)), "DIB is invalid"},
        {"huge", patched(18, 0x7FFFFFFF), "DIB is invalid"},
        {"too many pixels", patched(22, 0x10000000), "DIB is invalid"},
        {"bit count 7", patched(26, 0x00070001), "Bitcount in invalid (7)"},
        {"compression 9", patched(30, 9), "DIB is invalid"},
        {"RLE8 on 24 bits", patched(30, 1), "DIB is invalid"},
        {"palette past the end", MakeBmp(2, 2, 8, 0, GreyPalette(16), QByteArray(8, 0), 200),
         "DIB is invalid"},
        {"run past the row", MakeBmp(2, 1, 8, 1, GreyPalette(256), QByteArray("\x03\x01\x00\x01", 4)),
         "DIB is invalid"},
        {"absolute past the data", MakeBmp(4, 1, 8, 1, GreyPalette(256), QByteArray("\x00\x04\x01", 3)),
         "DIB is invalid"},
        {"delta past the picture", MakeBmp(4, 2, 8, 1, GreyPalette(256), QByteArray("\x00\x02\x00\x05", 4)),
         "DIB is invalid"},
        {"rows past the picture", MakeBmp(1, 1, 8, 1, GreyPalette(256), QByteArray("\x00\x00\x01\x01", 4)),
         "DIB is invalid"},
        {"RLE without data", MakeBmp(4, 4, 4, 2, GreyPalette(16), QByteArray()), "DIB is invalid"},
        {"huge RLE from a few bytes",
         MakeBmp(16000, 16000, 8, 1, GreyPalette(256), QByteArray("\x00\x01", 2)), "DIB is invalid"},
    };
    for (const BadCase& c : cases) {
        TDIB d;
        d.Assign(good);
        EXPECT_EQ(Message([&] { d.LoadFromBmpData(c.data); }), c.message) << c.name;
        EXPECT_TRUE(d.SharesWith(good)) << c.name;
    }
    TDIB d;
    EXPECT_EQ(Message([&] { d.LoadStoredForm(QByteArray("\x28\x00", 2)); }), "DIB is invalid");
    EXPECT_EQ(Message([&] { d.LoadFromPngData(QByteArray("\x89PNG\r\n\x1a\n garbage")); }), "DIB is invalid");
    QByteArray tga(18, 0);
    tga[2] = 2;
    tga[12] = char(0xFF);
    tga[13] = char(0xFF);
    tga[14] = char(0xFF);
    tga[15] = char(0xFF);
    tga[16] = 32;
    EXPECT_EQ(Message([&] { d.LoadFromTgaData(tga); }), "DIB is invalid");
    tga[2] = 10; // RLE true colour is not read
    EXPECT_EQ(Message([&] { d.LoadFromTgaData(tga); }), "DIB is invalid");
    EXPECT_TRUE(d.Empty());
}

// Every truncation of valid files of every kind is refused or read, never read past.
TEST(DibBadInput, EveryTruncationIsSafe) {
    TDIB d(7, 3, 8);
    FillRandom(d, 8);
    const QByteArray files[] = {Bmp(d),
                                MakeBmp(6, 3, 8, 1, GreyPalette(256),
                                        QByteArray("\x03\x01\x00\x03\x02\x03\x04\x00\x00\x00\x00\x01", 12))};
    for (const QByteArray& file : files)
        for (int n = 0; n < file.size(); ++n) {
            TDIB e;
            try {
                e.LoadFromBmpData(file.left(n));
            } catch (const EInvalidGraphicOperation&) {
            }
        }
}

// The fuzzer's seeds (and any input it once crashed on, kept beside them) load or fail cleanly.
TEST(DibBadInput, SeedCorpusReplays) {
    const QDir dir(QStringLiteral(VEXMOR_TEST_DATA "/dib/seeds"));
    const QStringList names = dir.entryList(QDir::Files);
    ASSERT_GE(names.size(), 20);
    int loaded = 0;
    for (const QString& name : names) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray all = f.readAll();
        const QByteArray data = all.mid(1);
        TDIB d;
        try {
            switch (uint8_t(all[0]) % 4) {
            case 0:
                d.LoadFromBmpData(data);
                break;
            case 1:
                d.LoadStoredForm(data);
                break;
            case 2:
                d.LoadFromPngData(data);
                break;
            default:
                d.LoadFromTgaData(data);
                break;
            }
            loaded += !d.Empty();
        } catch (const EInvalidGraphicOperation&) {
        }
    }
    EXPECT_EQ(loaded, names.size()) << "every seed is a valid file";
}
