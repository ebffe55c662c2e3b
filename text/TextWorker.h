// Recognition off the interface thread: requests wait in a queue and are taken one at a time by a
// worker thread that keeps the engine loaded for the life of the worker. Results come back as a
// signal, delivered on the thread the worker object lives on.
#pragma once

#include "CodeReader.h"
#include "DIBmp.h"
#include "TextEngine.h"
#include "TextRecognition.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The whole recognition of one picture (24 or 32 bits) with a loaded engine.
TTextResult RecognisePicture(TTextEngine& engine, const TDIB& picture,
                             const std::atomic<bool>* cancel = nullptr);

class TTextWorker : public QObject {
    Q_OBJECT
  public:
    explicit TTextWorker(QObject* parent = nullptr);
    ~TTextWorker() override; // cancels what runs, drops what waits, and joins the thread

    // The languages to load for the next request (UsableLanguages of them; all installed ones when
    // empty).
    void SetLanguages(const QStringList& languages);
    // Queues a picture; the number names the request in the signals.
    int Recognise(const TDIB& picture);
    // A waiting request is dropped, a running one stops early; either ends with a cancelled result.
    void Cancel(int request);
    // Requests waiting or running.
    int Pending() const;

  signals:
    void Started(int request);
    void Finished(int request, const TTextResult& result);

  private:
    struct TRequest {
        int id;
        TDIB picture;
    };
    void Run();

    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::deque<TRequest> queue_;
    QStringList languages_;
    int nextId_ = 1;
    int running_ = 0; // the running request's number, 0 when none
    bool stopping_ = false;
    std::atomic<bool> cancelRunning_{false};
    std::thread thread_;
};

// The worker behind the program's interface (what the text module hands out).
std::unique_ptr<ITextRecognition> MakeWorkerRecognition();
