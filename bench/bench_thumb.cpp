// One frame of the show/hide animation of a layered window: blur, zoom out (or tilt), fade.
// Target: under 4 ms for a 560 x 360 surface in style 1.
#include "BenchSupport.h"
#include "LayeredForms.h"

#include <benchmark/benchmark.h>

static void BM_AnimFrame(benchmark::State& state) {
    const int style = int(state.range(0));
    const double p = state.range(1) / 100.0;
    TDIB surface(560, 360, 32);
    TDIB painted(560, 360, 32);
    painted.FillRect(QRect(0, 0, 560, 360), 0, 256);
    painted.FillRect(QRect(20, 20, 520, 320), 0xFFC08040u, 256);
    TDIB scratch;
    const TAnimFrame frame = ComputeAnimFrame(p, style, QSize(560, 360), QMargins(20, 20, 20, 20), QPointF());
    for (auto _ : state) {
        painted.CopyRect(surface, 0, 0, QRect(0, 0, 560, 360)); // the form's own paint
        RenderAnimFrame(surface, scratch, frame);
        benchmark::DoNotOptimize(surface.Bits());
    }
}
BENCHMARK(BM_AnimFrame)
    ->ArgNames({"style", "p%"})
    ->Args({1, 40})
    ->Args({1, 100})
    ->Args({2, 70})
    ->Args({3, 70})
    ->Unit(benchmark::kMillisecond);

// Regularity of a 16 ms animation timer as the GUI thread sees it: the mean period and the largest
// deviation of one period from 16 ms, over 60 ticks.
#include "QuickTimers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <cmath>

static void BM_TimerPeriod16(benchmark::State& state) {
    // A widget application, so that the card benchmarks can share it.
    EnsureWidgetApplication();
    double worst = 0, total = 0;
    int periods = 0;
    for (auto _ : state) {
        TQuickTimer timer;
        timer.SetInterval(16);
        timer.SetNoOverflow(true);
        QElapsedTimer clock;
        QEventLoop loop;
        qint64 last = -1;
        int ticks = 0;
        timer.OnTimer = [&](TQuickCustomTimer*) {
            const qint64 now = clock.nsecsElapsed();
            if (last >= 0) {
                const double ms = (now - last) / 1e6;
                worst = std::max(worst, std::abs(ms - 16));
                total += ms;
                ++periods;
            }
            last = now;
            if (++ticks == 61) loop.quit();
        };
        clock.start();
        timer.SetEnabled(true);
        loop.exec();
    }
    state.counters["mean_period_ms"] = periods ? total / periods : 0;
    state.counters["worst_deviation_ms"] = worst;
}
BENCHMARK(BM_TimerPeriod16)->Iterations(1)->Unit(benchmark::kMillisecond);
