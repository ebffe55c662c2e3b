// System-wide hot keys through the desktop portal's GlobalShortcuts interface, for Wayland sessions,
// where no client may grab keys itself.
//
// The portal binds shortcuts by name, each with a description and the combination the program would
// like; the desktop decides (and may ask the user) which keys really trigger them. Register therefore
// answers Ours at once for any combination the shortcut syntax can name, and the binding follows from
// the event loop: the registrations and removals made before control returns there are bound together.
// One portal session serves the program's whole life: it is made with the first binding (its
// CreateSession already names the shortcuts, as the KDE portal reads them there), and a later change
// of the keys or their descriptions binds again in the same session. Registering the same keys again
// (the program does around a capture) asks the portal nothing: each new request could put the
// desktop's dialog in front of the user again.
//
// When the portal then refuses, the remap handler is called on the GUI thread with the identifiers,
// in ascending order, that do not fire, as for combinations another program holds; the program tells
// the user. That happens when the user cancels the portal's dialog or the portal fails, when it does
// not answer in time (TPortalShortcutTimeouts), when it leaves a shortcut out of the ones it says it
// bound (those only), and when it closes the session later (all of them). The handler hears only
// changes: Register's answer counts as told, so a binding that succeeds says nothing, and a refusal
// of the same identifiers as the last one is not repeated until they are registered again. A refusal
// is not asked again for the same keys either: registering them again tells the refusal again, and
// only other keys or descriptions (or a session the portal closed) make the portal ask again.
#pragma once

#include "Platform.h"
#include "PortalRequest.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QTimer>

#include <memory>

// The combination in the freedesktop shortcuts syntax, as preferred_trigger takes it: modifiers
// CTRL, ALT, SHIFT and LOGO, then the key's keysym name, joined by '+' ("Print", "CTRL+Print",
// "CTRL+SHIFT+F5"). Empty for a key that has no name there.
QString PortalTrigger(int qtKey, Qt::KeyboardModifiers modifiers);

// The shortcut's name in the portal for a hot-key identifier: "capture-desktop", "capture-window" and
// "capture-magnifier" for the capture modes 0..2, "hotkey-N" for any other.
QString PortalShortcutId(int id);

// How long the portal may take to answer before its silence counts as a refusal.
struct TPortalShortcutTimeouts {
    int sessionMs = 10000; // making a session involves no dialog
    int bindMs = 300000;   // binding may wait for the user in the portal's dialog
};

class TPortalHotKeys : public QObject, public IHotKeys {
    Q_OBJECT
  public:
    explicit TPortalHotKeys(QDBusConnection bus, TPortalShortcutTimeouts timeouts = {});
    ~TPortalHotKeys() override;

    // Absent for a key the shortcut syntax cannot name; Ours otherwise (see above).
    THotKeyGrab Register(int id, int qtKey, Qt::KeyboardModifiers modifiers) override;
    void Unregister(int id) override;
    void SetHandler(std::function<void(int id)> handler) override { handler_ = std::move(handler); }
    void SetRemapHandler(std::function<void(const QList<int>& notOurs)> handler) override {
        remapHandler_ = std::move(handler);
    }
    // The text the desktop shows for the shortcut; capture modes 0..2 have one of their own until set.
    void SetDescription(int id, const QString& text) override;

    // The session whose shortcuts fire, once one is bound; empty before and after a refusal.
    QString Session() const { return bound_ ? session_ : QString(); }

    // True when the portal on `bus` offers the GlobalShortcuts interface; asks for at most `timeoutMs`.
    static bool PortalOffersGlobalShortcuts(QDBusConnection bus, int timeoutMs = 2000);

  private slots:
    void OnActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong timestamp,
                     const QVariantMap& options);
    void OnSessionClosed();

  private:
    struct TKey {
        QString trigger; // preferred_trigger
    };
    // shortcut name -> {description, preferred_trigger}, as the portal is asked to bind them
    using TWanted = QMap<QString, QPair<QString, QString>>;
    TWanted Wanted() const;
    void ScheduleBind();
    void Bind();
    void OnSessionMade(const TPortalAnswer& answer, const QString& expected);
    void OnBound(const TPortalAnswer& answer, const QMap<QString, int>& sent);
    // The registered identifiers the last answer left without a working shortcut.
    QList<int> NotOursNow() const;
    void CloseSession();
    // Tells the remap handler which identifiers are not ours, when that differs from what the
    // program last heard (from Register or from here).
    void Report(QList<int> notOurs);

    QDBusConnection bus_;
    TPortalShortcutTimeouts timeouts_;
    QMap<int, TKey> keys_;
    QMap<int, QString> descriptions_; // set ones; the others have the identifier's default
    QTimer bindTimer_;                // one binding for a burst of registrations
    TPortalRequestPtr pending_;       // the session or binding under way
    QString session_;                 // the current session's path, while one is open
    TWanted sent_;                    // the session's last binding asked for (under way or answered)
    bool answered_ = false;           // the portal answered that binding
    bool bound_ = false;              // ... with success
    QMap<QString, int> boundIds_;     // shortcut name -> identifier, of the bound session
    QList<int> reported_;             // the identifiers the program was last told are not ours
    std::function<void(int)> handler_;
    std::function<void(const QList<int>&)> remapHandler_;
};
