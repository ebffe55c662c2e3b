#include "ClipboardPicture.h"

#include "DIBmp.h"
#include "ImageEncoders.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kQtImage = QStringLiteral("application/x-qt-image");
const QString kPng = QStringLiteral("image/png");
const QString kBmp = QStringLiteral("image/bmp");

std::atomic<int> gRunningWorkers{0};

QStringList DefaultSpoolFolders() {
    QStringList folders;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) folders << runtime;
    folders << QDir::tempPath();
    return folders;
}

// A file that has no name from the start where the file system allows it (O_TMPFILE), otherwise one
// unlinked right after it is made; either way nothing is left behind, whatever ends the program.
int OpenUnnamedFile(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    int fd = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    QByteArray name = path + "/vexmor-clipboard-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    ::unlink(name.constData());
    return fd;
}

// Writes straight to the descriptor; refuses further bytes once the picture is no longer wanted, so a
// cancelled encode stops at its next chunk.
class TSpoolSink : public QIODevice {
  public:
    TSpoolSink(int fd, const std::atomic<bool>& cancelled) : fd_(fd), cancelled_(cancelled) {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    qint64 Written() const { return written_; }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        if (cancelled_.load(std::memory_order_relaxed)) {
            setErrorString(QStringLiteral("cancelled"));
            return -1;
        }
        qint64 done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd_, data + done, size_t(size - done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
                return -1;
            }
            done += n;
        }
        written_ += done;
        return done;
    }

  private:
    int fd_;
    const std::atomic<bool>& cancelled_;
    qint64 written_ = 0;
};

QByteArray ReadWhole(int fd, qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, bytes.data() + done, size_t(size - done), off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return {};
        done += n;
    }
    return bytes;
}

} // namespace

// What the worker hands back. It writes the result before it ends; the GUI thread reads it only after
// joining the worker.
struct TClipboardPicture::TJob {
    std::atomic<bool> cancelled{false};
    int fd = -1;
    qint64 size = 0;
    bool ok = false;

    ~TJob() {
        if (fd >= 0) ::close(fd);
    }
};

TClipboardPicture::TClipboardPicture(const TDIB& image, TClipboardPictureOptions options)
    : pngLevel_(options.pngLevel) {
    if (image.Empty()) return;
    raw_ = std::make_unique<TDIB>(image);
    hasAlpha_ = raw_->BitCount() == 32;
    if (options.spoolFolders.isEmpty()) options.spoolFolders = DefaultSpoolFolders();
    job_ = std::make_unique<TJob>();
    gRunningWorkers.fetch_add(1);
    try {
        worker_ = std::thread(RunWorker, this, job_.get(), static_cast<const TDIB*>(raw_.get()),
                              std::move(options));
    } catch (const std::exception&) {
        // No thread: the raw picture keeps serving.
        gRunningWorkers.fetch_sub(1);
        job_.reset();
    }
}

TClipboardPicture::~TClipboardPicture() {
    if (worker_.joinable()) {
        job_->cancelled.store(true);
        worker_.join();
    }
    if (spoolFd_ >= 0) ::close(spoolFd_);
}

int TClipboardPicture::RunningWorkers() {
    return gRunningWorkers.load();
}

bool TClipboardPicture::HoldsRawPicture() const {
    return raw_ != nullptr;
}

void TClipboardPicture::RunWorker(TClipboardPicture* receiver, TJob* job, const TDIB* picture,
                                  TClipboardPictureOptions options) {
    if (options.beforeEncode) options.beforeEncode();
    int fd = -1;
    qint64 size = 0;
    bool ok = false;
    for (const QString& folder : options.spoolFolders) {
        if (job->cancelled.load()) break;
        fd = OpenUnnamedFile(folder);
        if (fd < 0) continue;
        {
            TSpoolSink sink(fd, job->cancelled);
            ok = WritePng(*picture, picture->BitCount() == 32, sink, nullptr, options.pngLevel) &&
                 sink.Written() > 0;
            size = sink.Written();
        }
        if (ok) break;
        // A full or failing folder: the next one may take it.
        ::close(fd);
        fd = -1;
    }
    job->fd = fd;
    job->size = size;
    job->ok = ok;
    // The receiver lives until it has joined this thread; a call still queued when it goes is dropped
    // with it.
    if (!job->cancelled.load())
        QMetaObject::invokeMethod(
            receiver, [receiver] { receiver->TakeResult(); }, Qt::QueuedConnection);
    gRunningWorkers.fetch_sub(1);
}

void TClipboardPicture::TakeResult() {
    if (!worker_.joinable()) return;
    worker_.join();
    const bool ok = job_->ok && job_->fd >= 0;
    if (ok) {
        spoolFd_ = job_->fd;
        job_->fd = -1;
        spoolSize_ = job_->size;
        raw_.reset();
    }
    job_.reset();
    emit SpoolFinished(ok);
}

QStringList TClipboardPicture::formats() const {
    // application/x-qt-image makes the platform clipboard offer every image type Qt can write as well
    // (as a picture set with QClipboard::setImage does); those rarer ones are made from Picture().
    if (!raw_ && !Spooled()) return {};
    return {kQtImage, kPng, kBmp};
}

bool TClipboardPicture::hasFormat(const QString& mimeType) const {
    return formats().contains(mimeType);
}

QVariant TClipboardPicture::retrieveData(const QString& mimeType, QMetaType type) const {
    if (!raw_ && !Spooled()) return {};
    if (mimeType == kPng) return PngBytes();
    if (mimeType == kQtImage) return Picture();
    if (mimeType == kBmp) {
        const QImage picture = Picture();
        QByteArray bytes;
        QBuffer buffer(&bytes);
        if (picture.isNull() || !buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "BMP"))
            return {};
        return bytes;
    }
    return QMimeData::retrieveData(mimeType, type);
}

QByteArray TClipboardPicture::PngBytes() const {
    if (Spooled()) return ReadWhole(spoolFd_, spoolSize_);
    // A paste before the worker is done: encoded here, as the raw copy must answer at once.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !WritePng(*raw_, hasAlpha_, buffer, nullptr, pngLevel_))
        return {};
    return bytes;
}

QImage TClipboardPicture::Picture() const {
    if (raw_) return raw_->ToQImage();
    const QByteArray png = PngBytes();
    if (png.isEmpty()) return {};
    try {
        TDIB decoded;
        decoded.LoadFromPngData(png);
        return decoded.ToQImage();
    } catch (const std::exception&) {
        return {};
    }
}
