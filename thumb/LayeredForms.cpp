#include "LayeredForms.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace {

// Progress per millisecond at AnimSpeed 1 (progress 1 is fully gone): showing takes 200 ms, hiding 400.
constexpr float kShowSpeed = 0.005f;
constexpr float kHideSpeed = 0.0025f;

} // namespace

TAnimFrame ComputeAnimFrame(double p, int style, QSize surface, const QMargins& m, QPointF offset) {
    TAnimFrame f;
    if (style < 0 || style > 4) style = 1;
    if (style == 0) {
        f.alphaScale = 256 - int(std::lround(p * 256));
        f.alphaScale = std::clamp(f.alphaScale, 0, 256);
        return f;
    }
    if (p <= 0) return f;
    f.transform = true;
    f.c = int(std::lround(p * 25)) / 3;
    f.d = 2 * f.c + 1;
    f.e = std::max(f.d, 1);
    f.temporary = QSize(surface.width() + 2 * f.e, surface.height() + 2 * f.e);

    const double factor = style == 2 ? (std::pow(501.0, 1 - p) - 1) * 0.002
                                     : (std::pow(2.5, 1 - 2.5 * p) - 1) * 2.0 / 3.0 + 0.5;
    f.alphaScale = std::clamp(int(std::lround(factor * 256)), 0, 256);

    const double g = std::pow(3.0, p / 4);
    if (style <= 2) {
        f.zoom = true;
        f.scale = 1 - (g - 1) * 0.5;
        const double k = 1 / f.scale - 1;
        f.centre = QPointF(surface.width() * 0.5 + f.e + k * ((m.left() + m.right()) * 0.5 - offset.x()),
                           surface.height() * 0.5 + f.e + k * ((m.top() + m.bottom()) * 0.5 - offset.y()));
    } else {
        f.tilt = true;
        const double mm = (g - 1) * 0.25;
        const double top = style == 3 ? 2.25 * mm : mm;
        const double bottom = style == 4 ? 2.25 * mm : mm;
        const double w = f.temporary.width(), h = f.temporary.height(), e = f.e;
        f.sourceQuad = {QPointF(0, 0), QPointF(w, 0), QPointF(w, h), QPointF(0, h)};
        f.destQuad = {QPointF(-e + w * top, -e + h * top), QPointF(w - e - w * top, -e + h * top),
                      QPointF(w - e - w * bottom, h - e - h * bottom),
                      QPointF(-e + w * bottom, h - e - h * bottom)};
    }
    return f;
}

void RenderAnimFrame(TDIB& surface, TDIB& scratch, const TAnimFrame& f) {
    if (!f.transform || surface.Empty() || surface.BitCount() != 32) return;
    const QRect whole(0, 0, surface.Width(), surface.Height());
    const QRect temp(QPoint(0, 0), f.temporary);
    if (!scratch.MemoryImage() || scratch.BitCount() != 32) scratch = TDIB(1, 1, 32, true);
    scratch.SetSize(temp.width(), temp.height(), 32);
    surface.CopyRectBorder(scratch, 0, 0, whole, QMargins(f.e, f.e, f.e, f.e), false);
    if (f.d > 1) scratch.BoxFilter(temp, QSize(f.d, f.d), QPoint(f.c, f.c));
    surface.FillRect(whole, 0, 256);
    if (f.zoom) {
        scratch.ResizeCenter(surface, temp, f.scale, f.scale, f.centre.x(), f.centre.y(),
                             TInterpolation::Linear);
    } else if (f.tilt) {
        scratch.WarpQuad(surface, temp, whole, f.sourceQuad, f.destQuad, TInterpolation::Linear);
    }
}

namespace {
TQuickSharedTimer* animTimer = nullptr;
int animInterval = 24;

void DeleteAnimTimer() {
    delete animTimer;
    animTimer = nullptr;
}
} // namespace

TQuickSharedTimer& TLayeredFormEx::AnimTimer() {
    if (!animTimer) {
        animTimer = new TQuickSharedTimer;
        animTimer->SetInterval(animInterval);
        animTimer->SetNoOverflow(true);
        qAddPostRoutine(DeleteAnimTimer);
    }
    return *animTimer;
}

void TLayeredFormEx::SetAnimInterval(int ms) {
    animInterval = ms;
    if (animTimer) animTimer->SetInterval(ms);
}

TLayeredFormEx::TLayeredFormEx(QWidget* parent) : TLayeredForm(parent), scratch_(1, 1, 32, true) {}

TLayeredFormEx::~TLayeredFormEx() {
    StopDriver();
}

void TLayeredFormEx::StopDriver() {
    if (animTimer) animTimer->Unregister(&TLayeredFormEx::AnimDriver, this);
}

void TLayeredFormEx::AnimDriver(void* form) {
    TQuickSharedTimer& t = AnimTimer();
    static_cast<TLayeredFormEx*>(form)->AnimTick(double(t.Interval()) * (t.MissedTicks() + 1));
}

bool TLayeredFormEx::AcceptsMouse() const {
    return TLayeredForm::AcceptsMouse() && VisibleAnim();
}

void TLayeredFormEx::SetVisibleAnim(bool visible) {
    AnimVelocity = (visible ? -kShowSpeed : kHideSpeed) * AnimSpeed;
    if (visible && !isVisible()) AnimProgress = 1;
    Animating = true;
    if (!OwnAnimDriver) {
        TQuickSharedTimer& t = AnimTimer();
        AnimTick(double(t.Interval()) * (t.MissedTicks() + 1));
        // A first step that already finished the animation needs no driver.
        if (Animating && !t.Register(&TLayeredFormEx::AnimDriver, this)) {
            AnimProgress = 0;
            Animating = false;
            setVisible(visible);
        }
    }
    if (visible && !isVisible()) setVisible(true);
    UpdateExStyle();
}

void TLayeredFormEx::AnimTick(double elapsedMs) {
    if (!Animating) {
        StopDriver();
        return;
    }
    AnimProgress += float(std::max(elapsedMs, 0.0) * AnimVelocity);
    // The direction decides which end finishes: a window that starts showing from 1 is not closed.
    if (AnimVelocity <= 0 && AnimProgress <= 0) {
        AnimProgress = 0;
        StopDriver();
        Animating = false;
        scratch_ = TDIB(1, 1, 32, true);
        UpdateExStyle();
        // The last frame was drawn faded and blurred; the shown window gets its clean picture.
        Invalidate();
    } else if (AnimVelocity > 0 && AnimProgress >= 1) {
        AnimProgress = 1;
        StopDriver();
        Animating = false;
        scratch_ = TDIB(1, 1, 32, true);
        close();
    } else {
        AnimProgress = std::clamp(AnimProgress, 0.0f, 1.0f);
        Invalidate();
    }
}

void TLayeredFormEx::Paint() {
    const double p = AnimProgress;
    const TAnimFrame frame = ComputeAnimFrame(p, AnimStyle, QSize(Surface.Width(), Surface.Height()),
                                              ShadowMargins(), ZoomCentreOffset);
    if (AnimStyle == 0) {
        TLayeredForm::Paint();
        AlphaScale = frame.alphaScale;
        return;
    }
    // Every frame of the animation filters the whole picture, so all of it must be fresh.
    if (p > 0) DirtyRect = QRect(0, 0, Surface.Width(), Surface.Height());
    TLayeredForm::Paint();
    AlphaScale = 256;
    if (p <= 0) return;
    AlphaScale = frame.alphaScale;
    RenderAnimFrame(Surface, scratch_, frame);
}
