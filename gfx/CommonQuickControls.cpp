#include "CommonQuickControls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

TQuickPaintBox::TQuickPaintBox(QWidget* parent) : TNoClicksGraphicControl(parent) {
    resize(64, 64);
    color_ = palette().color(QPalette::Window);
}

void TQuickPaintBox::SetColor(const QColor& color) {
    if (color == color_) return;
    color_ = color;
    update();
}

void TQuickPaintBox::Paint() {
    if (OnPaint) {
        Canvas()->setBrush(color_);
        OnPaint(this);
    }
}

TQuickBmpList::TQuickBmpList(QWidget* parent) : TNoClicksGraphicControl(parent) {
    WatchGlyph();
}

void TQuickBmpList::WatchGlyph() {
    QPointer<TQuickBmpList> self(this);
    glyph_.OnChange = [self] {
        if (self) self->update();
    };
}

const TDIBmp& TQuickBmpList::Glyph() const {
    return source_ ? source_->Glyph() : glyph_;
}

void TQuickBmpList::SetGlyph(const TDIBmp& glyph) {
    glyph_ = glyph;
    WatchGlyph();
    SetILIndex(ilIndex_);
    update();
}

void TQuickBmpList::SetILIndex(int index) {
    if (index > 0) index = std::clamp(index, 0, std::max(Glyph().CellCount() - 1, 0));
    if (index == ilIndex_) return;
    ilIndex_ = index;
    update();
}

int TQuickBmpList::XOffset() const {
    return Glyph().CellRect(ilIndex_).x();
}

void TQuickBmpList::SetSourceBmpList(TQuickBmpList* source) {
    if (source == this) source = nullptr;
    source_ = source;
    if (source_) glyph_ = TDIBmp();
    WatchGlyph();
    update();
}

void TQuickBmpList::Paint() {
    const TDIBmp& glyph = Glyph();
    // The cell, kept inside the strip and the control.
    QRect cell = glyph.Empty()
                     ? QRect()
                     : glyph.CellRect(ilIndex_).intersected(QRect(0, 0, glyph.Width(), glyph.Height()));
    cell.setSize(cell.size().boundedTo(ClientRect().size()));
    if (glyph.DrawMode() == TDIBmpDrawMode::dmNormal) {
        if (!cell.isEmpty()) glyph.DrawTo(*Canvas(), 0, 0, cell);
        return;
    }
    TDIB* buffer = BeginPaintBuffer(ClientRect());
    if (!cell.isEmpty()) {
        const QRect clip = buffer->ClipRect();
        buffer->SetClipRect(QRect(0, 0, ClientRect().width(), ClientRect().height()));
        glyph.DrawCell(*buffer, 0, 0, cell);
        buffer->SetClipRect(clip);
    }
    EndPaintBuffer(ClientRect(), buffer);
}

void TQuickBmpList::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    TNoClicksGraphicControl::mousePressEvent(event);
}

void TQuickBmpList::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    TNoClicksGraphicControl::mouseReleaseEvent(event);
    if (!click) return;
    if (OnClick) OnClick(this);
    emit clicked();
}
