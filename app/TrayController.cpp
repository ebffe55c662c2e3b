#include "TrayController.h"

#include "MenuIcons.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "Startup.h"

#include "Platform.h"
#include "ScreenGrab.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {
// The timer's interval as the window is designed, until an entry sets its delay.
constexpr int kDCapTimerDesignMs = kCaptureIn30sMs;
// How long the message on the desktop's permission dialog shows.
constexpr int kPermissionNoticeMs = 15000;
} // namespace

TTrayController::TTrayController(QWidget* window, const TMenuIcons& icons, TWiring wiring)
    : window_(window), icons_(icons), wiring_(std::move(wiring)) {
    dCapTimer_ = new QTimer(window_);
    dCapTimer_->setObjectName(QStringLiteral("DCapTimer"));
    dCapTimer_->setInterval(kDCapTimerDesignMs);
    dCapTimer_->setSingleShot(false);
    dCapTimer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(dCapTimer_, &QTimer::timeout, window_, [this] { DCapTimerTimer(); });
}

TTrayController::~TTrayController() = default;

QAction* TTrayController::AddEntry(const char* name, const char* caption, int icon) {
    QAction* a = trayMenu_->addAction(icons_.Icon(icon), tr(caption));
    menuTexts_.emplace_back(a, caption);
    a->setObjectName(QString::fromUtf8(name));
    return a;
}

void TTrayController::AddCaptureEntries() {
    struct Capture {
        const char* name;
        const char* caption;
        int tag;
        int icon;
    };
    for (const Capture& c :
         {Capture{"CapMenu", QT_TR_NOOP("立即捕获屏幕"), kCaptureNowMs, TMenuIcons::icCapture},
          Capture{"Capturescreenin30sec1", QT_TR_NOOP("5秒后捕获屏幕"), kCaptureIn5sMs, TMenuIcons::icIn5s},
          Capture{"DCapMenu", QT_TR_NOOP("30秒后捕获屏幕"), kCaptureIn30sMs, TMenuIcons::icIn30s}}) {
        QAction* a = AddEntry(c.name, c.caption, c.icon);
        a->setData(c.tag);
        QObject::connect(a, &QAction::triggered, window_, [this, a] { DCapMenuClick(a); });
        if (c.tag == kCaptureIn30sMs) {
            // The one entry whose check mark shows a pending delayed capture.
            a->setCheckable(true);
            dCapLongEntry_ = a;
        }
    }
    QObject::connect(AddEntry("LastRegionMenu", QT_TR_NOOP("重复上次区域"), TMenuIcons::icCapture),
                     &QAction::triggered, window_,
                     [this] { wiring_.startCapture(TCaptureMode::LastRegion, false); });
    QObject::connect(AddEntry("TextCaptureMenu", QT_TR_NOOP("识别文字"), TMenuIcons::icCapture),
                     &QAction::triggered, window_,
                     [this] { wiring_.startCapture(TCaptureMode::Text, false); });
}

void TTrayController::CreateTrayIcon() {
    trayMenu_ = new QMenu(window_);
    trayMenu_->setObjectName(QStringLiteral("TrayMenu"));
    AddCaptureEntries();
    QObject::connect(AddEntry("SettingsMenu", QT_TR_NOOP("设置"), TMenuIcons::icSettings),
                     &QAction::triggered, window_, [this] { SettingsMenuClick(); });
    trayMenu_->addSeparator()->setObjectName(QStringLiteral("N1"));
    QObject::connect(AddEntry("ExitMenu", QT_TR_NOOP("退出"), TMenuIcons::icExit), &QAction::triggered,
                     window_, [this] { ExitMenuClick(); });
    QObject::connect(trayMenu_, &QMenu::aboutToShow, window_, [this] { TrayMenuPopup(); });

    Platform().offers->SetOffersHandler([this](const TDesktopOffers& now) { DesktopOffersChanged(now); });
    // Qt watches X11's tray selection itself, so the icon is made there even before a tray docks it.
    if (Platform().Can(TCapability::Tray) || Platform().name == QLatin1String("x11")) MakeTrayIcon();
}

void TTrayController::MakeTrayIcon() {
    if (trayIcon_) return;
    // Qt makes its icon a StatusNotifierItem when an item host is registered as the icon is made,
    // else an XEmbed one; the host's single click means something else on each.
    trayIsItem_ = DesktopOffers().statusNotifier;
    trayIcon_ = new QSystemTrayIcon(window_);
    trayIcon_->setObjectName(QStringLiteral("TrayIcon"));
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(ResourcePng(QStringLiteral(":/vexmor/tray16.png"))));
    icon.addPixmap(QPixmap::fromImage(ResourcePng(QStringLiteral(":/vexmor/tray32.png"))));
    trayIcon_->setIcon(icon);
    trayIcon_->setContextMenu(trayMenu_);
    SetTrayHint(wiring_.captureHeld());
    QObject::connect(trayIcon_, &QSystemTrayIcon::activated, window_,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         // An item host has no double click: its one click (Activate) is the way to
                         // the window.
                         if (reason == QSystemTrayIcon::Trigger)
                             trayIsItem_ ? TrayIconDblClick() : TrayIconClick();
                         if (reason == QSystemTrayIcon::DoubleClick) TrayIconDblClick();
                     });
    // An XEmbed tray that appears later (or restarts) takes the icon, since Qt watches the tray's
    // selection; an item host that restarts gets the item again.
    trayIcon_->show();
}

