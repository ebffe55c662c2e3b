// The overlay's help card: a small translucent panel at the right edge of the normal view that shows
// which mouse button does what (right button = ink stroke, left button = free-form area, Ctrl + left
// button = rectangle) under the words SCREEN CAPTURE. It is drawn once at start with the program's own
// vector tools rather than shipped as a picture, so it needs no data file next to the program.
#pragma once

class TDIB;

constexpr int HelpCardWidth = 183;
constexpr int HelpCardHeight = 224;
// The card never becomes fully opaque: the frozen desktop always shows faintly through it.
constexpr int HelpCardMaxAlpha = 248;

// Makes card a HelpCardWidth x HelpCardHeight 32-bit premultiplied image and draws the help card into it.
// False (card left empty) when the image cannot be made.
bool MakeHelpCard(TDIB& card);
