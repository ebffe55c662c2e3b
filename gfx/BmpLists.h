// TDIBmpList: a non-visual holder of one image strip, as form descriptions carry it.
#pragma once

#include "DIBmp.h"

class QByteArray;

class TDIBmpList {
  public:
    TDIBmpList();
    // The glyph's change notification refers to this object.
    TDIBmpList(const TDIBmpList&) = delete;
    TDIBmpList& operator=(const TDIBmpList&) = delete;

    // Shares the given strip (its cell count and draw mode are copied).
    void SetGlyph(const TDIBmp& glyph);
    const TDIBmp& Glyph() const { return glyph_; }
    TDIBmp& Glyph() { return glyph_; }
    // The "Data" property of the description: the stored form of the strip.
    void LoadGlyphData(const QByteArray& storedForm);

    // Follow the glyph: cell width and height whenever it changes and is not empty.
    int DefaultWidth = 0;
    int DefaultHeight = 0;

  private:
    void GlyphChanged();
    TDIBmp glyph_;
};
