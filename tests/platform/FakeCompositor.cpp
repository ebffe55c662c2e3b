#include "FakeCompositor.h"

#include <QRect>

#include "ext-image-capture-source-v1-server-protocol.h"
#include "ext-image-copy-capture-v1-server-protocol.h"
#include "wlr-screencopy-unstable-v1-server-protocol.h"

#include <wayland-server.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

struct TFakeCompositor::TState {
    TFakeCompositor* owner = nullptr;
    std::vector<TOutput> outputs;
    TOptions options;
    wl_display* display = nullptr;
    int clientFd = -1;
    std::vector<std::unique_ptr<std::pair<TState*, int>>> outputGlobals;
    std::atomic<bool> stop{false};
    std::thread thread;
};

namespace {

using TState = TFakeCompositor::TState;

// What a source, a session and a frame know.
struct TSource {
    TState* state;
    int output;
};
struct TSession {
    TState* state;
    int output;
    QSize size;
};
struct TCopyFrame {
    TSession* session;
    wl_resource* buffer = nullptr;
    QRect damage;
    bool captured = false;
};

int OutputIndex(wl_resource* output) {
    return int(reinterpret_cast<intptr_t>(wl_resource_get_user_data(output)));
}

void DestroyResource(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}

// wl_output
void OutputRelease(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}
const struct wl_output_interface OutputImpl = {OutputRelease};

void BindOutput(wl_client* client, void* data, uint32_t version, uint32_t id) {
    auto* global = static_cast<std::pair<TState*, int>*>(data);
    const TFakeCompositor::TOutput& o = global->first->outputs[size_t(global->second)];
    wl_resource* r = wl_resource_create(client, &wl_output_interface, int(version), id);
    wl_resource_set_implementation(r, &OutputImpl, reinterpret_cast<void*>(intptr_t(global->second)),
                                   nullptr);
    wl_output_send_geometry(r, o.position.x(), o.position.y(), 0, 0, WL_OUTPUT_SUBPIXEL_UNKNOWN, "Fake",
                            "Test", o.transform);
    wl_output_send_mode(r, WL_OUTPUT_MODE_CURRENT, o.mode.width(), o.mode.height(), 60000);
    if (version >= 2) wl_output_send_scale(r, o.scale);
    if (version >= 4) {
        wl_output_send_name(r, o.name.toUtf8().constData());
        wl_output_send_description(r, "fake output");
    }
    if (version >= 2) wl_output_send_done(r);
}

// The output's picture into a client's buffer, in the buffer's byte order.
void WritePicture(wl_shm_buffer* shm, int output, QSize size) {
    const uint32_t format = wl_shm_buffer_get_format(shm);
    const QImage picture = TFakeCompositor::Picture(output, size);
    const int stride = wl_shm_buffer_get_stride(shm);
    wl_shm_buffer_begin_access(shm);
    auto* bytes = static_cast<uint8_t*>(wl_shm_buffer_get_data(shm));
    const bool rgbOrder = format == WL_SHM_FORMAT_XBGR8888 || format == WL_SHM_FORMAT_ABGR8888;
    for (int y = 0; y < size.height(); ++y) {
        auto* row = bytes + size_t(y) * stride;
        const auto* in = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const QRgb c = in[x];
            row[4 * x + 0] = uint8_t(rgbOrder ? qRed(c) : qBlue(c));
            row[4 * x + 1] = uint8_t(qGreen(c));
            row[4 * x + 2] = uint8_t(rgbOrder ? qBlue(c) : qRed(c));
            row[4 * x + 3] = 0xff;
        }
    }
    wl_shm_buffer_end_access(shm);
}

