// The overlay's paints: the X server's first frame, the normal view (the layer of outlines, ink and help
// card over the tinted desktop) and the zoomed view.
#include "Input.h"

#include "Agg_2D_DIB.h"
#include "AnnotationTools.h"
#include "CaptureTiming.h"
#include "Compose.h"
#include "DibOps.h"
#include "Globals.h"
#include "OverlayPaint.h"
#include "Platform.h"

#include <QPaintEngine>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <thread>

namespace {
constexpr uint32_t TintColor = 0x57092236u; // 0xFF1D649E at 88/256, premultiplied
constexpr uint32_t OutlineColor = 0xFF1D649Eu;
constexpr uint32_t ZoomBackground = 0xFF181818u;
} // namespace

// --- the X server's first frame -------------------------------------------------------------------

void TInputForm::DrawBackdrop() {
    // The first frame takes a while on a large desktop, most of it spent by the system coming up with
    // a fresh window surface. Meanwhile the X server draws the same frame into the mapped window from
    // the grabbed rows it still holds (the tint laid over them on its side, the help card from here):
    // the overlay is complete moments after it maps.
    // The magnifier starts unmagnified: its first frame is the rows as they are under the pick display.
    TPlatform& platform = Platform();
    if (!platform.grabber || !pending_.rows || !windowHandle()) return;
    TakePaintView();
    TBackdrop backdrop;
    if (MagnifierMode) {
        if (PaintZoom != 1 || PaintOffset.x() != 0 || PaintOffset.y() != 0 ||
            ResampleMode != TInterpolation::Nearest)
            return;
        PickDisplayPatches(backdrop.patches);
    } else if (PaintZoom > 1) {
        return;
    } else {
        backdrop.tint = TintColor;
        NormalBackdropPatch(backdrop.patches);
    }
    backdropDrawn_ = platform.grabber->DrawBackdrop(uintptr_t(winId()), *pending_.rows, backdrop);
    if (!backdropDrawn_) return;
    if (requested_ && CaptureTimingOn()) {
        platform.grabber->WaitForServer();
        CaptureTimingLine("overlay %dx%d drawn by the X server %.1f ms after the capture request",
                          DesktopImage.Width(), DesktopImage.Height(), MsSince(*requested_));
    }
}

void TInputForm::NormalBackdropPatch(QList<TBackdropPatch>& patches) {
    // The help card and the tool strip: all the first frame has besides the tint.
    for (const QRect& part : {HelpCardRect, Strip.Rect()}) {
        const QRect card = part & QRect(0, 0, DesktopImage.Width(), DesktopImage.Height());
        if (card.isEmpty()) continue;
        // Painted by the same code as the frame itself.
        QImage patch(card.size(), QImage::Format_RGB32);
        patch.setDevicePixelRatio(scale_);
        {
            QPainter p(&patch);
            p.translate(-card.left() / scale_, -card.top() / scale_);
            PaintNormal(p, card);
        }
        patch.setDevicePixelRatio(1);
        patches.append({patch, card.topLeft()});
    }
}

void TInputForm::PickDisplayPatches(QList<TBackdropPatch>& patches) {
    if (PickRect.None() || !pending_.rows) return;
    // The same frame the zoomed view paints unmagnified, made only where the pick display draws.
    const int w = std::max(1, int(std::ceil(capBox_->width() * scale_)));
    const int h = std::max(1, int(std::ceil(capBox_->height() * scale_)));
    const QRect n = PickRect.Normalised();
    const QRect pick = ClientFromImage(n);
    const TPickDisplayParts parts = PickDisplayParts(pick, w, h);
    const DibOps::ConstView rows{pending_.rows->bits, pending_.rows->stride, DesktopImage.Width(),
                                 DesktopImage.Height(), 4};
    if (!ReadoutPainter) ReadoutPainter = std::make_unique<TAgg2D>();
    const QRect all(0, 0, w, h);
    for (const QRect& part :
         {parts.bands[0], parts.bands[1], parts.bands[2], parts.bands[3], parts.pick, parts.framed}) {
        const QRect r = part & all & QRect(0, 0, rows.width, rows.height);
        if (r.isEmpty()) continue;
        QImage image(r.size(), QImage::Format_RGB32);
        const DibOps::View out{image.bits(), int(image.bytesPerLine()), r.width(), r.height(), 4};
        DrawZoomedDesktop(rows, ZoomScratch, ZoomRows, out,
                          TZoomedView{1, QPointF(r.left(), r.top()), r.topLeft(), TInterpolation::Nearest, 0,
                                      ZoomBackground});
        DrawPickDisplay(out, r.topLeft(), QSize(w, h), ZoomPanel, *ReadoutPainter, pick, n,
                        PickRect.Degenerate(), PickedColor, TickCount.load() * 100.0);
        patches.append({image, r.topLeft()});
    }
}

