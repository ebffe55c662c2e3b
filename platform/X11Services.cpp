// X11 implementations of the grab, the pointer picture, the active window and the hot keys.
#include "X11Services.h"

#include "X11Connection.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSocketNotifier>
#include <QTimer>

#include <xcb/render.h>
#include <xcb/shm.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xfixes.h>

#include <X11/keysym.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// ---- grab -----------------------------------------------------------------------------------

bool ServerHasShm(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_shm_id);
    return ext && ext->present;
}

// The reasons of a failed grab reach the user after "无法捕获屏幕："; the pointer's picture fails
// silently (the capture goes on without it), so its reasons stay for developers.
QString EmptyAreaText() {
    return QCoreApplication::translate("X11Services", "截取区域为空");
}

// The root's pixels must be 32 bits each, B,G,R,X in memory: what every true-colour X server here
// offers at depth 24 or 32.
TPlatformStatus CheckPixelFormat(xcb_connection_t* c, const xcb_screen_t* screen) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return TPlatformStatus::Fail(
            QCoreApplication::translate("X11Services", "X 服务器以大端字节序发送像素，本程序不支持"));
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == screen->root_depth)
            return f.data->bits_per_pixel == 32 && screen->root_depth >= 24
                       ? TPlatformStatus::Ok()
                       : TPlatformStatus::Fail(
                             QCoreApplication::translate("X11Services", "不支持的屏幕色深：%1 位")
                                 .arg(screen->root_depth));
    return TPlatformStatus::Fail(
        QCoreApplication::translate("X11Services", "X 服务器没有与屏幕色深相符的像素格式"));
}

// Copies rows of a ZPixmap image into the output, making every pixel opaque on the way: the fourth
// byte is undefined on depth-24 screens. One pass, which the compiler vectorises.
void CopyRows(const uint8_t* from, int fromStride, int rows, int width, uint8_t* to, int toStride) {
    for (int y = 0; y < rows; ++y) {
        const uint32_t* src = reinterpret_cast<const uint32_t*>(from + size_t(y) * fromStride);
        uint32_t* dst = reinterpret_cast<uint32_t*>(to + size_t(y) * toStride);
        for (int x = 0; x < width; ++x)
            dst[x] = src[x] | 0xFF000000u;
    }
}

// One shared-memory segment attached to the server. It is shared between the grabber, which keeps it
// between grabs (making a new one for every capture costs more than the grab itself), and whoever
// holds a grab made in it; it goes with the last of them.
struct TShmSegment {
    xcb_connection_t* c = nullptr;
    void* address = nullptr;
    size_t size = 0;
    xcb_shm_seg_t xseg = 0;
    // Set while the grabber lives: only then is the connection known to live. At process exit it may
    // be gone, and the server drops the attachment with the connection anyway.
    std::weak_ptr<void> connectionAlive;

    ~TShmSegment() {
        if (!address) return;
        if (c && !connectionAlive.expired()) {
            xcb_shm_detach(c, xseg);
            xcb_flush(c);
        }
        shmdt(address);
    }

    static std::shared_ptr<TShmSegment> Make(xcb_connection_t* conn, size_t bytes,
                                             std::weak_ptr<void> alive) {
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0) return nullptr;
        void* a = shmat(id, nullptr, 0);
        shmctl(id, IPC_RMID, nullptr); // freed when the last user detaches
        if (a == reinterpret_cast<void*>(-1)) return nullptr;
        auto seg = std::make_shared<TShmSegment>();
        seg->address = a;
        seg->size = bytes;
        seg->xseg = xcb_generate_id(conn);
        xcb_void_cookie_t attach = xcb_shm_attach_checked(conn, seg->xseg, uint32_t(id), 0);
        if (TXcbReply<xcb_generic_error_t> err{xcb_request_check(conn, attach)})
            return nullptr; // never attached
        seg->c = conn;
        seg->connectionAlive = std::move(alive);
        return seg;
    }
};

// Grabs the rectangle into the segment; false when the server refuses.
bool GrabWithShm(const TShmSegment& shm, xcb_window_t root, const QRect& r) {
    TXcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
        shm.c,
        xcb_shm_get_image(shm.c, root, int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()),
                          uint16_t(r.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, shm.xseg, 0),
        nullptr));
    return bool(reply);
}