// The frame: the picture is written when it is asked for.
void FrameDestroyed(wl_resource* resource) {
    delete static_cast<TCopyFrame*>(wl_resource_get_user_data(resource));
}
void FrameAttach(wl_client*, wl_resource* resource, wl_resource* buffer) {
    static_cast<TCopyFrame*>(wl_resource_get_user_data(resource))->buffer = buffer;
}
void FrameDamage(wl_client*, wl_resource* resource, int32_t x, int32_t y, int32_t w, int32_t h) {
    auto* f = static_cast<TCopyFrame*>(wl_resource_get_user_data(resource));
    f->damage |= QRect(x, y, w, h);
}
void FrameCapture(wl_client*, wl_resource* resource) {
    auto* f = static_cast<TCopyFrame*>(wl_resource_get_user_data(resource));
    TState& s = *f->session->state;
    TFakeCompositor& owner = *s.owner;
    if (f->captured) {
        wl_resource_post_error(resource, EXT_IMAGE_COPY_CAPTURE_FRAME_V1_ERROR_ALREADY_CAPTURED,
                               "captured twice");
        return;
    }
    f->captured = true;
    if (!f->buffer) {
        wl_resource_post_error(resource, EXT_IMAGE_COPY_CAPTURE_FRAME_V1_ERROR_NO_BUFFER, "no buffer");
        return;
    }
    ++owner.copies;
    owner.wholeDamage = f->damage.contains(QRect(QPoint(0, 0), f->session->size));
    wl_shm_buffer* shm = wl_shm_buffer_get(f->buffer);
    if (owner.failCopies || !shm) {
        ext_image_copy_capture_frame_v1_send_failed(resource,
                                                    EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_UNKNOWN);
        return;
    }
    const uint32_t format = wl_shm_buffer_get_format(shm);
    const QSize size(wl_shm_buffer_get_width(shm), wl_shm_buffer_get_height(shm));
    const bool offered = s.options.shmFormats.empty()
                             ? format == WL_SHM_FORMAT_XRGB8888
                             : std::find(s.options.shmFormats.begin(), s.options.shmFormats.end(), format) !=
                                   s.options.shmFormats.end();
    if (size != f->session->size || !offered) {
        ext_image_copy_capture_frame_v1_send_failed(
            resource, EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_BUFFER_CONSTRAINTS);
        return;
    }
    owner.lastFormat = format;
    WritePicture(shm, f->session->output, size);
    ext_image_copy_capture_frame_v1_send_transform(resource,
                                                   uint32_t(s.outputs[size_t(f->session->output)].transform));
    ext_image_copy_capture_frame_v1_send_damage(resource, 0, 0, size.width(), size.height());
    ext_image_copy_capture_frame_v1_send_presentation_time(resource, 0, 1, 0);
    ext_image_copy_capture_frame_v1_send_ready(resource);
}
const struct ext_image_copy_capture_frame_v1_interface FrameImpl = {DestroyResource, FrameAttach, FrameDamage,
                                                                    FrameCapture};

// The session: tells the buffer, makes frames.
void SessionDestroyed(wl_resource* resource) {
    delete static_cast<TSession*>(wl_resource_get_user_data(resource));
}
void SessionCreateFrame(wl_client* client, wl_resource* resource, uint32_t id) {
    auto* session = static_cast<TSession*>(wl_resource_get_user_data(resource));
    wl_resource* frame = wl_resource_create(client, &ext_image_copy_capture_frame_v1_interface, 1, id);
    wl_resource_set_implementation(frame, &FrameImpl, new TCopyFrame{session, nullptr, QRect(), false},
                                   FrameDestroyed);
}
const struct ext_image_copy_capture_session_v1_interface SessionImpl = {SessionCreateFrame, DestroyResource};

