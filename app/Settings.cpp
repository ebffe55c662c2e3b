#include "Settings.h"

#include "SettingsPage.h"
#include "SettingsStore.h"
#include "VexmorMain.h"
#include "ui_VexmorMain.h"

#include "Annotation.h"
#include "CaptureHistory.h"
#include "Globals.h"
#include "HotKeys.h"
#include "Platform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QWidget>

#include <climits>

namespace {

// The value a reader uses to tell "absent" from any number a file can hold.
constexpr int kAbsent = INT_MAX;

// What the settings tab shows before any file is loaded: the Print Screen choice, the pointer
// captured, the file name and comment filled in automatically.
constexpr int kShippedHotKeyChoice = hcPrintScreen;
constexpr bool kShippedCaptureCursor = true;
constexpr bool kShippedAutoTitle = true;

// A list index as stored; anything outside the list shows no selection.
void LoadListIndex(const TSettingsStore& store, QComboBox* list, const QString& name) {
    const int index = store.ReadInteger(kSettingsKey, name, list->currentIndex());
    const QSignalBlocker quiet(list);
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

void LoadSlider(const TSettingsStore& store, QSlider* slider, const QString& name) {
    slider->setValue(std::clamp(store.ReadInteger(kSettingsKey, name, slider->value()), 10, 100));
}

void LoadSpin(const TSettingsStore& store, QSpinBox* spin, const QString& name) {
    spin->setValue(
        std::clamp(store.ReadInteger(kSettingsKey, name, spin->value()), spin->minimum(), spin->maximum()));
}

// The window must keep a part on some screen to be reachable.
bool OnSomeScreen(const QRect& frame) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return true;
    for (const QScreen* screen : screens)
        if (screen->geometry().intersects(frame)) return true;
    return false;
}

} // namespace

QString PlacementKey(const QString& key, const QWidget* window) {
    return key + u'\\' + window->objectName();
}

void SavePlacement(TSettingsStore& store, const QWidget* window, const QString& key, int options) {
    const QString section = PlacementKey(key, window);
    QRect bounds(window->pos(), window->size());
    if (window->isWindow()) {
        if (options & poParentName) {
            const QWidget* parent = window->parentWidget();
            store.WriteString(section, SettingName::Parent,
                              parent ? parent->objectName() : QStringLiteral("Desktop"));
        }
        const bool maximized = window->isMaximized();
        store.WriteInteger(section, SettingName::State, maximized ? 2 : 0);
        // A maximized window is remembered by where it goes back to.
        if (maximized && !window->normalGeometry().isEmpty()) bounds = window->normalGeometry();
    }
    if (options & poVisibility)
        store.WriteInteger(section, SettingName::Visible, window->isVisible() ? 1 : 0);
    if (options & poPosition) {
        store.WriteInteger(section, SettingName::Left, bounds.x());
        store.WriteInteger(section, SettingName::Top, bounds.y());
    }
    if (options & poSize) {
        store.WriteInteger(section, SettingName::Width, bounds.width());
        store.WriteInteger(section, SettingName::Height, bounds.height());
    }
}