bool GrabWithGetImage(xcb_connection_t* c, xcb_window_t root, const QRect& r, const QRect& part,
                      const TGrabSink& sink) {
    // Bands keep each reply a few megabytes.
    const int band = std::max(1, (4 << 20) / std::max(1, r.width() * 4));
    for (int y = 0; y < r.height(); y += band) {
        const int rows = std::min(band, r.height() - y);
        TXcbReply<xcb_get_image_reply_t> reply(
            xcb_get_image_reply(c,
                                xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(r.x()),
                                              int16_t(r.y() + y), uint16_t(r.width()), uint16_t(rows), ~0u),
                                nullptr));
        if (!reply || xcb_get_image_data_length(reply.get()) < r.width() * rows * 4) return false;
        sink(QRect(part.x(), part.y() + y, part.width(), rows), xcb_get_image_data(reply.get()),
             r.width() * 4);
    }
    return true;
}

class TX11Grabber : public IScreenGrabber {
  public:
    ~TX11Grabber() override { alive_.reset(); }
    TPlatformStatus Grab(const QRect& rect, TGrabbedImage& out) override {
        if (rect.isEmpty()) return TPlatformStatus::Fail(EmptyAreaText());
        out.width = rect.width();
        out.height = rect.height();
        out.stride = out.width * 4;
        out.pixels.assign(size_t(out.stride) * out.height, 0);
        for (size_t i = 3; i < out.pixels.size(); i += 4)
            out.pixels[i] = 0xFF; // opaque black
        return GrabTo(rect, [&out](const QRect& part, const uint8_t* bgrx, int stride) {
            CopyRows(bgrx, stride, part.height(), part.width(),
                     out.pixels.data() + size_t(part.y()) * out.stride + part.x() * 4, out.stride);
        });
    }

    TPlatformStatus GrabTo(const QRect& rect, const TGrabSink& sink) override {
        xcb_connection_t* c = nullptr;
        const xcb_screen_t* screen = nullptr;
        QRect inside;
        if (TPlatformStatus ready = Prepare(rect, c, screen, inside); !ready || inside.isEmpty())
            return ready;
        const QRect part = inside.translated(-rect.topLeft());
        if (std::shared_ptr<TShmSegment> seg = Segment(c, inside);
            seg && GrabWithShm(*seg, screen->root, inside)) {
            sink(part, static_cast<const uint8_t*>(seg->address), inside.width() * 4);
            return TPlatformStatus::Ok();
        }
        if (GrabWithGetImage(c, screen->root, inside, part, sink)) return TPlatformStatus::Ok();
        return TPlatformStatus::Fail(QCoreApplication::translate("X11Services", "X 服务器拒绝交出屏幕内容"));
    }

    TPlatformStatus GrabHeld(const QRect& rect, std::shared_ptr<THeldGrab>& out) override {
        out.reset();
        xcb_connection_t* c = nullptr;
        const xcb_screen_t* screen = nullptr;
        QRect inside;
        if (TPlatformStatus ready = Prepare(rect, c, screen, inside); !ready || inside.isEmpty())
            return ready;
        std::shared_ptr<TShmSegment> seg = Segment(c, inside);
        if (!seg || !GrabWithShm(*seg, screen->root, inside)) return IScreenGrabber::GrabHeld(rect, out);
        // The holder shares the segment: the grabber makes a new one for a grab while it is held.
        auto* held = new THeldGrab;
        held->part = inside.translated(-rect.topLeft());
        held->bits = static_cast<uint8_t*>(seg->address);
        held->stride = inside.width() * 4;
        held->serverSegment = seg->xseg;
        out = std::shared_ptr<THeldGrab>(held, [seg](THeldGrab* h) mutable {
            delete h;
            seg.reset();
        });
        return TPlatformStatus::Ok();
    }

