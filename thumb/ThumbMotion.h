// The thumbnail card's motion as plain arithmetic: where the card heads, how it scales, glides,
// rocks and fades, one timer period at a time. Nothing here touches a window, so the motion can be
// stepped with any elapsed time (a stalled timer comes back as several periods at once).
#pragma once

#include "FollowFilter.h"

#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

#include <array>

using TQuad = std::array<QPointF, 4>; // top-left, top-right, bottom-right, bottom-left

// What the card reads from its surroundings on each tick.
struct TThumbInputs {
    bool dragging = false; // the drag-out's loop runs (until the button is released)
    QPoint pointer;        // the mouse pointer, screen coordinates (read while dragging)
    QRect owner;           // the main window's bounds, also while it is hidden
    QRect monitor;         // the monitor the main window belongs to
    bool fading = false;   // the card is fading in or out
};

// The card's time constant in ticks: the glide settles in about 50 ticks (800 ms).
constexpr double kThumbFollowTime = 50;
constexpr double kThumbRestScale = 0.5;   // actual size (the card is 2 x scale x the picture)
constexpr double kThumbDragScale = 0.125; // a quarter of the picture while dragging
constexpr double kThumbFadeDrop = 110;    // pixels the resting place sinks while fading

// Where the card rests: on the side of the monitor away from the main window, its outer edge 48
// pixels in, its centre level with the main window's centre but at least 40 pixels inside the
// monitor's top and bottom edges (the top limit wins when both cannot hold).
QPointF ThumbRestTarget(const QRect& owner, const QRect& monitor, double hw, double hh, bool fading);
// While dragging the small card hangs below and to the right of the pointer.
QPointF ThumbDragTarget(QPoint pointer, double hw, double hh);
// The window's constant alpha for a scale: 255 at rest, about 233 in the drag.
int ThumbAlpha(double scale);
// One corner of the card rocked about the centre at animation time `timeMs` (single precision,
// as the picture needs no more): a slow tilt of up to pi/35 each way (period 15.711 s) and a
// 1.777 s swing that narrows and widens the top and bottom edges by up to 6 % and lifts the card by
// up to 12 % of its half height.
QPointF SwayCorner(QPointF corner, QPointF centre, double phase, double timeMs);
// The integer bounding box of a quadrangle, each extreme rounded to nearest.
QRect QuadBounds(const TQuad& quad);
// The monitor a window belongs to: the one it overlaps most, else the nearest; an empty list gives
// an empty rectangle.
QRect MonitorOf(const QRect& window, const QList<QRect>& monitors);

class TThumbMotion {
  public:
    // Starts at actual size with the centre at `origin`; the position filters are based there.
    void Start(QPointF origin, QSize picture);
    // Advances by `periods` timer periods of `intervalMs` each (0 only recomputes the corners from
    // the present state). Scale and position filters take one step per period; the sway uses the
    // whole elapsed time.
    void Step(int periods, double intervalMs, const TThumbInputs& in);

    double Scale = kThumbRestScale;
    double Time = 0; // animation clock, ms
    QPointF HalfExtent;
    QPointF Target;
    QPointF Centre; // the filtered centre
    int Alpha = 255;
    TQuad ScreenQuad{};
    QRect WindowRect;   // bounding box of ScreenQuad
    TQuad WindowQuad{}; // ScreenQuad relative to WindowRect's top-left
    QSize Picture;

    TFollowParams FilterParams;
    TFollowState FilterX, FilterY;
};
