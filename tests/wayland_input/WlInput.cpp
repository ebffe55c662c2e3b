// Input and pixel probe for the end-to-end tests on a Wayland compositor.
//
//   vexmor_wl_input
//       Creates a virtual keyboard (the "us" keymap) and a virtual pointer on the compositor of
//       WAYLAND_DISPLAY, prints "ready", then reads one command a line from stdin and answers each with
//       "ok" or "error REASON" once the compositor has handled it:
//         move X Y                    pointer to a point of the output layout (logical coordinates)
//         press|release left|right|middle
//         keydown|keyup KEYSYM        a key of the keymap by keysym name (Control_L, Escape, Print, a)
//         key KEYSYM                  down and up; a keysym on the Shift level is typed with Shift
//         wheel N                     N wheel steps, positive downwards
//         sleep MS
//       The devices live as long as the process: the compositor hands them to clients only while
//       they exist, so the helper stays connected until stdin ends.
//
//   vexmor_wl_input --watch X Y [--timeout SECONDS] [-- COMMAND...]
//       Reads the colour of one layout pixel again and again through the screen-copy protocol. Prints
//       it first as RRGGBB, then "changed SECONDS.NANOS RRGGBB" (CLOCK_MONOTONIC, when the changed
//       colour arrived) and exits 0 the first time it differs; exits 1 after the time-out (10 s). Each
//       copy makes the compositor draw a frame, so samples come at the output's refresh rate. A
//       headless output draws the cursor into its picture: keep the pointer off the watched pixel.
//       With a COMMAND, it is started once the first colour is known, and "after MS ms" follows: the
//       time from its start to the changed colour.
//
// Both modes exit 2 when the compositor lacks something they need or goes away.
//
// Every line goes out flushed; diagnostics go to stderr.
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TOutput {
    wl_output* output = nullptr;
    uint32_t globalName = 0;
    zxdg_output_v1* xdgOutput = nullptr;
    int32_t x = 0, y = 0, width = 0, height = 0; // logical, from the xdg output
    bool contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

struct TBox {
    int x = 0, y = 0, width = 0, height = 0;
};

struct TGlobals {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    wl_shm* shm = nullptr;
    zxdg_output_manager_v1* xdgOutputManager = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboardManager = nullptr;
    zwlr_virtual_pointer_manager_v1* pointerManager = nullptr;
    zwlr_screencopy_manager_v1* screencopy = nullptr;
    uint32_t screencopyVersion = 0;
    std::vector<std::unique_ptr<TOutput>> outputs;
};

TGlobals g;

uint32_t NowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

void Say(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

[[noreturn]] void Die(const std::string& why) {
    std::fprintf(stderr, "vexmor_wl_input: %s\n", why.c_str());
    std::exit(2);
}

// --- outputs and the layout -------------------------------------------------------------------

void XdgLogicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    auto* o = static_cast<TOutput*>(data);
    o->x = x;
    o->y = y;
}
void XdgLogicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    auto* o = static_cast<TOutput*>(data);
    o->width = width;
    o->height = height;
}
void XdgDone(void*, zxdg_output_v1*) {}
void XdgName(void*, zxdg_output_v1*, const char*) {}
void XdgDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {XdgLogicalPosition, XdgLogicalSize, XdgDone, XdgName,
                                                    XdgDescription};

void WatchOutput(TOutput& o) {
    if (o.xdgOutput || !g.xdgOutputManager) return;
    o.xdgOutput = zxdg_output_manager_v1_get_xdg_output(g.xdgOutputManager, o.output);
    zxdg_output_v1_add_listener(o.xdgOutput, &kXdgOutputListener, &o);
}

