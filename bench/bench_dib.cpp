// Image library speed at full-screen sizes, each against a plain memcpy of the same 32-bit frame.
#include "DIBmp.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

TDIB Noise(int w, int h, int bits) {
    TDIB d(w, h, bits);
    std::mt19937 rng(1);
    for (int y = 0; y < h; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(d.PixelPtr(0, y));
        for (int i = 0; i < d.BytesPerRow() / 4; ++i)
            row[i] = rng();
    }
    return d;
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
}

void BM_Memcpy32(benchmark::State& state) {
    const size_t n = size_t(state.range(0)) * state.range(1) * 4;
    std::vector<uint8_t> a(n, 1), b(n);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), n);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Memcpy32)->Apply(Sizes);

void BM_CopyRect(benchmark::State& state, int from, int to) {
    const int w = int(state.range(0)), h = int(state.range(1));
    TDIB s = Noise(w, h, from), d(w, h, to);
    for (auto _ : state) {
        s.CopyRect(d, 0, 0, QRect(0, 0, w, h));
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(BM_CopyRect, 24to24, 24, 24)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_CopyRect, 32to32, 32, 32)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_CopyRect, 24to32, 24, 32)->Apply(Sizes);

void BM_FillRectAlpha(benchmark::State& state, int bits) {
    const int w = int(state.range(0)), h = int(state.range(1));
    TDIB d = Noise(w, h, bits);
    for (auto _ : state) {
        d.FillRect(QRect(0, 0, w, h), 0xFF204060, 100);
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(BM_FillRectAlpha, 32, 32)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_FillRectAlpha, 24, 24)->Apply(Sizes);

void BM_Tint(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    TDIB d = Noise(w, h, 32);
    for (auto _ : state) {
        d.Tint(QRect(0, 0, w, h), 0x80A06080, 0x80808080);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Tint)->Apply(Sizes);

void BM_BoxFilter7(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    TDIB d = Noise(w, h, 32);
    for (auto _ : state) {
        d.BoxFilter(QRect(0, 0, w, h), QSize(7, 7), QPoint(3, 3));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BoxFilter7)->Apply(Sizes);

// The frosted surroundings of a confirmed lasso: grow 3, eleven times (replicate margins, 7x7 box),
// crop 3, then the light colour map.
void BM_Frosted(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    const TDIB source = Noise(w, h, 32);
    for (auto _ : state) {
        TDIB d;
        d.CreateCopy(source, true);
        d.Grow(QMargins(3, 3, 3, 3), TMarginFill::Leave, 0);
        for (int i = 0; i < 11; ++i) {
            d.FillMargins(QMargins(3, 3, 3, 3), TMarginFill::Edge, 0);
            d.BoxFilter(QRect(0, 0, d.Width(), d.Height()), QSize(7, 7), QPoint(3, 3));
        }
        d.Grow(QMargins(-3, -3, -3, -3), TMarginFill::Leave, 0);
        const int width = d.Width(), height = d.Height();
        for (int y = 0; y < height; ++y) {
            uint8_t* p = d.PixelPtr(0, y);
            for (int i = 0; i < width * 4; ++i)
                p[i] = uint8_t(std::min(255, 152 + p[i] * 96 / 256));
            uint32_t* q = d.PixelPtr32(0, y);
            for (int i = 0; i < width; ++i)
                q[i] |= 0xFF000000u;
        }
        benchmark::DoNotOptimize(d.Bits());
    }
}
BENCHMARK(BM_Frosted)->Args({3840, 2160})->Unit(benchmark::kMillisecond);

void BM_ResizeSqr(benchmark::State& state, TInterpolation mode, double zoom) {
    // A view of 3840x2160 made from the zoomed part of the desktop.
    const int w = 3840, h = 2160;
    TDIB s = Noise(w, h, 32), d(w, h, 32);
    const QRect src(0, 0, int(w / zoom) + 2, int(h / zoom) + 2);
    for (auto _ : state) {
        s.ResizeSqr(d, src, mode, zoom, zoom, -3, -3, QRect(0, 0, w, h));
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(BM_ResizeSqr, Nearest8, TInterpolation::Nearest, 8.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ResizeSqr, Linear1_5, TInterpolation::Linear, 1.5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ResizeSqr, Cubic8, TInterpolation::Cubic, 8.0)->Unit(benchmark::kMillisecond);

void BM_ResizeThumbnail(benchmark::State& state) {
    TDIB s = Noise(3840, 2160, 32), d(500, 281, 32);
    for (auto _ : state) {
        s.Resize(d, QRect(0, 0, 3840, 2160), QRect(0, 0, 500, 281), TInterpolation::SuperSampling);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ResizeThumbnail)->Unit(benchmark::kMillisecond);

void BM_ResizeLanczos60(benchmark::State& state) {
    TDIB s = Noise(3840, 2160, 32), d(2304, 1296, 32);
    for (auto _ : state) {
        s.Resize(d, QRect(0, 0, 3840, 2160), QRect(0, 0, 2304, 1296), TInterpolation::Lanczos);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ResizeLanczos60)->Unit(benchmark::kMillisecond);

void BM_WarpQuadThumbnail(benchmark::State& state) {
    TDIB s = Noise(500, 300, 32), d(520, 320, 32);
    const std::array<QPointF, 4> src = {QPointF(0, 0), QPointF(500, 0), QPointF(500, 300), QPointF(0, 300)};
    const std::array<QPointF, 4> dst = {QPointF(12, 4), QPointF(505, 15), QPointF(498, 290), QPointF(8, 310)};
    for (auto _ : state) {
        s.WarpQuad(d, QRect(0, 0, 500, 300), QRect(0, 0, 520, 320), src, dst, TInterpolation::Linear);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_WarpQuadThumbnail)->Unit(benchmark::kMillisecond);

void BM_BlurPanel(benchmark::State& state) {
    TDIB d = Noise(400, 300, 32);
    for (auto _ : state) {
        d.Blur(QRect(100, 80, 174, 116), QSize(11, 11), 3);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BlurPanel)->Unit(benchmark::kMillisecond);

} // namespace
