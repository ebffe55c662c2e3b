// The capture overlay: a borderless window over the whole virtual desktop showing the frozen desktop,
// on which the user outlines the part to keep (lasso, or a rectangle with Ctrl), draws ink with the right
// button, and magnifies with the zoom keys. A worker thread (TCatchThread) moves the pen and lasso
// outlines after the mouse, fades the help card and animates zoom and pan. Confirming hands three
// images to the owner (the main window) and closes the overlay; Esc cancels.
//
// Coordinates: "client" coordinates are device pixels of the overlay (equal to image coordinates in the
// normal view); "image" coordinates are pixels of DesktopImage; "screen" coordinates are root-window
// device pixels. Everything runs on the GUI thread except TCatchThread, which touches the fields marked
// (L) only under ShapeLock and otherwise reads atomics.
#pragma once

#include "CaptureMode.h"
#include "CaptureOwner.h"
#include "Annotation.h"
#include "CaptureShape.h"
#include "CommonQuickControls.h"
#include "DIBmp.h"
#include "DibOps.h"
#include "Platform.h"
#include "ScreenGrab.h"
#include "ShapeHistory.h"
#include "ToolStrip.h"
#include "WPControl.h"

#include <QPoint>
#include <QPointF>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <optional>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QScreen;
class TAgg2D;
class TAggDashStroke;
class TInputForm;

// The window role of the overlay's windows (WM_WINDOW_ROLE on X11), which window tools and the
// end-to-end scenarios find them by: the title is in the interface language.
inline constexpr char kOverlayWindowRole[] = "vexmor-overlay";

// The open capture overlay, or null when none is open.
inline TInputForm* InputForm = nullptr;

// Where the overlays' sounds go when set (tests record them); otherwise the program's sound player.
inline std::function<void(const QString& name, unsigned flags)> OverlaySoundHook;
// Where a failed grab is told when set (tests record it); otherwise a message box.
inline std::function<void(const QString& text)> CaptureFailedHook;
// Unset, StartCapture makes the overlay without its worker (tests step it themselves).
inline bool OverlayWorkerRuns = true;

// Starts a capture in the given mode for the owner, unless one is already open. With `pin` its
// confirmation pins the capture to the screen.
void StartCapture(TCaptureMode mode, ICaptureOwner* owner, bool pin = false);

class TCatchThread : public QThread {
  public:
    explicit TCatchThread(TInputForm* form) : form_(form) {}
    // Asks the worker to end and waits for it: afterwards everything it did is seen by the caller.
    void Stop();

  protected:
    void run() override;

  private:
    TInputForm* form_;
    std::atomic<bool> finished_{false};
};

// The overlay's paint surface: reports mouse events and the area each paint is asked for.
class TCapBox : public TQuickPaintBox {
  public:
    using TQuickPaintBox::TQuickPaintBox;
    QRect PaintRect() const { return paintRect_; } // widget (logical) coordinates

    std::function<void(QMouseEvent*, bool doubleClick)> OnMouseDown;
    std::function<void(QMouseEvent*)> OnMouseMove;
    std::function<void(QMouseEvent*)> OnMouseUp;

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    QRect paintRect_;
};

// PickRect's "none" value.
inline constexpr int32_t NoPick = 2147483647;

struct TPickRect {
    int32_t x1 = NoPick, y1 = NoPick, x2 = NoPick, y2 = NoPick;
    bool None() const { return x1 == NoPick && y1 == NoPick && x2 == NoPick && y2 == NoPick; }
    bool Degenerate() const { return x1 == x2 && y1 == y2; }
    // left = min, right = max + 1 (and likewise vertically).
    QRect Normalised() const;
    bool operator==(const TPickRect&) const = default;
};

// Drag modes of the mouse.
enum TDragMode : int32_t {
    dmIdle = 0,
    dmSelection = 1,
    dmInk = -1,
    dmMove = -2, // an annotation dragged with the middle button
    dmPan = -10,
    dmPick = -11,
    dmCancelArmed = -100,
};

class TInputForm : public TWPForm {
  public:
    // Takes the frozen desktop. The worker starts at once unless startWorker is false (tests then drive
    // it with CatchStep).
    TInputForm(TDesktopGrab grab, ICaptureOwner* owner, bool startWorker = true);
    ~TInputForm() override;

    // Places the window over the virtual desktop, shows it on top of everything and takes the focus.
    void ShowOverlay();

