// The frozen desktop on Wayland: one copy of each output, asked for all at once, written by the
// compositor straight into the rows of the desktop where the output's rows are laid out like the
// desktop's (one output, or outputs one above the other), otherwise into a buffer of its own and
// copied into place. The copies are asked for through the compositors' standard image copy where it is
// offered, otherwise through the older screen copy of the wlroots family; a standard copy that fails is
// asked for once more through the older one where both are offered.
#include "WaylandConnection.h"
#include "WaylandServices.h"

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <QCoreApplication>

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr int FrameTimeoutMs = 3000;

// Shared memory the compositor writes into: an anonymous file, mapped here.
struct TShmBlock {
    int fd = -1;
    uint8_t* data = nullptr;
    size_t size = 0;
    ~TShmBlock() {
        if (data) ::munmap(data, size);
        if (fd >= 0) ::close(fd);
    }
    static std::shared_ptr<TShmBlock> Make(size_t size) {
        auto b = std::make_shared<TShmBlock>();
        b->fd = ::memfd_create("vexmor-grab", MFD_CLOEXEC);
        if (b->fd < 0 || ::ftruncate(b->fd, off_t(size)) != 0) return nullptr;
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, b->fd, 0);
        if (p == MAP_FAILED) return nullptr;
        b->data = static_cast<uint8_t*>(p);
        b->size = size;
        return b;
    }
};

// One output's copy under way.
struct TFrame {
    const TOutputPlace* place = nullptr;
    zwlr_screencopy_frame_v1* frame = nullptr;     // the older screen copy
    ext_image_capture_source_v1* source = nullptr; // the standard image copy
    ext_image_copy_capture_session_v1* session = nullptr;
    ext_image_copy_capture_frame_v1* copy = nullptr;
    wl_buffer* buffer = nullptr;
    std::shared_ptr<TShmBlock> own; // when the rows do not go straight into the desktop's
    uint32_t format = 0, width = 0, height = 0, stride = 0;
    int transform = 0; // how the copy's rows are turned against the output shown
    bool offered = false, described = false, ready = false, failed = false;
    uint32_t flags = 0;

    void Destroy() {
        if (copy) ext_image_copy_capture_frame_v1_destroy(copy);
        if (session) ext_image_copy_capture_session_v1_destroy(session);
        if (source) ext_image_capture_source_v1_destroy(source);
        if (frame) zwlr_screencopy_frame_v1_destroy(frame);
        if (buffer) wl_buffer_destroy(buffer);
        copy = nullptr;
        session = nullptr;
        source = nullptr;
        frame = nullptr;
        buffer = nullptr;
    }
};

bool ByteOrderBGRX(uint32_t format) {
    return format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888;
}
bool ByteOrderRGBX(uint32_t format) {
    return format == WL_SHM_FORMAT_XBGR8888 || format == WL_SHM_FORMAT_ABGR8888;
}

// The first offer of a format the desktop's rows can take; B,G,R,X memory order is preferred.
bool Takes(const TFrame& f, uint32_t format) {
    if (f.offered && !(ByteOrderBGRX(format) && !ByteOrderBGRX(f.format))) return false;
    return ByteOrderBGRX(format) || ByteOrderRGBX(format);
}

void FrameBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
                 uint32_t stride) {
    auto& f = *static_cast<TFrame*>(data);
    if (!Takes(f, format)) return;
    f.format = format;
    f.width = width;
    f.height = height;
    f.stride = stride;
    f.offered = true;
}
void FrameFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
    static_cast<TFrame*>(data)->flags = flags;
}
void FrameReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
    static_cast<TFrame*>(data)->ready = true;
}
void FrameFailed(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<TFrame*>(data)->failed = true;
}
void FrameDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void FrameDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void FrameBufferDone(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<TFrame*>(data)->described = true;
}

const zwlr_screencopy_frame_v1_listener FrameListener = {
    FrameBuffer, FrameFlags, FrameReady, FrameFailed, FrameDamage, FrameDmabuf, FrameBufferDone};

