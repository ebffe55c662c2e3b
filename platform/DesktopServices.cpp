// Services that follow freedesktop.org conventions rather than a display protocol: the running copy's
// socket, the user's folders, the autostart entry, hand-offs to other programs and the recently-used
// list. They are shared by every desktop, X11 or Wayland.
#include "DesktopServices.h"
#include "XdgFolders.h"
#include "InstanceSocket.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <glib.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString ConfigHome() {
    const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(env) ? env : QDir::homePath() + QStringLiteral("/.config");
}

QString DataHome() {
    const QString env = qEnvironmentVariable("XDG_DATA_HOME");
    return QDir::isAbsolutePath(env) ? env : QDir::homePath() + QStringLiteral("/.local/share");
}

namespace {

bool WriteAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error) *error = QStringLiteral("cannot make folder of %1").arg(path);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

// A desktop-entry Exec argument: quoted only when it holds characters the format reserves.
QString ExecArgument(const QString& arg) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (QChar c : arg)
        if (reserved.contains(c)) needsQuotes = true;
    if (!needsQuotes) return arg;
    QString quoted = arg;
    quoted.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'"', QStringLiteral("\\\""))
        .replace(u'`', QStringLiteral("\\`"))
        .replace(u'$', QStringLiteral("\\$"));
    return u'"' + quoted + u'"';
}

struct TGFree {
    void operator()(void* p) const { g_free(p); }
};
struct TBookmarkFree {
    void operator()(GBookmarkFile* b) const { g_bookmark_file_free(b); }
};
struct TKeyFileFree {
    void operator()(GKeyFile* k) const { g_key_file_free(k); }
};
struct TStrvFree {
    void operator()(gchar** v) const { g_strfreev(v); }
};
using TGString = std::unique_ptr<char, TGFree>;
using TBookmarkPtr = std::unique_ptr<GBookmarkFile, TBookmarkFree>;

// The message of a GLib error, which is freed.
QString TakeError(GError* error) {
    if (!error) return QStringLiteral("unknown error");
    const QString text = QString::fromUtf8(error->message);
    g_error_free(error);
    return text;
}

// The recently-used list as found on disk.
struct TListFile {
    bool exists = false;
    QByteArray bytes;
};

// False (with the reason) when something is at `path` that cannot be read as a regular file. A FIFO
// put there is refused rather than waited on.
bool ReadListFile(const QString& path, TListFile* out, QString* error) {
    *out = {};
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        *error = QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        out->bytes.append(buffer, n);
    }
    ::close(fd);
    if (!ok) *error = QStringLiteral("cannot read %1 as a file").arg(path);
    out->exists = ok;
    return ok;
}

// The bookmarks of a list file: a missing or empty file is an empty list; null (with GLib's reason)
// when the file is not a bookmark list GLib loads.
TBookmarkPtr ParseList(const TListFile& file, QString* error) {
    TBookmarkPtr list(g_bookmark_file_new());
    if (!file.exists) return list;
    GError* raw = nullptr;
    if (g_bookmark_file_load_from_data(list.get(), file.bytes.constData(), gsize(file.bytes.size()), &raw))
        return list;
    if (raw && raw->domain == G_MARKUP_ERROR && raw->code == G_MARKUP_ERROR_EMPTY) {
        g_error_free(raw);
        return TBookmarkPtr(g_bookmark_file_new()); // nothing in it anybody could lose
    }
    *error = TakeError(raw);
    return {};
}

QByteArray ImageMimeType(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png")) return "image/png";
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg") || suffix == QLatin1String("jpe"))
        return "image/jpeg";
    if (suffix == QLatin1String("bmp")) return "image/bmp";
    // Named here too: an older shared MIME database may know neither.
    if (suffix == QLatin1String("webp")) return "image/webp";
    if (suffix == QLatin1String("avif")) return "image/avif";
    return QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name().toUtf8();
}

// Adds the file, or refreshes its entry: this program registered (its count of uses raised), the type
// set, visited and modified now.
void AddEntry(GBookmarkFile* list, const char* uri, const char* mime) {
    g_bookmark_file_add_application(list, uri, "Vexmor", "vexmor %u");
    g_bookmark_file_set_mime_type(list, uri, mime);
    GDateTime* now = g_date_time_new_now_utc();
    g_bookmark_file_set_visited_date_time(list, uri, now);
    g_bookmark_file_set_modified_date_time(list, uri, now);
    g_date_time_unref(now);
}

} // namespace

QString TXdgAutostart::EntryPath() {
    return ConfigHome() + QStringLiteral("/autostart/vexmor.desktop");
}

QString TXdgAutostart::ExpectedExec(const QString& programPath) {
    // Desktop entries escape "%" as "%%".
    return ExecArgument(programPath).replace(u'%', QStringLiteral("%%")) + QStringLiteral(" /Tray");
}