    // --- handlers (client coordinates in device pixels) ------------------------------------------
    void CapBoxMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y,
                         bool doubleClick = false);
    void CapBoxMouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void CapBoxMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    // text: what the key types (the text box takes it).
    void FormKeyDown(int key, Qt::KeyboardModifiers shift, const QString& text = {});
    void FormMouseWheel(int delta, Qt::KeyboardModifiers shift);
    void FormDeactivate();
    void CapBoxPaint();
    // Where the compositor places every window itself (Wayland), one full-screen window per monitor
    // shows that monitor's part of the overlay, the form's own window among them: every one shows and
    // drives the same capture. Client coordinates stay those of the whole desktop.
    struct TOverlayView {
        TCapBox* box = nullptr;
        QWidget* window = nullptr; // the window of its own; null for the form's box
        QPoint origin;             // the box's top-left corner in client coordinates
        double scale = 1;          // device pixels per logical pixel of its screen
        QRect logical;             // its screen in the framework's (logical) coordinates
    };
    const std::vector<TOverlayView>& Views() const { return views_; }
    // The animation timer of the overlay's form: kept disabled, its tick has nothing to do (the worker
    // drives every animation); the finish step disables it again.
    void AnimTimerTimer() {}
    QTimer AnimTimer;

    // Confirms: composes the three images, hands them to the owner and closes. Does nothing while the
    // owner still holds a capture. With `pin` (or PinOnConfirm) the owner pins the capture to the
    // screen instead of its after-capture handling.
    void FinishCapture(bool pin = false);
    bool PinOnConfirm = false;
    // A text capture: confirming hands the selection over for recognition (a click takes the monitor
    // under the pointer), and a capture the owner holds stays. The O key turns a capture into one.
    bool TextOnConfirm = false;
    void TurnIntoTextCapture();
    // Cancels (or ends after confirming): frees the frozen desktop, plays the click, and the window
    // goes (deleted from the event loop).
    void FormClose();
    bool Closed() const { return closed_; }

    void SetZoom(double zoom, bool centreCursor);
    // The centre of the monitor nearest to a screen point (the whole desktop when none is known).
    QPoint NearestMonitorCentre(const QPoint& screen) const;
    // The monitor nearest to a screen point, in screen coordinates (the whole desktop when none is known).
    QRect NearestMonitor(const QPoint& screen) const;
    void UpdatePickedColor();
    void MovePickRect(int dx1, int dy1, int dx2, int dy2);
    // Takes back the latest change to the annotations (the latest shape, move or deletion), if any;
    // RedoInk does it again.
    void UndoInk();
    void RedoInk();
    // Ctrl+R: the selection of the last capture becomes the selection again (nothing without one).
    void RestoreLastRegion();
    // Whether a confirmed selection is remembered for the next "last region" (not for a picture opened
    // for editing, whose places are not the desktop's).
    bool RemembersRegion = true;

    // --- annotation tools ------------------------------------------------------------------------------
    void SetTool(TToolKind tool);
    void SetColour(int index);
    // The topmost annotation under a client point (normal view), or -1.
    int AnnotationAt(int x, int y);
    void DeleteAnnotationAt(int x, int y);
    // Ends the open text box: its text stays, an empty box goes.
    void CloseTextBox();
    bool TextBoxOpen() const { return TextShape >= 0; }
    // Puts the strip at the top of the monitor the pointer is on.
    void PlaceStrip();

    // One cycle of the worker loop (the worker calls it every 10 ms).
    void CatchStep();
    void StopWorker();
    // At the magnifier's start: picks the pixel under the pointer.
    void PickUnderPointer();
    bool WorkerRunning() const;

    // The mapping of the zoomed view, from the values of the last paint.
    QPoint ImageFromClient(int x, int y) const;
    QPoint ClientFromImage(int x, int y) const;
    // An area of image pixels in client pixels (exclusive right and bottom, as the pick display takes it).
    QRect ClientFromImage(const QRect& image) const;
    // Takes the view values for a paint (also for tests that drive the handlers without painting).
    void TakePaintView();
    // Until this returns, a grab handed over as rows (see GrabDesktop) may still be narrowed into
    // DesktopImage on a thread of its own; the overlay's first paint shows the rows meanwhile.
    void WaitForDesktop();
    bool DesktopPending() const { return bool(pending_.rows); }
    bool ZoomedView() const { return TargetZoom > 1 || MagnifierMode; }

    // --- the frozen desktop -------------------------------------------------------------------------
    QRect DesktopBounds;  // screen coordinates
    TDIB DesktopImage;    // 24-bit
    QRect GrabbedRect;    // image coordinates
    QPoint ScreenToImage; // added to a screen point to get image coordinates

    // --- overlay state ---------------------------------------------------------------------------------
    // The drag under way, or dmIdle.
    TDragMode DragMode() const;
    std::mutex ShapeLock;
    QRect HelpCardRect;
    std::atomic<int32_t> HelpCardAlpha{255};
    std::atomic<int32_t> HelpCardFade{-1};
    TDIB OverlayBuffer;               // 32-bit premultiplied, the layer over the desktop
    TDIBmp HelpCard;                  // 183 x 224, 32-bit with alpha; drawn when set
    std::vector<CaptureShape> Shapes; // (L) element 0 is the selection
    int32_t ActiveShape = -1;         // (L)
    std::atomic<float> PenWidth{6};   // read by the worker for its repaint margins
    double ViewZoom = 1;              // (L)
    double TargetZoom = 1;            // (L) written on the GUI thread only
    double PaintZoom = 0;
    QPointF ViewOffset;   // (L)
    QPointF TargetOffset; // (L)
    QPointF PaintOffset;
    TPickRect PickRect;
    uint32_t PickedColor = 0xFF5040; // 0x00BBGGRR
    QRect LastAveraged{NoPick, NoPick, 0, 0};
    std::atomic<int32_t> TickCount{0};
    bool MagnifierMode = false;
    QPointF PreviewOrigin;                   // where the thumbnail's flight starts, set by FinishCapture
    TToolKind CurrentTool = LastOverlayTool; // what the right button draws
    int CurrentColour = LastOverlayColour;   // 1..PaletteSize
    TToolStrip Strip;
    int TextShape = -1; // the shape whose text box is open
    QString Preedit;    // what the input method composes there, not yet typed

    // --- services, replaceable by tests ---------------------------------------------------------------
    // The pointer in screen coordinates; false when it cannot be read.
    std::function<bool(QPoint& screen)> GetCursorPos;
    std::function<void(const QPoint& screen)> SetCursorPos;
    std::function<void(const QString& name, unsigned flags)> PlaySound;
    // The pointer in screen device pixels, exact under the framework's scaling (which rounds event
    // positions to logical pixels); used only when that scaling is in force.
    std::function<bool(QPoint& screen)> PointerPos;
    // The desktop's monitors in screen coordinates.
    std::function<QList<QRect>()> Monitors;

    // The last pointer position seen, image coordinates (read by the worker).
    void SetPointer(int imageX, int imageY);
    TCapBox* CapBox() const { return capBox_; }

  protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void wheelEvent(QWheelEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    friend class TCatchThread;
    friend void StartCapture(TCaptureMode mode, ICaptureOwner* owner, bool pin);
    // A press in the zoomed view: interpolation, zoom out (or arm the magnifier's cancel), pan or pick.
    void ZoomedMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y, bool doubleClick);
    // A press in the normal view starts the selection (rectangle or lasso) or a new ink stroke.
    void StartShape(bool ink, bool rectangle, int x, int y);
    // The drags, one class each (OverlayDrags.h), and the one under way.
    class TDrag;
    class TSelectionDrag;
    class TAnnotationDrag;
    class TMoveDrag;
    class TPanDrag;
    class TPickDrag;
    class TCancelDrag;
    std::unique_ptr<TDrag> drag_;
    // A middle press on an annotation starts dragging it.
    void StartMove(int x, int y);
    // The active shape (the selection's or an annotation's) follows the pointer in the normal view.
    void ActiveShapeFollows(Qt::KeyboardModifiers shift, int x, int y);
    // What repaints when a shape changes: itself, and for a redaction the others it borders (their blocks
    // come from around them). Under ShapeLock.
    QRect ChangedArea(const CaptureShape& s) const;
    // A rectangle's opposite corner follows the pointer (the selection's, the pen's); returns the area
    // to repaint. Under ShapeLock.
    QRect RectangleFollows(CaptureShape& s, int x, int y);
    // Grows the active annotation (not the pen's) after the pointer. Under ShapeLock.
    QRect GrowAnnotation(CaptureShape& s, int x, int y, bool constrain);
    // Sets an annotation's repaint bounds from its tool (the caret included for the open text box).
    void UpdateBounds(CaptureShape& s, size_t index);
    void OpenTextBox(size_t index);
    // A key while the text box is open.
    void TextKey(int key, Qt::KeyboardModifiers shift, const QString& text);
    void TextChanged(const std::function<void(QString&)>& edit);
    // The keys of the tools, colours, deletion, undo and redo; false for any other key.
    bool AnnotationKey(int key, Qt::KeyboardModifiers shift);
    void WidenActiveShape(float width);
    // Drops the shape a drag left empty (a click with a tool that needs a drag).
    void DropEmptyShape();
    void SetUpLayer();
    void SetUpCapBox();
    void SetUpServices();
    void StartHelpCardFade();
    // Keypad 7, 9, 1, 3 put the pick's corner of that side on the pixel under the pointer.
    void MovePickCornerToPointer(int key);
    void InvalidateClient(const QRect& r); // GUI thread
    void PostInvalidate(const QRect& r);   // any thread
    void FlushInvalid();
    QPoint ClientFromScreen(const QPoint& s) const { return s - DesktopBounds.topLeft(); }
    QPoint ClientFromEvent(const QPointF& logical, int view = -1);
    void ConnectCapBox(TCapBox* box, int view);
    // The two ways of showing: one window over the whole desktop, or one on each monitor.
    void ShowOverDesktop();
    void ShowOnEveryMonitor();
    std::vector<std::pair<QScreen*, QRect>> ScreensOnMonitors() const;
    void PaintView(size_t view);
    // One paint of a box showing the client pixels from origin on, at scale_.
    void PaintBox(TCapBox* box, QPoint origin);
    // The pointer's position as the framework gives it (logical), in screen device pixels.
    QPoint ScreenFromGlobal(const QPoint& global) const;
    void ApplyCursorShape();
    // The normal view: what its layer draws, copied from the shapes under the lock; the part of a paint's
    // clip with something drawn on the layer (strokes wholly outside it are dropped from the copy); that
    // part of the layer drawn; the frame composed where the paint goes (the window's surface itself where
    // it can, else scratch, then shown).
    struct TShapeSnapshot {
        CaptureShape selection;        // kind and points only
        std::vector<CaptureShape> ink; // from element 1, as in Shapes
        std::vector<QRect> covered;    // every redaction box
        int helpCardAlpha = 0;
        int textShape = -1; // the open text box (its input method's text shown in it)
    };
    void PaintNormal(QPainter& p, QRect clip);
    TShapeSnapshot SnapshotShapes();
    QRect DrawnArea(TShapeSnapshot& shot, const QRect& clip) const;
    void DrawLayer(const TShapeSnapshot& shot, const QRect& drawn);
    void DrawSelection(const CaptureShape& selection, const QRect& drawn);
    DibOps::View PaintTarget(QPainter& p, const QRect& clip, TDIB& scratch, QPoint& at) const;
    // After the first paint: the narrowing of the grabbed rows and the start's sound set off.
    void FirstFrameOut();
    void DrawBackdrop();
    void NormalBackdropPatch(QList<TBackdropPatch>& patches);
    void PickDisplayPatches(QList<TBackdropPatch>& patches);
    void PaintZoomed(QPainter& p, const TCapBox* box, QPoint origin);
    // What paints show of the desktop: the grabbed rows (32 bits) while they are not yet narrowed into
    // the picture, then the 24-bit picture (waiting for the narrowing once it has begun).
    DibOps::ConstView ShownDesktop();
    void ShowScratch(QPainter& p, TDIB& scratch, const QRect& clientRect);
    QImage* DirectSurface(QPainter& p, QPoint& deviceOrigin) const;
    void StartFilling();

    TShapeHistory history_;
    QRect caret_; // the open text box's caret, client coordinates
    ICaptureOwner* owner_;
    TCapBox* capBox_ = nullptr;
    std::unique_ptr<TAgg2D> Painter;
    TDIB ZoomShown; // the zoomed view's frame (32-bit) when not drawn in place
    // The zoomed view's scratch images, grown as needed: the desktop part in view, its magnified rows,
    // the read-out panel.
    TDIB ZoomScratch, ZoomRows, ZoomPanel;
    std::unique_ptr<TAgg2D> ReadoutPainter; // the zoomed view's read-out text, made on first use
    std::unique_ptr<TAggDashStroke> OutlineStroke;
    std::unique_ptr<TCatchThread> CatchThread;
    std::atomic<uint64_t> pointer_{0};
    std::atomic<bool> holdView_{false}; // the worker leaves zoom and pan alone until the overlay is shown
    std::mutex invalidLock_;
    QRect invalid_;
    bool invalidPosted_ = false;
    std::vector<TOverlayView> views_; // one per monitor where windows cannot be placed, else empty
    double scale_ = 1;                // device pixels per logical pixel (of the view being painted)
    double eventTolerance_ = 0.5;     // how far (logical pixels) an event position may be from the exact one
    bool closed_ = false;
    bool finishing_ = false;
    bool wasActive_ = false;
    QMetaObject::Connection appStateHook_;
    std::optional<std::chrono::steady_clock::time_point> requested_;
    bool firstPaintDone_ = false;
    bool backdropDrawn_ = false; // the X server draws the first frame too
    // The start's sounds wait for the first frame: the first sound of a run loads the sound output,
    // which must not hold the frozen desktop back.
    void ReleaseHeldSounds();
    bool holdSounds_ = false;
    std::vector<std::pair<QString, unsigned>> heldSounds_;
    TDesktopGrab pending_;                // a grab whose rows are still being narrowed
    std::thread filler_;                  // narrows them
    std::atomic<bool> filled_{false};     // the filler is done with DesktopImage
    std::optional<QPointF> exactLogical_; // the last event whose exact device position was seen
    QPoint exactClient_;
};
