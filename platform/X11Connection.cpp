#include "X11Connection.h"

#include <QGuiApplication>

#include <cstring>

namespace {
struct TConnectionDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
std::unique_ptr<xcb_connection_t, TConnectionDeleter>& Private() {
    static std::unique_ptr<xcb_connection_t, TConnectionDeleter> connection;
    return connection;
}
xcb_connection_t* QtConnection() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}
} // namespace

bool X11ConnectionIsQts() {
    return QtConnection() != nullptr;
}

xcb_connection_t* X11Connection() {
    if (xcb_connection_t* qt = QtConnection()) return qt;
    auto& own = Private();
    if (!own) {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) return nullptr;
        own.reset(xcb_connect(nullptr, nullptr));
        if (xcb_connection_has_error(own.get())) {
            own.reset();
            return nullptr;
        }
    }
    return own.get();
}

xcb_window_t X11Root(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

xcb_atom_t X11Atom(xcb_connection_t* c, const char* name) {
    TXcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}
