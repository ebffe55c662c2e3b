// Confirming a capture: the selection and the ink turn the frozen desktop into the three images the
// main window keeps (the cut-out with transparency, the flat picture over frosted surroundings, the
// thumbnail's picture with its shadow).
#pragma once

#include "CaptureShape.h"
#include "DIBmp.h"

#include <QPointF>
#include <QRect>

#include <cstdint>
#include <vector>

class TAgg2D;

struct TComposedCapture {
    TDIB captureImage; // 32-bit premultiplied, transparent outside a lasso, with ink
    TDIB flatImage;    // 24-bit
    TDIB previewImage; // 32-bit, at most 500 pixels on its long side, plus the shadow
    QPointF previewOrigin;
    QRect outputRect; // where captureImage lies in the desktop image
    QRect areaRect;   // the selected area (with the ink it grew by), desktop image coordinates
};

// Selections whose bounds (pen margin included) stay within this many pixels both ways count as a click.
inline constexpr int ClickSelectionLimit = 23;
// Margin kept around a lasso and around ink that leaves the selection.
inline constexpr int OutsideMargin = 32;

// The ink pen's colour: the ink colour with alpha round(256 - (width - 6) * 10), clamped to 0..255.
uint32_t InkPenColor(uint32_t inkColor, double penWidth);

// The composition. `shapes` is consumed (its points are moved into output coordinates); element 0 must
// exist. The desktop image is 24-bit; grabbedRect is the part that holds screen content. The
// annotations' redactions are burnt into the desktop's pixels before any of the three images is made
// from them.
TComposedCapture ComposeCapture(const TDIB& desktopImage, const QRect& grabbedRect,
                                std::vector<CaptureShape> shapes, double penWidth, uint32_t inkColor);
