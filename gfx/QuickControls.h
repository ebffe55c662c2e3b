// Windowless controls that paint themselves quickly: an optional off-screen paint, a paint buffer
// borrowed from the one scratch image, and invalidation of rectangles without erasing.
//
// Qt widgets are windowless ("alien") unless asked otherwise, so these are plain QWidgets; what this
// base adds is the paint plumbing the program's owner-drawn boxes share.
#pragma once

#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>

class QPainter;
class TDIB;

// Quick flags.
enum TQuickFlag : uint8_t {
    qfBuffered = 0x01,         // paint through an off-screen image
    qfParentBackground = 0x02, // with qfBuffered: the parent's own painting goes into it first
    qfCanvasBackground = 0x40, // paint buffers start from the pixels already on the control's surface
    qfDesignHitTest = 0x80,    // answers the form designer's hit test (no effect at run time)
};

class TQuickGraphicControl : public QWidget {
    Q_OBJECT
  public:
    explicit TQuickGraphicControl(QWidget* parent = nullptr);

    uint8_t QuickFlags() const { return quickFlags_; }
    void SetQuickFlags(uint8_t flags);

    // (0, 0, width, height), kept current on every size change.
    const QRect& ClientRect() const { return clientRect_; }

    // The painter of the paint in progress; null outside a paint.
    QPainter* Canvas() const { return canvas_; }

    // The scratch image (24-bit, at least rect's size) holding the background under `rect` (control
    // coordinates). Only valid inside a paint; give it back with EndPaintBuffer.
    TDIB* BeginPaintBuffer(const QRect& rect);
    // Shows the buffer's first rect.size() pixels at rect and returns the scratch image.
    void EndPaintBuffer(const QRect& rect, TDIB* dib);

    // Repaints rect (control coordinates) without erasing; nothing while hidden or without a parent.
    void InvalidateRect(const QRect& rect);

    // Called when the mouse enters or leaves an enabled control.
    std::function<void(TQuickGraphicControl*)> OnMouseEnter;
    std::function<void(TQuickGraphicControl*)> OnMouseLeave;

  protected:
    // Draws the control through Canvas(). The default draws nothing.
    virtual void Paint();

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    // Copies the background under `rect` into `into` at (0, 0): the control's own surface or the
    // parent's painting, as the flags say.
    void GrabBackground(const QRect& rect, TDIB& into, bool fromSurface);

    uint8_t quickFlags_ = 0;
    QRect clientRect_;
    QPainter* canvas_ = nullptr;
};
