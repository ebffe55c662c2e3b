// Undo and redo of the overlay's annotations: what was added, removed or moved, newest last. A new edit
// clears what could be redone. The selection (element 0) is never an edit's shape.
#pragma once

#include "CaptureShape.h"

#include <QRect>

#include <vector>

class TShapeHistory {
  public:
    void Added(size_t index);
    void Removed(size_t index, CaptureShape shape);
    void Moved(size_t index, int dx, int dy);
    // Forgets the newest edit without undoing it (a shape its drag left empty, taken away at once).
    void Forget();
    // Each takes back (or does again) the newest edit on the shapes and grows `dirty` by the area it
    // changed; false when there is nothing to take back (do again).
    bool Undo(std::vector<CaptureShape>& shapes, QRect& dirty);
    bool Redo(std::vector<CaptureShape>& shapes, QRect& dirty);
    bool CanUndo() const { return !done_.empty(); }
    bool CanRedo() const { return !undone_.empty(); }

  private:
    struct TEdit {
        enum TKind { Add, Remove, Move } kind;
        size_t index;
        CaptureShape shape; // Add (once undone), Remove
        int dx = 0, dy = 0; // Move
    };
    // Applies e forward (or backward); false when the shapes no longer fit it.
    static bool Apply(TEdit& e, std::vector<CaptureShape>& shapes, bool forward, QRect& dirty);
    std::vector<TEdit> done_, undone_;
};
