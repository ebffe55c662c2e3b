#include "PinWindow.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <cmath>

// --- the view ---------------------------------------------------------------------------------------

QRect TPinView::Rect() const {
    const int w = std::max(1, int(std::lround(picture.width() * zoom)));
    const int h = std::max(1, int(std::lround(picture.height() * zoom)));
    return QRect(int(std::lround(origin.x())), int(std::lround(origin.y())), w, h);
}

void TPinView::ZoomAt(QPointF pointer, double notches) {
    if (notches == 0 || picture.isEmpty()) return;
    double z = std::clamp(zoom * std::pow(ZoomStep, notches), MinZoom, MaxZoom);
    // Passing 100 % stops there; so does coming within rounding of it.
    if ((zoom < 1 && z > 1) || (zoom > 1 && z < 1) || std::abs(z - 1) < 1e-9) z = 1;
    if (z == zoom) return;
    origin = pointer - (pointer - origin) * (z / zoom);
    zoom = z;
    // At 100 % the picture's pixels lie on the screen's.
    if (zoom == 1) origin = QPointF(std::round(origin.x()), std::round(origin.y()));
}

void TPinView::ChangeOpacity(double notches) {
    const double o = std::clamp(opacity + notches * OpacityStep, MinOpacity, MaxOpacity);
    // Whole per cent, so that steps up and down meet again.
    opacity = std::round(o * 100) / 100;
}

void RenderPin(const TDIB& picture, const TPinView& view, const QRect& shown, TDIB& out) {
    const QRect r = view.Rect();
    if (picture.Empty() || shown.isEmpty() || !r.contains(shown)) return;
    if (r.size() == QSize(picture.Width(), picture.Height())) {
        picture.CopyRect(out, 0, 0, shown.translated(-r.topLeft()));
        return;
    }
    const double fx = double(r.width()) / picture.Width(), fy = double(r.height()) / picture.Height();
    // Enlarged, every pixel stays a sharp block; reduced, each shown pixel averages those it covers.
    const TInterpolation mode = view.zoom < 1 ? TInterpolation::SuperSampling : TInterpolation::Nearest;
    picture.ResizeSqr(out, QRect(0, 0, picture.Width(), picture.Height()), mode, fx, fy,
                      r.left() - shown.left(), r.top() - shown.top(), QRect(QPoint(0, 0), shown.size()));
}

QRect LogicalCover(const QRect& device, double scale) {
    if (scale <= 0) scale = 1;
    constexpr double eps = 1e-6;
    const int left = int(std::floor(device.left() / scale + eps));
    const int top = int(std::floor(device.top() / scale + eps));
    const int right = int(std::ceil((device.left() + device.width()) / scale - eps));
    const int bottom = int(std::ceil((device.top() + device.height()) / scale - eps));
    return QRect(left, top, std::max(right - left, 1), std::max(bottom - top, 1));
}

// --- the window -------------------------------------------------------------------------------------

TPinWindow::TPinWindow(const TPinnedCapture& capture, IPinOwner* owner, bool placed)
    : owner_(owner), placed_(placed) {
    capture_ = capture;
    picture_ = capture.flatImage;
    if (picture_.Empty()) {
        picture_.SetSize(1, 1, 24);
        picture_.FillRect(QRect(0, 0, 1, 1), 0xFF000000);
    }
    view_.picture = QSize(picture_.Width(), picture_.Height());
    if (!capture.desktopRect.isEmpty()) {
        view_.origin = capture.desktopRect.topLeft();
    } else {
        const QRect desktop = DesktopRect();
        view_.origin = desktop.center() - QPoint(picture_.Width() / 2, picture_.Height() / 2);
    }
    if (const QScreen* s = QGuiApplication::primaryScreen()) scale_ = s->devicePixelRatio();
    if (scale_ <= 0) scale_ = 1;

    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    ConstrainToDesktop = false;
    setWindowTitle(QCoreApplication::translate("TPinWindow", "钉图 - Vexmor"));
    setWindowRole(QString::fromLatin1(kPinWindowRole));
    if (placed_)
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint |
                       Qt::NoDropShadowWindowHint);
    else
        setWindowFlags(Qt::Window);
    setCursor(Qt::SizeAllCursor);
    setFocusPolicy(Qt::StrongFocus);
}

TPinWindow::~TPinWindow() {
    if (!closing_ && owner_) owner_->PinClosed(this);
}

void TPinWindow::Open() {
    ApplyView();
    show();
    raise();
    activateWindow();
}

