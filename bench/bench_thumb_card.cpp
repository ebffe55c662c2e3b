// One tick of the thumbnail card with a 500-pixel picture: the motion, the warp onto the swaying
// quadrangle and the frame handed to the window. Targets: under 3 ms at rest; under 6 ms while
// fading (blur, zoom and fade on top).
#include "LayeredForms.h"
#include "ThumbMotion.h"

#include <benchmark/benchmark.h>

namespace {

TDIB Picture() {
    // 500 x 300 plus the 9-pixel shadow border, as the capture makes it.
    TDIB p(518, 318, 32);
    p.FillRect(QRect(0, 0, 518, 318), 0, 256);
    p.FillRect(QRect(9, 9, 500, 300), 0xFF3070B0u, 256);
    for (int y = 9; y < 309; y += 7)
        p.FillRect(QRect(9, y, 500, 2), 0xFFE0C040u, 256);
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
        TDIB& src = const_cast<TDIB&>(picture);
        src.WarpQuad(surface, QRect(0, 0, 518, 318), r, source, motion.WindowQuad, 2);
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

// The warp alone, onto a fixed window of the resting card's size, for comparison.
static void BM_ThumbCardWarpOnly(benchmark::State& state) {
    TDIB picture = Picture();
    TThumbMotion motion;
    motion.Start(QPointF(900, 500), QSize(picture.Width(), picture.Height()));
    TThumbInputs in;
    in.owner = QRect(100, 600, 400, 300);
    in.monitor = QRect(0, 0, 1920, 1080);
    motion.Step(40, 16, in);
    const QRect r(QPoint(0, 0), motion.WindowRect.size());
    TDIB surface(r.width(), r.height(), 32);
    const TQuad source = {QPointF(0, 0), QPointF(518, 0), QPointF(518, 318), QPointF(0, 318)};
    for (auto _ : state) {
        picture.WarpQuad(surface, QRect(0, 0, 518, 318), r, source, motion.WindowQuad, 2);
        benchmark::DoNotOptimize(surface.Bits());
    }
}
BENCHMARK(BM_ThumbCardWarpOnly)->Unit(benchmark::kMillisecond);
