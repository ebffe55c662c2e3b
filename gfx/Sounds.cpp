#include "Sounds.h"

#include "Globals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>

namespace {

// Loads the sound module with the first sound. Without the module (or with one
// that does not load) every sound is silence, as without an audio device.
class TModuleSoundOutput : public ISoundOutput {
  public:
    explicit TModuleSoundOutput(QString modulePath) : modulePath_(std::move(modulePath)) {}
    void Play(const QString& path) override {
        if (!Load()) return;
        output_->Play(path);
    }
    void Stop() override {
        if (output_) output_->Stop();
    }

  private:
    bool Load() {
        if (output_ || tried_) return output_ != nullptr;
        tried_ = true;
        // The module stays loaded once it is: Qt Multimedia keeps threads and registrations that
        // must not lose their code.
        QLibrary module(modulePath_);
        module.setLoadHints(QLibrary::PreventUnloadHint);
        using Create = ISoundOutput* (*)();
        if (auto create = reinterpret_cast<Create>(module.resolve("VexmorCreateSoundOutput")))
            output_.reset(create());
        return output_ != nullptr;
    }

    QString modulePath_;
    bool tried_ = false;
    std::unique_ptr<ISoundOutput> output_;
};

quint32 ReadLE32(const uchar* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | quint32(p[3]) << 24;
}

} // namespace

std::chrono::milliseconds WavDuration(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray head = file.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE") return {};
    quint32 byteRate = 0;
    // Walk the chunks: "fmt " gives the byte rate, "data" the length.
    for (int guard = 0; guard < 64; ++guard) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8) return {};
        const quint32 size = ReadLE32(reinterpret_cast<const uchar*>(chunk.constData()) + 4);
        if (chunk.startsWith("fmt ")) {
            const QByteArray fmt = file.read(size);
            if (fmt.size() < 16) return {};
            byteRate = ReadLE32(reinterpret_cast<const uchar*>(fmt.constData()) + 8);
            if (size & 1) file.skip(1);
        } else if (chunk.startsWith("data")) {
            if (byteRate == 0) return {};
            const quint64 bytes = std::min<quint64>(size, quint64(file.size() - file.pos()));
            return std::chrono::milliseconds(bytes * 1000 / byteRate);
        } else {
            // Chunks are padded to even sizes; in 64 bits, so the largest size cannot wrap to 0.
            const qint64 padded = qint64(size) + (size & 1);
            if (file.skip(padded) != padded) return {};
        }
    }
    return {};
}

namespace {

bool HoldsSounds(const QString& folder) {
    return !QDir(folder).entryList({QStringLiteral("*.wav")}, QDir::Files).isEmpty();
}

} // namespace

// The installed places are paths relative to the program's folder that the build works out from the
// install directories, so a tree moved to or installed under another prefix keeps finding them.
QString FindSoundFolder(const QString& programDir) {
    const QString beside = QDir::cleanPath(programDir) + u'/';
    if (HoldsSounds(beside)) return beside;
    const QString installed =
        QDir::cleanPath(programDir + QStringLiteral("/" VEXMOR_SOUNDS_FROM_PROGRAM)) + u'/';
    return HoldsSounds(installed) ? installed : beside;
}

QString FindSoundModule(const QString& programDir) {
    const QString beside = QDir::cleanPath(programDir + QStringLiteral("/" VEXMOR_SOUND_MODULE));
    if (QFileInfo::exists(beside)) return beside;
    const QString installed = QDir::cleanPath(
        programDir + QStringLiteral("/" VEXMOR_SOUND_MODULE_FROM_PROGRAM "/" VEXMOR_SOUND_MODULE));
    return QFileInfo::exists(installed) ? installed : beside;
}

QString SoundModulePath() {
    return FindSoundModule(QCoreApplication::applicationDirPath());
}

std::unique_ptr<ISoundOutput> MakeModuleSoundOutput(const QString& modulePath) {
    return std::make_unique<TModuleSoundOutput>(modulePath);
}

TSoundPlayer::TSoundPlayer()
    : TSoundPlayer(MakeModuleSoundOutput(SoundModulePath()), [] {
          return std::chrono::duration_cast<std::chrono::milliseconds>(
              std::chrono::steady_clock::now().time_since_epoch());
      }) {}

TSoundPlayer::TSoundPlayer(std::unique_ptr<ISoundOutput> output, Clock clock)
    : output_(std::move(output)), clock_(std::move(clock)) {}

TSoundPlayer::~TSoundPlayer() = default;

bool TSoundPlayer::Playing() const {
    return clock_() < playingUntil_;
}

bool TSoundPlayer::Play(const QString& folder, const QString& fileName, unsigned extraFlags) {
    const QString path = folder + fileName;
    if (!QFileInfo(path).isFile()) return false;
    if ((extraFlags & SND_NOSTOP) && Playing()) return false;
    output_->Play(path);
    playingUntil_ = clock_() + WavDuration(path);
    return true;
}

namespace {
std::unique_ptr<TSoundPlayer> gPlayer;
} // namespace

// Qt's sound objects must go before the application object does: a player left for the C++ exit
// handlers crashes in Qt's sample cache.
void ReleaseSounds() {
    gPlayer.reset();
}

TSoundPlayer& SoundPlayer() {
    if (!gPlayer) {
        gPlayer = std::make_unique<TSoundPlayer>();
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QObject::connect(app, &QCoreApplication::aboutToQuit, app, &ReleaseSounds);
            qAddPostRoutine(&ReleaseSounds);
        }
    }
    return *gPlayer;
}

void PlayOverlaySound(const QString& fileName, unsigned extraFlags) {
    SoundPlayer().Play(SoundFolder, fileName, extraFlags);
}