    TPlatformStatus Cursor(TCursorImage& out) override {
        xcb_connection_t* c = X11Connection();
        if (!c) return TPlatformStatus::Fail(QStringLiteral("no X11 display"));
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_xfixes_id);
        if (!ext || !ext->present) return TPlatformStatus::Fail(QStringLiteral("no XFixes extension"));
        TXcbReply<xcb_xfixes_query_version_reply_t> version(
            xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
        TXcbReply<xcb_xfixes_get_cursor_image_reply_t> reply(
            xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr));
        if (!reply || reply->width == 0 || reply->height == 0)
            return TPlatformStatus::Fail(QStringLiteral("no pointer picture"));
        const int count = xcb_xfixes_get_cursor_image_cursor_image_length(reply.get());
        if (count < reply->width * reply->height)
            return TPlatformStatus::Fail(QStringLiteral("short pointer picture"));
        QImage image(reply->width, reply->height, QImage::Format_ARGB32_Premultiplied);
        const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
        for (int y = 0; y < reply->height; ++y)
            std::memcpy(image.scanLine(y), pixels + size_t(y) * reply->width, size_t(reply->width) * 4);
        out.image = image;
        out.x = reply->x;
        out.y = reply->y;
        out.hotX = reply->xhot;
        out.hotY = reply->yhot;
        return TPlatformStatus::Ok();
    }

    void ReleaseKept() override {
        if (shm_ && shm_->size <= GrabRowsKeptForGood) return;
        shm_.reset();
        if (releaseTimer_) releaseTimer_->stop();
    }

    // The X server draws the backdrop from the rows already in shared memory: the rows put into the
    // window, the colour laid over them with the rendering extension, the patch put on top, all on its
    // side while the program goes on.
    bool DrawBackdrop(uintptr_t window, const THeldGrab& held, const TBackdrop& backdrop) override {
        xcb_connection_t* c = X11Connection();
        // The segment stays attached while the grab is held; its name is one of this connection's.
        if (!c || !window || !held.serverSegment) return false;
        if (held.part.isEmpty() || held.stride != held.part.width() * 4) return false;
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_render_id);
        if (!ext || !ext->present) return false;
        const auto w = xcb_window_t(window);
        // Both questions in one round trip.
        const xcb_get_geometry_cookie_t geometryAsked = xcb_get_geometry(c, w);
        const xcb_get_window_attributes_cookie_t attributesAsked = xcb_get_window_attributes(c, w);
        TXcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryAsked, nullptr));
        TXcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, attributesAsked, nullptr));
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        // The rows are the root's pixels: only a window of the root's depth takes them unchanged (a
        // 32-bit window would read their undefined fourth byte as alpha). What is drawn into a window
        // not on screen is lost.
        if (!geometry || !attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            geometry->depth != screen->root_depth || geometry->width != held.part.width() ||
            geometry->height != held.part.height())
            return false;
        const xcb_render_pictformat_t format = FormatOfVisual(c, attributes->visual);
        if (!format) return false;

        const uint16_t width = geometry->width, height = geometry->height;
        const xcb_gcontext_t gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, w, 0, nullptr);
        xcb_shm_put_image(c, w, gc, width, height, 0, 0, width, height, 0, 0, geometry->depth,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, 0, held.serverSegment, 0);
        if (backdrop.tint >> 24) {
            const xcb_render_picture_t picture = xcb_generate_id(c);
            xcb_render_create_picture(c, picture, w, format, 0, nullptr);
            auto wide = [&](int shift) { return uint16_t(((backdrop.tint >> shift) & 0xFF) * 257); };
            const xcb_render_color_t colour{wide(16), wide(8), wide(0), wide(24)};
            const xcb_rectangle_t all{0, 0, width, height};
            xcb_render_fill_rectangles(c, XCB_RENDER_PICT_OP_OVER, picture, colour, 1, &all);
            xcb_render_free_picture(c, picture);
        }
        for (const TBackdropPatch& patch : backdrop.patches)
            PutPatch(c, w, gc, geometry->depth, patch.image, patch.at, QSize(width, height));
        xcb_free_gc(c, gc);
        xcb_flush(c);
        return true;
    }

    void WaitForServer() override {
        if (xcb_connection_t* c = X11Connection())
            std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }

  private:
    // The rendering extension's picture format for a visual (asked once per connection).
    xcb_render_pictformat_t FormatOfVisual(xcb_connection_t* c, xcb_visualid_t visual) {
        if (formatsOf_ != c) {
            formatsOf_ = c;
            visualFormats_.clear();
            TXcbReply<xcb_render_query_pict_formats_reply_t> formats(
                xcb_render_query_pict_formats_reply(c, xcb_render_query_pict_formats(c), nullptr));
            if (formats)
                for (auto s = xcb_render_query_pict_formats_screens_iterator(formats.get()); s.rem;
                     xcb_render_pictscreen_next(&s))
                    for (auto d = xcb_render_pictscreen_depths_iterator(s.data); d.rem;
                         xcb_render_pictdepth_next(&d))
                        for (auto v = xcb_render_pictdepth_visuals_iterator(d.data); v.rem;
                             xcb_render_pictvisual_next(&v))
                            visualFormats_.insert(v.data->visual, v.data->format);
        }
        return visualFormats_.value(visual, 0);
    }

    // The patch goes over the pixmap in requests the server takes (a few megabytes at most each).
    static void PutPatch(xcb_connection_t* c, xcb_drawable_t target, xcb_gcontext_t gc, uint8_t depth,
                         const QImage& patch, const QPoint& at, const QSize& size) {
        if (patch.isNull()) return;
        const QRect placed = QRect(at, patch.size()) & QRect(QPoint(0, 0), size);
        if (placed.isEmpty()) return;
        const QImage rows = patch.convertToFormat(QImage::Format_RGB32)
                                .copy(placed.translated(-at)); // whole rows of exactly the placed width
        const size_t rowBytes = size_t(rows.width()) * 4;
        const size_t limit = std::min<size_t>(size_t(xcb_get_maximum_request_length(c)) * 4, 4u << 20);
        const int band = int(std::max<size_t>(1, (limit - 64) / rowBytes));
        for (int y = 0; y < rows.height(); y += band) {
            const int n = std::min(band, rows.height() - y);
            xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, target, gc, uint16_t(rows.width()), uint16_t(n),
                          int16_t(placed.x()), int16_t(placed.y() + y), 0, depth, uint32_t(rowBytes * n),
                          rows.constScanLine(y));
        }
    }

    TPlatformStatus Prepare(const QRect& rect, xcb_connection_t*& c, const xcb_screen_t*& screen,
                            QRect& inside) {
        c = X11Connection();
        if (!c)
            return TPlatformStatus::Fail(QCoreApplication::translate("X11Services", "没有连接到 X11 显示"));
        if (rect.isEmpty()) return TPlatformStatus::Fail(EmptyAreaText());
        screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        if (TPlatformStatus format = CheckPixelFormat(c, screen); !format) return format;
        inside = rect.intersected(QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels));
        return TPlatformStatus::Ok();
    }

    // The kept segment when it is large enough and nobody holds a grab in it, else a new one (kept in
    // its place). Null when the server has no shared memory or refuses it.
    std::shared_ptr<TShmSegment> Segment(xcb_connection_t* c, const QRect& r) {
        if (!ServerHasShm(c)) return nullptr;
        const size_t bytes = size_t(r.width()) * r.height() * 4;
        if (!shm_ || shm_->c != c || shm_->size < bytes || shm_.use_count() > 1)
            shm_ = TShmSegment::Make(c, bytes, alive_);
        if (shm_) ScheduleRelease();
        return shm_;
    }

    // A segment of an ordinary desktop's size stays for good (GrabRowsKeptForGood). A larger one is
    // kept for a while after a grab, so that captures in quick succession skip making it, and an idle
    // program gives that memory back.
    void ScheduleRelease() {
        if (!QCoreApplication::instance()) return;
        if (!releaseTimer_) {
            releaseTimer_ = std::make_unique<QTimer>();
            releaseTimer_->setSingleShot(true);
            QObject::connect(releaseTimer_.get(), &QTimer::timeout, [this] { shm_.reset(); });
            // Before Qt's connection closes.
            QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                             releaseTimer_.get(), [this] {
                                 shm_.reset();
                                 releaseTimer_->stop();
                             });
        }
        if (shm_ && shm_->size <= GrabRowsKeptForGood)
            releaseTimer_->stop();
        else
            releaseTimer_->start(kKeepSegmentMs);
    }
    static constexpr int kKeepSegmentMs = 30000;
    std::shared_ptr<void> alive_ = std::make_shared<int>(0);
    std::shared_ptr<TShmSegment> shm_;
    std::unique_ptr<QTimer> releaseTimer_;
    xcb_connection_t* formatsOf_ = nullptr;
    QHash<xcb_visualid_t, xcb_render_pictformat_t> visualFormats_;
};

