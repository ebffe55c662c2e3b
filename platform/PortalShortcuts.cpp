#include "PortalShortcuts.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QHash>

#include <algorithm>
#include <iterator>

// One entry of the a(sa{sv}) lists BindShortcuts takes and answers with.
struct TPortalShortcut {
    QString id;
    QVariantMap options;
};
Q_DECLARE_METATYPE(TPortalShortcut)

QDBusArgument& operator<<(QDBusArgument& arg, const TPortalShortcut& s) {
    arg.beginStructure();
    arg << s.id << s.options;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TPortalShortcut& s) {
    arg.beginStructure();
    arg >> s.id >> s.options;
    arg.endStructure();
    return arg;
}

namespace {

const QString kShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");

void RegisterTypes() {
    static const bool once = [] {
        // The Activated slot's types are looked up by name when it is connected.
        qRegisterMetaType<QDBusObjectPath>();
        qDBusRegisterMetaType<TPortalShortcut>();
        qDBusRegisterMetaType<QList<TPortalShortcut>>();
        return true;
    }();
    (void)once;
}

// Keysym names of the keys a hot key can use that are neither letters, digits nor F keys.
QString KeyName(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return QString(QChar('a' + (key - Qt::Key_A)));
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return QString(QChar('0' + (key - Qt::Key_0)));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) return QStringLiteral("F%1").arg(1 + key - Qt::Key_F1);
    static const QHash<int, QString> names{
        {Qt::Key_Print, QStringLiteral("Print")},
        {Qt::Key_Pause, QStringLiteral("Pause")},
        {Qt::Key_ScrollLock, QStringLiteral("Scroll_Lock")},
        {Qt::Key_Escape, QStringLiteral("Escape")},
        {Qt::Key_Tab, QStringLiteral("Tab")},
        {Qt::Key_Backspace, QStringLiteral("BackSpace")},
        {Qt::Key_Return, QStringLiteral("Return")},
        {Qt::Key_Enter, QStringLiteral("KP_Enter")},
        {Qt::Key_Insert, QStringLiteral("Insert")},
        {Qt::Key_Delete, QStringLiteral("Delete")},
        {Qt::Key_Home, QStringLiteral("Home")},
        {Qt::Key_End, QStringLiteral("End")},
        {Qt::Key_PageUp, QStringLiteral("Page_Up")},
        {Qt::Key_PageDown, QStringLiteral("Page_Down")},
        {Qt::Key_Left, QStringLiteral("Left")},
        {Qt::Key_Up, QStringLiteral("Up")},
        {Qt::Key_Right, QStringLiteral("Right")},
        {Qt::Key_Down, QStringLiteral("Down")},
        {Qt::Key_SysReq, QStringLiteral("Sys_Req")},
        {Qt::Key_Menu, QStringLiteral("Menu")},
        // Punctuation: Qt's codes are the characters' own.
        {Qt::Key_Space, QStringLiteral("space")},
        {Qt::Key_Exclam, QStringLiteral("exclam")},
        {Qt::Key_QuoteDbl, QStringLiteral("quotedbl")},
        {Qt::Key_NumberSign, QStringLiteral("numbersign")},
        {Qt::Key_Dollar, QStringLiteral("dollar")},
        {Qt::Key_Percent, QStringLiteral("percent")},
        {Qt::Key_Ampersand, QStringLiteral("ampersand")},
        {Qt::Key_Apostrophe, QStringLiteral("apostrophe")},
        {Qt::Key_ParenLeft, QStringLiteral("parenleft")},
        {Qt::Key_ParenRight, QStringLiteral("parenright")},
        {Qt::Key_Asterisk, QStringLiteral("asterisk")},
        {Qt::Key_Plus, QStringLiteral("plus")},
        {Qt::Key_Comma, QStringLiteral("comma")},
        {Qt::Key_Minus, QStringLiteral("minus")},
        {Qt::Key_Period, QStringLiteral("period")},
        {Qt::Key_Slash, QStringLiteral("slash")},
        {Qt::Key_Colon, QStringLiteral("colon")},
        {Qt::Key_Semicolon, QStringLiteral("semicolon")},
        {Qt::Key_Less, QStringLiteral("less")},
        {Qt::Key_Equal, QStringLiteral("equal")},
        {Qt::Key_Greater, QStringLiteral("greater")},
        {Qt::Key_Question, QStringLiteral("question")},
        {Qt::Key_At, QStringLiteral("at")},
        {Qt::Key_BracketLeft, QStringLiteral("bracketleft")},
        {Qt::Key_Backslash, QStringLiteral("backslash")},
        {Qt::Key_BracketRight, QStringLiteral("bracketright")},
        {Qt::Key_AsciiCircum, QStringLiteral("asciicircum")},
        {Qt::Key_Underscore, QStringLiteral("underscore")},
        {Qt::Key_QuoteLeft, QStringLiteral("grave")},
        {Qt::Key_BraceLeft, QStringLiteral("braceleft")},
        {Qt::Key_Bar, QStringLiteral("bar")},
        {Qt::Key_BraceRight, QStringLiteral("braceright")},
        {Qt::Key_AsciiTilde, QStringLiteral("asciitilde")},
    };
    return names.value(key);
}

