#include "OverlayPaint.h"
#include "CaptureShape.h"
#include "Agg_2D_DIB.h"
#include "DIBmp.h"
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

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
    if (d.vertical > 0 && (view.BitCount() == 24 || view.BitCount() == 32)) {
        // Row by row over the list of line columns: a 1-pixel-wide tint per column would walk the
        // whole frame once per column, at 4K several times slower than the rest of the frame.
        std::vector<int> columns;
        for (int u = firstPixel.x();; ++u) {
            const int x = RoundEven(u * zoom - offset.x());
            if (x >= w) break;
            if (x >= 0) columns.push_back(x * (view.BitCount() / 8));
        }
        const uint8_t level = uint8_t(std::min(d.vertical, 255));
        for (int y = 0; y < h; ++y) {
            uint8_t* row = view.PixelPtr(0, y);
            for (const int at : columns)
                for (int c = 0; c < 3; ++c) row[at + c] = row[at + c] > level ? uint8_t(row[at + c] - level) : 0;
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

THls RgbToHls(int red, int green, int blue)
{
    const double r = red / 255.0, g = green / 255.0, b = blue / 255.0;
    const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
    THls out;
    out.lightness = (hi + lo) / 2;
    if (hi == lo) return out;
    const double span = hi - lo;
    out.saturation = out.lightness <= 0.5 ? span / (hi + lo) : span / (2 - hi - lo);
    double h;
    if (hi == r)
        h = (g - b) / span;
    else if (hi == g)
        h = 2 + (b - r) / span;
    else
        h = 4 + (r - g) / span;
    h /= 6;
    if (h < 0) h += 1;
    out.hue = h;
    return out;
}

uint32_t HlsToRgb(THls c)
{
    auto channel = [](double m1, double m2, double h) {
        h -= std::floor(h);
        double v;
        if (h < 1.0 / 6)
            v = m1 + (m2 - m1) * h * 6;
        else if (h < 0.5)
            v = m2;
        else if (h < 2.0 / 3)
            v = m1 + (m2 - m1) * (2.0 / 3 - h) * 6;
        else
            v = m1;
        return uint32_t(std::clamp(RoundEven(v * 255), 0, 255));
    };
    if (c.saturation <= 0) {
        const uint32_t v = uint32_t(std::clamp(RoundEven(c.lightness * 255), 0, 255));
        return v << 16 | v << 8 | v;
    }
    const double m2 = c.lightness <= 0.5 ? c.lightness * (1 + c.saturation)
                                         : c.lightness + c.saturation - c.lightness * c.saturation;
    const double m1 = 2 * c.lightness - m2;
    return channel(m1, m2, c.hue + 1.0 / 3) << 16 | channel(m1, m2, c.hue) << 8 | channel(m1, m2, c.hue - 1.0 / 3);
}

QRect PickPanelRect(const QRect& pick, int viewWidth, int viewHeight)
{
    const int right = pick.left() + pick.width(), bottom = pick.top() + pick.height();
    int left = right + 27, top = bottom + 12;
    if (left + PickPanelWidth > viewWidth - 2) left = pick.left() - 186;
    if (top + PickPanelHeight > viewHeight - 2) top = pick.top() - 128;
    return QRect(left, top, PickPanelWidth, PickPanelHeight);
}

namespace {

std::string Padded3(uint32_t v)
{
    std::string s = std::to_string(v);
    return std::string(s.size() < 3 ? 3 - s.size() : 0, ' ') + s;
}

std::string Hex6(uint32_t v)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s(6, '0');
    for (int i = 5; i >= 0; --i, v >>= 4) s[size_t(i)] = digits[v & 0xF];
    return s;
}

} // namespace

std::vector<TReadoutLine> PickReadoutLines(const QRect& n, bool singlePixel, uint32_t picked, QPoint panelTopLeft)
{
    const int a = panelTopLeft.x() + 13, b = a + 80, y0 = panelTopLeft.y() + 9;
    std::vector<TReadoutLine> lines;
    lines.push_back({QPoint(a, y0), "x " + std::to_string(n.left()), 11});
    lines.push_back({QPoint(b, y0), "y " + std::to_string(n.top()), 11});
    int colourHeight = 11;
    if (singlePixel) {
        lines.push_back({QPoint(a, y0 + 20), "Ctrl to select", 12});
        colourHeight = 15;
    } else {
        lines.push_back({QPoint(a, y0 + 20), "w " + std::to_string(n.width()), 11});
        lines.push_back({QPoint(b, y0 + 20), "h " + std::to_string(n.height()), 11});
    }
    lines.push_back({QPoint(a, y0 + 50), (singlePixel ? "Color " : "Sel color ") + Hex6(picked & 0xFFFFFF),
                     colourHeight});
    const uint32_t red = picked & 0xFF, green = picked >> 8 & 0xFF, blue = picked >> 16 & 0xFF;
    lines.push_back({QPoint(a, y0 + 70), "RGB " + Padded3(red) + " " + Padded3(green) + " " + Padded3(blue), 13});
    const THls hls = RgbToHls(int(red), int(green), int(blue));
    lines.push_back({QPoint(a, y0 + 85),
                     "HLS " + std::to_string(RoundEven(hls.hue * 360)) + " " +
                         std::to_string(RoundEven(hls.lightness * 100)) + "% " +
                         std::to_string(RoundEven(hls.saturation * 100)) + "%",
                     13});
    return lines;
}

void DrawPickDisplay(TDIB& view, TAgg2D& text, const QRect& s, const QRect& n, bool singlePixel, uint32_t picked,
                     double phase)
{
    const int w = view.Width(), h = view.Height();
    if (w <= 0 || h <= 0) return;
    const int red = int(picked & 0xFF), green = int(picked >> 8 & 0xFF), blue = int(picked >> 16 & 0xFF);
    const THls hls = RgbToHls(red, green, blue);
    const uint32_t swatch = 0xFF000000u | uint32_t(red) << 16 | uint32_t(green) << 8 | uint32_t(blue);

    const QRect panel = PickPanelRect(s, w, h);
    view.Blur(panel, QSize(11, 11), 3);
    const int L = panel.left() + 1, T = panel.top() + 1;
    const int R = panel.left() + panel.width() - 1, B = panel.top() + panel.height() - 1;
    auto span = [](int x1, int y1, int x2, int y2) { return QRect(x1, y1, x2 - x1, y2 - y1); };
    view.FillRect(span(L - 16, T, L, B), swatch, 256);
    view.FillRect(span(R, T, R + 2, B), swatch, 256);
    view.FillRect(span(L - 16, T - 2, R + 2, T), swatch, 256);
    view.FillRect(span(L - 16, B, R + 2, B + 2), swatch, 256);
    view.FillRect(span(L, T, R, B), 0xFF000000u | HlsToRgb({hls.hue, 0.25, hls.saturation}), 128);

    // The bands' light lilac: an orange-ish HLS colour read with red and blue exchanged.
    const uint32_t warm = HlsToRgb({0.075 + 0.05 * std::sin(phase / 7500), 0.8, 0.7});
    const uint32_t band = 0xFF000000u | (warm & 0xFF) << 16 | (warm & 0xFF00) | (warm >> 16 & 0xFF);
    const int bandWeight = singlePixel ? 192 : 64, pickWeight = singlePixel ? 64 : 192;
    const int sl = s.left(), st = s.top(), sr = s.left() + s.width(), sb = s.top() + s.height();
    view.FillRect(span(sl, 0, sr, st), band, bandWeight);
    view.FillRect(span(sl, sb, sr, h), band, bandWeight);
    view.FillRect(span(0, st, sl, sb), band, bandWeight);
    view.FillRect(span(sr, st, w, sb), band, bandWeight);
    view.FillRect(s, band, pickWeight);

    if (!panel.intersects(QRect(0, 0, w, h)) || !text.Attach(view)) return;
    // Each line stays inside the panel.
    text.SetClipBox(std::max(panel.left(), 0), std::max(panel.top(), 0),
                    std::min(panel.left() + panel.width(), w) - 1, std::min(panel.top() + panel.height(), h) - 1);
    text.SetLineWidth(0);
    text.SetFillColor(AggColor(255, 255, 255));
    text.SetTextAlignment(AggAlignH::Left, AggAlignV::Top);
    int height = 0;
    for (const TReadoutLine& line : PickReadoutLines(n, singlePixel, picked, panel.topLeft())) {
        if (line.fontHeight != height) {
            height = line.fontHeight;
            text.SetFont(OverlayFontFamily, false, height);
        }
        text.DrawText(line.text, true, line.at.x(), line.at.y());
    }
}
