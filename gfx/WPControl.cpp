#include "WPControl.h"

#include "Platform.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScreen>
#include <QWindow>

#include <algorithm>

// --- TCustomWPForm ---------------------------------------------------------------------------

TCustomWPForm::TCustomWPForm(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    // The forms paint every pixel themselves: no background erase before a paint.
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TCustomWPForm::SetAcceptsMouse(bool on) {
    acceptsMouse_ = on;
    UpdateExStyle();
}

void TCustomWPForm::SetNoActivate(bool on) {
    noActivate_ = on;
    setAttribute(Qt::WA_ShowWithoutActivating, on);
    if (!testAttribute(Qt::WA_WState_Created)) setWindowFlag(Qt::WindowDoesNotAcceptFocus, on);
}

void TCustomWPForm::UpdateExStyle() {
    const bool through = !AcceptsMouse();
    if (windowFlags().testFlag(Qt::WindowTransparentForInput) == through) return;
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowTransparentForInput, through);
    if (QWindow* w = windowHandle()) {
        // Changing the widget's flags would re-create (and hide) the window; the native window
        // takes the flag at once.
        overrideWindowFlags(flags);
        w->setFlag(Qt::WindowTransparentForInput, through);
    } else {
        setWindowFlags(flags);
    }
}

QRect TCustomWPForm::DesktopRect() {
    if (const QRect r = Platform().display->DesktopBounds(); !r.isEmpty()) return r;
    if (QScreen* s = QGuiApplication::primaryScreen()) return s->virtualGeometry();
    return QRect(0, 0, 1, 1);
}

static int Clamp(int v, int lo, int hi) {
    return std::max(lo, std::min(v, hi));
}

QPoint TCustomWPForm::ConstrainPosition(int x, int y, int height, int width) const {
    if (!ConstrainToDesktop) return QPoint(x, y);
    if (width <= 0) width = this->width();
    if (height <= 0) height = this->height();
    const QRect d = isWindow() || !parentWidget() ? DesktopRect() : parentWidget()->rect();
    return QPoint(Clamp(x, d.left() - width + 32, d.left() + d.width() - 32),
                  Clamp(y, d.top() - 16, d.top() + d.height() - 16));
}

void TCustomWPForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    UpdateExStyle();
}

void TCustomWPForm::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (!isVisible()) return;
    const QPoint p = ConstrainPosition(x(), y(), height(), width());
    if (p != pos()) move(p);
}

// --- TWPForm ---------------------------------------------------------------------------------

TWPForm::TWPForm(QWidget* parent) : TCustomWPForm(parent) {}

void TWPForm::paintEvent(QPaintEvent* e) {
    QPainter painter(this);
    painter.fillRect(e->rect(), Color);
    if (OnPaint) OnPaint(this, painter);
}

// --- TLayeredForm ----------------------------------------------------------------------------

namespace {
// The layered windows that exist, told when a compositor starts or stops.
std::vector<TLayeredForm*>& LayeredForms() {
    static std::vector<TLayeredForm*> forms;
    return forms;
}
} // namespace

TLayeredForm::TLayeredForm(QWidget* parent) : TCustomWPForm(parent) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::Tool | Qt::NoDropShadowWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    SetNoActivate(true);
    setMouseTracking(true);
    Surface.SetSize(1, 1, 32);
    SetLayeredRect(layeredRect_, false);
    LayeredForms().push_back(this);
    Platform().windowShape->SetCompositorHandler([](bool active) {
        for (TLayeredForm* form : LayeredForms())
            form->CompositorChanged(active);
    });
}

TLayeredForm::~TLayeredForm() {
    std::erase(LayeredForms(), this);
}

bool TLayeredForm::CompositorActive() {
    return Platform().windowShape->CompositorActive();
}

