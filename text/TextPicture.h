// The picture of a selection made ready for text recognition: grey, dark text on a light ground (a
// light-on-dark selection is inverted, decided from its histogram), the contrast stretched between the
// ground and the ink, and small text scaled up so that a line is about as tall as the engine reads best.
#pragma once

#include "DIBmp.h"

struct TTextPicture {
    TDIB grey;        // 8 bits, dark ink on a light ground, scaled by `scale`
    TDIB unscaled;    // the same before scaling (what the code reader scans)
    double scale = 1; // grey's size over the selection's
    bool inverted = false;
    int lineHeight = 0; // the typical text line's height in the selection's pixels (0: none found)
};

// The tallest line the scaling aims at, in pixels: lines of smaller text are scaled up towards it.
constexpr int TextTargetLineHeight = 30;

// From a 24- or 32-bit picture (32 bits premultiplied; pixels under half covered count as ground).
// An empty picture gives an empty result.
TTextPicture PrepareTextPicture(const TDIB& picture);

// The grey level of the ground and whether the ink is lighter than it, from a histogram of grey levels.
struct TGroundAndInk {
    int ground = 255;
    bool lightInk = false;
};
TGroundAndInk GroundAndInk(const std::array<int, 256>& histogram);

// The typical height of the text lines of an 8-bit picture with dark ink: the median height of the runs
// of rows holding ink darker than `threshold`. 0 when no row holds ink.
int TypicalLineHeight(const TDIB& grey, int threshold);
