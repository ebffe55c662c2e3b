// The picture the program offers on the clipboard. A 4K capture is 25 MB of raw pixels, and the
// program that owns the clipboard must keep its content for as long as it does; so the raw copy only
// bridges the first moments. A worker thread writes it once as PNG into an unnamed temporary file (opened
// and unlinked at once: nothing stays on disk, the bytes live in the page cache), then the GUI thread
// switches over to the file and lets the raw copy go. Until then, and for good when the file cannot be
// written, requests are answered from the raw copy.
//
// Ownership: the mime data owns its raw copy and the file descriptor once the switch is made; the
// worker holds shared references to the raw copy and to its own job, never to the mime data, so the mime
// data may be deleted (a newer copy, another program taking the clipboard, exit) while the worker runs.
#pragma once

#include <QImage>
#include <QMimeData>
#include <QStringList>

#include <functional>
#include <memory>

class TDIB;

struct TClipboardPictureOptions {
    // Folders tried in turn for the unnamed file; empty: the user's runtime folder, then the temp folder.
    QStringList spoolFolders;
    // zlib level of the spooled PNG and of a PNG made on request before the switch: fast, because a
    // paste may wait for it and the file's size only costs page cache.
    int pngLevel = 1;
    // Runs on the worker before it encodes (lets a test hold the worker at a known point).
    std::function<void()> beforeEncode;
};

class TClipboardPicture : public QMimeData {
    Q_OBJECT

public:
    // Takes a private copy of `image` (24 bits, or 32 bits premultiplied) and starts the worker. An
    // empty image offers nothing and starts no worker.
    explicit TClipboardPicture(const TDIB& image, TClipboardPictureOptions options = {});
    ~TClipboardPicture() override;

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    // True once requests are answered from the file.
    bool Spooled() const { return spoolFd_ >= 0; }
    // The raw copy; expires when the switch is made and the worker has let go of it.
    std::weak_ptr<const TDIB> RawPicture() const { return raw_; }
    // Workers of all pictures that have not finished yet.
    static int RunningWorkers();

signals:
    // The worker's result was taken: true when the picture is now served from the file.
    void SpoolFinished(bool spooled);

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    struct TJob;
    static void RunWorker(std::shared_ptr<TJob> job, std::shared_ptr<const TDIB> picture,
                          TClipboardPictureOptions options);
    void TakeResult(const std::shared_ptr<TJob>& job);
    QByteArray PngBytes() const;
    QImage Picture() const;

    std::shared_ptr<const TDIB> raw_;
    std::shared_ptr<TJob> job_;
    int spoolFd_ = -1;
    qint64 spoolSize_ = 0;
    int pngLevel_ = 1;
    bool hasAlpha_ = false;
};
