#include "DesktopOffers.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kNoticeService = QStringLiteral("org.freedesktop.Notifications");
const QString kNoticePath = QStringLiteral("/org/freedesktop/Notifications");
// The bus is local: a service that does not answer within this long is not one to rely on.
constexpr int kAskMs = 1000;

bool NameAnswers(QDBusConnection& bus, const QString& name, const QStringList& activatable) {
    QDBusConnectionInterface* names = bus.interface();
    return names && (names->isServiceRegistered(name).value() || activatable.contains(name));
}

} // namespace

QString DesktopEnvironmentName() {
    const QStringList parts = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    // Derivatives name themselves first ("ubuntu:GNOME"): the desktop a user would look in is the
    // known one behind them.
    for (const QString& part : parts) {
        if (part.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0) return QStringLiteral("GNOME");
        if (part.compare(QLatin1String("KDE"), Qt::CaseInsensitive) == 0) return QStringLiteral("KDE Plasma");
        if (part.compare(QLatin1String("sway"), Qt::CaseInsensitive) == 0) return QStringLiteral("sway");
    }
    return parts.isEmpty() ? QString() : parts.first();
}

TBusDesktopOffers::TBusDesktopOffers(QDBusConnection bus, std::function<bool()> xembedTray)
    : bus_(std::move(bus)), xembedTray_(std::move(xembedTray)) {}

TBusDesktopOffers::~TBusDesktopOffers() = default;

// Followed from the first question on: the watcher's and the notification service's owners, and
// the hosts the watcher announces (a panel registers its host a moment after it takes the name).
TDesktopOffers TBusDesktopOffers::Offers() {
    if (!known_) {
        known_ = true;
        if (bus_.isConnected()) {
            watcher_ = new QDBusServiceWatcher(this);
            watcher_->setConnection(bus_);
            watcher_->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
            watcher_->addWatchedService(kWatcherService);
            watcher_->addWatchedService(kNoticeService);
            connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this, &TBusDesktopOffers::Refresh);
            for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
                bus_.connect(QString(), kWatcherPath, kWatcherService, QLatin1String(signal), this,
                             SLOT(Refresh()));
        }
        Refresh();
    }
    return Combined();
}

TDesktopOffers TBusDesktopOffers::Combined() const {
    TDesktopOffers o = busOffers_;
    if (!o.tray && xembedTray_ && xembedTray_()) o.tray = true;
    return o;
}

void TBusDesktopOffers::SetOffersHandler(std::function<void(const TDesktopOffers&)> handler) {
    handler_ = std::move(handler);
    told_ = Offers();
}

void TBusDesktopOffers::Refresh() {
    TDesktopOffers o;
    if (bus_.isConnected()) {
        QDBusConnectionInterface* names = bus_.interface();
        const QStringList activatable = names ? names->activatableServiceNames().value() : QStringList();
        if (NameAnswers(bus_, kWatcherService, {})) {
            QDBusMessage ask = QDBusMessage::createMethodCall(
                kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("Get"));
            ask << kWatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
            const QDBusMessage answer = bus_.call(ask, QDBus::Block, kAskMs);
            o.statusNotifier = answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty() &&
                               answer.arguments().first().value<QDBusVariant>().variant().toBool();
        }
        o.tray = o.statusNotifier;
        o.notifications = NameAnswers(bus_, kNoticeService, activatable);
        if (!o.notifications) markup_ = -1; // the next service may show markup differently
    }
    busOffers_ = o;
    if (!handler_) return;
    const TDesktopOffers now = Combined();
    if (now == told_) return;
    told_ = now;
    handler_(now);
}

// The text is plain; a service that reads markup in the body gets it escaped, so that a "<" or
// "&" shows as written. Which kind it is, is asked once.
void TBusDesktopOffers::Notify(const TDesktopNotice& notice,
                               std::function<void(const TPlatformStatus&)> done) {
    if (!bus_.isConnected()) {
        if (done) done(TPlatformStatus::Fail(QStringLiteral("no session bus")));
        return;
    }
    if (markup_ >= 0) {
        Send(notice, markup_ == 1, done);
        return;
    }
    const QDBusMessage ask = QDBusMessage::createMethodCall(kNoticeService, kNoticePath, kNoticeService,
                                                            QStringLiteral("GetCapabilities"));
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(ask, kAskMs * 5), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call, notice, done] {
        call->deleteLater();
        QDBusPendingReply<QStringList> caps = *call;
        if (caps.isError()) {
            if (done) done(TPlatformStatus::Fail(caps.error().message()));
            return;
        }
        markup_ = caps.value().contains(QLatin1String("body-markup")) ? 1 : 0;
        Send(notice, markup_ == 1, done);
    });
}

void TBusDesktopOffers::Send(const TDesktopNotice& notice, bool markup,
                             const std::function<void(const TPlatformStatus&)>& done) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kNoticeService, kNoticePath, kNoticeService, QStringLiteral("Notify"));
    QVariantMap hints;
    if (!notice.desktopEntry.isEmpty()) hints.insert(QStringLiteral("desktop-entry"), notice.desktopEntry);
    call << notice.appName << uint(0) << notice.iconName << notice.title
         << (markup ? notice.text.toHtmlEscaped() : notice.text) << QStringList() << hints
         << int(notice.timeoutMs);
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call, kAskMs * 5), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [pending, done] {
        pending->deleteLater();
        const QDBusPendingReply<uint> id = *pending;
        if (done) done(id.isError() ? TPlatformStatus::Fail(id.error().message()) : TPlatformStatus::Ok());
    });
}
