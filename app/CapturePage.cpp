#include "CapturePage.h"
#include "ui_VexmorMain.h"

#include "CaptureCommands.h"

#include "DragOutPreview.h"

#include <QEvent>
#include <QMessageBox>

#include <algorithm>

namespace {

constexpr QSize kCapSheetSize(347, 211);
// Where the card cannot fly, the tab grows by this much for the capture's picture, which fills the
// tab below the buttons with this margin.
constexpr int kCapPreviewExtra = 186;
constexpr int kCapPreviewTop = 184;
constexpr int kCapPreviewMargin = 3;

const char* const kHiddenPhrase = QT_TRANSLATE_NOOP("TVexmorMainForm", "请显示画笔选项！");

} // namespace

QString UpperAscii(QString text) {
    for (QChar& c : text)
        if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 32);
    return text;
}

bool IsHiddenPhrase(const QString& text) {
    const QString typed = UpperAscii(text);
    return typed == QString::fromUtf8(kHiddenPhrase) ||
           typed == UpperAscii(QCoreApplication::translate("TVexmorMainForm", kHiddenPhrase));
}

TCapturePage::TCapturePage(QWidget* window, Ui::VexmorMainForm& ui, ICaptureCommands& commands,
                           IThumbOwner* thumbOwner, std::function<void()> revealInk)
    : window_(window), ui_(ui), revealInk_(std::move(revealInk)), capEditLeft_(ui.TitleEdit->x()) {
    capPreview_ = new TDragOutPreview(thumbOwner, ui_.CapSheet);
    capPreview_->setObjectName(QStringLiteral("CapPreview"));
    capPreview_->hide();
    ConnectHandlers(commands);
    ui_.CapSheet->installEventFilter(this);
}

void TCapturePage::ConnectHandlers(ICaptureCommands& commands) {
    ICaptureCommands* c = &commands;
    connect(ui_.TitleEdit, &QLineEdit::textChanged, this, &TCapturePage::TitleEditChange);
    connect(ui_.TitleEdit, &QLineEdit::returnPressed, this, [c] { c->ToDesktopBtnClick(); });
    connect(ui_.CommentEdit, &QLineEdit::returnPressed, this, [c] { c->ToDesktopBtnClick(); });
    connect(ui_.ToDesktopBtn, &QPushButton::clicked, this, [c] { c->ToDesktopBtnClick(); });
    connect(ui_.SaveAsBtn, &QPushButton::clicked, this, [c] { c->SaveAsBtnClick(); });
    connect(ui_.EmailBtn, &QPushButton::clicked, this, [c] { c->EmailBtnClick(); });
    connect(ui_.EditBtn, &QPushButton::clicked, this, [c] { c->EditBtnClick(); });
    connect(ui_.PrintBtn, &QPushButton::clicked, this, [c] { c->PrintBtnClick(); });
    connect(ui_.ToClipboardBtn, &QPushButton::clicked, this, [c] { c->ToClipboardBtnClick(); });
    connect(ui_.DiscardBtn, &QPushButton::clicked, this, [c] { c->DiscardBtnClick(); });
    connect(ui_.PinBtn, &QPushButton::clicked, this, [c] { c->PinBtnClick(); });
}

bool TCapturePage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_.CapSheet && event->type() == QEvent::Resize) LayoutCaptureSheet();
    return false;
}

QSize TCapturePage::SheetSize() const {
    const bool picture = !capPreview_->Picture().Empty();
    return picture ? kCapSheetSize + QSize(0, kCapPreviewExtra) : kCapSheetSize;
}

void TCapturePage::LayoutCaptureSheet() {
    // The Chinese labels leave the fields where the form puts them; the longer English ones push them
    // right by the few pixels they need.
    constexpr int kRightMargin = 5, kLabelGap = 4, kMinEditWidth = 40;
    const int left = std::max({capEditLeft_, ui_.Label1->geometry().right() + 1 + kLabelGap,
                               ui_.Label4->geometry().right() + 1 + kLabelGap});
    for (QLineEdit* edit : {ui_.TitleEdit, ui_.CommentEdit})
        edit->setGeometry(left, edit->y(),
                          std::max(ui_.CapSheet->width() - left - kRightMargin, kMinEditWidth),
                          edit->height());
    const QRect sheet = ui_.CapSheet->rect();
    capPreview_->setGeometry(
        QRect(QPoint(kCapPreviewMargin, kCapPreviewTop),
              QPoint(sheet.right() - kCapPreviewMargin, sheet.bottom() - kCapPreviewMargin)));
}

void TCapturePage::ShowPreviewInTab(const TDIB& picture) {
    capPreview_->SetPicture(picture);
    capPreview_->setVisible(!picture.Empty());
}

void TCapturePage::HidePreview() {
    capPreview_->Clear();
    capPreview_->hide();
}

void TCapturePage::ClearPreview() {
    capPreview_->Clear();
}

void TCapturePage::TitleEditChange(const QString& text) {
    if (!IsHiddenPhrase(text)) return;
    QMessageBox box(QMessageBox::Warning, tr("成功"), tr("在设置选项卡定义标注画笔颜色。"), QMessageBox::Ok,
                    window_);
    box.setObjectName(QStringLiteral("InkRevealBox"));
    box.exec();
    revealInk_();
    ui_.TitleEdit->clear();
}