void LoadPlacement(const TSettingsStore& store, QWidget* window, const QString& key) {
    const QString section = PlacementKey(key, window);
    const int left = store.ReadInteger(section, SettingName::Left, window->x());
    const int top = store.ReadInteger(section, SettingName::Top, window->y());
    const int width = store.ReadInteger(section, SettingName::Width, window->width());
    const int height = store.ReadInteger(section, SettingName::Height, window->height());
    if (window->isWindow()) {
        // Sizes come from a file: keep them to something a screen can show.
        const QSize size(std::clamp(width, 1, 16384), std::clamp(height, 1, 16384));
        window->resize(size);
        const QRect frame(QPoint(left, top), window->size());
        if (OnSomeScreen(frame)) window->move(left, top);
        const int state = store.ReadInteger(section, SettingName::State, window->isMaximized() ? 2 : 0);
        window->setWindowState(state == 2
                                   ? window->windowState() | Qt::WindowMaximized
                                   : window->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
    } else {
        window->setGeometry(left, top, std::max(width, 0), std::max(height, 0));
    }
    const int visible = store.ReadInteger(section, SettingName::Visible, window->isVisible() ? 1 : 0);
    if ((visible != 0) != window->isVisible()) window->setVisible(visible != 0);
}

void SaveControlValues(TSettingsStore& store, const QList<QCheckBox*>& boxes, const QString& key) {
    for (const QCheckBox* box : boxes)
        store.WriteInteger(key, box->objectName(), box->isChecked() ? 1 : 0);
}

bool LoadCheckValue(const TSettingsStore& store, const QString& key, const QString& name, bool current) {
    const int value = store.ReadInteger(key, name, kAbsent);
    return value != kAbsent ? value == 1 : current;
}

void LoadControlValues(const TSettingsStore& store, const QList<QCheckBox*>& boxes, const QString& key) {
    for (QCheckBox* box : boxes)
        box->setChecked(LoadCheckValue(store, key, box->objectName(), box->isChecked()));
}

bool StartupEntry(int action) {
    IAutostart* autostart = Platform().autostart.get();
    const QString program = QCoreApplication::applicationFilePath();
    switch (action) {
    case seDelete:
        (void)autostart->SetEnabled(program, false);
        return false;
    case seWrite:
        (void)autostart->SetEnabled(program, true);
        return false;
    case seCheck:
        return autostart->IsEnabled(program);
    default:
        return false;
    }
}

TInterfaceLanguage StoredLanguage(const TSettingsStore& store) {
    const int value = store.ReadInteger(kSettingsKey, SettingName::InterfaceLanguageSel, 0);
    if (value == int(TInterfaceLanguage::Chinese)) return TInterfaceLanguage::Chinese;
    if (value == int(TInterfaceLanguage::English)) return TInterfaceLanguage::English;
    return TInterfaceLanguage::Automatic;
}

bool StoredCaptureCursor(const TSettingsStore& store) {
    return LoadCheckValue(store, kSettingsKey, SettingName::CapCursorBox, kShippedCaptureCursor);
}

bool StoredAutoTitle(const TSettingsStore& store) {
    return LoadCheckValue(store, kSettingsKey, SettingName::AutoTitleBox, kShippedAutoTitle);
}

int StoredHotKeyChoice(const TSettingsStore& store) {
    return store.ReadInteger(kSettingsKey, SettingName::CapHotKeySel, kShippedHotKeyChoice);
}

int StoredCustomHotKey(const TSettingsStore& store) {
    return store.ReadInteger(kSettingsKey, SettingName::CapCustomHotKey, kDesignHotKey);
}

// --- the main window's settings -------------------------------------------------------------------

namespace {
QList<QCheckBox*> StoredBoxes(Ui::VexmorMainForm& ui) {
    return {ui.AlwaysCBBox, ui.PurgeAfterOpBox, ui.CapCursorBox, ui.AutoTitleBox, ui.TransPNGBox};
}
} // namespace

void TVexmorMainForm::SaveSettingsForLostDisplay() {
    if (ui.Made() && !destroyed_) SaveSettings();
    // The captures on their way to the history are written before the process leaves; no window
    // hears of them.
    if (history_) {
        history_->blockSignals(true);
        history_->WaitForWrites();
    }
}

namespace {
uint32_t StoredInkColor(const TSettingsStore& store) {
    // The ink is always opaque, whatever a file says.
    return uint32_t(store.ReadInteger(kSettingsKey, SettingName::InkColor, int32_t(kDefaultInkColor))) |
           0xFF000000u;
}
} // namespace

void LoadOverlaySettings(const TSettingsStore& store) {
    InkColor = StoredInkColor(store);
    // An unknown name or colour (a later version's, a hand edit) leaves the pen and colour 1.
    LastOverlayTool =
        ToolNamed(store.ReadString(kSettingsKey, SettingName::AnnotationTool)).value_or(TToolKind::Pen);
    const int colour = store.ReadInteger(kSettingsKey, SettingName::AnnotationColour, 1);
    LastOverlayColour = colour >= 1 && colour <= PaletteSize ? colour : 1;
}

void SaveOverlaySettings(TSettingsStore& store) {
    store.WriteInteger(kSettingsKey, SettingName::InkColor, static_cast<int32_t>(InkColor));
    store.WriteString(kSettingsKey, SettingName::AnnotationTool,
                      QLatin1String(ToolInfo(LastOverlayTool).name));
    store.WriteInteger(kSettingsKey, SettingName::AnnotationColour, LastOverlayColour);
}

void TVexmorMainForm::SaveSettings() {
    TSettingsStore store;
    // Values this program does not know stay in the file.
    store.Load();
    SavePlacement(store, this, kSettingsKey, poPosition);
    settingsPage_->SaveControls(store);
    // A folder or disk that refuses the file leaves the old one in place; there is nobody to tell.
    (void)store.Save();
}

void TVexmorMainForm::LoadSettings() {
    TSettingsStore store;
    store.Load();
    LoadSettings(store);
}

void TVexmorMainForm::LoadSettings(const TSettingsStore& store) {
    LoadPlacement(store, this, kSettingsKey);
    settingsPage_->LoadControls(store);
}

void TSettingsPage::SaveControls(TSettingsStore& store) const {
    store.WriteInteger(kSettingsKey, SettingName::CapCustomHotKey, ui_.CapCustomHotKey->HotKey() & 0xFFFF);
    store.WriteInteger(kSettingsKey, SettingName::CapHotKeySel, ui_.CapHotKeySel->currentIndex());
    store.WriteInteger(kSettingsKey, SettingName::AfterCaptureSel, ui_.AfterCaptureSel->currentIndex());
    store.WriteInteger(kSettingsKey, SettingName::FormatSel, ui_.FormatSel->currentIndex());
    store.WriteInteger(kSettingsKey, SettingName::EditFormatSel, ui_.EditFormatSel->currentIndex());
    store.WriteInteger(kSettingsKey, SettingName::JPGQSel, ui_.JPGQSel->value());
    store.WriteInteger(kSettingsKey, SettingName::ScalingSel, ui_.ScalingSel->value());
    store.WriteInteger(kSettingsKey, SettingName::HistoryKeepSel, ui_.HistoryKeepSel->value());
    SaveOverlaySettings(store);
    store.WriteInteger(kSettingsKey, SettingName::InkBox, ui_.InkBox->isHidden() ? 0 : 1);
    store.WriteInteger(kSettingsKey, SettingName::InterfaceLanguageSel,
                       ui_.InterfaceLanguageSel->currentIndex());
    SaveControlValues(store, StoredBoxes(ui_), kSettingsKey);
}

void TSettingsPage::LoadControls(const TSettingsStore& store) {
    ui_.CapCustomHotKey->SetHotKey(
        store.ReadInteger(kSettingsKey, SettingName::CapCustomHotKey, ui_.CapCustomHotKey->HotKey()));
    LoadListIndex(store, ui_.CapHotKeySel, SettingName::CapHotKeySel);
    LoadListIndex(store, ui_.AfterCaptureSel, SettingName::AfterCaptureSel);
    LoadListIndex(store, ui_.FormatSel, SettingName::FormatSel);
    LoadListIndex(store, ui_.EditFormatSel, SettingName::EditFormatSel);
    {
        const QSignalBlocker quiet(ui_.InterfaceLanguageSel);
        ui_.InterfaceLanguageSel->setCurrentIndex(int(StoredLanguage(store)));
    }
    UseInterfaceLanguage(StoredLanguage(store));
    LoadSlider(store, ui_.JPGQSel, SettingName::JPGQSel);
    LoadSlider(store, ui_.ScalingSel, SettingName::ScalingSel);
    LoadSpin(store, ui_.HistoryKeepSel, SettingName::HistoryKeepSel);

    ui_.InkColorSel->SetDefaultColorColor(InkToDisplayColor(kDefaultInkColor));
    // The ink colour as the controls show it. The overlay's last tool and colour were read when the
    // window was made and may have changed since: the controls can come later from an older file.
    InkColor = StoredInkColor(store);
    ui_.InkColorSel->SetSelected(InkToDisplayColor(InkColor));

    ui_.InkBox->setVisible(
        store.ReadInteger(kSettingsKey, SettingName::InkBox, ui_.InkBox->isHidden() ? 0 : 1) != 0);
    PlaceLanguageBox();
    LoadControlValues(store, StoredBoxes(ui_), kSettingsKey);
    // The custom key field follows the loaded choice.
    DisplayHotKeyChange();
}
