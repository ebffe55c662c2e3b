#include "Thumb.h"

#include "AllTools.h"
#include "Globals.h"
#include "Platform.h"
#include "WinTools.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDrag>
#include <QGuiApplication>
#include <QMouseEvent>

#include <algorithm>
#include <utility>
#include <vector>

namespace {
constexpr int kTickInterval = 16;
// For a drag-out the preview is also made at this fraction of its size, about the dragged card's size
// (2 x kThumbDragScale); the card draws that picture instead while its scale is below kSmallPictureBelow.
constexpr double kSmallPictureFactor = 0.25;
constexpr double kSmallPictureBelow = 0.3;
// Only one drag-out runs at a time in the process.
bool dragOutRunning = false;
} // namespace

QString DragSourceDrop(IThumbOwner& owner, const QString& dragFileName, TPreparedFile* prepared) {
    if (dragFileName.isEmpty()) return {};
    const QString written = owner.SaveDragFile(UniqueFileName(dragFileName), prepared);
    if (written.isEmpty()) return {};
    (void)Platform().shell->AddRecentDocument(written);
    return written;
}

TDragOutRun::TDragOutRun() : mine_(!dragOutRunning) {
    if (mine_) dragOutRunning = true;
}

TDragOutRun::~TDragOutRun() {
    if (mine_) dragOutRunning = false;
}

TDragFileData* TDragOutRun::MakeData(IThumbOwner& owner, TDragFileData* previous) {
    const QString fileName = owner.DragFileName();
    // A target that accepted the last drop but never asked will not get its bytes now.
    if (previous && previous->Prepared()) previous->Prepared()->Cancel();
    // The file is encoded while the user drags, so the drop has only to write it.
    std::unique_ptr<TPreparedFile> prepared = owner.PrepareDragFile();
    // The writer outlives the drag's source if the target asks late: it holds only the owner.
    IThumbOwner* o = &owner;
    data_ = new TDragFileData(
        fileName, [o](const QString& path, TPreparedFile* bytes) { return DragSourceDrop(*o, path, bytes); },
        std::move(prepared));
    // A Wayland drag loop outlasts the drop: the target reads before the source knows of it.
    data_->SetWritesWhileDragging(QGuiApplication::platformName().startsWith(QLatin1String("wayland")));
    return data_;
}

void TDragOutRun::Ended(Qt::DropAction action) {
    if (data_) data_->DragEnded(action == Qt::CopyAction || action == Qt::MoveAction);
    if (std::exchange(mine_, false)) dragOutRunning = false;
}

