// Pieces of the overlay's zoomed view that work on its scratch image alone, kept apart from the form so
// they can be checked pixel by pixel.
#pragma once

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
