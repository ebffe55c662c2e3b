// The X11 grab, pointer picture, active window and hot keys against a private X server. Each test
// program process talks to one server, started for it here.
#include "Platform.h"
#include "XvfbServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstring>
#include <functional>

namespace {

class X11Services : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server = new TXvfbServer;
        if (!server->Start()) {
            delete server;
            server = nullptr;
            return;
        }
        display = server->Display();
        qputenv("DISPLAY", display);
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        if (!server) GTEST_SKIP() << "no Xvfb here";
        platform = MakeX11Platform();
        c = xcb_connect(display.constData(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(c));
        screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    }
    void TearDown() override {
        if (c) xcb_disconnect(c);
    }

    xcb_window_t MakeWindow(int x, int y, int w, int h, uint32_t pixel) {
        const xcb_window_t win = xcb_generate_id(c);
        const uint32_t values[] = {pixel, 1};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, win, screen->root, int16_t(x), int16_t(y), uint16_t(w),
                          uint16_t(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(c, win);
        xcb_clear_area(c, 0, win, 0, 0, 0, 0);
        Sync();
        return win;
    }
    xcb_atom_t Atom(const char* name) {
        auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r->atom;
        std::free(r);
        return a;
    }
    void SetProperty(xcb_window_t w, const char* name, xcb_atom_t type, int format, const void* data,
                     int count) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, Atom(name), type, uint8_t(format), uint32_t(count),
                            data);
        Sync();
    }
    void Sync() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }
    static uint32_t PixelAt(const TGrabbedImage& img, int x, int y) {
        uint32_t v;
        std::memcpy(&v, img.pixels.data() + size_t(y) * img.stride + x * 4, 4);
        return v;
    }
    static void Xdotool(const QStringList& args) {
        QProcess p;
        p.start("xdotool", args);
        p.waitForFinished(10000);
    }
    static bool PumpUntil(const std::function<bool()>& done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }

    static TXvfbServer* server;
    static QByteArray display;
    std::unique_ptr<TPlatform> platform;
    xcb_connection_t* c = nullptr;
    xcb_screen_t* screen = nullptr;
};
TXvfbServer* X11Services::server = nullptr;
QByteArray X11Services::display;

TEST_F(X11Services, GrabCopiesTheScreenAndLeavesWhatLiesOffItBlack) {
    MakeWindow(100, 50, 40, 30, 0xFF8000);
    TGrabbedImage img;
    ASSERT_TRUE(platform->grabber->Grab(QRect(90, 40, 60, 50), img).ok);
    ASSERT_EQ(img.width, 60);
    ASSERT_EQ(img.height, 50);
    EXPECT_EQ(PixelAt(img, 10, 10), 0xFFFF8000u); // the window's top-left pixel, opaque B,G,R,A
    EXPECT_EQ(PixelAt(img, 49, 39), 0xFFFF8000u);
    EXPECT_EQ(PixelAt(img, 9, 10), 0xFF000000u); // black root around it
    EXPECT_EQ(PixelAt(img, 50, 39), 0xFF000000u);

    // A rectangle reaching past the screen: the part with no screen behind it is black.
    ASSERT_TRUE(platform->grabber->Grab(QRect(620, 470, 40, 30), img).ok);
    EXPECT_EQ(PixelAt(img, 39, 29), 0xFF000000u);
    MakeWindow(600, 450, 40, 30, 0x00FF00);
    ASSERT_TRUE(platform->grabber->Grab(QRect(620, 470, 40, 30), img).ok);
    EXPECT_EQ(PixelAt(img, 19, 9), 0xFF00FF00u);
    EXPECT_EQ(PixelAt(img, 20, 10), 0xFF000000u);
    EXPECT_FALSE(platform->grabber->Grab(QRect(), img).ok);
}