// The three capture keys (their identifiers are the capture modes): the name the portal keeps them
// under and the text it shows until the program gives one.
struct TKnownShortcut {
    const char* id;
    const char* description;
};
constexpr TKnownShortcut kCaptureShortcuts[] = {
    {"capture-desktop", QT_TRANSLATE_NOOP("PortalShortcuts", "捕获整个桌面")},
    {"capture-window", QT_TRANSLATE_NOOP("PortalShortcuts", "捕获活动窗口")},
    {"capture-magnifier", QT_TRANSLATE_NOOP("PortalShortcuts", "用放大镜捕获")}};
const TKnownShortcut* KnownShortcut(int id) {
    return id >= 0 && id < int(std::size(kCaptureShortcuts)) ? &kCaptureShortcuts[id] : nullptr;
}

QString DefaultDescription(int id) {
    if (const TKnownShortcut* k = KnownShortcut(id))
        return QCoreApplication::translate("PortalShortcuts", k->description);
    return QCoreApplication::translate("PortalShortcuts", "Vexmor 热键 %1").arg(id);
}

// A session handle arrives as a string (as the interface documents it) or, from some portals, as an
// object path.
QString PathValue(const QVariant& v) {
    if (v.metaType() == QMetaType::fromType<QDBusObjectPath>()) return v.value<QDBusObjectPath>().path();
    return v.toString();
}

} // namespace

QString PortalTrigger(int qtKey, Qt::KeyboardModifiers modifiers) {
    const QString key = KeyName(qtKey);
    if (key.isEmpty()) return {};
    QStringList parts;
    if (modifiers & Qt::ControlModifier) parts << QStringLiteral("CTRL");
    if (modifiers & Qt::AltModifier) parts << QStringLiteral("ALT");
    if (modifiers & Qt::ShiftModifier) parts << QStringLiteral("SHIFT");
    if (modifiers & Qt::MetaModifier) parts << QStringLiteral("LOGO");
    parts << key;
    return parts.join(QLatin1Char('+'));
}

QString PortalShortcutId(int id) {
    if (const TKnownShortcut* k = KnownShortcut(id)) return QString::fromLatin1(k->id);
    return QStringLiteral("hotkey-%1").arg(id);
}

