// Pieces of the overlay's zoomed view that work on its scratch image alone, kept apart from the form so
// they can be checked pixel by pixel.
#pragma once

#include "DibOps.h"

#include <QPoint>
#include <QPointF>

class TDIB;

// The pixel grid fades in between zoom 3.5 (nothing) and zoom 6 (full strength 32).
constexpr double PixelGridMinZoom = 3.5;
double PixelGridStrength(double zoom);

// How many levels the grid lines take off each colour channel at this paint phase (the worker's tick
// count times 100). The two directions pulse an eighth of a period apart so the grid seems to shimmer.
struct TGridDarkening {
    int vertical = 0;
    int horizontal = 0;
};
TGridDarkening PixelGridDarkening(double zoom, double phase);

// Darkens the left and top edge of every image pixel shown in the zoomed view. view shows image point
// ((x + offset.x) / zoom, (y + offset.y) / zoom) at client pixel (x, y); firstPixel is the image pixel
// under the client's top-left corner. Nothing is drawn below PixelGridMinZoom.
void DrawPixelGrid(TDIB& view, double zoom, QPointF offset, QPoint firstPixel, double phase);

#include <QRect>
#include <cstdint>

// The client pixels of a view (viewSize) that show some part of an image of imageSize, when client pixel
// (x, y) shows image point ((x + 0.5 + offset.x) / zoom, (y + 0.5 + offset.y) / zoom): the area the
// magnified desktop covers; the rest of the zoomed view is background.
QRect ZoomedImageArea(QSize imageSize, double zoom, QPointF offset, QSize viewSize);

// How the zoomed view shows the desktop: client pixel (x, y) shows image point ((x + 0.5 + offset.x) / zoom,
// (y + 0.5 + offset.y) / zoom) with the given interpolation (nearest, linear or cubic); firstPixel is
// the image pixel under the client's top-left corner, where the grid's lines start; phase pulses them.
struct TZoomedView {
    double zoom = 1;
    QPointF offset;
    QPoint firstPixel;
    TInterpolation mode = TInterpolation::Nearest;
    double phase = 0;
    uint32_t background = 0xFF181818u;
};

// The zoomed view's picture of the desktop (24-bit) in view (32-bit, opaque): the magnified desktop,
// background where no image pixel lands, and in nearest mode the pixel grid. Only the desktop part in view
// (and what the interpolation reads next to it) goes to 32 bits, through source; at whole zooms in nearest
// mode each image row is magnified and gridded once, in rows, and then repeated down the view. Both
// scratch images are the caller's, kept between paints, and grow when they must.
// view is a 32-bit image of the library or any plain 32-bit view (such as the window's surface).
void DrawZoomedDesktop(const TDIB& desktop, TDIB& source, TDIB& rows, const DibOps::View& view,
                       const TZoomedView& v);
// The same from a plain view of the desktop: the 24-bit picture, or the grabbed 32-bit rows (whose
// fourth byte is ignored) before they have been narrowed into it.
void DrawZoomedDesktop(const DibOps::ConstView& desktop, TDIB& source, TDIB& rows, const DibOps::View& view,
                       const TZoomedView& v);
void DrawZoomedDesktop(const TDIB& desktop, TDIB& source, TDIB& rows, TDIB& view, const TZoomedView& v);
#include <string>
#include <vector>

// A colour's hue, lightness and saturation, each 0..1 (the usual double-hexcone model; grey has hue 0).
struct THls {
    double hue = 0, lightness = 0, saturation = 0;
};
THls RgbToHls(int red, int green, int blue);
// 0xRRGGBB of an HLS colour.
uint32_t HlsToRgb(THls hls);

// The frosted read-out panel next to the pick in the zoomed view: 174 x 116, to the right of and below
// the pick, moved to its left or above it where it would leave the view (W x H). pick is in client
// pixels with exclusive right and bottom.
constexpr int PickPanelWidth = 174, PickPanelHeight = 116;
QRect PickPanelRect(const QRect& pick, int viewWidth, int viewHeight);

// One text line of the read-out panel: top-left of the text in client pixels, UTF-8, font height.
struct TReadoutLine {
    QPoint at;
    std::string text;
    int fontHeight = 11;
    bool operator==(const TReadoutLine&) const = default;
};
// The read-out of a pick: n is the pick in image pixels (exclusive right and bottom), picked the colour
// as 0x00BBGGRR. A single-pixel pick (hovering) invites Ctrl to select instead of giving a size.
std::vector<TReadoutLine> PickReadoutLines(const QRect& n, bool singlePixel, uint32_t picked,
                                           QPoint panelTopLeft);

class TAgg2D;

// The overlay's font, matched by the system to what is installed.
inline constexpr const char* OverlayFontFamily = "宋体";

// The pick display of the zoomed view: crosshair bands through the pick s (client pixels, exclusive
// right and bottom) and the frosted read-out panel with the picked colour's swatch and text. n is the
// pick in image pixels, picked its colour as 0x00BBGGRR, phase the paint phase. The panel is drawn in
// panelScratch (the caller's, kept between paints) and copied into view, which may be any plain view of
// 24 or 32 bits; text is left attached to the scratch.
void DrawPickDisplay(const DibOps::View& view, TDIB& panelScratch, TAgg2D& text, const QRect& s,
                     const QRect& n, bool singlePixel, uint32_t picked, double phase);
void DrawPickDisplay(TDIB& view, TAgg2D& text, const QRect& s, const QRect& n, bool singlePixel,
                     uint32_t picked, double phase);
// The same into a part of the frame: view holds the frame's pixels from origin on, the frame is
// frame.width() x frame.height(). The bands are drawn where view holds them, the panel only into a view
// that holds all of its frosted frame.
void DrawPickDisplay(const DibOps::View& view, QPoint origin, QSize frame, TDIB& panelScratch, TAgg2D& text,
                     const QRect& s, const QRect& n, bool singlePixel, uint32_t picked, double phase);
// Where in a frame W x H the pick display draws for the pick s (client pixels, exclusive right and
// bottom): four bands along the pick's rows and columns, the pick itself, and the panel's frosted frame
// (clipped to the frame). None of them overlap.
struct TPickDisplayParts {
    QRect bands[4];
    QRect pick;
    QRect framed;
};
TPickDisplayParts PickDisplayParts(const QRect& s, int w, int h);

// The normal view's frame in the rows of a paint: the desktop (the 24-bit picture, or the grabbed 32-bit
// rows whose fourth byte is ignored) under the tint, except in the drawn part of the clip, where the
// layer (32-bit premultiplied, the tint with what is drawn on it) is blended over the desktop instead.
// clip and drawn (inside clip) are image pixels; the clip's top-left corner goes to `at` in out (32-bit),
// which comes out opaque.
struct TOverlayFrame {
    DibOps::ConstView desktop;
    DibOps::ConstView layer;
    DibOps::View out;
    QRect clip;
    QRect drawn;
    QPoint at;
    uint32_t tint = 0;
};
// Rows top..bottom - 1 (image coordinates, inside the clip), each row whole before the next, so that the
// blend finds the copied row still in the cache.
void ComposeOverlayRows(const TOverlayFrame& f, int top, int bottom);
// The whole clip; with `split` the lower half goes to a second thread, each thread backing its part of
// out (and of 32-bit rows) in one go before writing: a fresh surface is out in about half the time on
// two cores.
void ComposeOverlay(const TOverlayFrame& f, bool split);