TEST_F(X11Services, AHeldGrabKeepsItsPixelsWhileLaterGrabsGoElsewhere) {
    const xcb_window_t first = MakeWindow(0, 0, 640, 480, 0x102030);
    std::shared_ptr<THeldGrab> held;
    ASSERT_TRUE(platform->grabber->GrabHeld(QRect(0, 0, 640, 480), held).ok);
    ASSERT_TRUE(held && held->bits);
    EXPECT_EQ(held->part, QRect(0, 0, 640, 480));
    auto heldPixel = [&](int x, int y) {
        uint32_t v;
        std::memcpy(&v, held->bits + size_t(y) * held->stride + x * 4, 4);
        return v & 0xFFFFFFu;
    };
    EXPECT_EQ(heldPixel(320, 240), 0x102030u);
    held->bits[0] = 0x55; // the holder's to write

    // The screen changes and is grabbed again, in both ways, while the first grab is held.
    xcb_destroy_window(c, first);
    MakeWindow(0, 0, 640, 480, 0xA0B0C0);
    TGrabbedImage img;
    ASSERT_TRUE(platform->grabber->Grab(QRect(0, 0, 640, 480), img).ok);
    EXPECT_EQ(PixelAt(img, 320, 240), 0xFFA0B0C0u);
    std::shared_ptr<THeldGrab> second;
    ASSERT_TRUE(platform->grabber->GrabHeld(QRect(0, 0, 640, 480), second).ok);
    EXPECT_NE(second->bits, held->bits);
    EXPECT_EQ(heldPixel(320, 240), 0x102030u) << "a later grab must not land in held rows";
    EXPECT_EQ(held->bits[0], 0x55);

    // Let go: the buffer of a desktop this small is kept for good, for the next capture after a pause;
    // a rectangle partly off the screen holds only the part with screen behind it.
    const uint8_t* kept = second->bits;
    held.reset();
    second.reset();
    platform->grabber->ReleaseKept();
    std::shared_ptr<THeldGrab> again;
    ASSERT_TRUE(platform->grabber->GrabHeld(QRect(0, 0, 640, 480), again).ok);
    EXPECT_EQ(again->bits, kept) << "the kept rows were given back";
    again.reset();
    ASSERT_TRUE(platform->grabber->GrabHeld(QRect(600, 440, 100, 100), held).ok);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->part, QRect(0, 0, 40, 40));
    EXPECT_EQ(heldPixel(39, 39), 0xA0B0C0u);
}

