#include "HandOffs.h"

#include "ClipboardPicture.h"
#include "DIBmp.h"
#include "Platform.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>

#include <exception>

void CopyImageToClipboard(const TDIB& image) {
    if (image.Empty()) return;
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setMimeData(new TClipboardPicture(image));
}

bool PrintImageFile(const QString& path, QPrinter& printer) {
    QImage picture;
    try {
        TDIB dib;
        dib.LoadFromFile(path);
        picture = dib.ToQImage();
    } catch (const std::exception&) {
        return false;
    }
    if (picture.isNull()) return false;
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QRect page = painter.viewport();
    QSize fitted = picture.size().scaled(page.size(), Qt::KeepAspectRatio);
    fitted = fitted.expandedTo(QSize(1, 1));
    const QRect target(page.x() + (page.width() - fitted.width()) / 2,
                       page.y() + (page.height() - fitted.height()) / 2, fitted.width(), fitted.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
    return painter.end();
}

int SendMail(const QString& subject, const QString& attachment) {
    return Platform().shell->SendMail(subject,
                                      attachment.isEmpty() ? QStringList() : QStringList{attachment});
}
