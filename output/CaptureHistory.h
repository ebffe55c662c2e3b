// The history of captures: every confirmed capture kept as a PNG file (with its alpha) in the work
// folder's "history" subfolder, beside a small thumbnail picture made with it, and listed in an index
// file there, newest first, up to a number of entries (older ones go with their files).
//
// The index, "index.jsonl", holds one entry a line as a JSON object:
//   {"file":"20261211-094452-123.png","time":"2026-12-11T09:44:52.123Z","name":"Title","size":[w,h]}
// with "place":[x,y] added when the capture's place on the desktop is known. It is rewritten whole
// through QSaveFile, so it is either the old or the new one. A line that does not read, an entry
// whose picture has gone or that names anything but a picture of this folder is left out, and the
// other entries stay; a picture of the folder named by its time that no entry names (its entry was
// lost with a damaged line, or the program ended between the picture and the index) comes back as an
// entry of its own, without a name.
//
// Threads: the pictures and the index are written by one worker thread, in the order they were asked
// for, so neither the capture nor the interface waits for the disk. Add holds a share of the
// capture's pixels until the worker has written them; the worker only reads those pixels, and the
// shares are made and dropped on the thread that owns the history (TDIB's share count is not
// thread-safe). The list itself lives on that thread only. The destructor waits for the worker.
#pragma once

#include "DIBmp.h"

#include <QDateTime>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <list>
#include <memory>
#include <mutex>
#include <vector>

class QThreadPool;

struct THistoryEntry {
    QString file;      // the picture's file name in the history folder
    QDateTime time;    // when the capture was confirmed (UTC)
    QString name;      // the capture's title then (may be empty)
    QSize size;        // the picture's size in pixels
    QRect desktopRect; // where it was taken on the desktop; null when not known

    bool operator==(const THistoryEntry&) const = default;
};

// The thumbnail's largest size: a capture is scaled down to fit inside, never up.
inline constexpr QSize kHistoryThumbSize(120, 80);
// How many entries the history keeps unless told otherwise, and the most it can be told.
inline constexpr int kHistoryKeepDefault = 100;
inline constexpr int kHistoryKeepMost = 1000;

// The folder's name below the work folder.
QString HistoryFolderName();
// The thumbnail's file name beside a picture: "x.png" -> "x.thumb.png".
QString HistoryThumbName(const QString& file);
// The size in the header of a PNG file, without decoding it; invalid when the file is no PNG.
QSize PngFileSize(const QString& path);

class TCaptureHistory : public QObject {
    Q_OBJECT

  public:
    // Reads the index of `folder` (made when the first capture comes). An index that needs mending (a
    // damaged line, a missing picture, a picture found without entry) is written anew.
    explicit TCaptureHistory(QString folder, int keep = kHistoryKeepDefault, QObject* parent = nullptr);
    ~TCaptureHistory() override;

    QString Folder() const { return folder_; }
    // Newest first.
    const std::vector<THistoryEntry>& Entries() const { return entries_; }
    QString PicturePath(const THistoryEntry& entry) const { return folder_ + entry.file; }
    QString ThumbnailPath(const THistoryEntry& entry) const { return folder_ + HistoryThumbName(entry.file); }

    // How many entries to keep (0 to kHistoryKeepMost): taken at the next capture, which removes the
    // older ones then; 0 keeps no capture.
    void SetKeep(int keep);
    int Keep() const { return keep_; }

    // Records a capture (32-bit premultiplied; a 24-bit one is kept opaque). Its files are written on
    // the worker; the entry joins the list when they are there (Changed), and the oldest ones beyond
    // the number to keep go. A picture that cannot be written is left out; nothing else changes.
    void Add(const TDIB& capture, const QString& name, QRect desktopRect = {},
             QDateTime time = QDateTime::currentDateTimeUtc());
    // Removes the entry of this picture file and its files; false when no entry has it.
    bool Remove(const QString& file);
    // Waits until every capture asked for has its files and the index is written, and takes them into
    // the list (tests, the end of the program).
    void WaitForWrites();
    // Captures whose files are still being written.
    int PendingCaptures() const { return int(pending_.size()); }

  signals:
    // The list changed (an entry came, went or was trimmed).
    void Changed();

  private:
    struct TPending;
    struct TWritten;
    void Load();
    // Takes the captures the worker has finished into the list.
    void TakeWritten();
    // Writes the list as it is now, then removes the files of entries that went.
    void QueueIndexWrite(QStringList removedFiles = {});
    std::vector<THistoryEntry> Trim();

    QString folder_;
    int keep_;
    std::vector<THistoryEntry> entries_;
    // Captures handed to the worker, each holding its share of the pixels (this thread's only).
    std::list<TPending> pending_;
    // What the worker has finished, waiting to be taken on this thread.
    std::mutex writtenLock_;
    std::vector<TWritten> written_;
    std::unique_ptr<QThreadPool> worker_;
};
