#include "VexmorMain.h"
#include "ui_VexmorMain.h"

#include "HotKeyEdit.h"
#include "HotKeys.h"
#include "Settings.h"
#include "SettingsStore.h"

#include "Globals.h"
#include "Input.h"
#include "Platform.h"
#include "ScreenGrab.h"
#include "Sounds.h"
#include "AllTools.h"
#include "WinTools.h"
#include "DragOutPreview.h"
#include "Thumb.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace {

// Client sizes of the capture and about tabs; the settings tab's height follows its groups.
constexpr QSize kCapSheetSize(347, 174);
// Where the card cannot fly, the capture tab grows by this much for the capture's picture, which
// fills the tab below the buttons with this margin.
constexpr int kCapPreviewExtra = 186;
constexpr int kCapPreviewTop = 147;
constexpr int kCapPreviewMargin = 3;
constexpr int kSettingsSheetWidth = 466;
constexpr QSize kAboutSheetSize(433, 280);
// Below the lowest group of the settings tab: its frame, the tab bar and the window's edge.
constexpr int kSettingsBottomMargin = 58;
enum { kCapSheet = 0, kSettingsSheet = 1, kAboutSheet = 2 };

// The custom hot key as designed: Ctrl+F5.
constexpr int kDesignHotKey = 0x4074;
// What the settings tab shows before any file is loaded: the Print Screen choice, the pointer
// captured, the file name and comment filled in automatically.
constexpr int kShippedHotKeyChoice = hcPrintScreen;
constexpr bool kShippedCaptureCursor = true;
constexpr bool kShippedAutoTitle = true;

QString UpperAscii(QString text) {
    for (QChar& c : text)
        if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 32);
    return text;
}

// Typed as the file name, this phrase reveals the ink settings; the Chinese phrase works in either
// language.
const char* const kHiddenPhrase = QT_TRANSLATE_NOOP("TVexmorMainForm", "请显示画笔选项！");

bool IsHiddenPhrase(const QString& text) {
    const QString typed = UpperAscii(text);
    return typed == QString::fromUtf8(kHiddenPhrase) ||
           typed == UpperAscii(QCoreApplication::translate("TVexmorMainForm", kHiddenPhrase));
}

