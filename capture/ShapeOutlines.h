// Outlines built from straight segments for the vector wrapper, which draws polygons only: rounded
// rectangles (the help card, the tool strip) and ellipses (the ellipse tool).
#pragma once

#include "PointD.h"

#include <vector>

// A rectangle with its own radius per corner (top-left, top-right, bottom-right, bottom-left),
// clockwise on screen.
std::vector<TPointD> RoundRect(double x, double y, double w, double h, double tl, double tr, double br,
                               double bl);
inline std::vector<TPointD> RoundRect(double x, double y, double w, double h, double r) {
    return RoundRect(x, y, w, h, r, r, r, r);
}

// The ellipse inside the box (x, y, w, h), with enough corners that no flat run shows.
std::vector<TPointD> EllipsePoints(double x, double y, double w, double h);