void CreateSession(wl_client* client, wl_resource* manager, uint32_t id, wl_resource* source,
                   uint32_t options) {
    auto* state = static_cast<TState*>(wl_resource_get_user_data(manager));
    if (options & ~uint32_t(EXT_IMAGE_COPY_CAPTURE_MANAGER_V1_OPTIONS_PAINT_CURSORS)) {
        wl_resource_post_error(manager, EXT_IMAGE_COPY_CAPTURE_MANAGER_V1_ERROR_INVALID_OPTION,
                               "bad options");
        return;
    }
    auto* from = static_cast<TSource*>(wl_resource_get_user_data(source));
    const QSize mode = state->outputs[size_t(from->output)].mode;
    auto* session = new TSession{state, from->output, mode};
    wl_resource* r = wl_resource_create(client, &ext_image_copy_capture_session_v1_interface, 1, id);
    wl_resource_set_implementation(r, &SessionImpl, session, SessionDestroyed);
    ++state->owner->sessions;
    state->owner->lastOptions = options;
    if (state->owner->stopSessions) {
        ext_image_copy_capture_session_v1_send_stopped(r);
        return;
    }
    // A format no client takes first, and a device buffers could be made on.
    ext_image_copy_capture_session_v1_send_shm_format(r, WL_SHM_FORMAT_RGB565);
    const std::vector<uint32_t> formats = state->options.shmFormats.empty()
                                              ? std::vector<uint32_t>{WL_SHM_FORMAT_XRGB8888}
                                              : state->options.shmFormats;
    for (uint32_t f : formats)
        ext_image_copy_capture_session_v1_send_shm_format(r, f);
    wl_array device;
    wl_array_init(&device);
    ext_image_copy_capture_session_v1_send_dmabuf_device(r, &device);
    ext_image_copy_capture_session_v1_send_buffer_size(r, uint32_t(mode.width()), uint32_t(mode.height()));
    ext_image_copy_capture_session_v1_send_done(r);
}
void CreateCursorSession(wl_client*, wl_resource* manager, uint32_t, wl_resource*, wl_resource*) {
    wl_resource_post_error(manager, 0, "no pointer sessions here");
}
const struct ext_image_copy_capture_manager_v1_interface CopyManagerImpl = {
    CreateSession, CreateCursorSession, DestroyResource};

void BindCopyManager(wl_client* client, void* data, uint32_t, uint32_t id) {
    wl_resource* r = wl_resource_create(client, &ext_image_copy_capture_manager_v1_interface, 1, id);
    wl_resource_set_implementation(r, &CopyManagerImpl, data, nullptr);
}

// Output sources.
void SourceDestroyed(wl_resource* resource) {
    delete static_cast<TSource*>(wl_resource_get_user_data(resource));
}
const struct ext_image_capture_source_v1_interface SourceImpl = {DestroyResource};

void CreateSource(wl_client* client, wl_resource* manager, uint32_t id, wl_resource* output) {
    auto* state = static_cast<TState*>(wl_resource_get_user_data(manager));
    wl_resource* r = wl_resource_create(client, &ext_image_capture_source_v1_interface, 1, id);
    wl_resource_set_implementation(r, &SourceImpl, new TSource{state, OutputIndex(output)}, SourceDestroyed);
}
const struct ext_output_image_capture_source_manager_v1_interface SourceManagerImpl = {CreateSource,
                                                                                       DestroyResource};

void BindSourceManager(wl_client* client, void* data, uint32_t, uint32_t id) {
    wl_resource* r = wl_resource_create(client, &ext_output_image_capture_source_manager_v1_interface, 1, id);
    wl_resource_set_implementation(r, &SourceManagerImpl, data, nullptr);
}

// The older screen copy: one frame per output, its buffer told at once.
struct TOlderFrame {
    TState* state;
    int output;
    bool copied = false;
};
void OlderFrameDestroyed(wl_resource* resource) {
    delete static_cast<TOlderFrame*>(wl_resource_get_user_data(resource));
}
void OlderCopy(wl_client*, wl_resource* resource, wl_resource* buffer) {
    auto* f = static_cast<TOlderFrame*>(wl_resource_get_user_data(resource));
    const QSize mode = f->state->outputs[size_t(f->output)].mode;
    wl_shm_buffer* shm = wl_shm_buffer_get(buffer);
    if (f->copied || !shm || wl_shm_buffer_get_format(shm) != WL_SHM_FORMAT_XRGB8888 ||
        QSize(wl_shm_buffer_get_width(shm), wl_shm_buffer_get_height(shm)) != mode) {
        wl_resource_post_error(resource, ZWLR_SCREENCOPY_FRAME_V1_ERROR_INVALID_BUFFER, "bad buffer");
        return;
    }
    f->copied = true;
    ++f->state->owner->olderCopies;
    WritePicture(shm, f->output, mode);
    zwlr_screencopy_frame_v1_send_flags(resource, 0);
    zwlr_screencopy_frame_v1_send_ready(resource, 0, 1, 0);
}
const struct zwlr_screencopy_frame_v1_interface OlderFrameImpl = {OlderCopy, DestroyResource, OlderCopy};

