#include "DragOut.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QUrl>

#include <system_error>

TPreparedFile::TPreparedFile(TWork work, std::function<bool()> stillCurrent)
    : work_(std::move(work)), stillCurrent_(std::move(stillCurrent)) {
    try {
        Start();
    } catch (const std::system_error&) {
        // No thread to be had: nothing is made ahead, and the drop saves as it would without.
        cancelled_.store(true);
        finished_.store(true);
    }
}

void TPreparedFile::Start() {
    thread_ = std::thread([this] {
        std::optional<QByteArray> bytes;
        try {
            if (work_) bytes = work_(cancelled_);
        } catch (...) {
            bytes.reset();
        }
        if (cancelled_.load()) bytes.reset();
        result_ = std::move(bytes);
        // The worker touches no Qt object: a waiting drop looks at this flag.
        finished_.store(true, std::memory_order_release);
    });
}

TPreparedFile::~TPreparedFile() {
    CancelAndJoin();
}

void TPreparedFile::Cancel() {
    cancelled_.store(true);
    if (Finished()) result_.reset();
}

void TPreparedFile::CancelAndJoin() {
    cancelled_.store(true);
    if (thread_.joinable()) thread_.join();
    result_.reset();
}

void TPreparedFile::Wait() {
    if (Finished()) return;
    // A short poll, well inside a frame: the card's ticks go on in this loop meanwhile.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (Finished()) loop.quit();
    });
    poll.start(2);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

std::optional<QByteArray> TPreparedFile::Take() {
    Wait();
    if (Cancelled()) return std::nullopt;
    std::optional<QByteArray> bytes = std::move(result_);
    result_.reset();
    return bytes;
}

TDragFileData::TDragFileData(const QString& offeredPath, TDropWriter writer,
                             std::unique_ptr<TPreparedFile> prepared)
    : offered_(offeredPath), writer_(std::move(writer)), prepared_(std::move(prepared)) {}

TDragFileData::~TDragFileData() = default;

void TDragFileData::DiscardPrepared() {
    if (prepared_) prepared_->CancelAndJoin();
}

QStringList TDragFileData::formats() const {
    return {kUriListFormat, kCopiedFilesFormat};
}

bool TDragFileData::hasFormat(const QString& mimeType) const {
    return mimeType == kUriListFormat || mimeType == kCopiedFilesFormat;
}

void TDragFileData::DragEnded(bool accepted) {
    if (phase_ == Dragging) phase_ = accepted ? Accepted : Refused;
    if (!accepted && phase_ == Written) {
        // Written for a request during the drag, which then found no taker: the file goes again.
        if (QFile::remove(written_)) removed_ = written_;
        written_.clear();
        phase_ = Refused;
    }
    if (phase_ == Refused && prepared_) prepared_->Cancel();
}

QByteArray TDragFileData::Render(const QString& mimeType, const QString& path) {
    const QByteArray url = QUrl::fromLocalFile(path).toEncoded();
    if (mimeType == kUriListFormat) return url + "\r\n";
    if (mimeType == kCopiedFilesFormat) return "copy\n" + url;
    return {};
}

void TDragFileData::WriteOnce() const {
    phase_ = Writing;
    // Let go before the bytes were ready: wait for them with the card still moving. A request
    // arriving meanwhile comes here too, nested, and writes the file first.
    if (prepared_ && prepared_->StillCurrent()) prepared_->Wait();
    if (phase_ != Writing) return;
    ++writes_;
    written_ = writer_ ? writer_(offered_, prepared_.get()) : QString();
    phase_ = written_.isEmpty() ? Failed : Written;
    if (prepared_) prepared_->Cancel(); // written or not, the bytes are no longer needed
}

QVariant TDragFileData::retrieveData(const QString& mimeType, QMetaType type) const {
    if (!hasFormat(mimeType)) return {};
    QString path;
    switch (phase_) {
    case Dragging:
        if (writesWhileDragging_) {
            // This may be the target's read after the drop: the file must be there.
            WriteOnce();
            if (phase_ == Failed) return {};
            path = written_;
            break;
        }
        // Still over the target: it may look at the name, but nothing is written yet.
        path = offered_;
        break;
    case Accepted:
    case Writing:
        WriteOnce();
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