// ---- active window --------------------------------------------------------------------------

QByteArray Property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type,
                    xcb_atom_t* actualType = nullptr) {
    TXcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, property, type, 0, 1 << 16), nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE) return {};
    if (actualType) *actualType = reply->type;
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

QList<uint32_t> Cardinals(const QByteArray& bytes) {
    QList<uint32_t> values;
    for (qsizetype i = 0; i + 4 <= bytes.size(); i += 4) {
        uint32_t v;
        std::memcpy(&v, bytes.constData() + i, 4);
        values << v;
    }
    return values;
}

class TX11ActiveWindow : public IActiveWindow {
  public:
    TForegroundWindow Foreground() override {
        TForegroundWindow result;
        xcb_connection_t* c = X11Connection();
        if (!c) return result;
        const xcb_window_t root = X11Root(c);
        xcb_window_t window = XCB_WINDOW_NONE;
        const QList<uint32_t> active =
            Cardinals(Property(c, root, X11Atom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW));
        if (!active.isEmpty()) window = active.first();
        if (window == XCB_WINDOW_NONE) {
            // No window manager: the window holding the keyboard focus.
            TXcbReply<xcb_get_input_focus_reply_t> focus(
                xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
            if (focus && focus->focus != XCB_INPUT_FOCUS_POINTER_ROOT && focus->focus != root)
                window = focus->focus;
        }
        if (window == XCB_WINDOW_NONE) return result;

        TXcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) return result;

        const QList<uint32_t> types =
            Cardinals(Property(c, window, X11Atom(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM));
        if (types.contains(X11Atom(c, "_NET_WM_WINDOW_TYPE_DESKTOP"))) {
            result.isDesktop = true; // the bare desktop in front: no title
            return result;
        }
        result.exists = true;
        result.title = Title(c, window);
        result.frame = Frame(c, window, root);
        // A file manager that shows its folder as the title publishes its location that way.
        if (QDir::isAbsolutePath(result.title) && QFileInfo(result.title).isDir())
            result.location = result.title;
        return result;
    }

  private:
    static QString Title(xcb_connection_t* c, xcb_window_t w) {
        const QByteArray utf8 = Property(c, w, X11Atom(c, "_NET_WM_NAME"), X11Atom(c, "UTF8_STRING"));
        if (!utf8.isEmpty()) return QString::fromUtf8(utf8);
        xcb_atom_t type = XCB_ATOM_NONE;
        const QByteArray name = Property(c, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, &type);
        if (type == X11Atom(c, "UTF8_STRING")) return QString::fromUtf8(name);
        if (type == XCB_ATOM_STRING) return QString::fromLatin1(name);
        // COMPOUND_TEXT: its plain ASCII runs read as they are; other character sets are dropped.
        QString text;
        bool ascii = true;
        for (char ch : name) {
            if (ch == '\x1b')
                ascii = false; // an escape switches the character set
            else if (!ascii && (ch == 'B' || ch == 'A'))
                ascii = true;
            else if (ascii && uchar(ch) >= 32 && uchar(ch) < 127)
                text += QLatin1Char(ch);
        }
        return text;
    }

    static QRect Frame(xcb_connection_t* c, xcb_window_t w, xcb_window_t root) {
        TXcbReply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
        TXcbReply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, w, root, 0, 0), nullptr));
        if (!geometry || !origin) return {};
        QRect r(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        const QList<uint32_t> extents =
            Cardinals(Property(c, w, X11Atom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL));
        if (extents.size() == 4) // left, right, top, bottom
            r.adjust(-int(extents[0]), -int(extents[2]), int(extents[1]), int(extents[3]));
        return r;
    }
};

