#include "ToolStrip.h"

#include "Agg_2D_DIB.h"
#include "ShapeOutlines.h"

#include <QCoreApplication>
#include <QKeySequence>

#include <cmath>

namespace {

constexpr AggColor PanelColour(22, 30, 42, 236);
constexpr AggColor IconColour(226, 232, 240);
constexpr AggColor CurrentColour(255, 176, 48);
constexpr AggColor LabelColour(236, 240, 246);
constexpr char LabelTypeface[] = "Sans";

constexpr int SwatchesGap = 10; // between the last tool and the first swatch
constexpr int ToolsWidth = ToolCount * (TToolStrip::Button + TToolStrip::Gap) - TToolStrip::Gap;
constexpr int SwatchesWidth = PaletteSize * (TToolStrip::SwatchSize + 4) - 4;
constexpr int StripWidth = 2 * TToolStrip::Padding + ToolsWidth + SwatchesGap + SwatchesWidth;
constexpr int StripHeight = 2 * TToolStrip::Padding + TToolStrip::Button + TToolStrip::LabelHeight;
constexpr int MonitorMargin = 12;

using Points = std::vector<TPointD>;

void Stroke(TAgg2D& g, const Points& p, double width, AggColor c, bool closed = false) {
    g.SetLineColor(c);
    g.SetLineWidth(width);
    if (closed)
        g.Polygon(p, PathDrawMode::StrokeOnly);
    else
        g.Polyline(p);
}

void Fill(TAgg2D& g, const Points& p, AggColor c) {
    g.SetFillColor(c);
    g.Polygon(p, PathDrawMode::FillOnly);
}

// A bold letter centred on (x, y).
void Glyph(TAgg2D& g, const char* text, double x, double y, double height, AggColor c) {
    g.SetFont(LabelTypeface, true, height);
    g.SetTextAlignment(AggAlignH::Center, AggAlignV::Middle);
    g.SetFillColor(c);
    g.SetLineWidth(0);
    g.DrawText(text, false, x, y);
    g.SetTextAlignment(AggAlignH::Left, AggAlignV::Baseline);
}

// Each tool's picture in a button whose top-left is (x, y).
void DrawIcon(TAgg2D& g, TToolKind tool, double x, double y, AggColor c) {
    const double s = TToolStrip::Button;
    auto at = [&](double u, double v) { return TPointD{x + u * s, y + v * s}; };
    switch (tool) {
    case TToolKind::Pen: {
        Points wave;
        for (int i = 0; i <= 16; ++i) {
            const double t = i / 16.0;
            wave.push_back(at(0.2 + 0.6 * t, 0.55 - 0.18 * std::sin(t * 6.3)));
        }
        Stroke(g, wave, 2.4, c);
        break;
    }
    case TToolKind::Arrow:
        Stroke(g, {at(0.22, 0.78), at(0.66, 0.34)}, 2.4, c);
        Fill(g, {at(0.8, 0.2), at(0.5, 0.3), at(0.7, 0.5)}, c);
        break;
    case TToolKind::Line:
        Stroke(g, {at(0.22, 0.78), at(0.78, 0.22)}, 2.4, c);
        break;
    case TToolKind::Rectangle:
        Stroke(g, {at(0.2, 0.28), at(0.8, 0.28), at(0.8, 0.72), at(0.2, 0.72)}, 2.2, c, true);
        break;
    case TToolKind::Ellipse:
        Stroke(g, EllipsePoints(x + 0.18 * s, y + 0.26 * s, 0.64 * s, 0.48 * s), 2.2, c, true);
        break;
    case TToolKind::Text:
        Glyph(g, "T", x + s / 2, y + s / 2, 0.62 * s, c);
        break;
    case TToolKind::Step:
        Fill(g, EllipsePoints(x + 0.2 * s, y + 0.2 * s, 0.6 * s, 0.6 * s), c);
        Glyph(g, "1", x + s / 2, y + s / 2, 0.4 * s, PanelColour);
        break;
    case TToolKind::Marker:
        Fill(g, {at(0.16, 0.42), at(0.84, 0.42), at(0.84, 0.64), at(0.16, 0.64)},
             AggColor(c.r, c.g, c.b, 120));
        Stroke(g, {at(0.24, 0.53), at(0.76, 0.53)}, 1.6, c);
        break;
    case TToolKind::Pixelate:
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) {
                const uint8_t a = uint8_t((i + j) % 2 ? 110 : 235);
                const double l = x + (0.2 + 0.2 * i) * s, t = y + (0.2 + 0.2 * j) * s;
                Fill(g, {{l, t}, {l + 0.2 * s, t}, {l + 0.2 * s, t + 0.2 * s}, {l, t + 0.2 * s}},
                     AggColor(c.r, c.g, c.b, a));
            }
        break;
    case TToolKind::Redact:
        Fill(g, {at(0.18, 0.32), at(0.82, 0.32), at(0.82, 0.68), at(0.18, 0.68)}, c);
        break;
    }
}

} // namespace

