#include "HelpCard.h"
#include "Agg_2D_DIB.h"
#include "DIBmp.h"
#include "PointD.h"
#include "ShapeOutlines.h"

#include <QCoreApplication>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr AggColor PanelColor(22, 30, 42);
constexpr AggColor MouseBody(62, 72, 88);
constexpr AggColor MouseLine(205, 214, 226);
constexpr AggColor ButtonLit(255, 176, 48);
constexpr AggColor SampleInk(255, 96, 96);
constexpr AggColor SampleArea(110, 190, 255);
constexpr AggColor TextColor(236, 240, 246);

constexpr double RowTop[3] = {14, 70, 126};
constexpr double RowHeight = 52;
constexpr double MouseX = 58, MouseW = 30, MouseH = 44;
constexpr double SampleLeft = 102, SampleRight = 172;

using Points = std::vector<TPointD>;

void Fill(TAgg2D& g, const Points& p, AggColor c) {
    g.SetFillColor(c);
    g.Polygon(p, PathDrawMode::FillOnly);
}

void Outline(TAgg2D& g, const Points& p, AggColor c, double width) {
    g.SetLineColor(c);
    g.SetLineWidth(width);
    g.Polygon(p, PathDrawMode::StrokeOnly);
}

void Line(TAgg2D& g, double x1, double y1, double x2, double y2, AggColor c, double width) {
    const TPointD ends[2] = {{x1, y1}, {x2, y2}};
    g.SetLineColor(c);
    g.SetLineWidth(width);
    g.Polyline(ends);
}

// A mouse seen from above with one button lit (0 left, 1 right).
void DrawMouse(TAgg2D& g, double x, double y, int litButton) {
    const double split = y + 17, mid = x + MouseW / 2;
    Fill(g, RoundRect(x, y, MouseW, MouseH, 13, 13, 13, 13), MouseBody);
    if (litButton == 0)
        Fill(g, RoundRect(x, y, MouseW / 2, split - y, 13, 0, 0, 0), ButtonLit);
    else
        Fill(g, RoundRect(mid, y, MouseW / 2, split - y, 0, 13, 0, 0), ButtonLit);
    Outline(g, RoundRect(x, y, MouseW, MouseH, 13, 13, 13, 13), MouseLine, 1.5);
    Line(g, x, split, x + MouseW, split, MouseLine, 1.2);
    Line(g, mid, y, mid, split, MouseLine, 1.2);
}

// Diagonal hatching over the clip box the caller has set.
void Hatch(TAgg2D& g, double left, double top, double right, double bottom) {
    for (double s = left - (bottom - top); s < right; s += 5)
        Line(g, s, bottom, s + (bottom - top), top, SampleArea, 1.3);
}

// A pen stroke whose width follows a slanted nib: thin where it runs along the nib, broad across it.
void DrawCalligraphicStroke(TAgg2D& g, double midY) {
    const int n = 48;
    const double nx = 0.6, ny = -0.8; // the nib's direction
    Points top, bottom;
    for (int i = 0; i <= n; ++i) {
        const double t = double(i) / n;
        const double x = SampleLeft + t * (SampleRight - SampleLeft);
        const double y = midY + 13 * std::sin(t * 2 * std::numbers::pi);
        const double w = 0.8 + 4.2 * std::sin(t * std::numbers::pi);
        top.push_back({x + nx * w, y + ny * w});
        bottom.push_back({x - nx * w, y - ny * w});
    }
    top.insert(top.end(), bottom.rbegin(), bottom.rend());
    Fill(g, top, SampleInk);
}

Points Blob(double cx, double cy) {
    Points p;
    for (int i = 0; i < 64; ++i) {
        const double a = i * 2 * std::numbers::pi / 64;
        const double r = 1 + 0.16 * std::sin(3 * a + 0.4) + 0.08 * std::cos(2 * a);
        p.push_back({cx + 30 * r * std::cos(a), cy + 17 * r * std::sin(a)});
    }
    return p;
}

