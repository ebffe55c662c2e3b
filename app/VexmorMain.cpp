#include "VexmorMain.h"
#include "ui_VexmorMain.h"

#include "CapturePage.h"
#include "HistoryPage.h"
#include "HotKeyController.h"
#include "PictureRequests.h"
#include "Settings.h"
#include "SettingsPage.h"
#include "SettingsStore.h"
#include "TextCapture.h"

#include "CaptureHistory.h"
#include "Export.h"
#include "Globals.h"
#include "CaptureTiming.h"
#include "Input.h"
#include "Platform.h"
#include "Sounds.h"
#include "AllTools.h"
#include "WinTools.h"
#include "Thumb.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QSpinBox>

#include <algorithm>
#include <chrono>
#include <functional>

namespace {

enum { kCapSheet = 0, kSettingsSheet = 1, kAboutSheet = 2, kHistorySheet = 3 };
// The window's height in its form description (its width is the settings tab's).
constexpr int kDesignHeight = 418;
// Until a stored position says otherwise, the window shows near the desktop's lower left corner,
// this far from its left edge and above its bottom edge.
constexpr int kFirstLeft = 24, kFirstAboveBottom = 32;
// The pixel size of the window's face.
constexpr int kFacePixelSize = 12;

} // namespace

// Sees the application's quit request before the windows are asked to close.
class TVexmorMainForm::TQuitWatcher : public QObject {
  public:
    explicit TQuitWatcher(bool* flag) : flag_(flag) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == qApp && event->type() == QEvent::Quit) *flag_ = true;
        return false;
    }

  private:
    bool* flag_;
};

TVexmorMainForm::TVexmorMainForm(QWidget* parent) : TVexmorMainForm(TControlsAt::Creation, parent) {}

TVexmorMainForm::TVexmorMainForm(TControlsAt controlsAt, QWidget* parent) : QWidget(parent) {
    if (controlsAt == TControlsAt::FirstUse) {
        pendingSettings_ = std::make_unique<TSettingsStore>();
        pendingSettings_->Load();
    }
    FormCreate();
}

TVexmorMainForm::~TVexmorMainForm() {
    FormDestroy();
}

// The pictures live in this static library; its resources need registering by hand.
static void InitFormResources() {
    Q_INIT_RESOURCE(VexmorMain);
}

void TVexmorMainForm::FormCreate() {
    InitFormResources();
    // The capture worker brings its own thread; the image primitives are the image library's own
    // loops, so there is no library to bind here.
    SetUpWindow();

    menuIcons_.Load();
    CreateControllers();

    // The texts are made in the stored interface language (the locale's unless one was chosen).
    // So is what the overlay draws with: a capture at launch comes before the controls.
    TSettingsStore read;
    if (!pendingSettings_) read.Load();
    UseInterfaceLanguage(StoredLanguage(pendingSettings_ ? *pendingSettings_ : read));
    LoadOverlaySettings(pendingSettings_ ? *pendingSettings_ : read);

    capture_.CreateThumbMenu(menuIcons_);
    tray_->CreateTrayIcon();
    DiscardCapture();

    versionText_ = VersionString(QCoreApplication::applicationFilePath(), vkFileVersion);

    if (!pendingSettings_) {
        SetUpControls();
    } else {
        // The hot keys work from the start, as the controls would choose them from the same file.
        const TSettingsStore& store = *pendingSettings_;
        hotKeys_->RegisterHotKeys(StoredHotKeyChoice(store), StoredCustomHotKey(store));
        // A stored placement that shows the window needs the controls at once.
        if (store.ReadInteger(PlacementKey(kSettingsKey, this), SettingName::Visible, 0) != 0) MakeControls();
    }

    // A quit asks every window to close; that close must not be turned into a hide.
    quitWatcher_ = std::make_unique<TQuitWatcher>(&quitting_);
    qApp->installEventFilter(quitWatcher_.get());

    // The window exists on the display while hidden, so a later start (and a user's tools) can
    // find it.
    (void)winId();
}

