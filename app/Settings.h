// Persistence of the settings tab: which control is stored under which name, the window placement,
// the check-box lists and the autostart entry.
//
// The controls of the main window's settings tab are the settings; nothing here keeps a copy. Names
// are the registry value names the settings were designed with, so existing files keep loading.
#pragma once

#include "Languages.h"

#include <QList>
#include <QString>

#include <cstdint>

class QCheckBox;
class QWidget;
class TSettingsStore;

// Key of the settings and, below it, of the main window's placement.
inline const QString kSettingsKey = QStringLiteral("Software\\Vexmor");

// Value names. Every one is stored as text: integers signed decimal, booleans "0" or "1".
namespace SettingName {
inline const QString CapCustomHotKey = QStringLiteral("CapCustomHotKey");
inline const QString CapHotKeySel = QStringLiteral("CapHotKeySel");
inline const QString AfterCaptureSel = QStringLiteral("AfterCaptureSel");
inline const QString FormatSel = QStringLiteral("FormatSel");
inline const QString EditFormatSel = QStringLiteral("EditFormatSel");
inline const QString JPGQSel = QStringLiteral("JPGQSel");
inline const QString ScalingSel = QStringLiteral("ScalingSel");
// How many captures the history keeps (0 none).
inline const QString HistoryKeepSel = QStringLiteral("HistoryKeepSel");
inline const QString InkColor = QStringLiteral("画笔颜色");
inline const QString InkBox = QStringLiteral("InkBox");
inline const QString AlwaysCBBox = QStringLiteral("AlwaysCBBox");
inline const QString PurgeAfterOpBox = QStringLiteral("PurgeAfterOpBox");
inline const QString CapCursorBox = QStringLiteral("CapCursorBox");
inline const QString AutoTitleBox = QStringLiteral("AutoTitleBox");
inline const QString TransPNGBox = QStringLiteral("TransPNGBox");
// The interface language: 0 the locale's, 1 Chinese, 2 English (TInterfaceLanguage).
inline const QString InterfaceLanguageSel = QStringLiteral("InterfaceLanguageSel");
// 1 once the user was told that the desktop asks for permission before the first capture.
inline const QString PermissionNoticeTold = QStringLiteral("PermissionNoticeTold");
// The overlay's last annotation tool (by name: "pen", "arrow", ...) and palette colour (1-8).
inline const QString AnnotationTool = QStringLiteral("AnnotationTool");
inline const QString AnnotationColour = QStringLiteral("AnnotationColour");
// The text capture's languages: the engine's language names joined by "+" ("chi_sim+eng"); empty or
// absent for every language installed.
inline const QString TextLanguages = QStringLiteral("TextLanguages");
// Placement values below "<key>\<object name>".
inline const QString State = QStringLiteral("State");
inline const QString Left = QStringLiteral("Left");
inline const QString Top = QStringLiteral("Top");
inline const QString Width = QStringLiteral("Width");
inline const QString Height = QStringLiteral("Height");
inline const QString Parent = QStringLiteral("Parent");
inline const QString Visible = QStringLiteral("Visible");
} // namespace SettingName

// The ink colour as shipped: red 216.
inline constexpr uint32_t kDefaultInkColor = 0xFFD80000u;

// 0xAARRGGBB -> 0x00BBGGRR (the colour list's order, alpha dropped) and back with alpha 0xFF.
constexpr uint32_t InkToDisplayColor(uint32_t ink) {
    return ((ink & 0xFFu) << 16) | (ink & 0xFF00u) | ((ink >> 16) & 0xFFu);
}
constexpr uint32_t DisplayToInkColor(uint32_t bgr) {
    return 0xFF000000u | ((bgr & 0xFFu) << 16) | (bgr & 0xFF00u) | ((bgr >> 16) & 0xFFu);
}

// The stored interface language; a value out of the list (a newer or forged file) is the locale's.
TInterfaceLanguage StoredLanguage(const TSettingsStore& store);
// What the controls of the settings tab would load, read before they exist.
bool StoredCaptureCursor(const TSettingsStore& store);
bool StoredAutoTitle(const TSettingsStore& store);
int StoredHotKeyChoice(const TSettingsStore& store);
int StoredCustomHotKey(const TSettingsStore& store);
// The custom hot key as designed: Ctrl+F5.
inline constexpr int kDesignHotKey = 0x4074;
// What the overlay draws with: the ink colour, the last annotation tool and palette colour. Read before
// the first capture, which may come before the settings' controls exist.
void LoadOverlaySettings(const TSettingsStore& store);
void SaveOverlaySettings(TSettingsStore& store);

// Placement options (a bit set).
enum TPlacementOption {
    poPosition = 0x01,
    poSize = 0x02,
    poVisibility = 0x04,
    poDocking = 0x10,
    poParentName = 0x20
};

QString PlacementKey(const QString& key, const QWidget* window);
void SavePlacement(TSettingsStore& store, const QWidget* window, const QString& key, int options);
// A stored position that would put the window wholly off every monitor is not applied: the window
// keeps the position it has, so a removed monitor cannot take the window with it.
void LoadPlacement(const TSettingsStore& store, QWidget* window, const QString& key);

// Check boxes by object name: 1 ticked, 0 not. Loading ticks a box exactly when its stored number is 1
// and leaves it alone when the value is missing or not a number.
void SaveControlValues(TSettingsStore& store, const QList<QCheckBox*>& boxes, const QString& key);
void LoadControlValues(const TSettingsStore& store, const QList<QCheckBox*>& boxes, const QString& key);
// What loading makes of one check box that is `current` now.
bool LoadCheckValue(const TSettingsStore& store, const QString& key, const QString& name, bool current);

// The desktop session's autostart entry for this program (started with " /Tray").
// 0 removes it, 1 writes it, 2 tells whether it is there for this program (letter case ignored).
// Errors are swallowed; the check then answers false.
enum TStartupAction { seDelete = 0, seWrite = 1, seCheck = 2 };
bool StartupEntry(int action);
