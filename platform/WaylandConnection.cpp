#include "WaylandConnection.h"

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>

namespace {

constexpr uint32_t MaxOutputVersion = 4;
constexpr uint32_t MaxXdgOutputVersion = 3;
constexpr uint32_t MaxScreencopyVersion = 3;

using TOutput = TWaylandConnection::TOutput;

// Turned a quarter (wl_output transforms 90 and 270, flipped or not): the picture is the mode on its side.
QSize Turned(QSize mode, int transform) {
    return transform & 1 ? mode.transposed() : mode;
}

void OutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
                    const char*, int32_t transform) {
    auto& o = *static_cast<TOutput*>(data);
    o.outputPosition = QPoint(x, y);
    o.transform = transform;
}
void OutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    auto& o = *static_cast<TOutput*>(data);
    if (flags & WL_OUTPUT_MODE_CURRENT) o.mode = QSize(width, height);
}
void OutputScale(void* data, wl_output*, int32_t factor) {
    static_cast<TOutput*>(data)->scale = std::max(1, factor);
}
void OutputName(void* data, wl_output*, const char* name) {
    static_cast<TOutput*>(data)->pending.name = QString::fromUtf8(name);
}
void OutputDescription(void*, wl_output*, const char*) {}
void OutputDoneEvent(void* data, wl_output*) {
    auto& o = *static_cast<TOutput*>(data);
    o.pending.device = Turned(o.mode, o.transform);
    o.pending.transform = o.transform;
    // Without the compositor's logical description: its position, and the picture divided by the scale.
    if (!o.haveLogical)
        o.pending.logical = QRect(
            o.outputPosition, QSize(o.pending.device.width() / o.scale, o.pending.device.height() / o.scale));
    o.info = o.pending;
}

const wl_output_listener OutputListener = {OutputGeometry, OutputMode, OutputDoneEvent,
                                           OutputScale,    OutputName, OutputDescription};

void XdgPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    auto& o = *static_cast<TOutput*>(data);
    o.pending.logical.moveTopLeft(QPoint(x, y));
    o.haveLogical = true;
}
void XdgSize(void* data, zxdg_output_v1*, int32_t w, int32_t h) {
    auto& o = *static_cast<TOutput*>(data);
    o.pending.logical.setSize(QSize(w, h));
    o.haveLogical = true;
}
void XdgDone(void* data, zxdg_output_v1* xdg) {
    // Before version 3 the description ends here; since then with the output's own done.
    if (zxdg_output_v1_get_version(xdg) < 3) OutputDoneEvent(data, nullptr);
}
void XdgName(void* data, zxdg_output_v1*, const char* name) {
    static_cast<TOutput*>(data)->pending.name = QString::fromUtf8(name);
}
void XdgDescription(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener XdgOutputListener = {XdgPosition, XdgSize, XdgDone, XdgName, XdgDescription};

} // namespace

std::unique_ptr<TWaylandConnection> TWaylandConnection::Open() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    std::unique_ptr<TWaylandConnection> c(new TWaylandConnection);
    c->display_ = display;
    c->registry_ = wl_display_get_registry(display);
    static const wl_registry_listener listener = {Global, GlobalRemove};
    wl_registry_add_listener(c->registry_, &listener, c.get());
    // The globals, then what each output says about itself.
    if (wl_display_roundtrip(display) < 0) return nullptr;
    for (auto& o : c->outputs_)
        c->DescribeOutput(*o);
    if (wl_display_roundtrip(display) < 0) return nullptr;
    return c;
}

TWaylandConnection::~TWaylandConnection() {
    for (auto& o : outputs_) {
        if (o->xdg) zxdg_output_v1_destroy(o->xdg);
        if (o->output) wl_output_destroy(o->output);
    }
    if (screencopy_) zwlr_screencopy_manager_v1_destroy(screencopy_);
    if (imageCopy_) ext_image_copy_capture_manager_v1_destroy(imageCopy_);
    if (outputSources_) ext_output_image_capture_source_manager_v1_destroy(outputSources_);
    if (xdgOutputs_) zxdg_output_manager_v1_destroy(xdgOutputs_);
    if (shm_) wl_shm_destroy(shm_);
    if (registry_) wl_registry_destroy(registry_);
    if (display_) wl_display_disconnect(display_);
}

