#include "CaptureShape.h"

#include <algorithm>
#include <cmath>

void TShapeBounds::Include(int32_t l, int32_t t, int32_t r, int32_t b) {
    left = std::min(left, l);
    top = std::min(top, t);
    right = std::max(right, r);
    bottom = std::max(bottom, b);
}

void TShapeBounds::Clip(const QRect& r) {
    left = std::max(left, int32_t(r.left()));
    top = std::max(top, int32_t(r.top()));
    right = std::min(right, int32_t(r.left() + r.width()));
    bottom = std::min(bottom, int32_t(r.top() + r.height()));
}

bool TShapeBounds::Inside(const TShapeBounds& o) const {
    return left >= o.left && top >= o.top && right <= o.right && bottom <= o.bottom;
}

int PenMargin(double penWidth) {
    return std::max(10, RoundEven(penWidth)) / 2 + 1;
}

QRect PointsBounds(const std::vector<TPointD>& pts, double margin) {
    if (pts.empty()) return {};
    double l = pts[0].x, t = pts[0].y, r = l, b = t;
    for (const TPointD& q : pts) {
        l = std::min(l, q.x);
        r = std::max(r, q.x);
        t = std::min(t, q.y);
        b = std::max(b, q.y);
    }
    const int m = int(std::ceil(margin));
    const int x1 = int(std::floor(l)) - m, y1 = int(std::floor(t)) - m;
    const int x2 = int(std::ceil(r)) + m, y2 = int(std::ceil(b)) + m;
    return QRect(x1, y1, x2 - x1 + 1, y2 - y1 + 1);
}

TShapeBounds RectangleBounds(const CaptureShape& s) {
    TShapeBounds b;
    if (s.Points.size() < 3) return b;
    const TPointD& p = s.Points[0];
    const TPointD& q = s.Points[2];
    b.left = std::min(RoundEven(p.x - 0.01), RoundEven(q.x - 0.01));
    b.top = std::min(RoundEven(p.y - 0.01), RoundEven(q.y - 0.01));
    b.right = std::max(RoundEven(p.x + 0.01), RoundEven(q.x + 0.01));
    b.bottom = std::max(RoundEven(p.y + 0.01), RoundEven(q.y + 0.01));
    return b;
}