// The README this build carries: installed beside the program's data, or in the source tree of a
// build that was never installed.
QString LocalReadme() {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        programDir + QStringLiteral("/../../share/doc/vexmor/README.md"),
        programDir + QStringLiteral("/README.md"),
        QStringLiteral(VEXMOR_SOURCE_DIR "/README.md"),
    };
    for (const QString& path : candidates)
        if (QFileInfo::exists(path)) return QFileInfo(path).canonicalFilePath();
    return QStringLiteral(VEXMOR_SOURCE_DIR "/README.md");
}

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
    SetupFloatingPoint();
    SetUpWindow();

    menuIcons_.Load();
    CreateControllers();

    // The texts are made in the stored interface language (the locale's unless one was chosen).
    // So is what the overlay draws with: a capture at launch comes before the controls.
    if (pendingSettings_) {
        UseInterfaceLanguage(StoredLanguage(*pendingSettings_));
        LoadOverlaySettings(*pendingSettings_);
    } else {
        TSettingsStore store;
        store.Load();
        UseInterfaceLanguage(StoredLanguage(store));
        LoadOverlaySettings(store);
    }

    capture_.CreateThumbMenu(menuIcons_);
    tray_->CreateTrayIcon();
    DiscardCapture();

    SoundFolder = FindSoundFolder(QCoreApplication::applicationDirPath());
    versionText_ = VersionString(QCoreApplication::applicationFilePath(), vkFileVersion);
    for (const QString& arg : QCoreApplication::arguments().mid(1))
        if (UpperAscii(arg) == QStringLiteral("/TRAY")) TrayFlag = true;

    if (!pendingSettings_) {
        SetUpControls();
    } else {
        // The hot keys work from the start, as the controls would choose them from the same file.
        const TSettingsStore& store = *pendingSettings_;
        hotKeys_->RegisterHotKeys(
            store.ReadInteger(kSettingsKey, SettingName::CapHotKeySel, kShippedHotKeyChoice),
            store.ReadInteger(kSettingsKey, SettingName::CapCustomHotKey, kDesignHotKey));
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

// The tray and the hot keys work while the window has no controls.
void TVexmorMainForm::CreateControllers() {
    tray_ = std::make_unique<TTrayController>(
        this, menuIcons_,
        TTrayController::TWiring{.captureHeld = [this] { return CaptureHeld(); },
                                 .sizeWindow = [this] { SheetSelectChange(); },
                                 .settingsEntry = [this] { SettingsMenuClick(); },
                                 .startCapture = [this](TCaptureMode mode) { StartCapture(mode); }});
    hotKeys_ = std::make_unique<THotKeyController>(
        this,
        THotKeyController::TWiring{
            .tellUser =
                [this](const QString& title, const QString& text, int ms, bool waited,
                       const std::function<void()>& failed) {
                    return tray_->TellUser(title, text, ms, waited, failed);
                },
            .heldChanged = [this](const QString& text, bool anyHeld) { ShowHeldKeysNote(text, anyHeld); },
            .startCapture = [this](TCaptureMode mode) { StartCapture(mode); }});
}

// What the window is before it has controls: its name (the settings' placement key), title, frame
// and the size the form description gives it.
void TVexmorMainForm::SetUpWindow() {
    setObjectName(QStringLiteral("VexmorMainForm"));
    setWindowTitle(QStringLiteral("Vexmor"));
    resize(kSettingsSheetWidth, 418);
    // A fixed single border with only the close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
}

void TVexmorMainForm::MakeControls() {
    if (ui.Allocate()) SetUpControls();
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
    face.setPixelSize(12);
    setFont(face);
    QFont home = ui->URLLabel->font();
    home.setPixelSize(17);
    home.setUnderline(true);
    ui->URLLabel->setFont(home);
    for (QLabel* label : findChildren<QLabel*>())
        label->adjustSize();
    capEditLeft_ = ui->TitleEdit->x();
    for (QLabel* label :
         {ui->CreditLabel, ui->URLLabel, ui->Label5, ui->VersionLabel, ui->Label7, ui->Label8, ui->Label3})
        creditRows_.emplace_back(label, label->y());

    QImage logo = ResourcePng(QStringLiteral(":/vexmor/logo.png"));
    if (!logo.isNull()) {
        TDIBmp glyph;
        glyph = TDIB::FromQImage(logo, 32);
        glyph.SetDrawMode(TDIBmpDrawMode::dmAlphaBlend);
        ui->LogoBmpList->SetGlyph(glyph);
        ui->LogoBmpList->SetILIndex(0);
    }

    capPreview_ = new TDragOutPreview(&capture_, ui->CapSheet);
    capPreview_->setObjectName(QStringLiteral("CapPreview"));
    capPreview_->hide();

    ConnectHandlers();

    // The window shows near the lower left corner of the desktop until a stored position says
    // otherwise.
    SheetSelectChange();
    if (TPlatform& platform = Platform(); platform.display) {
        const QRect desktop = platform.display->DesktopBounds();
        if (!desktop.isEmpty()) move(24, desktop.y() + desktop.height() - 32 - height());
    }

    ui->CapCustomHotKey->SetHotKey(kDesignHotKey);
    // Only a capture shown for naming shows its tab, and that happens with controls made.
    ui->SheetSelect->setTabVisible(kCapSheet, false);
    if (pendingSettings_) {
        // The controls load the file as it was when the program started, as they would have then.
        const std::unique_ptr<TSettingsStore> settings = std::move(pendingSettings_);
        LoadSettings(*settings);
    } else {
        LoadSettings();
    }
    ui->StartupBox->setChecked(StartupEntry(seCheck));
    RegisterHotKeys();

    RetranslateTexts();
    // The logo blends over whatever the page has painted beneath it.
    ui->LogoBmpList->SetQuickFlags(ui->LogoBmpList->QuickFlags() | qfCanvasBackground);

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
    // A card still fading out would ask this window where to be after it has gone.
    TThumbForm::DeleteAll();
    // The bytes made for the preview's last drag stop while what they are made from still exists.
    if (capPreview_) capPreview_->Clear();
    SaveSettings();
    tray_->Close();
}

void TVexmorMainForm::ConnectHandlers() {
    connect(ui->SheetSelect, &QTabWidget::currentChanged, this, [this] { SheetSelectChange(); });
    connect(ui->TitleEdit, &QLineEdit::textChanged, this, &TVexmorMainForm::TitleEditChange);
    connect(ui->TitleEdit, &QLineEdit::returnPressed, this, &TVexmorMainForm::ToDesktopBtnClick);
    connect(ui->CommentEdit, &QLineEdit::returnPressed, this, &TVexmorMainForm::ToDesktopBtnClick);
    connect(ui->ToDesktopBtn, &QPushButton::clicked, this, &TVexmorMainForm::ToDesktopBtnClick);
    connect(ui->SaveAsBtn, &QPushButton::clicked, this, &TVexmorMainForm::SaveAsBtnClick);
    connect(ui->EmailBtn, &QPushButton::clicked, this, &TVexmorMainForm::EmailBtnClick);
    connect(ui->EditBtn, &QPushButton::clicked, this, &TVexmorMainForm::EditBtnClick);
    connect(ui->PrintBtn, &QPushButton::clicked, this, &TVexmorMainForm::PrintBtnClick);
    connect(ui->ToClipboardBtn, &QPushButton::clicked, this, &TVexmorMainForm::ToClipboardBtnClick);
    connect(ui->DiscardBtn, &QPushButton::clicked, this, &TVexmorMainForm::DiscardBtnClick);
    connect(ui->JPGQSel, &QSlider::valueChanged, this, &TVexmorMainForm::JPGQSelChange);
    connect(ui->ScalingSel, &QSlider::valueChanged, this, &TVexmorMainForm::JPGQSelChange);
    connect(ui->InkColorSel, &QComboBox::currentIndexChanged, this, &TVexmorMainForm::InkColorSelChange);
    connect(ui->StartupBox, &QCheckBox::toggled, this, &TVexmorMainForm::StartupBoxClick);
    connect(ui->InterfaceLanguageSel, &QComboBox::currentIndexChanged, this,
            &TVexmorMainForm::InterfaceLanguageSelChange);
    connect(ui->CapHotKeySel, &QComboBox::currentIndexChanged, this, &TVexmorMainForm::DisplayHotKeyChange);
    connect(ui->CapCustomHotKey, &THotKeyEdit::HotKeyChanged, this, &TVexmorMainForm::DisplayHotKeyChange);
    ui->LogoBmpList->OnClick = [this](TQuickBmpList*) { OpenLink(HomePageUrl()); };
    ui->CapSheet->installEventFilter(this);
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

bool TVexmorMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->CapSheet && event->type() == QEvent::Resize) {
        LayoutCaptureSheet();
        return false;
    }
    if (watched == ui->AboutSheet && event->type() == QEvent::Resize) {
        LayOutCredits();
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        FormKeyDown(key);
        if (key->isAccepted()) return true;
        key->accept(); // the control itself decides
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == ui->URLLabel)
            OpenLink(HomePageUrl());
        else if (watched == ui->Label5)
            OpenLink(HelpPageUrl());
        else if (watched == ui->Label7)
            OpenLink(HelpPageUrl() + QStringLiteral("#artwork"));
        else if (watched == ui->Label8)
            OpenLink(QStringLiteral("https://agg.sourceforge.net/antigrain.com/"));
        else if (watched == ui->Label3)
            OpenLink(QStringLiteral("https://sourceforge.net/projects/sox/"));
    }
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