// The bounding box of all outputs, which is what absolute pointer motion is measured against.
TBox LayoutBox() {
    TBox box;
    bool first = true;
    for (const auto& o : g.outputs) {
        if (o->width <= 0 || o->height <= 0) continue;
        if (first) {
            box = {o->x, o->y, o->width, o->height};
            first = false;
            continue;
        }
        const int right = std::max(box.x + box.width, o->x + o->width);
        const int bottom = std::max(box.y + box.height, o->y + o->height);
        box.x = std::min(box.x, o->x);
        box.y = std::min(box.y, o->y);
        box.width = right - box.x;
        box.height = bottom - box.y;
    }
    return box;
}

void RegistryGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    const std::string iface = interface;
    if (iface == wl_seat_interface.name && !g.seat) {
        g.seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (iface == wl_shm_interface.name) {
        g.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (iface == wl_output_interface.name) {
        auto o = std::make_unique<TOutput>();
        o->globalName = name;
        o->output = static_cast<wl_output*>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min<uint32_t>(version, 2)));
        WatchOutput(*o);
        g.outputs.push_back(std::move(o));
    } else if (iface == zxdg_output_manager_v1_interface.name) {
        g.xdgOutputManager = static_cast<zxdg_output_manager_v1*>(wl_registry_bind(
            registry, name, &zxdg_output_manager_v1_interface, std::min<uint32_t>(version, 3)));
        for (auto& o : g.outputs)
            WatchOutput(*o);
    } else if (iface == zwp_virtual_keyboard_manager_v1_interface.name) {
        g.keyboardManager = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    } else if (iface == zwlr_virtual_pointer_manager_v1_interface.name) {
        g.pointerManager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    } else if (iface == zwlr_screencopy_manager_v1_interface.name) {
        g.screencopyVersion = std::min<uint32_t>(version, 3);
        g.screencopy = static_cast<zwlr_screencopy_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, g.screencopyVersion));
    }
}

void RegistryGlobalRemove(void*, wl_registry*, uint32_t name) {
    auto it = std::find_if(g.outputs.begin(), g.outputs.end(),
                           [name](const auto& o) { return o->globalName == name; });
    if (it == g.outputs.end()) return;
    if ((*it)->xdgOutput) zxdg_output_v1_destroy((*it)->xdgOutput);
    wl_output_destroy((*it)->output);
    g.outputs.erase(it);
}

const wl_registry_listener kRegistryListener = {RegistryGlobal, RegistryGlobalRemove};

void Connect() {
    g.display = wl_display_connect(nullptr);
    if (!g.display) Die("cannot connect to the Wayland display");
    g.registry = wl_display_get_registry(g.display);
    wl_registry_add_listener(g.registry, &kRegistryListener, nullptr);
    // The first round trip announces the globals, the second the outputs' logical geometry.
    if (wl_display_roundtrip(g.display) < 0 || wl_display_roundtrip(g.display) < 0)
        Die("the compositor went away while starting");
    if (!g.xdgOutputManager) Die("the compositor offers no zxdg_output_manager_v1");
    if (g.outputs.empty()) Die("the compositor has no outputs");
}

// --- virtual keyboard ----------------------------------------------------------------------------

struct TKeyboard {
    xkb_context* context = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
    zwp_virtual_keyboard_v1* device = nullptr;
    uint32_t sent[4] = {0, 0, 0, 0}; // depressed, latched, locked, group as last sent
};

TKeyboard kb;

void CreateKeyboard() {
    if (!g.keyboardManager) Die("the compositor offers no zwp_virtual_keyboard_manager_v1");
    if (!g.seat) Die("the compositor has no seat");
    kb.context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!kb.context) Die("xkb_context_new failed");
    xkb_rule_names names = {};
    names.layout = "us";
    kb.keymap = xkb_keymap_new_from_names(kb.context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!kb.keymap) Die("cannot compile the us keymap");
    kb.state = xkb_state_new(kb.keymap);

    std::unique_ptr<char, decltype(&std::free)> text(
        xkb_keymap_get_as_string(kb.keymap, XKB_KEYMAP_FORMAT_TEXT_V1), &std::free);
    const size_t size = std::strlen(text.get()) + 1; // the compositor expects the terminating NUL
    const int fd = memfd_create("vexmor-keymap", MFD_CLOEXEC);
    if (fd < 0) Die(std::string("memfd_create: ") + std::strerror(errno));
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(fd, text.get() + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Die(std::string("writing the keymap: ") + std::strerror(errno));
        done += static_cast<size_t>(n);
    }
    kb.device = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(g.keyboardManager, g.seat);
    zwp_virtual_keyboard_v1_keymap(kb.device, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<uint32_t>(size));
    close(fd);
}

