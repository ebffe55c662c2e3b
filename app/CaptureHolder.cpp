#include "CaptureHolder.h"
#include "ui_VexmorMain.h"

#include "FormControls.h"
#include "MenuIcons.h"

#include "Export.h"
#include "HandOffs.h"
#include "Platform.h"

#include <QAction>
#include <QMenu>
#include <QTimer>
#include <QWidget>

namespace {

// What follows a capture: the after-capture list's choices, numbered by their index there (which the
// settings file stores).
enum class TAfterCapture : int { ShowCapture = 0, SaveToDesktop = 1, Edit = 2, CopyToClipboard = 3 };

// The choice at an index of the list; an index outside it (-1: no selection) shows the capture.
TAfterCapture AfterCaptureFromIndex(int index) {
    if (index < int(TAfterCapture::ShowCapture) || index > int(TAfterCapture::CopyToClipboard))
        return TAfterCapture::ShowCapture;
    return TAfterCapture(index);
}

// A drop's target is waiting for its data: answer it first, then show the box.
void DeferErrorBox(TExporter& exporter, QObject* context) {
    auto showError = exporter.Services().showError;
    exporter.Services().showError = [context, showError](QWidget* parent, const QString& text,
                                                         const QString& caption) {
        QTimer::singleShot(0, context,
                           [parent, text, caption, showError] { showError(parent, text, caption); });
    };
}

// The settings as the controls show them.
TExportSettings SettingsShown(const Ui::VexmorMainForm& ui) {
    TExportSettings s;
    s.title = ui.TitleEdit->text();
    s.comment = ui.CommentEdit->text();
    // A list without selection counts as its nearest entry, for the file's name and its encoder alike.
    s.format = ClampFormat(ui.FormatSel->currentIndex());
    s.editFormat = ClampFormat(ui.EditFormatSel->currentIndex());
    s.jpegQuality = ui.JPGQSel->value();
    s.scaling = ui.ScalingSel->value();
    s.transparentPng = ui.TransPNGBox->isChecked();
    return s;
}

std::optional<TImageFormat> SelectedFormat(const Ui::VexmorMainForm& ui) {
    return ImageFormatFromIndex(ui.FormatSel->currentIndex());
}

} // namespace

class TCaptureHolder::TExportOwner : public IExportOwner {
  public:
    explicit TExportOwner(TCaptureHolder& holder) : holder_(holder) {}
    TDIB HeldCaptureImage() const override { return holder_.CaptureImage; }
    TDIB HeldFlatImage() const override { return holder_.FlatImage; }
    TExportSettings ExportSettings() const override { return SettingsShown(*holder_.ui_); }
    void AfterOperation() override { holder_.AfterOperation(); }
    // A failed automatic save or edit leaves the window hidden: bring the capture up for another try.
    void ShowCapture() override {
        if (holder_.window_->isVisible() || !holder_.CaptureHeld()) return;
        holder_.wiring_.showCaptureTab();
        holder_.window_->show();
        holder_.BringOwnerForward();
    }
    QWidget* DialogParent() const override { return holder_.window_; }

  private:
    TCaptureHolder& holder_;
};

TCaptureHolder::TCaptureHolder(QWidget* window, const TFormControls& ui, ICaptureCommands& commands,
                               TWiring wiring)
    : window_(window), ui_(ui), commands_(commands), wiring_(std::move(wiring)) {}

TCaptureHolder::~TCaptureHolder() = default;

void TCaptureHolder::Store(const TDIB& captureImage, const TDIB& flatImage, const TDIB& previewImage,
                           QPointF previewOrigin, const QRect& captureRect) {
    CaptureImage = captureImage;
    FlatImage = flatImage;
    PreviewImage = previewImage;
    PreviewOrigin = previewOrigin;
    CaptureRect = captureRect;
}

void TCaptureHolder::CaptureFinished() {
    // Before the action that follows, which may discard the capture.
    if (wiring_.recordCapture && CaptureHeld())
        wiring_.recordCapture(CaptureImage, ui_->TitleEdit->text(), CaptureRect);
    if (ui_->AlwaysCBBox->isChecked()) commands_.CopyToClipboard();
    switch (AfterCaptureFromIndex(ui_->AfterCaptureSel->currentIndex())) {
    case TAfterCapture::SaveToDesktop:
        commands_.ToDesktopBtnClick();
        break;
    case TAfterCapture::Edit:
        commands_.EditBtnClick();
        break;
    case TAfterCapture::CopyToClipboard:
        commands_.ToClipboardBtnClick();
        break;
    case TAfterCapture::ShowCapture:
        ShowCaptureForNaming();
        break;
    }
    shownPreview_ = PreviewImage;
    PreviewImage.Clear();
}

TExportSettings TCaptureHolder::ExportSettingsShown() const {
    return SettingsShown(*ui_);
}

