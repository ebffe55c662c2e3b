#include "PortalScreenshot.h"

#include "PortalRequest.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>

namespace PortalScreenshotText {
QString Refused() {
    return QCoreApplication::translate("PortalScreenshot", "桌面门户拒绝了屏幕截图请求");
}
QString Cancelled() {
    return QCoreApplication::translate("PortalScreenshot", "屏幕截图请求已被取消");
}
QString TimedOut() {
    return QCoreApplication::translate("PortalScreenshot", "桌面门户没有及时回应屏幕截图请求");
}
QString Vanished() {
    return QCoreApplication::translate("PortalScreenshot", "桌面门户在回应屏幕截图请求之前退出了");
}
QString NoPortal() {
    return QCoreApplication::translate("PortalScreenshot", "桌面门户不提供屏幕截图");
}
QString NotLocalFile() {
    return QCoreApplication::translate("PortalScreenshot", "桌面门户给出的截图不是本地文件");
}
QString Unreadable() {
    return QCoreApplication::translate("PortalScreenshot", "无法读取桌面门户给出的截图");
}
QString NoCursor() {
    return QCoreApplication::translate("PortalScreenshot", "桌面门户不提供鼠标指针图像");
}
QString EmptyRect() {
    return QCoreApplication::translate("PortalScreenshot", "截取区域为空");
}
QString NoPicturesFolder(const QString& folder) {
    return QCoreApplication::translate("PortalScreenshot",
                                       "桌面门户要把截图存入图片文件夹 %1，但它不存在，也无法创建")
        .arg(folder);
}
} // namespace PortalScreenshotText

namespace {

const QString kScreenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");

// A file older than the request by more than this was not written for it. The slack covers file
// systems whose time stamps are coarser than the clock.
constexpr qint64 kWrittenSlackMs = 2000;

qint64 ModifiedMs(const struct stat& st) {
    return qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

// The failure a portal answer stands for; ok for a picture that came.
TPlatformStatus AnswerStatus(const TPortalAnswer& answer) {
    using namespace PortalScreenshotText;
    switch (answer.kind) {
    case TPortalAnswer::TimedOut:
        return TPlatformStatus::Fail(TimedOut());
    case TPortalAnswer::Vanished:
        return TPlatformStatus::Fail(Vanished());
    case TPortalAnswer::CallFailed:
        if (answer.error == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
            answer.error == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
            return TPlatformStatus::Fail(TimedOut());
        if (answer.error.startsWith(QLatin1String("org.freedesktop.DBus.Error.")))
            return TPlatformStatus::Fail(NoPortal()); // no portal, interface or method on the bus
        return TPlatformStatus::Fail(Refused());      // the portal's own error
    case TPortalAnswer::Answered:
        break;
    }
    if (answer.response == prSuccess) return TPlatformStatus::Ok();
    return TPlatformStatus::Fail(answer.response == prCancelled ? Cancelled() : Refused());
}

// Reads the picture at `path`, which must name a regular file (a pipe would never end), then
// removes the file when it is the one the portal wrote for a request sent at `requestedMs`.
TPlatformStatus ReadAndRemove(const QString& path, qint64 requestedMs, QImage& picture) {
    const QByteArray native = QFile::encodeName(path);
    struct stat target {};
    if (::stat(native.constData(), &target) != 0 || !S_ISREG(target.st_mode))
        return TPlatformStatus::Fail(PortalScreenshotText::Unreadable());
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            QImageReader reader(&file);
            picture = reader.read();
        }
    }
    struct stat self {};
    if (::lstat(native.constData(), &self) == 0 && S_ISREG(self.st_mode) && self.st_uid == ::geteuid() &&
        ModifiedMs(self) >= requestedMs - kWrittenSlackMs)
        ::unlink(native.constData());
    if (picture.isNull()) return TPlatformStatus::Fail(PortalScreenshotText::Unreadable());
    picture = picture.convertToFormat(QImage::Format_RGB32);
    return TPlatformStatus::Ok();
}

// KDE's portal saves its picture into the user's pictures folder and answers "cancelled" where that
// folder is missing. It is one of the user's standard folders, which most desktops make at the first
// login anyway, so a missing one is made (empty, nothing else touched) before each request. Empty
// when the folder is there; otherwise the folder that could not be made.
QString UnmadePicturesFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || QFileInfo(folder).isDir() || QDir().mkpath(folder)) return {};
    return folder;
}

} // namespace

TPortalScreenGrabber::TPortalScreenGrabber(QDBusConnection bus, std::function<QRect()> desktopBounds,
                                           int timeoutMs, int answerTimeoutMs, bool asksPermission)
    : bus_(std::move(bus)), desktopBounds_(std::move(desktopBounds)), timeoutMs_(timeoutMs),
      answerTimeoutMs_(answerTimeoutMs), asksPermission_(asksPermission) {}

