#include "ScreenGrab.h"

#include "DibOps.h"
#include "Platform.h"

TDesktopGrab GrabDesktop(int mode, bool withCursor)
{
    TDesktopGrab g;
    TPlatform& platform = Platform();
    if (platform.display) g.desktopBounds = platform.display->DesktopBounds();
    if (g.desktopBounds.isEmpty()) return g;
    const int w = g.desktopBounds.width(), h = g.desktopBounds.height();
    const QPoint origin = g.desktopBounds.topLeft();
    g.image.SetSize(w, h, 24);
    const QRect image(0, 0, w, h);
    g.grabbedRect = image;

    if (mode == 1) {
        if (platform.activeWindow) {
            const TForegroundWindow fg = platform.activeWindow->Foreground();
            // A window wholly off the desktop counts as none: the capture would have no pixels.
            const QRect inside = fg.frame.translated(-origin) & image;
            if (fg.exists && !inside.isEmpty()) g.grabbedRect = inside;
        }
        if (g.grabbedRect != image) g.image.FillRect(image, 0xFF000000u, 256);
    }

    // The grabbed rows go straight from the X server's buffer into the 24-bit picture.
    const int left = g.grabbedRect.left(), top = g.grabbedRect.top();
    const bool ok = platform.grabber &&
                    platform.grabber
                        ->GrabTo(g.grabbedRect.translated(origin),
                                 [&](const QRect& part, const uint8_t* bgrx, int stride) {
                                     // The view type is for writing too; this one is only read.
                                     DibOps::View src{const_cast<uint8_t*>(bgrx), stride, part.width(), part.height(), 4};
                                     DibOps::View dst{g.image.Bits(), g.image.BytesPerRow(), w, h, 3};
                                     DibOps::Copy32To24(src, QRect(0, 0, part.width(), part.height()), dst,
                                                        left + part.x(), top + part.y());
                                 })
                        .ok;
    if (!ok) {
        // Nothing could be read: the frozen picture is black rather than uninitialised memory.
        g.image.FillRect(g.grabbedRect, 0xFF000000u, 256);
    }

    if (withCursor && mode != 2 && platform.grabber) {
        TCursorImage cursor;
        if (platform.grabber->Cursor(cursor).ok && !cursor.image.isNull()) {
            TDIB picture = TDIB::FromQImage(cursor.image, 32);
            picture.AlphaDraw(g.image, cursor.x - cursor.hotX - origin.x(), cursor.y - cursor.hotY - origin.y(),
                              QRect(0, 0, picture.Width(), picture.Height()), 255);
        }
    }
    return g;
}

void GetForegroundTitle(QString& title, QString& comment)
{
    title.clear();
    comment.clear();
    TPlatform& platform = Platform();
    if (!platform.activeWindow) return;
    const TForegroundWindow fg = platform.activeWindow->Foreground();
    if (!fg.exists || fg.isDesktop) return;
    title = fg.title;
    comment = fg.location;
}