TPortalHotKeys::TPortalHotKeys(QDBusConnection bus, TPortalShortcutTimeouts timeouts)
    : bus_(std::move(bus)), timeouts_(timeouts) {
    RegisterTypes();
    bindTimer_.setSingleShot(true);
    bindTimer_.setInterval(0);
    connect(&bindTimer_, &QTimer::timeout, this, &TPortalHotKeys::Bind);
    bus_.connect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"), this,
                 SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

TPortalHotKeys::~TPortalHotKeys() {
    pending_.reset();
    CloseSession();
}

bool TPortalHotKeys::PortalOffersGlobalShortcuts(QDBusConnection bus, int timeoutMs) {
    return PortalOffersInterface(std::move(bus), kShortcutsInterface, timeoutMs);
}

THotKeyGrab TPortalHotKeys::Register(int id, int qtKey, Qt::KeyboardModifiers modifiers) {
    const QString trigger = PortalTrigger(qtKey, modifiers);
    if (trigger.isEmpty()) {
        Unregister(id);
        return THotKeyGrab::Absent;
    }
    keys_.insert(id, {trigger});
    reported_.removeAll(id); // the program takes it as ours now
    ScheduleBind();
    return THotKeyGrab::Ours;
}

void TPortalHotKeys::Unregister(int id) {
    if (!keys_.remove(id)) return;
    reported_.removeAll(id);
    ScheduleBind();
}

void TPortalHotKeys::SetDescription(int id, const QString& text) {
    descriptions_.insert(id, text);
    if (keys_.contains(id)) ScheduleBind();
}

void TPortalHotKeys::ScheduleBind() {
    bindTimer_.start();
}

TPortalHotKeys::TWanted TPortalHotKeys::Wanted() const {
    TWanted wanted;
    for (auto it = keys_.cbegin(); it != keys_.cend(); ++it) {
        const QString description = descriptions_.value(it.key());
        wanted.insert(PortalShortcutId(it.key()),
                      {description.isEmpty() ? DefaultDescription(it.key()) : description, it->trigger});
    }
    return wanted;
}

// The shortcuts in the a(sa{sv}) form both CreateSession's option and BindShortcuts take.
static QList<TPortalShortcut> ShortcutList(const QMap<QString, QPair<QString, QString>>& wanted) {
    QList<TPortalShortcut> shortcuts;
    for (auto it = wanted.cbegin(); it != wanted.cend(); ++it)
        shortcuts.append({it.key(),
                          {{QStringLiteral("description"), it->first},
                           {QStringLiteral("preferred_trigger"), it->second}}});
    return shortcuts;
}

void TPortalHotKeys::Bind() {
    if (keys_.isEmpty()) {
        // No key left to fire: the session ends, and the next registration makes a new one.
        pending_.reset();
        CloseSession();
        return;
    }
    // The answer under way looks at the keys again when it comes.
    if (pending_) return;
    const TWanted wanted = Wanted();
    if (session_.isEmpty()) {
        const QString token = NewPortalToken();
        const QString expected = PortalObjectPath(bus_, QStringLiteral("session"), token);
        pending_.reset(new TPortalRequest(bus_, this)); // freed with us if the event loop has not
        pending_->Start(kShortcutsInterface, QStringLiteral("CreateSession"), {},
                        {{QStringLiteral("session_handle_token"), token},
                         {QStringLiteral("shortcuts"), QVariant::fromValue(ShortcutList(wanted))}},
                        timeouts_.sessionMs,
                        [this, expected](const TPortalAnswer& answer) { OnSessionMade(answer, expected); });
        return;
    }
    if (wanted == sent_) {
        // The same keys again: the portal's last word on them stands, and is told again.
        if (answered_) Report(NotOursNow());
        return;
    }
    sent_ = wanted;
    answered_ = bound_ = false;
    QMap<QString, int> sent;
    for (auto it = keys_.cbegin(); it != keys_.cend(); ++it)
        sent.insert(PortalShortcutId(it.key()), it.key());
    pending_.reset(new TPortalRequest(bus_, this)); // freed with us if the event loop has not
    pending_->Start(kShortcutsInterface, QStringLiteral("BindShortcuts"),
                    {QVariant::fromValue(QDBusObjectPath(session_)),
                     QVariant::fromValue(ShortcutList(wanted)), QString()},
                    {}, timeouts_.bindMs, [this, sent](const TPortalAnswer& bound) { OnBound(bound, sent); });
}

void TPortalHotKeys::OnSessionMade(const TPortalAnswer& answer, const QString& expected) {
    pending_.reset(); // (taking every key out cancels this request: some are registered here)
    if (!answer.Succeeded()) {
        Report(keys_.keys());
        return;
    }
    session_ = PathValue(answer.results.value(QStringLiteral("session_handle")));
    if (session_.isEmpty()) session_ = expected;
    bus_.connect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                 SLOT(OnSessionClosed()));
    Bind();
}

