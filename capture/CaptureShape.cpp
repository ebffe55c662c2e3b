#include "CaptureShape.h"

#include <algorithm>

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
