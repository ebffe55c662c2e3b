// The services Vexmor needs from the desktop, behind small interfaces.
//
// Everything that talks to the X server or the Wayland compositor lives in this folder; the rest of
// the program sees only these interfaces. `Platform()` returns the set chosen at start-up: the X11
// implementation, the Wayland one, or the fake that tests configure (forced with
// VEXMOR_PLATFORM=fake). Every service is there to use without a check: what a desktop cannot do
// is answered by a service that does nothing, and `Can` tells the callers that need to know.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Outcome of a platform call: ok, or the reason it failed.
struct TPlatformStatus {
    bool ok = true;
    QString reason;
    // The user took the request back (asked for something else while it waited): a failure with
    // nothing to tell.
    bool withdrawn = false;
    static TPlatformStatus Ok() { return {}; }
    static TPlatformStatus Fail(QString why) { return {false, std::move(why)}; }
    static TPlatformStatus Withdrawn() { return {false, QString(), true}; }
    explicit operator bool() const { return ok; }
};

// The display: can the program show per-pixel-alpha windows here, and where are the monitors.
class IDisplayService {
  public:
    virtual ~IDisplayService() = default;
    // Checks before any window exists: a display is reachable and offers 32-bit ARGB visuals.
    virtual TPlatformStatus CheckLayeredWindows() = 0;
    // Bounding rectangle of all monitors in device pixels (root-window coordinates).
    virtual QRect DesktopBounds() = 0;
    // Monitor rectangles in device pixels.
    virtual QList<QRect> Monitors() = 0;
    // True once the toolkit's connection to the display has broken (the display server went away).
    virtual bool ConnectionLost() { return false; }
    // Asks the window manager to give an unmapped top-level window a fixed border with a title and
    // the window menu, whose only commands are moving and closing it: no resizing, no minimise or
    // maximise box. Window managers that keep their own buttons regardless may still show some.
    virtual void AskForFixedDialogFrame(quintptr window) { (void)window; }
    // Whether a window of the program can be put where it asks to be. X11 window managers honour a
    // position (the thumbnail card flies to one); a Wayland compositor places every window itself,
    // so nothing that has to stand at a given spot on the desktop can be shown there.
    virtual bool CanPlaceWindows() { return true; }
    // The device-pixel rectangle of the monitor the framework names so (QScreen::name); empty when
    // no monitor has that name.
    virtual QRect MonitorNamed(const QString& name) {
        (void)name;
        return {};
    }
};

// One program per user and display. The first start listens; a later start hands its request to it:
// "forward" (come forward), or a request line of the command line's ("capture 0 0", "settings").
class ISingleInstance {
  public:
    virtual ~ISingleInstance() = default;
    // Gives `request` to the copy running for this user and display, if there is one; true once it
    // has taken it. The first thing a start does: it needs no application object and no display.
    virtual bool HandOver(const QByteArray& request) = 0;
    // True when this process is now the first instance. False when another one took `request` (this
    // process should end). A failure to listen still returns true: a start is never refused because
    // the socket could not be made.
    virtual bool BecomeFirstOrHandOver(const QByteArray& request = QByteArrayLiteral("forward")) = 0;
    // Why no copy may start, empty when one may: the place of the user's socket is not safe (another
    // user could listen there), and a copy that can neither find the first one nor be found does not
    // run at all.
    virtual QString Refusal() { return {}; }
    // Called on the GUI thread with each request a later start hands over (one line, no newline).
    virtual void SetRequestHandler(std::function<void(const QByteArray& request)> handler) = 0;
    // The handler of the plain request to come forward only.
    void SetComeForwardHandler(std::function<void()> handler) {
        SetRequestHandler([handler = std::move(handler)](const QByteArray& request) {
            if (request == "forward" && handler) handler();
        });
    }
};

// Per-user folders.
class IFolders {
  public:
    virtual ~IFolders() = default;
    // Absolute folder paths without trailing separator; empty when unknown.
    virtual QString Desktop() = 0;
    virtual QString Documents() = 0;
    virtual QString Temp() = 0;
};

// Start with the desktop session.
class IAutostart {
  public:
    virtual ~IAutostart() = default;
    virtual bool IsEnabled(const QString& programPath) = 0;
    virtual TPlatformStatus SetEnabled(const QString& programPath, bool on) = 0;
};

