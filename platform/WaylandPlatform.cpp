// The Wayland implementation of the platform services. The display check opens the program's own
// connection to the compositor before Qt is set up; the grab and the monitors use it from then on,
// while the toolkit keeps its own connection for the windows.
#include "DesktopOffers.h"
#include "DesktopServices.h"
#include "KWinScreenShot.h"
#include "Platform.h"
#include "PortalScreenshot.h"
#include "PortalShortcuts.h"
#include "SwayIpc.h"
#include "WaylandConnection.h"
#include "WaylandServices.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QRegion>
#include <QWindow>

namespace {

// The connection is made at the first question, so that a start handed to a running copy never
// opens it.
class TConnectionHolder {
  public:
    std::shared_ptr<TWaylandConnection> Get() {
        if (!tried_) {
            tried_ = true;
            conn_ = TWaylandConnection::Open();
        }
        return conn_;
    }

  private:
    bool tried_ = false;
    std::shared_ptr<TWaylandConnection> conn_;
};

class TWaylandDisplay : public IDisplayService {
  public:
    explicit TWaylandDisplay(std::shared_ptr<TConnectionHolder> holder) : holder_(std::move(holder)) {}

    TPlatformStatus CheckLayeredWindows() override {
        const QString name = qEnvironmentVariable("WAYLAND_DISPLAY");
        if (!holder_->Get())
            return TPlatformStatus::Fail(
                QStringLiteral("cannot connect to the Wayland compositor %1").arg(name));
        // Every Wayland compositor blends windows with per-pixel alpha.
        return TPlatformStatus::Ok();
    }
    QRect DesktopBounds() override { return Layout().Bounds(); }
    QList<QRect> Monitors() override { return Layout().Monitors(); }
    bool ConnectionLost() override {
        const auto c = holder_->Get();
        return !c || c->Lost();
    }
    bool CanPlaceWindows() override { return false; }
    QRect MonitorNamed(const QString& name) override {
        const TOutputLayout layout = Layout();
        for (const TOutputPlace& p : layout.Places())
            if (p.info.name == name) return p.device;
        return {};
    }

  private:
    TOutputLayout Layout() {
        const auto c = holder_->Get();
        if (!c) return {};
        c->Update();
        return c->Layout();
    }
    std::shared_ptr<TConnectionHolder> holder_;
};

// The grab is chosen when first used: the compositor's screen copy where it offers one (sway,
// Hyprland, river, labwc, Wayfire), else KWin's own screenshot interface under KDE Plasma (several
// times faster than the portal, which stays its fallback), else the desktop portal's Screenshot
// (GNOME, and KDE where KWin does not serve this program).
bool InDesktop(const QString& name) {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP")
        .split(QLatin1Char(':'))
        .contains(name, Qt::CaseInsensitive);
}

class TLazyGrabber : public IScreenGrabber {
  public:
    explicit TLazyGrabber(std::shared_ptr<TConnectionHolder> holder) : holder_(std::move(holder)) {}
    TPlatformStatus Grab(const QRect& rect, TGrabbedImage& out) override { return Real().Grab(rect, out); }
    TPlatformStatus GrabTo(const QRect& rect, const TGrabSink& sink) override {
        return Real().GrabTo(rect, sink);
    }
    TPlatformStatus GrabHeld(const QRect& rect, std::shared_ptr<THeldGrab>& out) override {
        return Real().GrabHeld(rect, out);
    }
    void ReleaseKept() override { Real().ReleaseKept(); }
    TPlatformStatus Cursor(TCursorImage& out) override { return Real().Cursor(out); }
    bool DrawsPointer() const override { return Real().DrawsPointer(); }
    void IncludePointer(bool on) override { Real().IncludePointer(on); }
    bool AsksPermissionFirst() const override { return Real().AsksPermissionFirst(); }
    void Withdraw() override {
        if (real_) real_->Withdraw();
    }