// The backdrop is drawn by the server from the held rows: the tint over them, the patch on top, into
// a mapped window, whatever the screen shows by then.
TEST_F(X11Services, ABackdropIsTheTintedHeldRowsDrawnIntoAMappedWindow) {
    MakeWindow(0, 0, 640, 480, 0x102030);
    MakeWindow(100, 100, 50, 40, 0xF0E0D0);
    std::shared_ptr<THeldGrab> held;
    ASSERT_TRUE(platform->grabber->GrabHeld(QRect(0, 0, 640, 480), held).ok);
    ASSERT_TRUE(held && held->serverSegment);

    auto makeOverlay = [&](int w, int h, bool map) {
        const xcb_window_t win = xcb_generate_id(c);
        const uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 1};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, win, screen->root, 0, 0, uint16_t(w), uint16_t(h), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
        if (map) xcb_map_window(c, win);
        Sync();
        return win;
    };
    // The screen changes after the grab: the backdrop shows what was grabbed.
    MakeWindow(300, 300, 60, 60, 0x00FF00);
    const xcb_window_t overlay = makeOverlay(640, 480, true);
    TBackdrop backdrop;
    backdrop.tint = 0x57092236u;
    QImage patch(20, 10, QImage::Format_RGB32);
    patch.fill(0xFF0000FFu);
    backdrop.patches.append({patch, QPoint(630, 475)}); // partly off the window: clipped
    patch.fill(0xFF00FF00u);
    backdrop.patches.append({patch.copy(0, 0, 1, 10), QPoint(5, 470)}); // a band a pixel wide
    ASSERT_TRUE(platform->grabber->DrawBackdrop(overlay, *held, backdrop));
    platform->grabber->WaitForServer();
    TGrabbedImage img;
    ASSERT_TRUE(platform->grabber->Grab(QRect(0, 0, 640, 480), img).ok);
    auto tinted = [](uint32_t rgb) {
        uint32_t out = 0xFF000000u;
        for (int shift : {0, 8, 16}) {
            const uint32_t t = ((rgb >> shift) & 0xFF) * (255 - 0x57) + 128;
            out |= (((0x57092236u >> shift) & 0xFF) + ((t + (t >> 8)) >> 8)) << shift;
        }
        return out;
    };
    EXPECT_EQ(PixelAt(img, 10, 10), tinted(0x102030));
    EXPECT_EQ(PixelAt(img, 120, 120), tinted(0xF0E0D0));
    EXPECT_EQ(PixelAt(img, 330, 330), tinted(0x102030)) << "the window made after the grab must not show";
    EXPECT_EQ(PixelAt(img, 635, 477), 0xFF0000FFu);
    EXPECT_EQ(PixelAt(img, 639, 479), 0xFF0000FFu);
    EXPECT_EQ(PixelAt(img, 629, 477), tinted(0x102030));
    EXPECT_EQ(PixelAt(img, 5, 479), 0xFF00FF00u);
    EXPECT_EQ(PixelAt(img, 6, 479), tinted(0x102030));

    // Refused, the window left alone: not on screen, another size, rows the server does not share.
    const xcb_window_t hidden = makeOverlay(640, 480, false);
    EXPECT_FALSE(platform->grabber->DrawBackdrop(hidden, *held, backdrop));
    const xcb_window_t small = makeOverlay(320, 240, true);
    EXPECT_FALSE(platform->grabber->DrawBackdrop(small, *held, backdrop));
    THeldGrab own = *held;
    own.serverSegment = 0;
    EXPECT_FALSE(platform->grabber->DrawBackdrop(overlay, own, backdrop));
    for (xcb_window_t w : {overlay, hidden, small})
        xcb_destroy_window(c, w);
    Sync();
}

TEST_F(X11Services, PointerPictureAndPosition) {
    xcb_warp_pointer(c, XCB_WINDOW_NONE, screen->root, 0, 0, 0, 0, 200, 150);
    Sync();
    TCursorImage cursor;
    ASSERT_TRUE(platform->grabber->Cursor(cursor).ok);
    EXPECT_EQ(cursor.x, 200);
    EXPECT_EQ(cursor.y, 150);
    EXPECT_FALSE(cursor.image.isNull());
    EXPECT_LT(cursor.hotX, cursor.image.width());
    EXPECT_LT(cursor.hotY, cursor.image.height());
}

