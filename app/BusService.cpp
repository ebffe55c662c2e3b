#include "BusService.h"

#include "CommandLine.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDir>

#include <utility>

#ifndef VEXMOR_VERSION
#define VEXMOR_VERSION "0.0.0.0"
#endif

TBusService::TBusService(THandlers handlers, QObject* parent)
    : QObject(parent), handlers_(std::move(handlers)) {}

QString TBusService::Version() const {
    return QStringLiteral(VEXMOR_VERSION);
}

void TBusService::Refuse(const QString& text) {
    if (calledFromDBus()) sendErrorReply(QDBusError::InvalidArgs, text);
}

void TBusService::Capture(int mode) {
    CaptureAfter(mode, 0);
}

void TBusService::CaptureAfter(int mode, int milliseconds) {
    const std::optional<TCaptureMode> known = CaptureModeFromInt(mode);
    if (!known) {
        Refuse(QStringLiteral(
                   "capture mode %1: 0 (desktop), 1 (window), 2 (magnifier), 3 (text) or 4 (last region)")
                   .arg(mode));
        return;
    }
    if (milliseconds < 0 || milliseconds > kMaxCaptureDelayMs) {
        Refuse(QStringLiteral("delay %1 ms: 0 to %2").arg(milliseconds).arg(kMaxCaptureDelayMs));
        return;
    }
    if (handlers_.capture) handlers_.capture(*known, milliseconds);
}

void TBusService::ShowSettings() {
    if (handlers_.showSettings) handlers_.showSettings();
}

void TBusService::EditPicture(const QString& path) {
    if (!QDir::isAbsolutePath(path)) {
        Refuse(QStringLiteral("%1: an absolute path is needed").arg(path));
        return;
    }
    const QString failure = handlers_.edit ? handlers_.edit(path) : QString();
    if (!failure.isEmpty() && calledFromDBus()) sendErrorReply(QDBusError::Failed, failure);
}

bool StartBusService(TBusService::THandlers handlers, QObject* parent) {
    // Without an address libdbus would try to start a bus of its own for the display; there is none
    // to serve on then.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    // The object is there before the name: a call that made the bus start this copy waits for the
    // name and is delivered as soon as it is taken.
    auto* service = new TBusService(std::move(handlers), parent);
    if (!bus.registerObject(QString::fromLatin1(kBusPath), service,
                            QDBusConnection::ExportScriptableSlots |
                                QDBusConnection::ExportScriptableProperties)) {
        delete service;
        return false;
    }
    if (!bus.registerService(QString::fromLatin1(kBusName))) {
        bus.unregisterObject(QString::fromLatin1(kBusPath));
        delete service;
        return false;
    }
    return true;
}