void TVexmorMainForm::FormShow() {
    if (ThumbForm && !capture_.DraggingOut()) ThumbForm->SetVisibleAnim(true);
    RestackThumb();
}

void TVexmorMainForm::FormHide() {
    if (ThumbForm && !capture_.DraggingOut()) ThumbForm->SetVisibleAnim(false);
}

void TVexmorMainForm::LayoutCaptureSheet() {
    // The Chinese labels leave the fields where the form puts them; the longer English ones push them
    // right by the few pixels they need.
    constexpr int kRightMargin = 5, kLabelGap = 4;
    const int left = std::max({capEditLeft_, ui->Label1->geometry().right() + 1 + kLabelGap,
                               ui->Label4->geometry().right() + 1 + kLabelGap});
    for (QLineEdit* edit : {ui->TitleEdit, ui->CommentEdit})
        edit->setGeometry(left, edit->y(), std::max(ui->CapSheet->width() - left - kRightMargin, 40),
                          edit->height());
    if (capPreview_) {
        const QRect sheet = ui->CapSheet->rect();
        capPreview_->setGeometry(
            QRect(QPoint(kCapPreviewMargin, kCapPreviewTop),
                  QPoint(sheet.right() - kCapPreviewMargin, sheet.bottom() - kCapPreviewMargin)));
    }
}

