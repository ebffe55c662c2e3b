#include "KWinScreenShot.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace KWinScreenShotText {
QString Failed(const QString& why) {
    return QCoreApplication::translate("KWinScreenShot", "KWin 没有给出屏幕截图：%1").arg(why);
}
QString BadPicture() {
    return QCoreApplication::translate("KWinScreenShot", "KWin 给出的屏幕截图不完整或无法读取");
}
QString NoBus() {
    return QCoreApplication::translate("KWinScreenShot", "会话总线不能传递文件描述符");
}
QString NoCursor() {
    return QCoreApplication::translate("KWinScreenShot", "KWin 不单独提供鼠标指针图像");
}
} // namespace KWinScreenShotText

namespace {

const QString kService = QStringLiteral("org.kde.KWin");
const QString kPath = QStringLiteral("/org/kde/KWin/ScreenShot2");
const QString kInterface = QStringLiteral("org.kde.KWin.ScreenShot2");
// No desktop is wider or taller than this, and no picture larger: a reply beyond them is not read.
constexpr int kMaxSide = 32768;
constexpr qsizetype kMaxBytes = qsizetype(1) << 30;

// Closes a descriptor when it goes out of scope.
struct TFd {
    int fd = -1;
    ~TFd() { Close(); }
    void Close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// Reads exactly `size` bytes from `fd` into `out`, waiting at most until `deadline`; false when the
// writer ends early or is too slow.
bool ReadAll(int fd, char* out, qsizetype size, const QDeadlineTimer& deadline) {
    qsizetype got = 0;
    while (got < size) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(std::max<qint64>(0, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false; // time is up
        const ssize_t n = ::read(fd, out + got, size_t(size - got));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false; // the writer ended before the picture did
        got += n;
    }
    return true;
}

} // namespace

TKWinPictureLayout KWinPictureLayout(const QVariantMap& results) {
    if (results.contains(QStringLiteral("type")) &&
        results.value(QStringLiteral("type")).toString() != QLatin1String("raw"))
        return {};
    bool okW = false, okH = false, okS = false, okF = false;
    const qlonglong width = results.value(QStringLiteral("width")).toLongLong(&okW);
    const qlonglong height = results.value(QStringLiteral("height")).toLongLong(&okH);
    const qlonglong stride = results.value(QStringLiteral("stride")).toLongLong(&okS);
    const qlonglong format = results.value(QStringLiteral("format")).toLongLong(&okF);
    if (!okW || !okH || !okS || !okF || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return {};
    // The 32-bit formats KWin reads its frames into; any other is not guessed at.
    QImage::Format f = QImage::Format_Invalid;
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        f = QImage::Format(format);
        break;
    default:
        return {};
    }
    if (stride < width * 4 || stride % 4 != 0 || stride * height > kMaxBytes) return {};
    return {int(width), int(height), int(stride), f};
}

TKWinScreenGrabber::TKWinScreenGrabber(QDBusConnection bus, std::function<QRect()> desktopBounds,
                                       std::function<std::unique_ptr<IScreenGrabber>()> fallback,
                                       int timeoutMs)
    : bus_(std::move(bus)), desktopBounds_(std::move(desktopBounds)), makeFallback_(std::move(fallback)),
      timeoutMs_(timeoutMs) {}

TPlatformStatus TKWinScreenGrabber::Shoot(QImage& picture, bool& refused) {
    using namespace KWinScreenShotText;
    picture = QImage();
    refused = false;
    if (!bus_.isConnected() ||
        !(bus_.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
        refused = true;
        return TPlatformStatus::Fail(Failed(NoBus()));
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return TPlatformStatus::Fail(Failed(QString::fromLocal8Bit(std::strerror(errno))));
    TFd readEnd{ends[0]}, writeEnd{ends[1]};

    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CaptureWorkspace"));
    // The workspace at its outputs' own pixels, as the portal's picture is.
    const QVariantMap options{{QStringLiteral("native-resolution"), true},
                              {QStringLiteral("include-cursor"), pointer_}};
    call << options << QVariant::fromValue(QDBusUnixFileDescriptor(writeEnd.fd));
    // KWin answers once it has the frame and writes the picture after that: the call may block (the
    // program's windows need not draw for KWin to answer), the reading must not outlast its time.
    const QDBusMessage reply = bus_.call(call, QDBus::Block, timeoutMs_);
    // KWin holds its own copy of the write end; ours, and the one the message keeps, would keep the
    // pipe from ending when KWin stops writing early.
    call = QDBusMessage();
    writeEnd.Close();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString name = reply.errorName();
        refused = name.endsWith(QLatin1String(".NoAuthorized")) ||
                  name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
                  name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
                  name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
                  name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod");
        return TPlatformStatus::Fail(Failed(reply.errorMessage().isEmpty() ? name : reply.errorMessage()));
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return TPlatformStatus::Fail(BadPicture());
    const TKWinPictureLayout layout = KWinPictureLayout(qdbus_cast<QVariantMap>(reply.arguments().at(0)));
    if (layout.format == QImage::Format_Invalid) return TPlatformStatus::Fail(BadPicture());

    QImage raw(layout.width, layout.height, layout.format);
    if (raw.isNull() || raw.bytesPerLine() < layout.width * 4) return TPlatformStatus::Fail(BadPicture());
    const QDeadlineTimer deadline(timeoutMs_);
    if (raw.bytesPerLine() == layout.stride) {
        if (!ReadAll(readEnd.fd, reinterpret_cast<char*>(raw.bits()), layout.Bytes(), deadline))
            return TPlatformStatus::Fail(BadPicture());
    } else {
        QByteArray row(layout.stride, Qt::Uninitialized);
        for (int y = 0; y < layout.height; ++y) {
            if (!ReadAll(readEnd.fd, row.data(), layout.stride, deadline))
                return TPlatformStatus::Fail(BadPicture());
            std::memcpy(raw.scanLine(y), row.constData(), size_t(layout.width) * 4);
        }
    }
    // KWin's 0xAARRGGBB pixels are the grab's BGRX bytes already, the alpha byte being the one the
    // grab ignores (premultiplied, a pixel is as it shows over black): nothing to convert. The
    // byte-ordered formats are converted.
    const QImage::Format f = raw.format();
    if (f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied) {
        raw.reinterpretAsFormat(QImage::Format_RGB32);
        picture = std::move(raw);
    } else {
        picture = raw.convertToFormat(QImage::Format_RGB32);
    }
    return TPlatformStatus::Ok();
}

IScreenGrabber* TKWinScreenGrabber::Fallback() {
    if (!fallback_ && makeFallback_) {
        fallback_ = makeFallback_();
        if (fallback_) fallback_->IncludePointer(pointer_);
    }
    return fallback_.get();
}

TPlatformStatus TKWinScreenGrabber::GrabTo(const QRect& rect, const TGrabSink& sink) {
    if (fellBack_) {
        IScreenGrabber* other = Fallback();
        return other ? other->GrabTo(rect, sink) : TPlatformStatus::Fail(KWinScreenShotText::BadPicture());
    }
    QImage picture;
    bool refused = false;
    const TPlatformStatus status = Shoot(picture, refused);
    if (!status) {
        // Refused for good: the fallback from now on. Any other failure falls back for this grab only.
        if (refused) fellBack_ = true;
        IScreenGrabber* other = Fallback();
        return other ? other->GrabTo(rect, sink) : status;
    }
    const QPoint origin = desktopBounds_ ? desktopBounds_().topLeft() : QPoint();
    const QRect inside = rect.translated(-origin).intersected(picture.rect());
    if (!inside.isEmpty())
        sink(inside.translated(origin - rect.topLeft()),
             picture.constScanLine(inside.top()) + size_t(inside.left()) * 4, int(picture.bytesPerLine()));
    return TPlatformStatus::Ok();
}

TPlatformStatus TKWinScreenGrabber::Grab(const QRect& rect, TGrabbedImage& out) {
    return GrabThroughSink(*this, rect, out, KWinScreenShotText::BadPicture());
}

TPlatformStatus TKWinScreenGrabber::Cursor(TCursorImage& out) {
    out = TCursorImage();
    if (IScreenGrabber* other = fellBack_ ? Fallback() : nullptr) return other->Cursor(out);
    return TPlatformStatus::Fail(KWinScreenShotText::NoCursor());
}
