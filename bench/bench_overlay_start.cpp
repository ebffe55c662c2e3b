// The overlay's first frame as the capture key brings it up: the grabbed 32-bit rows handed over
// before their narrowing, the form made, and the whole desktop painted tinted with the help card into
// fresh window memory (as a new window's surface is). Target: the whole start under 15 ms at
// 1920 x 1080 and under 30 ms at 3840 x 2160, of which the X server's grab takes 1 and 4 ms.
#include "BenchSupport.h"
#include "FakePlatform.h"
#include "Input.h"
#include "Platform.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>

namespace {

void BM_OverlayFirstFrame(benchmark::State& state) {
    if (!EnsureWidgetApplication())
        return state.SkipWithError("another application object without widgets exists");
    static std::shared_ptr<TFakeState> fake = InstallFakePlatform();
    const int w = int(state.range(0)), h = int(state.range(1));
    // The rows as the X server leaves them in the shared segment: already resident.
    std::vector<uint8_t> rows(size_t(w) * h * 4);
    std::mt19937 rng(5);
    for (auto& b : rows)
        b = uint8_t(rng() >> 24);
    TNullCaptureOwner owner;
    for (auto _ : state) {
        TDesktopGrab grab;
        grab.desktopBounds = grab.grabbedRect = QRect(0, 0, w, h);
        grab.image.SetSize(w, h, 24);
        grab.rows = std::make_shared<THeldGrab>();
        grab.rows->part = grab.desktopBounds;
        grab.rows->bits = rows.data();
        grab.rows->stride = w * 4;
        auto form = std::make_unique<TInputForm>(std::move(grab), &owner, false);
        form->CapBox()->setGeometry(0, 0, w, h);
        auto surface = std::make_unique<QImage>(w, h, QImage::Format_RGB32); // fresh, as a new window's
        form->CapBox()->render(surface.get());
        benchmark::DoNotOptimize(surface->constBits());
        // Narrowing the rows and closing happen after the frame is out.
        state.PauseTiming();
        form.reset();
        surface.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OverlayFirstFrame)
    ->Args({3840, 2160})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
