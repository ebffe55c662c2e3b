// The overlay worker's three steps, as plain functions of their state so that they can be run without a
// window: each advances its state by a number of the worker's 10 ms cycles and says what changed.
#pragma once

#include "CaptureShape.h"

#include <QPointF>
#include <QRect>

#include <vector>

// A pen that follows the pointer stays put while the pointer is within this many pixels of it...
inline constexpr float PenHoldDistance = 1.75f;
// ...and a stroke whose pen has come this close to its last target has caught up: it is finished.
inline constexpr float PenCaughtUpDistance = 0.25f;

// Moves the pen of every free-form shape still following towards its target (the active shape's target
// is the pointer, in image pixels at a pixel centre) and adds the pen's positions to the shape's points.
// penMargin is the repaint margin around a pen position. Returns the part of the image (0, 0, image
// size) to repaint: the new segments, and for the selection the closing edge of its fill.
QRect StepStrokes(std::vector<CaptureShape>& shapes, int activeShape, TPointD pointer, int penMargin,
                  QSize image, int cycles = 1);

// The help card fades once the user starts: `elapsed` counts the fade's milliseconds (negative: not
// begun), 10 a cycle, and the card's alpha follows 255 - 255 ln(elapsed / 50 + 1) / ln 11, gone after
// half a second. Returns whether the alpha was stepped (the card needs repainting).
inline constexpr int HelpCardFadeStepMs = 10;
inline constexpr double HelpCardFadeScaleMs = 50;
inline constexpr double HelpCardFadeEnd = 11; // (elapsed / scale + 1) at which the card is gone
bool StepHelpCardFade(int& elapsed, int& alpha, int cycles = 1);

// Zoom and pan glide: each cycle takes the view a fifth of the way to its target, and settles on it once
// what is left cannot be seen. Returns whether the view moved (the whole view needs repainting).
inline constexpr double ViewStepShare = 0.2;
struct TViewGlide {
    double zoom = 1;
    QPointF offset;
    double targetZoom = 1;
    QPointF targetOffset;
};
bool StepView(TViewGlide& view, int cycles = 1);
