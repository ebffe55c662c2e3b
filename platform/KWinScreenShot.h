// The grab through KWin's own screenshot interface (org.kde.KWin.ScreenShot2), for KDE Plasma on
// Wayland: the whole workspace in one picture through a pipe, without the portal's file and its
// round trips. KWin answers only programs whose installed desktop entry names the interface in
// X-KDE-DBUS-Restricted-Interfaces with the program's own executable as its Exec (the package's does);
// where it refuses, or is not there, every grab from then on goes through the fallback (the desktop
// portal), which is made when first needed.
//
// The picture's top-left pixel is the top-left of the desktop bounds and a rectangle is mapped onto
// it pixel for pixel, as the portal's grab does.
#pragma once

#include "Platform.h"

#include <QDBusConnection>
#include <QImage>

#include <functional>
#include <memory>

namespace KWinScreenShotText {
QString Failed(const QString& why);
QString BadPicture();
QString NoBus();
QString NoCursor();
} // namespace KWinScreenShotText

// What KWin's reply says of the picture it writes, checked before a byte is read: the sizes are another
// process's word. Null when they do not describe a picture this program can read.
struct TKWinPictureLayout {
    int width = 0, height = 0, stride = 0;
    QImage::Format format = QImage::Format_Invalid;
    qsizetype Bytes() const { return qsizetype(stride) * height; }
};
TKWinPictureLayout KWinPictureLayout(const QVariantMap& results);

class TKWinScreenGrabber : public IScreenGrabber {
  public:
    static constexpr int kDefaultTimeoutMs = 5000;
    // `fallback` makes the grabber used once KWin refuses (null when there is none); `desktopBounds`
    // gives the desktop's rectangle in device pixels at each grab. The call and the reading of the
    // pipe wait at most `timeoutMs` each.
    TKWinScreenGrabber(QDBusConnection bus, std::function<QRect()> desktopBounds,
                       std::function<std::unique_ptr<IScreenGrabber>()> fallback,
                       int timeoutMs = kDefaultTimeoutMs);

    TPlatformStatus Grab(const QRect& rect, TGrabbedImage& out) override;
    TPlatformStatus GrabTo(const QRect& rect, const TGrabSink& sink) override;
    TPlatformStatus Cursor(TCursorImage& out) override;
    void Withdraw() override {
        if (fallback_) fallback_->Withdraw();
    }
    // KWin draws the pointer into its picture when asked, as the portal (the usual fallback) does.
    bool DrawsPointer() const override { return !fellBack_ || !fallback_ || fallback_->DrawsPointer(); }
    void IncludePointer(bool on) override {
        pointer_ = on;
        if (fallback_) fallback_->IncludePointer(on);
    }

    // KWin's whole picture in Format_RGB32, or the reason there is none. `refused` is set when KWin
    // will not serve this program (not authorised, no such interface): no later call can succeed.
    TPlatformStatus Shoot(QImage& picture, bool& refused);
    // True once grabs go through the fallback.
    bool FellBack() const { return fellBack_; }

  private:
    IScreenGrabber* Fallback();

    QDBusConnection bus_;
    std::function<QRect()> desktopBounds_;
    std::function<std::unique_ptr<IScreenGrabber>()> makeFallback_;
    std::unique_ptr<IScreenGrabber> fallback_;
    bool fellBack_ = false;
    bool pointer_ = false;
    int timeoutMs_;
};
