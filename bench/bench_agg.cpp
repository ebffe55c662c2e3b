// The vector wrapper at screen size: the overlay's lasso cut (blend mode clear) and dashed outline on a
// 3840x2160 32-bit image, ink strokes, and the export caption in its two passes.
// Targets: lasso cut < 15 ms, dashed outline < 10 ms, 40-character caption < 5 ms once the font is known.
#include "Agg_2D_DIB.h"
#include "DIBmp.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// A hand-drawn-looking lasso of `count` points covering much of a 4K screen.
std::vector<double> ScreenLasso(int count) {
    std::vector<double> pts;
    pts.reserve(size_t(count) * 2);
    for (int i = 0; i < count; ++i) {
        const double t = 2 * M_PI * i / count;
        const double r = 900 * (1 + 0.15 * std::sin(5 * t) + 0.05 * std::sin(37 * t));
        pts.push_back(1920 + 1.8 * r * std::cos(t) + 0.5);
        pts.push_back(1080 + r * std::sin(t) + 0.5);
    }
    return pts;
}

void FillOpaque(TDIB& dib) {
    std::memset(dib.Bits(), 0xFF, size_t(dib.BytesPerRow()) * dib.Height());
}

void BM_LassoCutClear4K(benchmark::State& state) {
    TDIB dib(3840, 2160, 32);
    FillOpaque(dib);
    TAgg2D agg;
    agg.Attach(dib);
    const auto lasso = ScreenLasso(2000);
    for (auto _ : state) {
        agg.SetClipBox(0, 0, dib.Width(), dib.Height());
        agg.SetBlendMode(AggBlendClear);
        agg.Polygon(lasso.data(), 2000, PathDrawMode::FillOnly);
        agg.SetBlendMode(AggBlendAlpha);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LassoCutClear4K)->Unit(benchmark::kMillisecond);

void BM_LassoDashedOutline4K(benchmark::State& state) {
    TDIB dib(3840, 2160, 32);
    FillOpaque(dib);
    TAgg2D agg;
    agg.Attach(dib);
    agg.SetLineColorArgb(0xFF1D649E);
    TAggDashStroke outline(agg.Curve());
    outline.SetDash(10, 12);
    outline.SetDashStart(4);
    outline.SetWidth(9);
    const auto lasso = ScreenLasso(2000);
    for (auto _ : state) {
        agg.Path().RemoveAll();
        agg.Path().MoveTo(lasso[0], lasso[1]);
        for (size_t i = 2; i < lasso.size(); i += 2)
            agg.Path().LineTo(lasso[i], lasso[i + 1]);
        agg.ClosePolygon();
        agg.Rasterizer().Reset();
        agg.Rasterizer().AddPath(outline);
        agg.RenderCoverage(false);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LassoDashedOutline4K)->Unit(benchmark::kMillisecond);

// One ink stroke of 500 points at pen width 17 on the 4K overlay image.
void BM_InkStroke4K(benchmark::State& state) {
    TDIB dib(3840, 2160, 32);
    FillOpaque(dib);
    TAgg2D agg;
    agg.Attach(dib);
    std::vector<double> pts;
    for (int i = 0; i < 500; ++i) {
        pts.push_back(200 + i * 6.5);
        pts.push_back(1000 + 300 * std::sin(i * 0.05));
    }
    agg.SetLineWidth(17);
    agg.SetLineColorArgb(0xC0E02020);
    for (auto _ : state) {
        agg.Polyline(pts.data(), 500);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_InkStroke4K)->Unit(benchmark::kMillisecond);

const char* const Caption40 = "Vexmor capture of the quarterly report 4"; // 40 characters

void DrawCaption(TAgg2D& agg, TDIB& dib, const char* text) {
    agg.SetTextHints(true);
    agg.SetNoFill();
    agg.SetLineColor(0, 0, 0, 230);
    agg.SetLineWidth(4);
    agg.SetFont("Trebuchet MS", false, 32, false, 0);
    benchmark::DoNotOptimize(agg.TextWidth(text));
    agg.DrawText(text, true, 12, dib.Height() - 20);
    agg.SetFillColor(255, 255, 255, 255);
    agg.SetLineWidth(0);
    agg.DrawText(text, true, 12, dib.Height() - 20);
}

// The export makes a new wrapper for each file; the typeface match is kept process-wide.
void BM_Caption40NewWrapper(benchmark::State& state) {
    TDIB dib(1920, 1080, 24);
    std::memset(dib.Bits(), 0x80, size_t(dib.BytesPerRow()) * dib.Height());
    {
        TAgg2D first;
        first.Attach(dib);
        DrawCaption(first, dib, Caption40);
    }
    for (auto _ : state) {
        TAgg2D agg;
        agg.Attach(dib);
        DrawCaption(agg, dib, Caption40);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Caption40NewWrapper)->Unit(benchmark::kMillisecond);

// A wrapper kept alive (as the overlay keeps one): glyphs come from its cache.
void BM_Caption40KeptWrapper(benchmark::State& state) {
    TDIB dib(1920, 1080, 24);
    std::memset(dib.Bits(), 0x80, size_t(dib.BytesPerRow()) * dib.Height());
    TAgg2D agg;
    agg.Attach(dib);
    DrawCaption(agg, dib, Caption40);
    for (auto _ : state) {
        agg.Attach(dib);
        DrawCaption(agg, dib, Caption40);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Caption40KeptWrapper)->Unit(benchmark::kMillisecond);

void BM_Caption40Chinese(benchmark::State& state) {
    TDIB dib(1920, 1080, 24);
    std::memset(dib.Bits(), 0x80, size_t(dib.BytesPerRow()) * dib.Height());
    const char* text = "屏幕截图 - 季度报告 Vexmor 文档编辑器 2026 年 12 月 8 日"; // 40 code points
    TAgg2D agg;
    agg.Attach(dib);
    DrawCaption(agg, dib, text);
    for (auto _ : state) {
        DrawCaption(agg, dib, text);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Caption40Chinese)->Unit(benchmark::kMillisecond);

} // namespace
