// A busy page of annotations for the benchmarks: every tool in turn, spread over the desktop with a fixed
// seed, as a long how-to with many arrows, boxes, labels, steps and redactions would have them.
#pragma once

#include "Annotation.h"

#include <cmath>
#include <random>
#include <vector>

inline std::vector<CaptureShape> MixedAnnotations(int count, int w, int h) {
    std::vector<CaptureShape> shapes;
    std::mt19937 rng(5);
    auto at = [&](int margin) {
        return TPointD{std::floor(margin + double(rng() % unsigned(w - 2 * margin))) + 0.5,
                       std::floor(margin + double(rng() % unsigned(h - 2 * margin))) + 0.5};
    };
    for (int i = 0; i < count; ++i) {
        CaptureShape s;
        s.Tool = Tools()[size_t(i % ToolCount)].kind;
        s.Width = 6;
        s.Color = PaletteValue(1 + i % PaletteSize);
        const TPointD a = at(300);
        const TPointD b{a.x + double(rng() % 400) - 200, a.y + double(rng() % 240) - 120};
        if (s.Tool == TToolKind::Pen || s.Tool == TToolKind::Marker) {
            for (int k = 0; k < 60; ++k)
                s.Points.push_back(
                    {a.x + (b.x - a.x) * k / 59, a.y + (b.y - a.y) * k / 59 + 12 * std::sin(k * 0.3)});
        } else if (s.Tool == TToolKind::Text || s.Tool == TToolKind::Step) {
            s.Points = {a};
            s.Text = QStringLiteral("Step %1: click 确定").arg(i);
        } else {
            s.Points = {a, b};
        }
        if (s.Tool != TToolKind::Pen) s.Bounds = TShapeBounds::FromRect(ToolOf(s).Bounds(s, 6));
        shapes.push_back(std::move(s));
    }
    return shapes;
}
