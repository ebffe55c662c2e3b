// libFuzzer target for the settings file: the input is loaded as Vexmor.ini, every value it names is
// read as text and as a number, the store is saved to a temporary folder and loaded again, and the
// second store must answer every read exactly as the first (and write the same text); else it aborts.
//
// Build (clang only) and run, from the source folder:
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DVEXMOR_FUZZ=ON
//   \
//         -DVEXMOR_TESTS=OFF -DVEXMOR_BENCH=OFF
//   ninja -C build-fuzz fuzz_settings
//   mkdir -p /tmp/settings-corpus
//   build-fuzz/fuzz/fuzz_settings -max_total_time=600 /tmp/settings-corpus fuzz/corpus/fuzz_settings
// New inputs go to the first folder; a crash is written to ./crash-* and replays with
// build-fuzz/fuzz/fuzz_settings crash-<hash>.
#include "SettingsStore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// On a memory file system where there is one: every save syncs, and a disk would make that slow.
char g_folder[] = "/dev/shm/vexmor-fuzz-settings-XXXXXX";

QString Folder() {
    static const bool made = [] {
        if (!::mkdtemp(g_folder)) {
            std::strcpy(g_folder, "/tmp/vexmor-fuzz-settings-XXXXXX");
            if (!::mkdtemp(g_folder)) std::abort();
        }
        std::atexit([] { QDir(QString::fromLocal8Bit(g_folder)).removeRecursively(); });
        return true;
    }();
    return made ? QString::fromLocal8Bit(g_folder) : QString();
}

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz_settings: %s\n", what);
    std::abort();
}

// Names worth asking for: whatever stands in brackets or before an "=" on a line of the input, and a
// few the input may lack.
void Candidates(const QByteArray& input, QList<QString>* sections, QList<QString>* names) {
    *sections = {QStringLiteral("Software\\Vexmor"), QString()};
    *names = {QStringLiteral("JPGQSel"), QString()};
    const QString text = QString::fromUtf8(input);
    for (QStringView line : QStringView(text).split(u'\n')) {
        const QStringView trimmed = line.trimmed();
        if (trimmed.startsWith(u'[') && trimmed.endsWith(u']') && sections->size() < 12)
            sections->append(trimmed.mid(1, trimmed.size() - 2).trimmed().toString());
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0 && names->size() < 24) {
            names->append(line.left(eq).toString());
            names->append(line.left(eq).trimmed().toString().toUpper());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = Folder() + QStringLiteral("/Vexmor/Vexmor.ini");
    QDir().mkpath(Folder() + QStringLiteral("/Vexmor"));
    {
        QFile file(path);
        Check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(input) == input.size(),
              "cannot write the input");
    }
    TSettingsStore first(path);
    Check(first.Load(), "the input does not load");

    QList<QString> sections, names;
    Candidates(input, &sections, &names);
    struct Read {
        bool exists;
        QString text;
        int number;
    };
    QList<Read> reads;
    for (const QString& section : sections)
        for (const QString& name : names)
            reads.append({first.ValueExists(section, name),
                          first.ReadString(section, name, QStringLiteral("\x01")),
                          first.ReadInteger(section, name, -77)});

    Check(first.Save(), "the store does not save");
    TSettingsStore second(path);
    Check(second.Load(), "the saved file does not load");
    qsizetype i = 0;
    for (const QString& section : sections)
        for (const QString& name : names) {
            const Read& r = reads[i++];
            Check(second.ValueExists(section, name) == r.exists, "a value appeared or vanished");
            Check(second.ReadString(section, name, QStringLiteral("\x01")) == r.text,
                  "a value's text changed");
            Check(second.ReadInteger(section, name, -77) == r.number, "a value's number changed");
        }
    Check(second.Serialize() == first.Serialize(), "the saved store writes a different text");
    return 0;
}
