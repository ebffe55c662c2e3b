// The main window: the program's hub. Usually hidden, it shows the current capture for naming (the
// capture tab), holds every setting (the settings tab: its controls are the settings) and shows the
// version and credits (the about tab). It is made of parts it wires together:
//   TCaptureHolder     the current capture, what follows it, its export commands and the card's menu
//   TTrayController    the tray icon, its menu, the messages for the user and the delayed capture
//   THotKeyController  the capture hot keys
//   TCapturePage, TSettingsPage, TAboutPage  each tab's layout and the handlers of its controls
//
// Closing it only hides it; the program ends through the tray menu's exit entry (or a signal), and
// the window's destruction is where the settings are saved.
#pragma once

#include "AboutPage.h"
#include "CaptureCommands.h"
#include "CaptureHolder.h"
#include "CaptureMode.h"
#include "CaptureOwner.h"
#include "DIBmp.h"
#include "FormControls.h"
#include "MenuIcons.h"
#include "PinBoard.h"
#include "TrayController.h"

#include <QPointF>
#include <QRect>
#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QMenu;
class QTimer;
class TCaptureHistory;
class TCapturePage;
class THistoryPage;
class THotKeyController;
class TPictureRequests;
class TSettingsPage;
class TSettingsStore;
class TTextCapture;

class TVexmorMainForm : public QWidget, public ICaptureOwner, public ICaptureCommands {
    Q_OBJECT
    // The generated controls and the current capture come first: members below refer to them.
    TFormControls ui{[this] { MakeControls(); }};
    TCaptureHolder capture_{this, ui, *this, CaptureWiring()};

  public:
    // When the tabs and their controls are made. A program waiting in the tray shows none of them,
    // and laying out their texts loads fonts it would then keep for nothing: the resident program
    // makes them on first use (the window shown, a capture, the exit that saves the settings).
    // Until then the settings file read at creation stands in for them: the hot keys and the ink
    // colour come from it, and the controls load exactly that text when they are made.
    enum class TControlsAt { Creation, FirstUse };

    explicit TVexmorMainForm(QWidget* parent = nullptr);
    explicit TVexmorMainForm(TControlsAt controlsAt, QWidget* parent = nullptr);
    ~TVexmorMainForm() override;

    // Whether the tabs and their controls exist yet; MakeControls makes them now.
    bool ControlsMade() const { return ui.Made(); }
    void MakeControls() {
        if (ui.Allocate()) SetUpControls();
    }

    // Showing the window makes its controls first.
    void setVisible(bool visible) override;

    // A later start of the program asked this one to come forward: a shown window is raised and
    // activated; a hidden one stays hidden while the tray icon is the way back to it, and shows where
    // the desktop has no tray.
    void ComeForward();
    // Freezes the desktop and opens the overlay in the given mode (0 chosen key, 1 active window,
    // 2 magnifier); nothing while an overlay is open. With `pin` its confirmation pins the capture.
    void StartCapture(TCaptureMode mode, bool pin = false);
    // Opens a picture file, or the clipboard's picture, in the overlay for editing; the failure told
    // when it cannot (empty when it opened).
    QString EditPicture(const QString& path);
    QString EditClipboardPicture();

    // --- the current capture (held from the overlay's confirmation until DiscardCapture) -----------
    // (see TCaptureHolder).
    TDIB& CaptureImage = capture_.CaptureImage;
    TDIB& FlatImage = capture_.FlatImage;
    TDIB& PreviewImage = capture_.PreviewImage;
    QPointF& PreviewOrigin = capture_.PreviewOrigin;
    bool CaptureHeld() const override { return capture_.CaptureHeld(); }

    // The after-capture handling, run once the overlay has stored the three images.
    void CaptureFinished() override { capture_.CaptureFinished(); }
    // Frees the capture, hides the capture tab, and the tray hint says the program is empty.
    void DiscardCapture() override;

    // What the capture overlay asks of its owner.
    bool CaptureCursorSetting() const override;
    bool AutoTitleSetting() const override;
    void SetCaptureTexts(const QString& title, const QString& comment) override;
    void HideForCapture() override { hide(); }
    void StoreCapture(const TDIB& captureImage, const TDIB& flatImage, const TDIB& previewImage,
                      QPointF previewOrigin, const QRect& desktopRect) override {
        capture_.Store(captureImage, flatImage, previewImage, previewOrigin, desktopRect);
    }
    // A capture confirmed for pinning: it goes to a pin of its own instead of the after-capture
    // handling, and the program holds no capture afterwards.
    void PinCapture() override;
    // A text capture confirmed: its text is recognised and shown near the selection.
    void TextCaptured(const TDIB& captureImage, const TDIB& flatImage, const TDIB& previewImage,
                      QPointF previewOrigin, const QRect& desktopRect) override;
    // The text captures' recognition and windows, made with the first text capture.
    TTextCapture& TextCapture();
    // The pins on the screen.
    TPinBoard& Pins() { return pins_; }
    // After a command on the capture: with "discard after operation" the capture goes and the window
    // hides.
    void AfterOperation() { capture_.AfterOperation(); }
    // Sizes the window for the tab shown.
    void SheetSelectChange();
    void KeepOnScreen();
    // Keeps the thumbnail card directly below this window.
    void RestackThumb() { capture_.RestackThumb(); }

