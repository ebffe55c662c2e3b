#include "ScreenGrab.h"

#include "DibOps.h"
#include "Platform.h"

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

TDesktopGrab GrabDesktop(TCaptureMode mode, bool withCursor, bool keepRows) {
    TDesktopGrab g;
    TPlatform& platform = Platform();
    if (platform.display) g.desktopBounds = platform.display->DesktopBounds();
    if (g.desktopBounds.isEmpty()) return g;
    const int w = g.desktopBounds.width(), h = g.desktopBounds.height();
    const QPoint origin = g.desktopBounds.topLeft();
    g.image.SetSize(w, h, 24);
    const QRect image(0, 0, w, h);
    g.grabbedRect = image;
    const bool pointer = withCursor && mode != TCaptureMode::Magnifier;

    if (mode == TCaptureMode::Window) {
        if (platform.activeWindow) {
            const TForegroundWindow fg = platform.activeWindow->Foreground();
            // A window wholly off the desktop counts as none: the capture would have no pixels.
            const QRect inside = fg.frame.translated(-origin) & image;
            if (fg.exists && !inside.isEmpty()) g.grabbedRect = inside;
        }
    }

    if (keepRows && platform.grabber) {
        std::shared_ptr<THeldGrab> held;
        if (platform.grabber->GrabHeld(g.desktopBounds, held).ok && held && held->part == image) {
            // The rows are ours: what lies around an active window is blacked out in them (a few
            // milliseconds in memory the server has just written, where filling the fresh picture
            // would take longer), and the pointer goes straight into them.
            const DibOps::View rows = RowsView(*held, w, h);
            if (g.grabbedRect != image) {
                const QRect r = g.grabbedRect;
                DibOps::FillSet(rows, QRect(0, 0, w, r.top()), 0xFF000000u);
                DibOps::FillSet(rows, QRect(0, r.bottom() + 1, w, h - r.bottom() - 1), 0xFF000000u);
                DibOps::FillSet(rows, QRect(0, r.top(), r.left(), r.height()), 0xFF000000u);
                DibOps::FillSet(rows, QRect(r.right() + 1, r.top(), w - r.right() - 1, r.height()),
                                0xFF000000u);
            }
            if (pointer) DrawPointer(rows, origin);
            g.rows = std::move(held);
            return g;
        }
        // Less than the whole desktop had screen behind it: filled below, black around.
    }
    if (g.grabbedRect != image) g.image.FillRect(image, 0xFF000000u, 256);

    // The grabbed rows go straight from the X server's buffer into the 24-bit picture.
    const int left = g.grabbedRect.left(), top = g.grabbedRect.top();
    const bool ok =
        platform.grabber &&
        platform.grabber
            ->GrabTo(g.grabbedRect.translated(origin),
                     [&](const QRect& part, const uint8_t* bgrx, int stride) {
                         const DibOps::ConstView src{bgrx, stride, part.width(), part.height(), 4};
                         DibOps::Copy32To24(src, QRect(0, 0, part.width(), part.height()), g.image.View(),
                                            left + part.x(), top + part.y());
                     })
            .ok;
    if (!ok) {
        // Nothing could be read: the frozen picture is black rather than uninitialised memory.
        g.image.FillRect(g.grabbedRect, 0xFF000000u, 256);
    }

    if (pointer) DrawPointer(g.image.View(), origin);
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
    TPlatform& platform = Platform();
    if (!platform.activeWindow) return;
    const TForegroundWindow fg = platform.activeWindow->Foreground();
    if (!fg.exists || fg.isDesktop) return;
    title = fg.title;
    comment = fg.location;
}
