#include "OverlayPaint.h"
#include "CaptureShape.h"
#include "Agg_2D_DIB.h"
#include "DIBmp.h"
#include "WinTools.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t GreyReference = 0x80808080u;

// A grey that Tint against GreyReference turns into "every colour channel minus level"; the alpha byte
// equals the reference so alpha is left alone.
uint32_t DarkeningGrey(int level) {
    const uint32_t v = uint32_t(std::clamp(128 - level, 0, 255));
    return 0x80000000u | v << 16 | v << 8 | v;
}

} // namespace

double PixelGridStrength(double zoom) {
    if (!(zoom > PixelGridMinZoom)) return 0;
    return std::min((zoom - PixelGridMinZoom) * 32 / 2.5, 32.0);
}

TGridDarkening PixelGridDarkening(double zoom, double phase) {
    const double g = PixelGridStrength(zoom);
    TGridDarkening d;
    d.vertical = RoundEven((0.55 * std::sin(phase / 5000) + 0.8) * g);
    d.horizontal = RoundEven((0.55 * std::sin(phase / 5000 + std::numbers::pi / 4) + 0.8) * g);
    return d;
}

namespace {

// Darkens every colour channel of the grid's columns by level in rows [top, bottom) of view: the left
// edge of each image pixel from firstColumn on.
void DarkenGridColumns(const DibOps::View& view, int top, int bottom, double zoom, double offsetX,
                       int firstColumn, int level) {
    if (level <= 0 || (view.bpp != 3 && view.bpp != 4)) return;
    const int w = view.width, bpp = view.bpp;
    // Row by row over the list of line columns: a 1-pixel-wide tint per column would walk the whole
    // frame once per column, at 4K several times slower than the rest of the frame.
    std::vector<int> columns;
    for (int u = firstColumn;; ++u) {
        const int x = RoundEven(u * zoom - offsetX);
        if (x >= w) break;
        if (x >= 0) columns.push_back(x * bpp);
    }
    const uint8_t l = uint8_t(std::min(level, 255));
    for (int y = std::max(top, 0); y < std::min(bottom, view.height); ++y) {
        uint8_t* row = view.Row(y);
        for (const int at : columns)
            for (int c = 0; c < 3; ++c)
                row[at + c] = row[at + c] > l ? uint8_t(row[at + c] - l) : 0;
    }
}

// Darkens the grid's rows (the top edge of each image pixel from firstRow on) by level, across the view.
void DarkenGridRows(const DibOps::View& view, double zoom, double offsetY, int firstRow, int level) {
    if (level <= 0 || (view.bpp != 3 && view.bpp != 4)) return;
    const uint32_t sub = uint32_t(std::min(level, 128)) * 0x010101u;
    for (int v = firstRow;; ++v) {
        const int y = RoundEven(v * zoom - offsetY);
        if (y >= view.height) break;
        if (y >= 0) DibOps::AddSubC(view, QRect(0, y, view.width, 1), 0, sub);
    }
}

void DrawPixelGrid(const DibOps::View& view, double zoom, QPointF offset, QPoint firstPixel, double phase) {
    if (view.width <= 0 || view.height <= 0 || PixelGridStrength(zoom) <= 0) return;
    const TGridDarkening d = PixelGridDarkening(zoom, phase);
    DarkenGridColumns(view, 0, view.height, zoom, offset.x(), firstPixel.x(), d.vertical);
    DarkenGridRows(view, zoom, offset.y(), firstPixel.y(), d.horizontal);
}

} // namespace

void DrawPixelGrid(TDIB& view, double zoom, QPointF offset, QPoint firstPixel, double phase) {
    if (view.Empty()) return;
    DrawPixelGrid(view.View(), zoom, offset, firstPixel, phase);
}

QRect ZoomedImageArea(QSize imageSize, double zoom, QPointF offset, QSize viewSize) {
    if (imageSize.isEmpty() || viewSize.isEmpty() || !(zoom > 0)) return {};
    // Client x is covered when x + 0.5 lies in [0, size) scaled and shifted: x >= ceil(-offset - 0.5).
    auto range = [zoom](int size, double off, int& a, int& b) {
        a = int(std::clamp(std::ceil(-off - 0.5), -1e9, 1e9));
        b = int(std::clamp(std::ceil(size * zoom - off - 0.5), -1e9, 1e9));
    };
    int x0, x1, y0, y1;
    range(imageSize.width(), offset.x(), x0, x1);
    range(imageSize.height(), offset.y(), y0, y1);
    if (x1 <= x0 || y1 <= y0) return {};
    return QRect(x0, y0, x1 - x0, y1 - y0) & QRect(QPoint(0, 0), viewSize);
}

