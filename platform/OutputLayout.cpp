#include "OutputLayout.h"

#include <algorithm>
#include <cmath>

namespace {

int Low(const QRect& r, bool horizontal) {
    return horizontal ? r.left() : r.top();
}
int High(const QRect& r, bool horizontal) {
    return horizontal ? r.left() + r.width() : r.top() + r.height();
}

double Scale(const TOutputInfo& o, bool horizontal) {
    const int logical = horizontal ? o.logical.width() : o.logical.height();
    const int device = horizontal ? o.device.width() : o.device.height();
    return logical > 0 && device > 0 ? double(device) / logical : 1.0;
}

} // namespace

TOutputLayout::TAxis TOutputLayout::MakeAxis(const std::vector<TOutputInfo>& outputs, bool horizontal) {
    TAxis axis;
    for (const TOutputInfo& o : outputs) {
        axis.logical.push_back(Low(o.logical, horizontal));
        axis.logical.push_back(High(o.logical, horizontal));
    }
    std::sort(axis.logical.begin(), axis.logical.end());
    axis.logical.erase(std::unique(axis.logical.begin(), axis.logical.end()), axis.logical.end());
    if (axis.logical.empty()) return axis;
    // The layout's first edge keeps its coordinate; every stretch after it is as long as the largest
    // scale over it makes it (a stretch no output covers keeps its logical length).
    axis.device.push_back(axis.logical.front());
    for (size_t i = 1; i < axis.logical.size(); ++i) {
        const int a = axis.logical[i - 1], b = axis.logical[i];
        double scale = 0;
        for (const TOutputInfo& o : outputs)
            if (Low(o.logical, horizontal) <= a && High(o.logical, horizontal) >= b)
                scale = std::max(scale, Scale(o, horizontal));
        if (scale <= 0) scale = 1;
        axis.device.push_back(axis.device.back() + (b - a) * scale);
    }
    return axis;
}

double TOutputLayout::TAxis::Map(double v) const {
    if (logical.empty()) return v;
    if (logical.size() == 1 || v <= logical.front()) return device.front() + (v - logical.front());
    for (size_t i = 1; i < logical.size(); ++i) {
        if (v > logical[i] && i + 1 < logical.size()) continue;
        const double a = logical[i - 1], b = logical[i];
        if (v > b) return device[i] + (v - b);
        return device[i - 1] + (v - a) * (device[i] - device[i - 1]) / (b - a);
    }
    return v;
}

TOutputLayout::TOutputLayout(std::vector<TOutputInfo> outputs) {
    // Outputs the compositor has not finished describing take no room.
    outputs.erase(
        std::remove_if(outputs.begin(), outputs.end(),
                       [](const TOutputInfo& o) { return o.logical.isEmpty() || o.device.isEmpty(); }),
        outputs.end());
    x_ = MakeAxis(outputs, true);
    y_ = MakeAxis(outputs, false);
    for (TOutputInfo& o : outputs) {
        const int left = int(std::lround(x_.Map(o.logical.left())));
        const int top = int(std::lround(y_.Map(o.logical.top())));
        places_.push_back({o, QRect(QPoint(left, top), o.device)});
    }
}

QList<QRect> TOutputLayout::Monitors() const {
    QList<QRect> list;
    for (const TOutputPlace& p : places_)
        list << p.device;
    return list;
}

QRect TOutputLayout::Bounds() const {
    QRect bounds;
    for (const TOutputPlace& p : places_)
        bounds |= p.device;
    return bounds;
}

const TOutputPlace* TOutputLayout::PlaceOf(const QPointF& logical) const {
    // Half open: an output's right and bottom edges are its neighbour's.
    for (const TOutputPlace& p : places_) {
        const QRect& l = p.info.logical;
        if (logical.x() >= l.left() && logical.x() < l.left() + l.width() && logical.y() >= l.top() &&
            logical.y() < l.top() + l.height())
            return &p;
    }
    return nullptr;
}

QPointF TOutputLayout::Map(const QPointF& logical, const TOutputPlace* by) const {
    if (!by) return QPointF(x_.Map(logical.x()), y_.Map(logical.y()));
    const QRect& l = by->info.logical;
    return QPointF(by->device.left() + (logical.x() - l.left()) * by->device.width() / l.width(),
                   by->device.top() + (logical.y() - l.top()) * by->device.height() / l.height());
}

QPointF TOutputLayout::DeviceFromLogical(const QPointF& logical) const {
    return Map(logical, PlaceOf(logical));
}

QRect TOutputLayout::DeviceFromLogical(const QRect& logical) const {
    if (logical.isEmpty()) return {};
    // Both corners by the output of the first pixel, so that a frame keeps its size at that scale.
    const TOutputPlace* by = PlaceOf(QPointF(logical.topLeft()));
    const QPointF a = Map(QPointF(logical.left(), logical.top()), by);
    const QPointF b = Map(QPointF(logical.left() + logical.width(), logical.top() + logical.height()), by);
    const int l = int(std::lround(a.x())), t = int(std::lround(a.y()));
    return QRect(l, t, int(std::lround(b.x())) - l, int(std::lround(b.y())) - t);
}

QPoint TOutputLayout::DevicePixelAt(const QPointF& logical) const {
    const QPointF d = DeviceFromLogical(logical);
    // Within a rounding error of a pixel's edge is on that edge (1.5 * 1000 / 1000 and the like).
    constexpr double eps = 1e-6;
    return QPoint(int(std::floor(d.x() + eps)), int(std::floor(d.y() + eps)));
}