void TVexmorMainForm::CreateControllers() {
    tray_ = std::make_unique<TTrayController>(
        this, menuIcons_,
        TTrayController::TWiring{
            .captureHeld = [this] { return CaptureHeld(); },
            .sizeWindow = [this] { SheetSelectChange(); },
            .showSettingsTab =
                [this] {
                    ui->SheetSelect->setCurrentIndex(kSettingsSheet);
                    SheetSelectChange();
                },
            .startCapture = [this](TCaptureMode mode, bool pin) { StartCapture(mode, pin); }});
    pictures_ = std::make_unique<TPictureRequests>(this, *this);
    hotKeys_ = std::make_unique<THotKeyController>(
        this, THotKeyController::TWiring{.tellUser = std::bind_front(&TTrayController::TellUser, tray_.get()),
                                         .heldChanged =
                                             [this](const QString& text, bool anyHeld) {
                                                 if (PagesMade())
                                                     settingsPage_->ShowHeldKeysNote(text, anyHeld);
                                             },
                                         .startCapture = [this](TCaptureMode mode) { StartCapture(mode); }});
}

// What the window is before it has controls: its name (the settings' placement key), title, frame
// and the size the form description gives it.
void TVexmorMainForm::SetUpWindow() {
    setObjectName(QStringLiteral("VexmorMainForm"));
    setWindowTitle(QStringLiteral("Vexmor"));
    resize(TSettingsPage::kSheetWidth, kDesignHeight);
    // A fixed single border with only the close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
}

void TVexmorMainForm::setVisible(bool visible) {
    if (visible) MakeControls();
    QWidget::setVisible(visible);
}

void TVexmorMainForm::SetUpControls() {
    ui.Allocate();
    ui->setupUi(this);
    QFont face = font();
    // "宋体" where installed, otherwise a CJK-capable face, so that no text shows as boxes.
    face.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback")});
    face.setPixelSize(kFacePixelSize);
    setFont(face);
    CreatePages();
    for (QLabel* label : findChildren<QLabel*>())
        label->adjustSize();
    connect(ui->SheetSelect, &QTabWidget::currentChanged, this, [this](int sheet) {
        if (sheet == kHistorySheet) historyPage_->ShowEntries();
        SheetSelectChange();
    });
    // A new number of captures to keep applies from the next capture on.
    connect(ui->HistoryKeepSel, &QSpinBox::valueChanged, this, [this](int keep) {
        if (history_) history_->SetKeep(keep);
    });

    // The window shows near the lower left corner of the desktop until a stored position says
    // otherwise.
    SheetSelectChange();
    if (const QRect desktop = Platform().display->DesktopBounds(); !desktop.isEmpty())
        move(kFirstLeft, desktop.y() + desktop.height() - kFirstAboveBottom - height());
    LoadControls();
}

void TVexmorMainForm::CreatePages() {
    capturePage_ = std::make_unique<TCapturePage>(this, *ui, *this, &capture_,
                                                  [this] { settingsPage_->RevealInkBox(); });
    const auto heightChanged = [this] {
        if (ui->SheetSelect->currentIndex() == kSettingsSheet) SheetSelectChange();
    };
    settingsPage_ = std::make_unique<TSettingsPage>(
        *ui, TSettingsPage::TWiring{.registerHotKeys =
                                        std::bind_front(&THotKeyController::RegisterHotKeys, hotKeys_.get()),
                                    .heightChanged = heightChanged});
    aboutPage_ = std::make_unique<TAboutPage>(*ui, versionText_);
    historyPage_ = std::make_unique<THistoryPage>(
        ui->HistorySheet,
        THistoryPage::TWiring{.history = [this]() -> TCaptureHistory& { return History(); },
                              .exportSettings = [this] { return capture_.ExportSettingsShown(); }});
    historyPage_->SetPinCapture(
        [this](const TDIB& picture, QRect desktopRect) { pins_.Pin(PinnedPicture(picture, desktopRect)); });
}