void TVexmorMainForm::LayOutCredits() {
    constexpr int kRightMargin = 4;
    int pushed = 0;
    for (const auto& [label, top] : creditRows_) {
        label->setWordWrap(false);
        label->adjustSize();
        label->move(label->x(), top + pushed);
        const int room = ui->AboutSheet->width() - label->x() - kRightMargin;
        if (label->width() <= room) continue;
        label->setWordWrap(true);
        const int height = label->heightForWidth(room);
        pushed += height - label->height();
        label->resize(room, height);
    }
}

QSize TVexmorMainForm::CapSheetSize() const {
    const bool picture = capPreview_ && !capPreview_->Picture().Empty();
    return picture ? kCapSheetSize + QSize(0, kCapPreviewExtra) : kCapSheetSize;
}

void TVexmorMainForm::ShowPreviewInTab() {
    if (!capPreview_) return;
    capPreview_->SetPicture(PreviewImage);
    capPreview_->setVisible(!PreviewImage.Empty());
}

// --- sheets ---------------------------------------------------------------------------------------

int TVexmorMainForm::SettingsSheetHeight() const {
    return ui->LanguageBox->y() + ui->LanguageBox->height() + kSettingsBottomMargin;
}

void TVexmorMainForm::PlaceLanguageBox() {
    constexpr int kGroupGap = 7;
    const QWidget* above = ui->InkBox->isHidden() ? ui->ImageBox : ui->InkBox;
    ui->LanguageBox->move(ui->LanguageBox->x(), above->y() + above->height() + kGroupGap);
}