namespace {

// Makes image at least w x h at 32 bits, keeping it when it is already large enough.
void EnsureScratch(TDIB& image, int w, int h) {
    if (image.BitCount() != 32 || image.Width() < w || image.Height() < h)
        image = TDIB(std::max(image.Width(), w), std::max(image.Height(), h), 32);
}

// Floor division for pixel indices left of or above the image as well.
int FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

void FillInView(const DibOps::View& view, const QRect& r, uint32_t colour) {
    const QRect c = r & QRect(0, 0, view.width, view.height);
    if (!c.isEmpty()) DibOps::FillSet(view, c, colour);
}

// Background only where no image pixel lands (covered): at high zoom usually nothing at all.
void FillAround(const DibOps::View& view, const QRect& covered, uint32_t background) {
    const int w = view.width, h = view.height;
    const int cl = covered.left(), ct = covered.top();
    const int cr = cl + covered.width(), cb = ct + covered.height();
    FillInView(view, QRect(0, 0, w, ct), background);
    FillInView(view, QRect(0, cb, w, h - cb), background);
    FillInView(view, QRect(0, ct, cl, cb - ct), background);
    FillInView(view, QRect(cr, ct, w - cr, cb - ct), background);
}

// The desktop's pixels `from` at `at` in a 32-bit view, opaque: the grabbed rows' fourth byte is the X
// server's padding.
void CopyOpaque(const DibOps::ConstView& desktop, const QRect& from, const DibOps::View& to, QPoint at) {
    if (desktop.bpp == 3) {
        DibOps::Copy24To32(desktop, from, to, at.x(), at.y());
        return;
    }
    DibOps::Copy(desktop, from, to, at.x(), at.y());
    for (int y = 0; y < from.height(); ++y) {
        uint8_t* px = to.Pixel(at.x(), at.y() + y);
        for (int x = 0; x < from.width(); ++x)
            px[4 * x + 3] = 0xFF;
    }
}

// Unmagnified on whole pixels (where the magnifier starts), nearest sampling shows each desktop pixel as
// it is: copied straight into the view, with no scratch (a frame's worth of fresh memory on the
// magnifier's first paint).
bool UnmagnifiedOnWholePixels(const TZoomedView& v) {
    const QPointF off = v.offset;
    return v.zoom == 1 && v.mode == TInterpolation::Nearest && off.x() == std::floor(off.x()) &&
           off.y() == std::floor(off.y()) && std::abs(off.x()) < 1e9 && std::abs(off.y()) < 1e9;
}

// Nearest sampling at a whole zoom from 2 on with a whole vertical offset: every image row covers zoom
// whole client rows.
bool InWholeRows(const TZoomedView& v) {
    return v.mode == TInterpolation::Nearest && v.zoom >= 2 && v.zoom == std::floor(v.zoom) &&
           v.zoom < 65536 && v.offset.y() == std::floor(v.offset.y()) && std::abs(v.offset.y()) < 1e9;
}

// The image pixels under the covered area, and beyond them as far as a cubic kernel reaches, so that
// interpolating the part gives what interpolating the whole desktop would.
QRect SeenPart(const QRect& covered, const TZoomedView& v, QSize desktop) {
    constexpr int KernelReach = 3;
    if (covered.isEmpty()) return {};
    const double zoom = v.zoom;
    const QPointF off = v.offset;
    const int cl = covered.left(), ct = covered.top();
    const int cr = cl + covered.width(), cb = ct + covered.height();
    const int sl = int(std::floor((cl + 0.5 + off.x()) / zoom)) - KernelReach;
    const int st = int(std::floor((ct + 0.5 + off.y()) / zoom)) - KernelReach;
    const int sr = int(std::floor((cr - 0.5 + off.x()) / zoom)) + 1 + KernelReach;
    const int sb = int(std::floor((cb - 0.5 + off.y()) / zoom)) + 1 + KernelReach;
    return QRect(sl, st, sr - sl, sb - st) & QRect(QPoint(0, 0), desktop);
}

// Each image row covers zoom whole client rows, all alike before the grid's rows darken the first: one
// row per image row (of the part seen, held in source) is magnified (and its grid columns darkened) in
// rows, then repeated down the view.
void DrawInWholeRows(const TDIB& source, const QRect& seen, TDIB& rows, const DibOps::View& view,
                     const TZoomedView& v, const QRect& covered, bool grid) {
    const int w = view.width, h = view.height;
    const double zoom = v.zoom;
    const QPointF off = v.offset;
    const int ct = covered.top(), cl = covered.left();
    const int cr = cl + covered.width(), cb = ct + covered.height();
    const int z = int(zoom), oy = int(off.y());
    const int firstRow = FloorDiv(ct + oy, z), lastRow = FloorDiv(cb - 1 + oy, z);
    // rows: n magnified image rows and a background row; with the grid, the same again darkened by the
    // grid's rows, for the client rows its lines fall on.
    const int n = lastRow - firstRow + 1;
    EnsureScratch(rows, w, grid ? 2 * (n + 1) : n + 1);
    rows.FillRect(QRect(0, 0, cl, n), v.background, 256);
    rows.FillRect(QRect(cr, 0, w - cr, n), v.background, 256);
    rows.FillRect(QRect(0, n, w, 1), v.background, 256);
    const QRect part(0, 0, seen.width(), seen.height());
    source.ResizeSqr(rows, part, TInterpolation::Nearest, zoom, 1, seen.left() * zoom - off.x(),
                     seen.top() - firstRow, QRect(0, 0, w, n));
    std::vector<uint8_t> lineRow(size_t(h), 0);
    if (grid) {
        const TGridDarkening dark = PixelGridDarkening(zoom, v.phase);
        DarkenGridColumns(rows.View(), 0, n + 1, zoom, off.x(), v.firstPixel.x(), dark.vertical);
        rows.CopyRect(rows, 0, n + 1, QRect(0, 0, w, n + 1));
        if (dark.horizontal > 0)
            rows.Tint(QRect(0, n + 1, w, n + 1), DarkeningGrey(dark.horizontal), GreyReference);
        for (int u = v.firstPixel.y();; ++u) {
            const int y = RoundEven(u * zoom - off.y());
            if (y >= h) break;
            if (y >= 0) lineRow[size_t(y)] = 1;
        }
    }
    const DibOps::ConstView magnified = rows.ConstView();
    for (int y = 0; y < h; ++y) {
        const int r =
            (y < ct || y >= cb ? n : FloorDiv(y + oy, z) - firstRow) + (lineRow[size_t(y)] ? n + 1 : 0);
        DibOps::Copy(magnified, QRect(0, r, w, 1), view, 0, y);
    }
}

} // namespace

