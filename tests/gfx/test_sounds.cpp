#include "Sounds.h"

#include <QDir>
#include <QLibrary>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

struct RecordingOutput : ISoundOutput {
    QStringList* log;
    explicit RecordingOutput(QStringList* l) : log(l) {}
    void Play(const QString& path) override { *log << "play " + QFileInfo(path).fileName(); }
    void Stop() override { *log << "stop"; }
};

class Sounds : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = dir.path() + "/";
        // Sounds of 100 ms and 200 ms: 8 kHz, 8-bit mono is 8 bytes per millisecond.
        WriteWav("Cap.wav", 1600);
        WriteWav("Blip.wav", 800);
        player =
            std::make_unique<TSoundPlayer>(std::make_unique<RecordingOutput>(&log), [this] { return now; });
    }
    void WriteWav(const QString& name, quint32 dataBytes, bool withListChunk = true) {
        QByteArray b;
        auto u32 = [&](quint32 v) { b.append(reinterpret_cast<const char*>(&v), 4); };
        auto u16 = [&](quint16 v) { b.append(reinterpret_cast<const char*>(&v), 2); };
        b += "RIFF";
        u32(0);
        b += "WAVE";
        if (withListChunk) { // chunks before "fmt " must be skipped, odd sizes padded
            b += "LIST";
            u32(3);
            b += "abc";
            b += '\0';
        }
        b += "fmt ";
        u32(16);
        u16(1), u16(1), u32(8000), u32(8000), u16(1), u16(8);
        b += "data";
        u32(dataBytes);
        b += QByteArray(int(dataBytes), '\x80');
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(b);
    }
    QTemporaryDir dir;
    QString folder;
    QStringList log;
    std::chrono::milliseconds now{1000};
    std::unique_ptr<TSoundPlayer> player;
};

TEST_F(Sounds, LengthOfAWavFile) {
    EXPECT_EQ(WavDuration(folder + "Cap.wav"), 200ms);
    WriteWav("Short.wav", 80000); // header claims more than the file holds: only what is there counts
    QFile::resize(dir.filePath("Short.wav"), 44 + 12 + 800);
    EXPECT_EQ(WavDuration(folder + "Short.wav"), 100ms);
    QFile junk(dir.filePath("junk.wav"));
    junk.open(QIODevice::WriteOnly);
    junk.write("RIFF\0\0\0\0WAVEdata");
    junk.close();
    EXPECT_EQ(WavDuration(folder + "junk.wav"), 0ms);
    // A chunk claiming 4 GiB - 1 bytes ends the file; padded in 32 bits it was a chunk of none.
    QFile cap(folder + "Cap.wav");
    cap.open(QIODevice::ReadOnly);
    junk.open(QIODevice::WriteOnly);
    junk.write(QByteArray("RIFF\0\0\0\0WAVEJUNK\xff\xff\xff\xff", 20) + cap.readAll().mid(12));
    junk.close();
    EXPECT_EQ(WavDuration(folder + "junk.wav"), 0ms);
    EXPECT_EQ(WavDuration(folder + "missing.wav"), 0ms);
}

