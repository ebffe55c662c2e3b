#include "TextCapture.h"

#include "TextResultWindow.h"

#include "CaptureTiming.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibrary>

namespace {
QStringList LanguageList(const QString& setting) {
    return setting.split(QLatin1Char('+'), Qt::SkipEmptyParts);
}

QString LanguageName(const QString& language) {
    if (language == QLatin1String("eng")) return TTextCapture::tr("英文");
    if (language == QLatin1String("chi_sim")) return TTextCapture::tr("简体中文");
    if (language == QLatin1String("chi_tra")) return TTextCapture::tr("繁体中文");
    return language;
}
} // namespace

TTextCapture::TTextCapture(TWiring wiring, std::unique_ptr<ITextRecognition> recognition, QObject* parent)
    : QObject(parent), wiring_(std::move(wiring)), recognition_(std::move(recognition)) {
    qRegisterMetaType<TTextResult>();
    if (recognition_)
        recognition_->SetFinished([this](int request, const TTextResult& result) {
            // From the recognition's thread: handled on this object's.
            QMetaObject::invokeMethod(
                this, [this, request, result] { Finished(request, result); }, Qt::QueuedConnection);
        });
}

std::unique_ptr<ITextRecognition> TTextCapture::LoadModule(const QString& programDir, QString* failure) {
    QString path = QDir::cleanPath(programDir + QStringLiteral("/" VEXMOR_TEXT_MODULE));
    if (!QFileInfo::exists(path))
        path = QDir::cleanPath(programDir +
                               QStringLiteral("/" VEXMOR_TEXT_MODULE_FROM_PROGRAM "/" VEXMOR_TEXT_MODULE));
    // Kept loaded once it is: the engine's threads and caches must not lose their code.
    QLibrary module(path);
    module.setLoadHints(QLibrary::PreventUnloadHint);
    // (The engine's OpenMP threads are limited by the launcher: the OpenMP library comes with the
    // program's own libraries.)
    const auto create = module.load()
                            ? reinterpret_cast<ITextRecognition* (*)()>(module.resolve(TextRecognitionEntry))
                            : nullptr;
    std::unique_ptr<ITextRecognition> made(create ? create() : nullptr);
    if (!made && failure) *failure = module.errorString();
    return made;
}

TTextCapture::~TTextCapture() {
    // The recognition stops before the windows go; their cancel reaches back here: they go quietly.
    recognition_.reset();
    for (auto& [id, pending] : requests_)
        if (pending.window) {
            pending.window->disconnect(this);
            delete pending.window;
        }
}

QList<QPair<QString, QString>> TTextCapture::LanguageEntries(const QStringList& languages) {
    QList<QPair<QString, QString>> entries;
    QStringList names;
    for (const QString& l : languages)
        names << LanguageName(l);
    entries.append({tr("全部（%1）").arg(names.join(tr("、"))), QString()});
    if (languages.size() > 1)
        for (const QString& l : languages)
            entries.append({LanguageName(l), l});
    return entries;
}

void TTextCapture::Recognise(TCapturePictures pictures) {
    TTextResultWindow::TWiring w;
    // The closures find the window's current request: choosing a language makes a new one.
    auto* window = new TTextResultWindow({});
    w.cancel = [this, window] {
        if (recognition_) recognition_->Cancel(RequestOf(window));
    };
    w.savePicture = [this, window] {
        const auto it = requests_.find(RequestOf(window));
        if (it == requests_.end() || !wiring_.keepAsPicture) return;
        const TCapturePictures kept = it->second.pictures;
        window->close();
        wiring_.keepAsPicture(kept);
    };
    w.openUrl = wiring_.openUrl;
    w.languageChosen = [this, window](const QString& languages) { LanguageChosen(window, languages); };
    window->SetWiring(std::move(w));
    const QString setting = wiring_.languages ? wiring_.languages() : QString();
    window->OfferLanguages(LanguageEntries(recognition_ ? recognition_->Languages() : QStringList()),
                           setting);
    connect(window, &TTextResultWindow::Closed, this, [this, window] {
        // A finished request goes with its window; a busy one once its cancelled result is in.
        const auto it = requests_.find(RequestOf(window));
        if (it != requests_.end() && !window->Busy()) requests_.erase(it);
    });
    latest_ = window;
    const QRect where = pictures.desktopRect;
    Start({std::move(pictures), window});
    window->adjustSize();
    window->PlaceNear(where);
    window->show();
    window->raise();
    window->activateWindow();
}

void TTextCapture::Start(TPending pending) {
    if (!recognition_) {
        pending.window->ShowMessage(tr("无法载入文字识别模块：%1").arg(moduleFailure_));
        requests_[--missing_] = std::move(pending);
        return;
    }
    recognition_->SetLanguages(LanguageList(wiring_.languages ? wiring_.languages() : QString()));
    const int id = recognition_->Recognise(pending.pictures.captureImage);
    pending.window->ShowBusy();
    requests_[id] = std::move(pending);
}

TTextResultWindow* TTextCapture::LatestWindow() const {
    return latest_.data();
}

int TTextCapture::RequestOf(const TTextResultWindow* window) const {
    for (const auto& [id, pending] : requests_)
        if (pending.window == window) return id;
    return 0;
}

void TTextCapture::LanguageChosen(TTextResultWindow* window, const QString& languages) {
    if (wiring_.setLanguages) wiring_.setLanguages(languages);
    const auto it = requests_.find(RequestOf(window));
    if (it == requests_.end() || window->Busy()) return;
    TPending again = std::move(it->second);
    requests_.erase(it);
    Start(std::move(again));
}

void TTextCapture::Finished(int request, const TTextResult& result) {
    const auto it = requests_.find(request);
    if (it == requests_.end()) return;
    CaptureTimingLine(
        "text recognised: %lld characters, %d codes, engine load %.0f ms, recognition %.0f ms%s",
        static_cast<long long>(result.text.size()), int(result.codes.size()), result.loadMs,
        result.recogniseMs, result.cancelled ? " (cancelled)" : "");
    TTextResultWindow* window = it->second.window;
    if (result.cancelled || !window || !window->isVisible()) {
        requests_.erase(it);
        return;
    }
    if (result.engineMissing) {
        window->ShowMessage(
            tr("没有可用的文字识别语言数据（请安装 tesseract-ocr-eng 或 tesseract-ocr-chi-sim）。"));
        return;
    }
    if (result.failed) {
        window->ShowMessage(tr("文字识别失败：内存不足。"));
        return;
    }
    window->ShowResult(result.text, result.codes);
    const QString clip = result.ClipboardText();
    if (!clip.isEmpty()) QGuiApplication::clipboard()->setText(clip);
}
