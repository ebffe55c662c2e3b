// The picture the program offers on the clipboard. A 4K capture is 25 MB of raw pixels, and the
// program that owns the clipboard must keep its content for as long as it does; so the raw picture only
// bridges the first moments. A worker thread writes it once as PNG into an unnamed temporary file (opened
// and unlinked at once: nothing stays on disk, the bytes live in the page cache), then the GUI thread
// switches over to the file and lets the raw picture go. Until then, and for good when the file cannot
// be written, requests are answered from the raw picture.
//
// Ownership and threads: the raw picture is a share of the caller's image (no copy at the moment a
// capture is at its largest), so the caller must not write into that image's pixels while it is held;
// TDIB's share count is not thread-safe, so only the GUI thread ever makes or drops a share, and the
// worker only reads the pixels. The mime data owns the worker and joins it before it lets the pixels go:
// at the switch (the worker is done) and in its destructor (a newer copy, another program taking the
// clipboard, exit), which first tells the worker to stop at its next write.
#pragma once

#include <QImage>
#include <QMimeData>
#include <QStringList>

#include <functional>
#include <memory>
#include <thread>

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
    // Shares `image` (24 bits, or 32 bits premultiplied) and starts the worker. An empty image offers
    // nothing and starts no worker.
    explicit TClipboardPicture(const TDIB& image, TClipboardPictureOptions options = {});
    ~TClipboardPicture() override;

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    // True once requests are answered from the file.
    bool Spooled() const { return spoolFd_ >= 0; }
    // True while the raw picture is held (its share is dropped at the switch).
    bool HoldsRawPicture() const;
    // Workers of all pictures that have not finished yet.
    static int RunningWorkers();

  signals:
    // The worker's result was taken: true when the picture is now served from the file.
    void SpoolFinished(bool spooled);

  protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

  private:
    struct TJob;
    static void RunWorker(TClipboardPicture* receiver, TJob* job, const TDIB* picture,
                          TClipboardPictureOptions options);
    void TakeResult();
    QByteArray PngBytes() const;
    QImage Picture() const;

    std::unique_ptr<TDIB> raw_;
    std::unique_ptr<TJob> job_;
    std::thread worker_;
    int spoolFd_ = -1;
    qint64 spoolSize_ = 0;
    int pngLevel_ = 1;
    bool hasAlpha_ = false;
};