// Hatching cut to the blob: the lines go onto their own layer, everything outside the blob is cleared
// there, and the layer is laid over the card.
void DrawHatchedBlob(TAgg2D& g, TDIB& card, double midY) {
    const double cx = (SampleLeft + SampleRight) / 2;
    const Points blob = Blob(cx, midY);
    TDIB layer(HelpCardWidth, HelpCardHeight, 32);
    const QRect all(0, 0, HelpCardWidth, HelpCardHeight);
    layer.FillRect(all, 0, 256);
    g.Attach(layer);
    const double left = SampleLeft - 6, right = SampleRight + 6, top = midY - 26, bottom = midY + 26;
    g.SetClipBox(left, top, right, bottom);
    Hatch(g, left, top, right, bottom);
    // The surrounding box clockwise, the blob against it: non-zero filling leaves the blob as a hole.
    g.SetBlendMode(AggBlendClear);
    g.SetFillColor(AggColor(0, 0, 0, 255));
    TAggPath& path = g.Path();
    path.RemoveAll();
    path.MoveTo(left, top);
    path.LineTo(right + 1, top);
    path.LineTo(right + 1, bottom + 1);
    path.LineTo(left, bottom + 1);
    path.ClosePolygon();
    path.MoveTo(blob[0].x, blob[0].y);
    for (size_t i = blob.size() - 1; i > 0; --i)
        path.LineTo(blob[i].x, blob[i].y);
    path.ClosePolygon();
    g.DrawPath(PathDrawMode::FillOnly);
    layer.AlphaDraw(card, 0, 0, all, 255);
    g.Attach(card);
    Outline(g, blob, SampleArea, 1.6);
}

void DrawHatchedRectangle(TAgg2D& g, double midY) {
    const double left = SampleLeft + 4, right = SampleRight - 4, top = midY - 15, bottom = midY + 15;
    g.SetClipBox(left, top, right, bottom);
    Hatch(g, left, top, right, bottom);
    g.SetClipBox(0, 0, HelpCardWidth - 1, HelpCardHeight - 1);
    const Points box = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    Outline(g, box, SampleArea, 1.6);
}

void DrawLabel(TAgg2D& g, const QString& text, double x, double y, double height, AggAlignH align) {
    g.SetLineWidth(0);
    g.SetFillColor(TextColor);
    g.SetFont("DejaVu Sans", true, height);
    g.SetTextAlignment(align, AggAlignV::Baseline);
    g.DrawText(text.toStdString(), false, x, y);
}

} // namespace

THelpCardTexts HelpCardTexts() {
    return {QCoreApplication::translate("HelpCard", "CTRL +"),
            QCoreApplication::translate("HelpCard", "SCREEN CAPTURE")};
}

bool MakeHelpCard(TDIB& card, const THelpCardTexts& texts) {
    const QRect all(0, 0, HelpCardWidth, HelpCardHeight);
    TDIB art;
    try {
        art = TDIB(HelpCardWidth, HelpCardHeight, 32);
        card = TDIB(HelpCardWidth, HelpCardHeight, 32);
    } catch (const std::exception&) {
        card = TDIB();
        return false;
    }
    art.FillRect(all, 0, 256);
    TAgg2D g;
    if (!g.Attach(art)) {
        card = TDIB();
        return false;
    }
    g.SetLineJoin(AggLineJoin::Round);
    g.SetLineCap(AggLineCap::Round);
    Fill(g, RoundRect(0.5, 0.5, HelpCardWidth - 1, HelpCardHeight - 1, 14, 14, 14, 14), PanelColor);

    DrawMouse(g, MouseX, RowTop[0] + (RowHeight - MouseH) / 2, 1);
    DrawCalligraphicStroke(g, RowTop[0] + RowHeight / 2);
    DrawMouse(g, MouseX, RowTop[1] + (RowHeight - MouseH) / 2, 0);
    DrawHatchedBlob(g, art, RowTop[1] + RowHeight / 2);
    DrawLabel(g, texts.modifier, 12, RowTop[2] + RowHeight / 2 + 4, 11, AggAlignH::Left);
    DrawMouse(g, MouseX, RowTop[2] + (RowHeight - MouseH) / 2, 0);
    DrawHatchedRectangle(g, RowTop[2] + RowHeight / 2);

    Line(g, 16, 188.5, HelpCardWidth - 16, 188.5, MouseBody, 1);
    DrawLabel(g, texts.title, HelpCardWidth / 2.0, 211, 14, AggAlignH::Center);

    // Laid over a cleared card at the ceiling opacity, so no pixel comes out opaque.
    card.FillRect(all, 0, 256);
    art.AlphaDraw(card, 0, 0, all, HelpCardMaxAlpha);
    return true;
}

TDIB CurrentHelpCard() {
    // Kept for the run: drawing it takes longer than showing an overlay should wait.
    static TDIB card;
    static THelpCardTexts drawnWith;
    const THelpCardTexts texts = HelpCardTexts();
    if (card.Empty() || texts != drawnWith) {
        TDIB fresh;
        if (MakeHelpCard(fresh, texts)) {
            card = fresh;
            drawnWith = texts;
        }
    }
    return card;
}
