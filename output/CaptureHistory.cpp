#include "CaptureHistory.h"

#include "AllTools.h"
#include "ImageEncoders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace {

const QString kIndexName = QStringLiteral("index.jsonl");
const QString kThumbSuffix = QStringLiteral(".thumb.png");
// A picture's name tells when it was taken (local time), numbered when two share a millisecond.
const QString kNameTimeFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");
// The pictures are written while the program goes on; a middle zlib level keeps a 4K capture's file
// to a second's work there, at a few per cent more bytes than the export's level.
constexpr int kPictureLevel = 6;
constexpr int kThumbLevel = 9;

// A name the index may give: a picture directly in the folder, never a thumbnail, a hidden file or a
// path that leads elsewhere (an index is only a file: what it names is removed one day).
bool IsPictureName(const QString& file) {
    return !file.isEmpty() && !file.startsWith(u'.') && !file.contains(u'/') && !file.contains(u'\\') &&
           file.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) &&
           !file.endsWith(kThumbSuffix, Qt::CaseInsensitive);
}

// When a picture of this folder was taken, read from its name; invalid for a name of another kind.
QDateTime TimeFromPictureName(const QString& file) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d{8}-\\d{6}-\\d{3})(_\\d+)?\\.png$"));
    const QRegularExpressionMatch match = pattern.match(file);
    if (!match.hasMatch()) return {};
    const QDateTime local = QDateTime::fromString(match.captured(1), kNameTimeFormat);
    return local.isValid() ? local.toUTC() : QDateTime();
}

std::optional<THistoryEntry> EntryFromLine(const QByteArray& line) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject o = document.object();
    THistoryEntry e;
    e.file = o.value(QLatin1String("file")).toString();
    e.time = QDateTime::fromString(o.value(QLatin1String("time")).toString(), Qt::ISODateWithMs);
    if (!IsPictureName(e.file) || !e.time.isValid()) return std::nullopt;
    e.time = e.time.toUTC();
    e.name = o.value(QLatin1String("name")).toString();
    const QJsonArray size = o.value(QLatin1String("size")).toArray();
    if (size.size() == 2) e.size = QSize(size[0].toInt(), size[1].toInt());
    const QJsonArray place = o.value(QLatin1String("place")).toArray();
    if (place.size() == 2 && e.size.isValid() && !e.size.isEmpty())
        e.desktopRect = QRect(QPoint(place[0].toInt(), place[1].toInt()), e.size);
    return e;
}

QByteArray LineOf(const THistoryEntry& e) {
    QJsonObject o{{QLatin1String("file"), e.file},
                  {QLatin1String("time"), e.time.toUTC().toString(Qt::ISODateWithMs)},
                  {QLatin1String("name"), e.name},
                  {QLatin1String("size"), QJsonArray{e.size.width(), e.size.height()}}};
    if (!e.desktopRect.isNull())
        o.insert(QLatin1String("place"), QJsonArray{e.desktopRect.x(), e.desktopRect.y()});
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

void SortNewestFirst(std::vector<THistoryEntry>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const THistoryEntry& a, const THistoryEntry& b) { return a.time > b.time; });
}

// The capture scaled down to fit the thumbnail's size (the capture itself when it fits already).
TDIB MakeThumbnail(const TDIB& capture, bool& same) {
    const double scale = std::min({double(kHistoryThumbSize.width()) / capture.Width(),
                                   double(kHistoryThumbSize.height()) / capture.Height(), 1.0});
    same = scale >= 1.0;
    if (same) return {};
    const int w = std::max(1, int(std::lround(capture.Width() * scale)));
    const int h = std::max(1, int(std::lround(capture.Height() * scale)));
    TDIB thumb(w, h, capture.BitCount(), true);
    capture.Resize(thumb, QRect(0, 0, capture.Width(), capture.Height()), QRect(0, 0, w, h),
                   TInterpolation::SuperSampling);
    return thumb;
}

} // namespace

QString HistoryFolderName() {
    return QStringLiteral("history");
}