Qt::DropAction ExecDragOut(TDragFileData* data, const QPixmap& icon) {
    // The drag frees itself once its target is done; a parent that lives as long as the program
    // keeps it from being freed with the window it started from.
    auto* drag = new QDrag(QCoreApplication::instance());
    drag->setMimeData(data);
    if (!icon.isNull()) {
        drag->setPixmap(icon);
        // Below and to the right of the pointer, which keeps the target under it in view.
        drag->setHotSpot(QPoint(-12, -12));
    }
    return drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void MultiplyChannels(TDIB& image, const QRect& rect, int b, int g, int r, int a) {
    if (image.BitCount() != 32) return;
    const QRect area = rect.intersected(QRect(0, 0, image.Width(), image.Height()));
    if (area.isEmpty()) return;
    const int factor[4] = {b, g, r, a};
    for (int y = area.top(); y <= area.bottom(); ++y) {
        uint8_t* p = image.PixelPtr(area.left(), y);
        for (int x = 0; x < area.width(); ++x, p += 4)
            for (int c = 0; c < 4; ++c)
                p[c] = uint8_t((p[c] * factor[c]) >> 8);
    }
}

TThumbForm::TThumbForm(IThumbOwner* owner, const TDIB& previewImage, QPointF previewOrigin)
    : AnimTimer(this), owner_(owner) {
    setWindowTitle(QStringLiteral("Thumbnail"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setCursor(Qt::DragCopyCursor);
    OwnAnimDriver = true;
    PreviewImage = previewImage;
    HitInsets = QMargins(0, 0, 0, 0);
    const int w = PreviewImage.Width(), h = PreviewImage.Height();
    SourceQuad = {QPointF(0, 0), QPointF(w, 0), QPointF(w, h), QPointF(0, h)};
    Motion.Start(previewOrigin, QSize(w, h));
    SetLayeredRect(Motion.WindowRect, false);
    SetAlphaValue(Motion.Alpha);

    AnimTimer.SetInterval(kTickInterval);
    AnimTimer.SetNoOverflow(true);
    AnimTimer.OnTimer = [this](TQuickCustomTimer*) { AnimTimerTimer(); };
    OnPaint = [this](TLayeredForm*) { FormPaint(); };
}

namespace {
// Every card Create made that is alive, the current one and those fading out.
std::vector<TThumbForm*>& LiveCards() {
    static std::vector<TThumbForm*> cards;
    return cards;
}
} // namespace

TThumbForm::~TThumbForm() {
    std::erase(LiveCards(), this);
    AnimTimer.SetEnabled(false);
    // The capture is going: its file is no longer being made for a drop.
    if (lastData_) lastData_->DiscardPrepared();
    if (ThumbForm == this) ThumbForm = nullptr;
}

TThumbForm* TThumbForm::Create(IThumbOwner* owner, const TDIB& previewImage, QPointF previewOrigin) {
    auto* form = new TThumbForm(owner, previewImage, previewOrigin);
    LiveCards().push_back(form);
    ThumbForm = form;
    form->show();
    return form;
}

void TThumbForm::Discard() {
    TThumbForm* form = ThumbForm;
    if (!form) return;
    ThumbForm = nullptr;
    // A hidden card has no running timer to finish a fade: it goes at once.
    if (!form->isVisible())
        form->deleteLater();
    else
        form->SetVisibleAnim(false);
}

void TThumbForm::DeleteAll() {
    ThumbForm = nullptr;
    while (!LiveCards().empty())
        delete LiveCards().back(); // the destructor takes it off the list
}

int TThumbForm::HitZone(int, int) {
    return hzNone;
}

TThumbInputs TThumbForm::ReadInputs() const {
    TThumbInputs in;
    in.dragging = dragging_;
    // Asking the display for the pointer costs a round trip: only the drag needs it.
    if (dragging_) in.pointer = QCursor::pos();
    in.owner = owner_ ? owner_->OwnerBounds() : QRect();
    in.monitor = MonitorOf(in.owner, Platform().display->Monitors());
    if (in.monitor.isEmpty()) in.monitor = DesktopRect();
    in.fading = AnimProgress > 0;
    return in;
}

void TThumbForm::Tick(int periods) {
    Motion.Step(periods, kTickInterval, ReadInputs());
    SetAlphaValue(Motion.Alpha);
    SetLayeredRect(Motion.WindowRect, false);
    QPointer<TThumbForm> self(this);
    AnimTick(double(periods) * kTickInterval);
    // The end of a fade closes the card (and may free it).
    if (!self || !isVisible()) return;
    RepaintAll();
}

void TThumbForm::AnimTimerTimer() {
    Tick(AnimTimer.MissedTicks() + 1);
}

void TThumbForm::FormPaint() {
    if (PreviewImage.Empty()) return;
    const QRect r(0, 0, LayeredRect().width(), LayeredRect().height());
    if (r.isEmpty()) return;
    Surface.FillRect(r, 0, 256);
    const bool small = !SmallPicture.Empty() && Motion.Scale < kSmallPictureBelow;
    TDIB& picture = small ? SmallPicture : PreviewImage;
    picture.WarpQuad(Surface, QRect(0, 0, picture.Width(), picture.Height()), r,
                     small ? SmallSourceQuad : SourceQuad, Motion.WindowQuad, TInterpolation::Linear);
    // Held down, the card turns slightly darker and bluish.
    if (QWidget::mouseGrabber() == this) MultiplyChannels(Surface, r, 256, 248, 240, 256);
}

void TThumbForm::MakeSmallPicture() {
    if (!SmallPicture.Empty() || PreviewImage.Empty()) return;
    const int w = int(std::nearbyint(PreviewImage.Width() * kSmallPictureFactor));
    const int h = int(std::nearbyint(PreviewImage.Height() * kSmallPictureFactor));
    if (w < 1 || h < 1) return;
    TDIB small(w, h, 32);
    small.FillRect(QRect(0, 0, w, h), 0, 256);
    PreviewImage.Resize(small, QRect(0, 0, PreviewImage.Width(), PreviewImage.Height()), QRect(0, 0, w, h),
                        TInterpolation::SuperSampling);
    SmallPicture = small;
    SmallSourceQuad = {QPointF(0, 0), QPointF(w, 0), QPointF(w, h), QPointF(0, h)};
}

void TThumbForm::StartDragOut() {
    if (!owner_) return;
    TDragOutRun run;
    if (!run) return;
    IThumbOwner* owner = owner_;
    QPointer<TThumbForm> self(this);
    // The drag grabs the pointer itself; the card lets every click through to the real target.
    if (QWidget::mouseGrabber() == this) releaseMouse();
    SetAcceptsMouse(false);
    MakeSmallPicture();
    owner->HideForDragOut();
    TDragFileData* data = run.MakeData(*owner, lastData_);
    dragFileName_ = data->OfferedPath();
    lastData_ = data;
    dragging_ = true;
    const Qt::DropAction action = RunDrag(data);
    if (self) dragging_ = false;
    run.Ended(action);
    if (self) {
        dragFileName_.clear();
        SetAcceptsMouse(true);
        Invalidate();
    }
    owner->ShowAfterDragOut();
}

Qt::DropAction TThumbForm::RunDrag(TDragFileData* data) {
    // The drag loop cancels on Escape, but only keys that reach this program: the main window, which
    // had the focus, has just been hidden, so the card takes the keyboard for the drag.
    QPointer<TThumbForm> self(this);
    grabKeyboard();
    const Qt::DropAction action = ExecDragOut(data);
    if (self && QWidget::keyboardGrabber() == this) releaseKeyboard();
    return action;
}

void TThumbForm::showEvent(QShowEvent* e) {
    TLayeredFormEx::showEvent(e);
    AnimTimer.SetEnabled(true);
}

void TThumbForm::hideEvent(QHideEvent* e) {
    TLayeredFormEx::hideEvent(e);
    AnimTimer.SetEnabled(false);
}

void TThumbForm::closeEvent(QCloseEvent* e) {
    TLayeredFormEx::closeEvent(e);
    // The current card is only hidden; one that is no longer current frees itself.
    if (ThumbForm != this) deleteLater();
}

void TThumbForm::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return TLayeredFormEx::mousePressEvent(e);
    if (owner_ && owner_->OwnerVisible()) owner_->BringOwnerForward();
    const QPoint g = e->globalPosition().toPoint();
    SetDragStart(g.x(), g.y());
    grabMouse();
    Invalidate();
}

void TThumbForm::mouseMoveEvent(QMouseEvent* e) {
    setCursor(Qt::DragCopyCursor);
    const QPoint g = e->globalPosition().toPoint();
    if (DragStarted(this, g.x(), g.y())) StartDragOut();
}

void TThumbForm::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return TLayeredFormEx::mouseReleaseEvent(e);
    if (QWidget::mouseGrabber() == this) releaseMouse();
    Invalidate();
}

void TThumbForm::contextMenuEvent(QContextMenuEvent* e) {
    if (owner_) owner_->PopupThumbMenu(e->globalPos());
}
