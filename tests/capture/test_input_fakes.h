// Shared helpers of the capture overlay tests: a recording owner and a patterned desktop.
#pragma once

#include "CaptureOwner.h"
#include "DIBmp.h"
#include "Input.h"
#include "ScreenGrab.h"

#include <QCoreApplication>
#include <QEvent>
#include <QStringList>

class TFakeCaptureOwner : public ICaptureOwner {
  public:
    bool cursorSetting = false, autoTitle = true, held = false;
    int discards = 0, hides = 0, stores = 0, finishes = 0, pins = 0, texts = 0;
    QString title = QStringLiteral("unset"), comment = QStringLiteral("unset");
    TDIB capture, flat, preview;
    QPointF origin;
    QRect desktopRect;

    bool CaptureCursorSetting() const override { return cursorSetting; }
    bool AutoTitleSetting() const override { return autoTitle; }
    bool CaptureHeld() const override { return held; }
    void DiscardCapture() override { ++discards; }
    void SetCaptureTexts(const QString& t, const QString& c) override { title = t, comment = c; }
    void HideForCapture() override { ++hides; }
    void StoreCapture(const TDIB& c, const TDIB& f, const TDIB& p, QPointF o, const QRect& r) override {
        ++stores;
        desktopRect = r;
        capture = c;
        flat = f;
        preview = p;
        origin = o;
    }
    void CaptureFinished() override { ++finishes; }
    void PinCapture() override { ++pins; }
    void TextCaptured(const TDIB& c, const TDIB&, const TDIB&, QPointF, const QRect& r) override {
        ++texts;
        capture = c;
        desktopRect = r;
    }
};

// Pixel (x, y) of the pattern: blue x, green y, red x + y (each modulo 256).
inline uint32_t PatternPixel(int x, int y) {
    return 0xFF000000u | uint32_t((x + y) & 255) << 16 | uint32_t(y & 255) << 8 | uint32_t(x & 255);
}

inline TDIB PatternDesktop(int w, int h) {
    TDIB d(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = d.PixelPtr(x, y);
            const uint32_t c = PatternPixel(x, y);
            p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
        }
    return d;
}

inline TDesktopGrab PatternGrab(int w, int h, QPoint origin = {0, 0}) {
    TDesktopGrab g;
    g.desktopBounds = QRect(origin, QSize(w, h));
    g.image = PatternDesktop(w, h);
    g.grabbedRect = QRect(0, 0, w, h);
    return g;
}

// The overlay's pointer becomes the test's own `cursor` (the real one is wherever earlier tests left it).
inline void GiveOwnPointer(TInputForm& form, QPoint& cursor) {
    form.GetCursorPos = [&cursor](QPoint& p) {
        p = cursor;
        return true;
    };
    form.SetCursorPos = [&cursor](const QPoint& p) { cursor = p; };
    form.PointerPos = [&cursor](QPoint& p) {
        p = cursor;
        return true;
    };
}

// Runs deferred deletions so that a closed overlay is really gone.
inline void FlushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
