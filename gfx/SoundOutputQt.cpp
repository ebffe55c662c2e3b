// The sound output through Qt Multimedia, built as a module of its own: the program loads it with
// the first sound, so a program that only waits in the tray never maps the multimedia libraries and
// the audio stack behind them.
#include "Sounds.h"

#include <QHash>
#include <QSoundEffect>
#include <QUrl>

namespace {

class TQtSoundOutput : public ISoundOutput {
  public:
    void Play(const QString& path) override {
        Stop();
        // Effects are kept per file: loading a WAV again for every play would delay it.
        auto& effect = effects_[path];
        if (!effect) {
            effect = std::make_unique<QSoundEffect>();
            effect->setSource(QUrl::fromLocalFile(path));
        }
        current_ = effect.get();
        current_->play();
    }
    void Stop() override {
        if (current_) current_->stop();
        current_ = nullptr;
    }

  private:
    QHash<QString, std::shared_ptr<QSoundEffect>> effects_;
    QSoundEffect* current_ = nullptr;
};

} // namespace

extern "C" Q_DECL_EXPORT ISoundOutput* VexmorCreateSoundOutput() {
    return new TQtSoundOutput;
}
