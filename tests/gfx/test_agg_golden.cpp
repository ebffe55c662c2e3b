// Anti-aliased art of the wrapper compared with reviewed PNGs in tests/data/agg: a colour tolerance per
// channel, and a small budget of differing pixels allowed only next to edges (glyph hinting and font
// versions move edges by a fraction of a pixel). VEXMOR_UPDATE_GOLDEN=1 rewrites the PNGs instead.
#include "Agg_2D_DIB.h"
#include "DIBmp.h"
#include "GoldenImage.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

QImage View(TDIB& dib) {
    return QImage(dib.Bits(), dib.Width(), dib.Height(), dib.BytesPerRow(),
                  dib.BitCount() == 32 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_BGR888);
}

void CompareWithGolden(TDIB& dib, const std::string& name) {
    const QString base = QString::fromStdString(name);
    ExpectLikeGolden(View(dib).convertToFormat(QImage::Format_ARGB32_Premultiplied),
                     QStringLiteral(VEXMOR_TEST_DATA "/agg/") + base + ".png",
                     QStringLiteral(VEXMOR_BUILD_DIR "/") + base + "-actual.png");
}

// A picture with colour in every channel, so that a swap of red and blue shows.
void PaintBackground(TDIB& dib) {
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x) {
            uint8_t* p = dib.PixelPtr(x, y);
            p[0] = uint8_t(60 + x * 150 / dib.Width());
            p[1] = uint8_t(90 + y * 120 / dib.Height());
            p[2] = uint8_t((x / 8 + y / 8) % 2 ? 200 : 150);
            if (dib.BitCount() == 32) p[3] = 255;
        }
}

std::vector<double> Lasso(double cx, double cy, double radius, int count) {
    std::vector<double> pts;
    for (int i = 0; i < count; ++i) {
        const double t = 2 * M_PI * i / count;
        const double r = radius * (1 + 0.3 * std::sin(3 * t) + 0.12 * std::cos(7 * t));
        pts.push_back(cx + r * std::cos(t) + 0.5);
        pts.push_back(cy + r * std::sin(t) + 0.5);
    }
    return pts;
}

TEST(TAgg2DGolden, LassoCutWithDashedOutline) {
    TDIB dib(160, 120, 32);
    PaintBackground(dib);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    agg.SetLineWidth(10);
    agg.SetLineColorArgb(0xFF1D649E);
    const auto lasso = Lasso(80, 60, 38, 60);
    agg.SetBlendMode(AggBlendClear);
    agg.Polygon(lasso.data(), int(lasso.size() / 2), PathDrawMode::FillOnly);
    agg.SetBlendMode(AggBlendAlpha);

    TAggDashStroke outline(agg.Curve());
    outline.SetDash(10, 12);
    outline.SetDashStart(4);
    outline.SetWidth(9);
    outline.SetCap(AggLineCap::Round);
    outline.SetJoin(AggLineJoin::Round);
    agg.Path().RemoveAll();
    for (size_t i = 0; i < lasso.size(); i += 2)
        i == 0 ? agg.Path().MoveTo(lasso[i], lasso[i + 1]) : agg.Path().LineTo(lasso[i], lasso[i + 1]);
    agg.ClosePolygon();
    agg.Rasterizer().Reset();
    agg.Rasterizer().AddPath(outline);
    agg.RenderCoverage(false);

    EXPECT_EQ(*dib.PixelPtr32(80, 60), 0u) << "inside the lasso is transparent black";
    CompareWithGolden(dib, "lasso_cut");
}

TEST(TAgg2DGolden, RoundCappedInk) {
    TDIB dib(220, 110, 24);
    PaintBackground(dib);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    std::vector<double> wave;
    for (int i = 0; i <= 40; ++i) {
        wave.push_back(20 + i * 4.5);
        wave.push_back(32 + 14 * std::sin(i * 0.3));
    }
    agg.SetLineWidth(6);
    agg.SetLineColorArgb(0xFFE02020);
    agg.Polyline(wave.data(), int(wave.size() / 2));

    for (size_t i = 1; i < wave.size(); i += 2)
        wave[i] += 48;
    agg.SetLineWidth(17);
    agg.SetLineColorArgb(0xA0202080);
    agg.Polyline(wave.data(), int(wave.size() / 2));

    const double closed[] = {160, 20, 200, 35, 185, 60};
    agg.SetLineWidth(6);
    agg.SetLineColorArgb(0xFF10A010);
    agg.Polygon(closed, 3, PathDrawMode::StrokeOnly);
    CompareWithGolden(dib, "ink_6_17");
}

TEST(TAgg2DGolden, HaloedCaptionWithLatinAndChinese) {
    TDIB dib(450, 64, 24);
    PaintBackground(dib);
    TAgg2D agg;
    ASSERT_TRUE(agg.Attach(dib));
    const char* caption = "Vexmor 截图 – Tâche AV: 屏幕 ok";
    agg.SetTextHints(true);
    agg.SetNoFill();
    agg.SetLineColor(0, 0, 0, 230);
    agg.SetLineWidth(4);
    agg.SetFont("Trebuchet MS", false, 26, true, 0); // the export writes its caption in italic
    ASSERT_GT(agg.TextWidth(caption), 300);
    agg.DrawText(caption, true, 12, dib.Height() - 20);
    agg.SetFillColor(255, 255, 255, 255);
    agg.SetLineWidth(0);
    agg.DrawText(caption, true, 12, dib.Height() - 20);
    CompareWithGolden(dib, "caption_halo");
}

} // namespace
