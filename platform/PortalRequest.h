// One call of a freedesktop desktop portal method that answers later, through the Response signal of
// a Request object, as the screenshot and global-shortcut portals do. Shared by the portal services of
// this folder; nothing outside it includes this header.
//
// The Request's path is known before the call: /org/freedesktop/portal/desktop/request/SENDER/TOKEN,
// SENDER being the connection's unique name without its ':' and with '.' as '_'. The signal is
// subscribed there before the call goes out, so that an answer sent at once is not missed; a portal
// that returns another handle (versions before 0.9) is listened to there as well.
#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <memory>

inline const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// The Request's codes in its Response signal.
enum TPortalResponse : uint { prSuccess = 0, prCancelled = 1, prOther = 2 };

// How a request ended.
struct TPortalAnswer {
    enum TKind {
        Answered,   // the Response signal came: `response` and `results` hold what it said
        CallFailed, // the method call itself failed (no portal, no such interface): `error`
        TimedOut,   // no Response within the time allowed
        Vanished    // the portal left the bus before it answered
    };
    TKind kind = TimedOut;
    uint response = prOther;
    QVariantMap results;
    QString error; // the D-Bus error name of a failed call
    bool Succeeded() const { return kind == Answered && response == prSuccess; }
};

// A fresh token for a handle_token or session_handle_token option: a valid object path element, not
// guessable, not repeated in this process.
QString NewPortalToken();

// The path the portal gives to an object it makes for this connection under `kind` ("request",
// "session") with the token the caller chose.
QString PortalObjectPath(const QDBusConnection& bus, const QString& kind, const QString& token);

// True when the portal on `bus` has `interface` with a version of 1 or more; asks at most for
// `timeoutMs`.
bool PortalOffersInterface(QDBusConnection bus, const QString& interface, int timeoutMs);

class TPortalRequest : public QObject {
    Q_OBJECT
  public:
    using TDone = std::function<void(const TPortalAnswer&)>;
    explicit TPortalRequest(QDBusConnection bus, QObject* parent = nullptr);
    ~TPortalRequest() override;

    // Calls `method` of `interface` on the portal with `leading` arguments, then `options` with a
    // handle_token added. `done` is called once, on this object's thread, from the event loop: with
    // the Response, the call's error, when the portal leaves the bus, or after `timeoutMs` without an
    // answer (the portal is then asked to close the request). With `answerTimeoutMs` set, the call's
    // reply is waited for `timeoutMs` and the Response, once the portal has taken the call, for
    // `answerTimeoutMs` more: a portal may wait for the user. Nothing is called after this object
    // is gone. One call per object.
    void Start(const QString& interface, const QString& method, const QVariantList& leading,
               QVariantMap options, int timeoutMs, TDone done, int answerTimeoutMs = -1);
    // Gives up waiting: `done` is not called, and the portal is asked to close a request still open.
    void Cancel();

  private slots:
    void OnResponse(uint response, const QVariantMap& results);

  private:
    void Listen(const QString& path);
    void StopListening();
    void Finish(TPortalAnswer answer);

    QDBusConnection bus_;
    QStringList listened_; // request paths whose Response reaches OnResponse
    QString handle_;       // the request's path as the portal returned it, or as expected
    QTimer timer_;
    int answerTimeoutMs_ = -1;
    QDBusServiceWatcher* portalWatch_ = nullptr; // while a Response is awaited
    TDone done_;
};

// Cancels a request at once and deletes it from the event loop: a request may be replaced from inside
// its own callback.
struct TPortalRequestDeleter {
    void operator()(TPortalRequest* r) const {
        r->Cancel();
        r->deleteLater();
    }
};
using TPortalRequestPtr = std::unique_ptr<TPortalRequest, TPortalRequestDeleter>;
