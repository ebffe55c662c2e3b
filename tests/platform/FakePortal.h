// A private session bus, started by the test, with tests/fake_portal/fake_portal.py owning the desktop
// portal's name on it. The fake needs Debian's python3 with its D-Bus and GLib bindings
// (python3-dbus, python3-gi); a machine without them fails the portal tests rather than skipping
// them.
#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <functional>

// Runs the event loop until `done` holds or `ms` have passed; true when it held.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 10000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

class TFakePortal {
  public:
    // The interpreter the bindings are installed for (a python3 earlier in PATH may lack them).
    static constexpr const char* kPython = "/usr/bin/python3";

    ~TFakePortal() {
        Stop(portal_);
        if (!connection_.isEmpty()) QDBusConnection::disconnectFromBus(connection_);
        Stop(daemon_);
    }

    // A bus daemon of our own, with no services to start: nothing but the fake answers there.
    bool StartBus(QString* error) {
        const QString config = dir_.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) return Failed(error, "cannot write " + config);
        file.write(QStringLiteral(
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                       "<auth>EXTERNAL</auth><policy context=\"default\">"
                       "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                       "<allow own=\"*\"/></policy></busconfig>\n")
                       .arg(dir_.path())
                       .toUtf8());
        file.close();
        daemon_.start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--nofork"), QStringLiteral("--print-address"), "--config-file=" + config});
        if (!daemon_.waitForStarted(10000)) return Failed(error, "dbus-daemon does not start");
        QDeadlineTimer deadline(10000);
        while (!daemon_.canReadLine() && !deadline.hasExpired())
            daemon_.waitForReadyRead(100);
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        if (address_.isEmpty()) return Failed(error, "dbus-daemon printed no address");
        static std::atomic<int> counter{0};
        connection_ = QStringLiteral("vexmor-portal-test-%1").arg(++counter);
        if (!Bus().isConnected()) return Failed(error, "cannot connect to " + address_);
        return true;
    }

    // The fake with these arguments (see fake_portal.py), once it owns the portal's name.
    bool StartPortal(const QStringList& arguments, QString* error) {
        if (!QFile::exists(QString::fromLatin1(kPython)))
            return Failed(error, QStringLiteral("%1 is missing (scripts/deps.sh installs it)").arg(kPython));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        portal_.setProcessEnvironment(environment);
        portal_.start(QString::fromLatin1(kPython),
                      QStringList{QStringLiteral(VEXMOR_TEST_DATA "/../fake_portal/fake_portal.py")} +
                          arguments);
        if (!portal_.waitForStarted(10000)) return Failed(error, "the fake portal does not start");
        const bool owned = WaitUntil(
            [&] {
                return portal_.state() != QProcess::Running ||
                       Bus().interface()->isServiceRegistered(
                           QStringLiteral("org.freedesktop.portal.Desktop"));
            },
            20000);
        if (!owned || portal_.state() != QProcess::Running)
            return Failed(error, "the fake portal did not take its name: " +
                                     QString::fromUtf8(portal_.readAllStandardError()));
        return true;
    }

    QDBusConnection Bus() const { return QDBusConnection::connectToBus(address_, connection_); }
    QString FolderPath(const QString& name) const { return dir_.filePath(name); }

    // Every call the fake received, in order: {"method": ..., "args": [...]}.
    QJsonArray Calls() const {
        const QDBusMessage reply = Control(QStringLiteral("Calls"), {});
        return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).array();
    }
    QList<QJsonArray> CallsOf(const QString& method) const {
        QList<QJsonArray> found;
        for (const QJsonValue call : Calls())
            if (call[QStringLiteral("method")].toString() == method)
                found << call[QStringLiteral("args")].toArray();
        return found;
    }
    // Emits Activated for `shortcutId` in `session`, or in the session bound last when it is empty.
    void Activate(const QString& shortcutId, const QString& session = {}) const {
        Control(QStringLiteral("Activate"), {session, shortcutId});
    }
    void CloseBoundSession() const { Control(QStringLiteral("CloseBoundSession"), {}); }
    // The portal leaves the bus, as one that crashes does.
    void StopPortal() { Stop(portal_); }

  private:
    static bool Failed(QString* error, const QString& why) {
        if (error) *error = why;
        return false;
    }
    static void Stop(QProcess& process) {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    QDBusMessage Control(const QString& method, const QVariantList& arguments) const {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
                                                           QStringLiteral("/control"),
                                                           QStringLiteral("net.tolvane.FakePortal"), method);
        call.setArguments(arguments);
        return Bus().call(call, QDBus::Block, 10000);
    }

    QTemporaryDir dir_;
    QProcess daemon_, portal_;
    QString address_, connection_;
};
