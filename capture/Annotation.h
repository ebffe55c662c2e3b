// The overlay's annotation tools. The right button draws with the current tool: the pen (the plain ink,
// the default), arrows, lines, rectangles, ellipses, text, numbered steps, the marker, and the two
// redactions (pixelate, an opaque box). Each tool is one stateless class behind TAnnotationTool; what a
// shape needs (points, colour, width, text) lives in its CaptureShape, so shapes stay plain values the
// worker, the paints and the composition copy freely.
//
// Every tool draws through the vector wrapper onto whatever image it is given (the overlay's layer, the
// captured images), so the saved picture shows what the overlay showed. The redactions hide the desktop
// for good: the composition applies them to the desktop's pixels before anything is made from them.
#pragma once

#include "CaptureShape.h"
#include "DibOps.h"

#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class TAgg2D;

// The last tool and palette colour chosen, kept in the settings file by the main window.
inline TToolKind LastOverlayTool = TToolKind::Pen;
inline int LastOverlayColour = 1;

struct TToolInfo {
    TToolKind kind;
    int key;           // the overlay key that picks it (Qt::Key_*)
    const char* name;  // in the settings file
    const char* label; // the program's text (translated through the "Annotation" context)
};
std::span<const TToolInfo> Tools();
const TToolInfo& ToolInfo(TToolKind kind);
std::optional<TToolKind> ToolForKey(int key);
std::optional<TToolKind> ToolNamed(const QString& name);
QString ToolLabel(TToolKind kind); // in the interface language

// The palette: colour 1 is the ink colour setting (stored in shapes as 0), 2-8 fixed colours.
inline constexpr int PaletteSize = 8;
uint32_t PaletteColour(int index, uint32_t inkColor); // 0xFFRRGGBB; index 1..PaletteSize
uint32_t PaletteValue(int index);                     // what a shape stores: 0 for colour 1
inline uint32_t ShapeColour(const CaptureShape& s, uint32_t inkColor) {
    return s.Color ? s.Color : inkColor;
}

// Where and with what annotations are drawn.
struct TAnnotationCanvas {
    TAgg2D* painter = nullptr;  // attached to `image`, clipped to `clip` (the redactions need none)
    DibOps::View image;         // the picture drawn on
    QPoint origin;              // the desktop pixel at the picture's (0, 0)
    DibOps::ConstView desktop;  // the frozen desktop: pixelation reads around its boxes
    std::vector<QRect> covered; // every redaction box, desktop coordinates
    QRect clip;                 // picture coordinates
    double penWidth = 6;        // the overlay's pen width (the pen's strokes follow it)
    uint32_t inkColor = 0xFFD80000u;
    int stepNumber = 0; // the number the next step shape shows
};

class TAnnotationTool {
  public:
    virtual ~TAnnotationTool() = default;
    // A press at a pixel centre starts the shape (its tool, colour and width already set).
    virtual void Start(CaptureShape& s, TPointD at) const;
    // The pointer moved to `to` during the drag; constrain: Shift held (45 degrees, square, round).
    virtual void Grow(CaptureShape& s, TPointD to, bool constrain) const;
    // Shapes the overlay's worker grows after the pointer (free-form strokes).
    virtual bool Follows() const { return false; }
    // A shape left this small by its drag is dropped at the release.
    virtual bool Empty(const CaptureShape& s) const;
    virtual void Draw(const CaptureShape& s, TAnnotationCanvas& canvas) const = 0;
    // Every pixel the shape may touch (picture coordinates of its points); empty for nothing drawn.
    virtual QRect Bounds(const CaptureShape& s, double penWidth) const = 0;
    // Whether a point (pixel centre) grabs the shape for moving or deleting.
    virtual bool Hit(const CaptureShape& s, TPointD at, double penWidth) const;
    // The shape hides the desktop under it for good.
    virtual bool Covers() const { return false; }
};

const TAnnotationTool& ToolOf(const CaptureShape& s);
const TAnnotationTool& ToolOf(TToolKind kind);

// Draws the annotations (elements 1.. of shapes) in order; steps are numbered 1, 2, ... in that order,
// shapes without points included.
void DrawAnnotations(TAnnotationCanvas& canvas, std::span<const CaptureShape> shapes);
// The redaction boxes of the annotations, in desktop coordinates.
std::vector<QRect> CoveredBoxes(std::span<const CaptureShape> shapes, QPoint origin);
// Burns the redactions of the annotations into a picture of the desktop (origin: the desktop pixel at
// its (0, 0)), reading the surroundings from `desktop`.
void ApplyRedactions(const DibOps::View& picture, QPoint origin, const DibOps::ConstView& desktop,
                     std::span<const CaptureShape> shapes, uint32_t inkColor);

// The repaint margin of a stroke the worker grows: the pen's, or the marker's wider one.
int StrokeMargin(const CaptureShape& s, double penWidth);
// The box of a two-corner shape from its points at pixel centres: both corner pixels included.
QRect CornerBox(const CaptureShape& s);
// Moves every point of a shape (and its bounds) by whole pixels.
void MoveShape(CaptureShape& s, int dx, int dy);