// The lowest key code carrying the keysym, and the shift level it sits on (0 or 1); false when the
// keymap has none. The lowest code is a real key: the keymap's virtual modifier keys come last.
bool FindKey(xkb_keysym_t sym, xkb_keycode_t& code, xkb_level_index_t& level) {
    for (xkb_level_index_t lvl = 0; lvl < 2; ++lvl) {
        for (xkb_keycode_t k = xkb_keymap_min_keycode(kb.keymap); k <= xkb_keymap_max_keycode(kb.keymap);
             ++k) {
            const xkb_keysym_t* syms = nullptr;
            const int n = xkb_keymap_key_get_syms_by_level(kb.keymap, k, 0, lvl, &syms);
            if (std::find(syms, syms + n, sym) != syms + n) {
                code = k;
                level = lvl;
                return true;
            }
        }
    }
    return false;
}

// The compositor takes modifier state only from the client, so every key change is followed by the
// state xkb works out for it, as a physical keyboard's driver would send.
void SendKey(xkb_keycode_t code, bool down) {
    zwp_virtual_keyboard_v1_key(kb.device, NowMs(), code - 8,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    xkb_state_update_key(kb.state, code, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    const uint32_t now[4] = {xkb_state_serialize_mods(kb.state, XKB_STATE_MODS_DEPRESSED),
                             xkb_state_serialize_mods(kb.state, XKB_STATE_MODS_LATCHED),
                             xkb_state_serialize_mods(kb.state, XKB_STATE_MODS_LOCKED),
                             xkb_state_serialize_layout(kb.state, XKB_STATE_LAYOUT_EFFECTIVE)};
    if (std::equal(now, now + 4, kb.sent)) return;
    std::copy(now, now + 4, kb.sent);
    zwp_virtual_keyboard_v1_modifiers(kb.device, now[0], now[1], now[2], now[3]);
}

bool ShiftHeld() {
    return xkb_state_mod_name_is_active(kb.state, XKB_MOD_NAME_SHIFT, XKB_STATE_MODS_EFFECTIVE) > 0;
}

// --- virtual pointer -----------------------------------------------------------------------------

zwlr_virtual_pointer_v1* pointer = nullptr;

void CreatePointer() {
    if (!g.pointerManager) Die("the compositor offers no zwlr_virtual_pointer_manager_v1");
    pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.pointerManager, g.seat);
}

bool ButtonCode(const std::string& name, uint32_t& code) {
    if (name == "left")
        code = BTN_LEFT;
    else if (name == "right")
        code = BTN_RIGHT;
    else if (name == "middle")
        code = BTN_MIDDLE;
    else
        return false;
    return true;
}

// --- commands ------------------------------------------------------------------------------------

bool ParseInt(const std::string& s, long& value) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(s.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

// Carries out one command; an empty result means success, otherwise the reason it failed.
std::string Run(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    if (words.empty()) return "empty command";
    const std::string& cmd = words[0];
    const size_t argc = words.size() - 1;

    if (cmd == "move") {
        long x, y;
        if (argc != 2 || !ParseInt(words[1], x) || !ParseInt(words[2], y)) return "usage: move X Y";
        const TBox box = LayoutBox();
        if (x < box.x || y < box.y || x >= box.x + box.width || y >= box.y + box.height)
            return "point outside the layout " + std::to_string(box.x) + "," + std::to_string(box.y) + " " +
                   std::to_string(box.width) + "x" + std::to_string(box.height);
        zwlr_virtual_pointer_v1_motion_absolute(
            pointer, NowMs(), static_cast<uint32_t>(x - box.x), static_cast<uint32_t>(y - box.y),
            static_cast<uint32_t>(box.width), static_cast<uint32_t>(box.height));
        zwlr_virtual_pointer_v1_frame(pointer);
    } else if (cmd == "press" || cmd == "release") {
        uint32_t code;
        if (argc != 1 || !ButtonCode(words[1], code)) return "usage: " + cmd + " left|right|middle";
        zwlr_virtual_pointer_v1_button(pointer, NowMs(), code,
                                       cmd == "press" ? WL_POINTER_BUTTON_STATE_PRESSED
                                                      : WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer);
    } else if (cmd == "wheel") {
        long steps;
        if (argc != 1 || !ParseInt(words[1], steps) || steps == 0) return "usage: wheel N (N not 0)";
        // 15 units a step is what libinput reports for a wheel click.
        zwlr_virtual_pointer_v1_axis_source(pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
        zwlr_virtual_pointer_v1_axis_discrete(pointer, NowMs(), WL_POINTER_AXIS_VERTICAL_SCROLL,
                                              wl_fixed_from_int(static_cast<int>(15 * steps)),
                                              static_cast<int32_t>(steps));
        zwlr_virtual_pointer_v1_frame(pointer);
    } else if (cmd == "keydown" || cmd == "keyup" || cmd == "key") {
        if (argc != 1) return "usage: " + cmd + " KEYSYM";
        xkb_keysym_t sym = xkb_keysym_from_name(words[1].c_str(), XKB_KEYSYM_NO_FLAGS);
        if (sym == XKB_KEY_NoSymbol)
            sym = xkb_keysym_from_name(words[1].c_str(), XKB_KEYSYM_CASE_INSENSITIVE);
        if (sym == XKB_KEY_NoSymbol) return "unknown keysym " + words[1];
        xkb_keycode_t code;
        xkb_level_index_t level;
        if (!FindKey(sym, code, level)) return "no key for " + words[1] + " in the us keymap";
        if (cmd == "keydown") {
            SendKey(code, true);
        } else if (cmd == "keyup") {
            SendKey(code, false);
        } else {
            xkb_keycode_t shift = 0;
            xkb_level_index_t ignored;
            const bool addShift = level == 1 && !ShiftHeld();
            if (addShift) {
                FindKey(XKB_KEY_Shift_L, shift, ignored);
                SendKey(shift, true);
            }
            SendKey(code, true);
            SendKey(code, false);
            if (addShift) SendKey(shift, false);
        }
    } else if (cmd == "sleep") {
        long ms;
        if (argc != 1 || !ParseInt(words[1], ms) || ms < 0) return "usage: sleep MS";
        usleep(static_cast<useconds_t>(ms) * 1000);
    } else {
        return "unknown command " + cmd;
    }
    if (wl_display_roundtrip(g.display) < 0) {
        Say("error the compositor went away");
        std::exit(1);
    }
    return {};
}

// Splits stdin into lines without stdio buffering, so that poll sees every pending byte.
int InputLoop() {
    std::string pending;
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wl_display_get_fd(g.display), POLLIN, 0}};
    for (;;) {
        while (wl_display_prepare_read(g.display) != 0)
            wl_display_dispatch_pending(g.display);
        wl_display_flush(g.display);
        if (poll(fds, 2, -1) < 0) {
            wl_display_cancel_read(g.display);
            if (errno == EINTR) continue;
            Die(std::string("poll: ") + std::strerror(errno));
        }
        if (fds[1].revents & POLLIN) {
            if (wl_display_read_events(g.display) < 0) Die("lost the compositor");
        } else {
            wl_display_cancel_read(g.display);
        }
        if (fds[1].revents & (POLLERR | POLLHUP)) Die("lost the compositor");
        if (wl_display_dispatch_pending(g.display) < 0) Die("lost the compositor");
        if (!(fds[0].revents & (POLLIN | POLLHUP))) continue;
        char buf[4096];
        const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        pending.append(buf, static_cast<size_t>(n));
        for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
            const std::string failure = Run(line);
            Say(failure.empty() ? "ok" : "error " + failure);
        }
    }
}