void TLayeredForm::ApplyVisibleRegion() {
    if (!shapeStale_ || !testAttribute(Qt::WA_WState_Created)) return;
    IWindowShape* shape = Platform().windowShape.get();
    shapeStale_ = false;
    Surface.AlphaBands(bands_, kOpaqueAlpha);
    const quintptr window = winId();
    if (window == shapedWindow_ && bands_ == sentBands_) return;
    // The X server exposes what the window no longer covers, and the windows there repaint it.
    shape->SetVisibleRegion(window, bands_);
    std::swap(bands_, sentBands_);
    shapedWindow_ = window;
}

void TLayeredForm::CompositorChanged(bool active) {
    if (!testAttribute(Qt::WA_WState_Created)) return;
    if (active && shapedWindow_ == winId()) {
        Platform().windowShape->RestoreWindowRegion(shapedWindow_);
    }
    shapedWindow_ = 0;
    shapeStale_ = true;
    // Shown afresh: blended and whole, or cut and at full strength.
    update();
}

bool TLayeredForm::ResizeSurface() {
    if (OnResizing) OnResizing(this);
    const int w =
        std::max(layeredRect_.width(), MinimumSize.width()) + shadowMargins_.left() + shadowMargins_.right();
    const int h = std::max(layeredRect_.height(), MinimumSize.height()) + shadowMargins_.top() +
                  shadowMargins_.bottom();
    if (Surface.Width() == w && Surface.Height() == h && Surface.BitCount() == 32) return false;
    Surface.SetSize(w, h, 32);
    Surface.FillRect(QRect(0, 0, w, h), 0, 256);
    Resized();
    return true;
}

void TLayeredForm::SetLayeredRect(const QRect& rect, bool push) {
    layeredRect_ = QRect(rect.topLeft(), QSize(std::max(rect.width(), 1), std::max(rect.height(), 1)));
    const bool resized = ResizeSurface();
    if (!push || !AutoUpdate) return;
    // A move only shows the surface at the new place; a new size needs a new picture.
    if (resized)
        RepaintAll();
    else
        UpdateLayered();
}

void TLayeredForm::SetShadowMargins(const QMargins& margins) {
    if (margins == shadowMargins_) return;
    shadowMargins_ = QMargins(std::max(margins.left(), 0), std::max(margins.top(), 0),
                              std::max(margins.right(), 0), std::max(margins.bottom(), 0));
    SetLayeredRect(layeredRect_, true);
    ApplyInputRegion();
}

void TLayeredForm::SetAlphaValue(int alpha) {
    alpha = Clamp(alpha, 0, 255);
    if (alpha == alphaValue_) return;
    alphaValue_ = alpha;
    UpdateLayered();
}

void TLayeredForm::Paint() {
    if (OnPaint) OnPaint(this);
}

void TLayeredForm::Resized() {
    if (OnResize) OnResize(this);
}

void TLayeredForm::RepaintAll() {
    DirtyRect = QRect(0, 0, Surface.Width(), Surface.Height());
    Paint();
    shapeStale_ = true;
    UpdateLayered();
    DirtyRect = QRect();
}

void TLayeredForm::InvalidateArea(const QRect& rect) {
    if (!testAttribute(Qt::WA_WState_Created)) return;
    if (DirtyRect.isEmpty())
        DirtyRect = rect;
    else if (!DirtyRect.contains(rect))
        DirtyRect = DirtyRect.united(rect);
    update();
}

void TLayeredForm::Invalidate() {
    InvalidateArea(QRect(0, 0, Surface.Width(), Surface.Height()));
}

void TLayeredForm::UpdateLayered() {
    if (!isVisible()) return;
    const QRect target(layeredRect_.left() - shadowMargins_.left(), layeredRect_.top() - shadowMargins_.top(),
                       Surface.Width(), Surface.Height());
    if (geometry() != target) {
        applyingGeometry_ = true;
        setGeometry(target);
        applyingGeometry_ = false;
    }
    // The cut goes with the new place and picture, ahead of the pixels.
    if (!CompositorActive()) ApplyVisibleRegion();
    ++pushCount_;
    update();
}

