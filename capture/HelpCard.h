// The overlay's help card: a small translucent panel at the right edge of the normal view that shows
// which mouse button does what (right button = ink stroke, left button = free-form area, Ctrl + left
// button = rectangle) under the words SCREEN CAPTURE. It is drawn with the program's own vector tools
// rather than shipped as a picture, so it needs no data file next to the program, and its words follow
// the interface language.
#pragma once

#include <QString>

class TDIB;

constexpr int HelpCardWidth = 183;
constexpr int HelpCardHeight = 224;
// The card never becomes fully opaque: the frozen desktop always shows faintly through it.
constexpr int HelpCardMaxAlpha = 248;

// The card's words: "CTRL +" beside the rectangle's mouse and the title "SCREEN CAPTURE", English in
// the program's own texts as well, looked up in the interface language.
struct THelpCardTexts {
    QString modifier;
    QString title;
    bool operator==(const THelpCardTexts&) const = default;
};
THelpCardTexts HelpCardTexts();

// Makes card a HelpCardWidth x HelpCardHeight 32-bit premultiplied image and draws the help card into it.
// False (card left empty) when the image cannot be made.
bool MakeHelpCard(TDIB& card, const THelpCardTexts& texts = HelpCardTexts());

// The card with the words now in effect: drawn on first use and shared by every later overlay, drawn
// anew once a change of language has changed its words. Empty when it cannot be made. GUI thread only.
TDIB CurrentHelpCard();
