// The ink colour list: a drop-down of named colour swatches (standard, extended and system colours),
// a default entry and a custom entry that asks for any colour.
//
// Colour values are in the list's own order 0x00BBGGRR. System colours carry 0xFF000000 + their index
// and the default entry kDefaultColorValue, so neither is ever mistaken for a plain colour; RGB()
// turns any value into the plain colour it stands for now.
#pragma once

#include <QComboBox>

#include <cstdint>
#include <vector>

class TColorBox : public QComboBox {
    Q_OBJECT
  public:
    static constexpr uint32_t kDefaultColorValue = 0x20000000u;
    static constexpr uint32_t kSystemColorFlag = 0xFF000000u;

    explicit TColorBox(QWidget* parent = nullptr);

    // The colour the default entry stands for (0x00BBGGRR).
    uint32_t DefaultColorColor() const { return defaultColor_; }
    void SetDefaultColorColor(uint32_t bgr);

    // The selected entry's value, or 0 when nothing is selected.
    uint32_t Selected() const;
    // Selects the entry of that value; a plain colour that no entry has becomes the custom entry's.
    // Fires no change signal.
    void SetSelected(uint32_t value);
    bool DefaultSelected() const;
    // The plain colour (0x00BBGGRR) of a value: system colours from the current palette, the default
    // entry's from DefaultColorColor.
    uint32_t ColorToRGB(uint32_t value) const;

    int CustomIndex() const { return customIndex_; }
    int DefaultIndex() const { return defaultIndex_; }
    uint32_t ValueAt(int index) const;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    // `name` is the entry's text as written (translation context "TColorBox").
    void AddColor(const char* name, uint32_t value);
    void UpdateSwatch(int index);
    void OnActivated(int index);

    uint32_t defaultColor_ = 0;
    int defaultIndex_ = -1;
    int customIndex_ = -1;
    int lastIndex_ = -1;
    std::vector<const char*> names_; // each entry's text as written, by index
};
