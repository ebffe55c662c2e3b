#include "ThumbMotion.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Where the card rests and where it flies while dragged.
constexpr int kRestSideInset = 48;     // pixels from the monitor's side to the resting card's outer edge
constexpr int kRestVerticalInset = 40; // least pixels from the monitor's top or bottom to the card
constexpr double kDragAhead = 0.4;     // the dragged card's centre right of the pointer, in half widths
constexpr int kDragBelow = 60;         // pixels from the pointer down to the dragged card's top edge
// Alpha the card loses for each unit its scale falls below the resting scale.
constexpr int kAlphaPerScale = 60;
// The sway: a slow tilt of up to pi / kTiltDivisor each way, and a swing that narrows and widens the top
// and bottom edges by up to kSwingDepth of their length and lifts the card by up to twice that of its
// half height.
constexpr int kTiltPeriodMs = 15711;
constexpr int kTiltDivisor = 35;
constexpr int kSwingPeriodMs = 1777;
constexpr float kSwingDepth = 0.06f;
// The share of the way to the target scale the card's scale covers each timer period.
constexpr double kScaleApproach = 0.25;

} // namespace

QPointF ThumbRestTarget(const QRect& f, const QRect& m, double hw, double hh, bool fading) {
    // Integer halves, so that a main window exactly centred counts as being on the right.
    const bool ownerLeft = f.left() + f.width() / 2 < m.left() + m.width() / 2;
    const double x =
        ownerLeft ? m.left() + m.width() - (hw + kRestSideInset) : m.left() + hw + kRestSideInset;
    const double v = f.top() + f.height() * 0.5;
    const double lo = m.top() + hh + kRestVerticalInset;
    const double hi = m.top() + m.height() - (hh + kRestVerticalInset);
    double y = v < lo ? lo : (v > hi ? hi : v);
    if (fading) y += kThumbFadeDrop;
    return QPointF(x, y);
}

QPointF ThumbDragTarget(QPoint pointer, double hw, double hh) {
    return QPointF(pointer.x() + kDragAhead * hw, pointer.y() + kDragBelow + hh);
}

int ThumbAlpha(double scale) {
    // Ties go to the even neighbour (the floating-point unit rounds to nearest).
    return 255 - int(std::nearbyint((kThumbRestScale - scale) * kAlphaPerScale));
}

QPointF SwayCorner(QPointF corner, QPointF centre, double phase, double timeMs) {
    constexpr float pi = 3.14159265358979f;
    const float ox = float(centre.x()), oy = float(centre.y());
    const float t = float(timeMs);
    float dx = float(corner.x()) - ox, dy = float(corner.y()) - oy;
    const float r = std::sqrt(dx * dx + dy * dy);
    // Counter-clockwise angle with y pointing up.
    float theta;
    if (dy < 0)
        theta = std::atan(dx / dy) + pi / 2;
    else if (dy > 0)
        theta = std::atan(dx / dy) + 3 * pi / 2;
    else
        theta = dx >= 0 ? 0 : pi;
    theta += std::sin(t * 2 * pi / kTiltPeriodMs) * pi / kTiltDivisor;
    float px = ox + r * std::cos(theta), py = oy - r * std::sin(theta);
    dx = px - ox;
    dy = py - oy;
    const float psi = t * 2 * pi / kSwingPeriodMs + float(phase);
    px += std::cos(psi) * dx * kSwingDepth;
    py -= (std::fabs(dy) + std::sin(psi) * dy) * kSwingDepth;
    return QPointF(px, py);
}

QRect QuadBounds(const TQuad& q) {
    double l = q[0].x(), t = q[0].y(), r = l, b = t;
    for (const QPointF& p : q) {
        l = std::min(l, p.x());
        t = std::min(t, p.y());
        r = std::max(r, p.x());
        b = std::max(b, p.y());
    }
    const int left = int(std::nearbyint(l)), top = int(std::nearbyint(t));
    return QRect(left, top, int(std::nearbyint(r)) - left, int(std::nearbyint(b)) - top);
}

QRect MonitorOf(const QRect& window, const QList<QRect>& monitors) {
    QRect best;
    qint64 bestArea = 0;
    for (const QRect& m : monitors) {
        const QRect common = m.intersected(window);
        const qint64 area = qint64(common.width()) * common.height();
        if (!common.isEmpty() && area > bestArea) {
            best = m;
            bestArea = area;
        }
    }
    if (bestArea > 0) return best;
    // Off every monitor (or of no size): the nearest by the window's centre.
    const QPoint c = window.center();
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    for (const QRect& m : monitors) {
        const qint64 dx = c.x() < m.left() ? m.left() - c.x() : (c.x() > m.right() ? c.x() - m.right() : 0);
        const qint64 dy = c.y() < m.top() ? m.top() - c.y() : (c.y() > m.bottom() ? c.y() - m.bottom() : 0);
        if (dx * dx + dy * dy < bestDistance) {
            bestDistance = dx * dx + dy * dy;
            best = m;
        }
    }
    return best;
}

void TThumbMotion::Start(QPointF origin, QSize picture) {
    Picture = picture;
    Scale = kThumbRestScale;
    Time = 0;
    FollowStart(FilterParams, FilterX, kThumbFollowTime, origin.x());
    FollowStart(FilterParams, FilterY, kThumbFollowTime, origin.y());
    Centre = origin;
    Alpha = ThumbAlpha(Scale);
    HalfExtent = QPointF(Scale * picture.width(), Scale * picture.height());
    Target = origin;
    Step(0, 0, TThumbInputs{});
}

void TThumbMotion::Step(int periods, double intervalMs, const TThumbInputs& in) {
    periods = std::max(periods, 0);
    Time += periods * intervalMs;
    const double targetScale = in.dragging ? kThumbDragScale : kThumbRestScale;
    for (int i = 0; i < periods; ++i)
        Scale += (targetScale - Scale) * kScaleApproach;
    const double hw = Scale * Picture.width(), hh = Scale * Picture.height();
    HalfExtent = QPointF(hw, hh);
    Alpha = ThumbAlpha(Scale);
    if (periods > 0) {
        Target = in.dragging ? ThumbDragTarget(in.pointer, hw, hh)
                             : ThumbRestTarget(in.owner, in.monitor, hw, hh, in.fading);
        double px = Centre.x(), py = Centre.y();
        for (int i = 0; i < periods; ++i) {
            px = FollowStep(FilterParams, FilterX, Target.x());
            py = FollowStep(FilterParams, FilterY, Target.y());
        }
        Centre = QPointF(px, py);
    }
    const QPointF o = Centre;
    ScreenQuad = {QPointF(o.x() - hw, o.y() - hh), QPointF(o.x() + hw, o.y() - hh),
                  QPointF(o.x() + hw, o.y() + hh), QPointF(o.x() - hw, o.y() + hh)};
    constexpr double halfPi = 1.57079632679489662;
    for (int i = 0; i < 4; ++i)
        ScreenQuad[i] = SwayCorner(ScreenQuad[i], o, i < 2 ? halfPi : -halfPi, Time);
    WindowRect = QuadBounds(ScreenQuad);
    for (int i = 0; i < 4; ++i)
        WindowQuad[i] = ScreenQuad[i] - QPointF(WindowRect.topLeft());
}