// The controls take the settings, then the hot keys and the texts follow them.
void TVexmorMainForm::LoadControls() {
    ui->CapCustomHotKey->SetHotKey(kDesignHotKey);
    // Only a capture shown for naming shows its tab, and that happens with controls made.
    ui->SheetSelect->setTabVisible(kCapSheet, false);
    // A program that waited in the tray loads the file as it was when it started, as it would have then.
    if (const std::unique_ptr<TSettingsStore> settings = std::move(pendingSettings_))
        LoadSettings(*settings);
    else
        LoadSettings();
    ui->StartupBox->setChecked(StartupEntry(seCheck));
    settingsPage_->RegisterHotKeys();
    RetranslateTexts();

    // Key preview: the window sees keys before its controls do.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    if (pendingTexts_) {
        const auto [title, comment] = *std::exchange(pendingTexts_, std::nullopt);
        SetCaptureTexts(title, comment);
    }
}

void TVexmorMainForm::FormDestroy() {
    if (destroyed_) return;
    // The settings are saved from the controls: a program that never made them makes them now, so
    // the file receives exactly what they would have held.
    MakeControls();
    destroyed_ = true;
    qApp->removeEventFilter(quitWatcher_.get());
    hotKeys_->Close();
    // A card still fading out would ask this window where to be after it has gone; the pins close
    // with the window that owns them.
    TThumbForm::DeleteAll();
    pins_.CloseAll();
    // The bytes made for the preview's last drag stop while what they are made from still exists.
    capturePage_->ClearPreview();
    SaveSettings();
    tray_->Close();
}

// --- window events --------------------------------------------------------------------------------

void TVexmorMainForm::closeEvent(QCloseEvent* event) {
    if (destroyed_ || quitting_ || QCoreApplication::closingDown()) {
        event->accept();
        return;
    }
    event->ignore();
    hide();
}

void TVexmorMainForm::keyPressEvent(QKeyEvent* event) {
    FormKeyDown(event);
    if (!event->isAccepted()) QWidget::keyPressEvent(event);
}

void TVexmorMainForm::FormKeyDown(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        hide();
        event->accept();
        return;
    }
    event->ignore();
}

bool TVexmorMainForm::eventFilter(QObject*, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    FormKeyDown(key);
    if (key->isAccepted()) return true;
    key->accept(); // the control itself decides
    return false;
}

void TVexmorMainForm::showEvent(QShowEvent* event) {
    // A fixed single border with the window menu's close command only (the window is not mapped yet:
    // the window manager reads this when it maps it).
    if (!event->spontaneous()) Platform().display->AskForFixedDialogFrame(winId());
    QWidget::showEvent(event);
    FormShow();
}

void TVexmorMainForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    FormHide();
}

void TVexmorMainForm::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    RestackThumb();
}

void TVexmorMainForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Coming to the front is a change of place in the stacking order as much as a move.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) RestackThumb();
    if (event->type() == QEvent::LanguageChange) RetranslateTexts();
}

// --- the tabs ---------------------------------------------------------------------------------------

void TVexmorMainForm::SheetSelectChange() {
    const int sheet = ui->SheetSelect->currentIndex();
    if (sheet == kCapSheet) setFixedSize(capturePage_->SheetSize());
    if (sheet == kSettingsSheet) setFixedSize(settingsPage_->SheetSize());
    if (sheet == kAboutSheet) setFixedSize(TAboutPage::SheetSize());
    if (sheet == kHistorySheet) setFixedSize(historyPage_->SheetSize());
    KeepOnScreen();
}

// A taller tab grows the window downwards from its top; it moves up (and left) as far as it takes to
// stay whole on the screen that holds it, never above that screen's top.
void TVexmorMainForm::KeepOnScreen() {
    const QScreen* s = screen();
    if (!s) return;
    const QRect area = s->availableGeometry();
    const QRect frame = frameGeometry().isValid() ? frameGeometry() : geometry();
    int dx = std::min(0, area.right() - frame.right());
    int dy = std::min(0, area.bottom() - frame.bottom());
    dx = std::max(dx, area.left() - frame.left());
    dy = std::max(dy, area.top() - frame.top());
    if (dx != 0 || dy != 0) move(pos() + QPoint(dx, dy));
}

