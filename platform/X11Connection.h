// The X connection the platform services talk on (private to platform/).
//
// When Qt runs on xcb its connection is used, so that requests and Qt's own events stay in order.
// Otherwise (a program or test running Qt offscreen) a private connection to $DISPLAY is opened on
// first use and kept for the life of the process.
#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

struct TFreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using TXcbReply = std::unique_ptr<T, TFreeDeleter>;

// Null when no display can be reached.
xcb_connection_t* X11Connection();
// True when the connection is Qt's (its events reach Qt's native event filters).
bool X11ConnectionIsQts();
xcb_window_t X11Root(xcb_connection_t* c);
xcb_atom_t X11Atom(xcb_connection_t* c, const char* name);
