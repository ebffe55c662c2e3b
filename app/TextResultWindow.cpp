#include "TextResultWindow.h"

#include "ui_TextResultWindow.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include <algorithm>

TTextResultWindow::TTextResultWindow(TWiring wiring, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), ui_(std::make_unique<Ui::TextResultWindow>()),
      wiring_(std::move(wiring)) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("TextResultWindow"));
    ui_->MessageLabel->hide();
    ui_->CodeLabel->hide();
    connect(ui_->CloseBtn, &QPushButton::clicked, this, &QWidget::close);
    connect(ui_->CopyBtn, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(ui_->TextEdit->toPlainText()); });
    connect(ui_->SavePictureBtn, &QPushButton::clicked, this, [this] {
        if (wiring_.savePicture) wiring_.savePicture();
    });
    connect(ui_->LanguageSel, &QComboBox::activated, this, [this](int index) {
        if (wiring_.languageChosen) wiring_.languageChosen(ui_->LanguageSel->itemData(index).toString());
    });
    // Only a click on the link opens it.
    connect(ui_->CodeLabel, &QLabel::linkActivated, this, [this](const QString& url) {
        if (wiring_.openUrl) wiring_.openUrl(url);
    });
}

TTextResultWindow::~TTextResultWindow() = default;

void TTextResultWindow::PlaceNear(const QRect& selection) {
    QScreen* screen = QGuiApplication::screenAt(selection.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const qreal ratio = screen->devicePixelRatio();
    const QRect s(QPoint(int(selection.left() / ratio), int(selection.top() / ratio)),
                  QSize(int(selection.width() / ratio), int(selection.height() / ratio)));
    const QRect room = screen->availableGeometry();
    const QSize size = frameSize().isValid() && frameSize().width() > 0 ? frameSize() : sizeHint();
    QPoint at(s.left(), s.bottom() + 8);
    if (at.y() + size.height() > room.bottom()) at.setY(s.top() - 8 - size.height());
    if (at.y() < room.top()) at.setY(s.top() + 8);
    at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - size.width())));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - size.height())));
    move(at);
}

void TTextResultWindow::SetBusy(bool busy) {
    busy_ = busy;
    ui_->BusyLabel->setVisible(busy);
    ui_->BusyBar->setVisible(busy);
    ui_->CopyBtn->setEnabled(!busy);
    ui_->LanguageSel->setEnabled(!busy);
    ui_->TextEdit->setReadOnly(busy);
}

void TTextResultWindow::ShowBusy() {
    SetBusy(true);
    ui_->MessageLabel->hide();
    ui_->CodeLabel->hide();
}

void TTextResultWindow::ShowResult(const QString& text, const std::vector<TFoundCode>& codes) {
    SetBusy(false);
    ui_->TextEdit->setPlainText(text);
    QStringList lines;
    for (const TFoundCode& c : codes) {
        const QString shown = c.text.toHtmlEscaped();
        lines << QStringLiteral("%1: %2").arg(
            c.kind.toHtmlEscaped(),
            IsWebAddress(c.text) ? QStringLiteral("<a href=\"%1\">%2</a>").arg(shown, shown) : shown);
    }
    ui_->CodeLabel->setText(lines.join(QStringLiteral("<br>")));
    ui_->CodeLabel->setVisible(!codes.empty());
    if (text.isEmpty() && codes.empty()) ShowMessage(tr("所选区域中没有找到文字。剪贴板未改变。"));
}

void TTextResultWindow::ShowMessage(const QString& message) {
    SetBusy(false);
    ui_->MessageLabel->setText(message);
    ui_->MessageLabel->show();
}

void TTextResultWindow::OfferLanguages(const QList<QPair<QString, QString>>& entries,
                                       const QString& current) {
    ui_->LanguageSel->clear();
    for (const auto& [text, data] : entries)
        ui_->LanguageSel->addItem(text, data);
    ui_->LanguageSel->setCurrentIndex(std::max(0, ui_->LanguageSel->findData(current)));
}

QString TTextResultWindow::Text() const {
    return ui_->TextEdit->toPlainText();
}

QString TTextResultWindow::Message() const {
    return ui_->MessageLabel->isVisible() ? ui_->MessageLabel->text() : QString();
}

QString TTextResultWindow::CodesText() const {
    return ui_->CodeLabel->isVisible() ? ui_->CodeLabel->text() : QString();
}

void TTextResultWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TTextResultWindow::closeEvent(QCloseEvent* event) {
    if (busy_ && wiring_.cancel) wiring_.cancel();
    emit Closed();
    event->accept();
}
