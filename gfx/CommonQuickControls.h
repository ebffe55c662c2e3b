// The owner-drawn controls the forms use: a paint box whose owner draws everything in its paint
// handler (the capture overlay), and a picture cut from an image strip, alpha-blended over what lies
// behind it (the About page's logo).
#pragma once

#include "DIBmp.h"
#include "QuickControls.h"

#include <QColor>

// Only the form designer's hit test differs from the base; at run time these take clicks normally.
class TNoClicksGraphicControl : public TQuickGraphicControl {
    Q_OBJECT
  public:
    using TQuickGraphicControl::TQuickGraphicControl;
};

class TQuickPaintBox : public TNoClicksGraphicControl {
    Q_OBJECT
  public:
    explicit TQuickPaintBox(QWidget* parent = nullptr);

    QColor Color() const { return color_; }
    void SetColor(const QColor& color);

    // Draws the box through sender->Canvas().
    std::function<void(TQuickPaintBox* sender)> OnPaint;

  protected:
    void Paint() override;

  private:
    QColor color_;
};

class TQuickBmpList : public TNoClicksGraphicControl {
    Q_OBJECT
  public:
    explicit TQuickBmpList(QWidget* parent = nullptr);

    // The strip shown: the source list's when one is set, else this control's own.
    const TDIBmp& Glyph() const;
    // Takes (shares) the image; repaints.
    void SetGlyph(const TDIBmp& glyph);

    // The cell shown. n > 0 is clamped to the strip's cells; n <= 0 is kept, -n being a pixel offset
    // into the strip.
    int ILIndex() const { return ilIndex_; }
    void SetILIndex(int index);
    // x of the shown cell in the strip; setting it shows the strip from that pixel column on.
    int XOffset() const;
    void SetXOffset(int x) { SetILIndex(-x); }

    // Shows another list's strip instead of an own one (which is dropped); null goes back to the own
    // (then empty) strip.
    TQuickBmpList* SourceBmpList() const { return source_; }
    void SetSourceBmpList(TQuickBmpList* source);

    std::function<void(TQuickBmpList* sender)> OnClick;

  signals:
    void clicked();

  protected:
    void Paint() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void WatchGlyph();

    TDIBmp glyph_;
    int ilIndex_ = 0;
    TQuickBmpList* source_ = nullptr;
    bool pressed_ = false;
};
