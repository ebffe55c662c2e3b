#include "Compose.h"

#include "Agg_2D_DIB.h"
#include "Annotation.h"

#include <QMargins>

#include <algorithm>
#include <cmath>

uint32_t InkPenColor(uint32_t inkColor, double penWidth) {
    const int alpha = std::clamp(RoundEven(256 - (float(penWidth) - 6) * 10), 0, 255);
    return (inkColor & 0x00FFFFFFu) | uint32_t(alpha) << 24;
}

namespace {

// Every channel (alpha too) times (256 - mask alpha) / 256, truncated: inside the cut the picture
// stays, outside it becomes fully transparent, the edge keeps its anti-aliased coverage.
void ApplyMask(TDIB& image, const TDIB& mask) {
    for (int y = 0; y < image.Height(); ++y) {
        uint8_t* p = image.PixelPtr(0, y);
        const uint8_t* m = mask.PixelPtr(0, y);
        for (int x = 0; x < image.Width(); ++x, p += 4, m += 4) {
            const uint32_t f = 256u - m[3];
            p[0] = uint8_t(p[0] * f >> 8);
            p[1] = uint8_t(p[1] * f >> 8);
            p[2] = uint8_t(p[2] * f >> 8);
            p[3] = uint8_t(p[3] * f >> 8);
        }
    }
}

// The frosted surroundings: eleven 7x7 box blurs with replicated edges, then washed toward white.
void Frost(TDIB& flat) {
    const QMargins border(3, 3, 3, 3);
    flat.Grow(border, TMarginFill::Leave);
    const QRect all(0, 0, flat.Width(), flat.Height());
    for (int i = 0; i < 11; ++i) {
        flat.FillMargins(border, TMarginFill::Edge, 0);
        flat.BoxFilter(all, QSize(7, 7), QPoint(3, 3));
    }
    flat.Grow(-border, TMarginFill::Leave);
    for (int y = 0; y < flat.Height(); ++y) {
        uint8_t* p = flat.PixelPtr(0, y);
        for (int x = 0; x < flat.Width(); ++x, p += 4) {
            p[0] = uint8_t(std::min(255u, 152u + p[0] * 96u / 256u));
            p[1] = uint8_t(std::min(255u, 152u + p[1] * 96u / 256u));
            p[2] = uint8_t(std::min(255u, 152u + p[2] * 96u / 256u));
            p[3] = 255;
        }
    }
}

TDIB ShadowedPreview(TDIB& captureImage, const QRect& area) {
    const QRect r = area.intersected(QRect(0, 0, captureImage.Width(), captureImage.Height()));
    if (r.isEmpty()) return {};
    double s = 500.0 / std::max(r.width(), r.height());
    if (s >= 1) s = 1;
    const int pw = std::max(1, RoundEven(r.width() * s)), ph = std::max(1, RoundEven(r.height() * s));
    TDIB preview(pw, ph, 32);
    preview.FillRect(QRect(0, 0, pw, ph), 0, 256);
    captureImage.Resize(preview, r, QRect(0, 0, pw, ph), TInterpolation::SuperSampling);

    TDIB shadow;
    shadow.CreateCopy(preview, true);
    for (int y = 0; y < ph; ++y) {
        uint32_t* p = shadow.PixelPtr32(0, y);
        for (int x = 0; x < pw; ++x)
            p[x] &= 0xFF000000u;
    }
    shadow.Grow(QMargins(9, 9, 9, 9), TMarginFill::Colour, 0);
    const QRect all(0, 0, shadow.Width(), shadow.Height());
    for (int i = 0; i < 4; ++i)
        shadow.BoxFilter(all, QSize(5, 5), QPoint(2, 2));
    preview.AlphaDraw(shadow, 7, 5, QRect(0, 0, pw, ph), 255);
    return shadow;
}

// The selected area: the selection's bounds grown by the ink it holds, clipped to the grabbed part, or
// everything grabbed for a click, a tiny selection or one wholly outside the grabbed part (its points
// are then dropped). Returns whether a margin is kept around it (a lasso, or ink leaving the selection);
// keepRect is a rectangle selection's exact pixels.
bool ChooseArea(std::vector<CaptureShape>& shapes, const QRect& grabbedRect, QRect& keepRect,
                double penWidth) {
    CaptureShape& sel = shapes[0];
    bool outside = false;
    if (std::max(sel.Bounds.Width(), sel.Bounds.Height()) > ClickSelectionLimit && !sel.Points.empty()) {
        outside = sel.Kind != skRectangle;
        if (sel.Kind == skRectangle) sel.Bounds = RectangleBounds(sel);
        sel.Bounds.Clip(grabbedRect);
        if (!sel.Bounds.IsEmpty()) {
            keepRect = sel.Bounds.ToRect();
            for (size_t i = 1; i < shapes.size(); ++i) {
                CaptureShape& ink = shapes[i];
                // What the other tools cover follows from their points; the pen's grew with its stroke.
                if (ink.Tool != TToolKind::Pen)
                    ink.Bounds = TShapeBounds::FromRect(ToolOf(ink).Bounds(ink, penWidth));
                if (!ink.Bounds.IsSet() || ink.Bounds.IsEmpty()) continue;
                if (ink.Kind == skRectangle) ink.Bounds = RectangleBounds(ink);
                if (!ink.Bounds.Inside(sel.Bounds)) outside = true;
                // Once ink has left the selection, every later stroke keeps the margin too.
                if (outside)
                    ink.Bounds = {ink.Bounds.left - OutsideMargin, ink.Bounds.top - OutsideMargin,
                                  ink.Bounds.right + OutsideMargin, ink.Bounds.bottom + OutsideMargin};
                sel.Bounds.Include(ink.Bounds.left, ink.Bounds.top, ink.Bounds.right, ink.Bounds.bottom);
            }
            return outside;
        }
    }
    sel.Points.clear();
    sel.Bounds = TShapeBounds::FromRect(grabbedRect);
    return false;
}

// Makes what lies outside the selection transparent in the capture (output coordinates): a rectangle
// keeps exactly its pixels (keep), no half-covered border from the pixel-centre corners; a lasso is cut
// with its anti-aliased edge. Returns whether any part became transparent; a lasso leaves its painter.
bool CutOut(TDIB& captureImage, const CaptureShape& sel, const QRect& keep,
            std::unique_ptr<TAgg2D>& painter) {
    const int w = captureImage.Width(), h = captureImage.Height();
    const QRect all(0, 0, w, h);
    if (sel.Points.empty()) return false;
    if (sel.Kind == skRectangle) {
        if (keep == all) return false;
        captureImage.FillRect(QRect(0, 0, w, keep.top()), 0, 256);
        captureImage.FillRect(QRect(0, keep.bottom() + 1, w, h - keep.bottom() - 1), 0, 256);
        captureImage.FillRect(QRect(0, keep.top(), keep.left(), keep.height()), 0, 256);
        captureImage.FillRect(QRect(keep.right() + 1, keep.top(), w - keep.right() - 1, keep.height()), 0,
                              256);
        return true;
    }
    TDIB mask(w, h, 32);
    mask.FillRect(all, 0xFF000000u, 256);
    painter = std::make_unique<TAgg2D>();
    painter->Attach(mask);
    painter->SetClipBox(0, 0, w, h);
    painter->SetBlendMode(AggBlendClear);
    painter->Polygon(sel.Points, PathDrawMode::FillOnly);
    painter->SetBlendMode(AggBlendAlpha);
    ApplyMask(captureImage, mask);
    return true;
}

// The flat picture of the output rectangle o: the cut-out over frosted surroundings made from the
// unmasked desktop; a copy of the capture when it is opaque but has ink; otherwise the grabbed pixels
// themselves.
TDIB FlatPicture(const TDIB& desktop, const QRect& o, const TDIB& captureImage, bool transparentParts,
                 bool anyInk) {
    TDIB flat;
    if (transparentParts) {
        flat = TDIB(o.width(), o.height(), 32);
        desktop.CopyRect(flat, 0, 0, o);
        Frost(flat);
        captureImage.AlphaDraw(flat, 0, 0, QRect(0, 0, o.width(), o.height()), 255);
    } else if (anyInk) {
        flat.CreateCopy(captureImage, true);
    } else {
        flat = TDIB(o.width(), o.height(), 24);
        desktop.CopyRect(flat, 0, 0, o);
    }
    return flat;
}

// The annotations onto one of the images (output coordinates; origin: where it lies in the desktop).
void DrawInkOn(std::unique_ptr<TAgg2D>& painter, TDIB& image, QPoint origin, const TDIB& desktop,
               const std::vector<CaptureShape>& shapes, double penWidth, uint32_t inkColor) {
    if (!painter) painter = std::make_unique<TAgg2D>();
    painter->Attach(image);
    painter->SetClipBox(0, 0, image.Width(), image.Height());
    TAnnotationCanvas canvas;
    canvas.painter = painter.get();
    canvas.image = image.View();
    canvas.origin = origin;
    canvas.desktop = desktop.ConstView();
    canvas.covered = CoveredBoxes(shapes, origin);
    canvas.clip = QRect(0, 0, image.Width(), image.Height());
    canvas.penWidth = penWidth;
    canvas.inkColor = inkColor;
    DrawAnnotations(canvas, shapes);
}

// The desktop's pixels of o with the redactions burnt in (from: where o lies in the result), or the
// desktop itself when nothing covers any of o.
TDIB CoveredSource(const TDIB& desktop, const QRect& o, const std::vector<CaptureShape>& shapes,
                   uint32_t inkColor, QRect& from) {
    from = o;
    const std::vector<QRect> boxes = CoveredBoxes(shapes, o.topLeft());
    if (std::none_of(boxes.begin(), boxes.end(), [&o](const QRect& b) { return b.intersects(o); }))
        return desktop;
    TDIB source(o.width(), o.height(), 24);
    desktop.CopyRect(source, 0, 0, o);
    ApplyRedactions(source.View(), o.topLeft(), desktop.ConstView(), shapes, inkColor);
    from = QRect(QPoint(0, 0), o.size());
    return source;
}

} // namespace

