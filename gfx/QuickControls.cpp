#include "QuickControls.h"

#include "DIBmp.h"

#include <QPaintEngine>
#include <QPixmap>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>

TQuickGraphicControl::TQuickGraphicControl(QWidget* parent)
    : QWidget(parent), clientRect_(0, 0, width(), height()) {}

void TQuickGraphicControl::SetQuickFlags(uint8_t flags) {
    if (flags == quickFlags_) return;
    quickFlags_ = flags;
    update();
}

void TQuickGraphicControl::Paint() {}

void TQuickGraphicControl::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (!(quickFlags_ & qfBuffered)) {
        canvas_ = &painter;
        Paint();
        canvas_ = nullptr;
        return;
    }
    const QRect area = event->rect().intersected(clientRect_);
    if (area.isEmpty()) return;
    // Qt already double-buffers the window; this buffer exists so that a paint which draws in
    // several layers reaches the surface in one copy, with the parent's painting underneath.
    QImage buffer(area.size(), QImage::Format_ARGB32_Premultiplied);
    buffer.fill(Qt::transparent);
    {
        QPainter inner(&buffer);
        inner.translate(-area.topLeft());
        if ((quickFlags_ & qfParentBackground) && parentWidget()) {
            inner.save();
            parentWidget()->render(&inner, area.topLeft(), QRegion(area.translated(pos())),
                                   QWidget::DrawWindowBackground);
            inner.restore();
        }
        canvas_ = &inner;
        Paint();
        canvas_ = nullptr;
    }
    painter.drawImage(area.topLeft(), buffer);
}

void TQuickGraphicControl::resizeEvent(QResizeEvent* event) {
    clientRect_ = QRect(0, 0, width(), height());
    QWidget::resizeEvent(event);
}

void TQuickGraphicControl::enterEvent(QEnterEvent* event) {
    if (isEnabled() && OnMouseEnter) OnMouseEnter(this);
    QWidget::enterEvent(event);
}

void TQuickGraphicControl::leaveEvent(QEvent* event) {
    if (isEnabled() && OnMouseLeave) OnMouseLeave(this);
    QWidget::leaveEvent(event);
}

void TQuickGraphicControl::GrabBackground(const QRect& rect, TDIB& into, bool fromSurface) {
    QImage view = into.AsQImage();
    if (view.isNull()) return;
    if (fromSurface && canvas_ && canvas_->paintEngine()) {
        // During a paint the surface being painted (the window's backing store, or the image of a
        // grab) already holds what lies under this control.
        QPaintDevice* device = canvas_->paintEngine()->paintDevice();
        QImage pixmapCopy;
        const QImage* surface = nullptr;
        if (device && device->devType() == QInternal::Image) {
            surface = static_cast<QImage*>(device);
        } else if (device && device->devType() == QInternal::Pixmap) {
            pixmapCopy = static_cast<QPixmap*>(device)->toImage();
            surface = &pixmapCopy;
        }
        if (surface && !surface->isNull()) {
            const QRect source = canvas_->deviceTransform().mapRect(QRectF(rect)).toAlignedRect();
            QPainter p(&view);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(QRect(QPoint(0, 0), rect.size()), *surface, source);
            return;
        }
    }
    QPainter p(&view);
    p.fillRect(QRect(QPoint(0, 0), rect.size()), palette().window());
    if (QWidget* parent = parentWidget()) {
        const QRect inParent = rect.translated(pos());
        parent->render(&p, QPoint(0, 0), QRegion(inParent), QWidget::DrawWindowBackground);
    }
}

TDIB* TQuickGraphicControl::BeginPaintBuffer(const QRect& rect) {
    TDIB* dib = GetTempDIB(std::max(rect.width(), 1), std::max(rect.height(), 1));
    GrabBackground(rect, *dib, quickFlags_ & qfCanvasBackground);
    return dib;
}

void TQuickGraphicControl::EndPaintBuffer(const QRect& rect, TDIB* dib) {
    if (canvas_ && dib) {
        // From the surface only the rect was taken; from the parent the whole control is shown.
        const QRect shown = (quickFlags_ & qfCanvasBackground) ? rect : clientRect_.intersected(rect);
        dib->DrawTo(*canvas_, shown.left(), shown.top(),
                    QRect(shown.topLeft() - rect.topLeft(), shown.size()));
    }
    ReleaseTempDIB(dib);
}

void TQuickGraphicControl::InvalidateRect(const QRect& rect) {
    if (!isVisible() || !parentWidget()) return;
    update(rect.intersected(clientRect_));
}
