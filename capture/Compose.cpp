#include "Compose.h"

#include "Agg_2D_DIB.h"

#include <QMargins>

#include <algorithm>
#include <cmath>

uint32_t InkPenColor(uint32_t inkColor, double penWidth) {
    const int alpha = std::clamp(RoundEven(256 - (float(penWidth) - 6) * 10), 0, 255);
    return (inkColor & 0x00FFFFFFu) | uint32_t(alpha) << 24;
}

void DrawInk(TAgg2D& painter, const std::vector<CaptureShape>& shapes, double penWidth, uint32_t inkColor) {
    painter.SetLineWidth(penWidth);
    painter.SetLineColorArgb(InkPenColor(inkColor, penWidth));
    std::vector<double> xy;
    for (size_t i = 1; i < shapes.size(); ++i) {
        const CaptureShape& s = shapes[i];
        if (s.Points.empty()) continue;
        xy.clear();
        for (const TPointD& p : s.Points) {
            xy.push_back(p.x);
            xy.push_back(p.y);
        }
        if (s.Kind < 0)
            painter.Polygon(xy.data(), int(s.Points.size()), PathDrawMode::StrokeOnly);
        else
            painter.Polyline(xy.data(), int(s.Points.size()));
    }
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
    flat.Grow(border, -1);
    const QRect all(0, 0, flat.Width(), flat.Height());
    for (int i = 0; i < 11; ++i) {
        flat.FillMargins(border, 1, 0);
        flat.BoxFilter(all, QSize(7, 7), QPoint(3, 3));
    }
    flat.Grow(-border, -1);
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
    shadow.Grow(QMargins(9, 9, 9, 9), 0, 0);
    const QRect all(0, 0, shadow.Width(), shadow.Height());
    for (int i = 0; i < 4; ++i)
        shadow.BoxFilter(all, QSize(5, 5), QPoint(2, 2));
    preview.AlphaDraw(shadow, 7, 5, QRect(0, 0, pw, ph), 255);
    return shadow;
}

} // namespace

