// Freezing the desktop: every monitor at once into one 24-bit image whose (0, 0) is the top-left corner
// of the virtual desktop, in device pixels.
#pragma once

#include "CaptureMode.h"
#include "DIBmp.h"

#include <QRect>
#include <QString>

#include <memory>

struct THeldGrab;

struct TDesktopGrab {
    QRect desktopBounds; // the virtual desktop, root-window device pixels
    TDIB image;          // 24-bit, desktopBounds' size
    QRect grabbedRect;   // the part of the image that holds screen content
    // While set, `image` is still to be filled from these rows (the whole image, 32 bits a pixel,
    // the pointer already drawn in): see FillDesktopImage.
    std::shared_ptr<THeldGrab> rows;
    // Why nothing could be read from the screen (the display server refused or failed the copy);
    // empty when the grab worked.
    QString failure;
    // The user asked for another capture while the desktop still had this one waiting (on its
    // permission dialog): nothing was read, and there is nothing to tell.
    bool withdrawn = false;

    bool Pending() const { return bool(rows); }
};

// The whole desktop, or in window mode only the active window's frame (clipped to the desktop), black
// elsewhere, or the whole desktop when no visible window is active. The pointer is drawn in at its place
// when withCursor is set, never for the magnifier. An empty image when there is no desktop.
//
// With `keepRows`, a grab of the whole desktop in one piece is handed over as the grabbed rows
// (Pending) and the 24-bit image is only allocated: the overlay shows the rows at once and fills the
// image on its worker. Any other grab is filled at once.
TDesktopGrab GrabDesktop(TCaptureMode mode, bool withCursor, bool keepRows = false);
// True while GrabDesktop waits for the desktop (events are handled meanwhile).
bool GrabbingDesktop();

// Fills the image of a pending grab from its rows; the rows stay, for the owner to let go once the
// fill is known to be done. May run on another thread while the rows are read elsewhere; nothing else
// may touch the image's pixels meanwhile.
void FillDesktopImage(TDesktopGrab& grab);

// The automatic file name and comment: the active window's title (empty for the desktop itself) and,
// for a file manager showing a folder, that folder.
void GetForegroundTitle(QString& title, QString& comment);
