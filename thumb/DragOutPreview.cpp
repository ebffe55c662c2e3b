#include "DragOutPreview.h"

#include "WinTools.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// The drag's picture fits this square: the preview itself would cover the target.
constexpr int kDragIconSide = 128;
} // namespace

TDragOutPreview::TDragOutPreview(IThumbOwner* owner, QWidget* parent) : QWidget(parent), owner_(owner) {}

TDragOutPreview::~TDragOutPreview() {
    // The capture is going with the control: its file is no longer being made for a drop.
    if (lastData_) lastData_->DiscardPrepared();
}

void TDragOutPreview::SetPicture(const TDIB& picture) {
    picture_ = picture;
    scaled_.Clear();
    if (picture_.Empty())
        unsetCursor();
    else
        setCursor(Qt::DragCopyCursor);
    update();
}

void TDragOutPreview::Clear() {
    SetPicture(TDIB());
    if (lastData_) lastData_->DiscardPrepared();
}

QRect TDragOutPreview::PictureRect() const {
    if (picture_.Empty() || width() < 1 || height() < 1) return {};
    const double scale =
        std::min({1.0, double(width()) / picture_.Width(), double(height()) / picture_.Height()});
    const int w = std::max(1, int(std::lround(picture_.Width() * scale)));
    const int h = std::max(1, int(std::lround(picture_.Height() * scale)));
    return QRect((width() - w) / 2, (height() - h) / 2, w, h);
}

const TDIB& TDragOutPreview::Scaled() {
    const QRect r = PictureRect();
    if (r.size() == QSize(picture_.Width(), picture_.Height())) return picture_;
    if (scaled_.Empty() || scaled_.Width() != r.width() || scaled_.Height() != r.height()) {
        TDIB small(r.width(), r.height(), 32);
        small.FillRect(QRect(0, 0, r.width(), r.height()), 0, 256);
        picture_.Resize(small, QRect(0, 0, picture_.Width(), picture_.Height()),
                        QRect(0, 0, r.width(), r.height()), TInterpolation::SuperSampling);
        scaled_ = small;
    }
    return scaled_;
}

void TDragOutPreview::paintEvent(QPaintEvent*) {
    if (picture_.Empty()) return;
    const QRect r = PictureRect();
    if (r.isEmpty()) return;
    QPainter p(this);
    // Premultiplied with its shadow: it blends over the page behind it.
    p.drawImage(r.topLeft(), Scaled().AsConstQImage());
}

void TDragOutPreview::StartDragOut() {
    if (!owner_ || picture_.Empty()) return;
    TDragOutRun run;
    if (!run) return;
    IThumbOwner* owner = owner_;
    QPointer<TDragOutPreview> self(this);
    // The drag grabs the pointer itself.
    if (QWidget::mouseGrabber() == this) releaseMouse();
    TDragFileData* data = run.MakeData(*owner, lastData_);
    lastData_ = data;
    dragging_ = true;
    const Qt::DropAction action = RunDrag(data);
    if (self) dragging_ = false;
    run.Ended(action);
}

Qt::DropAction TDragOutPreview::RunDrag(TDragFileData* data) {
    if (dragLoop_) return dragLoop_(data);
    const QImage shown = Scaled().AsConstQImage();
    const QImage icon =
        shown.width() > kDragIconSide || shown.height() > kDragIconSide
            ? shown.scaled(kDragIconSide, kDragIconSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            : shown;
    return ExecDragOut(data, QPixmap::fromImage(icon));
}

void TDragOutPreview::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !PictureRect().contains(e->position().toPoint()))
        return QWidget::mousePressEvent(e);
    const QPoint g = e->globalPosition().toPoint();
    SetDragStart(g.x(), g.y());
    grabMouse();
}

void TDragOutPreview::mouseMoveEvent(QMouseEvent* e) {
    const QPoint g = e->globalPosition().toPoint();
    if (DragStarted(this, g.x(), g.y())) StartDragOut();
}

void TDragOutPreview::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(e);
    if (QWidget::mouseGrabber() == this) releaseMouse();
}
