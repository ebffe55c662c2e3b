// The overlay's acoustic feedback: short WAV files, played asynchronously.
//
// One sound at a time: a new sound stops the one playing, except a sound asked with
// SND_NOSTOP, which is skipped while another still plays. A missing or unplayable file is silence.
// Whether a sound still plays is judged by the program's own clock and the file's length, because
// an audio output without a device reports "playing" forever.
#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

inline constexpr unsigned SND_NOSTOP = 0x10;

// Where the sound goes. The real one is Qt Multimedia in a module beside the program; tests record.
class ISoundOutput {
  public:
    virtual ~ISoundOutput() = default;
    virtual void Play(const QString& path) = 0; // returns at once
    virtual void Stop() = 0;
};

class TSoundPlayer {
  public:
    using Clock = std::function<std::chrono::milliseconds()>;
    // Without arguments: the sound module's output and the steady clock.
    TSoundPlayer();
    TSoundPlayer(std::unique_ptr<ISoundOutput> output, Clock clock);
    ~TSoundPlayer();

    // Plays `folder` + `fileName` when that file exists. Returns whether a sound was started.
    bool Play(const QString& folder, const QString& fileName, unsigned extraFlags = 0);
    bool Playing() const;

  private:
    std::unique_ptr<ISoundOutput> output_;
    Clock clock_;
    std::chrono::milliseconds playingUntil_{0};
};

// Where the sounds and the sound module are, for a program in `programDir`: beside it (the build
// tree, or a folder laid out by hand), else where an install put them, found from the program's own
// place so that any prefix works (<prefix>/libexec/vexmor -> <prefix>/share/vexmor/sounds and
// <prefix>/lib/<triplet>/vexmor, or lib/vexmor without a multiarch folder). The sound folder counts
// where it holds any .wav file; when neither place has the files, the answer is the place beside the
// program, so the sounds are silence. A folder ends with "/".
QString FindSoundFolder(const QString& programDir);
QString FindSoundModule(const QString& programDir);

// The sound module for this program, and an output that loads a module with its first sound and
// stays silent when the module is missing or broken.
QString SoundModulePath();
std::unique_ptr<ISoundOutput> MakeModuleSoundOutput(const QString& modulePath);

// Length of a PCM WAV file; zero when the file is not one.
std::chrono::milliseconds WavDuration(const QString& path);

// The process-wide player, made on first use and released when the application quits (or by
// ReleaseSounds; a later sound makes a new one).
TSoundPlayer& SoundPlayer();
void ReleaseSounds();
// Plays one of the overlay's sounds from the program's sound folder.
void PlayOverlaySound(const QString& fileName, unsigned extraFlags = 0);
