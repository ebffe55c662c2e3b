// freedesktop.org services of the X11 build: the autostart entry, hand-offs to other programs and
// the recently-used list.
#pragma once

#include "Platform.h"

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
