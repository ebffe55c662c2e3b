#include "PictureEdit.h"

#include "DibImage.h"
#include "Input.h"
#include "Platform.h"
#include "Sounds.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QScreen>

namespace {

// Around the picture, where the desktop would be.
constexpr uint32_t kSurroundings = 0xFF202020u;

QString TooLarge(QSize size) {
    return QCoreApplication::translate("PictureEdit", "图片太大（%1 × %2 像素；最多 %3 百万像素）")
        .arg(size.width())
        .arg(size.height())
        .arg(MaxPixels / 1000000);
}

// The picture over white, 24-bit.
TPictureLoad Flattened(const QImage& image) {
    TPictureLoad out;
    try {
        if (!image.hasAlphaChannel()) {
            out.picture = TDIB::FromQImage(image, 24);
            return out;
        }
        const TDIB straight = TDIB::FromQImage(image, 32);
        TDIB flat(straight.Width(), straight.Height(), 24);
        flat.FillRect(QRect(0, 0, flat.Width(), flat.Height()), 0xFFFFFFFFu, 256);
        straight.AlphaDraw(flat, 0, 0, QRect(0, 0, straight.Width(), straight.Height()));
        out.picture = flat;
    } catch (const std::bad_alloc&) {
        out.picture.Clear();
        out.failure = TooLarge(image.size());
    }
    return out;
}

// The pointer in screen device pixels.
QPoint PointerOnScreen() {
    const QPoint logical = QCursor::pos();
    const QScreen* screen = QGuiApplication::screenAt(logical);
    if (!screen) return logical;
    const QRect g = screen->geometry();
    const double dpr = screen->devicePixelRatio();
    return g.topLeft() + (logical - g.topLeft()) * dpr;
}

} // namespace

QString PictureFailureText(const QString& name, const QString& reason) {
    return QCoreApplication::translate("PictureEdit", "无法打开图片“%1”：%2").arg(name, reason);
}

TPictureLoad LoadPictureFile(const QString& path) {
    TPictureLoad out;
    const QFileInfo info(path);
    if (!info.exists()) {
        out.failure = QCoreApplication::translate("PictureEdit", "文件不存在");
        return out;
    }
    if (!info.isFile() || !info.isReadable()) {
        out.failure = QCoreApplication::translate("PictureEdit", "无法读取该文件");
        return out;
    }
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    // The image library's own limit decides, not the reader's smaller default.
    reader.setAllocationLimit(int(MaxPixels * 4 / (1024 * 1024)));
    if (!reader.canRead()) {
        out.failure = QCoreApplication::translate("PictureEdit", "不是可以打开的图片");
        return out;
    }
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > MaxPixels) {
        out.failure = TooLarge(size);
        return out;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        out.failure =
            QCoreApplication::translate("PictureEdit", "图片已损坏（%1）").arg(reader.errorString());
        return out;
    }
    return Flattened(image);
}

TPictureLoad LoadPictureImage(const QImage& image) {
    if (image.isNull()) return {TDIB(), QCoreApplication::translate("PictureEdit", "剪贴板中没有图片")};
    if (qint64(image.width()) * image.height() > MaxPixels) return {TDIB(), TooLarge(image.size())};
    return Flattened(image);
}

bool StartEditing(const TDIB& picture, const QString& title, ICaptureOwner* owner, QString* failure) {
    if (InputForm || !owner || picture.Empty()) return false;
    const QRect desktop = Platform().display->DesktopBounds();
    const QPoint pointer = PointerOnScreen();
    QRect monitor = desktop;
    for (const QRect& m : Platform().display->Monitors())
        if (m.contains(pointer)) monitor = m;
    const QSize size(picture.Width(), picture.Height());
    const int x = size.width() <= monitor.width() ? monitor.left() + (monitor.width() - size.width()) / 2
                                                  : monitor.left();
    const int y = size.height() <= monitor.height() ? monitor.top() + (monitor.height() - size.height()) / 2
                                                    : monitor.top();
    const QRect placed(QPoint(x, y), size);
    const QRect canvas = desktop.isEmpty() ? placed : desktop | placed;
    if (qint64(canvas.width()) * canvas.height() > MaxPixels) {
        if (failure) *failure = TooLarge(size);
        return false;
    }
    TDesktopGrab grab;
    try {
        grab.desktopBounds = canvas;
        grab.image.SetSize(canvas.width(), canvas.height(), 24);
        grab.image.FillRect(QRect(QPoint(), canvas.size()), kSurroundings, 256);
        grab.grabbedRect = placed.translated(-canvas.topLeft());
        picture.DrawTo(grab.image, grab.grabbedRect.left(), grab.grabbedRect.top(), QRect(QPoint(), size));
    } catch (const std::bad_alloc&) {
        if (failure) *failure = TooLarge(size);
        return false;
    }
    owner->DiscardCapture();
    owner->SetCaptureTexts(title, QString());
    owner->HideForCapture();
    auto* form = new TInputForm(std::move(grab), owner, OverlayWorkerRuns);
    form->RemembersRegion = false;
    InputForm = form;
    form->PlaySound(QStringLiteral("Cap.wav"), 0);
    form->ShowOverlay();
    return true;
}