// Hand-offs to other programs.
class IShell {
  public:
    virtual ~IShell() = default;
    virtual TPlatformStatus OpenUrl(const QString& url) = 0;
    // Opens the file in the user's image editor.
    virtual TPlatformStatus EditFile(const QString& path) = 0;
    // A new e-mail with the files attached, opened in the user's mail program for them to finish;
    // -1 when no mail helper exists, else its exit status. Body and recipient may be empty. The
    // sender is whatever account the mail program uses: the helper offers no way to set it.
    virtual int SendMail(const QString& subject, const QStringList& attachments, const QString& body = {},
                         const QString& recipientAddress = {}, const QString& recipientName = {}) = 0;
    // Adds the file to the desktop's list of recently used files.
    virtual TPlatformStatus AddRecentDocument(const QString& path) = 0;
};

// A frozen picture of the desktop.
struct TGrabbedImage {
    int width = 0, height = 0;
    int stride = 0;              // bytes per row
    std::vector<uint8_t> pixels; // B,G,R,X per pixel, top row first
};

// The pointer's picture, premultiplied B,G,R,A, with its position in root coordinates.
struct TCursorImage {
    QImage image;
    int x = 0, y = 0;       // pointer position
    int hotX = 0, hotY = 0; // hot spot inside the image
};

// Receives a grabbed part: `part` in coordinates relative to the requested rectangle, its pixels
// B,G,R,X rows (X undefined), valid only during the call.
using TGrabSink = std::function<void(const QRect& part, const uint8_t* bgrx, int stride)>;

// Grabbed B,G,R,X rows (X undefined) covering `part`, given relative to the requested rectangle.
struct THeldGrab {
    QRect part;
    uint8_t* bits = nullptr;
    int stride = 0;
    std::vector<uint8_t> own;   // the memory, when the grabber had none to lend
    uint32_t serverSegment = 0; // the X server's name for the memory when it shares it, else 0
};

// What a window shows while the program still paints it: the held rows with a premultiplied colour
// laid over them, and a small opaque picture placed on top.
struct TBackdropPatch {
    QImage image;
    QPoint at; // window pixels
};
struct TBackdrop {
    uint32_t tint = 0;             // A,R,G,B premultiplied; 0 for none
    QList<TBackdropPatch> patches; // put over the tinted rows in order
};

// The grab's rows of a desktop up to this size (one 3840 x 2160 screen, two of 2560 x 1440) stay
// between captures for good: making them again costs a capture after a pause as much as the first
// one, since the fresh pages are filled while the user waits. Larger ones are let go once idle.
inline constexpr size_t GrabRowsKeptForGood = size_t(32) << 20;

class IScreenGrabber {
  public:
    virtual ~IScreenGrabber() = default;
    // Copies the given root-window rectangle (device pixels); what has no screen behind it is black.
    virtual TPlatformStatus Grab(const QRect& rect, TGrabbedImage& out) = 0;
    // The same without a copy in between: the part of the rectangle with screen behind it goes to
    // `sink` straight from where the X server put it. Nothing is handed for the rest.
    virtual TPlatformStatus GrabTo(const QRect& rect, const TGrabSink& sink) = 0;
    // The same, kept where the pixels were put for as long as `out` is held, so that a caller can
    // show them before (or instead of) converting them. The rows are the holder's to write. The base
    // copies through GrabTo into memory of its own.
    virtual TPlatformStatus GrabHeld(const QRect& rect, std::shared_ptr<THeldGrab>& out);
    // Lets go of memory kept for a quick next grab (a held grab keeps its own), except what is kept
    // for good: the rows of a desktop of up to GrabRowsKeptForGood bytes.
    virtual void ReleaseKept() {}
    // Draws the backdrop into a mapped window of the held part's size on the X server's side, from the
    // rows it put in shared memory: the window shows it long before the program could have painted
    // it. False when it cannot (no shared rows, another size or depth, not on screen, no rendering
    // extension); the window is then left as it was.
    virtual bool DrawBackdrop(uintptr_t /*window*/, const THeldGrab& /*held*/,
                              const TBackdrop& /*backdrop*/) {
        return false;
    }
    // Returns once the X server has dealt with every request sent so far.
    virtual void WaitForServer() {}
    virtual TPlatformStatus Cursor(TCursorImage& out) = 0;
    // The display server draws the pointer into the copy itself when asked (a Wayland compositor,
    // which tells neither the pointer's picture nor its place): the caller then asks for it here
    // instead of drawing the pointer from Cursor.
    virtual bool DrawsPointer() const { return false; }
    virtual void IncludePointer(bool on) { (void)on; }
    // The desktop asks the user before it lets the program take its first picture (GNOME's portal
    // shows a permission dialog), which the user may take a while to answer.
    virtual bool AsksPermissionFirst() const { return false; }
    // Called while a grab waits for the desktop (from inside that grab's event loop): the grab ends
    // at once, withdrawn, and the desktop is told to drop the request. Nothing happens otherwise.
    virtual void Withdraw() {}
};

