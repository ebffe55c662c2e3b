// The floating thumbnail card of the current capture.
//
// While the main window shows a capture, the card flies out of the captured area to the side of the
// monitor away from the main window, rocks gently and fades with the main window. Pulling it past
// the drag distance drags the capture out as a file (see DragOut.h): the card shrinks, becomes
// click-through and hangs below the pointer as the drag image; the main window steps aside until the
// drag ends. The right button opens the main window's thumbnail menu.
//
// The card talks to the main window only through IThumbOwner, so it can be tested with a fake.
// Its own 16 ms timer drives both the motion and the show/hide fade.
#pragma once

#include "DragOut.h"
#include "LayeredForms.h"
#include "QuickTimers.h"
#include "ThumbMotion.h"

#include <QPixmap>
#include <QPointF>
#include <QPointer>

#include <functional>

class QDrag;

// What the card needs from the main window.
class IThumbOwner {
  public:
    virtual ~IThumbOwner() = default;
    virtual bool OwnerVisible() const = 0;
    // The main window's bounds on the screen (kept while it is hidden).
    virtual QRect OwnerBounds() const = 0;
    // A press on the card brings the shown main window to the front.
    virtual void BringOwnerForward() = 0;
    virtual void PopupThumbMenu(const QPoint& globalPos) = 0;
    // The drag-out: the main window hides without fading the card out, and afterwards comes back
    // in front (fading the card in again).
    virtual void HideForDragOut() = 0;
    virtual void ShowAfterDragOut() = 0;
    // A free work-file path named after the capture, in the format the main window has selected.
    virtual QString DragFileName() = 0;
    // Starts making the file's bytes for the drag that begins, on a worker thread; none when the
    // file is only made at the drop.
    virtual std::unique_ptr<TPreparedFile> PrepareDragFile() { return nullptr; }
    // Writes the capture to `path` in that format without replacing anything: the bytes made ahead
    // when `prepared` has them and they still show the capture as it would be saved now, else a save
    // afresh. The path written, or empty when it failed (the error box is the owner's; it may appear
    // after the call returns).
    virtual QString SaveDragFile(const QString& path, TPreparedFile* prepared) = 0;
};

// An owner made of functions, for a window that does not derive from IThumbOwner.
class TFunctionThumbOwner : public IThumbOwner {
  public:
    std::function<bool()> visible;
    std::function<QRect()> bounds;
    std::function<void()> bringForward, hideForDragOut, showAfterDragOut;
    std::function<void(const QPoint&)> popupMenu;
    std::function<QString()> dragFileName;
    std::function<std::unique_ptr<TPreparedFile>()> prepareDragFile;
    std::function<QString(const QString&, TPreparedFile*)> saveDragFile;

    bool OwnerVisible() const override { return visible && visible(); }
    QRect OwnerBounds() const override { return bounds ? bounds() : QRect(); }
    void BringOwnerForward() override {
        if (bringForward) bringForward();
    }
    void PopupThumbMenu(const QPoint& p) override {
        if (popupMenu) popupMenu(p);
    }
    void HideForDragOut() override {
        if (hideForDragOut) hideForDragOut();
    }
    void ShowAfterDragOut() override {
        if (showAfterDragOut) showAfterDragOut();
    }
    QString DragFileName() override { return dragFileName ? dragFileName() : QString(); }
    std::unique_ptr<TPreparedFile> PrepareDragFile() override {
        return prepareDragFile ? prepareDragFile() : nullptr;
    }
    QString SaveDragFile(const QString& path, TPreparedFile* prepared) override {
        return saveDragFile ? saveDragFile(path, prepared) : QString();
    }
};

// The drop handler: writes the capture under the drag's file name (or the next free "_N" name when
// a file of that name appeared during the drag) and registers it with the recently used files.
// Returns the path written, empty when nothing was written.
QString DragSourceDrop(IThumbOwner& owner, const QString& dragFileName, TPreparedFile* prepared = nullptr);