TEST_F(X11Services, ActiveWindowTitleFrameAndDesktop) {
    EXPECT_FALSE(platform->activeWindow->Foreground().exists); // nothing active yet

    const xcb_window_t win = MakeWindow(50, 60, 200, 100, 0x123456);
    const QByteArray title = QString::fromUtf8("测试 窗口").toUtf8();
    SetProperty(win, "_NET_WM_NAME", Atom("UTF8_STRING"), 8, title.constData(), int(title.size()));
    const uint32_t extents[] = {2, 3, 20, 4}; // left, right, top, bottom
    SetProperty(win, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, 32, extents, 4);
    SetProperty(screen->root, "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, 32, &win, 1);
    TForegroundWindow fg = platform->activeWindow->Foreground();
    EXPECT_TRUE(fg.exists);
    EXPECT_FALSE(fg.isDesktop);
    EXPECT_EQ(fg.title, QString::fromUtf8("测试 窗口"));
    EXPECT_EQ(fg.frame, QRect(48, 40, 205, 124));
    EXPECT_TRUE(fg.location.isEmpty());

    // Only the old-style name: Latin-1; a title that is a folder gives the location.
    xcb_delete_property(c, win, Atom("_NET_WM_NAME"));
    SetProperty(win, "WM_NAME", XCB_ATOM_STRING, 8, "/tmp", 4);
    fg = platform->activeWindow->Foreground();
    EXPECT_EQ(fg.title, "/tmp");
    EXPECT_EQ(fg.location, "/tmp");

    // The desktop itself in front: no title.
    const uint32_t desktopType = Atom("_NET_WM_WINDOW_TYPE_DESKTOP");
    SetProperty(win, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, 32, &desktopType, 1);
    fg = platform->activeWindow->Foreground();
    EXPECT_TRUE(fg.isDesktop);
    EXPECT_FALSE(fg.exists);
    EXPECT_TRUE(fg.title.isEmpty());

    // An unmapped active window counts as none.
    xcb_delete_property(c, win, Atom("_NET_WM_WINDOW_TYPE"));
    xcb_unmap_window(c, win);
    Sync();
    EXPECT_FALSE(platform->activeWindow->Foreground().exists);

    // Without a window manager: the window with the keyboard focus.
    const xcb_window_t other = MakeWindow(10, 10, 30, 30, 0);
    xcb_delete_property(c, screen->root, Atom("_NET_ACTIVE_WINDOW"));
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, other, XCB_CURRENT_TIME);
    SetProperty(other, "_NET_WM_NAME", Atom("UTF8_STRING"), 8, "focus", 5);
    fg = platform->activeWindow->Foreground();
    EXPECT_TRUE(fg.exists);
    EXPECT_EQ(fg.title, "focus");
}

TEST_F(X11Services, HotKeysFireWithLocksOnAndSkipCombinationsOthersHold) {
    if (QStandardPaths::findExecutable("xdotool").isEmpty()) GTEST_SKIP() << "no xdotool";
    // Another program holds Alt+Print (keycode from the server's own mapping).
    QList<int> fired;
    platform->hotKeys->SetHandler([&](int id) { fired << id; });
    xcb_connection_t* other = xcb_connect(display.constData(), nullptr);
    {
        QProcess p;
        p.start("xdotool", {"key", "--clearmodifiers", "shift"}); // make sure the keymap is loaded
        p.waitForFinished(5000);
    }
    auto* keyboard = xcb_get_keyboard_mapping_reply(
        other,
        xcb_get_keyboard_mapping(
            other, xcb_get_setup(other)->min_keycode,
            uint8_t(xcb_get_setup(other)->max_keycode - xcb_get_setup(other)->min_keycode + 1)),
        nullptr);
    ASSERT_NE(keyboard, nullptr);
    xcb_keycode_t printCode = 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(keyboard);
    for (int i = 0; i < xcb_get_keyboard_mapping_keysyms_length(keyboard); ++i)
        if (syms[i] == 0xff61 && !printCode)
            printCode = xcb_keycode_t(xcb_get_setup(other)->min_keycode + i / keyboard->keysyms_per_keycode);
    std::free(keyboard);
    ASSERT_NE(printCode, 0);
    xcb_grab_key(other, 1, screen->root, XCB_MOD_MASK_1, printCode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));

    using enum THotKeyGrab;
    EXPECT_EQ(platform->hotKeys->Register(0, Qt::Key_Print, {}), Ours);
    EXPECT_EQ(platform->hotKeys->Register(1, Qt::Key_Print, Qt::AltModifier), Held);
    EXPECT_EQ(platform->hotKeys->Register(2, Qt::Key_Print, Qt::ControlModifier), Ours);
    // (Ctrl+Alt+F-keys switch virtual terminals inside the server, so they never reach a grab.)
    EXPECT_EQ(platform->hotKeys->Register(3, Qt::Key_F5, Qt::ControlModifier | Qt::ShiftModifier), Ours);
    EXPECT_EQ(platform->hotKeys->Register(4, 0x01ffffff, {}), Absent);  // a key X has no symbol for
    EXPECT_EQ(platform->hotKeys->Register(5, Qt::Key_F35, {}), Absent); // one no key of this keyboard makes

    Xdotool({"key", "Print"});
    EXPECT_TRUE(PumpUntil([&] { return fired == QList<int>{0}; })) << fired.size();
    Xdotool({"key", "ctrl+Print"});
    EXPECT_TRUE(PumpUntil([&] { return fired == QList<int>({0, 2}); }));
    Xdotool({"key", "ctrl+shift+F5"});
    EXPECT_TRUE(PumpUntil([&] { return fired == QList<int>({0, 2, 3}); }));
    // NumLock and CapsLock on: the keys still fire.
    Xdotool({"key", "Num_Lock", "Caps_Lock"});
    Xdotool({"key", "Print"});
    EXPECT_TRUE(PumpUntil([&] { return fired == QList<int>({0, 2, 3, 0}); }));
    Xdotool({"key", "Num_Lock", "Caps_Lock"});

    platform->hotKeys->Unregister(0);
    Xdotool({"key", "Print"});
    Xdotool({"key", "ctrl+Print"});
    EXPECT_TRUE(PumpUntil([&] { return fired.size() == 5; }));
    EXPECT_EQ(fired.last(), 2); // the unregistered key no longer fires
    xcb_disconnect(other);
}

