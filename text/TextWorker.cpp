#include "TextWorker.h"

#include "TextPicture.h"

#include <chrono>
#include <exception>

namespace {
double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}
} // namespace

TTextResult RecognisePicture(TTextEngine& engine, const TDIB& picture, const std::atomic<bool>* cancel) {
    const auto start = std::chrono::steady_clock::now();
    TTextResult result;
    const TTextPicture prepared = PrepareTextPicture(picture);
    result.codes = ReadCodes(prepared.unscaled);
    if (!cancel || !cancel->load()) result.text = engine.Recognise(prepared.grey, cancel);
    // The squares of a code read as text are noise: a picture that is mostly a code gives only it.
    if (!result.codes.empty() && prepared.lineHeight * 2 > picture.Height()) result.text.clear();
    result.cancelled = cancel && cancel->load();
    result.recogniseMs = MsSince(start);
    return result;
}

TTextWorker::TTextWorker(QObject* parent) : QObject(parent) {
    qRegisterMetaType<TTextResult>();
    thread_ = std::thread([this] { Run(); });
}

TTextWorker::~TTextWorker() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        queue_.clear();
        cancelRunning_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void TTextWorker::SetLanguages(const QStringList& languages) {
    std::lock_guard<std::mutex> guard(lock_);
    languages_ = languages;
}

int TTextWorker::Recognise(const TDIB& picture) {
    int id;
    {
        std::lock_guard<std::mutex> guard(lock_);
        id = nextId_++;
        // The worker reads the pixels while the caller may go on drawing into its own: a private copy.
        TDIB own;
        own.CreateCopy(picture, true);
        queue_.push_back({id, own});
    }
    wake_.notify_one();
    return id;
}

void TTextWorker::Cancel(int request) {
    bool dropped = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (running_ == request) {
            cancelRunning_ = true;
            return;
        }
        for (auto it = queue_.begin(); it != queue_.end(); ++it)
            if (it->id == request) {
                queue_.erase(it);
                dropped = true;
                break;
            }
    }
    if (dropped) {
        TTextResult result;
        result.cancelled = true;
        emit Finished(request, result);
    }
}

int TTextWorker::Pending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return int(queue_.size()) + (running_ ? 1 : 0);
}

void TTextWorker::Run() {
    TTextEngine engine;
    for (;;) {
        TRequest request;
        QStringList languages;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            request = std::move(queue_.front());
            queue_.pop_front();
            running_ = request.id;
            cancelRunning_ = false;
            languages = languages_;
        }
        emit Started(request.id);
        TTextResult result;
        const auto loadStart = std::chrono::steady_clock::now();
        const QStringList usable = TTextEngine::UsableLanguages(languages);
        const bool loading = !engine.Loaded() || engine.Languages() != usable;
        if (engine.Load(usable)) {
            if (loading) result.loadMs = MsSince(loadStart);
            const double loadMs = result.loadMs;
            try {
                result = RecognisePicture(engine, request.picture, &cancelRunning_);
            } catch (const std::exception&) {
                result = TTextResult{};
                result.failed = true;
            }
            result.loadMs = loadMs;
        } else {
            result.engineMissing = true;
        }
        request.picture.Clear();
        {
            std::lock_guard<std::mutex> guard(lock_);
            running_ = 0;
            if (stopping_) return;
        }
        emit Finished(request.id, result);
    }
}

namespace {
class TWorkerRecognition : public ITextRecognition {
  public:
    void SetFinished(std::function<void(int, const TTextResult&)> finished) override {
        QObject::disconnect(&worker_, &TTextWorker::Finished, nullptr, nullptr);
        QObject::connect(&worker_, &TTextWorker::Finished, &worker_, std::move(finished),
                         Qt::DirectConnection);
    }
    void SetLanguages(const QStringList& languages) override { worker_.SetLanguages(languages); }
    int Recognise(const TDIB& picture) override { return worker_.Recognise(picture); }
    void Cancel(int request) override { worker_.Cancel(request); }
    int Pending() const override { return worker_.Pending(); }
    QStringList Languages() const override { return TTextEngine::UsableLanguages({}); }

  private:
    TTextWorker worker_;
};
} // namespace

std::unique_ptr<ITextRecognition> MakeWorkerRecognition() {
    return std::make_unique<TWorkerRecognition>();
}

extern "C" Q_DECL_EXPORT ITextRecognition* VexmorCreateTextRecognition() {
    return MakeWorkerRecognition().release();
}
