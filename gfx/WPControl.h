// The form family of the program's two special windows.
//
// TCustomWPForm is a top-level window that never erases its background, keeps itself on the
// screen, can be made click-through and can be shown without taking the focus. TWPForm adds a
// background: the plain form colour or a tiled wallpaper image. TLayeredForm is a per-pixel-alpha
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

enum TWPControlOption {
    wpPlainBackground = 0x1,
    wpNoFlickerSizing = 0x2,
    wpInactiveBlending = 0x4,
};
using TWPControlOptions = int;

class TCustomWPForm : public QWidget {
  public:
    explicit TCustomWPForm(QWidget* parent = nullptr);

    TWPControlOptions Options = wpPlainBackground;
    bool Captionized = false;
    bool Maximized() const { return isMaximized(); }

    // False makes the window click-through.
    virtual bool AcceptsMouse() const { return acceptsMouse_; }
    void SetAcceptsMouse(bool on);
    // Shown without activation; clicks do not activate it. Takes effect before the first show.
    bool NoActivate() const { return noActivate_; }
    void SetNoActivate(bool on);

    QMargins FrameMargins; // non-client margins of a skinned frame; 0 here
    QSize MaxSize{30000, 30000};
    QSize SizeGrid{1, 1};
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

// One placed piece of a wallpaper: the source part of the image and where it lands.
struct TWallPaperTile {
    QPoint dest;
    QRect source;
    bool operator==(const TWallPaperTile&) const = default;
};

// A background image tiled from an origin. With edges set, the first column and row show the
// image's left and top bands, inner tiles repeat the middle part and the last column and row show
// the right and bottom bands, so that a frame image stretches over any size by repetition.
// The edges are positions inside the image: left and right bound the middle columns, top and
// bottom the middle rows.
class TWallPaper {
  public:
    const TDIB* Image = nullptr; // not owned
    QPoint Origin;
    int EdgeLeft = 0, EdgeTop = 0, EdgeRight = 0, EdgeBottom = 0;
    bool EdgesSet() const { return EdgeLeft < EdgeRight && EdgeTop < EdgeBottom; }
    void SetEdges(int left, int top, int right, int bottom);

    // The pieces that cover clip on an area of the given size.
    std::vector<TWallPaperTile> Tiles(const QSize& area, const QRect& clip) const;
};

class TWPForm : public TCustomWPForm {
  public:
    explicit TWPForm(QWidget* parent = nullptr);

    QColor Color{Qt::white};
    TDIBmp* Bmp() const { return bmp_; }
    void SetBmp(TDIBmp* bmp); // not owned
    TWallPaper& WallPaper() { return wallPaper_; }

    std::function<void(TWPForm*, QPainter&)> OnPaint;

    // A stay-on-top form becomes a normal window before it is shown modally.
    void ShowModal();

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    TDIBmp* bmp_ = nullptr;
    TWallPaper wallPaper_;
};

// Zones of a layered window that the left button can grab.
enum : int {
    hzNone = 0,
    hzMove = -1,
    hzLeft = 1,
    hzRight = 2,
    hzTop = 3,
    hzTopLeft = 4,
    hzTopRight = 5,
    hzBottom = 6,
    hzBottomLeft = 7,
    hzBottomRight = 8,
};

// The rectangle a resize drag gives: the grabbed edges of `rect` go to `edge` (the mouse point
// less the grab anchor); with `square` a corner keeps the rectangle square; the result is fitted
// to the size grid and the minimum size, the edges opposite the grabbed ones staying put.
QRect ResizeDragRect(const QRect& rect, int zone, QPoint edge, bool square, QSize grid, QSize minimum);

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
    // x, y relative to LayeredRect's top-left.
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