void OlderCapture(wl_client* client, wl_resource* manager, uint32_t id, int32_t, wl_resource* output) {
    auto* state = static_cast<TState*>(wl_resource_get_user_data(manager));
    const int index = OutputIndex(output);
    const QSize mode = state->outputs[size_t(index)].mode;
    wl_resource* r = wl_resource_create(client, &zwlr_screencopy_frame_v1_interface, 3, id);
    wl_resource_set_implementation(r, &OlderFrameImpl, new TOlderFrame{state, index}, OlderFrameDestroyed);
    zwlr_screencopy_frame_v1_send_buffer(r, WL_SHM_FORMAT_XRGB8888, uint32_t(mode.width()),
                                         uint32_t(mode.height()), uint32_t(mode.width() * 4));
    zwlr_screencopy_frame_v1_send_buffer_done(r);
}
void OlderCaptureRegion(wl_client*, wl_resource* manager, uint32_t, int32_t, wl_resource*, int32_t, int32_t,
                        int32_t, int32_t) {
    wl_resource_post_error(manager, 0, "regions are not copied here");
}
const struct zwlr_screencopy_manager_v1_interface OlderManagerImpl = {OlderCapture, OlderCaptureRegion,
                                                                      DestroyResource};

void BindOlderManager(wl_client* client, void* data, uint32_t, uint32_t id) {
    wl_resource* r = wl_resource_create(client, &zwlr_screencopy_manager_v1_interface, 3, id);
    wl_resource_set_implementation(r, &OlderManagerImpl, data, nullptr);
}

} // namespace

TFakeCompositor::TFakeCompositor(std::vector<TOutput> outputs, TOptions options)
    : state_(std::make_unique<TState>()) {
    TState& s = *state_;
    s.owner = this;
    s.outputs = std::move(outputs);
    s.options = std::move(options);
    s.display = wl_display_create();
    wl_display_init_shm(s.display);
    for (uint32_t format : {WL_SHM_FORMAT_XBGR8888, WL_SHM_FORMAT_ABGR8888, WL_SHM_FORMAT_RGB565})
        wl_display_add_shm_format(s.display, format);
    for (size_t i = 0; i < s.outputs.size(); ++i) {
        s.outputGlobals.push_back(std::make_unique<std::pair<TState*, int>>(&s, int(i)));
        wl_global_create(s.display, &wl_output_interface, 4, s.outputGlobals.back().get(), BindOutput);
    }
    if (s.options.imageCopy) {
        wl_global_create(s.display, &ext_output_image_capture_source_manager_v1_interface, 1, &s,
                         BindSourceManager);
        wl_global_create(s.display, &ext_image_copy_capture_manager_v1_interface, 1, &s, BindCopyManager);
    }
    if (s.options.wlroots)
        wl_global_create(s.display, &zwlr_screencopy_manager_v1_interface, 3, &s, BindOlderManager);
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
        wl_client_create(s.display, fds[0]);
        s.clientFd = fds[1];
    }
    s.thread = std::thread([&s] {
        wl_event_loop* loop = wl_display_get_event_loop(s.display);
        while (!s.stop) {
            wl_display_flush_clients(s.display);
            wl_event_loop_dispatch(loop, 10);
        }
    });
}

TFakeCompositor::~TFakeCompositor() {
    state_->stop = true;
    state_->thread.join();
    wl_display_destroy_clients(state_->display);
    wl_display_destroy(state_->display);
    if (state_->clientFd >= 0) ::close(state_->clientFd);
}

void TFakeCompositor::OfferConnection() {
    // The client library takes the descriptor over and closes it with its connection: one client.
    qputenv("WAYLAND_SOCKET", QByteArray::number(state_->clientFd));
    state_->clientFd = -1;
}

QImage TFakeCompositor::Picture(int index, QSize mode) {
    QImage picture(mode, QImage::Format_RGB32);
    for (int y = 0; y < mode.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < mode.width(); ++x)
            row[x] = qRgb(40 + 60 * index + (y >> 8), x & 0xff, (y & 0xff) ^ (x >> 8));
    }
    return picture;
}
