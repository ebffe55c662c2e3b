#include "DragOut.h"

#include <QUrl>

TDragFileData::TDragFileData(const QString& offeredPath, TDropWriter writer)
    : offered_(offeredPath), writer_(std::move(writer)) {}

QStringList TDragFileData::formats() const {
    return {kUriListFormat, kCopiedFilesFormat};
}

bool TDragFileData::hasFormat(const QString& mimeType) const {
    return mimeType == kUriListFormat || mimeType == kCopiedFilesFormat;
}

void TDragFileData::DragEnded(bool accepted) {
    if (phase_ == Dragging) phase_ = accepted ? Accepted : Refused;
}

QByteArray TDragFileData::Render(const QString& mimeType, const QString& path) {
    const QByteArray url = QUrl::fromLocalFile(path).toEncoded();
    if (mimeType == kUriListFormat) return url + "\r\n";
    if (mimeType == kCopiedFilesFormat) return "copy\n" + url;
    return {};
}

QVariant TDragFileData::retrieveData(const QString& mimeType, QMetaType type) const {
    if (!hasFormat(mimeType)) return {};
    QString path;
    switch (phase_) {
    case Dragging:
        // Still over the target: it may look at the name, but nothing is written yet.
        path = offered_;
        break;
    case Accepted:
        ++writes_;
        written_ = writer_ ? writer_(offered_) : QString();
        phase_ = written_.isEmpty() ? Failed : Written;
        if (phase_ == Failed) return {};
        path = written_;
        break;
    case Written:
        path = written_;
        break;
    case Refused:
    case Failed:
        return {};
    }
    if (mimeType == kUriListFormat && type.id() == QMetaType::QVariantList)
        return QVariantList{QUrl::fromLocalFile(path)};
    return Render(mimeType, path);
}