  private:
    IScreenGrabber& Real() const {
        if (real_) return *real_;
        const auto c = holder_->Get();
        // VEXMOR_WAYLAND_GRAB=portal takes the portal even where the compositor copies or KWin would
        // serve (tests of the portal on a compositor that has both).
        const bool portalFirst = qEnvironmentVariable("VEXMOR_WAYLAND_GRAB") == QLatin1String("portal");
        if (portalFirst || !(c && c->CopiesOutputs())) {
            QDBusConnection bus = QDBusConnection::sessionBus();
            auto holder = holder_;
            auto bounds = [holder] {
                const auto conn = holder->Get();
                if (!conn) return QRect();
                conn->Update();
                return conn->Layout().Bounds();
            };
            if (bus.isConnected() && InDesktop(QStringLiteral("KDE")) && !portalFirst) {
                real_ = std::make_unique<TKWinScreenGrabber>(
                    bus, bounds, [bus, bounds]() -> std::unique_ptr<IScreenGrabber> {
                        if (!TPortalScreenGrabber::PortalOffersScreenshot(bus)) return nullptr;
                        return MakePortalScreenGrabber(bus, bounds);
                    });
                return *real_;
            }
            if (bus.isConnected() && TPortalScreenGrabber::PortalOffersScreenshot(bus)) {
                real_ = MakePortalScreenGrabber(bus, bounds, InDesktop(QStringLiteral("GNOME")));
                return *real_;
            }
        }
        // Without either the screen copy's grab says why it cannot copy.
        real_ = MakeWaylandGrabber(c);
        return *real_;
    }
    std::shared_ptr<TConnectionHolder> holder_;
    mutable std::unique_ptr<IScreenGrabber> real_;
};

// Window shapes: the compositor blends every window, so a window is never cut to its opaque pixels;
// only the parts that take the mouse are set (the toolkit's mask is the surface's input region).
class TWaylandWindowShape : public IWindowShape {
  public:
    void HideWindowRegion(quintptr) override {}
    void RestoreWindowRegion(quintptr) override {}
    void SetVisibleRegion(quintptr, const std::vector<QRect>&) override {}
    void SetInputRegion(quintptr window, const QList<QRect>& rects) override {
        QWindow* w = Find(window);
        if (!w) return;
        QRegion region;
        for (const QRect& r : rects)
            region += r;
        w->setMask(region);
    }
    bool CompositorActive() override { return true; }
    void SetCompositorHandler(std::function<void(bool)>) override {}

  private:
    static QWindow* Find(quintptr id) {
        if (!qGuiApp) return nullptr;
        for (QWindow* w : QGuiApplication::allWindows())
            if (w->winId() == WId(id)) return w;
        return nullptr;
    }
};

// Without a shortcut service the compositor keeps every key to itself: each combination is reported
// as held, which tells the user once to bind the capture command in the compositor's settings.
class TCompositorKeys : public IHotKeys {
  public:
    THotKeyGrab Register(int, int, Qt::KeyboardModifiers) override { return THotKeyGrab::Held; }
    void Unregister(int) override {}
    void SetHandler(std::function<void(int)>) override {}
    void SetRemapHandler(std::function<void(const QList<int>&)>) override {}
    std::optional<QString> KeysKeptBy() const override { return DesktopEnvironmentName(); }
};

// The capture keys through the desktop portal's GlobalShortcuts where it is offered (asked when the
// keys are first registered, not while a start hands its request over).
class TLazyHotKeys : public IHotKeys {
  public:
    THotKeyGrab Register(int id, int qtKey, Qt::KeyboardModifiers modifiers) override {
        return Real().Register(id, qtKey, modifiers);
    }
    void Unregister(int id) override { Real().Unregister(id); }
    void SetHandler(std::function<void(int)> handler) override { Real().SetHandler(std::move(handler)); }
    void SetRemapHandler(std::function<void(const QList<int>&)> handler) override {
        Real().SetRemapHandler(std::move(handler));
    }
    void SetDescription(int id, const QString& text) override { Real().SetDescription(id, text); }
    // On Wayland no other program can take a key from us: a key the portal does not bind is one the
    // desktop declined (GNOME with another desktop's portal installed beside its own fails them all).
    std::optional<QString> KeysKeptBy() const override {
        return real_ ? std::optional<QString>(DesktopEnvironmentName()) : std::nullopt;
    }

  private:
    IHotKeys& Real() {
        if (!real_) {
            QDBusConnection bus = QDBusConnection::sessionBus();
            if (bus.isConnected() && TPortalHotKeys::PortalOffersGlobalShortcuts(bus))
                real_ = std::make_unique<TPortalHotKeys>(bus);
            else
                real_ = std::make_unique<TCompositorKeys>();
        }
        return *real_;
    }
    std::unique_ptr<IHotKeys> real_;
};

} // namespace

std::unique_ptr<TPlatform> MakeWaylandPlatform() {
    auto holder = std::make_shared<TConnectionHolder>();
    auto p = std::make_unique<TPlatform>();
    p->name = QStringLiteral("wayland");
    p->display = std::make_unique<TWaylandDisplay>(holder);
    p->instance = std::make_unique<TLocalSingleInstance>();
    p->folders = std::make_unique<TXdgFolders>();
    p->autostart = std::make_unique<TXdgAutostart>();
    p->shell = std::make_unique<TDesktopShell>();
    p->windowShape = std::make_unique<TWaylandWindowShape>();
    p->grabber = std::make_unique<TLazyGrabber>(holder);
    p->hotKeys = std::make_unique<TLazyHotKeys>();
    // Wayland has no XEmbed: the tray is a StatusNotifierItem host or none.
    p->offers = std::make_unique<TBusDesktopOffers>(QDBusConnection::sessionBus(), nullptr);
    // The focused window where the compositor tells it (sway's IPC); elsewhere none, and a window
    // capture takes the whole desktop with an empty title.
    const QString sway = qEnvironmentVariable("SWAYSOCK");
    if (!sway.isEmpty()) {
        p->activeWindow = std::make_unique<TSwayActiveWindow>(sway, [holder](const QRect& layout) {
            const auto c = holder->Get();
            if (!c) return layout;
            c->Update();
            return c->Layout().DeviceFromLogical(layout);
        });
    }
    return p;
}
