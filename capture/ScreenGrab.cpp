#include "ScreenGrab.h"

#include "DibOps.h"
#include "Platform.h"

#include <QCoreApplication>
#include <QScopedValueRollback>

namespace {

DibOps::View RowsView(const THeldGrab& held, int w, int h) {
    return DibOps::View{held.bits, held.stride, w, h, 4};
}

// The pointer's picture drawn over the frozen picture (24 bits, or the grabbed 32-bit rows, which
// come out the same once narrowed: the blend works per colour channel).
void DrawPointer(const DibOps::View& target, const QPoint& origin) {
    TPlatform& platform = Platform();
    TCursorImage cursor;
    if (!platform.grabber || !platform.grabber->Cursor(cursor).ok || cursor.image.isNull()) return;
    TDIB picture = TDIB::FromQImage(cursor.image, 32);
    const QRect targetRect(0, 0, target.width, target.height);
    const QRect placed(cursor.x - cursor.hotX - origin.x(), cursor.y - cursor.hotY - origin.y(),
                       picture.Width(), picture.Height());
    const QRect part = placed & targetRect;
    if (part.isEmpty()) return;
    DibOps::AlphaBlend(picture.ConstView(), part.translated(-placed.topLeft()), target, part.left(),
                       part.top(), 255, true);
}

} // namespace

namespace {

// The active window's frame on the desktop image; the whole image when there is none on it (a window
// wholly off the desktop counts as none: the capture would have no pixels).
QRect ActiveWindowPart(const QPoint& origin, const QRect& image) {
    const TForegroundWindow fg = Platform().activeWindow->Foreground();
    const QRect inside = fg.frame.translated(-origin) & image;
    return fg.exists && !inside.isEmpty() ? inside : image;
}

// The whole desktop in one grab. Rows that cover the whole desktop in one piece are handed over as
// they are: what lies around an active window is blacked out in them (a few milliseconds in memory
// the server has just written, where filling the fresh picture would take longer), and the pointer
// goes straight into them. Any other outcome goes into the picture at once: the grabbed part of what
// the grab gave, black where it gave nothing, all black with the reason when it failed. The screen
// is never read a second time for the same capture: a desktop portal would be asked twice, and its
// refusal or silence waited for twice.
void GrabWithRows(TDesktopGrab& g, bool pointer) {
    TPlatform& platform = Platform();
    const int w = g.image.Width(), h = g.image.Height();
    const QRect image(0, 0, w, h);
    std::shared_ptr<THeldGrab> held;
    const TPlatformStatus status = platform.grabber->GrabHeld(g.desktopBounds, held);
    if (status && held && held->part == image) {
        const DibOps::View rows = RowsView(*held, w, h);
        if (g.grabbedRect != image) {
            const QRect r = g.grabbedRect;
            DibOps::FillSet(rows, QRect(0, 0, w, r.top()), 0xFF000000u);
            DibOps::FillSet(rows, QRect(0, r.bottom() + 1, w, h - r.bottom() - 1), 0xFF000000u);
            DibOps::FillSet(rows, QRect(0, r.top(), r.left(), r.height()), 0xFF000000u);
            DibOps::FillSet(rows, QRect(r.right() + 1, r.top(), w - r.right() - 1, r.height()), 0xFF000000u);
        }
        if (pointer && !platform.grabber->DrawsPointer()) DrawPointer(rows, g.desktopBounds.topLeft());
        g.rows = std::move(held);
        return;
    }
    g.image.FillRect(image, 0xFF000000u, 256);
    if (!status) {
        g.failure = status.reason;
        g.withdrawn = status.withdrawn;
    } else if (held) {
        // The held rows start at their part's own top-left corner.
        const QRect part = held->part & g.grabbedRect;
        const DibOps::ConstView from{held->bits, held->stride, held->part.width(), held->part.height(), 4};
        if (!part.isEmpty())
            DibOps::Copy32To24(from, part.translated(-held->part.topLeft()), g.image.View(), part.left(),
                               part.top());
    }
    if (pointer && !platform.grabber->DrawsPointer()) DrawPointer(g.image.View(), g.desktopBounds.topLeft());
}

// The grabbed part straight from the X server's buffer into the 24-bit picture, black around it (and
// black where nothing could be read, rather than uninitialised memory).
void GrabIntoPicture(TDesktopGrab& g, bool pointer) {
    TPlatform& platform = Platform();
    const QRect image(0, 0, g.image.Width(), g.image.Height());
    if (g.grabbedRect != image) g.image.FillRect(image, 0xFF000000u, 256);
    const int left = g.grabbedRect.left(), top = g.grabbedRect.top();
    const auto copy = [&](const QRect& part, const uint8_t* bgrx, int stride) {
        const DibOps::ConstView src{bgrx, stride, part.width(), part.height(), 4};
        DibOps::Copy32To24(src, QRect(0, 0, part.width(), part.height()), g.image.View(), left + part.x(),
                           top + part.y());
    };
    const TPlatformStatus status =
        platform.grabber
            ? platform.grabber->GrabTo(g.grabbedRect.translated(g.desktopBounds.topLeft()), copy)
            : TPlatformStatus::Fail(QCoreApplication::translate("ScreenGrab", "此桌面不提供截取屏幕的方法"));
    g.failure = status ? QString() : status.reason;
    g.withdrawn = status.withdrawn;
    if (!status) g.image.FillRect(g.grabbedRect, 0xFF000000u, 256);
    if (pointer && !(platform.grabber && platform.grabber->DrawsPointer()))
        DrawPointer(g.image.View(), g.desktopBounds.topLeft());
}

} // namespace

namespace {
bool grabbing = false;
}

bool GrabbingDesktop() {
    return grabbing;
}

TDesktopGrab GrabDesktop(TCaptureMode mode, bool withCursor, bool keepRows) {
    TDesktopGrab g;
    const QScopedValueRollback busy(grabbing, true);
    g.desktopBounds = Platform().display->DesktopBounds();
    if (g.desktopBounds.isEmpty()) return g;
    g.image.SetSize(g.desktopBounds.width(), g.desktopBounds.height(), 24);
    const QRect image(0, 0, g.image.Width(), g.image.Height());
    g.grabbedRect = mode == TCaptureMode::Window ? ActiveWindowPart(g.desktopBounds.topLeft(), image) : image;
    const bool pointer = withCursor && mode != TCaptureMode::Magnifier;
    if (IScreenGrabber& grabber = *Platform().grabber; grabber.DrawsPointer())
        grabber.IncludePointer(pointer);
    if (keepRows)
        GrabWithRows(g, pointer);
    else
        GrabIntoPicture(g, pointer);
    return g;
}

void FillDesktopImage(TDesktopGrab& grab) {
    if (!grab.rows) return;
    const int w = grab.image.Width(), h = grab.image.Height();
    DibOps::Copy32To24(RowsView(*grab.rows, w, h), QRect(0, 0, w, h), grab.image.View(), 0, 0);
}

void GetForegroundTitle(QString& title, QString& comment) {
    title.clear();
    comment.clear();
    const TForegroundWindow fg = Platform().activeWindow->Foreground();
    if (!fg.exists || fg.isDesktop) return;
    title = fg.title;
    comment = fg.location;
}
