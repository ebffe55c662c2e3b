// Vexmor on the session bus: the well-known name net.tolvane.Vexmor, with an object at
// /net/tolvane/Vexmor whose interface net.tolvane.Vexmor asks for the same things as the command
// line (a capture now or after a delay, the settings, a picture to edit) and tells the version. A desktop's
// shortcut or a script can call it instead of starting `vexmor --capture`; the bus starts Vexmor through its
// activation file when no copy runs.
#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>

#include "CaptureMode.h"

#include <functional>

inline constexpr const char* kBusName = "net.tolvane.Vexmor";
inline constexpr const char* kBusPath = "/net/tolvane/Vexmor";

class TBusService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.tolvane.Vexmor")
    Q_PROPERTY(QString Version READ Version)

  public:
    struct THandlers {
        std::function<void(TCaptureMode mode, int delayMs)> capture;
        std::function<void()> showSettings;
        // Opens a picture file for editing; the failure told, empty when it opened.
        std::function<QString(const QString& path)> edit;
    };
    explicit TBusService(THandlers handlers, QObject* parent = nullptr);

    QString Version() const;

  public Q_SLOTS:
    // Bad arguments are answered with org.freedesktop.DBus.Error.InvalidArgs and change nothing.
    Q_SCRIPTABLE void Capture(int mode);
    Q_SCRIPTABLE void CaptureAfter(int mode, int milliseconds);
    Q_SCRIPTABLE void ShowSettings();
    // Opens the picture at an absolute path in the overlay; one that cannot be opened is answered with
    // org.freedesktop.DBus.Error.Failed and the reason.
    Q_SCRIPTABLE void EditPicture(const QString& path);

  private:
    void Refuse(const QString& text);
    THandlers handlers_;
};

// Serves on the session bus named by DBUS_SESSION_BUS_ADDRESS (the bus sets it for a copy it
// starts). Without that variable, when the bus cannot be reached or another program owns the name,
// it makes nothing and returns false: the command line keeps working without a bus.
bool StartBusService(TBusService::THandlers handlers, QObject* parent);