// --- painting -------------------------------------------------------------------------------------

void TInputForm::paintEvent(QPaintEvent*) {
    // The paint box covers the whole window and paints every pixel it is asked for.
}

void TInputForm::CapBoxPaint() {
    if (views_.empty())
        PaintBox(capBox_, QPoint(0, 0));
    else
        PaintView(0);
}

void TInputForm::PaintView(size_t index) {
    // Painted at its own screen's scale; events and invalidation between paints use the form's.
    scale_ = views_[index].scale;
    PaintBox(views_[index].box, views_[index].origin);
    scale_ = views_.front().scale;
}

void TInputForm::PaintBox(TCapBox* box, QPoint origin) {
    QPainter* p = box ? box->Canvas() : nullptr;
    if (!p || DesktopImage.Empty() || finishing_ || closed_) return;
    if (!firstPaintDone_ && requested_)
        CaptureTimingLine("overlay paint began %.1f ms after the capture request", MsSince(*requested_));
    TakePaintView();
    // The box's own pixels are the client pixels from its origin on.
    if (!origin.isNull()) p->translate(-origin.x() / scale_, -origin.y() / scale_);
    const QRect logical = box->PaintRect();
    const QRect clip(origin.x() + int(std::floor(logical.left() * scale_)),
                     origin.y() + int(std::floor(logical.top() * scale_)),
                     int(std::ceil(logical.width() * scale_)), int(std::ceil(logical.height() * scale_)));
    if (clip.isEmpty()) return;
    if (PaintZoom > 1 || MagnifierMode)
        PaintZoomed(*p, box, origin);
    else
        PaintNormal(*p, clip);
    if (!firstPaintDone_) FirstFrameOut();
}

void TInputForm::FirstFrameOut() {
    firstPaintDone_ = true;
    // A compositor shows a new full-screen window once the window has answered the placement it sends
    // when the window maps; the framework answers with its next frame only, and an unchanged window
    // sends none: a compositor waiting for it holds the whole desktop back (sway: 200 ms). A pixel
    // painted again in each of the next few frames carries the answer.
    for (const TOverlayView& v : views_)
        for (int ms : {2, 6, 12, 24, 48, 96})
            QTimer::singleShot(ms, v.box, [box = v.box] { box->update(QRect(0, 0, 1, 1)); });
    // The frame is out: the grabbed rows are narrowed while the X server shows it, and the start's
    // sound plays.
    StartFilling();
    if (holdSounds_) QTimer::singleShot(0, this, [this] { ReleaseHeldSounds(); });
    // The start-up latency of the overlay, for measurements from outside: painted, and handed to the X
    // server once the event that painted (an expose) has been dealt with.
    if (!requested_ || !CaptureTimingOn()) return;
    const auto requested = *requested_;
    CaptureTimingLine("overlay %dx%d painted %.1f ms after the capture request", DesktopImage.Width(),
                      DesktopImage.Height(), MsSince(requested));
    QTimer::singleShot(0, this, [requested] {
        CaptureTimingLine("overlay flushed %.1f ms after the capture request", MsSince(requested));
    });
}

