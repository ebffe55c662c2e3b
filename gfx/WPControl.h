// The form family of the program's two special windows.
//
// TCustomWPForm is a top-level window that never erases its background, keeps itself on the
// screen, can be made click-through and can be shown without taking the focus. TWPForm adds a
// background in the form colour. TLayeredForm is a per-pixel-alpha
// window: its picture is the premultiplied 32-bit `Surface`, shown with a translucent background
// that a compositor blends over the desktop. Without a compositor nothing blends: the window is
// cut to the surface's pixels that are at least half opaque, which show at full strength, and the
// desktop shows everywhere else; it switches when a compositor starts or stops. `LayeredRect` is
// the visible area; the surface extends beyond it by the shadow margins, which are painted but let
// mouse clicks through to the window below.
#pragma once

#include "DIBmp.h"

#include <QMargins>
#include <QPointF>
#include <QRect>
#include <QWidget>

#include <functional>
#include <vector>

class TCustomWPForm : public QWidget {
  public:
    explicit TCustomWPForm(QWidget* parent = nullptr);

    bool Captionized = false;
    bool Maximized() const { return isMaximized(); }

    // False makes the window click-through.
    virtual bool AcceptsMouse() const { return acceptsMouse_; }
    void SetAcceptsMouse(bool on);
    // Shown without activation; clicks do not activate it. Takes effect before the first show.
    bool NoActivate() const { return noActivate_; }
    void SetNoActivate(bool on);

    QMargins FrameMargins; // non-client margins of a skinned frame; 0 here
    bool ConstrainToDesktop = true;

    // Applies AcceptsMouse (and, in descendants, their own style) to the window.
    virtual void UpdateExStyle();
    // Where a window of this size at (x, y) may go: at least 32 pixels of its width and 16 of its
    // height stay inside the bounding rectangle of all monitors (a child: inside its parent).
    virtual QPoint ConstrainPosition(int x, int y, int height, int width) const;
    // The bounding rectangle of all monitors.
    static QRect DesktopRect();

  protected:
    void showEvent(QShowEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

  private:
    bool acceptsMouse_ = true;
    bool noActivate_ = false;
};

class TWPForm : public TCustomWPForm {
  public:
    explicit TWPForm(QWidget* parent = nullptr);

    QColor Color{Qt::white};

    std::function<void(TWPForm*, QPainter&)> OnPaint;

  protected:
    void paintEvent(QPaintEvent* e) override;
};

// Zones of a layered window that the left button can grab.
enum : int {
    hzNone = 0,
    hzMove = -1,
};

class TLayeredForm : public TCustomWPForm {
  public:
    explicit TLayeredForm(QWidget* parent = nullptr);
    ~TLayeredForm() override;

    TDIBmp Surface; // 32-bit, premultiplied; LayeredRect grown by the margins

    QRect LayeredRect() const { return layeredRect_; }
    // Width and height are at least 1. With push (and AutoUpdate) the window shows the change at
    // once: repainted when its size changed, only moved otherwise.
    void SetLayeredRect(const QRect& rect, bool push = true);
    QMargins ShadowMargins() const { return shadowMargins_; }
    void SetShadowMargins(const QMargins& margins);
    QMargins HitInsets;
    QSize MinimumSize{0, 0};

    int AlphaValue() const { return alphaValue_; }
    void SetAlphaValue(int alpha); // 0..255
    int AlphaScale = 256;          // 0..256, set by the animation
    // The constant alpha the window is shown with.
    int ConstantAlpha() const { return (alphaValue_ * AlphaScale) >> 8; }
    bool AutoUpdate = true;

    // Surface coordinates still to be repainted before the next push.
    QRect DirtyRect;
    int DragZone() const { return dragZone_; }

    void RepaintAll();
    void InvalidateArea(const QRect& rect);
    void Invalidate();
    // Shows the surface at LayeredRect; nothing while the window is hidden.
    void UpdateLayered();

    void UpdateExStyle() override;
    QPoint ConstrainPosition(int x, int y, int height, int width) const override;
    // x, y relative to LayeredRect's top-left: hzMove inside LayeredRect less the frame margins
    // and hit insets, hzNone elsewhere.
    virtual int HitZone(int x, int y);

    std::function<void(TLayeredForm*)> OnPaint;    // draws into Surface (DirtyRect needs it)
    std::function<void(TLayeredForm*)> OnResizing; // before the surface follows a new size
    std::function<void(TLayeredForm*)> OnResize;   // after the surface changed size, and on grabs

    // Pushes counted since creation (for tests).
    int PushCount() const { return pushCount_; }

    // Surface pixels with at least this alpha show where no compositor blends the window.
    static constexpr int kOpaqueAlpha = 128;
    // A compositor blends the window (asked from memory, cheap).
    static bool CompositorActive();

  protected:
    // Draws the surface; the default calls OnPaint.
    virtual void Paint();
    virtual void Resized();
    void ApplyInputRegion();

    void paintEvent(QPaintEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    bool ResizeSurface();
    // Without a compositor: cuts the window to the surface's opaque pixels once they have changed.
    void ApplyVisibleRegion();
    void CompositorChanged(bool active);
    QRect WindowRect() const { return layeredRect_.marginsAdded(shadowMargins_); }
    void FollowWindowGeometry();

    QRect layeredRect_{32, 32, 32, 32};
    QMargins shadowMargins_;
    int alphaValue_ = 255;
    int dragZone_ = hzNone;
    QPoint dragAnchor_;
    int pushCount_ = 0;
    bool applyingGeometry_ = false;
    // The cut: the bands last sent and the window they were sent to, and the list being made (both
    // keep their memory, so a tick allocates nothing).
    std::vector<QRect> bands_, sentBands_;
    quintptr shapedWindow_ = 0;
    bool shapeStale_ = true; // the surface was painted since the bands were made
};
