#include "SettingsPage.h"
#include "ui_VexmorMain.h"

#include "HotKeys.h"
#include "Settings.h"

#include "Globals.h"

#include <algorithm>
#include <utility>

namespace {
// Below the lowest group: its frame, the tab bar and the window's edge.
constexpr int kSettingsBottomMargin = 58;
} // namespace

TSettingsPage::TSettingsPage(Ui::VexmorMainForm& ui, TWiring wiring) : ui_(ui), wiring_(std::move(wiring)) {
    connect(ui_.JPGQSel, &QSlider::valueChanged, this, &TSettingsPage::JPGQSelChange);
    connect(ui_.ScalingSel, &QSlider::valueChanged, this, &TSettingsPage::JPGQSelChange);
    connect(ui_.InkColorSel, &QComboBox::currentIndexChanged, this, &TSettingsPage::InkColorSelChange);
    connect(ui_.StartupBox, &QCheckBox::toggled, this, &TSettingsPage::StartupBoxClick);
    connect(ui_.InterfaceLanguageSel, &QComboBox::currentIndexChanged, this,
            &TSettingsPage::InterfaceLanguageSelChange);
    connect(ui_.CapHotKeySel, &QComboBox::currentIndexChanged, this, &TSettingsPage::DisplayHotKeyChange);
    connect(ui_.CapCustomHotKey, &THotKeyEdit::HotKeyChanged, this, &TSettingsPage::DisplayHotKeyChange);
}

QSize TSettingsPage::SheetSize() const {
    return {kSheetWidth, ui_.LanguageBox->y() + ui_.LanguageBox->height() + kSettingsBottomMargin};
}

void TSettingsPage::PlaceLanguageBox() {
    constexpr int kGroupGap = 7;
    const QWidget* above = ui_.InkBox->isHidden() ? ui_.ImageBox : ui_.InkBox;
    ui_.LanguageBox->move(ui_.LanguageBox->x(), above->y() + above->height() + kGroupGap);
}

void TSettingsPage::RevealInkBox() {
    ui_.InkBox->setVisible(true);
    PlaceLanguageBox();
    wiring_.heightChanged();
}

void TSettingsPage::ShowHeldKeysNote(const QString& text, bool anyHeld) {
    ui_.HeldKeysLabel->setText(text);
    ui_.HeldKeysLabel->setVisible(anyHeld);
    LayOutHeldKeysNote();
}

void TSettingsPage::SetHeldKeysNoteText(const QString& text) {
    ui_.HeldKeysLabel->setText(text);
    LayOutHeldKeysNote();
}

// The note is as tall as its text wraps to at the group's width; while it shows, the capture group's
// rows below it and the groups below that move down by as much, and the tab grows with them.
void TSettingsPage::LayOutHeldKeysNote() {
    constexpr int kGapBelow = 4;
    QLabel* note = ui_.HeldKeysLabel;
    const int width = ui_.CapBox->width() - 2 * note->x();
    const int height = note->isHidden() ? 0 : note->heightForWidth(width);
    note->resize(width, std::max(height, 1));
    const int shift = note->isHidden() ? 0 : height + kGapBelow;
    const int delta = shift - std::exchange(heldNoteShift_, shift);
    if (delta == 0) return;
    for (QWidget* w : ui_.CapBox->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w != note && w->y() > note->y()) w->move(w->x(), w->y() + delta);
    ui_.CapBox->resize(ui_.CapBox->width(), ui_.CapBox->height() + delta);
    for (QWidget* box : {ui_.ImageBox, ui_.InkBox})
        box->move(box->x(), box->y() + delta);
    PlaceLanguageBox();
    wiring_.heightChanged();
}

void TSettingsPage::RegisterHotKeys() {
    wiring_.registerHotKeys(ui_.CapHotKeySel->currentIndex(), ui_.CapCustomHotKey->HotKey());
}

void TSettingsPage::DisplayHotKeyChange() {
    ui_.CapCustomHotKey->setEnabled(ui_.CapHotKeySel->currentIndex() == hcCustom);
    RegisterHotKeys();
}

void TSettingsPage::JPGQSelChange() {
    ui_.JPGLabel->setText(tr("JPG质量(%1)").arg(ui_.JPGQSel->value()));
    ui_.ScalingLabel->setText(tr("缩放比例(%1%)").arg(ui_.ScalingSel->value()));
    ui_.JPGLabel->adjustSize();
    ui_.ScalingLabel->adjustSize();
}

void TSettingsPage::InkColorSelChange() {
    TColorBox* list = ui_.InkColorSel;
    if (list->currentIndex() < 0) return;
    const uint32_t bgr =
        list->DefaultSelected() ? list->DefaultColorColor() : list->ColorToRGB(list->Selected());
    InkColor = DisplayToInkColor(bgr);
}

void TSettingsPage::StartupBoxClick() {
    StartupEntry(ui_.StartupBox->isChecked() ? seWrite : seDelete);
}

void TSettingsPage::InterfaceLanguageSelChange() {
    const int index = ui_.InterfaceLanguageSel->currentIndex();
    UseInterfaceLanguage(index == int(TInterfaceLanguage::Chinese)   ? TInterfaceLanguage::Chinese
                         : index == int(TInterfaceLanguage::English) ? TInterfaceLanguage::English
                                                                     : TInterfaceLanguage::Automatic);
}