void TVexmorMainForm::SheetSelectChange() {
    switch (ui->SheetSelect->currentIndex()) {
    case kCapSheet:
        setFixedSize(CapSheetSize());
        break;
    case kSettingsSheet:
        setFixedSize(kSettingsSheetWidth, SettingsSheetHeight());
        break;
    case kAboutSheet:
        setFixedSize(kAboutSheetSize);
        break;
    default:
        break;
    }
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

void TVexmorMainForm::TitleEditChange(const QString& text) {
    if (!IsHiddenPhrase(text)) return;
    QMessageBox box(QMessageBox::Warning, tr("成功"), tr("在设置选项卡定义标注画笔颜色。"), QMessageBox::Ok,
                    this);
    box.setObjectName(QStringLiteral("InkRevealBox"));
    box.exec();
    ui->InkBox->setVisible(true);
    PlaceLanguageBox();
    if (ui->SheetSelect->currentIndex() == kSettingsSheet) SheetSelectChange();
    ui->TitleEdit->clear();
}

void TVexmorMainForm::InterfaceLanguageSelChange() {
    const int index = ui->InterfaceLanguageSel->currentIndex();
    UseInterfaceLanguage(index == int(TInterfaceLanguage::Chinese)   ? TInterfaceLanguage::Chinese
                         : index == int(TInterfaceLanguage::English) ? TInterfaceLanguage::English
                                                                     : TInterfaceLanguage::Automatic);
}

void TVexmorMainForm::RetranslateTexts() {
    capture_.RetranslateTexts();
    tray_->RetranslateTexts();
    if (!ui.Made()) return;
    ui->retranslateUi(this);
    ui->VersionLabel->setText(tr("版本 ") + versionText_);
    for (QLabel* label : findChildren<QLabel*>())
        if (label != ui->HeldKeysLabel) label->adjustSize();
    // The captions' widths change with the language: the rows that make room for them follow.
    LayoutCaptureSheet();
    LayOutCredits();
    JPGQSelChange();
    hotKeys_->RetranslateTexts();
    ui->HeldKeysLabel->setText(hotKeys_->HeldKeysText());
    LayOutHeldKeysNote();
}

void TVexmorMainForm::JPGQSelChange() {
    ui->JPGLabel->setText(tr("JPG质量(%1)").arg(ui->JPGQSel->value()));
    ui->ScalingLabel->setText(tr("缩放比例(%1%)").arg(ui->ScalingSel->value()));
    ui->JPGLabel->adjustSize();
    ui->ScalingLabel->adjustSize();
}

void TVexmorMainForm::InkColorSelChange() {
    TColorBox* list = ui->InkColorSel;
    if (list->currentIndex() < 0) return;
    const uint32_t bgr =
        list->DefaultSelected() ? list->DefaultColorColor() : list->ColorToRGB(list->Selected());
    InkColor = DisplayToInkColor(bgr);
}

void TVexmorMainForm::StartupBoxClick() {
    StartupEntry(ui->StartupBox->isChecked() ? seWrite : seDelete);
}

void TVexmorMainForm::DisplayHotKeyChange() {
    ui->CapCustomHotKey->setEnabled(ui->CapHotKeySel->currentIndex() == hcCustom);
    RegisterHotKeys();
}

void TVexmorMainForm::RegisterHotKeys() {
    hotKeys_->RegisterHotKeys(ui->CapHotKeySel->currentIndex(), ui->CapCustomHotKey->HotKey());
}

void TVexmorMainForm::ShowHeldKeysNote(const QString& text, bool anyHeld) {
    if (!ui.Made()) return;
    ui->HeldKeysLabel->setText(text);
    ui->HeldKeysLabel->setVisible(anyHeld);
    LayOutHeldKeysNote();
}

// The note on held keys sits under the hot-key row, as tall as its text wraps to at the group's
// width; while it shows, the capture group's rows below it and the groups below that move down by
// as much, and the settings tab grows with them.
void TVexmorMainForm::LayOutHeldKeysNote() {
    constexpr int kGapBelow = 4;
    QLabel* note = ui->HeldKeysLabel;
    const int width = ui->CapBox->width() - 2 * note->x();
    const int height = note->isHidden() ? 0 : note->heightForWidth(width);
    note->resize(width, std::max(height, 1));
    const int shift = note->isHidden() ? 0 : height + kGapBelow;
    const int delta = shift - std::exchange(heldNoteShift_, shift);
    if (delta == 0) return;
    for (QWidget* w : ui->CapBox->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w != note && w->y() > note->y()) w->move(w->x(), w->y() + delta);
    ui->CapBox->resize(ui->CapBox->width(), ui->CapBox->height() + delta);
    for (QWidget* box : {ui->ImageBox, ui->InkBox})
        box->move(box->x(), box->y() + delta);
    PlaceLanguageBox();
    if (ui->SheetSelect->currentIndex() == kSettingsSheet) SheetSelectChange();
}

void TVexmorMainForm::OpenLink(const QString& url) {
    if (TPlatform& platform = Platform(); platform.shell) (void)platform.shell->OpenUrl(url);
}

QString TVexmorMainForm::HomePageUrl() {
    return QUrl::fromLocalFile(LocalReadme()).toString();
}

QString TVexmorMainForm::HelpPageUrl() {
    return QUrl::fromLocalFile(LocalReadme()).toString() + QStringLiteral("#the-main-window");
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

void TVexmorMainForm::StartCapture(TCaptureMode mode) {
    TellOfPermissionDialog();
    ::StartCapture(mode, this);
}

// Where the desktop asks before it gives the program its first picture, the user is told once, as
// the first capture asks, that the dialog is the desktop's and that "Allow" lets every later capture
// through: a dialog from the system, unannounced, reads like something gone wrong.
void TVexmorMainForm::TellOfPermissionDialog() {
    IScreenGrabber* grabber = Platform().grabber.get();
    if (!grabber || GrabbingDesktop() || !grabber->AsksPermissionFirst()) return;
    TSettingsStore store;
    store.Load();
    if (store.ReadInteger(kSettingsKey, SettingName::PermissionNoticeTold, 0) == 1) return;
    const QString text =
        tr("桌面会先询问是否允许 Vexmor 截取屏幕。请在桌面的对话框中选择“允许”，以后的捕获不再询问。");
    if (!tray_->TellUser(QStringLiteral("Vexmor"), text, 15000, false, {}))
        std::fprintf(stderr, "vexmor: %s\n", qPrintable(text));
    store.WriteInteger(kSettingsKey, SettingName::PermissionNoticeTold, 1);
    (void)store.Save();
}

// Until the controls exist the settings file answers for them, and the capture's texts wait for
// them: a capture that is cancelled never needs the window, and one that is confirmed makes it after
// the overlay has gone, so the overlay never waits for it.
bool TVexmorMainForm::CaptureCursorSetting() const {
    if (!ui.Made())
        return LoadCheckValue(*pendingSettings_, kSettingsKey, SettingName::CapCursorBox,
                              kShippedCaptureCursor);
    return ui->CapCursorBox->isChecked();
}

bool TVexmorMainForm::AutoTitleSetting() const {
    if (!ui.Made())
        return LoadCheckValue(*pendingSettings_, kSettingsKey, SettingName::AutoTitleBox, kShippedAutoTitle);
    return ui->AutoTitleBox->isChecked();
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

void TVexmorMainForm::HideForCapture() {
    hide();
}

void TVexmorMainForm::StoreCapture(const TDIB& captureImage, const TDIB& flatImage, const TDIB& previewImage,
                                   QPointF previewOrigin) {
    CaptureImage = captureImage;
    FlatImage = flatImage;
    PreviewImage = previewImage;
    PreviewOrigin = previewOrigin;
}

TCaptureHolder::TWiring TVexmorMainForm::CaptureWiring() {
    return {.afterOperation = [this] { AfterOperation(); },
            .showForNaming = [this] { ShowCaptureForNaming(); },
            .showAgain =
                [this] {
                    ShowCaptureTab();
                    show();
                    raise();
                    activateWindow();
                }};
}

void TVexmorMainForm::ShowCaptureTab() {
    ui->SheetSelect->setTabVisible(kCapSheet, true);
    tray_->SetTrayHint(true);
    ui->SheetSelect->setCurrentIndex(kCapSheet);
    SheetSelectChange();
}

void TVexmorMainForm::ShowCaptureForNaming() {
    const bool fly = TCaptureHolder::CardCanFly();
    if (!fly) ShowPreviewInTab();
    ShowCaptureTab();
    if (fly) capture_.FlyCard();
    // The window comes back where it was, whatever the window manager would choose.
    const QPoint where = pos();
    show();
    move(where);
    raise();
    activateWindow();
    ui->TitleEdit->setFocus();
    ui->TitleEdit->selectAll();
    RestackThumb();
}

void TVexmorMainForm::DiscardCapture() {
    capture_.Discard();
    if (capPreview_) {
        capPreview_->Clear();
        capPreview_->hide();
    }
    if (ui.Made()) ui->SheetSelect->setTabVisible(kCapSheet, false);
    tray_->SetTrayHint(false);
}

void TVexmorMainForm::AfterOperation() {
    if (!ui->PurgeAfterOpBox->isChecked()) return;
    DiscardCapture();
    hide();
    SheetSelectChange();
}

void TVexmorMainForm::RestackThumb() {
    // The card lies directly below this window while both show. Top-level windows have no "stack
    // under" here, so the card goes to the top and this window above it; this window is the active
    // one whenever it moves or shows, so nothing else changes place.
    if (!isVisible() || !ThumbForm || !ThumbForm->isVisible()) return;
    ThumbForm->raise();
    raise();
}

void TVexmorMainForm::DiscardBtnClick() {
    DiscardCapture();
    AfterOperation();
}

void TVexmorMainForm::CaptureOnRequest(TCaptureMode mode, int delayMs) {
    if (delayMs > 0) {
        // A newer request replaces the pending one; the tray's check mark shows it.
        tray_->ArmDelayedCapture(mode, delayMs);
        return;
    }
    hotKeys_->CaptureKey(mode); // exactly as the capture key: an open overlay is confirmed
}

void TVexmorMainForm::SettingsMenuClick() {
    show();
    raise();
    activateWindow();
    ui->SheetSelect->setCurrentIndex(kSettingsSheet);
    SheetSelectChange();
}
