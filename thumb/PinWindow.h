// A capture pinned to the screen: a frameless window that stays on top of the others and shows the
// capture at full size exactly where it was taken, so that it covers what it shows while the windows
// below it can be moved and used. Dragging moves it, the wheel zooms it (10 % to 800 %) around the
// pointer, Ctrl with the wheel sets its opacity, a double click or Esc closes it and the right button
// opens its owner's menu. Where the desktop places every window itself (Wayland) it is a normal window
// of the capture's size instead.
//
// Geometry is kept in device pixels of the desktop (root-window coordinates): at 100 % every pixel of
// the capture is one device pixel of the screen, whatever the framework's scaling.
#pragma once

#include "DIBmp.h"
#include "WPControl.h"

#include <QPointF>
#include <QRect>
#include <QString>

// Where a pinned picture stands and how large and opaque it shows; device pixels of the desktop.
struct TPinView {
    static constexpr double MinZoom = 0.1, MaxZoom = 8;
    static constexpr double ZoomStep = 1.25; // per wheel notch
    static constexpr double MinOpacity = 0.2, MaxOpacity = 1;
    static constexpr double OpacityStep = 0.1; // per wheel notch

    QSize picture;  // the capture's size
    QPointF origin; // the picture's top-left corner on the desktop
    double zoom = 1;
    double opacity = 1;

    // The picture's rectangle at its zoom, rounded to device pixels and at least 1 x 1.
    QRect Rect() const;
    // The wheel turned by `notches` (positive away from the user: larger) with the pointer at
    // `pointer`: the desktop point under the pointer stays there. A zoom that passes 100 % stops at
    // it, so the exact pixels are always one turn away.
    void ZoomAt(QPointF pointer, double notches);
    // Ctrl with the wheel: more opaque away from the user.
    void ChangeOpacity(double notches);
};

// What a pin shows of its picture on `shown` (device pixels, inside the view's rectangle), drawn into
// `out` (of the picture's bit count, at least shown's size; its top-left is shown's): the picture's
// pixels themselves at 100 %, enlarged as blocks above, averaged below.
void RenderPin(const TDIB& picture, const TPinView& view, const QRect& shown, TDIB& out);

// A window's place in the framework's (logical) pixels covering a device-pixel rectangle at `scale`
// device pixels per logical pixel: the smallest whole-pixel rectangle around it.
QRect LogicalCover(const QRect& device, double scale);

// The capture a pin shows, with what its owner needs to make it the current capture again.
struct TPinnedCapture {
    TDIB captureImage; // 32-bit premultiplied
    TDIB flatImage;    // 24-bit, what the pin shows
    TDIB previewImage;
    QPointF previewOrigin;
    QRect desktopRect; // where it was captured, device pixels of the desktop
    QString title, comment;
};

class TPinWindow;

// What a pin asks of the program.
class IPinOwner {
  public:
    virtual ~IPinOwner() = default;
    virtual void PopupPinMenu(TPinWindow* pin, const QPoint& globalPos) = 0;
    // The pin is closing (it frees itself afterwards).
    virtual void PinClosed(TPinWindow* pin) = 0;
};

// The role of every pin's window (WM_WINDOW_ROLE on X11), which window tools find them by.
inline constexpr char kPinWindowRole[] = "vexmor-pin";

class TPinWindow : public TCustomWPForm {
  public:
    // Holds the capture's images itself (their pixels shared, never written after a capture is made),
    // so the pin outlives the capture it was made from. `placed`: the window stands where it is put
    // (else it is a normal window of the capture's size).
    TPinWindow(const TPinnedCapture& capture, IPinOwner* owner, bool placed);
    ~TPinWindow() override;

    const TPinnedCapture& Capture() const { return capture_; }
    const TDIB& Picture() const { return picture_; }
    const TPinView& View() const { return view_; }
    bool Placed() const { return placed_; }

    // Shows the window over its place, in front, with the keyboard.
    void Open();
    // Device pixels of the desktop per logical pixel of the framework.
    double Scale() const { return scale_; }

    // The handlers, with the pointer in device pixels of the desktop.
    void WheelTurned(double notches, Qt::KeyboardModifiers modifiers, QPointF pointer);
    void DragTo(QPointF pointer);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    // The window follows the view: its place and size, its opacity, a new picture.
    void ApplyView();
    QPointF DevicePointer(QPointF global) const;
    // The part of the view's rectangle that is on the desktop (all of it for a normal window).
    QRect ShownRect() const;

    TPinnedCapture capture_;
    TDIB picture_; // the flat picture, what the window shows
    TDIB surface_; // the shown part at a zoom other than 100 %, of the picture's bit count
    TPinView view_;
    IPinOwner* owner_;
    bool placed_;
    double scale_ = 1;
    QRect shown_;          // device pixels, what the window shows
    QPoint paintOffset_;   // where shown_ starts in the window's device pixels
    bool pressed_ = false; // the left button went down on the picture
    QPointF pressPointer_, pressOrigin_;
    bool closing_ = false;
};