// ---- hot keys -------------------------------------------------------------------------------

// Qt key code -> X keysym for the keys a hot key can use.
xcb_keysym_t KeySymForQtKey(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return xcb_keysym_t(XK_a + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return xcb_keysym_t(XK_0 + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) return xcb_keysym_t(XK_F1 + (key - Qt::Key_F1));
    // Punctuation: Qt's codes are the Latin-1 keysyms.
    if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde) return xcb_keysym_t(key);
    static const QHash<int, xcb_keysym_t> table{
        {Qt::Key_Print, XK_Print},
        {Qt::Key_Pause, XK_Pause},
        {Qt::Key_ScrollLock, XK_Scroll_Lock},
        {Qt::Key_Escape, XK_Escape},
        {Qt::Key_Tab, XK_Tab},
        {Qt::Key_Backspace, XK_BackSpace},
        {Qt::Key_Return, XK_Return},
        {Qt::Key_Enter, XK_KP_Enter},
        {Qt::Key_Insert, XK_Insert},
        {Qt::Key_Delete, XK_Delete},
        {Qt::Key_Home, XK_Home},
        {Qt::Key_End, XK_End},
        {Qt::Key_PageUp, XK_Page_Up},
        {Qt::Key_PageDown, XK_Page_Down},
        {Qt::Key_Left, XK_Left},
        {Qt::Key_Up, XK_Up},
        {Qt::Key_Right, XK_Right},
        {Qt::Key_Down, XK_Down},
        {Qt::Key_Space, XK_space},
        {Qt::Key_SysReq, XK_Sys_Req},
        {Qt::Key_Menu, XK_Menu},
    };
    return table.value(key, 0);
}

