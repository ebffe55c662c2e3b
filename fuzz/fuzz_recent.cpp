// libFuzzer target for the recently-used list: the input is put in place as recently-used.xbel (in a
// private $XDG_DATA_HOME), then a capture is added. Either the call fails and the file is byte for byte
// the input, or it succeeds and GLib loads the new list, which holds the capture (with its type and this
// program) and every bookmark GLib found in the input. A list GLib cannot load must never be written.
// A GLib critical (a call our code got wrong) aborts too.
//
// Build (clang only) and run, from the source folder:
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DVEXMOR_FUZZ=ON
//   \
//         -DVEXMOR_TESTS=OFF -DVEXMOR_BENCH=OFF
//   ninja -C build-fuzz fuzz_recent
//   mkdir -p /tmp/recent-corpus
//   build-fuzz/fuzz/fuzz_recent -max_total_time=600 -dict=fuzz/xbel.dict /tmp/recent-corpus
//   fuzz/corpus/fuzz_recent
// New inputs go to the first folder; a crash is written to ./crash-* and replays with
// build-fuzz/fuzz/fuzz_recent crash-<hash>.
#include "DesktopServices.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <glib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// On a memory file system where there is one: every write syncs, and a disk would make that slow.
char g_folder[] = "/dev/shm/vexmor-fuzz-recent-XXXXXX";

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz_recent: %s\n", what);
    std::abort();
}

// GLib's own warnings about odd input are expected and kept quiet; a critical means a call was wrong.
GLogWriterOutput Writer(GLogLevelFlags level, const GLogField*, gsize, gpointer) {
    if (level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR)) std::abort();
    return G_LOG_WRITER_HANDLED;
}

QByteArray ReadAll(const QString& path, bool* exists) {
    QFile file(path);
    *exists = file.open(QIODevice::ReadOnly);
    return *exists ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!::mkdtemp(g_folder)) {
        std::strcpy(g_folder, "/tmp/vexmor-fuzz-recent-XXXXXX");
        Check(::mkdtemp(g_folder) != nullptr, "no temporary folder");
    }
    std::atexit([] { QDir(QString::fromLocal8Bit(g_folder)).removeRecursively(); });
    ::setenv("XDG_DATA_HOME", g_folder, 1);
    g_log_set_writer_func(Writer, nullptr, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString listPath = TDesktopShell::RecentFilesPath();
    {
        QFile file(listPath);
        Check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(input) == input.size(),
              "cannot write the input");
    }
    // The capture's name and type vary with the input.
    static const char* const kinds[][2] = {
        {"Shot 1.png", "image/png"}, {"截图.jpg", "image/jpeg"}, {"a%b#c.bmp", "image/bmp"}};
    const auto& kind = kinds[size % 3];
    const QString shot = QString::fromLocal8Bit(g_folder) + u'/' + QString::fromUtf8(kind[0]);
    gchar* uri = g_filename_to_uri(QFile::encodeName(shot).constData(), nullptr, nullptr);
    Check(uri != nullptr, "no URI for the capture");

    // What GLib makes of the input on its own.
    GBookmarkFile* given = g_bookmark_file_new();
    GError* error = nullptr;
    const bool loads = g_bookmark_file_load_from_data(given, input.constData(), gsize(input.size()), &error);
    const bool empty =
        !loads && error && error->domain == G_MARKUP_ERROR && error->code == G_MARKUP_ERROR_EMPTY;
    g_clear_error(&error);

    TDesktopShell shell;
    const TPlatformStatus status = shell.AddRecentDocument(shot);
    bool exists = false;
    const QByteArray after = ReadAll(listPath, &exists);
    Check(exists, "the list is gone");
    if (!status.ok) {
        Check(after == input, "a failed call changed the list");
    } else {
        Check(loads || empty, "a list GLib does not load was written over");
        GBookmarkFile* written = g_bookmark_file_new();
        Check(g_bookmark_file_load_from_data(written, after.constData(), gsize(after.size()), nullptr),
              "the new list does not load");
        Check(g_bookmark_file_has_item(written, uri), "the new list lacks the capture");
        gchar* mime = g_bookmark_file_get_mime_type(written, uri, nullptr);
        Check(mime && std::strcmp(mime, kind[1]) == 0, "the capture's type is wrong");
        g_free(mime);
        Check(g_bookmark_file_has_application(written, uri, "Vexmor", nullptr),
              "this program is not registered");
        if (loads) {
            gsize count = 0;
            gchar** uris = g_bookmark_file_get_uris(given, &count);
            for (gsize i = 0; i < count; ++i)
                Check(g_bookmark_file_has_item(written, uris[i]), "a bookmark was lost");
            Check(g_bookmark_file_get_size(written) == int(count) + !g_bookmark_file_has_item(given, uri),
                  "bookmarks were added");
            g_strfreev(uris);
        }
        g_bookmark_file_free(written);
    }
    g_bookmark_file_free(given);
    g_free(uri);
    return 0;
}
