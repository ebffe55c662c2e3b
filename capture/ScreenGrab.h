// Freezing the desktop: every monitor at once into one 24-bit image whose (0, 0) is the top-left corner
// of the virtual desktop, in device pixels.
#pragma once

#include "DIBmp.h"

#include <QRect>
#include <QString>

struct TDesktopGrab {
    QRect desktopBounds;  // the virtual desktop, root-window device pixels
    TDIB image;           // 24-bit, desktopBounds' size
    QRect grabbedRect;    // the part of the image that holds screen content
};

// Mode 0 and 2: the whole desktop; mode 1: only the active window's frame (clipped to the desktop),
// black elsewhere, or the whole desktop when no visible window is active. The pointer is drawn in at
// its place when withCursor is set, never in mode 2. An empty image when there is no desktop.
TDesktopGrab GrabDesktop(int mode, bool withCursor);

// The automatic file name and comment: the active window's title (empty for the desktop itself) and,
// for a file manager showing a folder, that folder.
void GetForegroundTitle(QString& title, QString& comment);