uint16_t ModMask(Qt::KeyboardModifiers m) {
    uint16_t mask = 0;
    if (m & Qt::ShiftModifier) mask |= XCB_MOD_MASK_SHIFT;
    if (m & Qt::ControlModifier) mask |= XCB_MOD_MASK_CONTROL;
    if (m & Qt::AltModifier) mask |= XCB_MOD_MASK_1;
    if (m & Qt::MetaModifier) mask |= XCB_MOD_MASK_4;
    return mask;
}

// The modifier bit NumLock sits on (usually Mod2), from the server's modifier mapping.
uint16_t NumLockMask(xcb_connection_t* c, xcb_key_symbols_t* symbols) {
    TXcbReply<xcb_keycode_t> numLockCodes(xcb_key_symbols_get_keycode(symbols, XK_Num_Lock));
    TXcbReply<xcb_get_modifier_mapping_reply_t> map(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (!numLockCodes || !map) return XCB_MOD_MASK_2;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
    for (int mod = 0; mod < 8; ++mod)
        for (int k = 0; k < map->keycodes_per_modifier; ++k) {
            const xcb_keycode_t code = codes[mod * map->keycodes_per_modifier + k];
            for (const xcb_keycode_t* n = numLockCodes.get(); code && *n; ++n)
                if (*n == code) return uint16_t(1 << mod);
        }
    return XCB_MOD_MASK_2;
}

// Event codes of the keyboard extension (its events carry their kind in the second byte).
constexpr uint8_t kXkbNewKeyboardNotify = 0;
constexpr uint8_t kXkbMapNotify = 1;

// The first event code of the keyboard extension on this connection, 0 when it has none.
uint8_t XkbFirstEvent(xcb_connection_t* c) {
    static constexpr char kName[] = "XKEYBOARD";
    TXcbReply<xcb_query_extension_reply_t> reply(
        xcb_query_extension_reply(c, xcb_query_extension(c, uint16_t(sizeof kName - 1), kName), nullptr));
    return reply && reply->present ? reply->first_event : 0;
}

// Every key code the keysym is on, in the server's current mapping (a keysym can sit on several:
// Print usually does, on the key itself and on SysRq's code).
std::vector<xcb_keycode_t> KeyCodes(xcb_key_symbols_t* symbols, xcb_keysym_t sym) {
    std::vector<xcb_keycode_t> codes;
    TXcbReply<xcb_keycode_t> list(xcb_key_symbols_get_keycode(symbols, sym));
    for (const xcb_keycode_t* k = list.get(); k && *k; ++k)
        if (std::find(codes.begin(), codes.end(), *k) == codes.end()) codes.push_back(*k);
    return codes;
}

class TX11HotKeys : public IHotKeys, public QAbstractNativeEventFilter {
  public:
    ~TX11HotKeys() override {
        for (auto it = keys_.begin(); it != keys_.end(); ++it)
            UngrabAll(it.value());
        if (filterInstalled_ && QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
        if (symbols_) xcb_key_symbols_free(symbols_);
    }

    // Ours when the combination is grabbed on every key code that produces the key. A combination
    // another program holds on some of them keeps the codes that could be had, and is tried again
    // whenever the keyboard mapping changes.
    THotKeyGrab Register(int id, int qtKey, Qt::KeyboardModifiers modifiers) override {
        Unregister(id);
        xcb_connection_t* c = X11Connection();
        const xcb_keysym_t sym = KeySymForQtKey(qtKey);
        if (!c || sym == 0) return THotKeyGrab::Absent;
        Listen(c);
        if (!symbols_) {
            symbols_ = xcb_key_symbols_alloc(c);
            numLock_ = NumLockMask(c, symbols_);
        }
        TKey key{c, sym, ModMask(modifiers), {}, false, false};
        Grab(key);
        const THotKeyGrab state = key.State();
        keys_.insert(id, key);
        return state;
    }

    void Unregister(int id) override {
        auto it = keys_.find(id);
        if (it == keys_.end()) return;
        UngrabAll(it.value());
        keys_.erase(it);
    }

    void SetHandler(std::function<void(int)> handler) override { handler_ = std::move(handler); }
    void SetRemapHandler(std::function<void(const QList<int>&)> handler) override {
        remapHandler_ = std::move(handler);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        return Dispatch(static_cast<xcb_generic_event_t*>(message));
    }

  private:
    struct TKey {
        xcb_connection_t* c;
        xcb_keysym_t sym;
        uint16_t mask;
        std::vector<xcb_keycode_t> codes; // the key codes the combination is grabbed on
        bool ours;                        // grabbed on every code that produces the key
        bool produced;                    // some code produces the key
        THotKeyGrab State() const {
            return ours ? THotKeyGrab::Ours : produced ? THotKeyGrab::Held : THotKeyGrab::Absent;
        }
    };

    std::array<uint16_t, 4> LockVariants() const {
        return {uint16_t(0), uint16_t(XCB_MOD_MASK_LOCK), numLock_, uint16_t(numLock_ | XCB_MOD_MASK_LOCK)};
    }

    // One grab per lock state, so that CapsLock or NumLock being on does not disable the key. A code
    // whose plain combination another program holds is given back whole.
    bool GrabCode(xcb_connection_t* c, xcb_keycode_t code, uint16_t mask) {
        bool baseOk = false;
        for (uint16_t locks : LockVariants()) {
            xcb_void_cookie_t cookie = xcb_grab_key_checked(c, 1, X11Root(c), mask | locks, code,
                                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            TXcbReply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
            if (!error && locks == 0) baseOk = true;
        }
        if (!baseOk) UngrabCode(c, code, mask);
        return baseOk;
    }

    void UngrabCode(xcb_connection_t* c, xcb_keycode_t code, uint16_t mask) {
        for (uint16_t locks : LockVariants())
            xcb_ungrab_key(c, code, X11Root(c), mask | locks);
    }

    // Brings the grabs in line with the current mapping: codes that no longer produce the key are
    // given back, the others stay grabbed without a gap, new ones (and ones refused before) are asked
    // for.
    void Grab(TKey& key) {
        const std::vector<xcb_keycode_t> wanted = KeyCodes(symbols_, key.sym);
        std::vector<xcb_keycode_t> held;
        for (xcb_keycode_t code : key.codes) {
            if (std::find(wanted.begin(), wanted.end(), code) != wanted.end())
                held.push_back(code);
            else
                UngrabCode(key.c, code, key.mask);
        }
        key.produced = !wanted.empty();
        key.ours = key.produced;
        for (xcb_keycode_t code : wanted) {
            if (std::find(held.begin(), held.end(), code) != held.end()) continue;
            if (GrabCode(key.c, code, key.mask))
                held.push_back(code);
            else
                key.ours = false;
        }
        key.codes = std::move(held);
        xcb_flush(key.c);
    }

    void UngrabAll(TKey& key) {
        for (xcb_keycode_t code : key.codes)
            UngrabCode(key.c, code, key.mask);
        key.codes.clear();
        xcb_flush(key.c);
    }

    // A new keyboard mapping (a layout switch, xmodmap) can move the keys to other codes, and NumLock
    // to another modifier. One refresh for a burst of notices.
    void ScheduleRemap() {
        if (!QCoreApplication::instance()) {
            Remap();
            return;
        }
        if (!remapTimer_) {
            remapTimer_ = std::make_unique<QTimer>();
            remapTimer_->setSingleShot(true);
            remapTimer_->setInterval(0);
            QObject::connect(remapTimer_.get(), &QTimer::timeout, [this] { Remap(); });
        }
        remapTimer_->start();
    }

    void Remap() {
        if (!symbols_ || keys_.isEmpty()) {
            if (symbols_) xcb_key_symbols_free(symbols_);
            symbols_ = nullptr; // read afresh by the next registration
            return;
        }
        xcb_connection_t* c = keys_.cbegin()->c;
        xcb_key_symbols_free(symbols_);
        symbols_ = xcb_key_symbols_alloc(c);
        const uint16_t numLock = NumLockMask(c, symbols_);
        if (numLock != numLock_) {
            for (auto it = keys_.begin(); it != keys_.end(); ++it)
                UngrabAll(it.value());
            numLock_ = numLock;
        }
        QList<int> notOurs;
        for (auto it = keys_.begin(); it != keys_.end(); ++it) {
            Grab(it.value());
            if (it->State() == THotKeyGrab::Held) notOurs << it.key();
        }
        std::sort(notOurs.begin(), notOurs.end());
        if (remapHandler_) remapHandler_(notOurs);
    }

    // Key events arrive through Qt's event filter, or, on a private connection, from its socket.
    void Listen(xcb_connection_t* c) {
        if (filterInstalled_ || notifier_) return;
        xkbFirstEvent_ = XkbFirstEvent(c);
        if (X11ConnectionIsQts()) {
            if (QCoreApplication::instance()) {
                QCoreApplication::instance()->installNativeEventFilter(this);
                filterInstalled_ = true;
            }
        } else {
            auto drain = [this, c] {
                while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
                    Dispatch(e);
                    std::free(e);
                }
            };
            notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
            QObject::connect(notifier_.get(), &QSocketNotifier::activated, drain);
            // Replies read for other requests can leave events queued with nothing left on the socket.
            drainTimer_ = std::make_unique<QTimer>();
            QObject::connect(drainTimer_.get(), &QTimer::timeout, drain);
            drainTimer_->start(50);
        }
    }

    bool Dispatch(xcb_generic_event_t* e) {
        const uint8_t type = e->response_type & 0x7f;
        // Every client hears of a core mapping change; one that uses the keyboard extension, as Qt
        // does, hears of a whole new keymap (setxkbmap) only through the extension's notices. Both
        // are left for Qt to see as well.
        if (type == XCB_MAPPING_NOTIFY) {
            if (reinterpret_cast<xcb_mapping_notify_event_t*>(e)->request != XCB_MAPPING_POINTER)
                ScheduleRemap();
            return false;
        }
        if (xkbFirstEvent_ != 0 && type == xkbFirstEvent_) {
            const uint8_t kind = reinterpret_cast<const uint8_t*>(e)[1];
            if (kind == kXkbNewKeyboardNotify || kind == kXkbMapNotify) ScheduleRemap();
            return false;
        }
        if (type != XCB_KEY_PRESS) return false;
        auto* key = reinterpret_cast<xcb_key_press_event_t*>(e);
        const uint16_t state = key->state & ~(XCB_MOD_MASK_LOCK | numLock_) &
                               (XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4);
        for (auto it = keys_.cbegin(); it != keys_.cend(); ++it) {
            const std::vector<xcb_keycode_t>& codes = it->codes;
            if (it->mask == state && std::find(codes.begin(), codes.end(), key->detail) != codes.end()) {
                if (handler_) handler_(it.key());
                return true;
            }
        }
        return false;
    }

    QHash<int, TKey> keys_;
    std::function<void(int)> handler_;
    std::function<void(const QList<int>&)> remapHandler_;
    xcb_key_symbols_t* symbols_ = nullptr;
    uint16_t numLock_ = XCB_MOD_MASK_2;
    uint8_t xkbFirstEvent_ = 0;
    bool filterInstalled_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QTimer> drainTimer_;
    std::unique_ptr<QTimer> remapTimer_;
};

} // namespace

std::unique_ptr<IScreenGrabber> MakeX11Grabber() {
    return std::make_unique<TX11Grabber>();
}
std::unique_ptr<IActiveWindow> MakeX11ActiveWindow() {
    return std::make_unique<TX11ActiveWindow>();
}
std::unique_ptr<IHotKeys> MakeX11HotKeys() {
    return std::make_unique<TX11HotKeys>();
}