void TPortalScreenGrabber::Withdraw() {
    if (withdraw_) withdraw_();
}

bool TPortalScreenGrabber::PortalOffersScreenshot(QDBusConnection bus, int timeoutMs) {
    return PortalOffersInterface(std::move(bus), kScreenshotInterface, timeoutMs);
}

bool TPortalScreenGrabber::Ask(std::optional<TPortalAnswer>& answer, bool& withdrawn) {
    QEventLoop loop;
    TPortalRequest request(bus_);
    request.Start(
        kScreenshotInterface, QStringLiteral("Screenshot"), {QString()},
        {{QStringLiteral("interactive"), false}}, timeoutMs_,
        [&](const TPortalAnswer& a) {
            answer = a;
            loop.quit();
        },
        answerTimeoutMs_);
    // Cancelling closes the request: a dialog still up goes with it where the portal allows.
    withdraw_ = [&] {
        withdrawn = true;
        request.Cancel();
        loop.quit();
    };
    // The request's own timers end the wait; only an application quitting every loop ends it sooner.
    if (!answer) loop.exec(QEventLoop::ExcludeUserInputEvents);
    withdraw_ = nullptr;
    return !withdrawn && answer;
}

TPlatformStatus TPortalScreenGrabber::Shoot(QImage& picture) {
    picture = QImage();
    if (!bus_.isConnected()) return TPlatformStatus::Fail(PortalScreenshotText::NoPortal());
    const qint64 requestedMs = QDateTime::currentMSecsSinceEpoch();
    const QString unmadeFolder = UnmadePicturesFolder();
    std::optional<TPortalAnswer> answer;
    // A portal that shows no dialog has nobody to cancel it: "cancelled" from it is a picture lost on the
    // way (KDE's portal now and then loses the one KWin pipes to it), asked for once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool withdrawn = false;
        answer.reset();
        if (!Ask(answer, withdrawn))
            return withdrawn ? TPlatformStatus::Withdrawn()
                             : TPlatformStatus::Fail(PortalScreenshotText::TimedOut());
        const bool lost = !asksPermission_ && unmadeFolder.isEmpty() &&
                          answer->kind == TPortalAnswer::Answered && answer->response == prCancelled;
        if (!lost) break;
    }
    if (TPlatformStatus status = AnswerStatus(*answer); !status) {
        // Said as it is: the user can make or free that folder, and the next capture asks again.
        if (!unmadeFolder.isEmpty() && answer->kind == TPortalAnswer::Answered &&
            answer->response == prCancelled)
            return TPlatformStatus::Fail(PortalScreenshotText::NoPicturesFolder(unmadeFolder));
        return status;
    }

    const QUrl uri(answer->results.value(QStringLiteral("uri")).toString());
    const QString host = uri.host();
    if (!uri.isLocalFile() || !(host.isEmpty() || host == QLatin1String("localhost")))
        return TPlatformStatus::Fail(PortalScreenshotText::NotLocalFile());
    const QString path = uri.toLocalFile();
    if (!path.startsWith(QLatin1Char('/')))
        return TPlatformStatus::Fail(PortalScreenshotText::NotLocalFile());
    return ReadAndRemove(path, requestedMs, picture);
}

TPlatformStatus TPortalScreenGrabber::Grab(const QRect& rect, TGrabbedImage& out) {
    return GrabThroughSink(*this, rect, out, PortalScreenshotText::EmptyRect());
}

TPlatformStatus TPortalScreenGrabber::GrabTo(const QRect& rect, const TGrabSink& sink) {
    if (rect.isEmpty()) return TPlatformStatus::Fail(PortalScreenshotText::EmptyRect());
    QImage picture;
    if (TPlatformStatus status = Shoot(picture); !status) return status;
    const QPoint origin = desktopBounds_ ? desktopBounds_().topLeft() : QPoint();
    const QRect inside = rect.translated(-origin).intersected(picture.rect());
    if (!inside.isEmpty())
        sink(inside.translated(origin - rect.topLeft()),
             picture.constScanLine(inside.top()) + size_t(inside.left()) * 4, int(picture.bytesPerLine()));
    return TPlatformStatus::Ok();
}

TPlatformStatus TPortalScreenGrabber::Cursor(TCursorImage& out) {
    out = TCursorImage();
    return TPlatformStatus::Fail(PortalScreenshotText::NoCursor());
}

std::unique_ptr<IScreenGrabber>
MakePortalScreenGrabber(QDBusConnection bus, std::function<QRect()> desktopBounds, bool asksPermission) {
    // Only a dialog is worth a long wait: a portal that asks nobody and stays silent is stuck.
    using T = TPortalScreenGrabber;
    return std::make_unique<T>(std::move(bus), std::move(desktopBounds), T::kDefaultTimeoutMs,
                               asksPermission ? T::kDefaultAnswerTimeoutMs : T::kDefaultTimeoutMs,
                               asksPermission);
}
