#include "OverlayPaint.h"
#include "CaptureShape.h"
#include "DIBmp.h"
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr uint32_t GreyReference = 0x80808080u;

// A grey that Tint against GreyReference turns into "every colour channel minus level"; the alpha byte
// equals the reference so alpha is left alone.
uint32_t DarkeningGrey(int level)
{
    const uint32_t v = uint32_t(std::clamp(128 - level, 0, 255));
    return 0x80000000u | v << 16 | v << 8 | v;
}

} // namespace

double PixelGridStrength(double zoom)
{
    if (!(zoom > PixelGridMinZoom)) return 0;
    return std::min((zoom - PixelGridMinZoom) * 32 / 2.5, 32.0);
}

TGridDarkening PixelGridDarkening(double zoom, double phase)
{
    const double g = PixelGridStrength(zoom);
    TGridDarkening d;
    d.vertical = RoundEven((0.55 * std::sin(phase / 5000) + 0.8) * g);
    d.horizontal = RoundEven((0.55 * std::sin(phase / 5000 + std::numbers::pi / 4) + 0.8) * g);
    return d;
}

void DrawPixelGrid(TDIB& view, double zoom, QPointF offset, QPoint firstPixel, double phase)
{
    if (view.Empty() || PixelGridStrength(zoom) <= 0) return;
    const TGridDarkening d = PixelGridDarkening(zoom, phase);
    const int w = view.Width(), h = view.Height();
    if (d.vertical > 0) {
        const uint32_t grey = DarkeningGrey(d.vertical);
        for (int u = firstPixel.x();; ++u) {
            const int x = RoundEven(u * zoom - offset.x());
            if (x >= w) break;
            view.Tint(QRect(x, 0, 1, h), grey, GreyReference);
        }
    }
    if (d.horizontal > 0) {
        const uint32_t grey = DarkeningGrey(d.horizontal);
        for (int v = firstPixel.y();; ++v) {
            const int y = RoundEven(v * zoom - offset.y());
            if (y >= h) break;
            view.Tint(QRect(0, y, w, 1), grey, GreyReference);
        }
    }
}
