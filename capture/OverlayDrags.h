// The overlay's drags, from a press to its release: each knows what the pointer and the release do.
// Private to the overlay's own sources.
#pragma once

#include "Input.h"

class TInputForm::TDrag {
  public:
    explicit TDrag(TInputForm& form) : form(form) {}
    virtual ~TDrag() = default;
    virtual TDragMode Mode() const = 0;
    // Drags of the zoomed view take the pointer there; the others only in the normal view.
    virtual bool Zoomed() const { return false; }
    virtual void Move(Qt::KeyboardModifiers shift, int x, int y) { (void)shift, (void)x, (void)y; }
    // The button came up (the form has let go of the drag already).
    virtual void Release() {}

  protected:
    TInputForm& form;
};

// The left button outlines the selection; its release confirms.
class TInputForm::TSelectionDrag : public TDrag {
  public:
    using TDrag::TDrag;
    TDragMode Mode() const override { return dmSelection; }
    void Move(Qt::KeyboardModifiers shift, int x, int y) override { form.ActiveShapeFollows(shift, x, y); }
    void Release() override { form.FinishCapture(); }
};

// The right button draws with the current tool; a shape that needs a drag and got none goes.
class TInputForm::TAnnotationDrag : public TDrag {
  public:
    using TDrag::TDrag;
    TDragMode Mode() const override { return dmInk; }
    void Move(Qt::KeyboardModifiers shift, int x, int y) override { form.ActiveShapeFollows(shift, x, y); }
    void Release() override { form.DropEmptyShape(); }
};

// The middle button carries a placed annotation; the release records the move for undo.
class TInputForm::TMoveDrag : public TDrag {
  public:
    TMoveDrag(TInputForm& form, int index, QPoint at) : TDrag(form), index_(index), last_(at) {}
    TDragMode Mode() const override { return dmMove; }
    void Move(Qt::KeyboardModifiers shift, int x, int y) override;
    void Release() override;

  private:
    int index_;
    QPoint last_, moved_;
};

// The left button pans the zoomed view.
class TInputForm::TPanDrag : public TDrag {
  public:
    TPanDrag(TInputForm& form, QPoint at) : TDrag(form), last_(at) {}
    TDragMode Mode() const override { return dmPan; }
    bool Zoomed() const override { return true; }
    void Move(Qt::KeyboardModifiers shift, int x, int y) override;

  private:
    QPoint last_;
};

// Ctrl with the left button (or a double click) spans the pick rectangle of the zoomed view.
class TInputForm::TPickDrag : public TDrag {
  public:
    using TDrag::TDrag;
    TDragMode Mode() const override { return dmPick; }
    bool Zoomed() const override { return true; }
    void Move(Qt::KeyboardModifiers shift, int x, int y) override;
    void Release() override;
};

// The right button in the magnifier at zoom 1: its release closes the overlay.
class TInputForm::TCancelDrag : public TDrag {
  public:
    using TDrag::TDrag;
    TDragMode Mode() const override { return dmCancelArmed; }
    void Release() override { form.FormClose(); }
};