void TPortalHotKeys::OnBound(const TPortalAnswer& answer, const QMap<QString, int>& sent) {
    pending_.reset();
    if (session_.isEmpty()) return; // closed meanwhile
    answered_ = true;
    boundIds_.clear();
    if (answer.kind == TPortalAnswer::CallFailed) {
        // The portal no longer knows the session: the next registration starts a new one.
        CloseSession();
        Report(keys_.keys());
        return;
    }
    if (answer.Succeeded()) {
        // The answer lists what was bound; a shortcut left out of it does not fire. A portal that
        // names none bound them all.
        boundIds_ = sent;
        const auto listed = answer.results.find(QStringLiteral("shortcuts"));
        if (listed != answer.results.end()) {
            QMap<QString, int> kept;
            for (const TPortalShortcut& s : qdbus_cast<QList<TPortalShortcut>>(*listed))
                if (sent.contains(s.id)) kept.insert(s.id, sent.value(s.id));
            boundIds_ = kept;
        }
        bound_ = true;
    }
    if (!keys_.isEmpty() && Wanted() != sent_) {
        ScheduleBind(); // the keys changed while the portal worked: their binding follows
        return;
    }
    Report(NotOursNow());
}

QList<int> TPortalHotKeys::NotOursNow() const {
    QList<int> notOurs;
    for (auto it = keys_.cbegin(); it != keys_.cend(); ++it)
        if (!bound_ || !boundIds_.contains(PortalShortcutId(it.key()))) notOurs << it.key();
    return notOurs;
}

void TPortalHotKeys::OnActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong,
                                 const QVariantMap&) {
    if (!bound_ || session.path() != session_) return;
    const auto it = boundIds_.constFind(shortcutId);
    if (it == boundIds_.cend() || !keys_.contains(*it)) return;
    if (handler_) handler_(*it);
}

// The desktop ended the session (its portal restarted, the user revoked the shortcuts): nothing
// fires any more.
void TPortalHotKeys::OnSessionClosed() {
    if (session_.isEmpty()) return;
    bus_.disconnect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                    SLOT(OnSessionClosed()));
    session_.clear();
    sent_.clear();
    answered_ = bound_ = false;
    boundIds_.clear();
    pending_.reset();
    Report(keys_.keys());
}

void TPortalHotKeys::CloseSession() {
    sent_.clear();
    answered_ = bound_ = false;
    boundIds_.clear();
    if (session_.isEmpty()) return;
    bus_.disconnect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                    SLOT(OnSessionClosed()));
    bus_.send(
        QDBusMessage::createMethodCall(kPortalService, session_, kSessionInterface, QStringLiteral("Close")));
    session_.clear();
}

void TPortalHotKeys::Report(QList<int> notOurs) {
    std::sort(notOurs.begin(), notOurs.end());
    // Compared as ranges: Qt 6.4's list comparison hands a null pointer to memcmp for two empty lists.
    if (std::equal(notOurs.begin(), notOurs.end(), reported_.begin(), reported_.end())) return;
    reported_ = notOurs;
    if (remapHandler_) remapHandler_(notOurs);
}
