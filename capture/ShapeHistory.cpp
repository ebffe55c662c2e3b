#include "ShapeHistory.h"

#include "Annotation.h"

#include <utility>

namespace {
QRect Area(const CaptureShape& s) {
    return s.Bounds.IsSet() ? s.Bounds.ToRect() : QRect();
}
} // namespace

void TShapeHistory::Added(size_t index) {
    done_.push_back({TEdit::Add, index, {}});
    undone_.clear();
}

void TShapeHistory::Removed(size_t index, CaptureShape shape) {
    done_.push_back({TEdit::Remove, index, std::move(shape)});
    undone_.clear();
}

void TShapeHistory::Moved(size_t index, int dx, int dy) {
    done_.push_back({TEdit::Move, index, {}, dx, dy});
    undone_.clear();
}

void TShapeHistory::Forget() {
    if (!done_.empty()) done_.pop_back();
}

bool TShapeHistory::Apply(TEdit& e, std::vector<CaptureShape>& shapes, bool forward, QRect& dirty) {
    // Adding forward and removing backward put the kept shape back; the other two take it out.
    const bool insert = (e.kind == TEdit::Add) == forward;
    if (e.index == 0) return false;
    if (e.kind == TEdit::Move) {
        if (e.index >= shapes.size()) return false;
        CaptureShape& s = shapes[e.index];
        dirty |= Area(s);
        MoveShape(s, forward ? e.dx : -e.dx, forward ? e.dy : -e.dy);
        dirty |= Area(s);
        return true;
    }
    if (insert) {
        if (e.index > shapes.size()) return false;
        // A stroke taken back while it still followed the pointer comes back as it stood.
        if (e.shape.Kind == skFollowing) e.shape.Kind = skFinished;
        dirty |= Area(e.shape);
        shapes.insert(shapes.begin() + ptrdiff_t(e.index), e.shape);
        return true;
    }
    if (e.index >= shapes.size()) return false;
    dirty |= Area(shapes[e.index]);
    e.shape = std::move(shapes[e.index]);
    shapes.erase(shapes.begin() + ptrdiff_t(e.index));
    return true;
}

bool TShapeHistory::Undo(std::vector<CaptureShape>& shapes, QRect& dirty) {
    while (!done_.empty()) {
        TEdit e = std::move(done_.back());
        done_.pop_back();
        if (!Apply(e, shapes, false, dirty)) continue; // an edit that no longer fits is dropped
        undone_.push_back(std::move(e));
        return true;
    }
    return false;
}

bool TShapeHistory::Redo(std::vector<CaptureShape>& shapes, QRect& dirty) {
    while (!undone_.empty()) {
        TEdit e = std::move(undone_.back());
        undone_.pop_back();
        if (!Apply(e, shapes, true, dirty)) continue;
        done_.push_back(std::move(e));
        return true;
    }
    return false;
}
