#include "PinBoard.h"

#include "Platform.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

#include <algorithm>

TPinBoard::TPinBoard(TWiring wiring) : wiring_(std::move(wiring)) {}

TPinBoard::~TPinBoard() {
    CloseAll();
}

TPinnedCapture PinnedPicture(const TDIB& picture, const QRect& desktopRect) {
    TPinnedCapture c;
    c.desktopRect = desktopRect;
    if (picture.Empty()) return c;
    const QRect all(0, 0, picture.Width(), picture.Height());
    c.captureImage.SetSize(all.width(), all.height(), 32);
    picture.DrawTo(c.captureImage, 0, 0, all);
    c.flatImage.SetSize(all.width(), all.height(), 24);
    c.flatImage.FillRect(all, 0xFFFFFFFFu, 256);
    c.captureImage.AlphaDraw(c.flatImage, 0, 0, all);
    return c;
}

TPinWindow* TPinBoard::Pin(const TPinnedCapture& capture) {
    if (capture.flatImage.Empty()) return nullptr;
    auto* pin = new TPinWindow(capture, this, Platform().Can(TCapability::PlaceWindows));
    pins_.push_back(pin);
    pin->Open();
    return pin;
}

void TPinBoard::CloseAll() {
    // Each pin's destructor takes it off the list.
    while (!pins_.empty())
        delete pins_.back();
}

void TPinBoard::PinClosed(TPinWindow* pin) {
    std::erase(pins_, pin);
}

void TPinBoard::PopupPinMenu(TPinWindow* pin, const QPoint& globalPos) {
    // Not the pin's child: the pin may go while the menu is open.
    QMenu menu;
    menu.setObjectName(QStringLiteral("PinMenu"));
    QAction* copy = menu.addAction(tr("复制(&C)"));
    QAction* saveAs = menu.addAction(tr("保存为(&S)..."));
    QAction* open = menu.addAction(tr("在主窗口中打开(&O)"));
    menu.addSeparator();
    QAction* close = menu.addAction(tr("关闭(&L)"));
    QPointer<TPinWindow> alive(pin);
    QAction* chosen = menu.exec(globalPos);
    if (!chosen || !alive) return;
    // The commands work on a copy: the pin may close meanwhile (a dialog's event loop runs).
    const TPinnedCapture capture = pin->Capture();
    if (chosen == copy && wiring_.copy) wiring_.copy(capture);
    if (chosen == saveAs && wiring_.saveAs) wiring_.saveAs(capture, pin);
    if (chosen == open && wiring_.open) wiring_.open(capture);
    if (chosen == close) pin->close();
}
