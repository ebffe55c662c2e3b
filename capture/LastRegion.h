// The selection of the last confirmed capture, kept so that the same region can be taken again: at
// once, without the overlay (`--capture=last-region`, the tray), or put back on an open overlay.
//
// Kept in screen coordinates (root-window device pixels), so it means the same place of the desktop
// whatever the size of the next grab; in a small text file beside the settings, replaced whole, so a
// start after a crash still finds the last one.
#pragma once

#include "CaptureShape.h"

#include <QByteArray>
#include <QPoint>
#include <QString>

#include <optional>

struct TCaptureRegion {
    bool rectangle = false;
    TShapeBounds bounds;         // the selection's bounds as the overlay grew them
    std::vector<TPointD> points; // a rectangle's four corners or the lasso, at pixel centres
    bool operator==(const TCaptureRegion&) const = default;
};

// The selection of a confirmed capture, whose desktop image has (0, 0) at `imageOrigin` on the
// screen; none for a click or a selection too small to count (the capture then kept everything).
std::optional<TCaptureRegion> RegionOfSelection(const CaptureShape& selection, QPoint imageOrigin);
// The selection that takes the region from a desktop image whose (0, 0) is `imageOrigin`.
CaptureShape SelectionOfRegion(const TCaptureRegion& region, QPoint imageOrigin);

QByteArray RegionToText(const TCaptureRegion& region);
// None for text RegionToText did not write (a damaged or foreign file).
std::optional<TCaptureRegion> RegionFromText(const QByteArray& text);

// $XDG_CONFIG_HOME/Vexmor/last-region.
QString LastRegionPath();
bool SaveLastRegion(const TCaptureRegion& region, const QString& path = LastRegionPath());
std::optional<TCaptureRegion> LoadLastRegion(const QString& path = LastRegionPath());