void TTrayController::Close() {
    dCapTimer_->stop();
    Platform().offers->SetOffersHandler(nullptr);
    if (trayIcon_) trayIcon_->hide();
}

TDesktopOffers TTrayController::DesktopOffers() const {
    return Platform().offers->Offers();
}

void TTrayController::DesktopOffersChanged(const TDesktopOffers& offers) {
    if (offers.tray) MakeTrayIcon();
}

bool TTrayController::LeadsBack() const {
    return trayIcon_ && DesktopOffers().tray;
}

void TTrayController::SetTrayHint(bool full) {
    if (trayIcon_) trayIcon_->setToolTip(full ? tr("Vexmor (满)") : tr("Vexmor (空)"));
}

void TTrayController::RetranslateTexts() {
    for (const auto& [action, source] : menuTexts_)
        action->setText(tr(source));
    SetTrayHint(wiring_.captureHeld());
}

bool TTrayController::TellUser(const QString& title, const QString& text, int ms, bool waitedForTray,
                               const std::function<void()>& failed) {
    const TDesktopOffers offers = DesktopOffers();
    if (trayIcon_ && offers.tray) {
        if (waitedForTray && !std::exchange(traySeen_, true)) return false;
        if (TrayMessageHook)
            TrayMessageHook(title, text);
        else
            trayIcon_->showMessage(title, text, QSystemTrayIcon::Information, ms);
        return true;
    }
    // A name the bus only could start (another desktop's notification service installed beside this
    // one) may fail the call: such a service is not asked again in this run.
    if (!offers.notifications || noticesFailed_) return false;
    TDesktopNotice notice{.appName = QStringLiteral("Vexmor"),
                          .iconName = QStringLiteral("vexmor"),
                          .desktopEntry = QStringLiteral("vexmor"),
                          .title = title,
                          .text = text,
                          .timeoutMs = ms};
    // This controller lives exactly as long as the window `self` watches.
    Platform().offers->Notify(
        notice, [this, self = QPointer<QWidget>(window_), failed](const TPlatformStatus& status) {
            if (status || !self) return;
            std::fprintf(stderr, "vexmor: the desktop's notification service failed: %s\n",
                         qPrintable(status.reason));
            noticesFailed_ = true;
            // Never inside the call that asked: that one still counts the message as told.
            if (failed) QTimer::singleShot(0, self, failed);
        });
    return true;
}

void TTrayController::TellOfPermissionDialog() {
    if (GrabbingDesktop() || !Platform().grabber->AsksPermissionFirst()) return;
    TSettingsStore store;
    store.Load();
    if (store.ReadInteger(kSettingsKey, SettingName::PermissionNoticeTold, 0) == 1) return;
    const QString text =
        tr("桌面会先询问是否允许 Vexmor 截取屏幕。请在桌面的对话框中选择“允许”，以后的捕获不再询问。");
    if (!TellUser(QStringLiteral("Vexmor"), text, kPermissionNoticeMs, false, {}))
        std::fprintf(stderr, "vexmor: %s\n", qPrintable(text));
    store.WriteInteger(kSettingsKey, SettingName::PermissionNoticeTold, 1);
    (void)store.Save();
}

// --- the icon and the menu --------------------------------------------------------------------------

void TTrayController::TrayIconClick() {
    if (!window_->isVisible()) return;
    window_->raise();
    window_->activateWindow();
}

void TTrayController::TrayIconDblClick() {
    window_->setVisible(!window_->isVisible());
    if (!window_->isVisible()) return;
    wiring_.sizeWindow();
    window_->raise();
    window_->activateWindow();
}

void TTrayController::TrayMenuPopup() {
    if (dCapLongEntry_) dCapLongEntry_->setChecked(dCapTimer_->isActive());
}

void TTrayController::SettingsMenuClick() {
    window_->show();
    window_->raise();
    window_->activateWindow();
    wiring_.showSettingsTab();
}

void TTrayController::ExitMenuClick() {
    ExitApplication();
}

// --- the delayed capture ----------------------------------------------------------------------------

void TTrayController::DCapMenuClick(QAction* entry) {
    if (dCapTimer_->isActive())
        dCapTimer_->stop();
    else
        ArmDelayedCapture(TCaptureMode::Desktop, entry->data().toInt());
}

void TTrayController::ArmDelayedCapture(TCaptureMode mode, int delayMs, bool pin) {
    dCapMode_ = mode;
    dCapPin_ = pin;
    dCapTimer_->setInterval(delayMs);
    dCapDue_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs);
    dCapTimer_->start();
}

void TTrayController::DCapTimerTimer() {
    // Timers may fire early by a few per cent; the delay asked for is never cut short: an early tick
    // waits out the rest (rounded up to the next millisecond).
    const auto left = dCapDue_ - std::chrono::steady_clock::now();
    if (left > std::chrono::steady_clock::duration::zero()) {
        dCapTimer_->start(int(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        return;
    }
    dCapTimer_->stop();
    wiring_.startCapture(dCapMode_, dCapPin_);
}
