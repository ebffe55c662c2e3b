#include "BmpLists.h"

#include <QByteArray>

TDIBmpList::TDIBmpList() {
    glyph_.OnChange = [this] { GlyphChanged(); };
}

void TDIBmpList::SetGlyph(const TDIBmp& glyph) {
    // Cell layout first, so the change notification of the pixels sees the new cell width.
    glyph_.SetILCount(glyph.ILCount());
    glyph_.SetDrawMode(glyph.DrawMode());
    glyph_.Assign(glyph);
    GlyphChanged();
}

void TDIBmpList::LoadGlyphData(const QByteArray& storedForm) {
    glyph_.LoadStoredForm(storedForm);
}

void TDIBmpList::GlyphChanged() {
    if (glyph_.Empty()) return;
    DefaultWidth = glyph_.CellWidth();
    DefaultHeight = glyph_.Height();
}
