#include "AboutPage.h"
#include "ui_VexmorMain.h"

#include "MenuIcons.h"

#include "Platform.h"

#include <QFileInfo>
#include <QMouseEvent>
#include <QUrl>

namespace {

constexpr QSize kAboutSheetSize(433, 280);
// The home page link stands out from the credits.
constexpr int kHomeLinkPixelSize = 17;

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

TAboutPage::TAboutPage(Ui::VexmorMainForm& ui, QString versionText)
    : ui_(ui), versionText_(std::move(versionText)) {
    QFont home = ui_.URLLabel->font();
    home.setPixelSize(kHomeLinkPixelSize);
    home.setUnderline(true);
    ui_.URLLabel->setFont(home);
    for (QLabel* label :
         {ui_.CreditLabel, ui_.URLLabel, ui_.Label5, ui_.VersionLabel, ui_.Label7, ui_.Label8, ui_.Label3})
        creditRows_.emplace_back(label, label->y());

    QImage logo = ResourcePng(QStringLiteral(":/vexmor/logo.png"));
    if (!logo.isNull()) {
        TDIBmp glyph;
        glyph = TDIB::FromQImage(logo, 32);
        glyph.SetDrawMode(TDIBmpDrawMode::dmAlphaBlend);
        ui_.LogoBmpList->SetGlyph(glyph);
        ui_.LogoBmpList->SetILIndex(0);
    }
    // The logo blends over whatever the page has painted beneath it.
    ui_.LogoBmpList->SetQuickFlags(ui_.LogoBmpList->QuickFlags() | qfCanvasBackground);
    ui_.LogoBmpList->OnClick = [](TQuickBmpList*) { OpenLink(HomePageUrl()); };

    for (QWidget* w : std::initializer_list<QWidget*>{ui_.AboutSheet, ui_.URLLabel, ui_.Label5, ui_.Label7,
                                                      ui_.Label8, ui_.Label3})
        w->installEventFilter(this);
}

QSize TAboutPage::SheetSize() {
    return kAboutSheetSize;
}

QString TAboutPage::HomePageUrl() {
    return QUrl::fromLocalFile(LocalReadme()).toString();
}

QString TAboutPage::HelpPageUrl() {
    return QUrl::fromLocalFile(LocalReadme()).toString() + QStringLiteral("#the-main-window");
}

void TAboutPage::OpenLink(const QString& url) {
    (void)Platform().shell->OpenUrl(url);
}

bool TAboutPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_.AboutSheet && event->type() == QEvent::Resize) {
        LayOutCredits();
        return false;
    }
    if (event->type() != QEvent::MouseButtonRelease ||
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return false;
    if (watched == ui_.URLLabel)
        OpenLink(HomePageUrl());
    else if (watched == ui_.Label5)
        OpenLink(HelpPageUrl());
    else if (watched == ui_.Label7)
        OpenLink(HelpPageUrl() + QStringLiteral("#artwork"));
    else if (watched == ui_.Label8)
        OpenLink(QStringLiteral("https://agg.sourceforge.net/antigrain.com/"));
    else if (watched == ui_.Label3)
        OpenLink(QStringLiteral("https://sourceforge.net/projects/sox/"));
    return false;
}

void TAboutPage::RetranslateTexts() {
    ui_.VersionLabel->setText(tr("版本 ") + versionText_);
}

void TAboutPage::LayOutCredits() {
    constexpr int kRightMargin = 4;
    int pushed = 0;
    for (const auto& [label, top] : creditRows_) {
        label->setWordWrap(false);
        label->adjustSize();
        label->move(label->x(), top + pushed);
        const int room = ui_.AboutSheet->width() - label->x() - kRightMargin;
        if (label->width() <= room) continue;
        label->setWordWrap(true);
        const int height = label->heightForWidth(room);
        pushed += height - label->height();
        label->resize(room, height);
    }
}
