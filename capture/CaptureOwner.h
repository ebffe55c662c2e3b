// What the capture needs from the window that starts it and receives the finished capture.
//
// The capture folder sits below the application: the main window implements this interface, and the
// overlay talks to it only through here (tests use a fake owner).
#pragma once

#include "DIBmp.h"

#include <QPointF>
#include <QRect>
#include <QString>

class ICaptureOwner {
  public:
    virtual ~ICaptureOwner() = default;

    // Settings read at the start of a capture: "捕获鼠标指针" and "自动设置文件名和注释".
    virtual bool CaptureCursorSetting() const = 0;
    virtual bool AutoTitleSetting() const = 0;

    // True while the owner still holds a finished capture; confirming then does nothing.
    virtual bool CaptureHeld() const = 0;
    // Frees any previous capture before a new one starts.
    virtual void DiscardCapture() = 0;
    // The automatic file name and comment (both empty when the setting is off).
    virtual void SetCaptureTexts(const QString& title, const QString& comment) = 0;
    // The owner leaves the screen while the overlay is open.
    virtual void HideForCapture() = 0;

    // Hands over the three finished images, the thumbnail's starting point and where the capture lies
    // on the desktop (device pixels of the desktop), then runs the after-capture handling, or pins
    // the capture to the screen instead.
    virtual void StoreCapture(const TDIB& captureImage, const TDIB& flatImage, const TDIB& previewImage,
                              QPointF previewOrigin, const QRect& desktopRect) = 0;
    virtual void CaptureFinished() = 0;
    virtual void PinCapture() = 0;
    // A capture confirmed for its text: the same three images and places, handed over for recognition
    // instead of being kept as the current capture (which stays as it was).
    virtual void TextCaptured(const TDIB& captureImage, const TDIB& flatImage, const TDIB& previewImage,
                              QPointF previewOrigin, const QRect& desktopRect) = 0;
};