TEST_F(Sounds, MissingFilesAreSilence) {
    EXPECT_FALSE(player->Play(folder, "ZoomIn.wav"));
    EXPECT_FALSE(player->Play("/nonexistent/", "Cap.wav"));
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(Sounds, NoStopSkipsWhileAnotherPlaysAndOnlyThen) {
    ASSERT_TRUE(player->Play(folder, "Cap.wav"));
    now += 150ms;
    EXPECT_FALSE(player->Play(folder, "Blip.wav", SND_NOSTOP)); // Cap still has 50 ms to go
    now += 60ms;
    EXPECT_TRUE(player->Play(folder, "Blip.wav", SND_NOSTOP));
    EXPECT_EQ(log, QStringList({"play Cap.wav", "play Blip.wav"}));
}

TEST_F(Sounds, ANewSoundCutsTheOldOneShort) {
    ASSERT_TRUE(player->Play(folder, "Cap.wav"));
    now += 10ms;
    ASSERT_TRUE(player->Play(folder, "Blip.wav")); // without the flag it always plays
    EXPECT_TRUE(player->Playing());
    now += 100ms;
    EXPECT_FALSE(player->Playing()); // judged by the new sound's length, not the old one's
}

// The real output comes from the module beside the program, loaded by the first sound.
TEST_F(Sounds, TheModuleLoadsWithTheFirstSoundAndStaysLoaded) {
    const QString module = QStringLiteral(VEXMOR_BUILD_DIR "/") + QFileInfo(SoundModulePath()).fileName();
    ASSERT_TRUE(QFileInfo::exists(module)) << module.toStdString();
    auto output = MakeModuleSoundOutput(module);
    output->Stop(); // nothing plays yet: no need for the module
    EXPECT_FALSE(QLibrary(module).isLoaded());
    output->Play(folder + "Blip.wav"); // without an audio device: silence, at once
    output->Stop();
    EXPECT_TRUE(QLibrary(module).isLoaded());
    output.reset();
    EXPECT_TRUE(QLibrary(module).isLoaded());
}

TEST_F(Sounds, AMissingOrBrokenModuleIsSilence) {
    QFile notALibrary(dir.filePath("broken.so"));
    ASSERT_TRUE(notALibrary.open(QIODevice::WriteOnly));
    notALibrary.write("\x7f"
                      "ELF but nothing more");
    notALibrary.close();
    for (const QString& module : {dir.filePath("missing.so"), dir.filePath("broken.so")}) {
        TSoundPlayer silent(MakeModuleSoundOutput(module), [this] { return now; });
        EXPECT_TRUE(
            silent.Play(folder, "Cap.wav")); // the file exists; where it goes is not the caller's care
        EXPECT_TRUE(silent.Play(folder, "Blip.wav"));
    }
}

// The places an install puts the sounds and the module, relative to its prefix, as this build's
// install rules name them.
class SoundPlaces : public ::testing::Test {
  protected:
    QString Under(const QString& relative) const { return QDir::cleanPath(root.path() + "/" + relative); }
    QString Program() const { return Under(VEXMOR_TEST_LIBEXECDIR "/vexmor"); }
    QString InstalledSounds() const { return Under(VEXMOR_TEST_DATADIR "/vexmor/sounds"); }
    QString InstalledModules() const { return Under(VEXMOR_TEST_MODULEDIR); }
    static void Touch(const QString& path) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    void SetUp() override { Touch(Program() + "/vexmor"); }
    QTemporaryDir root;
};

TEST_F(SoundPlaces, InstalledSoundsAreFoundFromTheProgramsFolder) {
    Touch(InstalledSounds() + "/Cap.wav");
    EXPECT_EQ(FindSoundFolder(Program()), InstalledSounds() + "/");
    // However the program's folder is spelt.
    EXPECT_EQ(FindSoundFolder(Program() + "/"), InstalledSounds() + "/");
    EXPECT_EQ(FindSoundFolder(Program() + "/../vexmor"), InstalledSounds() + "/");
}

TEST_F(SoundPlaces, SoundsBesideTheProgramComeFirst) {
    Touch(InstalledSounds() + "/Cap.wav");
    Touch(Program() + "/ZoomIn.wav");
    EXPECT_EQ(FindSoundFolder(Program()), Program() + "/");
}

TEST_F(SoundPlaces, AFolderWithoutWavFilesHoldsNoSounds) {
    // The program and its modules beside it are no sounds; an installed folder left empty is none either.
    Touch(Program() + "/" VEXMOR_TEST_SOUND_MODULE);
    Touch(Program() + "/Cap.wav.txt");
    ASSERT_TRUE(QDir().mkpath(InstalledSounds()));
    EXPECT_EQ(FindSoundFolder(Program()), Program() + "/");
    Touch(InstalledSounds() + "/Click.wav");
    EXPECT_EQ(FindSoundFolder(Program()), InstalledSounds() + "/");
}

TEST_F(SoundPlaces, WithNoSoundsAnywhereTheAnswerIsBesideTheProgram) {
    EXPECT_EQ(FindSoundFolder(Program()), Program() + "/");
    EXPECT_EQ(FindSoundModule(Program()), Program() + "/" VEXMOR_TEST_SOUND_MODULE);
}

TEST_F(SoundPlaces, InstalledModuleIsFoundFromTheProgramsFolder) {
    Touch(InstalledModules() + "/" VEXMOR_TEST_SOUND_MODULE);
    Touch(InstalledModules() + "/other.so");
    EXPECT_EQ(FindSoundModule(Program()), InstalledModules() + "/" VEXMOR_TEST_SOUND_MODULE);
}

TEST_F(SoundPlaces, ModuleBesideTheProgramComesFirst) {
    Touch(InstalledModules() + "/" VEXMOR_TEST_SOUND_MODULE);
    Touch(Program() + "/" VEXMOR_TEST_SOUND_MODULE);
    EXPECT_EQ(FindSoundModule(Program()), Program() + "/" VEXMOR_TEST_SOUND_MODULE);
}

TEST_F(SoundPlaces, TheModuleIsNotLookedForInTheSoundsFolder) {
    Touch(InstalledSounds() + "/" VEXMOR_TEST_SOUND_MODULE);
    EXPECT_EQ(FindSoundModule(Program()), Program() + "/" VEXMOR_TEST_SOUND_MODULE);
}

} // namespace
