// The tools that place marks: text, numbered steps, and the two redactions.
#include "AnnotationTools.h"

#include "Agg_2D_DIB.h"
#include "Redaction.h"
#include "ShapeOutlines.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr char TextTypeface[] = "Sans";

// Black behind light colours, white behind dark ones.
uint32_t ContrastColour(uint32_t argb) {
    const int r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    return (r * 299 + g * 587 + b * 114) / 1000 > 150 ? 0xFF000000u : 0xFFFFFFFFu;
}

double HaloWidth(double fontHeight) {
    return std::max(2.0, fontHeight / 8);
}

// Text is measured on the GUI thread, where every paint and the composition run.
TAgg2D& Measurer(double height, bool bold) {
    static TAgg2D measurer;
    measurer.SetFont(TextTypeface, bold, height);
    return measurer;
}

QStringList Lines(const CaptureShape& s) {
    return s.Text.split(QLatin1Char('\n'));
}

} // namespace

// --- text -----------------------------------------------------------------------------------------

void TTextTool::Start(CaptureShape& s, TPointD at) const {
    s.Kind = skFinished;
    s.Pen = s.Target = at;
    s.Points = {at};
}

void TTextTool::Draw(const CaptureShape& s, TAnnotationCanvas& c) const {
    TAgg2D& g = *c.painter;
    const double h = FontHeight(s.Width), lh = LineHeight(s.Width);
    const uint32_t colour = ShapeColour(s, c.inkColor);
    g.SetFont(TextTypeface, true, h);
    g.SetTextAlignment(AggAlignH::Left, AggAlignV::Top);
    const QStringList lines = Lines(s);
    // The halo first, all lines, then the letters over it: a line's halo never covers another's letters.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 0) {
            g.SetNoFill();
            g.SetLineColorArgb((ContrastColour(colour) & 0x00FFFFFFu) | 0xE6000000u);
            g.SetLineWidth(HaloWidth(h) * 2);
        } else {
            g.SetFillColor(AggColor::FromArgb(colour | 0xFF000000u));
            g.SetLineWidth(0);
        }
        for (int i = 0; i < lines.size(); ++i)
            g.DrawText(lines[i].toStdString(), false, s.Points[0].x, s.Points[0].y + i * lh);
    }
    g.SetTextAlignment(AggAlignH::Left, AggAlignV::Baseline);
}

QRect TTextTool::Bounds(const CaptureShape& s, double) const {
    if (s.Points.empty() || s.Text.isEmpty()) return {};
    const double h = FontHeight(s.Width), lh = LineHeight(s.Width), halo = HaloWidth(h) + 2;
    TAgg2D& m = Measurer(h, true);
    double width = 0;
    const QStringList lines = Lines(s);
    for (const QString& line : lines)
        width = std::max(width, m.TextWidth(line.toStdString()));
    // Accents and CJK glyphs reach above a capital's top; descenders below the baseline.
    const double top = s.Points[0].y - 0.35 * h - halo;
    const double bottom = s.Points[0].y + (lines.size() - 1) * lh + 1.3 * h + halo;
    const int l = int(std::floor(s.Points[0].x - halo - 0.1 * h)), t = int(std::floor(top));
    return QRect(l, t, int(std::ceil(s.Points[0].x + width + halo + 0.1 * h)) - l + 1,
                 int(std::ceil(bottom)) - t + 1);
}

std::pair<TPointD, TPointD> TTextTool::Caret(const CaptureShape& s) {
    const double h = FontHeight(s.Width);
    const QStringList lines = Lines(s);
    const double x = s.Points[0].x + Measurer(h, true).TextWidth(lines.back().toStdString()) + 2;
    const double top = s.Points[0].y + (lines.size() - 1) * LineHeight(s.Width) - 0.15 * h;
    return {{x, top}, {x, top + 1.4 * h}};
}

// --- numbered steps -------------------------------------------------------------------------------

void TStepTool::Start(CaptureShape& s, TPointD at) const {
    s.Kind = skFinished;
    s.Pen = s.Target = at;
    s.Points = {at};
}

void TStepTool::Grow(CaptureShape& s, TPointD to, bool) const {
    s.Target = to;
    s.Points = {to};
}

void TStepTool::Draw(const CaptureShape& s, TAnnotationCanvas& c) const {
    TAgg2D& g = *c.painter;
    const double r = Radius(s.Width);
    const TPointD at = s.Points[0];
    const uint32_t colour = ShapeColour(s, c.inkColor) | 0xFF000000u, contrast = ContrastColour(colour);
    g.SetFillColor(AggColor::FromArgb(colour));
    g.SetLineColorArgb(contrast);
    g.SetLineWidth(2);
    g.Polygon(EllipsePoints(at.x - r, at.y - r, 2 * r, 2 * r), PathDrawMode::FillAndStroke);
    g.SetFont(TextTypeface, true, r * 1.15);
    g.SetTextAlignment(AggAlignH::Center, AggAlignV::Middle);
    g.SetFillColor(AggColor::FromArgb(contrast));
    g.SetLineWidth(0);
    g.DrawText(std::to_string(c.stepNumber), false, at.x, at.y);
    g.SetTextAlignment(AggAlignH::Left, AggAlignV::Baseline);
}

QRect TStepTool::Bounds(const CaptureShape& s, double) const {
    if (s.Points.empty()) return {};
    const double r = Radius(s.Width) + 3;
    const TPointD at = s.Points[0];
    const int l = int(std::floor(at.x - r)), t = int(std::floor(at.y - r));
    return QRect(l, t, int(std::ceil(at.x + r)) - l + 1, int(std::ceil(at.y + r)) - t + 1);
}

// --- redactions -----------------------------------------------------------------------------------

void TRedactTool::Grow(CaptureShape& s, TPointD to, bool) const {
    TAnnotationTool::Grow(s, to, false);
}

QRect TRedactTool::Bounds(const CaptureShape& s, double) const {
    return CornerBox(s);
}

void TRedactTool::Draw(const CaptureShape& s, TAnnotationCanvas& c) const {
    const QRect r = CornerBox(s) & c.clip & QRect(0, 0, c.image.width, c.image.height);
    if (!r.isEmpty()) DibOps::FillSet(c.image, r, ShapeColour(s, c.inkColor) | 0xFF000000u);
}

int TPixelateTool::BlockSize(double width) {
    return std::max(Redaction::MinBlockSize, int(std::lround(2 * width)));
}

void TPixelateTool::Draw(const CaptureShape& s, TAnnotationCanvas& c) const {
    const QRect box = CornerBox(s);
    if (box.isEmpty() || !c.desktop.bits) return;
    const Redaction::TBlocks blocks =
        Redaction::SampleBlocks(c.desktop, box.translated(c.origin), BlockSize(s.Width), c.covered);
    Redaction::PaintBlocks(c.image, blocks, c.origin, c.clip);
}