void TVexmorMainForm::RetranslateTexts() {
    capture_.RetranslateTexts();
    tray_->RetranslateTexts();
    if (!PagesMade()) return;
    ui->retranslateUi(this);
    aboutPage_->RetranslateTexts();
    historyPage_->RetranslateTexts();
    for (QLabel* label : findChildren<QLabel*>())
        if (label != ui->HeldKeysLabel) label->adjustSize();
    // The captions' widths change with the language: the rows that make room for them follow.
    capturePage_->LayoutCaptureSheet();
    aboutPage_->LayOutCredits();
    settingsPage_->JPGQSelChange();
    hotKeys_->RetranslateTexts();
    settingsPage_->SetHeldKeysNoteText(hotKeys_->HeldKeysText());
}

// --- the capture ----------------------------------------------------------------------------------

void TVexmorMainForm::ComeForward() {
    if (!isVisible()) {
        // Without a tray nothing else leads back to a hidden window.
        if (tray_->LeadsBack()) return;
        show();
        SheetSelectChange();
    }
    raise();
    activateWindow();
}

void TVexmorMainForm::StartCapture(TCaptureMode mode, bool pin) {
    tray_->TellOfPermissionDialog();
    ::StartCapture(mode, this, pin);
}

QString TVexmorMainForm::EditPicture(const QString& path) {
    return pictures_->EditFile(path);
}

QString TVexmorMainForm::EditClipboardPicture() {
    return pictures_->EditClipboard();
}

// Until the controls exist the settings file answers for them, and the capture's texts wait for
// them: a capture that is cancelled never needs the window, and one that is confirmed makes it after
// the overlay has gone, so the overlay never waits for it.
bool TVexmorMainForm::CaptureCursorSetting() const {
    return ui.Made() ? ui->CapCursorBox->isChecked() : StoredCaptureCursor(*pendingSettings_);
}

bool TVexmorMainForm::AutoTitleSetting() const {
    return ui.Made() ? ui->AutoTitleBox->isChecked() : StoredAutoTitle(*pendingSettings_);
}

void TVexmorMainForm::SetCaptureTexts(const QString& title, const QString& comment) {
    // The hidden phrase answers at once, as it does in a made window.
    if (!ui.Made() && !IsHiddenPhrase(title)) {
        pendingTexts_ = {title, comment};
        return;
    }
    ui->TitleEdit->setText(title);
    ui->CommentEdit->setText(comment);
}

TCaptureHolder::TWiring TVexmorMainForm::CaptureWiring() {
    return {.discardCapture = [this] { DiscardCapture(); },
            .sizeWindow = [this] { SheetSelectChange(); },
            .showCaptureTab = [this] { ShowCaptureTab(); },
            .showPreviewInTab = [this](const TDIB& picture) { capturePage_->ShowPreviewInTab(picture); },
            .recordCapture = [this](const TDIB& capture, const QString& title,
                                    const QRect& desktopRect) { History().Add(capture, title, desktopRect); },
            .pinCapture = [this] { PinCurrentCapture(); }};
}

// --- the history ------------------------------------------------------------------------------------

TCaptureHistory& TVexmorMainForm::History() {
    if (!history_)
        history_ = std::make_unique<TCaptureHistory>(WorkFolder(false) + HistoryFolderName(),
                                                     ui->HistoryKeepSel->value());
    return *history_;
}

void TVexmorMainForm::ShowHistory() {
    // The tab first, so the window shows at its size at once.
    if (ui->SheetSelect->currentIndex() == kHistorySheet) historyPage_->ShowEntries();
    ui->SheetSelect->setCurrentIndex(kHistorySheet);
    SheetSelectChange();
    show();
    raise();
    activateWindow();
}

// --- pins -------------------------------------------------------------------------------------------

