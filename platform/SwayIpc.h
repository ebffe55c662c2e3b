// The active window under sway, read from the compositor's IPC socket.
//
// A Wayland client cannot ask the compositor which window has the focus; sway tells anyone who can
// reach its socket ($SWAYSOCK) through its i3-compatible IPC: a GET_TREE request answers with the
// whole layout as JSON, and the focused node in it is the window the user was working in. A focused
// workspace or output (no window on it) is the bare desktop.
//
// Every failure (no socket, no compositor behind it, a reply that is slow, cut short, too long or not
// the tree) answers "no window", so the capture falls back to the whole desktop with an empty title.
// A request never waits longer than the time-out given, however the compositor behaves.
#pragma once

#include "Platform.h"

#include <QByteArray>
#include <QRect>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>

// Maps a rectangle in the compositor's layout (logical) coordinates to the desktop's device pixels,
// the coordinates the grab and the rest of the program use. None: the two are the same.
using TLayoutToDevice = std::function<QRect(const QRect& layout)>;

// The i3-ipc message types used here.
inline constexpr uint32_t kSwayIpcGetTree = 4;
// Replies longer than this are refused unread: a tree of thousands of windows stays far below it.
inline constexpr uint32_t kSwayIpcMaxReply = 16u << 20;

// One request as the socket carries it: "i3-ipc", the payload's length and the type, both 32 bits in
// the host's byte order, then the payload.
QByteArray SwayIpcMessage(uint32_t type, const QByteArray& payload = {});

// The focused window of a GET_TREE reply. Not a tree, no focused node, or a focused container that
// holds no window: exists = false; a focused workspace or output: isDesktop as well. The frame is the
// window's rectangle with its borders and its title bar, mapped by `toDevice`.
TForegroundWindow SwayFocusedWindow(const QByteArray& tree, const TLayoutToDevice& toDevice = {});

class TSwayActiveWindow : public IActiveWindow {
  public:
    // `socketPath` is sway's socket ($SWAYSOCK; empty: no sway, no window). `timeout` bounds each
    // Foreground call from connecting to the last byte of the reply.
    TSwayActiveWindow(QString socketPath, TLayoutToDevice toDevice,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(300));

    // Asks the compositor afresh on every call (the GUI thread waits at most the time-out).
    TForegroundWindow Foreground() override;

    // The GET_TREE reply's payload; empty when the exchange failed for any reason.
    QByteArray RequestTree() const;

  private:
    QString socketPath_;
    TLayoutToDevice toDevice_;
    std::chrono::milliseconds timeout_;
};
