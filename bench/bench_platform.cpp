// The screen grab as the capture uses it (needs an X display; skipped without one).
#include "Platform.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

void BM_GrabRoot(benchmark::State& state) {
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no X display");
        return;
    }
    static std::unique_ptr<TPlatform> platform = MakeX11Platform();
    const QRect rect(0, 0, int(state.range(0)), int(state.range(1)));
    TGrabbedImage image;
    for (auto _ : state) {
        if (!platform->grabber->Grab(rect, image).ok) {
            state.SkipWithError("grab failed (is the screen this large?)");
            return;
        }
        benchmark::DoNotOptimize(image.pixels.data());
    }
}
BENCHMARK(BM_GrabRoot)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// The X part alone, as the capture sees it: rows handed over from the server's buffer, with the
// shared segment kept from the previous grab. (The first grab after a quiet spell also makes the
// segment: about 10 ms at 1920x1080 and 40 ms at 3840x2160 here, mostly page faults.)
void BM_GrabToKeptSegment(benchmark::State& state) {
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no X display");
        return;
    }
    static std::unique_ptr<TPlatform> platform = MakeX11Platform();
    const QRect rect(0, 0, int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        uint32_t sum = 0;
        const auto status =
            platform->grabber->GrabTo(rect, [&](const QRect&, const uint8_t* p, int) { sum += p[0]; });
        if (!status.ok) {
            state.SkipWithError("grab failed (is the screen this large?)");
            return;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_GrabToKeptSegment)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

} // namespace
