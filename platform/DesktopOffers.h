// What the desktop offers beside the program's windows, as the session bus (and on X11 the X server)
// tell it: a tray to dock the icon in, and a notification service for what a tray balloon would say.
#pragma once

#include "Platform.h"

#include <QDBusConnection>
#include <QObject>

class QDBusServiceWatcher;

// The name of the desktop or compositor the session runs, as a user knows it ("GNOME", "KDE Plasma",
// "sway"), from XDG_CURRENT_DESKTOP; empty when the session does not say.
QString DesktopEnvironmentName();

class TBusDesktopOffers : public QObject, public IDesktopOffers {
    Q_OBJECT
  public:
    // `xembedTray` (may be empty) answers whether an XEmbed tray manager owns its X selection now;
    // Qt docks the icon there by itself, so it is asked whenever the answer is needed.
    TBusDesktopOffers(QDBusConnection bus, std::function<bool()> xembedTray);
    ~TBusDesktopOffers() override;

    TDesktopOffers Offers() override;
    void SetOffersHandler(std::function<void(const TDesktopOffers&)> handler) override;
    void Notify(const TDesktopNotice& notice, std::function<void(const TPlatformStatus&)> done) override;

  private slots:
    void Refresh();

  private:
    TDesktopOffers Combined() const;
    void Send(const TDesktopNotice& notice, bool markup,
              const std::function<void(const TPlatformStatus&)>& done);

    QDBusConnection bus_;
    std::function<bool()> xembedTray_;
    std::function<void(const TDesktopOffers&)> handler_;
    QDBusServiceWatcher* watcher_ = nullptr;
    bool known_ = false;
    TDesktopOffers busOffers_; // what the bus says; the XEmbed tray is added when asked
    TDesktopOffers told_;      // what the handler heard last
    int markup_ = -1;          // the notification service shows body markup: -1 not asked yet
};