QString HistoryThumbName(const QString& file) {
    return QFileInfo(file).completeBaseName() + kThumbSuffix;
}

QSize PngFileSize(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray head = f.read(24);
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (head.size() < 24 || !head.startsWith(signature) || head.mid(12, 4) != "IHDR") return {};
    const auto number = [&head](int at) {
        return (uint32_t(uint8_t(head[at])) << 24) | (uint32_t(uint8_t(head[at + 1])) << 16) |
               (uint32_t(uint8_t(head[at + 2])) << 8) | uint32_t(uint8_t(head[at + 3]));
    };
    const uint32_t w = number(16), h = number(20);
    if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return {};
    return QSize(int(w), int(h));
}

// A capture on its way to the disk: the share of its pixels that keeps them alive meanwhile.
struct TCaptureHistory::TPending {
    quint64 id;
    TDIB capture;
    THistoryEntry entry;
};

// What the worker made of one capture.
struct TCaptureHistory::TWritten {
    quint64 id;
    QString file; // empty when the picture could not be written
};

TCaptureHistory::TCaptureHistory(QString folder, int keep, QObject* parent)
    : QObject(parent), folder_(std::move(folder)), keep_(std::clamp(keep, 0, kHistoryKeepMost)),
      worker_(std::make_unique<QThreadPool>()) {
    if (!folder_.endsWith(u'/')) folder_ += u'/';
    worker_->setMaxThreadCount(1); // one writer: the files and the index are written in order
    worker_->setExpiryTimeout(5000);
    Load();
}

TCaptureHistory::~TCaptureHistory() {
    WaitForWrites();
}

void TCaptureHistory::Load() {
    QFile index(folder_ + kIndexName);
    bool mended = false;
    QSet<QString> named;
    if (index.open(QIODevice::ReadOnly)) {
        while (!index.atEnd()) {
            const QByteArray line = index.readLine().trimmed();
            if (line.isEmpty()) continue;
            std::optional<THistoryEntry> e = EntryFromLine(line);
            // A damaged line, a second entry of one picture, or a picture that has gone.
            if (!e || named.contains(e->file) || !QFileInfo(folder_ + e->file).isFile()) {
                mended = true;
                continue;
            }
            if (!e->size.isValid() || e->size.isEmpty()) e->size = PngFileSize(folder_ + e->file);
            named.insert(e->file);
            entries_.push_back(std::move(*e));
        }
    }
    // Pictures of this folder that no entry names.
    const QStringList files = QDir(folder_).entryList({QStringLiteral("*.png")}, QDir::Files);
    for (const QString& file : files) {
        if (named.contains(file) || !IsPictureName(file)) continue;
        const QDateTime time = TimeFromPictureName(file);
        const QSize size = PngFileSize(folder_ + file);
        if (!time.isValid() || !size.isValid()) continue;
        entries_.push_back(THistoryEntry{file, time, QString(), size, QRect()});
        mended = true;
    }
    SortNewestFirst(entries_);
    if (mended) QueueIndexWrite();
}

void TCaptureHistory::SetKeep(int keep) {
    keep_ = std::clamp(keep, 0, kHistoryKeepMost);
}

std::vector<THistoryEntry> TCaptureHistory::Trim() {
    std::vector<THistoryEntry> gone;
    while (int(entries_.size()) > keep_) {
        gone.push_back(std::move(entries_.back()));
        entries_.pop_back();
    }
    return gone;
}

namespace {
QStringList FilesOf(const std::vector<THistoryEntry>& entries) {
    QStringList files;
    for (const THistoryEntry& e : entries)
        files << e.file;
    return files;
}
} // namespace

