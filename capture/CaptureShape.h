// The shapes of a capture overlay: element 0 of the list is the selection, the others are annotations:
// the pen's ink strokes and what the other tools of the overlay draw (see Annotation.h).
//
// Coordinates are pixels of the frozen desktop image; points sit at pixel centres (integer + 0.5).
#pragma once

#include "FollowFilter.h"
#include "PointD.h"

#include <QRect>
#include <QString>

#include <cmath>

#include <cstdint>
#include <vector>

// An area as left, top, right, bottom (right and bottom exclusive). The empty value is chosen so that
// growing it by any point takes that point's extent.
struct TShapeBounds {
    static constexpr int32_t EmptyLow = 536870911; // 0x1FFFFFFF
    static constexpr int32_t EmptyHigh = -536870911;
    int32_t left = EmptyLow, top = EmptyLow, right = EmptyHigh, bottom = EmptyHigh;

    bool IsSet() const { return left != EmptyLow; }
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return left >= right || top >= bottom; }
    void Include(int32_t l, int32_t t, int32_t r, int32_t b);
    void Clip(const QRect& r);
    bool Inside(const TShapeBounds& outer) const;
    QRect ToRect() const { return IsEmpty() ? QRect() : QRect(left, top, right - left, bottom - top); }
    static TShapeBounds FromRect(const QRect& r) {
        return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }
    bool operator==(const TShapeBounds&) const = default;
};

// What drew an annotation. The pen is the plain ink (free-form, or a rectangle with Ctrl).
enum class TToolKind : int32_t { Pen, Arrow, Line, Rectangle, Ellipse, Text, Step, Marker, Pixelate, Redact };
inline constexpr int ToolCount = 10;

enum TShapeKind : int32_t {
    skRectangle = -1, // four corner points, closed
    skFinished = 0,   // free-form, finished (or empty)
    skFollowing = 1,  // free-form, the pen still follows the mouse
};

struct CaptureShape {
    TShapeKind Kind = skFinished;
    TShapeBounds Bounds;
    std::vector<TPointD> Points;
    TPointD Pen;    // free-form: smoothed pen; rectangle: the corner where the drag started
    TPointD Target; // free-form: the mouse point followed; rectangle: the opposite corner
    TFollowState FollowState[2];
    TFollowParams FollowParams[2];
    // --- annotations ---
    TToolKind Tool = TToolKind::Pen;
    uint32_t Color = 0; // 0xAARRGGBB; 0 is the ink colour setting, whatever it is when drawn
    float Width = 0;    // the pen width the tool drew with; the pen itself always uses the overlay's
    QString Text;       // the text tool's lines, "\n" between them
};

// The repaint margin around a pen position: (max(10, round(pen width)) div 2) + 1.
int PenMargin(double penWidth);
// The pixels a polyline's points lie on, grown by `margin` (rounded up) on every side; empty for none.
QRect PointsBounds(const std::vector<TPointD>& points, double margin);
// Exact pixel bounds of a rectangle shape from its first and third points.
TShapeBounds RectangleBounds(const CaptureShape& s);
// Delphi-style Round: halves go to the even neighbour.
inline int RoundEven(double v) {
    return int(std::nearbyint(v));
}
