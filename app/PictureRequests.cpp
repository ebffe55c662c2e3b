#include "PictureRequests.h"

#include "Input.h"
#include "PictureEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

// The one local file a drag carries, or empty.
QString DraggedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().constFirst();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

} // namespace

TPictureRequests::TPictureRequests(QWidget* window, ICaptureOwner& owner) : window_(window), owner_(owner) {
    window_->setAcceptDrops(true);
    window_->installEventFilter(this);
}

QString TPictureRequests::Tell(const QString& text) {
    std::fprintf(stderr, "vexmor: %s\n", qPrintable(text));
    if (PictureFailedHook) {
        PictureFailedHook(text);
        return text;
    }
    auto* box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Vexmor"), text, QMessageBox::Ok, window_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    return text;
}

QString TPictureRequests::EditFile(const QString& path) {
    if (InputForm) return {};
    const TPictureLoad load = LoadPictureFile(path);
    const QFileInfo info(path);
    if (load.picture.Empty()) return Tell(PictureFailureText(info.fileName(), load.failure));
    QString failure;
    if (!StartEditing(load.picture, info.completeBaseName(), &owner_, &failure) && !failure.isEmpty())
        return Tell(PictureFailureText(info.fileName(), failure));
    return {};
}

QString TPictureRequests::EditClipboard() {
    if (InputForm) return {};
    const TPictureLoad load = LoadPictureImage(QApplication::clipboard()->image());
    const QString name = QCoreApplication::translate("PictureEdit", "剪贴板");
    if (load.picture.Empty()) return Tell(PictureFailureText(name, load.failure));
    QString failure;
    if (!StartEditing(load.picture, QString(), &owner_, &failure) && !failure.isEmpty())
        return Tell(PictureFailureText(name, failure));
    return {};
}

bool TPictureRequests::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) return false;
    if (event->type() == QEvent::DragEnter) {
        auto* e = static_cast<QDragEnterEvent*>(event);
        if (!DraggedFile(e->mimeData()).isEmpty()) e->acceptProposedAction();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* e = static_cast<QDropEvent*>(event);
        const QString path = DraggedFile(e->mimeData());
        if (path.isEmpty()) return true;
        e->acceptProposedAction();
        // The source's drag ends before the overlay takes the screen.
        QMetaObject::invokeMethod(
            this, [this, path] { EditFile(path); }, Qt::QueuedConnection);
        return true;
    }
    return false;
}