// Grab made from GrabTo, for grabbers that read a whole picture anyway: black where the picture does
// not reach; on failure (or for an empty rectangle, with `emptyReason`) nothing at all, so that no
// black picture can pass for the desktop.
TPlatformStatus GrabThroughSink(IScreenGrabber& grabber, const QRect& rect, TGrabbedImage& out,
                                const QString& emptyReason);

// The window the user was working in.
struct TForegroundWindow {
    bool exists = false;    // a visible, non-desktop window is active
    bool isDesktop = false; // the desktop itself is active
    QString title;          // UTF-8 title
    QRect frame;            // frame rectangle, device pixels
    QString location;       // a file manager's folder, when it publishes one
};

class IActiveWindow {
  public:
    virtual ~IActiveWindow() = default;
    virtual TForegroundWindow Foreground() = 0;
};

// What became of a hot key's registration.
enum class THotKeyGrab {
    Ours,  // the combination fires for us
    Held,  // another program holds it
    Absent // no key of the keyboard produces it (the user cannot press it, nobody holds it)
};

// System-wide hot keys. Keys are Qt key codes, modifiers Qt keyboard modifiers.
class IHotKeys {
  public:
    virtual ~IHotKeys() = default;
    // A registered identifier that is not ours is tried again whenever the keyboard mapping changes,
    // until it is unregistered.
    virtual THotKeyGrab Register(int id, int qtKey, Qt::KeyboardModifiers modifiers) = 0;
    virtual void Unregister(int id) = 0;
    virtual void SetHandler(std::function<void(int id)> handler) = 0;
    // Called on the GUI thread once the registered combinations have been taken again after a change
    // of the keyboard mapping (a layout switch can move a key to another key code), with the
    // identifiers, in ascending order, whose combination another program holds afterwards. Services
    // whose desktop binds the keys later (the portal's) call it as well when the desktop refuses some.
    virtual void SetRemapHandler(std::function<void(const QList<int>& notOurs)> handler) = 0;
    // What the desktop shows for the hot key where it lists the program's shortcuts (the portal's
    // shortcut settings); services that show no such list ignore it.
    virtual void SetDescription(int /*id*/, const QString& /*text*/) {}
    // Who keeps the combinations reported held: nothing where other programs hold them (an X11
    // client grabbed them first); the desktop's name where the desktop or compositor itself keeps
    // every key (a Wayland compositor without a shortcut service), empty when it has no known name.
    virtual std::optional<QString> KeysKeptBy() const { return std::nullopt; }
};

// The parts of a window that show and take input. Without a compositing manager a per-pixel-alpha
// window cannot blend: it shows its transparent pixels black, so it is cut to its opaque pixels.
class IWindowShape {
  public:
    virtual ~IWindowShape() = default;
    // Shows nothing while the window stays mapped (mode switches of layered windows).
    virtual void HideWindowRegion(quintptr window) = 0;
    // Shows the whole window again.
    virtual void RestoreWindowRegion(quintptr window) = 0;
    // Shows only these rectangles (window coordinates, in bands as TDIB::AlphaBands gives them); what
    // the window no longer covers shows the windows below, which the X server has repaint. An empty
    // list shows nothing. Nothing is allocated once a list of this length has been sent.
    virtual void SetVisibleRegion(quintptr window, const std::vector<QRect>& bands) = 0;
    // Only these rectangles (window coordinates) take mouse input; the rest of the window stays
    // painted but lets clicks through to what lies below. An empty list restores the whole window.
    virtual void SetInputRegion(quintptr window, const QList<QRect>& rects) = 0;
    // A compositing manager runs: it blends per-pixel-alpha windows over what lies below. Answered
    // from memory, kept up to date by the X server's notices of the manager's selection.
    virtual bool CompositorActive() = 0;
    // Called on the GUI thread when a compositing manager starts or stops (the one handler).
    virtual void SetCompositorHandler(std::function<void(bool active)> handler) = 0;
};