void TCaptureHistory::Add(const TDIB& capture, const QString& name, QRect desktopRect, QDateTime time) {
    if (keep_ == 0) {
        // Nothing is kept: what was kept before goes now.
        if (const std::vector<THistoryEntry> gone = Trim(); !gone.empty()) {
            QueueIndexWrite(FilesOf(gone));
            emit Changed();
        }
        return;
    }
    if (capture.Empty() || (capture.BitCount() != 32 && capture.BitCount() != 24)) return;
    static quint64 nextId = 0;
    const QDateTime utc = time.toUTC();
    const QSize size(capture.Width(), capture.Height());
    pending_.push_back(
        TPending{++nextId, capture,
                 THistoryEntry{QString(), utc, name, size,
                               desktopRect.isNull() ? QRect() : QRect(desktopRect.topLeft(), size)}});
    TPending& job = pending_.back();
    // The worker reads the pixels through the job's own image, which nothing else touches until the
    // job is taken back on this thread.
    const TDIB* pixels = &job.capture;
    const quint64 id = job.id;
    const QString folder = folder_;
    const QString base = utc.toLocalTime().toString(kNameTimeFormat);
    worker_->start([this, pixels, id, folder, base] {
        QDir().mkpath(folder);
        const bool alpha = pixels->BitCount() == 32;
        const QString path =
            CreateNewFile(folder + base + QStringLiteral(".png"), [pixels, alpha](QIODevice& out) {
                return WritePng(*pixels, alpha, out, nullptr, kPictureLevel);
            });
        QString file;
        if (!path.isEmpty()) {
            file = QFileInfo(path).fileName();
            bool same = false;
            const TDIB thumb = MakeThumbnail(*pixels, same);
            const TDIB& small = same ? *pixels : thumb;
            // Without its thumbnail the entry shows a blank one; the picture is what counts.
            (void)ReplaceFile(folder + HistoryThumbName(file), [&small, alpha](QIODevice& out) {
                return WritePng(small, alpha, out, nullptr, kThumbLevel);
            });
        }
        {
            const std::lock_guard<std::mutex> lock(writtenLock_);
            written_.push_back(TWritten{id, file});
        }
        QMetaObject::invokeMethod(
            this, [this] { TakeWritten(); }, Qt::QueuedConnection);
    });
}

void TCaptureHistory::TakeWritten() {
    std::vector<TWritten> done;
    {
        const std::lock_guard<std::mutex> lock(writtenLock_);
        done.swap(written_);
    }
    if (done.empty()) return;
    bool added = false;
    for (const TWritten& w : done) {
        const auto job =
            std::find_if(pending_.begin(), pending_.end(), [&w](const TPending& p) { return p.id == w.id; });
        if (job == pending_.end()) continue;
        if (!w.file.isEmpty()) {
            job->entry.file = w.file;
            entries_.push_back(std::move(job->entry));
            added = true;
        }
        pending_.erase(job); // the share of the pixels goes here, on this thread
    }
    if (!added) return;
    SortNewestFirst(entries_);
    QueueIndexWrite(FilesOf(Trim()));
    emit Changed();
}

bool TCaptureHistory::Remove(const QString& file) {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [&file](const THistoryEntry& e) { return e.file == file; });
    if (it == entries_.end()) return false;
    entries_.erase(it);
    QueueIndexWrite({file});
    emit Changed();
    return true;
}

void TCaptureHistory::QueueIndexWrite(QStringList removedFiles) {
    QByteArray text;
    for (const THistoryEntry& e : entries_)
        text += LineOf(e);
    const QString folder = folder_;
    worker_->start([folder, text = std::move(text), removedFiles = std::move(removedFiles)] {
        QDir().mkpath(folder);
        QSaveFile index(folder + kIndexName);
        // A failed write keeps the old index, whose entries then come back once more.
        if (index.open(QIODevice::WriteOnly) && index.write(text) == text.size()) index.commit();
        // The files go only once the index no longer names them.
        for (const QString& file : removedFiles) {
            QFile::remove(folder + file);
            QFile::remove(folder + HistoryThumbName(file));
        }
    });
}

void TCaptureHistory::WaitForWrites() {
    for (;;) {
        worker_->waitForDone();
        {
            const std::lock_guard<std::mutex> lock(writtenLock_);
            if (written_.empty() && pending_.empty()) break;
        }
        TakeWritten(); // may queue the index again
    }
    worker_->waitForDone();
}