TPinBoard::TWiring TVexmorMainForm::PinWiring() {
    return {.copy = [this](const TPinnedCapture& c) { capture_.CopyPinned(c); },
            .saveAs = [this](const TPinnedCapture& c, QWidget* parent) { capture_.SavePinnedAs(c, parent); },
            .open = [this](const TPinnedCapture& c) { capture_.TakeBack(c); }};
}

std::pair<QString, QString> TVexmorMainForm::CaptureTexts() const {
    if (pendingTexts_) return *pendingTexts_;
    if (!ui.Made()) return {};
    return {ui->TitleEdit->text(), ui->CommentEdit->text()};
}

void TVexmorMainForm::PinCurrentCapture() {
    // The wall-clock time of the request lets a watcher of the screen time the pin's appearance.
    CaptureTimingLine(
        "pin requested at %.6f s",
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count());
    const auto [title, comment] = CaptureTexts();
    pins_.Pin(capture_.PinnedCapture(title, comment));
}

void TVexmorMainForm::TextCaptured(const TDIB& captureImage, const TDIB& flatImage, const TDIB& previewImage,
                                   QPointF previewOrigin, const QRect& desktopRect) {
    TextCapture().Recognise({captureImage, flatImage, previewImage, previewOrigin, desktopRect});
}

TTextCapture& TVexmorMainForm::TextCapture() {
    if (!textCapture_) {
        TTextCapture::TWiring wiring;
        wiring.keepAsPicture = [this](const TTextCapture::TCapturePictures& p) {
            DiscardCapture();
            SetCaptureTexts(QString(), QString());
            StoreCapture(p.captureImage, p.flatImage, p.previewImage, p.previewOrigin, p.desktopRect);
            CaptureFinished();
        };
        wiring.openUrl = [](const QString& url) { (void)Platform().shell->OpenUrl(url); };
        // Read and written in the file at once: the choice is made outside the settings tab.
        wiring.languages = [] {
            TSettingsStore store;
            store.Load();
            return store.ReadString(kSettingsKey, SettingName::TextLanguages);
        };
        wiring.setLanguages = [](const QString& languages) {
            TSettingsStore store;
            store.Load();
            store.WriteString(kSettingsKey, SettingName::TextLanguages, languages);
            (void)store.Save();
        };
        const auto loading = TCaptureClock::now();
        QString failure;
        std::unique_ptr<ITextRecognition> recognition =
            TTextCapture::LoadModule(QCoreApplication::applicationDirPath(), &failure);
        CaptureTimingLine("text module %s in %.0f ms", recognition ? "loaded" : "missing", MsSince(loading));
        textCapture_ = std::make_unique<TTextCapture>(std::move(wiring), std::move(recognition));
        textCapture_->SetModuleFailure(failure);
    }
    return *textCapture_;
}

void TVexmorMainForm::PinCapture() {
    PinCurrentCapture();
    DiscardCapture();
}

void TVexmorMainForm::ShowCaptureTab() {
    ui->SheetSelect->setTabVisible(kCapSheet, true);
    tray_->SetTrayHint(true);
    ui->SheetSelect->setCurrentIndex(kCapSheet);
    SheetSelectChange();
}

void TVexmorMainForm::DiscardCapture() {
    capture_.Discard();
    if (capturePage_) capturePage_->HidePreview();
    if (ui.Made()) ui->SheetSelect->setTabVisible(kCapSheet, false);
    tray_->SetTrayHint(false);
}

void TVexmorMainForm::CaptureOnRequest(TCaptureMode mode, int delayMs, bool pin) {
    if (delayMs > 0) {
        // A newer request replaces the pending one; the tray's check mark shows it.
        tray_->ArmDelayedCapture(mode, delayMs, pin);
        return;
    }
    if (pin && InputForm) {
        InputForm->FinishCapture(true); // an open overlay is confirmed, and pinned
        return;
    }
    if (mode == TCaptureMode::Text && InputForm) {
        InputForm->TextOnConfirm = true; // an open overlay is confirmed for its text
        InputForm->FinishCapture();
        return;
    }
    if (pin)
        StartCapture(mode, true);
    else
        hotKeys_->CaptureKey(mode); // exactly as the capture key: an open overlay is confirmed
}
