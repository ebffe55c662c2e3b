// The thumbnail card with a scripted drag loop, and a plain picture for it (the card's tests and
// those of its drag-out wired to the export).
#pragma once

#include "Thumb.h"

#include <cstdint>
#include <functional>
#include <memory>

// A card whose drag loop is scripted: `during` plays the target while the button is down.
class TScriptedThumb : public TThumbForm {
  public:
    using TThumbForm::TThumbForm;
    std::function<void(TThumbForm*, TDragFileData*)> during;
    Qt::DropAction result = Qt::CopyAction;
    int drags = 0;
    bool acceptedMouseInDrag = true, draggingInDrag = false;
    QString nameInDrag;

  protected:
    Qt::DropAction RunDrag(TDragFileData* data) override {
        ++drags;
        acceptedMouseInDrag = AcceptsMouse();
        draggingInDrag = Dragging();
        nameInDrag = DragFileName();
        if (during) during(this, data);
        // A real drag owns its data until the target is done, which may be after the card is gone.
        if (outside)
            outside->reset(data);
        else
            holder_.reset(data);
        return result;
    }

  public:
    std::unique_ptr<TDragFileData>* outside = nullptr;

  private:
    std::unique_ptr<TDragFileData> holder_;
};

inline TDIB SolidPicture(int w, int h, uint32_t colour) {
    TDIB image(w, h, 32);
    image.FillRect(QRect(0, 0, w, h), colour, 256);
    return image;
}
