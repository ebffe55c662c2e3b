// What several benchmarks share: one widget application for the whole run, and a capture owner that
// takes nothing.
#pragma once

#include "CaptureOwner.h"

#include <QApplication>

#include <cstdlib>

// The widget application, made on first use, offscreen unless the caller chose a platform; false when
// another benchmark already made an application object without widgets.
inline bool EnsureWidgetApplication() {
    static int argc = 1;
    static char name[] = "vexmor_bench";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        new QApplication(argc, argv);
    }
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

class TNullCaptureOwner : public ICaptureOwner {
  public:
    bool CaptureCursorSetting() const override { return false; }
    bool AutoTitleSetting() const override { return false; }
    bool CaptureHeld() const override { return false; }
    void DiscardCapture() override {}
    void SetCaptureTexts(const QString&, const QString&) override {}
    void HideForCapture() override {}
    void StoreCapture(const TDIB&, const TDIB&, const TDIB&, QPointF, const QRect&) override {}
    void CaptureFinished() override {}
    void PinCapture() override {}
    void TextCaptured(const TDIB&, const TDIB&, const TDIB&, QPointF, const QRect&) override {}
};