    // Settings, read at creation and written at destruction (the settings file of the platform).
    void LoadSettings();
    void LoadSettings(const TSettingsStore& store);
    void SaveSettings();
    // The display has gone: saves what this run can have changed (nothing, while the controls were
    // never made) without touching a window.
    void SaveSettingsForLostDisplay();

    // The delayed capture is due.
    void DCapTimerTimer() { tray_->DCapTimerTimer(); }
    // A capture asked for from outside (the command line, a later start, the session bus): at once,
    // exactly as the capture key of `mode` (an open overlay is confirmed), or after `delayMs`
    // through the delayed-capture timer, replacing a pending one. With `pin` the capture is pinned to
    // the screen once confirmed.
    void CaptureOnRequest(TCaptureMode mode, int delayMs, bool pin = false);

    // "版本 " followed by this value is what the about tab shows.
    QString VersionText() const { return versionText_; }
    QSystemTrayIcon* TrayIcon() const { return tray_->TrayIcon(); }
    QMenu* TrayMenu() const { return tray_->TrayMenu(); }
    QMenu* ThumbMenu() const { return capture_.ThumbMenu(); }
    QTimer* DCapTimer() const { return tray_->DCapTimer(); }

    // The commands on the current capture. Each does nothing without a capture.
    void ToDesktopBtnClick() override { capture_.ToDesktopBtnClick(); }
    void SaveAsBtnClick() override { capture_.SaveAsBtnClick(); }
    void EmailBtnClick() override { capture_.EmailBtnClick(); }
    void EditBtnClick() override { capture_.EditBtnClick(); }
    void PrintBtnClick() override { capture_.PrintBtnClick(); }
    void ToClipboardBtnClick() override { capture_.ToClipboardBtnClick(); }
    // Discards the capture, then the discard-after-operation rule.
    void DiscardBtnClick() override { capture_.DiscardBtnClick(); }
    void PinBtnClick() override { capture_.PinBtnClick(); }
    // Puts the flat capture on the clipboard, without AfterOperation.
    void CopyToClipboard() override { capture_.CopyToClipboard(); }

    // Tray icon and menu.
    void TrayIconClick() { tray_->TrayIconClick(); }
    void TrayIconDblClick() { tray_->TrayIconDblClick(); }
    void TrayMenuPopup() { tray_->TrayMenuPopup(); }
    // Shows the window with its settings tab.
    void SettingsMenuClick() { tray_->SettingsMenuClick(); }
    // Shows the window with its history tab.
    void ShowHistory();

    // The kept captures, opened on first use (a capture, the history tab) in the work folder.
    TCaptureHistory& History();

    // The web addresses of the about tab's links.
    static QString HomePageUrl() { return TAboutPage::HomePageUrl(); }
    static QString HelpPageUrl() { return TAboutPage::HelpPageUrl(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Key preview: the window sees keys before its controls do.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormCreate();
    void FormDestroy();
    void FormKeyDown(QKeyEvent* event);
    // The card fades in and out with the window.
    void FormShow() { capture_.ShowCardWithWindow(true); }
    void FormHide() { capture_.ShowCardWithWindow(false); }
    // The tray and the hot keys work while the window has no controls.
    void CreateControllers();
    // What the window is before it has controls.
    void SetUpWindow();
    void SetUpControls();
    void CreatePages();
    bool PagesMade() const { return aboutPage_ != nullptr; }
    void LoadControls();
    TCaptureHolder::TWiring CaptureWiring();
    // The capture tab shown and chosen, and the tray hint "full".
    void ShowCaptureTab();
    // The current capture's file name and comment, as the window shows or will show them.
    std::pair<QString, QString> CaptureTexts() const;
    // The current capture on a pin of its own.
    void PinCurrentCapture();
    // Every text this window and its menus set themselves, again in the language now installed (the
    // form's own texts come from its description).
    void RetranslateTexts();

    // The settings file as read at creation, until the controls have loaded it.
    std::unique_ptr<TSettingsStore> pendingSettings_;
    // The last capture's file name and comment, until the controls exist to show them.
    std::optional<std::pair<QString, QString>> pendingTexts_;
    TMenuIcons menuIcons_;
    std::unique_ptr<TTrayController> tray_;
    std::unique_ptr<THotKeyController> hotKeys_;
    std::unique_ptr<TPictureRequests> pictures_;
    // The tabs, made with the controls.
    std::unique_ptr<TCapturePage> capturePage_;
    std::unique_ptr<TSettingsPage> settingsPage_;
    std::unique_ptr<TAboutPage> aboutPage_;
    // The history outlives its tab, which shows it.
    std::unique_ptr<TCaptureHistory> history_;
    std::unique_ptr<THistoryPage> historyPage_;
    std::unique_ptr<TTextCapture> textCapture_;
    TPinBoard pins_{PinWiring()};
    TPinBoard::TWiring PinWiring();
    QString versionText_;
    bool destroyed_ = false;
    bool quitting_ = false;
    class TQuitWatcher;
    std::unique_ptr<TQuitWatcher> quitWatcher_;
};
