// What follows a text capture: the picture goes to the recognition worker (queued behind one that
// runs), a result window shows near the selection while it works, and the text found goes to the
// clipboard (the codes' texts when no other text is found; nothing when nothing is). The picture is
// kept only until its window closes, and becomes the current capture only when the user asks.
//
// The languages are a setting (the data installed, found at run time; all of them by default), chosen
// in the result window: a new choice reads the same picture again and stays for later captures.
#pragma once

#include "DIBmp.h"
#include "TextRecognition.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRect>

#include <functional>
#include <map>
#include <memory>

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
    // Without a recognition (the module missing) every text capture says so.
    TTextCapture(TWiring wiring, std::unique_ptr<ITextRecognition> recognition, QObject* parent = nullptr);
    ~TTextCapture() override;

    void Recognise(TCapturePictures pictures);
    // The window of the latest capture (null once it has closed).
    TTextResultWindow* LatestWindow() const;
    ITextRecognition* Recognition() const { return recognition_.get(); }

    // The result window's language entries for the languages installed (in the engine's order): all of
    // them first (data empty), then each alone (data its name).
    static QList<QPair<QString, QString>> LanguageEntries(const QStringList& languages);

    // The text module beside the program, or in its module folder once installed; none when it is
    // missing or does not load, with the loader's reason in `failure`.
    static std::unique_ptr<ITextRecognition> LoadModule(const QString& programDir,
                                                        QString* failure = nullptr);
    // Why there is no recognition, told by every text capture then.
    void SetModuleFailure(const QString& why) { moduleFailure_ = why; }

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
    std::unique_ptr<ITextRecognition> recognition_;
    std::map<int, TPending> requests_;
    QPointer<TTextResultWindow> latest_;
    int missing_ = 0; // the numbers of captures kept without a recognition count down from -1
    QString moduleFailure_;
};