void TWaylandConnection::Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                                uint32_t version) {
    auto* c = static_cast<TWaylandConnection*>(data);
    if (std::strcmp(interface, wl_output_interface.name) == 0) {
        c->AddOutput(name, version);
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && !c->shm_) {
        c->shm_ = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && !c->xdgOutputs_) {
        c->xdgOutputs_ = static_cast<zxdg_output_manager_v1*>(wl_registry_bind(
            registry, name, &zxdg_output_manager_v1_interface, std::min(version, MaxXdgOutputVersion)));
        for (auto& o : c->outputs_)
            c->DescribeOutput(*o);
    } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0 && !c->screencopy_) {
        c->screencopyVersion_ = std::min(version, MaxScreencopyVersion);
        c->screencopy_ = static_cast<zwlr_screencopy_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, c->screencopyVersion_));
    } else if (std::strcmp(interface, ext_output_image_capture_source_manager_v1_interface.name) == 0 &&
               !c->outputSources_) {
        c->outputSources_ = static_cast<ext_output_image_capture_source_manager_v1*>(
            wl_registry_bind(registry, name, &ext_output_image_capture_source_manager_v1_interface, 1));
    } else if (std::strcmp(interface, ext_image_copy_capture_manager_v1_interface.name) == 0 &&
               !c->imageCopy_) {
        c->imageCopy_ = static_cast<ext_image_copy_capture_manager_v1*>(
            wl_registry_bind(registry, name, &ext_image_copy_capture_manager_v1_interface, 1));
    }
}

void TWaylandConnection::GlobalRemove(void* data, wl_registry*, uint32_t name) {
    auto* c = static_cast<TWaylandConnection*>(data);
    auto it = std::find_if(c->outputs_.begin(), c->outputs_.end(),
                           [name](const std::unique_ptr<TOutput>& o) { return o->global == name; });
    if (it == c->outputs_.end()) return;
    if ((*it)->xdg) zxdg_output_v1_destroy((*it)->xdg);
    if (wl_output_get_version((*it)->output) >= 3)
        wl_output_release((*it)->output);
    else
        wl_output_destroy((*it)->output);
    c->outputs_.erase(it);
}

void TWaylandConnection::AddOutput(uint32_t global, uint32_t version) {
    auto o = std::make_unique<TOutput>();
    o->global = global;
    o->output = static_cast<wl_output*>(
        wl_registry_bind(registry_, global, &wl_output_interface, std::min(version, MaxOutputVersion)));
    wl_output_add_listener(o->output, &OutputListener, o.get());
    if (xdgOutputs_) DescribeOutput(*o);
    outputs_.push_back(std::move(o));
}

void TWaylandConnection::DescribeOutput(TOutput& o) {
    if (o.xdg || !xdgOutputs_) return;
    o.xdg = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, o.output);
    zxdg_output_v1_add_listener(o.xdg, &XdgOutputListener, &o);
}

bool TWaylandConnection::Lost() const {
    return !display_ || wl_display_get_error(display_) != 0;
}

void TWaylandConnection::Update() {
    if (Lost()) return;
    if (wl_display_prepare_read(display_) == 0) {
        wl_display_flush(display_);
        pollfd p = {wl_display_get_fd(display_), POLLIN, 0};
        if (::poll(&p, 1, 0) > 0)
            wl_display_read_events(display_);
        else
            wl_display_cancel_read(display_);
    }
    wl_display_dispatch_pending(display_);
}

bool TWaylandConnection::DispatchUntil(const std::function<bool()>& done, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (wl_display_dispatch_pending(display_) < 0) return false;
        if (done()) return true;
        // Events already queued are dispatched first.
        if (wl_display_prepare_read(display_) != 0) continue;
        if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display_);
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            wl_display_cancel_read(display_);
            return false;
        }
        pollfd p = {wl_display_get_fd(display_), POLLIN, 0};
        const int ready = ::poll(&p, 1, int(left));
        if (ready > 0) {
            if (wl_display_read_events(display_) < 0) return false;
        } else {
            wl_display_cancel_read(display_);
            if (ready < 0 && errno != EINTR) return false;
        }
    }
}

TOutputLayout TWaylandConnection::Layout() const {
    std::vector<TOutputInfo> infos;
    for (const auto& o : outputs_)
        infos.push_back(o->info);
    return TOutputLayout(std::move(infos));
}
