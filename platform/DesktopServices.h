// freedesktop.org services shared by the X11 and Wayland builds: the running copy's socket, the user's
// folders, the autostart entry, hand-offs to other programs and the recently-used list.
#pragma once

#include "Platform.h"

#include <QLocalServer>

#include <memory>

// The autostart entry $XDG_CONFIG_HOME/autostart/vexmor.desktop, named "Vexmor by Tolvane", starting
// the program with /Tray. An entry counts as present when its Exec line equals the expected command
// ignoring letter case and the session would start it: neither Hidden=true nor
// X-GNOME-Autostart-enabled=false. Switching it on writes a fresh entry over whatever is there.
class TXdgAutostart : public IAutostart {
  public:
    bool IsEnabled(const QString& programPath) override;
    TPlatformStatus SetEnabled(const QString& programPath, bool on) override;
    static QString EntryPath();
    static QString ExpectedExec(const QString& programPath);
};

class TDesktopShell : public IShell {
  public:
    TPlatformStatus OpenUrl(const QString& url) override;
    TPlatformStatus EditFile(const QString& path) override;
    int SendMail(const QString& subject, const QStringList& attachments, const QString& body = {},
                 const QString& recipientAddress = {}, const QString& recipientName = {}) override;
    // Adds (or refreshes) a bookmark in $XDG_DATA_HOME/recently-used.xbel, written atomically. A missing
    // or empty list is started; a list that cannot be read or loaded is left untouched and the call fails.
    TPlatformStatus AddRecentDocument(const QString& path) override;
    static QString RecentFilesPath();
};

// One program per user and display: the first start listens on the socket InstanceSocketPath names,
// later starts hand their request to it.
class TLocalSingleInstance : public ISingleInstance {
  public:
    bool HandOver(const QByteArray& request) override;
    bool BecomeFirstOrHandOver(const QByteArray& request) override;
    QString Refusal() override;
    void SetRequestHandler(std::function<void(const QByteArray&)> handler) override {
        handler_ = std::move(handler);
    }

  private:
    void Accept();
    std::unique_ptr<QLocalServer> server_;
    std::function<void(const QByteArray&)> handler_;
};

// The XDG user folders; an explicit XDG_*_DIR in the environment wins over the user-dirs file.
class TXdgFolders : public IFolders {
  public:
    QString Desktop() override;
    QString Documents() override;
    QString Temp() override;
};