void DrawZoomedDesktop(const TDIB& desktop, TDIB& source, TDIB& rows, const DibOps::View& view,
                       const TZoomedView& v) {
    if (desktop.BitCount() != 24) return;
    DrawZoomedDesktop(desktop.ConstView(), source, rows, view, v);
}

void DrawZoomedDesktop(const DibOps::ConstView& desktop, TDIB& source, TDIB& rows, const DibOps::View& view,
                       const TZoomedView& v) {
    const int w = view.width, h = view.height;
    if (w <= 0 || h <= 0 || view.bpp != 4) return;
    const QSize desktopSize(desktop.width, desktop.height);
    const QRect covered = ZoomedImageArea(desktopSize, v.zoom, v.offset, QSize(w, h));
    if (UnmagnifiedOnWholePixels(v)) {
        FillAround(view, covered, v.background);
        if (!covered.isEmpty())
            CopyOpaque(desktop, covered.translated(int(v.offset.x()), int(v.offset.y())), view,
                       covered.topLeft());
        return;
    }
    const bool grid = v.mode == TInterpolation::Nearest && PixelGridStrength(v.zoom) > 0;
    const QRect seen = SeenPart(covered, v, desktopSize);
    if (seen.isEmpty()) {
        FillInView(view, QRect(0, 0, w, h), v.background);
        if (grid) DrawPixelGrid(view, v.zoom, v.offset, v.firstPixel, v.phase);
        return;
    }
    EnsureScratch(source, seen.width(), seen.height());
    CopyOpaque(desktop, seen, source.View(), QPoint(0, 0));
    if (InWholeRows(v)) {
        DrawInWholeRows(source, seen, rows, view, v, covered, grid);
        return;
    }
    FillAround(view, covered, v.background);
    DibOps::ResizeSqr(source.ConstView(), QRect(0, 0, seen.width(), seen.height()), view, QRect(0, 0, w, h),
                      v.zoom, v.zoom, seen.left() * v.zoom - v.offset.x(), seen.top() * v.zoom - v.offset.y(),
                      v.mode);
    if (grid) DrawPixelGrid(view, v.zoom, v.offset, v.firstPixel, v.phase);
}