QRect TPinWindow::ShownRect() const {
    const QRect r = view_.Rect();
    if (!placed_) {
        // A normal window shows the picture from its top-left corner, at most a screen's size.
        QSize limit = r.size();
        if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
            limit = (QSizeF(s->availableSize()) * scale_).toSize();
        return QRect(r.topLeft(), r.size().boundedTo(limit));
    }
    const QRect on = r & DesktopRect();
    return on.isEmpty() ? r : on;
}

void TPinWindow::ApplyView() {
    shown_ = ShownRect();
    if (placed_) {
        const QRect logical = LogicalCover(shown_, scale_);
        paintOffset_ = QPoint(int(std::lround(shown_.left() - logical.left() * scale_)),
                              int(std::lround(shown_.top() - logical.top() * scale_)));
        if (geometry() != logical) setGeometry(logical);
    } else {
        paintOffset_ = QPoint(0, 0);
        const QSize size = LogicalCover(QRect(QPoint(0, 0), shown_.size()), scale_).size();
        if (this->size() != size) resize(size);
    }
    if (windowOpacity() != view_.opacity) setWindowOpacity(view_.opacity);
    if (view_.zoom == 1) {
        surface_.Clear();
    } else {
        if (surface_.Width() != shown_.width() || surface_.Height() != shown_.height())
            surface_.SetSize(shown_.width(), shown_.height(), picture_.BitCount());
        RenderPin(picture_, view_, shown_, surface_);
    }
    update();
}

void TPinWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    // One picture pixel per device pixel: the target is the shown part's size in logical pixels.
    const QRectF target(QPointF(paintOffset_) / scale_, QSizeF(shown_.size()) / scale_);
    // What the cover adds around the shown part at a fractional scale stays black.
    if (QRectF(rect()) != target) p.fillRect(rect(), Qt::black);
    if (view_.zoom == 1) {
        const QImage image = picture_.AsConstQImage();
        p.drawImage(target, image, QRectF(shown_.translated(-view_.Rect().topLeft())));
    } else if (!surface_.Empty()) {
        const QImage image = surface_.AsConstQImage();
        p.drawImage(target, image, QRectF(0, 0, shown_.width(), shown_.height()));
    }
}

QPointF TPinWindow::DevicePointer(QPointF global) const {
    return global * scale_;
}

void TPinWindow::WheelTurned(double notches, Qt::KeyboardModifiers modifiers, QPointF pointer) {
    if (modifiers & Qt::ControlModifier) {
        view_.ChangeOpacity(notches);
    } else {
        view_.ZoomAt(pointer, notches);
        // A normal window cannot be placed: it grows and shrinks from where the desktop keeps it.
        if (!placed_) view_.origin = QPointF(0, 0);
    }
    ApplyView();
}

void TPinWindow::DragTo(QPointF pointer) {
    view_.origin = pressOrigin_ + (pointer - pressPointer_);
    if (view_.zoom == 1) view_.origin = QPointF(std::round(view_.origin.x()), std::round(view_.origin.y()));
    ApplyView();
}

void TPinWindow::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return TCustomWPForm::mousePressEvent(e);
    if (!placed_) {
        // The desktop moves a window it places itself.
        if (QWindow* w = windowHandle()) w->startSystemMove();
        return;
    }
    // A click gives the pin the keyboard (Esc closes it), also where no window manager does so.
    activateWindow();
    pressed_ = true;
    pressPointer_ = DevicePointer(e->globalPosition());
    pressOrigin_ = view_.origin;
}

void TPinWindow::mouseMoveEvent(QMouseEvent* e) {
    if (pressed_ && (e->buttons() & Qt::LeftButton)) DragTo(DevicePointer(e->globalPosition()));
}

void TPinWindow::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) pressed_ = false;
}

void TPinWindow::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) close();
}

void TPinWindow::wheelEvent(QWheelEvent* e) {
    const QPoint delta = e->angleDelta();
    const int steps = delta.y() != 0 ? delta.y() : delta.x();
    if (steps != 0) WheelTurned(steps / 120.0, e->modifiers(), DevicePointer(e->globalPosition()));
    e->accept();
}

void TPinWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        close();
        return;
    }
    TCustomWPForm::keyPressEvent(e);
}

void TPinWindow::contextMenuEvent(QContextMenuEvent* e) {
    pressed_ = false;
    if (owner_) owner_->PopupPinMenu(this, e->globalPos());
}

void TPinWindow::closeEvent(QCloseEvent* e) {
    e->accept();
    if (closing_) return;
    closing_ = true;
    if (owner_) owner_->PinClosed(this);
    deleteLater();
}