// --- pixel watcher -------------------------------------------------------------------------------

struct TShmBuffer {
    wl_buffer* buffer = nullptr;
    void* data = nullptr;
    size_t size = 0;
    uint32_t format = 0, width = 0, height = 0, stride = 0;
};

struct TFrame {
    bool haveShm = false, done = false, ready = false, failed = false;
    uint32_t format = 0, width = 0, height = 0, stride = 0, flags = 0;
};

bool Readable(uint32_t format) {
    return format == WL_SHM_FORMAT_ARGB8888 || format == WL_SHM_FORMAT_XRGB8888 ||
           format == WL_SHM_FORMAT_ABGR8888 || format == WL_SHM_FORMAT_XBGR8888;
}

void FrameBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
                 uint32_t stride) {
    auto* f = static_cast<TFrame*>(data);
    if (f->haveShm || !Readable(format)) return;
    *f = {true, false, false, false, format, width, height, stride, 0};
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
    static_cast<TFrame*>(data)->done = true;
}
const zwlr_screencopy_frame_v1_listener kFrameListener = {
    FrameBuffer, FrameFlags, FrameReady, FrameFailed, FrameDamage, FrameDmabuf, FrameBufferDone};

void EnsureBuffer(TShmBuffer& b, const TFrame& f) {
    if (b.buffer && b.format == f.format && b.width == f.width && b.height == f.height &&
        b.stride == f.stride)
        return;
    if (b.buffer) {
        wl_buffer_destroy(b.buffer);
        munmap(b.data, b.size);
    }
    b = {nullptr, nullptr, size_t(f.stride) * f.height, f.format, f.width, f.height, f.stride};
    const int fd = memfd_create("vexmor-pixel", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(b.size)) < 0) Die("cannot make a shared-memory buffer");
    b.data = mmap(nullptr, b.size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (b.data == MAP_FAILED) Die("cannot map the shared-memory buffer");
    wl_shm_pool* pool = wl_shm_create_pool(g.shm, fd, static_cast<int32_t>(b.size));
    b.buffer =
        wl_shm_pool_create_buffer(pool, 0, static_cast<int32_t>(f.width), static_cast<int32_t>(f.height),
                                  static_cast<int32_t>(f.stride), f.format);
    wl_shm_pool_destroy(pool);
    close(fd);
}