// The steps of a drag-out that every source of one shares (the card, and the main window's preview
// where the card cannot fly): only one drag-out runs at a time in the process; the offered path is
// fixed and the file's bytes start being made when it begins; an accepted drop's request writes the
// file through DragSourceDrop; the drag loop's outcome decides whether a request may write at all.
class TDragOutRun {
  public:
    // Takes the process's one drag-out; false (see operator bool) while another runs.
    TDragOutRun();
    ~TDragOutRun();
    TDragOutRun(const TDragOutRun&) = delete;
    TDragOutRun& operator=(const TDragOutRun&) = delete;
    explicit operator bool() const { return mine_; }

    // The data of the drag that begins: the owner's drag file name offered, its bytes started on the
    // worker. `previous`, the last data of the same source, lets go of bytes that its target accepted
    // but never asked for. The drop's writer holds only the owner, which must outlive the data. The
    // data goes to the drag loop, which owns it.
    TDragFileData* MakeData(IThumbOwner& owner, TDragFileData* previous);
    // The drag loop ended with `action` (copy or move take the drop, anything else refuses it) and
    // lets go of the process's drag-out. The data may have been freed meanwhile.
    void Ended(Qt::DropAction action);

  private:
    bool mine_ = false;
    QPointer<TDragFileData> data_;
};

// The drag loop of a drag-out, allowing copy and move: modal until the button is released or the
// drag is cancelled. The drag takes the data and frees itself once its target is done with it.
// `icon`, when given, hangs at the pointer as the drag's picture.
Qt::DropAction ExecDragOut(TDragFileData* data, const QPixmap& icon = {});

// Multiplies every pixel's channels by b/256, g/256, r/256, a/256, truncating (32-bit images).
void MultiplyChannels(TDIB& image, const QRect& rect, int b, int g, int r, int a);

class TThumbForm;
// The current thumbnail card, or null.
inline TThumbForm* ThumbForm = nullptr;

class TThumbForm : public TLayeredFormEx {
  public:
    // Takes the picture (ownership moves: the caller's reference may be cleared). `owner` outlives
    // the card. The card is made visible at once by Create; the constructor alone shows nothing.
    TThumbForm(IThumbOwner* owner, const TDIB& previewImage, QPointF previewOrigin);
    ~TThumbForm() override;

    // Makes the current card (ThumbForm) and shows it.
    static TThumbForm* Create(IThumbOwner* owner, const TDIB& previewImage, QPointF previewOrigin);
    // Ends the current card: it stops being ThumbForm at once, fades out and frees itself (a hidden
    // card is freed at once). A new card can be made immediately.
    static void Discard();
    // Frees every card at once, the current one and any still fading out, for an owner that goes: a
    // fading card still asks its owner where to be.
    static void DeleteAll();

    TDIB PreviewImage;
    TDIB SmallPicture; // a quarter of the picture, made at the first drag
    TQuad SourceQuad{};
    TQuad SmallSourceQuad{};
    TThumbMotion Motion;
    TQuickTimer AnimTimer;

    // One tick of `periods` timer periods, as AnimTimerTimer runs it.
    void Tick(int periods);
    // The surroundings read by the tick (the pointer, the main window, the drag state).
    virtual TThumbInputs ReadInputs() const;
    bool Dragging() const { return dragging_; }
    // The drag's offered path while the drag runs; empty at other times.
    QString DragFileName() const { return dragFileName_; }
    // The data of the last drag (kept alive by the drag until its target is done with it).
    TDragFileData* LastDragData() const { return lastData_; }

    void MakeSmallPicture();
    // Starts the drag-out (the threshold was passed). A second drag while one runs does nothing.
    void StartDragOut();

    int HitZone(int x, int y) override;

  protected:
    // Runs the drag loop (modal until the button is released or the drag is cancelled) with the
    // data; the drag takes ownership. Returns the action the target accepted.
    virtual Qt::DropAction RunDrag(TDragFileData* data);

    void FormPaint();
    void AnimTimerTimer();

    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

  private:
    IThumbOwner* owner_;
    bool dragging_ = false;
    QString dragFileName_;
    QPointer<TDragFileData> lastData_;
};
