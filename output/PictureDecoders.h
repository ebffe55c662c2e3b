// The export's own formats read back where Qt's image plugins may be missing: WebP through libwebp and
// AVIF through libavif. The save dialog's preview uses them for the files Qt cannot read.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Whether the first bytes of a file (a few dozen suffice) are a WebP or AVIF file's.
bool LooksLikeWebpOrAvif(const QByteArray& head);
// The picture of a WebP or AVIF file's bytes in Format_ARGB32 (straight alpha); null when the bytes are
// neither or do not decode.
QImage DecodeWebpOrAvif(const QByteArray& file);
// The picture of a WebP or AVIF file no larger than `maxBytes`; null otherwise, or when it does not
// decode. Other files are not read past their first bytes.
QImage ReadWebpOrAvifFile(const QString& path, qint64 maxBytes);