// The standard copy's session first tells the size and the formats, then its frame copies.
void SessionSize(void* data, ext_image_copy_capture_session_v1*, uint32_t width, uint32_t height) {
    auto& f = *static_cast<TFrame*>(data);
    f.width = width;
    f.height = height;
    f.stride = width * 4;
}
void SessionShmFormat(void* data, ext_image_copy_capture_session_v1*, uint32_t format) {
    auto& f = *static_cast<TFrame*>(data);
    if (!Takes(f, format)) return;
    f.format = format;
    f.offered = true;
}
void SessionDmabufDevice(void*, ext_image_copy_capture_session_v1*, wl_array*) {}
void SessionDmabufFormat(void*, ext_image_copy_capture_session_v1*, uint32_t, wl_array*) {}
void SessionDone(void* data, ext_image_copy_capture_session_v1*) {
    static_cast<TFrame*>(data)->described = true;
}
void SessionStopped(void* data, ext_image_copy_capture_session_v1*) {
    static_cast<TFrame*>(data)->failed = true;
}

const ext_image_copy_capture_session_v1_listener SessionListener = {
    SessionSize, SessionShmFormat, SessionDmabufDevice, SessionDmabufFormat, SessionDone, SessionStopped};

void CopyTransform(void* data, ext_image_copy_capture_frame_v1*, uint32_t transform) {
    static_cast<TFrame*>(data)->transform = int(transform);
}
void CopyDamage(void*, ext_image_copy_capture_frame_v1*, int32_t, int32_t, int32_t, int32_t) {}
void CopyTime(void*, ext_image_copy_capture_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void CopyReady(void* data, ext_image_copy_capture_frame_v1*) {
    static_cast<TFrame*>(data)->ready = true;
}
void CopyFailed(void* data, ext_image_copy_capture_frame_v1*, uint32_t) {
    static_cast<TFrame*>(data)->failed = true;
}

const ext_image_copy_capture_frame_v1_listener CopyListener = {CopyTransform, CopyDamage, CopyTime, CopyReady,
                                                               CopyFailed};

void SwapRedBlue(uint8_t* row, int width) {
    for (int x = 0; x < width; ++x)
        std::swap(row[4 * x], row[4 * x + 2]);
}

class TWaylandGrabber : public IScreenGrabber {
  public:
    explicit TWaylandGrabber(std::shared_ptr<TWaylandConnection> c) : conn_(std::move(c)) {}

    TPlatformStatus Grab(const QRect& rect, TGrabbedImage& out) override {
        std::shared_ptr<THeldGrab> held;
        const TPlatformStatus status = GrabHeld(rect, held);
        if (!status) return status;
        out.width = rect.width();
        out.height = rect.height();
        out.stride = rect.width() * 4;
        out.pixels.resize(size_t(out.stride) * rect.height());
        for (int y = 0; y < rect.height(); ++y)
            std::memcpy(out.pixels.data() + size_t(y) * out.stride, held->bits + size_t(y) * held->stride,
                        size_t(out.stride));
        return status;
    }

    TPlatformStatus GrabTo(const QRect& rect, const TGrabSink& sink) override {
        std::shared_ptr<THeldGrab> held;
        const TPlatformStatus status = GrabHeld(rect, held);
        if (status) sink(held->part, held->bits, held->stride);
        return status;
    }

    TPlatformStatus GrabHeld(const QRect& rect, std::shared_ptr<THeldGrab>& out) override;

    void ReleaseKept() override {
        if (kept_ && kept_->size > GrabRowsKeptForGood) kept_.reset();
    }

    bool DrawsPointer() const override { return true; }
    void IncludePointer(bool on) override { pointer_ = on; }

    TPlatformStatus Cursor(TCursorImage&) override {
        // The compositor draws the pointer into its copies; its picture and place are not told.
        return TPlatformStatus::Fail(QStringLiteral("the compositor does not tell the pointer's picture"));
    }

  private:
    enum class TCopy { Standard, Wlroots };
    std::shared_ptr<TShmBlock> Rows(size_t size);
    bool Copy(TCopy how, const TOutputLayout& layout, const QRect& rect,
              const std::shared_ptr<TShmBlock>& rows);
    bool Ask(TCopy how, std::vector<TFrame>& frames, const QRect& rect,
             const std::shared_ptr<TShmBlock>& rows);
    static void PutInPlace(const TFrame& f, const QRect& rect, uint8_t* rows, int stride);

    std::shared_ptr<TWaylandConnection> conn_;
    std::shared_ptr<TShmBlock> kept_;
    bool pointer_ = false;
};

std::shared_ptr<TShmBlock> TWaylandGrabber::Rows(size_t size) {
    // The kept rows when nobody holds them: their pages are already there.
    if (kept_ && kept_.use_count() == 1 && kept_->size == size) return kept_;
    auto block = TShmBlock::Make(size);
    if (block && (!kept_ || kept_.use_count() == 1)) kept_ = block;
    return block;
}

TPlatformStatus TWaylandGrabber::GrabHeld(const QRect& rect, std::shared_ptr<THeldGrab>& out) {
    out.reset();
    if (!conn_ || conn_->Lost())
        return TPlatformStatus::Fail(
            QCoreApplication::translate("WaylandGrabber", "与 Wayland 混成器的连接已断开"));
    if (!conn_->CopiesOutputs() || !conn_->Shm())
        return TPlatformStatus::Fail(
            QCoreApplication::translate("WaylandGrabber", "Wayland 混成器不提供屏幕复制接口"));
    if (rect.isEmpty())
        return TPlatformStatus::Fail(QCoreApplication::translate("WaylandGrabber", "截取区域为空"));
    conn_->Update();
    const TOutputLayout layout = conn_->Layout();
    const int stride = rect.width() * 4;
    std::shared_ptr<TShmBlock> rows = Rows(size_t(stride) * rect.height());
    if (!rows)
        return TPlatformStatus::Fail(
            QCoreApplication::translate("WaylandGrabber", "无法为屏幕副本分配共享内存"));

    const bool standard = conn_->OutputSources() && conn_->ImageCopy();
    bool copied = Copy(standard ? TCopy::Standard : TCopy::Wlroots, layout, rect, rows);
    if (!copied && standard && conn_->Screencopy() && !conn_->Lost())
        copied = Copy(TCopy::Wlroots, layout, rect, rows);
    if (!copied) {
        if (conn_->Lost())
            return TPlatformStatus::Fail(
                QCoreApplication::translate("WaylandGrabber", "与 Wayland 混成器的连接已断开"));
        return TPlatformStatus::Fail(
            QCoreApplication::translate("WaylandGrabber", "Wayland 混成器没有交出屏幕的副本"));
    }
    // The held rows keep their memory alive for as long as they are held.
    auto* held = new THeldGrab;
    held->part = QRect(QPoint(0, 0), rect.size());
    held->bits = rows->data;
    held->stride = stride;
    out = std::shared_ptr<THeldGrab>(held, [rows](THeldGrab* h) { delete h; });
    return TPlatformStatus::Ok();
}

bool TWaylandGrabber::Copy(TCopy how, const TOutputLayout& layout, const QRect& rect,
                           const std::shared_ptr<TShmBlock>& rows) {
    const int stride = rect.width() * 4;
    std::vector<TFrame> frames;
    for (const TOutputPlace& p : layout.Places())
        if (p.device.intersects(rect)) {
            frames.emplace_back();
            frames.back().place = &p;
            frames.back().transform = p.info.transform;
        }
    // What no output covers is black.
    QRegion uncovered(QRect(QPoint(0, 0), rect.size()));
    for (const TFrame& f : frames)
        uncovered -= f.place->device.translated(-rect.topLeft());
    for (const QRect& r : uncovered)
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::memset(rows->data + size_t(y) * stride + size_t(r.left()) * 4, 0, size_t(r.width()) * 4);

    const bool ok = Ask(how, frames, rect, rows);
    bool failed = !ok;
    for (TFrame& f : frames) {
        // A copy written straight into the desktop's rows must not come turned: its rows would lie
        // across its neighbours' (the output said it was not turned).
        if (!f.own && f.transform != WL_OUTPUT_TRANSFORM_NORMAL) f.ready = false;
        if (ok && f.ready) PutInPlace(f, rect, rows->data, stride);
        failed |= !f.ready;
        f.Destroy();
    }
    wl_display_flush(conn_->Display());
    return !failed;
}

bool TWaylandGrabber::Ask(TCopy how, std::vector<TFrame>& frames, const QRect& rect,
                          const std::shared_ptr<TShmBlock>& rows) {
    const std::vector<std::unique_ptr<TWaylandConnection::TOutput>>& outputs = conn_->Outputs();
    for (TFrame& f : frames) {
        wl_output* output = nullptr;
        for (const auto& o : outputs)
            if (o->info.name == f.place->info.name && o->info.logical == f.place->info.logical)
                output = o->output;
        if (!output) return false;
        if (how == TCopy::Standard) {
            f.source =
                ext_output_image_capture_source_manager_v1_create_source(conn_->OutputSources(), output);
            f.session = ext_image_copy_capture_manager_v1_create_session(
                conn_->ImageCopy(), f.source,
                pointer_ ? EXT_IMAGE_COPY_CAPTURE_MANAGER_V1_OPTIONS_PAINT_CURSORS : 0);
            ext_image_copy_capture_session_v1_add_listener(f.session, &SessionListener, &f);
        } else {
            f.frame =
                zwlr_screencopy_manager_v1_capture_output(conn_->Screencopy(), pointer_ ? 1 : 0, output);
            zwlr_screencopy_frame_v1_add_listener(f.frame, &FrameListener, &f);
        }
    }
    // Before version 3 the older copy's one buffer offer is the whole description.
    const bool listsOffers = how == TCopy::Standard || conn_->ScreencopyVersion() >= 3;
    if (!conn_->DispatchUntil(
            [&] {
                return std::all_of(frames.begin(), frames.end(), [&](const TFrame& f) {
                    return f.failed || (listsOffers ? f.described : f.offered);
                });
            },
            FrameTimeoutMs))
        return false;

    const int stride = rect.width() * 4;
    wl_shm_pool* shared = nullptr;
    for (TFrame& f : frames) {
        if (f.failed || !f.offered || f.width == 0 || f.height == 0 || f.stride < f.width * 4) return false;
        const QRect at(f.place->device.topLeft() - rect.topLeft(), QSize(int(f.width), int(f.height)));
        wl_shm_pool* pool = nullptr;
        const bool turned = f.place->info.transform != WL_OUTPUT_TRANSFORM_NORMAL;
        if (!turned && f.stride == uint32_t(stride) && QRect(QPoint(0, 0), rect.size()).contains(at)) {
            // Straight into the desktop's rows.
            if (!shared) shared = wl_shm_create_pool(conn_->Shm(), rows->fd, int32_t(rows->size));
            pool = shared;
            const size_t offset = size_t(at.top()) * stride + size_t(at.left()) * 4;
            f.buffer = wl_shm_pool_create_buffer(pool, int32_t(offset), int32_t(f.width), int32_t(f.height),
                                                 int32_t(f.stride), f.format);
        } else {
            f.own = TShmBlock::Make(size_t(f.stride) * f.height);
            if (!f.own) return false;
            pool = wl_shm_create_pool(conn_->Shm(), f.own->fd, int32_t(f.own->size));
            f.buffer = wl_shm_pool_create_buffer(pool, 0, int32_t(f.width), int32_t(f.height),
                                                 int32_t(f.stride), f.format);
            wl_shm_pool_destroy(pool);
        }
        if (how == TCopy::Standard) {
            f.copy = ext_image_copy_capture_session_v1_create_frame(f.session);
            ext_image_copy_capture_frame_v1_add_listener(f.copy, &CopyListener, &f);
            ext_image_copy_capture_frame_v1_attach_buffer(f.copy, f.buffer);
            ext_image_copy_capture_frame_v1_damage_buffer(f.copy, 0, 0, int32_t(f.width), int32_t(f.height));
            ext_image_copy_capture_frame_v1_capture(f.copy);
        } else {
            zwlr_screencopy_frame_v1_copy(f.frame, f.buffer);
        }
    }
    if (shared) wl_shm_pool_destroy(shared);
    return conn_->DispatchUntil(
        [&] {
            return std::all_of(frames.begin(), frames.end(),
                               [](const TFrame& f) { return f.ready || f.failed; });
        },
        FrameTimeoutMs);
}

// The pixel of a copy (w x h, its rows as the output holds them) that a turned output shows at (x, y),
// as the compositor's own picture shows it (checked against grim for every transform).
QPoint CopyPixelShownAt(int x, int y, int w, int h, int transform) {
    switch (transform) {
    case WL_OUTPUT_TRANSFORM_90:
        return QPoint(y, h - 1 - x);
    case WL_OUTPUT_TRANSFORM_180:
        return QPoint(w - 1 - x, h - 1 - y);
    case WL_OUTPUT_TRANSFORM_270:
        return QPoint(w - 1 - y, x);
    case WL_OUTPUT_TRANSFORM_FLIPPED:
        return QPoint(w - 1 - x, y);
    case WL_OUTPUT_TRANSFORM_FLIPPED_90:
        return QPoint(y, x);
    case WL_OUTPUT_TRANSFORM_FLIPPED_180:
        return QPoint(x, h - 1 - y);
    case WL_OUTPUT_TRANSFORM_FLIPPED_270:
        return QPoint(w - 1 - y, h - 1 - x);
    default:
        return QPoint(x, y);
    }
}

void TWaylandGrabber::PutInPlace(const TFrame& f, const QRect& rect, uint8_t* rows, int stride) {
    const int transform = f.transform;
    const QSize shown =
        transform & 1 ? QSize(int(f.height), int(f.width)) : QSize(int(f.width), int(f.height));
    const QRect at(f.place->device.topLeft() - rect.topLeft(), shown);
    const QRect part = at & QRect(QPoint(0, 0), rect.size());
    const bool flip = f.flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
    const auto copyRow = [&](int sy) {
        return f.own->data + size_t(flip ? int(f.height) - 1 - sy : sy) * f.stride;
    };
    if (transform != WL_OUTPUT_TRANSFORM_NORMAL) {
        // A turned output (always copied into a buffer of its own): pixel by pixel into its place,
        // rare and a few milliseconds.
        for (int y = part.top(); y <= part.bottom(); ++y) {
            uint8_t* out = rows + size_t(y) * stride;
            for (int x = part.left(); x <= part.right(); ++x) {
                const QPoint s =
                    CopyPixelShownAt(x - at.left(), y - at.top(), int(f.width), int(f.height), transform);
                std::memcpy(out + size_t(x) * 4, copyRow(s.y()) + size_t(s.x()) * 4, 4);
            }
        }
    } else if (f.own) {
        // Row by row into place, bottom first where the copy came upside down.
        for (int y = part.top(); y <= part.bottom(); ++y)
            std::memcpy(rows + size_t(y) * stride + size_t(part.left()) * 4,
                        copyRow(y - at.top()) + size_t(part.left() - at.left()) * 4,
                        size_t(part.width()) * 4);
    } else if (flip) {
        for (int a = part.top(), b = part.bottom(); a < b; ++a, --b)
            std::swap_ranges(rows + size_t(a) * stride + size_t(part.left()) * 4,
                             rows + size_t(a) * stride + size_t(part.right() + 1) * 4,
                             rows + size_t(b) * stride + size_t(part.left()) * 4);
    }
    if (ByteOrderRGBX(f.format))
        for (int y = part.top(); y <= part.bottom(); ++y)
            SwapRedBlue(rows + size_t(y) * stride + size_t(part.left()) * 4, part.width());
}

} // namespace

std::unique_ptr<IScreenGrabber> MakeWaylandGrabber(std::shared_ptr<TWaylandConnection> connection) {
    return std::make_unique<TWaylandGrabber>(std::move(connection));
}