TComposedCapture ComposeCapture(const TDIB& desktop, const QRect& grabbedRect,
                                std::vector<CaptureShape> shapes, double penWidth, uint32_t inkColor) {
    TComposedCapture out;
    TDIB desktopImage(desktop); // shares the pixels; only read
    const QRect image(0, 0, desktopImage.Width(), desktopImage.Height());
    if (shapes.empty()) shapes.emplace_back();
    CaptureShape& sel = shapes[0];

    bool outside = false;
    bool selected = false;
    QRect keepRect; // a rectangle selection's exact pixels
    if (std::max(sel.Bounds.Width(), sel.Bounds.Height()) > ClickSelectionLimit && !sel.Points.empty()) {
        outside = sel.Kind >= 0;
        if (sel.Kind < 0) sel.Bounds = RectangleBounds(sel);
        sel.Bounds.Clip(grabbedRect);
        if (!sel.Bounds.IsEmpty()) {
            selected = true;
            keepRect = sel.Bounds.ToRect();
            for (size_t i = 1; i < shapes.size(); ++i) {
                CaptureShape& ink = shapes[i];
                if (!ink.Bounds.IsSet()) continue;
                if (ink.Kind < 0) ink.Bounds = RectangleBounds(ink);
                if (!ink.Bounds.Inside(sel.Bounds)) outside = true;
                // Once ink has left the selection, every later stroke keeps the margin too.
                if (outside)
                    ink.Bounds = {ink.Bounds.left - OutsideMargin, ink.Bounds.top - OutsideMargin,
                                  ink.Bounds.right + OutsideMargin, ink.Bounds.bottom + OutsideMargin};
                sel.Bounds.Include(ink.Bounds.left, ink.Bounds.top, ink.Bounds.right, ink.Bounds.bottom);
            }
        }
    }
    if (!selected) {
        // A click, a tiny selection or one wholly outside the grabbed part: everything grabbed.
        sel.Points.clear();
        sel.Bounds = TShapeBounds::FromRect(grabbedRect);
        outside = false;
    }

    const TShapeBounds& a = sel.Bounds;
    out.areaRect = a.ToRect();
    out.previewOrigin = QPointF((a.left + a.right) * 0.5 + 2, (a.top + a.bottom) * 0.5 + 4);
    QRect o = out.areaRect;
    if (outside) o.adjust(-OutsideMargin, -OutsideMargin, OutsideMargin, OutsideMargin);
    o &= image;
    out.outputRect = o;
    if (o.isEmpty()) return out;
    const QRect area = out.areaRect.translated(-o.topLeft());

    for (CaptureShape& s : shapes)
        for (TPointD& p : s.Points) {
            p.x -= o.left();
            p.y -= o.top();
        }

    const QRect all(0, 0, o.width(), o.height());
    TDIB captureImage(o.width(), o.height(), 32);
    desktopImage.CopyRect(captureImage, 0, 0, o);

    bool anyInk = false;
    for (size_t i = 1; i < shapes.size(); ++i)
        anyInk = anyInk || !shapes[i].Points.empty();

    std::unique_ptr<TAgg2D> painter;
    bool transparentParts = false;
    if (!sel.Points.empty()) {
        if (sel.Kind < 0) {
            // A rectangle keeps exactly its pixels: no half-covered border from the pixel-centre corners.
            const QRect keep = keepRect.translated(-o.topLeft());
            transparentParts = keep != all;
            if (transparentParts) {
                captureImage.FillRect(QRect(0, 0, o.width(), keep.top()), 0, 256);
                captureImage.FillRect(QRect(0, keep.bottom() + 1, o.width(), o.height() - keep.bottom() - 1),
                                      0, 256);
                captureImage.FillRect(QRect(0, keep.top(), keep.left(), keep.height()), 0, 256);
                captureImage.FillRect(
                    QRect(keep.right() + 1, keep.top(), o.width() - keep.right() - 1, keep.height()), 0, 256);
            }
        } else {
            transparentParts = true;
            TDIB mask(o.width(), o.height(), 32);
            mask.FillRect(all, 0xFF000000u, 256);
            painter = std::make_unique<TAgg2D>();
            painter->Attach(mask);
            painter->SetClipBox(0, 0, o.width(), o.height());
            painter->SetBlendMode(AggBlendClear);
            std::vector<double> xy;
            xy.reserve(sel.Points.size() * 2);
            for (const TPointD& p : sel.Points) {
                xy.push_back(p.x);
                xy.push_back(p.y);
            }
            painter->Polygon(xy.data(), int(sel.Points.size()), PathDrawMode::FillOnly);
            painter->SetBlendMode(AggBlendAlpha);
            ApplyMask(captureImage, mask);
        }
    }

    TDIB flatImage;
    if (transparentParts) {
        // The cut-out over frosted surroundings made from the unmasked picture.
        flatImage = TDIB(o.width(), o.height(), 32);
        desktopImage.CopyRect(flatImage, 0, 0, o);
        Frost(flatImage);
        captureImage.AlphaDraw(flatImage, 0, 0, all, 255);
    } else if (anyInk) {
        flatImage.CreateCopy(captureImage, true);
    } else {
        // Opaque everywhere and without ink: the flat picture is the grabbed pixels themselves.
        flatImage = TDIB(o.width(), o.height(), 24);
        desktopImage.CopyRect(flatImage, 0, 0, o);
    }

    if (anyInk) {
        if (!painter) painter = std::make_unique<TAgg2D>();
        painter->Attach(captureImage);
        painter->SetClipBox(0, 0, o.width(), o.height());
        DrawInk(*painter, shapes, penWidth, inkColor);
        painter->Attach(flatImage);
        painter->SetClipBox(0, 0, o.width(), o.height());
        DrawInk(*painter, shapes, penWidth, inkColor);
    }
    flatImage.SetBitCount(24);

    out.previewImage = ShadowedPreview(captureImage, area);
    out.captureImage = captureImage;
    out.flatImage = flatImage;
    return out;
}
