// The tools that stroke: the pen and its rectangle, the marker, lines, arrows, rectangles, ellipses.
#include "AnnotationTools.h"

#include "Agg_2D_DIB.h"
#include "Compose.h"
#include "FollowFilter.h"
#include "ShapeOutlines.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

double SegmentDistance(TPointD p, TPointD a, TPointD b) {
    const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

bool NearPolyline(std::span<const TPointD> pts, TPointD p, double reach) {
    if (pts.size() == 1) return std::hypot(p.x - pts[0].x, p.y - pts[0].y) <= reach;
    for (size_t i = 1; i < pts.size(); ++i)
        if (SegmentDistance(p, pts[i - 1], pts[i]) <= reach) return true;
    return false;
}

// How far from its line a click still takes a stroke.
constexpr double HitSlack = 4;

void SetLine(TAgg2D& g, const CaptureShape& s, const TAnnotationCanvas& c, double width,
             uint8_t alpha = 255) {
    g.SetLineWidth(width);
    g.SetLineColorArgb((ShapeColour(s, c.inkColor) & 0x00FFFFFFu) | uint32_t(alpha) << 24);
}

// The four corners (pixel centres) of a two-point box, clockwise.
std::vector<TPointD> Corners(const CaptureShape& s) {
    const TPointD a = s.Points[0], b = s.Points[1];
    return {a, {b.x, a.y}, b, {a.x, b.y}};
}

} // namespace

// --- the pen ----------------------------------------------------------------------------------------

void TPenTool::Start(CaptureShape& s, TPointD at) const {
    s.Kind = skFollowing;
    s.Points.clear();
    s.Pen = s.Target = at;
    FollowStart(s.FollowParams[0], s.FollowState[0], 10, at.x);
    FollowStart(s.FollowParams[1], s.FollowState[1], 10, at.y);
}

void TPenTool::Draw(const CaptureShape& s, TAnnotationCanvas& c) const {
    TAgg2D& g = *c.painter;
    g.SetLineWidth(c.penWidth);
    g.SetLineColorArgb(InkPenColor(ShapeColour(s, c.inkColor), c.penWidth));
    if (s.Kind == skRectangle)
        g.Polygon(s.Points, PathDrawMode::StrokeOnly);
    else
        g.Polyline(s.Points);
}

QRect TPenTool::Bounds(const CaptureShape& s, double penWidth) const {
    if (s.Kind == skRectangle) {
        // Exactly as the rectangle's own repaint margin has it.
        if (s.Points.size() < 3) return {};
        const int m = PenMargin(penWidth);
        const int x1 = RoundEven(s.Points[0].x), y1 = RoundEven(s.Points[0].y);
        const int x2 = RoundEven(s.Points[2].x), y2 = RoundEven(s.Points[2].y);
        return QRect(QPoint(std::min(x1, x2) - m, std::min(y1, y2) - m),
                     QPoint(std::max(x1, x2) + m - 1, std::max(y1, y2) + m - 1));
    }
    return PointsBounds(s.Points, std::ceil(penWidth / 2) + 2);
}

bool TPenTool::Hit(const CaptureShape& s, TPointD at, double penWidth) const {
    if (s.Kind == skFollowing) return false; // still catching up with the pointer
    if (s.Kind == skRectangle) {
        std::vector<TPointD> ring(s.Points);
        if (!ring.empty()) ring.push_back(ring.front());
        return NearPolyline(ring, at, penWidth / 2 + HitSlack);
    }
    return NearPolyline(s.Points, at, penWidth / 2 + HitSlack);
}

void TPenRectangleTool::Start(CaptureShape& s, TPointD at) const {
    s.Kind = skRectangle;
    s.Pen = s.Target = at;
    s.Points.assign(4, at);
}

void TPenRectangleTool::Grow(CaptureShape& s, TPointD to, bool) const {
    s.Target = to;
    s.Points = {s.Pen, {s.Target.x, s.Pen.y}, s.Target, {s.Pen.x, s.Target.y}};
}

// --- the marker -------------------------------------------------------------------------------------

void TMarkerTool::Draw(const CaptureShape& s, TAnnotationCanvas& c) const {
    TAgg2D& g = *c.painter;
    SetLine(g, s, c, StrokeWidth(s.Width), Alpha);
    g.SetLineCap(AggLineCap::Square);
    g.Polyline(s.Points);
    g.SetLineCap(AggLineCap::Round);
}

