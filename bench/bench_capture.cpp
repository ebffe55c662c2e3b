// Confirming a capture at 3840 x 2160: a large lasso with ink (target under 300 ms), a rectangle without
// ink (target under 40 ms), a click keeping the whole desktop, and a lasso with 200 annotations of every
// tool, redactions among them (target under 300 ms).
#include "BenchAnnotations.h"
#include "Compose.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

TDIB NoiseDesktop(int w, int h) {
    TDIB d(w, h, 24);
    std::mt19937 rng(7);
    for (int y = 0; y < h; ++y) {
        uint8_t* p = d.PixelPtr(0, y);
        for (int x = 0; x < w * 3; ++x)
            p[x] = uint8_t(rng() >> 24);
    }
    return d;
}

void Grow(CaptureShape& s, const TPointD& p, int m = 6) {
    const int x = int(std::lround(p.x)), y = int(std::lround(p.y));
    s.Bounds.Include(x - m, y - m, x + m, y + m);
}

CaptureShape Lasso(double cx, double cy, double rx, double ry, int n) {
    CaptureShape s;
    for (int i = 0; i < n; ++i) {
        const double t = 2 * M_PI * i / n;
        // A wobbly outline, as a hand draws it.
        const double r = 1 + 0.05 * std::sin(7 * t);
        const TPointD p{std::floor(cx + rx * r * std::cos(t)) + 0.5,
                        std::floor(cy + ry * r * std::sin(t)) + 0.5};
        s.Points.push_back(p);
        Grow(s, p);
    }
    return s;
}

CaptureShape Stroke(TPointD a, TPointD b, int n) {
    CaptureShape s;
    for (int i = 0; i <= n; ++i) {
        const double t = double(i) / n;
        const TPointD p{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t + 20 * std::sin(t * 12)};
        s.Points.push_back(p);
        Grow(s, p);
    }
    return s;
}

const TDIB& Desktop4K() {
    static const TDIB d = NoiseDesktop(3840, 2160);
    return d;
}

// Confirms the 4K desktop with the given selection and ink once per iteration.
void ComposeEach(benchmark::State& state, const std::vector<CaptureShape>& shapes) {
    const TDIB& desktop = Desktop4K();
    for (auto _ : state) {
        TComposedCapture c = ComposeCapture(desktop, QRect(0, 0, 3840, 2160), shapes, 6, 0xFFD80000u);
        benchmark::DoNotOptimize(c.captureImage.Bits());
    }
}

void BM_FinishCaptureLassoWithInk4K(benchmark::State& state) {
    std::vector<CaptureShape> shapes{Lasso(1920, 1080, 1500, 850, 1200)};
    shapes.push_back(Stroke({600, 400}, {3300, 500}, 400)); // leaves the lasso
    shapes.push_back(Stroke({900, 1000}, {2800, 1200}, 300));
    shapes.push_back(Stroke({1200, 1700}, {2600, 1600}, 300));
    ComposeEach(state, shapes);
}
BENCHMARK(BM_FinishCaptureLassoWithInk4K)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_FinishCaptureRectangle4K(benchmark::State& state) {
    CaptureShape r;
    r.Kind = skRectangle;
    r.Points = {{200.5, 150.5}, {3600.5, 150.5}, {3600.5, 2000.5}, {200.5, 2000.5}};
    r.Bounds = {194, 144, 3607, 2007};
    const std::vector<CaptureShape> shapes{r};
    ComposeEach(state, shapes);
}
BENCHMARK(BM_FinishCaptureRectangle4K)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_FinishCaptureLassoWith200Annotations4K(benchmark::State& state) {
    std::vector<CaptureShape> shapes{Lasso(1920, 1080, 1500, 850, 1200)};
    for (CaptureShape& s : MixedAnnotations(200, 3840, 2160))
        shapes.push_back(std::move(s));
    ComposeEach(state, shapes);
}
BENCHMARK(BM_FinishCaptureLassoWith200Annotations4K)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_FinishCaptureClick4K(benchmark::State& state) {
    const std::vector<CaptureShape> shapes(1);
    ComposeEach(state, shapes);
}
BENCHMARK(BM_FinishCaptureClick4K)->Unit(benchmark::kMillisecond)->MinTime(2);

} // namespace