bool TXdgAutostart::IsEnabled(const QString& programPath) {
    const std::unique_ptr<GKeyFile, TKeyFileFree> entry(g_key_file_new());
    if (!g_key_file_load_from_file(entry.get(), QFile::encodeName(EntryPath()).constData(), G_KEY_FILE_NONE,
                                   nullptr))
        return false;
    const auto flag = [&](const char* key, bool absent) {
        GError* error = nullptr;
        const bool value = g_key_file_get_boolean(entry.get(), G_KEY_FILE_DESKTOP_GROUP, key, &error);
        if (!error) return value;
        g_error_free(error);
        return absent;
    };
    // The session starts neither a hidden entry nor one switched off with GNOME's key: such an entry
    // is as good as none.
    if (flag(G_KEY_FILE_DESKTOP_KEY_HIDDEN, false) || !flag("X-GNOME-Autostart-enabled", true)) return false;
    // The value as written, escapes and all, as SetEnabled writes it.
    const TGString exec(
        g_key_file_get_value(entry.get(), G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_EXEC, nullptr));
    return exec && QString::fromUtf8(exec.get()).compare(ExpectedExec(programPath), Qt::CaseInsensitive) == 0;
}

TPlatformStatus TXdgAutostart::SetEnabled(const QString& programPath, bool on) {
    const QString path = EntryPath();
    if (!on) {
        if (QFile::exists(path) && !QFile::remove(path))
            return TPlatformStatus::Fail(QStringLiteral("cannot remove %1").arg(path));
        return TPlatformStatus::Ok();
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Vexmor by Tolvane\n"
                                         "Comment=Screen capture, waiting in the tray\n"
                                         "Exec=%1\n"
                                         "Icon=vexmor\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(ExpectedExec(programPath));
    QString error;
    if (!WriteAtomically(path, entry.toUtf8(), &error)) return TPlatformStatus::Fail(error);
    return TPlatformStatus::Ok();
}

TPlatformStatus TDesktopShell::OpenUrl(const QString& url) {
    return QDesktopServices::openUrl(QUrl(url))
               ? TPlatformStatus::Ok()
               : TPlatformStatus::Fail(QStringLiteral("no program opens %1").arg(url));
}

TPlatformStatus TDesktopShell::EditFile(const QString& path) {
    // $VEXMOR_EDITOR names the user's image editor (with its own arguments); else the desktop's
    // default application for the file type.
    QStringList command = QProcess::splitCommand(qEnvironmentVariable("VEXMOR_EDITOR"));
    if (command.isEmpty()) command = {QStringLiteral("xdg-open")};
    const QString program = command.takeFirst();
    if (QStandardPaths::findExecutable(program).isEmpty() && !QFileInfo(program).isExecutable())
        return TPlatformStatus::Fail(QStringLiteral("%1 not found").arg(program));
    command << path;
    return QProcess::startDetached(program, command)
               ? TPlatformStatus::Ok()
               : TPlatformStatus::Fail(QStringLiteral("cannot start %1").arg(program));
}

int TDesktopShell::SendMail(const QString& subject, const QStringList& attachments, const QString& body,
                            const QString& recipientAddress, const QString& recipientName) {
    const QString helper = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (helper.isEmpty()) return -1;
    QStringList args{QStringLiteral("--utf8"), QStringLiteral("--subject"), subject};
    if (!body.isEmpty()) args << QStringLiteral("--body") << body;
    for (const QString& file : attachments)
        args << QStringLiteral("--attach") << file;
    if (!recipientAddress.isEmpty()) {
        // "Name <address>" when a name is given; quotes keep commas in the name from splitting it.
        QString name = recipientName;
        name.remove(u'"');
        args << (name.isEmpty() ? recipientAddress
                                : QStringLiteral("\"%1\" <%2>").arg(name, recipientAddress));
    }
    QProcess process;
    process.start(helper, args);
    if (!process.waitForStarted(10000)) return -1;
    // xdg-email returns once the mail program has the message; a helper that hangs is left alone.
    if (!process.waitForFinished(60000)) return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString TDesktopShell::RecentFilesPath() {
    return DataHome() + QStringLiteral("/recently-used.xbel");
}

// The list belongs to every program of the session, and none of them takes a lock on it: a list that
// GLib cannot load is never written over (this program's entry is lost, everyone else's kept), and the
// file is read once more just before it is replaced, so that an entry another program added while this
// one worked is not lost either. GLib writes the new list to a temporary beside it, syncs it and renames
// it over the old one (g_file_set_contents_full).
TPlatformStatus TDesktopShell::AddRecentDocument(const QString& path) {
    const QString listPath = RecentFilesPath();
    GError* raw = nullptr;
    const TGString uri(
        g_filename_to_uri(QFile::encodeName(QFileInfo(path).absoluteFilePath()).constData(), nullptr, &raw));
    if (!uri) return TPlatformStatus::Fail(TakeError(raw));
    const QByteArray mime = ImageMimeType(path);
    if (!QDir().mkpath(QFileInfo(listPath).absolutePath()))
        return TPlatformStatus::Fail(QStringLiteral("cannot make folder of %1").arg(listPath));

    QString error;
    TListFile before;
    if (!ReadListFile(listPath, &before, &error)) return TPlatformStatus::Fail(error);
    for (int attempt = 0;; ++attempt) {
        const TBookmarkPtr list = ParseList(before, &error);
        if (!list) return TPlatformStatus::Fail(QStringLiteral("%1 left as it is: %2").arg(listPath, error));
        gsize count = 0;
        const std::unique_ptr<gchar*, TStrvFree> others(g_bookmark_file_get_uris(list.get(), &count));
        AddEntry(list.get(), uri.get(), mime.constData());
        gsize size = 0;
        const TGString data(g_bookmark_file_to_data(list.get(), &size, &raw));
        if (!data) return TPlatformStatus::Fail(TakeError(raw));
        // What is written must load again with the entry and every entry that was there: GLib leaves
        // out a bookmark that names no application, and such a list is rather left as it is.
        const TBookmarkPtr check(g_bookmark_file_new());
        if (!g_bookmark_file_load_from_data(check.get(), data.get(), size, &raw))
            return TPlatformStatus::Fail(
                QStringLiteral("the new list does not load again: %1").arg(TakeError(raw)));
        if (!g_bookmark_file_has_item(check.get(), uri.get()))
            return TPlatformStatus::Fail(QStringLiteral("the new list lacks %1").arg(path));
        for (gsize i = 0; i < count; ++i)
            if (!g_bookmark_file_has_item(check.get(), others.get()[i]))
                return TPlatformStatus::Fail(QStringLiteral("%1 left as it is: GLib would drop %2")
                                                 .arg(listPath, QString::fromUtf8(others.get()[i])));

        TListFile now;
        if (!ReadListFile(listPath, &now, &error)) return TPlatformStatus::Fail(error);
        if (now.exists != before.exists || now.bytes != before.bytes) {
            // Changed meanwhile: start again from the new contents; a list that keeps changing is left alone.
            if (attempt == 3) return TPlatformStatus::Fail(QStringLiteral("%1 keeps changing").arg(listPath));
            before = std::move(now);
            continue;
        }
        // Synced before the rename even when the list is new, so a crash never leaves a torn list behind.
        if (!g_file_set_contents_full(QFile::encodeName(listPath).constData(), data.get(), gssize(size),
                                      G_FILE_SET_CONTENTS_CONSISTENT, 0666, &raw))
            return TPlatformStatus::Fail(TakeError(raw));
        return TPlatformStatus::Ok();
    }
}

bool TLocalSingleInstance::HandOver(const QByteArray& request) {
    return SendInstanceRequest(InstanceSocketPath(), request.toStdString());
}

QString TLocalSingleInstance::Refusal() {
    std::string refusal;
    InstanceSocketPath(&refusal);
    return QString::fromStdString(refusal);
}

bool TLocalSingleInstance::BecomeFirstOrHandOver(const QByteArray& request) {
    const QString path = QString::fromStdString(InstanceSocketPath());
    if (path.isEmpty()) return true; // no safe place (Refusal): nothing to listen on
    // The lock makes "nobody answers, so I listen" one step for simultaneous starts; a lock left by a
    // dead process is taken over.
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(0);
    const bool locked = lock.tryLock(5000);

    if (SendInstanceRequest(path.toStdString(), request.toStdString())) return false;
    // Nobody answers: a socket file left by a crashed instance is taken over.
    QLocalServer::removeServer(path);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (server_->listen(path)) {
        QObject::connect(server_.get(), &QLocalServer::newConnection, [this] { Accept(); });
    } else {
        server_.reset(); // run without the hand-over rather than not at all
    }
    if (locked) lock.unlock();
    return true;
}

void TLocalSingleInstance::Accept() {
    while (QLocalSocket* peer = server_->nextPendingConnection()) {
        QObject::connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
            if (!peer->canReadLine()) return;
            const QByteArray request = peer->readLine(256).trimmed();
            peer->disconnectFromServer();
            if (handler_) handler_(request);
        });
        QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    }
}

namespace {
QString UserFolder(const char* variable, QStandardPaths::StandardLocation location) {
    const QString fromEnv = qEnvironmentVariable(variable);
    if (!fromEnv.isEmpty() && QDir::isAbsolutePath(fromEnv)) return QDir::cleanPath(fromEnv);
    return QStandardPaths::writableLocation(location);
}
} // namespace

QString TXdgFolders::Desktop() {
    return UserFolder("XDG_DESKTOP_DIR", QStandardPaths::DesktopLocation);
}
QString TXdgFolders::Documents() {
    return UserFolder("XDG_DOCUMENTS_DIR", QStandardPaths::DocumentsLocation);
}
QString TXdgFolders::Temp() {
    return QDir::tempPath();
}
