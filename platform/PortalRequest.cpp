#include "PortalRequest.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QRandomGenerator>

#include <atomic>
#include <utility>

namespace {
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// Asks the portal to drop a request nobody waits for any more; no answer is awaited.
void CloseRequest(QDBusConnection& bus, const QString& handle) {
    if (handle.isEmpty()) return;
    bus.send(
        QDBusMessage::createMethodCall(kPortalService, handle, kRequestInterface, QStringLiteral("Close")));
}
} // namespace

QString NewPortalToken() {
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("vexmor%1_%2")
        .arg(++counter)
        .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
}

QString PortalObjectPath(const QDBusConnection& bus, const QString& kind, const QString& token) {
    QString sender = bus.baseService();
    if (sender.startsWith(QLatin1Char(':'))) sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPortalPath + QLatin1Char('/') + kind + QLatin1Char('/') + sender + QLatin1Char('/') + token;
}

bool PortalOffersInterface(QDBusConnection bus, const QString& interface, int timeoutMs) {
    if (!bus.isConnected()) return false;
    QDBusMessage get = QDBusMessage::createMethodCall(kPortalService, kPortalPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << interface << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    bool ok = false;
    const uint version = reply.arguments().first().value<QDBusVariant>().variant().toUInt(&ok);
    return ok && version >= 1;
}

TPortalRequest::TPortalRequest(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        CloseRequest(bus_, handle_);
        Finish({});
    });
}

TPortalRequest::~TPortalRequest() {
    Cancel();
}

void TPortalRequest::Cancel() {
    if (done_) CloseRequest(bus_, handle_);
    done_ = nullptr;
    timer_.stop();
    StopListening();
}

void TPortalRequest::Start(const QString& interface, const QString& method, const QVariantList& leading,
                           QVariantMap options, int timeoutMs, TDone done, int answerTimeoutMs) {
    done_ = std::move(done);
    answerTimeoutMs_ = answerTimeoutMs;
    // A portal that ends (crashes, is replaced) never answers what it took.
    portalWatch_ =
        new QDBusServiceWatcher(kPortalService, bus_, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(portalWatch_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        TPortalAnswer gone;
        gone.kind = TPortalAnswer::Vanished;
        Finish(std::move(gone));
    });
    const QString token = NewPortalToken();
    options.insert(QStringLiteral("handle_token"), token);
    handle_ = PortalObjectPath(bus_, QStringLiteral("request"), token);
    Listen(handle_);
    timer_.start(timeoutMs);

    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, interface, method);
    QVariantList arguments = leading;
    arguments << options;
    call.setArguments(arguments);
    // Even a call that fails at once reports from the event loop: the watcher says so when control
    // returns there.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (!done_) return;
        const QDBusMessage reply = w->reply();
        if (reply.type() != QDBusMessage::ReplyMessage) {
            TPortalAnswer failed;
            failed.kind = TPortalAnswer::CallFailed;
            failed.error = reply.errorName();
            Finish(std::move(failed));
            return;
        }
        if (answerTimeoutMs_ >= 0) timer_.start(answerTimeoutMs_);
        const QString returned = reply.arguments().value(0).value<QDBusObjectPath>().path();
        if (!returned.isEmpty() && returned != handle_) {
            handle_ = returned;
            Listen(returned);
        }
    });
}

void TPortalRequest::Listen(const QString& path) {
    if (bus_.connect(kPortalService, path, kRequestInterface, QStringLiteral("Response"), this,
                     SLOT(OnResponse(uint, QVariantMap))))
        listened_ << path;
}

void TPortalRequest::StopListening() {
    // Maybe from inside the watcher's own signal.
    if (portalWatch_) std::exchange(portalWatch_, nullptr)->deleteLater();
    for (const QString& path : std::as_const(listened_))
        bus_.disconnect(kPortalService, path, kRequestInterface, QStringLiteral("Response"), this,
                        SLOT(OnResponse(uint, QVariantMap)));
    listened_.clear();
}

void TPortalRequest::OnResponse(uint response, const QVariantMap& results) {
    TPortalAnswer answer;
    answer.kind = TPortalAnswer::Answered;
    answer.response = response;
    answer.results = results;
    Finish(std::move(answer));
}

void TPortalRequest::Finish(TPortalAnswer answer) {
    if (!done_) return;
    timer_.stop();
    StopListening();
    const TDone done = std::move(done_);
    done_ = nullptr;
    done(answer);
}
