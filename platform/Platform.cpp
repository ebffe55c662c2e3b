#include "Platform.h"
#include "FakePlatform.h"
#include "InstanceSocket.h"

#include <QtGlobal>

#include <cstring>

namespace {
std::unique_ptr<TPlatform>& Current() {
    static std::unique_ptr<TPlatform> current;
    return current;
}

// The desktop tells no active window: a window capture takes the whole desktop, with no title.
class TNoActiveWindow final : public IActiveWindow {
  public:
    TForegroundWindow Foreground() override { return {}; }
};

// No system-wide keys: nothing is registered, and nothing is reported held by anyone.
class TNoHotKeys final : public IHotKeys {
  public:
    THotKeyGrab Register(int, int, Qt::KeyboardModifiers) override { return THotKeyGrab::Absent; }
    void Unregister(int) override {}
    void SetHandler(std::function<void(int)>) override {}
    void SetRemapHandler(std::function<void(const QList<int>&)>) override {}
};

void FillMissingServices(TPlatform& p) {
    if (!p.activeWindow) p.activeWindow = std::make_unique<TNoActiveWindow>();
    if (!p.hotKeys) p.hotKeys = std::make_unique<TNoHotKeys>();
    if (!p.display || !p.instance || !p.folders || !p.autostart || !p.shell || !p.grabber || !p.windowShape ||
        !p.offers)
        qFatal("vexmor: the %s platform lacks a service", qPrintable(p.name));
}
} // namespace

bool TPlatform::Can(TCapability what) const {
    switch (what) {
    case TCapability::WindowCapture:
        return !dynamic_cast<const TNoActiveWindow*>(activeWindow.get());
    case TCapability::GlobalKeys:
        return !dynamic_cast<const TNoHotKeys*>(hotKeys.get());
    case TCapability::PlaceWindows:
        return display->CanPlaceWindows();
    case TCapability::Tray:
        return offers->Offers().tray;
    }
    return false;
}

TPlatform& Platform() {
    auto& current = Current();
    if (!current) {
        if (qEnvironmentVariable("VEXMOR_PLATFORM") == QLatin1String("fake"))
            SetPlatform(MakeFakePlatform(std::make_shared<TFakeState>()));
        else if (WaylandSession())
            SetPlatform(MakeWaylandPlatform());
        else
            SetPlatform(MakeX11Platform());
    }
    return *current;
}

TPlatformStatus ChooseDisplayPlatform() {
    TPlatform& platform = Platform();
    const bool wayland = platform.name == QLatin1String("wayland");
    if (wayland && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "wayland");
    TPlatformStatus layered = platform.display->CheckLayeredWindows();
    if (!layered && wayland && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        SetPlatform(MakeX11Platform());
        qputenv("QT_QPA_PLATFORM", "xcb");
        layered = Platform().display->CheckLayeredWindows();
    }
    return layered;
}

std::unique_ptr<TPlatform> SetPlatform(std::unique_ptr<TPlatform> platform) {
    auto previous = std::move(Current());
    if (platform) FillMissingServices(*platform);
    Current() = std::move(platform);
    return previous;
}

TPlatformStatus GrabThroughSink(IScreenGrabber& grabber, const QRect& rect, TGrabbedImage& out,
                                const QString& emptyReason) {
    out = TGrabbedImage();
    if (rect.isEmpty()) return TPlatformStatus::Fail(emptyReason);
    out.width = rect.width();
    out.height = rect.height();
    out.stride = out.width * 4;
    out.pixels.assign(size_t(out.stride) * out.height, 0);
    const TPlatformStatus status =
        grabber.GrabTo(rect, [&](const QRect& part, const uint8_t* bgrx, int stride) {
            for (int y = 0; y < part.height(); ++y)
                std::memcpy(out.pixels.data() + size_t(part.y() + y) * out.stride + size_t(part.x()) * 4,
                            bgrx + size_t(y) * stride, size_t(part.width()) * 4);
        });
    if (!status) out = TGrabbedImage();
    return status;
}

TPlatformStatus IScreenGrabber::GrabHeld(const QRect& rect, std::shared_ptr<THeldGrab>& out) {
    out.reset();
    auto held = std::make_shared<THeldGrab>();
    const TPlatformStatus status = GrabTo(rect, [&](const QRect& part, const uint8_t* bgrx, int stride) {
        // One piece or bands of one piece: the first call sizes the copy for the whole rectangle.
        if (held->own.empty()) {
            held->stride = rect.width() * 4;
            held->own.assign(size_t(held->stride) * rect.height(), 0);
            held->bits = held->own.data();
        }
        held->part = held->part.isNull() ? part : held->part.united(part);
        for (int y = 0; y < part.height(); ++y)
            std::memcpy(held->bits + size_t(part.y() + y) * held->stride + size_t(part.x()) * 4,
                        bgrx + size_t(y) * stride, size_t(part.width()) * 4);
    });
    if (!status) return status;
    if (held->bits) {
        // Rows are addressed from the part's own top-left corner, as a lent segment's are.
        held->bits += size_t(held->part.y()) * held->stride + size_t(held->part.x()) * 4;
        out = std::move(held);
    }
    return status;
}
