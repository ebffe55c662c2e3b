#include "LastRegion.h"

#include "AllTools.h"
#include "Compose.h"
#include "XdgFolders.h"

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QList>

#include <cmath>

namespace {

constexpr char kHeader[] = "vexmor-region 1";
// A lasso drawn for minutes holds tens of thousands of points; more than this is not a file of ours.
constexpr qsizetype kMaxPoints = 1 << 20;
constexpr qint64 kMaxFileSize = 64 << 20;
// Farther out than any desktop: a value beyond is damage, and would overflow the bounds' arithmetic.
constexpr double kMaxCoordinate = 1 << 24;

bool ReadNumber(const QByteArray& word, double& value) {
    bool ok = false;
    value = word.toDouble(&ok);
    return ok && std::isfinite(value) && std::abs(value) <= kMaxCoordinate;
}

} // namespace

std::optional<TCaptureRegion> RegionOfSelection(const CaptureShape& selection, QPoint imageOrigin) {
    const TShapeBounds& b = selection.Bounds;
    if (selection.Points.empty() || !b.IsSet() || std::max(b.Width(), b.Height()) <= ClickSelectionLimit)
        return std::nullopt;
    TCaptureRegion r;
    r.rectangle = selection.Kind == skRectangle;
    r.bounds = {b.left + imageOrigin.x(), b.top + imageOrigin.y(), b.right + imageOrigin.x(),
                b.bottom + imageOrigin.y()};
    r.points.reserve(selection.Points.size());
    for (const TPointD& p : selection.Points)
        r.points.push_back({p.x + imageOrigin.x(), p.y + imageOrigin.y()});
    return r;
}

CaptureShape SelectionOfRegion(const TCaptureRegion& region, QPoint imageOrigin) {
    CaptureShape s;
    s.Kind = region.rectangle ? skRectangle : skFinished;
    const TShapeBounds& b = region.bounds;
    s.Bounds = {b.left - imageOrigin.x(), b.top - imageOrigin.y(), b.right - imageOrigin.x(),
                b.bottom - imageOrigin.y()};
    s.Points.reserve(region.points.size());
    for (const TPointD& p : region.points)
        s.Points.push_back({p.x - imageOrigin.x(), p.y - imageOrigin.y()});
    if (region.rectangle && s.Points.size() >= 3) {
        s.Pen = s.Points[0];
        s.Target = s.Points[2];
    } else if (!s.Points.empty()) {
        s.Pen = s.Target = s.Points.back();
    }
    return s;
}

QByteArray RegionToText(const TCaptureRegion& region) {
    QByteArray out = kHeader;
    out += region.rectangle ? "\nrectangle\n" : "\nlasso\n";
    const TShapeBounds& b = region.bounds;
    out += QByteArray::number(b.left) + ' ' + QByteArray::number(b.top) + ' ' + QByteArray::number(b.right) +
           ' ' + QByteArray::number(b.bottom) + '\n';
    out += QByteArray::number(qsizetype(region.points.size())) + '\n';
    for (const TPointD& p : region.points)
        out += QByteArray::number(p.x, 'g', 17) + ' ' + QByteArray::number(p.y, 'g', 17) + '\n';
    return out;
}

std::optional<TCaptureRegion> RegionFromText(const QByteArray& text) {
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 4 || lines[0] != kHeader) return std::nullopt;
    TCaptureRegion r;
    if (lines[1] == "rectangle")
        r.rectangle = true;
    else if (lines[1] != "lasso")
        return std::nullopt;
    const QList<QByteArray> bounds = lines[2].split(' ');
    if (bounds.size() != 4) return std::nullopt;
    double v[4];
    for (int i = 0; i < 4; ++i)
        if (!ReadNumber(bounds[i], v[i]) || v[i] != std::floor(v[i])) return std::nullopt;
    r.bounds = {int32_t(v[0]), int32_t(v[1]), int32_t(v[2]), int32_t(v[3])};
    bool ok = false;
    const qsizetype count = lines[3].toLongLong(&ok);
    // The points, and at most the empty rest after the last line's end.
    if (!ok || count < 1 || count > kMaxPoints || lines.size() < 4 + count ||
        (lines.size() > 4 + count && !(lines.size() == 5 + count && lines.last().isEmpty())))
        return std::nullopt;
    if (r.rectangle && count != 4) return std::nullopt;
    r.points.reserve(size_t(count));
    for (qsizetype i = 0; i < count; ++i) {
        const QList<QByteArray> xy = lines[4 + i].split(' ');
        TPointD p;
        if (xy.size() != 2 || !ReadNumber(xy[0], p.x) || !ReadNumber(xy[1], p.y)) return std::nullopt;
        r.points.push_back(p);
    }
    if (r.bounds.IsEmpty()) return std::nullopt;
    return r;
}

QString LastRegionPath() {
    return ConfigHome() + QStringLiteral("/Vexmor/last-region");
}

bool SaveLastRegion(const TCaptureRegion& region, const QString& path) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    const QByteArray data = RegionToText(region);
    return !ReplaceFile(path, [&](QIODevice& file) { return file.write(data) == data.size(); }).isEmpty();
}

std::optional<TCaptureRegion> LoadLastRegion(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize) return std::nullopt;
    return RegionFromText(file.readAll());
}
