// What follows a text capture: the picture goes to the recognition worker (queued behind one that
// runs), a result window shows near the selection while it works, and the text found goes to the
// clipboard (the codes' texts when no other text is found; nothing when nothing is). The picture is
// kept only until its window closes, and becomes the current capture only when the user asks.
//
// The languages are a setting (the data installed, found at run time; all of them by default), chosen
// in the result window: a new choice reads the same picture again and stays for later captures.
#pragma once

#include "DIBmp.h"
#include "TextWorker.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRect>

#include <functional>
#include <map>

class TTextResultWindow;

class TTextCapture : public QObject {
    Q_OBJECT
  public:
    struct TCapturePictures {
        TDIB captureImage, flatImage, previewImage;
        QPointF previewOrigin;
        QRect desktopRect;
    };
    struct TWiring {
        // Keeps the pictures as the current capture, with its after-capture handling.
        std::function<void(const TCapturePictures&)> keepAsPicture;
        std::function<void(const QString&)> openUrl;
        // The language setting: "+"-joined language names, empty for all installed ones.
        std::function<QString()> languages;
        std::function<void(const QString&)> setLanguages;
    };
    explicit TTextCapture(TWiring wiring, QObject* parent = nullptr);
    ~TTextCapture() override;

    void Recognise(TCapturePictures pictures);
    // The window of the latest capture (null once it has closed).
    TTextResultWindow* LatestWindow() const;
    TTextWorker& Worker() { return worker_; }

    // The result window's language entries: all installed languages first (data empty), then each
    // alone (data its name).
    static QList<QPair<QString, QString>> LanguageEntries(const QStringList& installed);

  private:
    struct TPending {
        TCapturePictures pictures;
        QPointer<TTextResultWindow> window;
    };
    // Queues the window's picture under a new request.
    void Start(TPending pending);
    void Finished(int request, const TTextResult& result);
    // The request a window waits for or shows.
    int RequestOf(const TTextResultWindow* window) const;
    void LanguageChosen(TTextResultWindow* window, const QString& languages);

    TWiring wiring_;
    TTextWorker worker_;
    std::map<int, TPending> requests_;
    QPointer<TTextResultWindow> latest_;
};
