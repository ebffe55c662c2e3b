// The grab through the desktop portal's Screenshot interface, for Wayland compositors that offer no
// screen-copy protocol to clients (GNOME, KDE). Each grab asks the portal for a picture of the whole
// desktop without a dialog, waits for it, reads the file the portal names and removes it. GNOME's
// portal asks the user first (once: "Allow" is stored), so once the portal has taken a request its
// answer is waited for as long as a user may take to read the dialog; the wait ends sooner when the
// portal leaves the bus or the user asks for another capture (Withdraw).
// The user's pictures folder is made first when it is missing (KDE's portal saves there and refuses
// without it).
//
// The picture's top-left pixel is the top-left of the desktop bounds given at construction, and a
// rectangle is mapped onto it pixel for pixel: on outputs with a scale the portal's picture may be
// larger or smaller than the desktop in device pixels, and it is not scaled to fit; what the
// rectangle covers beyond the picture is black.
#pragma once

#include "Platform.h"
#include "PortalRequest.h"

#include <QDBusConnection>

#include <functional>
#include <optional>
#include <memory>

// The reasons a portal grab fails with, as the user reads them, in the interface language.
namespace PortalScreenshotText {
QString Refused();
QString Cancelled();
QString TimedOut();
QString Vanished();
QString NoPortal();
QString NotLocalFile();
QString Unreadable();
QString NoCursor();
QString EmptyRect();
QString NoPicturesFolder(const QString& folder);
} // namespace PortalScreenshotText

class TPortalScreenGrabber : public IScreenGrabber {
  public:
    static constexpr int kDefaultTimeoutMs = 10000;
    static constexpr int kDefaultAnswerTimeoutMs = 120000;
    // `desktopBounds` gives the desktop's rectangle in device pixels at each grab. While a grab waits
    // for the portal a local event loop runs that takes no user input: at most `timeoutMs` for the
    // portal to take the request, then at most `answerTimeoutMs` for its answer. `asksPermission`:
    // the desktop asks the user before the first picture.
    TPortalScreenGrabber(QDBusConnection bus, std::function<QRect()> desktopBounds,
                         int timeoutMs = kDefaultTimeoutMs, int answerTimeoutMs = kDefaultAnswerTimeoutMs,
                         bool asksPermission = false);

    TPlatformStatus Grab(const QRect& rect, TGrabbedImage& out) override;
    TPlatformStatus GrabTo(const QRect& rect, const TGrabSink& sink) override;
    // The portal gives no picture of the pointer.
    TPlatformStatus Cursor(TCursorImage& out) override;
    bool AsksPermissionFirst() const override { return asksPermission_; }
    void Withdraw() override;

    // The portal's whole picture in Format_RGB32, or the reason there is none. The file it was
    // written to is removed when the portal wrote it for this request: a regular file of this user's,
    // not a link, modified since the request went out. Any other file is only read.
    TPlatformStatus Shoot(QImage& picture);
    // One request and its answer; false when withdrawn or unanswered in time.
    bool Ask(std::optional<TPortalAnswer>& answer, bool& withdrawn);

    // True when the portal on `bus` offers the Screenshot interface; asks for at most `timeoutMs`.
    static bool PortalOffersScreenshot(QDBusConnection bus, int timeoutMs = 2000);

  private:
    QDBusConnection bus_;
    std::function<QRect()> desktopBounds_;
    int timeoutMs_, answerTimeoutMs_;
    bool asksPermission_;
    std::function<void()> withdraw_; // while a grab waits
};

// Waits long for an answer only where the desktop asks the user (`asksPermission`).
std::unique_ptr<IScreenGrabber> MakePortalScreenGrabber(QDBusConnection bus,
                                                        std::function<QRect()> desktopBounds,
                                                        bool asksPermission = false);
