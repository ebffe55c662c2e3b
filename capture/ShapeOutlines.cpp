#include "ShapeOutlines.h"

#include <algorithm>
#include <cmath>
#include <numbers>

std::vector<TPointD> RoundRect(double x, double y, double w, double h, double tl, double tr, double br,
                               double bl) {
    std::vector<TPointD> p;
    auto arc = [&](double cx, double cy, double r, double from) {
        if (r <= 0) {
            p.push_back({cx, cy});
            return;
        }
        for (int i = 0; i <= 8; ++i) {
            const double a = from + i * (std::numbers::pi / 2) / 8;
            p.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
        }
    };
    arc(tl > 0 ? x + tl : x, tl > 0 ? y + tl : y, tl, std::numbers::pi);
    arc(tr > 0 ? x + w - tr : x + w, tr > 0 ? y + tr : y, tr, -std::numbers::pi / 2);
    arc(br > 0 ? x + w - br : x + w, br > 0 ? y + h - br : y + h, br, 0);
    arc(bl > 0 ? x + bl : x, bl > 0 ? y + h - bl : y + h, bl, std::numbers::pi / 2);
    return p;
}

std::vector<TPointD> EllipsePoints(double x, double y, double w, double h) {
    const double rx = w / 2, ry = h / 2, cx = x + rx, cy = y + ry;
    // About one corner per two pixels of the rim.
    const int n = std::clamp(int(std::numbers::pi * (std::abs(rx) + std::abs(ry))), 16, 1440);
    std::vector<TPointD> p(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double a = 2 * std::numbers::pi * i / n;
        p[size_t(i)] = {cx + rx * std::cos(a), cy + ry * std::sin(a)};
    }
    return p;
}