QRect TMarkerTool::Bounds(const CaptureShape& s, double) const {
    // A square end reaches out by half the width diagonally.
    return PointsBounds(s.Points, StrokeWidth(s.Width) * 0.75 + 2);
}

bool TMarkerTool::Hit(const CaptureShape& s, TPointD at, double) const {
    return s.Kind != skFollowing && NearPolyline(s.Points, at, StrokeWidth(s.Width) / 2 + HitSlack);
}

// --- lines and arrows -------------------------------------------------------------------------------

void TLineTool::Grow(CaptureShape& s, TPointD to, bool constrain) const {
    if (constrain && s.Points.size() == 2) {
        // Multiples of 45 degrees, as long as the pointer is far.
        const TPointD a = s.Points[0];
        const double step = std::numbers::pi / 4;
        const double angle = std::round(std::atan2(to.y - a.y, to.x - a.x) / step) * step;
        const double length = std::hypot(to.x - a.x, to.y - a.y);
        // Whole multiples: a level or upright line stays exactly so.
        const int k = int(std::lround(angle / step)) & 7;
        constexpr double unit[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
        const double f = (k & 1) ? length / std::numbers::sqrt2 : length;
        to = {a.x + unit[k][0] * f, a.y + unit[k][1] * f};
    }
    TAnnotationTool::Grow(s, to, false);
}

void TLineTool::Draw(const CaptureShape& s, TAnnotationCanvas& c) const {
    SetLine(*c.painter, s, c, s.Width);
    c.painter->Polyline(s.Points);
}

QRect TLineTool::Bounds(const CaptureShape& s, double) const {
    return PointsBounds(s.Points, s.Width / 2 + 2);
}

bool TLineTool::Hit(const CaptureShape& s, TPointD at, double) const {
    return NearPolyline(s.Points, at, s.Width / 2 + HitSlack);
}

void TArrowTool::Draw(const CaptureShape& s, TAnnotationCanvas& c) const {
    if (s.Points.size() < 2) return;
    const TPointD a = s.Points[0], b = s.Points[1];
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    if (length < 1) return;
    TAgg2D& g = *c.painter;
    const double head = std::min(HeadLength(s.Width), length);
    const TPointD u{(b.x - a.x) / length, (b.y - a.y) / length}, n{-u.y, u.x};
    const TPointD base{b.x - u.x * head, b.y - u.y * head};
    const double half = head * 0.45;
    SetLine(g, s, c, s.Width);
    // The shaft ends inside the head, so that no seam shows between them.
    const TPointD shaft[2] = {a, {base.x + u.x * head * 0.3, base.y + u.y * head * 0.3}};
    if (length > head) g.Polyline(shaft);
    const TPointD tip[3] = {
        b, {base.x + n.x * half, base.y + n.y * half}, {base.x - n.x * half, base.y - n.y * half}};
    g.Polygon(tip, PathDrawMode::FillWithLineColor);
}

QRect TArrowTool::Bounds(const CaptureShape& s, double) const {
    return PointsBounds(s.Points, std::max(s.Width / 2.0, HeadLength(s.Width) * 0.45) + 2);
}

// --- rectangles and ellipses ------------------------------------------------------------------------

void TRectangleTool::Grow(CaptureShape& s, TPointD to, bool constrain) const {
    if (constrain && !s.Points.empty()) {
        const TPointD a = s.Points[0];
        const double side = std::max(std::abs(to.x - a.x), std::abs(to.y - a.y));
        to = {a.x + (to.x < a.x ? -side : side), a.y + (to.y < a.y ? -side : side)};
    }
    TAnnotationTool::Grow(s, to, false);
}

void TRectangleTool::Draw(const CaptureShape& s, TAnnotationCanvas& c) const {
    TAgg2D& g = *c.painter;
    SetLine(g, s, c, s.Width);
    g.SetLineJoin(AggLineJoin::Miter);
    g.Polygon(Corners(s), PathDrawMode::StrokeOnly);
    g.SetLineJoin(AggLineJoin::Round);
}

QRect TRectangleTool::Bounds(const CaptureShape& s, double) const {
    return PointsBounds(s.Points, s.Width / 2 + 2);
}

void TEllipseTool::Draw(const CaptureShape& s, TAnnotationCanvas& c) const {
    const TPointD a = s.Points[0], b = s.Points[1];
    SetLine(*c.painter, s, c, s.Width);
    c.painter->Polygon(
        EllipsePoints(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y)),
        PathDrawMode::StrokeOnly);
}