void DrawZoomedDesktop(const TDIB& desktop, TDIB& source, TDIB& rows, TDIB& view, const TZoomedView& v) {
    if (view.BitCount() != 32) return;
    DrawZoomedDesktop(desktop, source, rows, view.View(), v);
}

THls RgbToHls(int red, int green, int blue) {
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

uint32_t HlsToRgb(THls c) {
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
    return channel(m1, m2, c.hue + 1.0 / 3) << 16 | channel(m1, m2, c.hue) << 8 |
           channel(m1, m2, c.hue - 1.0 / 3);
}

QRect PickPanelRect(const QRect& pick, int viewWidth, int viewHeight) {
    const int right = pick.left() + pick.width(), bottom = pick.top() + pick.height();
    int left = right + 27, top = bottom + 12;
    if (left + PickPanelWidth > viewWidth - 2) left = pick.left() - 186;
    if (top + PickPanelHeight > viewHeight - 2) top = pick.top() - 128;
    return QRect(left, top, PickPanelWidth, PickPanelHeight);
}

namespace {

std::string Padded3(uint32_t v) {
    std::string s = std::to_string(v);
    return std::string(s.size() < 3 ? 3 - s.size() : 0, ' ') + s;
}

// The readout's words, English in the program's own texts as well, in the interface language (the
// readout is drawn on the overlay's worker too: the lookup is thread-safe).
std::string Word(const char* source) {
    return QCoreApplication::translate("OverlayPaint", source).toStdString();
}

std::string Hex6(uint32_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s(6, '0');
    for (int i = 5; i >= 0; --i, v >>= 4)
        s[size_t(i)] = digits[v & 0xF];
    return s;
}

} // namespace

std::vector<TReadoutLine> PickReadoutLines(const QRect& n, bool singlePixel, uint32_t picked,
                                           QPoint panelTopLeft) {
    const int a = panelTopLeft.x() + 13, b = a + 80, y0 = panelTopLeft.y() + 9;
    std::vector<TReadoutLine> lines;
    lines.push_back({QPoint(a, y0), "x " + std::to_string(n.left()), 11});
    lines.push_back({QPoint(b, y0), "y " + std::to_string(n.top()), 11});
    int colourHeight = 11;
    if (singlePixel) {
        lines.push_back({QPoint(a, y0 + 20), Word(QT_TRANSLATE_NOOP("OverlayPaint", "Ctrl to select")), 12});
        colourHeight = 15;
    } else {
        lines.push_back({QPoint(a, y0 + 20), "w " + std::to_string(n.width()), 11});
        lines.push_back({QPoint(b, y0 + 20), "h " + std::to_string(n.height()), 11});
    }
    lines.push_back({QPoint(a, y0 + 50),
                     (singlePixel ? Word(QT_TRANSLATE_NOOP("OverlayPaint", "Color"))
                                  : Word(QT_TRANSLATE_NOOP("OverlayPaint", "Sel color"))) +
                         " " + Hex6(picked & 0xFFFFFF),
                     colourHeight});
    const uint32_t red = picked & 0xFF, green = picked >> 8 & 0xFF, blue = picked >> 16 & 0xFF;
    lines.push_back(
        {QPoint(a, y0 + 70), "RGB " + Padded3(red) + " " + Padded3(green) + " " + Padded3(blue), 13});
    const THls hls = RgbToHls(int(red), int(green), int(blue));
    lines.push_back({QPoint(a, y0 + 85),
                     "HLS " + std::to_string(RoundEven(hls.hue * 360)) + " " +
                         std::to_string(RoundEven(hls.lightness * 100)) + "% " +
                         std::to_string(RoundEven(hls.saturation * 100)) + "%",
                     13});
    return lines;
}

TPickDisplayParts PickDisplayParts(const QRect& s, int w, int h) {
    auto span = [](int x1, int y1, int x2, int y2) { return QRect(x1, y1, x2 - x1, y2 - y1); };
    const int sl = s.left(), st = s.top(), sr = s.left() + s.width(), sb = s.top() + s.height();
    const QRect panel = PickPanelRect(s, w, h);
    return {{span(sl, 0, sr, st), span(sl, sb, sr, h), span(0, st, sl, sb), span(sr, st, w, sb)},
            s,
            QRect(panel.left() - 15, panel.top() - 1, panel.width() + 16, panel.height() + 2) &
                QRect(0, 0, w, h)};
}

void DrawPickDisplay(const DibOps::View& view, TDIB& panelScratch, TAgg2D& text, const QRect& s,
                     const QRect& n, bool singlePixel, uint32_t picked, double phase) {
    DrawPickDisplay(view, QPoint(0, 0), QSize(view.width, view.height), panelScratch, text, s, n, singlePixel,
                    picked, phase);
}

namespace {

QRect Span(int x1, int y1, int x2, int y2) {
    return QRect(x1, y1, x2 - x1, y2 - y1);
}

// The panel's frame in the picked colour (a swatch bar on its left) around its inside, darkened towards
// the colour's own hue; panel in the scratch's coordinates.
void DrawPanelFrame(TDIB& p, const QRect& panel, uint32_t picked) {
    const int red = int(picked & 0xFF), green = int(picked >> 8 & 0xFF), blue = int(picked >> 16 & 0xFF);
    const THls hls = RgbToHls(red, green, blue);
    const uint32_t swatch = 0xFF000000u | uint32_t(red) << 16 | uint32_t(green) << 8 | uint32_t(blue);
    const int L = panel.left() + 1, T = panel.top() + 1;
    const int R = panel.left() + panel.width() - 1, B = panel.top() + panel.height() - 1;
    p.FillRect(Span(L - 16, T, L, B), swatch, 256);
    p.FillRect(Span(R, T, R + 2, B), swatch, 256);
    p.FillRect(Span(L - 16, T - 2, R + 2, T), swatch, 256);
    p.FillRect(Span(L - 16, B, R + 2, B + 2), swatch, 256);
    p.FillRect(Span(L, T, R, B), 0xFF000000u | HlsToRgb({hls.hue, 0.25, hls.saturation}), 128);
}

// The read-out's lines in white through text (attached to the scratch whose top-left is o in the
// frame), each kept inside the panel and the frame.
void DrawReadout(TAgg2D& text, const QRect& panel, QPoint o, QSize frame, const QRect& n, bool singlePixel,
                 uint32_t picked) {
    text.SetClipBox(std::max(panel.left(), 0) - o.x(), std::max(panel.top(), 0) - o.y(),
                    std::min(panel.left() + panel.width(), frame.width()) - 1 - o.x(),
                    std::min(panel.top() + panel.height(), frame.height()) - 1 - o.y());
    text.SetLineWidth(0);
    text.SetFillColor(AggColor(255, 255, 255));
    text.SetTextAlignment(AggAlignH::Left, AggAlignV::Top);
    int height = 0;
    for (const TReadoutLine& line : PickReadoutLines(n, singlePixel, picked, panel.topLeft())) {
        if (line.fontHeight != height) {
            height = line.fontHeight;
            text.SetFont(OverlayFontFamily, false, height);
        }
        text.DrawText(line.text, true, line.at.x() - o.x(), line.at.y() - o.y());
    }
}

} // namespace

void DrawPickDisplay(const DibOps::View& view, QPoint origin, QSize frame, TDIB& panelScratch, TAgg2D& text,
                     const QRect& s, const QRect& n, bool singlePixel, uint32_t picked, double phase) {
    const int w = frame.width(), h = frame.height();
    if (w <= 0 || h <= 0 || view.width <= 0 || view.height <= 0 || (view.bpp != 3 && view.bpp != 4)) return;
    const QRect all(0, 0, w, h);
    const QRect held = QRect(origin, QSize(view.width, view.height)) & all;
    auto blend = [&](const QRect& r, uint32_t colour, int alpha) {
        const QRect c = (r & held).translated(-origin);
        if (c.isEmpty()) return;
        DibOps::FillBlend(view, c, colour, alpha);
        // The blend's rounding leaves an opaque pixel's alpha at 254: in a window surface with alpha
        // that would let the desktop behind the window through.
        if (view.bpp == 4) DibOps::AddSubC(view, c, 0xFF000000u, 0);
    };
    // The bands' light lilac: an orange-ish HLS colour read with red and blue exchanged. The bands run
    // along the pick's rows and columns and the panel sits 12 pixels off them, so the two never meet.
    const uint32_t warm = HlsToRgb({0.075 + 0.05 * std::sin(phase / 7500), 0.8, 0.7});
    const uint32_t band = 0xFF000000u | (warm & 0xFF) << 16 | (warm & 0xFF00) | (warm >> 16 & 0xFF);
    const int bandWeight = singlePixel ? 192 : 64, pickWeight = singlePixel ? 64 : 192;
    const TPickDisplayParts parts = PickDisplayParts(s, w, h);
    for (const QRect& r : parts.bands)
        blend(r, band, bandWeight);
    blend(parts.pick, band, pickWeight);

    // The panel with its colour bar and frame is drawn in a scratch image of its own and copied back:
    // the view need not be an image of the library (it can be the window's surface).
    const QRect panel = PickPanelRect(s, w, h);
    const QRect framed = parts.framed;
    // The panel frosts what lies under all of it: only a view that holds all of it draws it.
    if (framed.isEmpty() || !held.contains(framed)) return;
    if (panelScratch.BitCount() != view.bpp * 8 || panelScratch.Width() < framed.width() ||
        panelScratch.Height() < framed.height())
        panelScratch = TDIB(std::max(panelScratch.Width(), framed.width()),
                            std::max(panelScratch.Height(), framed.height()), view.bpp * 8);
    TDIB& p = panelScratch;
    const DibOps::View scratch = p.View();
    DibOps::Copy(view, framed.translated(-origin), scratch, 0, 0);
    const QPoint o = framed.topLeft();
    const QRect part(0, 0, framed.width(), framed.height());
    p.SetClipRect(part);
    p.Blur(panel.translated(-o), QSize(11, 11), 3);
    DrawPanelFrame(p, panel.translated(-o), picked);
    if (panel.intersects(all) && text.Attach(p))
        DrawReadout(text, panel, o, QSize(w, h), n, singlePixel, picked);
    p.SetClipRect(QRect(0, 0, p.Width(), p.Height()));
    if (view.bpp == 4) DibOps::AddSubC(scratch, part, 0xFF000000u, 0); // the dark tone's blend, as above
    DibOps::Copy(scratch, part, view, o.x() - origin.x(), o.y() - origin.y());
}

void DrawPickDisplay(TDIB& view, TAgg2D& text, const QRect& s, const QRect& n, bool singlePixel,
                     uint32_t picked, double phase) {
    TDIB panel;
    DrawPickDisplay(view.View(), panel, text, s, n, singlePixel, picked, phase);
}

void ComposeOverlayRows(const TOverlayFrame& f, int top, int bottom) {
    const QRect& clip = f.clip;
    const QRect& drawn = f.drawn;
    const int ox = f.at.x() - clip.left();
    for (int y = top; y < bottom; ++y) {
        const int oy = f.at.y() - clip.top() + y;
        if (y < drawn.top() || y > drawn.bottom() || drawn.isEmpty()) {
            DibOps::TintOver(f.desktop, QRect(clip.left(), y, clip.width(), 1), f.out, f.at.x(), oy, f.tint);
            continue;
        }
        if (drawn.left() > clip.left())
            DibOps::TintOver(f.desktop, QRect(clip.left(), y, drawn.left() - clip.left(), 1), f.out, f.at.x(),
                             oy, f.tint);
        if (drawn.right() < clip.right())
            DibOps::TintOver(f.desktop, QRect(drawn.right() + 1, y, clip.right() - drawn.right(), 1), f.out,
                             ox + drawn.right() + 1, oy, f.tint);
        const QRect row(drawn.left(), y, drawn.width(), 1);
        if (f.desktop.bpp == 3) {
            DibOps::Copy24To32(f.desktop, row, f.out, ox + drawn.left(), oy);
        } else {
            DibOps::Copy(f.desktop, row, f.out, ox + drawn.left(), oy);
            auto* p = reinterpret_cast<uint32_t*>(f.out.Pixel(ox + drawn.left(), oy));
            for (int i = 0; i < drawn.width(); ++i)
                p[i] |= 0xFF000000u;
        }
        DibOps::AlphaBlend(f.layer, row, f.out, ox + drawn.left(), oy, 255, true);
    }
}

void ComposeOverlay(const TOverlayFrame& f, bool split) {
    const int top = f.clip.top(), bottom = f.clip.bottom() + 1;
    if (!split) {
        ComposeOverlayRows(f, top, bottom);
        return;
    }
    auto prepared = [&f](int from, int to) {
        const int oy = f.at.y() - f.clip.top();
        PrepareMemory(f.out.Row(oy + from), size_t(f.out.stride) * size_t(to - from), true);
        if (f.desktop.bpp == 4)
            PrepareMemory(f.desktop.Row(from), size_t(f.desktop.stride) * size_t(to - from), false);
        ComposeOverlayRows(f, from, to);
    };
    const int half = top + f.clip.height() / 2;
    std::thread other(prepared, half, bottom);
    prepared(top, half);
    other.join();
}
