#include "MenuIcons.h"

#include <QImageReader>
#include <QPixmap>

namespace {
constexpr int kCellCount = TMenuIcons::icClipboard + 1;
} // namespace

QImage ResourcePng(const QString& path) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

void TMenuIcons::Load() {
    QImage strip = ResourcePng(QStringLiteral(":/vexmor/menuicons.png"));
    if (strip.isNull()) return;
    strip_ = TDIB::FromQImage(strip, 32);
    strip_.SetILCount(kCellCount);
    strip_.SetDrawMode(TDIBmpDrawMode::dmAlphaBlend);
}

QIcon TMenuIcons::Icon(int cell) const {
    if (strip_.Empty() || cell < 0 || cell >= strip_.CellCount()) return {};
    return QIcon(QPixmap::fromImage(strip_.ToQImage().copy(strip_.CellRect(cell))));
}