void TInputForm::ShowScratch(QPainter& p, TDIB& scratch, const QRect& clientRect) {
    QImage view(scratch.Bits(), scratch.Width(), scratch.Height(), scratch.BytesPerRow(),
                scratch.BitCount() == 32 ? QImage::Format_RGB32 : QImage::Format_BGR888);
    view.setDevicePixelRatio(scale_);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPointF(clientRect.left() / scale_, clientRect.top() / scale_), view);
}

QImage* TInputForm::DirectSurface(QPainter& p, QPoint& deviceOrigin) const {
    // The window surface itself, when it is an image in device pixels mapped from the paint box by a
    // plain translation: the normal view is composed straight into it, which spares a frame-sized
    // scratch image (and its fresh pages) and one copy of every pixel on the first paint.
    QPaintEngine* engine = p.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image) return nullptr;
    auto* surface = static_cast<QImage*>(device);
    if (surface->format() != QImage::Format_RGB32 && surface->format() != QImage::Format_ARGB32_Premultiplied)
        return nullptr;
    // Written as the painter writes, through the surface's own pixels: a surface shared with another
    // image would be copied on the first write, and the frame would go into the copy.
    if (!surface->isDetached()) return nullptr;
    const QTransform t = p.deviceTransform();
    if (t.type() > QTransform::TxScale || std::abs(t.m11() - scale_) > 1e-9 ||
        std::abs(t.m22() - scale_) > 1e-9)
        return nullptr;
    if (std::abs(t.dx() - std::round(t.dx())) > 1e-9 || std::abs(t.dy() - std::round(t.dy())) > 1e-9)
        return nullptr;
    deviceOrigin = QPoint(int(std::round(t.dx())), int(std::round(t.dy())));
    return surface;
}

TInputForm::TShapeSnapshot TInputForm::SnapshotShapes() {
    TShapeSnapshot shot;
    shot.helpCardAlpha = HelpCardAlpha.load();
    std::lock_guard<std::mutex> lock(ShapeLock);
    shot.selection.Kind = Shapes[0].Kind;
    shot.selection.Points = Shapes[0].Points;
    shot.ink.assign(Shapes.begin(), Shapes.end());
    shot.ink[0] = CaptureShape{};
    shot.covered = CoveredBoxes(shot.ink, QPoint(0, 0));
    if (TextBoxOpen() && size_t(TextShape) < shot.ink.size()) {
        shot.textShape = TextShape;
        shot.ink[size_t(TextShape)].Text += Preedit;
    }
    return shot;
}

QRect TInputForm::DrawnArea(TShapeSnapshot& shot, const QRect& clip) const {
    QRect drawn;
    if (shot.helpCardAlpha > 0 && !HelpCard.Empty()) drawn |= HelpCardRect;
    if (Strip.Shown()) drawn |= Strip.Rect();
    // The outline is 9 pixels wide with round ends, its anti-aliased edge one more.
    drawn |= PointsBounds(shot.selection.Points, 8);
    const double penWidth = PenWidth.load();
    for (size_t i = 1; i < shot.ink.size(); ++i) {
        QRect bounds = ToolOf(shot.ink[i]).Bounds(shot.ink[i], penWidth);
        if (int(i) == shot.textShape) bounds |= caret_;
        bounds &= clip;
        // A stroke wholly outside this paint is not stroked at all.
        if (bounds.isEmpty())
            shot.ink[i].Points.clear();
        else
            drawn |= bounds;
    }
    return drawn & clip;
}

