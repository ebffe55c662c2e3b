// The tool classes behind TAnnotationTool, one per tool, and the measures they share with the overlay.
#pragma once

#include "Annotation.h"

// The design's ink: a free-form stroke grown by the worker, or with Ctrl a rectangle outline; drawn
// with the overlay's pen width and the ink's width-dependent opacity.
class TPenTool : public TAnnotationTool {
  public:
    void Start(CaptureShape& s, TPointD at) const override;
    void Grow(CaptureShape&, TPointD, bool) const override {}
    bool Follows() const override { return true; }
    bool Empty(const CaptureShape&) const override { return false; }
    void Draw(const CaptureShape& s, TAnnotationCanvas& canvas) const override;
    QRect Bounds(const CaptureShape& s, double penWidth) const override;
    bool Hit(const CaptureShape& s, TPointD at, double penWidth) const override;
};

class TPenRectangleTool : public TPenTool {
  public:
    void Start(CaptureShape& s, TPointD at) const override;
    void Grow(CaptureShape& s, TPointD to, bool constrain) const override;
    bool Follows() const override { return false; }
};

// A translucent wide stroke that leaves the text under it readable.
class TMarkerTool : public TPenTool {
  public:
    static double StrokeWidth(double width) { return 3 * width + 6; }
    static constexpr uint8_t Alpha = 104;
    void Draw(const CaptureShape& s, TAnnotationCanvas& canvas) const override;
    QRect Bounds(const CaptureShape& s, double penWidth) const override;
    bool Hit(const CaptureShape& s, TPointD at, double penWidth) const override;
};

class TLineTool : public TAnnotationTool {
  public:
    void Grow(CaptureShape& s, TPointD to, bool constrain) const override;
    void Draw(const CaptureShape& s, TAnnotationCanvas& canvas) const override;
    QRect Bounds(const CaptureShape& s, double penWidth) const override;
    bool Hit(const CaptureShape& s, TPointD at, double penWidth) const override;
};

class TArrowTool : public TLineTool {
  public:
    static double HeadLength(double width) { return 3 * width + 10; }
    void Draw(const CaptureShape& s, TAnnotationCanvas& canvas) const override;
    QRect Bounds(const CaptureShape& s, double penWidth) const override;
};

class TRectangleTool : public TAnnotationTool {
  public:
    void Grow(CaptureShape& s, TPointD to, bool constrain) const override;
    void Draw(const CaptureShape& s, TAnnotationCanvas& canvas) const override;
    QRect Bounds(const CaptureShape& s, double penWidth) const override;
};

class TEllipseTool : public TRectangleTool {
  public:
    void Draw(const CaptureShape& s, TAnnotationCanvas& canvas) const override;
};

// Lines of text from the press point (the box's top-left), outlined in a contrasting colour.
class TTextTool : public TAnnotationTool {
  public:
    static double FontHeight(double width) { return 12 + 3 * width; }
    static double LineHeight(double width) { return 1.3 * FontHeight(width); }
    void Start(CaptureShape& s, TPointD at) const override;
    void Grow(CaptureShape&, TPointD, bool) const override {}
    bool Empty(const CaptureShape& s) const override { return s.Text.isEmpty(); }
    void Draw(const CaptureShape& s, TAnnotationCanvas& canvas) const override;
    QRect Bounds(const CaptureShape& s, double penWidth) const override;
    // Where a caret after the last character goes: its top and bottom.
    static std::pair<TPointD, TPointD> Caret(const CaptureShape& s);
};

// A filled circle with the step's number; a drag moves it until the release.
class TStepTool : public TAnnotationTool {
  public:
    static double Radius(double width) { return 9 + 1.5 * width; }
    void Start(CaptureShape& s, TPointD at) const override;
    void Grow(CaptureShape& s, TPointD to, bool constrain) const override;
    bool Empty(const CaptureShape&) const override { return false; }
    void Draw(const CaptureShape& s, TAnnotationCanvas& canvas) const override;
    QRect Bounds(const CaptureShape& s, double penWidth) const override;
};

// An opaque box of the shape's colour.
class TRedactTool : public TRectangleTool {
  public:
    void Grow(CaptureShape& s, TPointD to, bool constrain) const override;
    void Draw(const CaptureShape& s, TAnnotationCanvas& canvas) const override;
    QRect Bounds(const CaptureShape& s, double penWidth) const override;
    bool Covers() const override { return true; }
};

// Blocks made from the surroundings of the box, never from what it covers.
class TPixelateTool : public TRedactTool {
  public:
    static int BlockSize(double width);
    void Draw(const CaptureShape& s, TAnnotationCanvas& canvas) const override;
};
