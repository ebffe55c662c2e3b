// Dragging the capture out as a file.
//
// The drag offers a file that does not exist yet: its path is fixed when the drag starts, and the
// file is written only when a target that accepted the drop asks for the data after the button was
// released. Requests a target makes while the drag is still running (some read the list as soon as
// the pointer enters them) are answered with the path but write nothing; a cancelled or refused
// drag never writes. When writing fails the target receives nothing, so it is never handed a path
// without a file.
#pragma once

#include <QMimeData>
#include <QString>
#include <QStringList>

#include <functional>

// Writes the capture for an accepted drop; returns the path written (a free variant of the offered
// one when that name was taken meanwhile) or an empty string when it failed.
using TDropWriter = std::function<QString(const QString& offeredPath)>;

// The formats offered: the URL list and the copy list that file managers read.
inline const QString kUriListFormat = QStringLiteral("text/uri-list");
inline const QString kCopiedFilesFormat = QStringLiteral("x-special/gnome-copied-files");

class TDragFileData : public QMimeData {
  public:
    enum TPhase { Dragging, Accepted, Refused, Written, Failed };

    TDragFileData(const QString& offeredPath, TDropWriter writer);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    // The drag loop ended (the button was released or the drag cancelled); `accepted` tells whether
    // a target took the drop with copy or move. Only then does the next request write the file.
    void DragEnded(bool accepted);
    TPhase Phase() const { return phase_; }
    QString OfferedPath() const { return offered_; }
    // The file written for the drop; empty until then and after a failure.
    QString WrittenPath() const { return written_; }
    // How often the writer ran (at most once).
    int WriteCount() const { return writes_; }

    // The bytes of one format for a path.
    static QByteArray Render(const QString& mimeType, const QString& path);

  protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

  private:
    QString offered_;
    TDropWriter writer_;
    mutable TPhase phase_ = Dragging;
    mutable QString written_;
    mutable int writes_ = 0;
};
