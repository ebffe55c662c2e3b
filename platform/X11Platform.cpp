// The X11 implementation of the platform services. The display check runs before Qt is set up,
// on a connection of its own; everything later uses Qt's connection.
#include "Platform.h"
#include "DesktopOffers.h"
#include "DesktopServices.h"
#include "X11Connection.h"
#include "X11Services.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/randr.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

struct ConnectionDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, ConnectionDeleter>;

xcb_connection_t* QtConnection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

class TX11Display : public IDisplayService {
  public:
    TPlatformStatus CheckLayeredWindows() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display)
            return TPlatformStatus::Fail(QStringLiteral("no X11 display (DISPLAY is not set)"));
        if (!Connect())
            return TPlatformStatus::Fail(QStringLiteral("cannot connect to X11 display %1").arg(display));
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_.get())).data;
        for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
            if (d.data->depth != 32) continue;
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR) return TPlatformStatus::Ok();
        }
        return TPlatformStatus::Fail(QStringLiteral("the X11 screen offers no 32-bit ARGB visual"));
    }

    bool ConnectionLost() override {
        xcb_connection_t* c = QtConnection();
        return c && xcb_connection_has_error(c) != 0;
    }

    // The toolkit asks for resizing as well whenever it sends these hints; the Motif hints are the
    // request window managers read for the functions and decorations of a frame.
    void AskForFixedDialogFrame(quintptr window) override {
        xcb_connection_t* c = QtConnection();
        if (!c || !window) return;
        enum : uint32_t { kFunctions = 1, kDecorations = 2 };
        enum : uint32_t { kFuncMove = 4, kFuncClose = 32 };
        enum : uint32_t { kDecorBorder = 2, kDecorTitle = 8, kDecorMenu = 16 };
        const uint32_t hints[5] = {kFunctions | kDecorations, kFuncMove | kFuncClose,
                                   kDecorBorder | kDecorTitle | kDecorMenu, 0, 0};
        const xcb_atom_t atom = X11Atom(c, "_MOTIF_WM_HINTS");
        if (atom == XCB_ATOM_NONE) return;
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(window), atom, atom, 32, 5, hints);
        xcb_flush(c);
    }

    QRect DesktopBounds() override {
        QRect bounds;
        for (const QRect& m : Monitors())
            bounds = bounds.united(m);
        return bounds;
    }

    QList<QRect> Monitors() override {
        QList<QRect> result;
        xcb_connection_t* c = QtConnection();
        if (!c && Connect()) c = conn_.get();
        if (!c) return result;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        XcbReply<xcb_randr_get_monitors_reply_t> reply(
            xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, screen->root, 1), nullptr));
        if (reply) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem;
                 xcb_randr_monitor_info_next(&it))
                result << QRect(it.data->x, it.data->y, it.data->width, it.data->height);
        }
        if (result.isEmpty()) result << QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
        return result;
    }

  private:
    bool Connect() {
        if (conn_) return true;
        XcbConnection c(xcb_connect(nullptr, nullptr));
        if (!c || xcb_connection_has_error(c.get())) return false;
        conn_ = std::move(c);
        return true;
    }
    XcbConnection conn_;
};