// Xvfb's keymap has Print on key codes 107 and 218; this test moves it to 200 and back.
TEST_F(X11Services, HotKeysFollowTheKeyboardMappingToOtherKeyCodes) {
    for (const char* tool : {"xdotool", "xmodmap"})
        if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << "no " << tool;
    auto xmodmap = [](const QStringList& lines) {
        QStringList args;
        for (const QString& line : lines)
            args << "-e" << line;
        QProcess p;
        p.start("xmodmap", args);
        p.waitForFinished(10000);
    };
    struct TRestore {
        std::function<void()> f;
        ~TRestore() { f(); }
    } restore{[&] {
        xmodmap({"keycode 107 = Print Sys_Req Print Sys_Req", "keycode 218 = Print NoSymbol Print",
                 "keycode 200 = XF86TouchpadOn NoSymbol XF86TouchpadOn"});
    }};
    QList<int> fired;
    QList<QList<int>> remaps;
    platform->hotKeys->SetHandler([&](int id) { fired << id; });
    platform->hotKeys->SetRemapHandler([&](const QList<int>& notOurs) { remaps << notOurs; });
    // This connection stands for another program that holds plain Print on code 200, where the new
    // mapping will put it.
    xcb_grab_key(c, 1, screen->root, 0, 200, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    Sync();
    EXPECT_EQ(platform->hotKeys->Register(0, Qt::Key_Print, {}), THotKeyGrab::Ours);
    EXPECT_EQ(platform->hotKeys->Register(1, Qt::Key_Print, Qt::ControlModifier), THotKeyGrab::Ours);
    // A key the keyboard does not have is nobody's: never reported as held.
    EXPECT_EQ(platform->hotKeys->Register(2, Qt::Key_F35, {}), THotKeyGrab::Absent);

    xmodmap({"keycode 107 = NoSymbol", "keycode 218 = NoSymbol", "keycode 200 = Print"});
    EXPECT_TRUE(PumpUntil([&] { return !remaps.isEmpty() && remaps.last() == QList<int>{0}; }))
        << "plain Print now sits on a code another program holds";
    Xdotool({"key", "ctrl+Print"});
    EXPECT_TRUE(PumpUntil([&] { return fired == QList<int>{1}; })) << "Ctrl+Print taken on code 200";

    restore.f();
    EXPECT_TRUE(PumpUntil([&] { return !remaps.isEmpty() && remaps.last().isEmpty(); }))
        << "back on codes nobody else holds";
    Xdotool({"key", "Print"});
    EXPECT_TRUE(PumpUntil([&] { return fired == QList<int>({1, 0}); }));
    xcb_ungrab_key(c, 200, screen->root, 0);
    Sync();
}

} // namespace
