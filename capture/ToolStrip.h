// The overlay's tool strip: a small panel at the top of a monitor with a button per annotation tool and a
// swatch per palette colour, showing the current ones, and a line naming what the pointer is over (or
// the current tool) with the keys that move, delete, undo and redo annotations. It is drawn on the
// overlay's layer only, never into the capture; a press on it picks and starts nothing else.
#pragma once

#include "Annotation.h"

#include <QRect>
#include <QString>

class TAgg2D;
class TDIB;

class TToolStrip {
  public:
    static constexpr int Button = 30, Gap = 2, Padding = 6, SwatchSize = 20, LabelHeight = 22;

    // Puts the strip at the top centre of the monitor (image coordinates), or at its bottom when the top
    // would cover `avoid` (the help card); hidden when neither fits.
    void Place(const QRect& monitor, const QRect& avoid);
    QRect Rect() const { return rect_; }
    bool Shown() const { return !rect_.isEmpty(); }
    bool Contains(QPoint p) const { return rect_.contains(p); }

    struct THit {
        std::optional<TToolKind> tool;
        int colour = 0; // 1..PaletteSize, 0 for none
    };
    THit At(QPoint p) const;
    // Follows the pointer for the label line; true when what it names changed (the strip repaints).
    bool Hover(QPoint p);

    // The label line's words for the item under the pointer (the current tool when none).
    QString Label(TToolKind current) const;
    void Draw(TAgg2D& painter, const QRect& clip, TToolKind tool, int colour, uint32_t inkColor) const;

    QRect ToolButton(int index) const;
    QRect Swatch(int index) const; // index 1..PaletteSize

  private:
    QRect rect_;
    THit hover_;
};

// The keys of the annotations beyond the tools, for the strip's line and the help texts.
QString AnnotationKeysHelp();