// What the desktop offers for telling the user something outside the program's windows.
struct TDesktopOffers {
    bool tray = false;           // a tray host docks icons (an XEmbed tray or a StatusNotifierItem host)
    bool statusNotifier = false; // a StatusNotifierItem host is registered: Qt's icon is an item then
    bool notifications = false;  // a notification service answers (or the bus starts one on demand)
    bool operator==(const TDesktopOffers&) const = default;
};

// A desktop notification: the same title and text a tray balloon would show.
struct TDesktopNotice {
    QString appName, iconName, desktopEntry; // the program as the desktop lists it
    QString title, text;
    int timeoutMs = -1; // -1: the notification service's own
};

class IDesktopOffers {
  public:
    virtual ~IDesktopOffers() = default;
    // Answered from memory where the implementation follows the desktop's notices (the bus's names
    // and signals), asked again otherwise: cheap enough to ask whenever the answer is needed.
    virtual TDesktopOffers Offers() = 0;
    // Called on the GUI thread when what Offers answers changes (a panel with its tray starts late,
    // or ends); the one handler.
    virtual void SetOffersHandler(std::function<void(const TDesktopOffers&)> handler) = 0;
    // Shows the notice through the desktop's notification service, without waiting for it: `done`
    // (optional) hears on the GUI thread whether the service took it.
    virtual void Notify(const TDesktopNotice& notice,
                        std::function<void(const TPlatformStatus&)> done = {}) = 0;
};

// What a platform can do that some desktops cannot.
enum class TCapability {
    WindowCapture, // it knows the active window (a Wayland compositor other than sway does not)
    GlobalKeys,    // system-wide hot keys can be asked for
    PlaceWindows,  // a window stands where the program puts it (not under Wayland)
    Tray           // a tray host docks the icon now
};

struct TPlatform {
    QString name; // "x11", "wayland" or "fake"
    bool Can(TCapability what) const;
    std::unique_ptr<IDisplayService> display;
    std::unique_ptr<ISingleInstance> instance;
    std::unique_ptr<IFolders> folders;
    std::unique_ptr<IAutostart> autostart;
    std::unique_ptr<IShell> shell;
    std::unique_ptr<IScreenGrabber> grabber;
    std::unique_ptr<IActiveWindow> activeWindow;
    std::unique_ptr<IHotKeys> hotKeys;
    std::unique_ptr<IWindowShape> windowShape;
    std::unique_ptr<IDesktopOffers> offers;
};

// The services in use. Loaded on first call: VEXMOR_PLATFORM=fake selects the fake; a Wayland session
// (WAYLAND_DISPLAY set, unless QT_QPA_PLATFORM asks for xcb) the Wayland implementation; anything else
// the X11 one.
TPlatform& Platform();
// Settles the services for showing windows, before the toolkit starts: a Wayland session runs on the
// toolkit's Wayland platform unless one is forced (QT_QPA_PLATFORM=xcb runs the X11 services through
// the compositor's X server); where the compositor does not answer and an X display is there, the X11
// services serve instead. Returns whether the display chosen shows windows with per-pixel alpha.
TPlatformStatus ChooseDisplayPlatform();
// Replaces the services in use (tests); returns the previous set. A set without an active window or
// hot keys gets services that do nothing in their place (Can answers false for them); every other
// service must be there.
std::unique_ptr<TPlatform> SetPlatform(std::unique_ptr<TPlatform> platform);

std::unique_ptr<TPlatform> MakeX11Platform();
std::unique_ptr<TPlatform> MakeWaylandPlatform();