// The top-left pixel of the copied region as 0xRRGGBB.
uint32_t TopLeft(const TShmBuffer& b, uint32_t flags) {
    const uint32_t row = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) ? b.height - 1 : 0;
    uint32_t px;
    std::memcpy(&px, static_cast<const char*>(b.data) + size_t(row) * b.stride, sizeof px);
    if (b.format == WL_SHM_FORMAT_ABGR8888 || b.format == WL_SHM_FORMAT_XBGR8888)
        px = ((px & 0xff) << 16) | (px & 0xff00) | ((px >> 16) & 0xff);
    return px & 0xffffff;
}

// One copy of the 1x1 logical region at (x, y) of the output; the colour of its top-left pixel.
uint32_t Sample(TOutput& out, int x, int y, TShmBuffer& buffer) {
    TFrame f;
    zwlr_screencopy_frame_v1* frame = zwlr_screencopy_manager_v1_capture_output_region(
        g.screencopy, 0, out.output, x - out.x, y - out.y, 1, 1);
    zwlr_screencopy_frame_v1_add_listener(frame, &kFrameListener, &f);
    // Before version 3 the buffer event alone says what to allocate.
    while (!f.failed && !(f.haveShm && (f.done || g.screencopyVersion < 3)))
        if (wl_display_dispatch(g.display) < 0) Die("lost the compositor");
    if (f.failed || !f.haveShm) Die("the compositor offers no readable buffer for the pixel");
    EnsureBuffer(buffer, f);
    zwlr_screencopy_frame_v1_copy(frame, buffer.buffer);
    while (!f.ready && !f.failed)
        if (wl_display_dispatch(g.display) < 0) Die("lost the compositor");
    zwlr_screencopy_frame_v1_destroy(frame);
    if (f.failed) Die("the copy of the pixel failed");
    return TopLeft(buffer, f.flags);
}