void TLayeredForm::paintEvent(QPaintEvent*) {
    if (!DirtyRect.isEmpty()) {
        Paint();
        DirtyRect = QRect();
        shapeStale_ = true;
    }
    const bool blended = CompositorActive();
    if (!blended) ApplyVisibleRegion();
    QPainter painter(this);
    // The backing store starts transparent; Source with a constant opacity gives surface x alpha.
    // Unblended, the cut picture shows at full strength: a fade would only darken it.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setOpacity(blended ? ConstantAlpha() / 255.0 : 1.0);
    const QImage picture = Surface.AsQImage();
    painter.drawImage(QPoint(0, 0), picture);
}

void TLayeredForm::UpdateExStyle() {
    TCustomWPForm::UpdateExStyle();
    ApplyInputRegion();
}

void TLayeredForm::ApplyInputRegion() {
    // While click-through, the whole window ignores the mouse by its own flag.
    if (!testAttribute(Qt::WA_WState_Created) || !AcceptsMouse()) return;
    IWindowShape* shape = Platform().windowShape.get();
    if (shadowMargins_.isNull()) {
        shape->SetInputRegion(winId(), {});
    } else {
        shape->SetInputRegion(
            winId(), {QRect(QPoint(shadowMargins_.left(), shadowMargins_.top()), layeredRect_.size())});
    }
}

void TLayeredForm::showEvent(QShowEvent* e) {
    TCustomWPForm::showEvent(e);
    ApplyInputRegion();
    RepaintAll();
}

void TLayeredForm::FollowWindowGeometry() {
    if (applyingGeometry_ || !isVisible()) return;
    // The window was placed by someone else (the window manager): the visible area follows.
    const QRect r = geometry().marginsRemoved(shadowMargins_);
    if (r != layeredRect_) SetLayeredRect(r, true);
}

void TLayeredForm::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    FollowWindowGeometry();
}

void TLayeredForm::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    FollowWindowGeometry();
    ApplyInputRegion();
}

QPoint TLayeredForm::ConstrainPosition(int x, int y, int height, int width) const {
    if (!ConstrainToDesktop) return QPoint(x, y);
    if (width <= 0) width = layeredRect_.width();
    if (height <= 0) height = layeredRect_.height();
    const QRect d = DesktopRect();
    return QPoint(Clamp(x, d.left() - width + 16, d.left() + d.width() - 16),
                  Clamp(y, d.top() - height + 16, d.top() + d.height() - 16));
}

int TLayeredForm::HitZone(int x, int y) {
    const QRect interior =
        QRect(QPoint(0, 0), layeredRect_.size()).marginsRemoved(FrameMargins).marginsRemoved(HitInsets);
    x -= interior.left();
    y -= interior.top();
    const int w = interior.width(), h = interior.height();
    return x >= 0 && y >= 0 && x < w && y < h ? hzMove : hzNone;
}

void TLayeredForm::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return TCustomWPForm::mousePressEvent(e);
    const QPoint local = e->position().toPoint() - QPoint(shadowMargins_.left(), shadowMargins_.top());
    dragZone_ = HitZone(local.x(), local.y());
    dragAnchor_ = e->globalPosition().toPoint() - layeredRect_.topLeft();
    if (dragZone_ != hzNone) {
        Resized();
        Invalidate();
    }
}

void TLayeredForm::mouseMoveEvent(QMouseEvent* e) {
    if (dragZone_ != hzMove) return;
    const QPoint g = e->globalPosition().toPoint();
    const QRect r = layeredRect_;
    const Qt::KeyboardModifiers mods = e->modifiers();
    const int x = (mods & Qt::AltModifier) ? r.left() : g.x() - dragAnchor_.x();
    const int y = (mods & Qt::ShiftModifier) ? r.top() : g.y() - dragAnchor_.y();
    const QPoint p = ConstrainPosition(x, y, r.height(), r.width());
    SetLayeredRect(QRect(p, r.size()), true);
}

void TLayeredForm::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return TCustomWPForm::mouseReleaseEvent(e);
    dragZone_ = hzNone;
    Resized();
    Invalidate();
}
