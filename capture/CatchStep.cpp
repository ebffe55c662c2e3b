#include "CatchStep.h"

#include "Annotation.h"

#include <algorithm>
#include <cmath>

namespace {

void IncludePoint(TShapeBounds& b, const TPointD& q, int m) {
    const int x = RoundEven(q.x), y = RoundEven(q.y);
    b.Include(x - m, y - m, x + m, y + m);
}

// One cycle of one shape; grows `changed` by what it drew.
void StepStroke(CaptureShape& s, bool active, bool selection, TPointD pointer, int m, const QRect& image,
                QRect& changed) {
    if (active) s.Target = pointer;
    const float d = float(std::hypot(s.Target.x - s.Pen.x, s.Target.y - s.Pen.y));
    if (active && d <= PenHoldDistance) return;
    if (d < PenCaughtUpDistance) s.Kind = skFinished;
    s.Points.push_back(s.Pen);
    IncludePoint(s.Bounds, s.Pen, m);
    s.Bounds.Clip(image);
    TShapeBounds segment;
    IncludePoint(segment, s.Pen, m);
    const size_t n = s.Points.size();
    if (n >= 2) IncludePoint(segment, s.Points[n - 2], m);
    if (selection) IncludePoint(segment, s.Points.front(), m);
    segment.Clip(image);
    changed |= segment.ToRect();
    s.Pen.x = FollowStep(s.FollowParams[0], s.FollowState[0], s.Target.x);
    s.Pen.y = FollowStep(s.FollowParams[1], s.FollowState[1], s.Target.y);
}

} // namespace

QRect StepStrokes(std::vector<CaptureShape>& shapes, int activeShape, TPointD pointer, int penMargin,
                  QSize image, int cycles) {
    const QRect bounds(QPoint(0, 0), image);
    QRect changed;
    for (int c = 0; c < cycles; ++c) {
        for (int i = 0; i < int(shapes.size()); ++i) {
            CaptureShape& s = shapes[size_t(i)];
            if (s.Kind != skFollowing) continue;
            // The marker's stroke is wider than the pen's.
            const int m = s.Tool == TToolKind::Marker ? StrokeMargin(s, 0) : penMargin;
            StepStroke(s, i == activeShape, i == 0, pointer, m, bounds, changed);
        }
    }
    return changed;
}

bool StepHelpCardFade(int& elapsed, int& alpha, int cycles) {
    bool stepped = false;
    for (int c = 0; c < cycles && elapsed >= 0 && alpha > 0; ++c) {
        elapsed += HelpCardFadeStepMs;
        const double a = 255 - 255 * std::log(elapsed / HelpCardFadeScaleMs + 1) / std::log(HelpCardFadeEnd);
        alpha = std::max(RoundEven(a), 0);
        stepped = true;
    }
    return stepped;
}

bool StepView(TViewGlide& v, int cycles) {
    bool moved = false;
    for (int c = 0; c < cycles; ++c) {
        // QPointF's own comparison is fuzzy: the coordinates are compared exactly.
        if (v.zoom == v.targetZoom && v.offset.x() == v.targetOffset.x() &&
            v.offset.y() == v.targetOffset.y())
            break;
        double z = v.zoom + (v.targetZoom - v.zoom) * ViewStepShare;
        double ox = v.offset.x() + (v.targetOffset.x() - v.offset.x()) * ViewStepShare;
        double oy = v.offset.y() + (v.targetOffset.y() - v.offset.y()) * ViewStepShare;
        if (v.targetZoom == 1 && std::abs(z - 1) < 0.1 && std::abs(v.targetOffset.x() - ox) < 0.5 &&
            std::abs(v.targetOffset.y() - oy) < 0.5)
            z = v.targetZoom;
        // The steps approach their targets without ever reaching them exactly: settle once the rest is
        // invisible, so the animation (and its full repaints) ends.
        if (std::abs(v.targetZoom - z) < 1e-4) z = v.targetZoom;
        if (std::abs(v.targetOffset.x() - ox) < 0.01) ox = v.targetOffset.x();
        if (std::abs(v.targetOffset.y() - oy) < 0.01) oy = v.targetOffset.y();
        v.zoom = z;
        v.offset = QPointF(ox, oy);
        moved = true;
    }
    return moved;
}