class TX11WindowShape : public IWindowShape, public QAbstractNativeEventFilter {
  public:
    ~TX11WindowShape() override {
        if (filterInstalled_ && QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }
    void HideWindowRegion(quintptr window) override {
        if (xcb_connection_t* c = QtConnection()) {
            xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED,
                                 xcb_window_t(window), 0, 0, 0, nullptr);
            xcb_flush(c);
        }
    }
    void RestoreWindowRegion(quintptr window) override {
        if (xcb_connection_t* c = QtConnection()) {
            xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, xcb_window_t(window), 0, 0, XCB_NONE);
            xcb_flush(c);
        }
    }
    void SetVisibleRegion(quintptr window, const std::vector<QRect>& bands) override {
        xcb_connection_t* c = QtConnection();
        if (!c) return;
        bounding_.resize(bands.size());
        for (size_t i = 0; i < bands.size(); ++i) {
            const QRect& r = bands[i];
            bounding_[i] = {int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height())};
        }
        // Banded, the server takes the list as its region without sorting it.
        xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_YX_BANDED,
                             xcb_window_t(window), 0, 0, uint32_t(bounding_.size()), bounding_.data());
        xcb_flush(c);
    }
    void SetInputRegion(quintptr window, const QList<QRect>& rects) override {
        xcb_connection_t* c = QtConnection();
        if (!c) return;
        if (rects.isEmpty()) {
            xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, xcb_window_t(window), 0, 0, XCB_NONE);
        } else {
            std::vector<xcb_rectangle_t> xr;
            for (const QRect& r : rects)
                xr.push_back({int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height())});
            xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                                 xcb_window_t(window), 0, 0, uint32_t(xr.size()), xr.data());
        }
        xcb_flush(c);
    }
    bool CompositorActive() override {
        Watch();
        return compositor_;
    }
    void SetCompositorHandler(std::function<void(bool)> handler) override {
        handler_ = std::move(handler);
        Watch();
    }
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t" || !xfixesEvent_) return false;
        auto* e = static_cast<xcb_generic_event_t*>(message);
        if ((e->response_type & 0x7f) != xfixesEvent_ + XCB_XFIXES_SELECTION_NOTIFY) return false;
        auto* notice = reinterpret_cast<xcb_xfixes_selection_notify_event_t*>(e);
        if (notice->selection != selection_) return false;
        const bool active =
            notice->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER && notice->owner != XCB_NONE;
        if (active != compositor_) {
            compositor_ = active;
            if (handler_) handler_(active);
        }
        return false; // Qt follows the same selection for itself
    }

  private:
    // A compositing manager owns the selection _NET_WM_CM_S<screen>: it is asked once, then its
    // changes of owner arrive as XFixes notices through Qt's event filters. Without Qt on xcb there
    // are no windows to cut, and the layered windows stay as they are.
    void Watch() {
        if (watching_) return;
        watching_ = true;
        xcb_connection_t* c = QtConnection();
        if (!c) return;
        char* host = nullptr;
        int display = 0, screenNumber = 0;
        if (!xcb_parse_display(nullptr, &host, &display, &screenNumber)) screenNumber = 0;
        std::free(host);
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber && it.rem > 1; ++i)
            xcb_screen_next(&it);
        const xcb_window_t root = it.data->root;
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screenNumber);
        XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr));
        if (!atom) return;
        selection_ = atom->atom;
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_xfixes_id);
        if (ext && ext->present) {
            XcbReply<xcb_xfixes_query_version_reply_t> version(
                xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
            // Listening before asking: a change between the two is not missed.
            xcb_xfixes_select_selection_input(c, root, selection_,
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                                  XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                                  XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
            xfixesEvent_ = ext->first_event;
            if (QCoreApplication::instance()) {
                QCoreApplication::instance()->installNativeEventFilter(this);
                filterInstalled_ = true;
            }
        }
        XcbReply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection_), nullptr));
        compositor_ = owner && owner->owner != XCB_NONE;
    }

    std::vector<xcb_rectangle_t> bounding_; // kept between calls
    bool watching_ = false;
    bool compositor_ = true;
    xcb_atom_t selection_ = XCB_NONE;
    uint8_t xfixesEvent_ = 0;
    bool filterInstalled_ = false;
    std::function<void(bool)> handler_;
};

// An XEmbed tray manager owns _NET_SYSTEM_TRAY_S<screen>. Asked on each question (one round trip):
// Qt follows the selection itself to dock the icon, so nothing here needs its notices.
bool XEmbedTrayOwned() {
    xcb_connection_t* c = QtConnection();
    if (!c) return false;
    char* host = nullptr;
    int display = 0, screenNumber = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screenNumber)) screenNumber = 0;
    std::free(host);
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber);
    XcbReply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(name.size()), name.constData()), nullptr));
    if (!atom || atom->atom == XCB_NONE) return false; // nobody ever named it: no tray
    XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr));
    return owner && owner->owner != XCB_NONE;
}

} // namespace

std::unique_ptr<TPlatform> MakeX11Platform() {
    auto p = std::make_unique<TPlatform>();
    p->name = QStringLiteral("x11");
    p->display = std::make_unique<TX11Display>();
    p->instance = std::make_unique<TLocalSingleInstance>();
    p->folders = std::make_unique<TXdgFolders>();
    p->autostart = std::make_unique<TXdgAutostart>();
    p->shell = std::make_unique<TDesktopShell>();
    p->windowShape = std::make_unique<TX11WindowShape>();
    p->grabber = MakeX11Grabber();
    p->activeWindow = MakeX11ActiveWindow();
    p->hotKeys = MakeX11HotKeys();
    p->offers = std::make_unique<TBusDesktopOffers>(QDBusConnection::sessionBus(), XEmbedTrayOwned);
    return p;
}
