#include "OverlayDrags.h"

#include "AnnotationTools.h"

void TInputForm::TMoveDrag::Move(Qt::KeyboardModifiers, int x, int y) {
    const int dx = x - last_.x(), dy = y - last_.y();
    if (dx == 0 && dy == 0) return;
    last_ = QPoint(x, y);
    QRect dirty;
    {
        std::lock_guard<std::mutex> lock(form.ShapeLock);
        if (index_ < 1 || size_t(index_) >= form.Shapes.size()) return;
        CaptureShape& s = form.Shapes[size_t(index_)];
        dirty = form.ChangedArea(s);
        MoveShape(s, dx, dy);
        if (s.Tool != TToolKind::Pen) form.UpdateBounds(s, size_t(index_));
        dirty |= form.ChangedArea(s);
    }
    moved_ += QPoint(dx, dy);
    form.InvalidateClient(dirty);
}

void TInputForm::TMoveDrag::Release() {
    if (!moved_.isNull()) form.history_.Moved(size_t(index_), moved_.x(), moved_.y());
}

void TInputForm::TPanDrag::Move(Qt::KeyboardModifiers, int x, int y) {
    std::lock_guard<std::mutex> lock(form.ShapeLock);
    form.TargetOffset += QPointF(last_.x() - x, last_.y() - y);
    last_ = QPoint(x, y);
}

void TInputForm::TPickDrag::Move(Qt::KeyboardModifiers, int x, int y) {
    const QPoint p = form.ImageFromClient(x, y);
    form.PickRect.x2 = p.x();
    form.PickRect.y2 = p.y();
}

void TInputForm::TPickDrag::Release() {
    if (!form.PickRect.Degenerate()) form.PlaySound(QStringLiteral("DoubleBlip.wav"), 0);
}