void TCaptureHolder::ShowCaptureForNaming() {
    const bool fly = CardCanFly();
    if (!fly) wiring_.showPreviewInTab(PreviewImage);
    wiring_.showCaptureTab();
    if (fly) FlyCard();
    // The window comes back where it was, whatever the window manager would choose.
    const QPoint where = window_->pos();
    window_->show();
    window_->move(where);
    window_->raise();
    window_->activateWindow();
    ui_->TitleEdit->setFocus();
    ui_->TitleEdit->selectAll();
    RestackThumb();
}

void TCaptureHolder::AfterOperation() {
    if (!ui_->PurgeAfterOpBox->isChecked()) return;
    wiring_.discardCapture();
    window_->hide();
    wiring_.sizeWindow();
}

void TCaptureHolder::Discard() {
    TThumbForm::Discard();
    CaptureImage.Clear();
    FlatImage.Clear();
    PreviewImage.Clear();
    shownPreview_.Clear();
    CaptureRect = QRect();
}

// --- pins -------------------------------------------------------------------------------------------

TPinnedCapture TCaptureHolder::PinnedCapture(const QString& title, const QString& comment) const {
    if (!CaptureHeld()) return {};
    return {.captureImage = CaptureImage,
            .flatImage = FlatImage,
            .previewImage = PreviewImage.Empty() ? shownPreview_ : PreviewImage,
            .previewOrigin = PreviewOrigin,
            .desktopRect = CaptureRect,
            .title = title,
            .comment = comment};
}

void TCaptureHolder::TakeBack(const TPinnedCapture& capture) {
    if (capture.captureImage.Empty() || capture.flatImage.Empty()) return;
    wiring_.discardCapture();
    Store(capture.captureImage, capture.flatImage, capture.previewImage, capture.previewOrigin,
          capture.desktopRect);
    ui_->TitleEdit->setText(capture.title);
    ui_->CommentEdit->setText(capture.comment);
    ShowCaptureForNaming();
    shownPreview_ = PreviewImage;
    PreviewImage.Clear();
}

void TCaptureHolder::CopyPinned(const TPinnedCapture& capture) {
    if (!capture.flatImage.Empty()) CopyImageToClipboard(capture.flatImage);
}

void TCaptureHolder::SavePinnedAs(const TPinnedCapture& capture, QWidget* parent) {
    TFunctionExportOwner owner;
    owner.captureImage = [capture] { return capture.captureImage; };
    owner.flatImage = [capture] { return capture.flatImage; };
    owner.settings = [this, capture] {
        TExportSettings s = SettingsShown(*ui_);
        s.title = capture.title;
        s.comment = capture.comment;
        return s;
    };
    owner.parent = parent;
    TExporter exporter(owner);
    exporter.SaveAsBtnClick();
}

bool TCaptureHolder::CardCanFly() {
    return Platform().Can(TCapability::PlaceWindows);
}

void TCaptureHolder::FlyCard() {
    if (!ThumbForm && !PreviewImage.Empty()) TThumbForm::Create(this, PreviewImage, PreviewOrigin);
}

void TCaptureHolder::ShowCardWithWindow(bool shown) {
    if (ThumbForm && !dragOutHiding_) ThumbForm->SetVisibleAnim(shown);
    if (shown) RestackThumb();
}

void TCaptureHolder::RestackThumb() {
    // The card lies directly below the window while both show. Top-level windows have no "stack
    // under" here, so the card goes to the top and the window above it; the window is the active
    // one whenever it moves or shows, so nothing else changes place.
    if (!window_->isVisible() || !ThumbForm || !ThumbForm->isVisible()) return;
    ThumbForm->raise();
    window_->raise();
}

// --- the card's menu --------------------------------------------------------------------------------

void TCaptureHolder::CreateThumbMenu(const TMenuIcons& icons) {
    thumbMenu_ = new QMenu(window_);
    thumbMenu_->setObjectName(QStringLiteral("ThumbMenu"));
    auto add = [this, &icons](const char* caption, int icon, void (ICaptureCommands::*command)()) {
        QAction* a = thumbMenu_->addAction(icons.Icon(icon), tr(caption));
        menuTexts_.emplace_back(a, caption);
        QObject::connect(a, &QAction::triggered, window_, [this, command] { (commands_.*command)(); });
        return a;
    };
    add(QT_TR_NOOP("保存到桌面(&D)"), TMenuIcons::icSave, &ICaptureCommands::ToDesktopBtnClick);
    add(QT_TR_NOOP("保存为(&S)..."), TMenuIcons::icSave, &ICaptureCommands::SaveAsBtnClick);
    add(QT_TR_NOOP("通过Email发送(&M)..."), TMenuIcons::icMail, &ICaptureCommands::EmailBtnClick);
    add(QT_TR_NOOP("编辑(&E)..."), TMenuIcons::icEdit, &ICaptureCommands::EditBtnClick);
    add(QT_TR_NOOP("打印(&P)..."), -1, &ICaptureCommands::PrintBtnClick);
    add(QT_TR_NOOP("保存到剪贴板(&C)"), TMenuIcons::icClipboard, &ICaptureCommands::ToClipboardBtnClick);
    add(QT_TR_NOOP("钉在屏幕上(&N)"), -1, &ICaptureCommands::PinBtnClick);
    thumbMenu_->addSeparator();
    add(QT_TR_NOOP("抛弃(&R)"), TMenuIcons::icExit, &ICaptureCommands::DiscardBtnClick);
}

