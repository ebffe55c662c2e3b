// The captures pinned to the screen: every pin window the program has open, each with a capture of
// its own, and the menu of a pin (copy, save as, open in the main window, close). The pins outlive
// the capture they were made from and close with the program.
#pragma once

#include "PinWindow.h"

#include <QCoreApplication>

#include <functional>
#include <vector>

class QWidget;

// A kept picture (32-bit premultiplied or 24-bit) as a capture to pin: a transparent one shows over
// white.
TPinnedCapture PinnedPicture(const TDIB& picture, const QRect& desktopRect);

class TPinBoard : public IPinOwner {
    Q_DECLARE_TR_FUNCTIONS(TPinBoard)

  public:
    // What a pin's menu asks of the main window.
    struct TWiring {
        std::function<void(const TPinnedCapture&)> copy;                    // the picture on the clipboard
        std::function<void(const TPinnedCapture&, QWidget* parent)> saveAs; // the picture save dialog
        std::function<void(const TPinnedCapture&)> open; // the main window with it as the current capture
    };

    explicit TPinBoard(TWiring wiring);
    ~TPinBoard() override;
    TPinBoard(const TPinBoard&) = delete;
    TPinBoard& operator=(const TPinBoard&) = delete;

    // Opens a pin of the capture: over its place where windows can be placed, else as a normal
    // window of its size.
    TPinWindow* Pin(const TPinnedCapture& capture);
    const std::vector<TPinWindow*>& Pins() const { return pins_; }
    // Closes every pin at once.
    void CloseAll();

    void PopupPinMenu(TPinWindow* pin, const QPoint& globalPos) override;
    void PinClosed(TPinWindow* pin) override;

  private:
    TWiring wiring_;
    std::vector<TPinWindow*> pins_;
};