void TInputForm::DrawLayer(const TShapeSnapshot& shot, const QRect& drawn) {
    OverlayBuffer.FillRect(drawn, TintColor, 256);
    if (shot.helpCardAlpha > 0 && !HelpCard.Empty()) {
        const QRect part = HelpCardRect & drawn;
        if (!part.isEmpty())
            HelpCard.AlphaDraw(OverlayBuffer, part.left(), part.top(),
                               part.translated(-HelpCardRect.topLeft()), shot.helpCardAlpha);
    }
    Painter->SetClipBox(drawn.left(), drawn.top(), drawn.left() + drawn.width(),
                        drawn.top() + drawn.height());
    DrawSelection(shot.selection, drawn);
    TAnnotationCanvas canvas;
    canvas.painter = Painter.get();
    canvas.image = OverlayBuffer.View();
    canvas.desktop = ShownDesktop();
    canvas.covered = shot.covered;
    canvas.clip = drawn;
    canvas.penWidth = PenWidth.load();
    canvas.inkColor = InkColor;
    DrawAnnotations(canvas, shot.ink);
    if (shot.textShape >= 0 && size_t(shot.textShape) < shot.ink.size()) {
        // The caret of the open text box, in its colour: the overlay's only, never in the capture.
        const CaptureShape& s = shot.ink[size_t(shot.textShape)];
        const auto [top, bottom] = TTextTool::Caret(s);
        const TPointD caret[2] = {top, bottom};
        Painter->SetLineWidth(2);
        Painter->SetLineColorArgb(ShapeColour(s, InkColor) | 0xFF000000u);
        Painter->Polyline(caret);
    }
    Strip.Draw(*Painter, drawn, CurrentTool, CurrentColour, InkColor);
}

void TInputForm::DrawSelection(const CaptureShape& selection, const QRect& drawn) {
    const std::vector<TPointD>& pts = selection.Points;
    if (pts.empty()) return;
    Painter->SetLineWidth(10);
    Painter->SetLineColorArgb(OutlineColor);
    // The inside is cleared of the tint; a lasso's fill closes it with a straight edge.
    if (selection.Kind == skRectangle) {
        const TShapeBounds h = RectangleBounds(selection);
        OverlayBuffer.FillRect(h.ToRect() & drawn, 0, 256);
    } else {
        Painter->SetBlendMode(AggBlendClear);
        Painter->Polygon(pts, PathDrawMode::FillOnly);
        Painter->SetBlendMode(AggBlendAlpha);
    }
    TAggPath& path = Painter->Path();
    path.RemoveAll();
    path.MoveTo(pts[0].x, pts[0].y);
    for (size_t i = 1; i < pts.size(); ++i)
        path.LineTo(pts[i].x, pts[i].y);
    if (selection.Kind == skRectangle) path.ClosePolygon(); // a lasso's outline stays open
    Painter->Rasterizer().Reset();
    Painter->Rasterizer().AddPath(*OutlineStroke);
    Painter->RenderCoverage(false);
}

DibOps::View TInputForm::PaintTarget(QPainter& p, const QRect& clip, TDIB& scratch, QPoint& at) const {
    QPoint origin;
    if (QImage* surface = DirectSurface(p, origin);
        surface && QRect(QPoint(0, 0), surface->size()).contains(clip.translated(origin))) {
        at = clip.topLeft() + origin;
        return DibOps::View{surface->bits(), surface->bytesPerLine(), surface->width(), surface->height(), 4};
    }
    scratch.SetSize(clip.width(), clip.height(), 32);
    at = QPoint(0, 0);
    return scratch.View();
}

void TInputForm::PaintNormal(QPainter& p, QRect clip) {
    clip &= QRect(0, 0, DesktopImage.Width(), DesktopImage.Height());
    if (clip.isEmpty()) return;
    // The layer is the plain tint except where something is drawn on it: only that part of the clip is
    // filled and drawn, the rest is the tint laid straight over the desktop.
    TShapeSnapshot shot = SnapshotShapes();
    const QRect drawn = DrawnArea(shot, clip);
    if (!drawn.isEmpty()) DrawLayer(shot, drawn);

    TOverlayFrame frame;
    frame.desktop = ShownDesktop();
    frame.layer = OverlayBuffer.ConstView(frame.desktop.width, frame.desktop.height);
    TDIB scratch;
    frame.out = PaintTarget(p, clip, scratch, frame.at);
    frame.clip = clip;
    frame.drawn = drawn;
    frame.tint = TintColor;
    // A whole screen's worth (the first paint above all, whose surface is fresh memory) is shared with a
    // second thread. While the X server still draws the backdrop it keeps a core busy: the first frame
    // then goes on the other one alone.
    const bool serverBusy = backdropDrawn_ && !firstPaintDone_;
    ComposeOverlay(frame, qint64(clip.width()) * clip.height() >= (1 << 20) &&
                              std::thread::hardware_concurrency() >= 2 && !serverBusy);
    if (!scratch.Empty()) ShowScratch(p, scratch, clip);
}