void TCaptureHolder::RetranslateTexts() {
    for (const auto& [action, source] : menuTexts_)
        action->setText(tr(source));
}

// --- the commands -----------------------------------------------------------------------------------

void TCaptureHolder::RunExport(void (TExporter::*command)()) {
    TExportOwner owner(*this);
    TExporter exporter(owner);
    (exporter.*command)();
}

void TCaptureHolder::ToDesktopBtnClick() {
    RunExport(&TExporter::ToDesktopBtnClick);
}
void TCaptureHolder::SaveAsBtnClick() {
    RunExport(&TExporter::SaveAsBtnClick);
}
void TCaptureHolder::EmailBtnClick() {
    RunExport(&TExporter::EmailBtnClick);
}
void TCaptureHolder::EditBtnClick() {
    RunExport(&TExporter::EditBtnClick);
}
void TCaptureHolder::PrintBtnClick() {
    RunExport(&TExporter::PrintBtnClick);
}

void TCaptureHolder::CopyToClipboard() {
    if (FlatImage.Empty()) return;
    // Shares the picture (no second copy at the capture's largest moment) until the clipboard has it
    // spooled away from the program's memory.
    CopyImageToClipboard(FlatImage);
}

void TCaptureHolder::ToClipboardBtnClick() {
    if (!CaptureHeld()) return;
    commands_.CopyToClipboard();
    AfterOperation();
}

void TCaptureHolder::PinBtnClick() {
    if (!CaptureHeld()) return;
    if (wiring_.pinCapture) wiring_.pinCapture();
    AfterOperation();
}

void TCaptureHolder::DiscardBtnClick() {
    wiring_.discardCapture();
    AfterOperation();
}

// --- the card ---------------------------------------------------------------------------------------

bool TCaptureHolder::OwnerVisible() const {
    return window_->isVisible();
}

QRect TCaptureHolder::OwnerBounds() const {
    return window_->frameGeometry();
}

void TCaptureHolder::BringOwnerForward() {
    window_->raise();
    window_->activateWindow();
}

void TCaptureHolder::PopupThumbMenu(const QPoint& globalPos) {
    thumbMenu_->popup(globalPos);
}

void TCaptureHolder::HideForDragOut() {
    dragOutHiding_ = true;
    window_->hide();
}

void TCaptureHolder::ShowAfterDragOut() {
    dragOutHiding_ = false;
    // A capture discarded meanwhile leaves the window as it is.
    if (!CaptureHeld()) return;
    window_->show();
    BringOwnerForward();
}

QString TCaptureHolder::DragFileName() {
    return MakeWorkFileName(ui_->TitleEdit->text(), ClampFormat(ui_->FormatSel->currentIndex()));
}

std::unique_ptr<TPreparedFile> TCaptureHolder::PrepareDragFile() {
    if (!CaptureHeld()) return nullptr;
    const TDIB capture = CaptureImage, flat = FlatImage;
    const TExportSettings settings = SettingsShown(*ui_);
    const std::optional<TImageFormat> format = SelectedFormat(*ui_);
    // The worker only reads these images' pixels; the references themselves stay on this thread.
    auto work = [capture, flat, settings, format](const std::atomic_bool& cancelled) {
        // Without a chosen format there is nothing to write.
        return format ? EncodeCaptureBytes(capture, flat, settings, *format, &cancelled) : std::nullopt;
    };
    auto stillCurrent = [this, capture, flat, settings, format] {
        return CaptureImage.SharesWith(capture) && FlatImage.SharesWith(flat) &&
               SettingsShown(*ui_) == settings && SelectedFormat(*ui_) == format;
    };
    return std::make_unique<TPreparedFile>(std::move(work), std::move(stillCurrent));
}

QString TCaptureHolder::SaveDragFile(const QString& path, TPreparedFile* prepared) {
    if (prepared && prepared->StillCurrent())
        if (std::optional<QByteArray> bytes = prepared->Take()) {
            TExportOwner owner(*this);
            TExporter exporter(owner);
            DeferErrorBox(exporter, window_);
            const std::optional<TImageFormat> format = SelectedFormat(*ui_);
            return format ? exporter.SaveEncodedCapture(path, *format, *bytes) : QString();
        }
    return SaveDragFileAfresh(path);
}

QString TCaptureHolder::SaveDragFileAfresh(const QString& path) {
    TExportOwner owner(*this);
    TExporter exporter(owner);
    DeferErrorBox(exporter, window_);
    const std::optional<TImageFormat> format = SelectedFormat(*ui_);
    return format ? exporter.SaveCapture(path, *format) : QString();
}