double Seconds(const timespec& t) {
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

int Watch(int x, int y, double timeoutSeconds, const std::vector<std::string>& command) {
    if (!g.screencopy) Die("the compositor offers no zwlr_screencopy_manager_v1");
    if (!g.shm) Die("the compositor offers no wl_shm");
    auto it =
        std::find_if(g.outputs.begin(), g.outputs.end(), [&](const auto& o) { return o->contains(x, y); });
    if (it == g.outputs.end())
        Die("no output holds the point " + std::to_string(x) + "," + std::to_string(y));
    TShmBuffer buffer;
    char text[64];
    const uint32_t first = Sample(**it, x, y, buffer);
    std::snprintf(text, sizeof text, "%06x", first);
    Say(text);
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    // The command runs from here on; the time to the change is measured from its start.
    if (!command.empty()) {
        const pid_t child = fork();
        if (child < 0) Die("cannot start the command");
        if (child == 0) {
            std::vector<char*> argv;
            for (const std::string& a : command)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
    }
    for (;;) {
        const uint32_t now = Sample(**it, x, y, buffer);
        timespec t;
        clock_gettime(CLOCK_MONOTONIC, &t);
        if (now != first) {
            std::snprintf(text, sizeof text, "changed %lld.%09ld %06x", static_cast<long long>(t.tv_sec),
                          t.tv_nsec, now);
            Say(text);
            if (!command.empty()) {
                std::snprintf(text, sizeof text, "after %.1f ms", (Seconds(t) - Seconds(start)) * 1000);
                Say(text);
            }
            return 0;
        }
        if ((t.tv_sec - start.tv_sec) + (t.tv_nsec - start.tv_nsec) / 1e9 > timeoutSeconds) {
            std::fprintf(stderr, "vexmor_wl_input: the pixel stayed %06x for %g s\n", first, timeoutSeconds);
            return 1;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--watch") {
        long x, y;
        double timeout = 10;
        std::vector<std::string> command;
        const auto dashes = std::find(args.begin(), args.end(), "--");
        if (dashes != args.end()) {
            command.assign(dashes + 1, args.end());
            args.erase(dashes, args.end());
        }
        if (args.size() < 3 || !ParseInt(args[1], x) || !ParseInt(args[2], y))
            Die("usage: --watch X Y [--timeout S] [-- COMMAND...]");
        if (args.size() == 5 && args[3] == "--timeout")
            timeout = std::atof(args[4].c_str());
        else if (args.size() != 3)
            Die("usage: --watch X Y [--timeout S] [-- COMMAND...]");
        Connect();
        return Watch(static_cast<int>(x), static_cast<int>(y), timeout, command);
    }
    if (!args.empty()) Die("usage: vexmor_wl_input [--watch X Y [--timeout SECONDS] [-- COMMAND...]]");
    Connect();
    CreateKeyboard();
    CreatePointer();
    if (wl_display_roundtrip(g.display) < 0) Die("the compositor refused the virtual devices");
    Say("ready");
    return InputLoop();
}