DibOps::ConstView TInputForm::ShownDesktop() {
    // The grabbed rows until they are narrowed into the picture, then the picture.
    const int dw = DesktopImage.Width(), dh = DesktopImage.Height();
    if (pending_.rows) {
        if (!filled_.load(std::memory_order_acquire))
            return DibOps::ConstView{pending_.rows->bits, pending_.rows->stride, dw, dh, 4};
        WaitForDesktop();
    }
    return DesktopImage.ConstView();
}

void TInputForm::PaintZoomed(QPainter& p, const TCapBox* box, QPoint origin) {
    // The box shows the frame's pixels from origin on; the frame is the whole desktop's.
    const int w = std::max(1, int(std::ceil(box->width() * scale_)));
    const int h = std::max(1, int(std::ceil(box->height() * scale_)));
    const QSize frame = views_.empty() ? QSize(w, h) : QSize(DesktopImage.Width(), DesktopImage.Height());
    // The zoomed view is rebuilt whole on every paint. Where the window's surface can be written
    // directly and the whole box is being painted, the frame goes straight into it; otherwise into a
    // 32-bit frame kept between paints (the worker asks for one every 10 ms while zoom or pan
    // animate, and a fresh one per paint would be allocated and faulted in each time).
    QPoint at;
    QImage* surface = DirectSurface(p, at);
    at += origin;
    const bool direct = surface && box->PaintRect().contains(box->rect()) &&
                        QRect(QPoint(0, 0), surface->size()).contains(QRect(at, QSize(w, h)));
    DibOps::View out;
    if (direct) {
        out = DibOps::View{surface->bits(), surface->bytesPerLine(), w, h, 4};
        out.bits = out.Pixel(at.x(), at.y());
    } else {
        if (ZoomShown.Width() != w || ZoomShown.Height() != h) ZoomShown = TDIB(w, h, 32);
        out = ZoomShown.View();
    }
    TInterpolation mode = ResampleMode;
    if (mode == TInterpolation::Nearest && PaintZoom > 1 && PaintZoom < 1.95) mode = TInterpolation::Linear;
    const double zoom = PaintZoom > 0 ? PaintZoom : 1;
    TZoomedView view;
    view.zoom = zoom;
    view.offset = PaintOffset + QPointF(origin);
    view.firstPixel = ImageFromClient(origin.x(), origin.y());
    view.mode = mode;
    view.phase = TickCount.load() * 100.0;
    view.background = ZoomBackground;
    DrawZoomedDesktop(ShownDesktop(), ZoomScratch, ZoomRows, out, view);
    if (!PickRect.None()) {
        const QRect n = PickRect.Normalised();
        if (!ReadoutPainter) ReadoutPainter = std::make_unique<TAgg2D>();
        if (origin.isNull() && frame == QSize(w, h))
            DrawPickDisplay(out, ZoomPanel, *ReadoutPainter, ClientFromImage(n), n, PickRect.Degenerate(),
                            PickedColor, view.phase);
        else
            DrawPickDisplay(out, origin, frame, ZoomPanel, *ReadoutPainter, ClientFromImage(n), n,
                            PickRect.Degenerate(), PickedColor, view.phase);
    }
    if (!direct) ShowScratch(p, ZoomShown, QRect(origin, QSize(w, h)));
}
