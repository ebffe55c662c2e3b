// The settings tab's layout and the handlers of its controls (the controls are the settings; see
// Settings.h for how they are stored). The note on hot keys held elsewhere sits under the hot-key
// row, and the interface language group below the lowest group shown.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QSize>

#include <functional>

class TSettingsStore;
namespace Ui {
class VexmorMainForm;
}

class TSettingsPage : public QObject {
    // The texts keep the main window's context in the catalogue.
    Q_DECLARE_TR_FUNCTIONS(TVexmorMainForm)

  public:
    static constexpr int kSheetWidth = 466;

    struct TWiring {
        // The hot-key choice (the list's index and the custom code) is to be registered.
        std::function<void(int choice, int customCode)> registerHotKeys;
        // The tab's height changed.
        std::function<void()> heightChanged;
    };

    TSettingsPage(Ui::VexmorMainForm& ui, TWiring wiring);

    // The controls' values to and from the settings file (the window's placement is the window's).
    void SaveControls(TSettingsStore& store) const;
    void LoadControls(const TSettingsStore& store);

    // The tab's client size: its height follows its groups.
    QSize SheetSize() const;
    // The language group sits below the lowest group shown (the ink group shows only once revealed).
    void PlaceLanguageBox();
    // The hidden phrase shows the ink group.
    void RevealInkBox();
    // The note on the hot keys held elsewhere: its text and whether it shows, or only its text.
    void ShowHeldKeysNote(const QString& text, bool anyHeld);
    void SetHeldKeysNoteText(const QString& text);
    // Registers the hot keys of the choice shown.
    void RegisterHotKeys();

    // The handlers (loading the settings and a language change run some of them too).
    void DisplayHotKeyChange();
    void JPGQSelChange();
    void InkColorSelChange();
    void StartupBoxClick();
    // The interface language chosen takes effect at once.
    void InterfaceLanguageSelChange();

  private:
    void LayOutHeldKeysNote();

    Ui::VexmorMainForm& ui_;
    TWiring wiring_;
    int heldNoteShift_ = 0; // how far the note on held keys pushes the tab's rows down
};
