// Dragging the capture out as a file.
//
// The drag offers a file that does not exist yet: its path is fixed when the drag starts, and the
// file is written only when a target that accepted the drop asks for the data after the button was
// released. Requests a target makes while the drag is still running (some read the list as soon as
// the pointer enters them) are answered with the path but write nothing; a cancelled or refused
// drag never writes. When writing fails the target receives nothing, so it is never handed a path
// without a file.
//
// On Wayland the drag loop runs on until the target is done with the drop: the target reads the list
// after the release but before the source learns that the drop took place, and a target that read it
// on entering never asks again. There (SetWritesWhileDragging) every request writes the file, and a
// drag that ends without an accepted drop removes what it wrote, so that it leaves nothing behind.
//
// Encoding a large capture takes long (a second for a 4K PNG), too long to do while the target waits
// and the card stands still: the file's bytes are made on a worker thread from the start of the drag
// (TPreparedFile), and the drop only writes them, waiting for the worker with the event loop running
// when the user let go early.
#pragma once

#include <QByteArray>
#include <QMimeData>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

// The bytes of the drop's file, made on a worker thread. The work gets a flag that turns true when
// the bytes are no longer wanted, and should stop soon after. The object owns the thread: it cancels
// and joins it when destroyed, so the work never outlives what it reads.
class TPreparedFile {
  public:
    using TWork = std::function<std::optional<QByteArray>(const std::atomic_bool& cancelled)>;

    // Starts `work` at once. `stillCurrent` tells at the drop whether these bytes are still what the
    // drop would write (the capture or its settings may have changed during the drag); none: always.
    explicit TPreparedFile(TWork work, std::function<bool()> stillCurrent = {});
    ~TPreparedFile();
    TPreparedFile(const TPreparedFile&) = delete;
    TPreparedFile& operator=(const TPreparedFile&) = delete;

    // The bytes are not wanted: the work is asked to stop, and what it made is dropped.
    void Cancel();
    // Cancel and wait for the worker to end (without running the event loop).
    void CancelAndJoin();
    bool Cancelled() const { return cancelled_.load(); }
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    bool StillCurrent() const { return !Cancelled() && (!stillCurrent_ || stillCurrent_()); }
    // Waits until the worker is done, running the event loop meanwhile (timers and posted events, no
    // user input), so the card keeps moving. Safe to call again from a nested request.
    void Wait();
    // Waits, then hands out the bytes once; nothing when the work failed, was cancelled or was taken.
    std::optional<QByteArray> Take();

  private:
    void Start();

    TWork work_;
    std::function<bool()> stillCurrent_;
    std::atomic_bool cancelled_{false};
    std::atomic_bool finished_{false};
    std::optional<QByteArray> result_; // written by the worker before finished_, read after it
    std::thread thread_;
};

// Writes the capture for an accepted drop; returns the path written (a free variant of the offered
// one when that name was taken meanwhile) or an empty string when it failed. `prepared` holds the
// bytes made during the drag, if any.
using TDropWriter = std::function<QString(const QString& offeredPath, TPreparedFile* prepared)>;

// The formats offered: the URL list and the copy list that file managers read.
inline const QString kUriListFormat = QStringLiteral("text/uri-list");
inline const QString kCopiedFilesFormat = QStringLiteral("x-special/gnome-copied-files");

class TDragFileData : public QMimeData {
  public:
    enum TPhase { Dragging, Accepted, Refused, Writing, Written, Failed };

    TDragFileData(const QString& offeredPath, TDropWriter writer,
                  std::unique_ptr<TPreparedFile> prepared = {});
    ~TDragFileData() override;

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    // The drag loop ended (the button was released or the drag cancelled); `accepted` tells whether
    // a target took the drop with copy or move. Only then does the next request write the file; a
    // refused drag drops the bytes made for it.
    void DragEnded(bool accepted);
    // Requests during the drag write the file (the drag loop outlasts the drop, see above); a drag
    // that then ends refused removes the file it wrote.
    void SetWritesWhileDragging(bool on) { writesWhileDragging_ = on; }
    // The bytes made ahead, if any (kept until the data goes, emptied once written).
    TPreparedFile* Prepared() const { return prepared_.get(); }
    // The capture is gone: stop making its bytes and wait for the worker.
    void DiscardPrepared();
    TPhase Phase() const { return phase_; }
    QString OfferedPath() const { return offered_; }
    // The file written for the drop; empty until then and after a failure.
    QString WrittenPath() const { return written_; }
    // The file written during a drag that then ended refused, and removed again; empty otherwise.
    QString RemovedPath() const { return removed_; }
    // How often the writer ran (at most once).
    int WriteCount() const { return writes_; }

    // The bytes of one format for a path.
    static QByteArray Render(const QString& mimeType, const QString& path);

  protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

  private:
    // Writes the file unless a nested request did meanwhile; the phase is Written or Failed after it.
    void WriteOnce() const;

    QString offered_;
    TDropWriter writer_;
    std::unique_ptr<TPreparedFile> prepared_;
    bool writesWhileDragging_ = false;
    mutable TPhase phase_ = Dragging;
    mutable QString written_;
    QString removed_;
    mutable int writes_ = 0;
};