QString AnnotationKeysHelp() {
    return QCoreApplication::translate("Annotation", "中键拖动：移动　D：删除　Ctrl+Z / Ctrl+Y：撤销 / "
                                                     "重做　Ctrl+R：上次的区域　F：钉在屏幕上　O：识别文字");
}

void TToolStrip::Place(const QRect& monitor, const QRect& avoid) {
    rect_ = QRect();
    if (monitor.width() < StripWidth + 2 * MonitorMargin ||
        monitor.height() < StripHeight + 2 * MonitorMargin)
        return;
    const int left = monitor.left() + (monitor.width() - StripWidth) / 2;
    for (const int top :
         {monitor.top() + MonitorMargin, monitor.top() + monitor.height() - MonitorMargin - StripHeight}) {
        const QRect r(left, top, StripWidth, StripHeight);
        if (!r.intersects(avoid)) {
            rect_ = r;
            return;
        }
    }
}

QRect TToolStrip::ToolButton(int index) const {
    return QRect(rect_.left() + Padding + index * (Button + Gap), rect_.top() + Padding, Button, Button);
}

QRect TToolStrip::Swatch(int index) const {
    const int left = rect_.left() + Padding + ToolsWidth + SwatchesGap + (index - 1) * (SwatchSize + 4);
    return QRect(left, rect_.top() + Padding + (Button - SwatchSize) / 2, SwatchSize, SwatchSize);
}

TToolStrip::THit TToolStrip::At(QPoint p) const {
    THit hit;
    if (!Contains(p)) return hit;
    for (int i = 0; i < ToolCount; ++i)
        if (ToolButton(i).contains(p)) hit.tool = Tools()[size_t(i)].kind;
    for (int i = 1; i <= PaletteSize; ++i)
        if (Swatch(i).adjusted(-2, -5, 2, 5).contains(p)) hit.colour = i;
    return hit;
}

bool TToolStrip::Hover(QPoint p) {
    const THit now = At(p);
    const bool changed = now.tool != hover_.tool || now.colour != hover_.colour;
    hover_ = now;
    return changed;
}

QString TToolStrip::Label(TToolKind current) const {
    if (hover_.colour) return QCoreApplication::translate("Annotation", "颜色 %1").arg(hover_.colour);
    const TToolKind tool = hover_.tool.value_or(current);
    const QString key = QKeySequence(ToolInfo(tool).key).toString(QKeySequence::NativeText);
    return QStringLiteral("%1 (%2)   %3").arg(ToolLabel(tool), key, AnnotationKeysHelp());
}

void TToolStrip::Draw(TAgg2D& g, const QRect& clip, TToolKind tool, int colour, uint32_t inkColor) const {
    if (!Shown() || !clip.intersects(rect_)) return;
    Fill(g, RoundRect(rect_.left(), rect_.top(), rect_.width(), rect_.height(), 8), PanelColour);
    for (int i = 0; i < ToolCount; ++i) {
        const QRect b = ToolButton(i);
        const TToolKind kind = Tools()[size_t(i)].kind;
        if (kind == tool)
            Fill(g, RoundRect(b.left(), b.top(), b.width(), b.height(), 5), CurrentColour);
        else if (hover_.tool == kind)
            Fill(g, RoundRect(b.left(), b.top(), b.width(), b.height(), 5), AggColor(255, 255, 255, 40));
        DrawIcon(g, kind, b.left(), b.top(), kind == tool ? PanelColour : IconColour);
    }
    for (int i = 1; i <= PaletteSize; ++i) {
        const QRect s = Swatch(i);
        Fill(g, RoundRect(s.left(), s.top(), s.width(), s.height(), 4),
             AggColor::FromArgb(PaletteColour(i, inkColor)));
        const bool current = i == colour;
        Stroke(g, RoundRect(s.left() - 2.5, s.top() - 2.5, s.width() + 5, s.height() + 5, 6),
               current ? 2.5 : 1, current ? CurrentColour : AggColor(255, 255, 255, 90), true);
    }
    g.SetFont(LabelTypeface, false, 12);
    g.SetTextAlignment(AggAlignH::Left, AggAlignV::Baseline);
    g.SetFillColor(LabelColour);
    g.SetLineWidth(0);
    g.DrawText(Label(tool).toStdString(), true, rect_.left() + Padding + 2,
               rect_.top() + Padding + Button + LabelHeight - 7);
}
