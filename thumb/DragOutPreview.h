// The capture's picture as a control inside a window, for desktops where the thumbnail card cannot
// fly to its place (a Wayland compositor puts every window where it chooses).
//
// It shows the picture the card would show, scaled down to fit the control with its aspect kept
// (never enlarged), centred. It is the same drag source as the card: pressing on the picture and
// moving past the system's drag distance drags the capture out with the card's data (DragOut.h: the
// same formats and file name, the file written only when an accepting target asks after the
// release) through the same steps (TDragOutRun). Unlike the card's drag, the window around it stays
// where it is: it is the drag's source, and nothing has to step aside for the target.
#pragma once

#include "DIBmp.h"
#include "Thumb.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class TDragOutPreview : public QWidget {
  public:
    // `owner` outlives the control and every drag started from it.
    explicit TDragOutPreview(IThumbOwner* owner, QWidget* parent = nullptr);
    ~TDragOutPreview() override;

    // Shows this picture (shared, not copied); an empty one shows nothing and starts no drag.
    void SetPicture(const TDIB& picture);
    const TDIB& Picture() const { return picture_; }
    // The capture is gone: no picture, and the bytes made for the last drag are no longer made.
    void Clear();
    // Where the picture is drawn, in control coordinates; empty without a picture.
    QRect PictureRect() const;

    // Starts the drag-out (the threshold was passed). Nothing without a picture or while another
    // drag-out runs.
    void StartDragOut();
    bool Dragging() const { return dragging_; }
    // The data of the last drag (kept alive by the drag until its target is done with it).
    TDragFileData* LastDragData() const { return lastData_; }

    // Runs the drag loop in place of the system's (tests play the target there): it takes the data
    // and returns the action the target accepted. None: the system's drag loop.
    using TDragLoop = std::function<Qt::DropAction(TDragFileData* data)>;
    void SetDragLoop(TDragLoop loop) { dragLoop_ = std::move(loop); }

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    // The picture at PictureRect's size, made again when that size changes.
    const TDIB& Scaled();
    Qt::DropAction RunDrag(TDragFileData* data);

    IThumbOwner* owner_;
    TDIB picture_;
    TDIB scaled_;
    bool dragging_ = false;
    QPointer<TDragFileData> lastData_;
    TDragLoop dragLoop_;
};
