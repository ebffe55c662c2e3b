// The pictures the main window carries as resources of its own: the menus' icon strip, the tray
// icon and the about tab's logo.
#pragma once

#include "DIBmp.h"

#include <QIcon>
#include <QImage>
#include <QString>

// A PNG of the window's resources, read by the built-in reader alone: left to guess, Qt loads every
// image plugin (and the SVG library behind one) to ask each whether it knows the file.
QImage ResourcePng(const QString& path);

// The strip of menu icons, one cell each.
class TMenuIcons {
  public:
    enum TCell { icCapture, icIn5s, icIn30s, icSettings, icExit, icSave, icMail, icEdit, icClipboard };

    // Reads the strip (the resources must be registered first).
    void Load();
    // The icon of a cell; none for -1 or while the strip is missing.
    QIcon Icon(int cell) const;

  private:
    TDIBmp strip_;
};
