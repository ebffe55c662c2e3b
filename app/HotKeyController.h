// The three capture hot keys of the current choice, taken from the desktop, and what the user is
// told about combinations another program holds. Those are named next to the choice in the settings
// tab, and once per start in the tray icon's message; both follow every registration and every
// change of the keyboard mapping.
#pragma once

#include "CaptureMode.h"
#include "HotKeys.h"

#include <QList>
#include <QString>

#include <functional>

class QObject;
class QTimer;

class THotKeyController {
  public:
    struct TWiring {
        // A message for the user outside the window (see TTrayController::TellUser).
        std::function<bool(const QString& title, const QString& text, int ms, bool waitedForTray,
                           const std::function<void()>& failed)>
            tellUser;
        // The held combinations changed: the settings tab names them (none held: the note hides).
        std::function<void(const QString& text, bool anyHeld)> heldChanged;
        // A capture in `mode` is to start.
        std::function<void(TCaptureMode mode)> startCapture;
    };

    // `window` carries the timer that waits for a tray.
    THotKeyController(QObject* window, TWiring wiring);

    // The combinations of a choice of the hot-key list and the custom code, replacing those held now.
    void RegisterHotKeys(int choice, int customCode);
    // Gives the keys back and stops hearing of keyboard mappings.
    void Close();
    // A capture key: confirms an open overlay, otherwise starts a capture in its mode.
    void CaptureKey(TCaptureMode mode);
    // What the user is told about the held combinations, in the language now installed.
    QString HeldKeysText() const { return heldKeysText_; }
    void RetranslateTexts();

  private:
    void UnregisterHotKeys();
    void ReportHeldHotKeys(const QList<THotKeyRegistration>& held);
    void TellHeldHotKeys();
    void WaitForTray();
    static QString HeldText(const QList<THotKeyRegistration>& held);
    // A capture hot key (its identifier is its mode's number).
    void HotKeyPressed(int id);

    QObject* window_;
    TWiring wiring_;
    // The combinations of the current choice, and what the user is told about those held elsewhere.
    QList<THotKeyRegistration> hotKeys_;
    QList<THotKeyRegistration> heldKeys_;
    QString heldKeysText_;
    bool heldKeysTold_ = false;
    QTimer* trayWait_ = nullptr;
    int trayWaits_ = 0;
};