TComposedCapture ComposeCapture(const TDIB& desktop, const QRect& grabbedRect,
                                std::vector<CaptureShape> shapes, double penWidth, uint32_t inkColor) {
    TComposedCapture out;
    TDIB desktopImage(desktop); // shares the pixels; only read
    const QRect image(0, 0, desktopImage.Width(), desktopImage.Height());
    if (shapes.empty()) shapes.emplace_back();
    QRect keepRect;
    const bool outside = ChooseArea(shapes, grabbedRect, keepRect, penWidth);

    const TShapeBounds& a = shapes[0].Bounds;
    out.areaRect = a.ToRect();
    out.previewOrigin = QPointF((a.left + a.right) * 0.5 + 2, (a.top + a.bottom) * 0.5 + 4);
    QRect o = out.areaRect;
    if (outside) o.adjust(-OutsideMargin, -OutsideMargin, OutsideMargin, OutsideMargin);
    o &= image;
    out.outputRect = o;
    if (o.isEmpty()) return out;

    for (CaptureShape& s : shapes)
        for (TPointD& p : s.Points) {
            p.x -= o.left();
            p.y -= o.top();
        }
    // Every image is made from the covered source: no pixel under a redaction reaches any of them,
    // nor the frosting around the selection.
    QRect from;
    const TDIB source = CoveredSource(desktopImage, o, shapes, inkColor, from);
    TDIB captureImage(o.width(), o.height(), 32);
    source.CopyRect(captureImage, 0, 0, from);
    bool anyInk = false;
    for (size_t i = 1; i < shapes.size(); ++i)
        anyInk = anyInk || !shapes[i].Points.empty();

    std::unique_ptr<TAgg2D> painter;
    const bool transparentParts = CutOut(captureImage, shapes[0], keepRect.translated(-o.topLeft()), painter);
    TDIB flatImage = FlatPicture(source, from, captureImage, transparentParts, anyInk);
    if (anyInk) {
        DrawInkOn(painter, captureImage, o.topLeft(), desktopImage, shapes, penWidth, inkColor);
        DrawInkOn(painter, flatImage, o.topLeft(), desktopImage, shapes, penWidth, inkColor);
    }
    flatImage.SetBitCount(24);

    out.previewImage = ShadowedPreview(captureImage, out.areaRect.translated(-o.topLeft()));
    out.captureImage = captureImage;
    out.flatImage = flatImage;
    return out;
}
