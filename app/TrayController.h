// The tray icon with its menu and hint, the messages for the user outside the window (the icon's
// balloons, or the desktop's notifications where there is no tray), and the delayed capture the
// menu's capture entries start.
#pragma once

#include "CaptureMode.h"

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <functional>
#include <utility>
#include <vector>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class QWidget;
class TMenuIcons;
struct TDesktopOffers;

// When set, the tray icon's balloons go here instead (tests); messages without a tray still go to
// the desktop's notifications.
inline std::function<void(const QString& title, const QString& text)> TrayMessageHook;

// The tray menu's capture entries carry their delay in milliseconds; "now" is a short one too.
inline constexpr int kCaptureNowMs = 50;
inline constexpr int kCaptureIn5sMs = 5000;
inline constexpr int kCaptureIn30sMs = 30000;

class TTrayController {
    // The texts keep the main window's context in the catalogue.
    Q_DECLARE_TR_FUNCTIONS(TVexmorMainForm)

  public:
    // What the tray asks of the window it leads to.
    struct TWiring {
        std::function<bool()> captureHeld;     // the hint tells whether a capture is held
        std::function<void()> sizeWindow;      // the window was shown: size it for its tab
        std::function<void()> showSettingsTab; // the settings tab is to be chosen
        std::function<void(TCaptureMode, bool pin)>
            startCapture; // the delayed capture is due, or a menu entry
    };

    // The timer is made at once; the menu and the icon by CreateTrayIcon.
    TTrayController(QWidget* window, const TMenuIcons& icons, TWiring wiring);
    ~TTrayController();

    // The menu, and the icon itself once a tray host exists (or on X11, where Qt docks it into a tray
    // that comes later): Qt decides once per run, as the icon is made, whether it is a
    // StatusNotifierItem, and an icon made before a late item host appears would never show there.
    void CreateTrayIcon();
    // Hides the icon and lets go of the desktop's offers and of a pending delayed capture.
    void Close();

    QSystemTrayIcon* TrayIcon() const { return trayIcon_; }
    QMenu* TrayMenu() const { return trayMenu_; }
    QTimer* DCapTimer() const { return dCapTimer_; }
    // The hint: "full" while a capture is held.
    void SetTrayHint(bool full);
    // Whether the icon is there to lead back to a hidden window.
    bool LeadsBack() const;
    void RetranslateTexts();

    // A message for the user outside the window: the tray icon's balloon where there is a tray, the
    // desktop's notification where there is none; false when neither is there (yet). `failed` hears
    // when the notification service refuses it afterwards.
    bool TellUser(const QString& title, const QString& text, int ms, bool waitedForTray,
                  const std::function<void()>& failed);

    // Where the desktop asks before it gives the program its first picture, the user is told once,
    // as the first capture asks, that the dialog is the desktop's and that "Allow" lets every later
    // capture through: a dialog from the system, unannounced, reads like something gone wrong.
    void TellOfPermissionDialog();

    // Starts the delayed-capture timer for a capture in `mode` after `delayMs`, replacing a pending one.
    void ArmDelayedCapture(TCaptureMode mode, int delayMs, bool pin = false);

    void TrayIconClick();
    void TrayIconDblClick();
    void TrayMenuPopup();
    // The capture entries: start the delayed-capture timer with the entry's delay, or stop a pending one.
    void DCapMenuClick(QAction* entry);
    void DCapTimerTimer();
    // Shows the window with its settings tab.
    void SettingsMenuClick();
    void ExitMenuClick();

  private:
    void MakeTrayIcon();
    QAction* AddEntry(const char* name, const char* caption, int icon);
    void AddCaptureEntries();
    void DesktopOffersChanged(const TDesktopOffers& offers);
    TDesktopOffers DesktopOffers() const;

    QWidget* window_;
    const TMenuIcons& icons_;
    TWiring wiring_;
    QSystemTrayIcon* trayIcon_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QTimer* dCapTimer_ = nullptr;
    // When the pending delayed capture is due: a timer may fire a little early, the capture never does.
    std::chrono::steady_clock::time_point dCapDue_;
    TCaptureMode dCapMode_ = TCaptureMode::Desktop; // the mode the pending delayed capture starts
    bool dCapPin_ = false;                          // and whether it is pinned once confirmed
    QAction* dCapLongEntry_ = nullptr;
    // The menu's entries and the texts they were made with, to be looked up again on a language change.
    std::vector<std::pair<QAction*, const char*>> menuTexts_;
    bool traySeen_ = false;
    bool noticesFailed_ = false; // the notification service failed a call: not asked again
    bool trayIsItem_ = false;    // the icon is a StatusNotifierItem: the host's one click is Activate
};
