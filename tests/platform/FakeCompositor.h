// A small Wayland compositor of the tests, on a thread of the test: outputs and shared memory, the
// compositors' standard image copy, which no compositor on the test machines offers, and, when asked
// to, the wlroots family's older screen copy beside it. The client connects through the socket it
// hands out (WAYLAND_SOCKET), so nothing is made on disk.
#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class TFakeCompositor {
  public:
    struct TOutput {
        QString name;
        QPoint position; // in the compositor's layout (logical pixels)
        QSize mode;      // its pixels, as the buffer holds them
        int scale = 1;
        int transform = 0; // wl_output.transform
    };
    struct TOptions {
        std::vector<uint32_t> shmFormats; // offered in this order; XRGB8888 when empty
        bool imageCopy = true;            // the standard image copy's two globals
        bool wlroots = false;             // the older screen copy (XRGB8888 only)
    };

    TFakeCompositor(std::vector<TOutput> outputs, TOptions options);
    ~TFakeCompositor();
    TFakeCompositor(const TFakeCompositor&) = delete;
    TFakeCompositor& operator=(const TFakeCompositor&) = delete;

    // Puts the client's end of the connection into WAYLAND_SOCKET, for the next wl_display_connect
    // (once: one client).
    void OfferConnection();

    // The picture output `index` shows, in its buffer's pixels (unturned): a pattern no two pixels or
    // outputs share.
    static QImage Picture(int index, QSize mode);

    // What the copies do next.
    std::atomic<bool> failCopies{false};   // the standard copy's frame fails
    std::atomic<bool> stopSessions{false}; // a new session stops at once

    // What the client asked for.
    std::atomic<int> sessions{0};
    std::atomic<int> copies{0};      // by the standard copy
    std::atomic<int> olderCopies{0}; // by the older one
    std::atomic<uint32_t> lastOptions{0};
    std::atomic<uint32_t> lastFormat{0};
    std::atomic<bool> wholeDamage{false}; // the last copy's buffer was damaged whole

    struct TState;

  private:
    std::unique_ptr<TState> state_;
};
