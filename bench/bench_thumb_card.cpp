// One tick of the thumbnail card with a 500-pixel picture: the motion, the warp onto the swaying
// quadrangle and the frame handed to the window. Targets: under 3 ms at rest; under 6 ms while
// fading (blur, zoom and fade on top).
#include "BenchSupport.h"
#include "LayeredForms.h"
#include "Platform.h"
#include "ThumbMotion.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

TDIB Picture(int w = 500, int h = 300) {
    // The picture plus the 9-pixel shadow border, as the capture makes it.
    TDIB p(w + 18, h + 18, 32);
    p.FillRect(QRect(0, 0, w + 18, h + 18), 0, 256);
    p.FillRect(QRect(9, 9, w, h), 0xFF3070B0u, 256);
    for (int y = 9; y < h + 9; y += 7)
        p.FillRect(QRect(9, y, w, 2), 0xFFE0C040u, 256);
    return p;
}

void CardTick(benchmark::State& state, double progress) {
    const TDIB picture = Picture();
    TDIB surface(1, 1, 32), scratch(1, 1, 32, true);
    TThumbMotion motion;
    motion.Start(QPointF(900, 500), QSize(picture.Width(), picture.Height()));
    TThumbInputs in;
    in.owner = QRect(100, 600, 400, 300);
    in.monitor = QRect(0, 0, 1920, 1080);
    in.fading = progress > 0;
    const TQuad source = {QPointF(0, 0), QPointF(518, 0), QPointF(518, 318), QPointF(0, 318)};
    for (auto _ : state) {
        motion.Step(1, 16, in);
        const QRect r(QPoint(0, 0), motion.WindowRect.size());
        if (surface.Width() != r.width() || surface.Height() != r.height())
            surface.SetSize(r.width(), r.height(), 32);
        surface.FillRect(r, 0, 256);
        picture.WarpQuad(surface, QRect(0, 0, 518, 318), r, source, motion.WindowQuad,
                         TInterpolation::Linear);
        if (progress > 0) {
            const TAnimFrame frame = ComputeAnimFrame(progress, 1, r.size(), QMargins(), QPointF());
            RenderAnimFrame(surface, scratch, frame);
        }
        // What the window's paint hands to the screen.
        benchmark::DoNotOptimize(surface.AsQImage().constBits());
    }
}

void BM_ThumbCardTick(benchmark::State& state) {
    CardTick(state, 0);
}
void BM_ThumbCardTickFading(benchmark::State& state) {
    CardTick(state, state.range(0) / 100.0);
}

} // namespace

BENCHMARK(BM_ThumbCardTick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThumbCardTickFading)->ArgName("p%")->Arg(30)->Arg(70)->Arg(100)->Unit(benchmark::kMillisecond);

// A card of the given size 40 ticks into its flight from (900, 500), where it sways.
static void StartSwaying(TThumbMotion& motion, QSize size) {
    motion.Start(QPointF(900, 500), size);
    TThumbInputs in;
    in.owner = QRect(100, 600, 400, 300);
    in.monitor = QRect(0, 0, 1920, 1080);
    motion.Step(40, 16, in);
}

// The warp alone, onto a fixed window of the resting card's size, for comparison.
static void BM_ThumbCardWarpOnly(benchmark::State& state) {
    TDIB picture = Picture();
    TThumbMotion motion;
    StartSwaying(motion, QSize(picture.Width(), picture.Height()));
    const QRect r(QPoint(0, 0), motion.WindowRect.size());
    TDIB surface(r.width(), r.height(), 32);
    const TQuad source = {QPointF(0, 0), QPointF(518, 0), QPointF(518, 318), QPointF(0, 318)};
    for (auto _ : state) {
        picture.WarpQuad(surface, QRect(0, 0, 518, 318), r, source, motion.WindowQuad,
                         TInterpolation::Linear);
        benchmark::DoNotOptimize(surface.Bits());
    }
}
BENCHMARK(BM_ThumbCardWarpOnly)->Unit(benchmark::kMillisecond);

// Where no compositor runs, the card's window is cut to its opaque pixels on every tick: the bands
// of the resting, swaying 500 x 400 card (target: well under 0.1 ms, no allocation once warm). Run
// with QT_QPA_PLATFORM=xcb on an X display, BM_ThumbCardCutSent also sends them to a shown window
// and waits for the X server to have applied them.
static TDIB SwayingCard(TThumbMotion& motion) {
    TDIB picture = Picture(500, 400);
    StartSwaying(motion, QSize(picture.Width(), picture.Height()));
    const QRect r(QPoint(0, 0), motion.WindowRect.size());
    TDIB surface(r.width(), r.height(), 32);
    surface.FillRect(r, 0, 256);
    const TQuad source = {QPointF(0, 0), QPointF(picture.Width(), 0),
                          QPointF(picture.Width(), picture.Height()), QPointF(0, picture.Height())};
    picture.WarpQuad(surface, QRect(0, 0, picture.Width(), picture.Height()), r, source, motion.WindowQuad,
                     TInterpolation::Linear);
    return surface;
}

static void BM_ThumbCardCut(benchmark::State& state) {
    TThumbMotion motion;
    TDIB surface = SwayingCard(motion);
    std::vector<QRect> bands;
    for (auto _ : state) {
        surface.AlphaBands(bands, TLayeredForm::kOpaqueAlpha);
        benchmark::DoNotOptimize(bands.data());
    }
    state.counters["rectangles"] = double(bands.size());
}
BENCHMARK(BM_ThumbCardCut)->Unit(benchmark::kMicrosecond);

static void BM_ThumbCardCutSent(benchmark::State& state) {
    if (!std::getenv("DISPLAY") || qEnvironmentVariable("QT_QPA_PLATFORM") != QLatin1String("xcb") ||
        !EnsureWidgetApplication() || QGuiApplication::platformName() != QLatin1String("xcb")) {
        state.SkipWithError("needs QT_QPA_PLATFORM=xcb and an X display");
        return;
    }
    TThumbMotion motion;
    TDIB surface = SwayingCard(motion);
    TLayeredForm form;
    form.SetLayeredRect(QRect(QPoint(100, 100), QSize(surface.Width(), surface.Height())), false);
    form.show();
    IWindowShape* shape = Platform().windowShape.get();
    IScreenGrabber* grabber = Platform().grabber.get();
    std::vector<QRect> bands;
    for (auto _ : state) {
        surface.AlphaBands(bands, TLayeredForm::kOpaqueAlpha);
        shape->SetVisibleRegion(form.winId(), bands);
        grabber->WaitForServer();
    }
    state.counters["rectangles"] = double(bands.size());
}
BENCHMARK(BM_ThumbCardCutSent)->Unit(benchmark::kMicrosecond);

// The X server's answer alone, to take away from BM_ThumbCardCutSent.
static void BM_ThumbCardRoundTrip(benchmark::State& state) {
    if (!std::getenv("DISPLAY") || !EnsureWidgetApplication() ||
        QGuiApplication::platformName() != QLatin1String("xcb")) {
        state.SkipWithError("needs QT_QPA_PLATFORM=xcb and an X display");
        return;
    }
    for (auto _ : state)
        Platform().grabber->WaitForServer();
}
BENCHMARK(BM_ThumbCardRoundTrip)->Unit(benchmark::kMicrosecond);
