// Services that follow freedesktop.org conventions rather than the X protocol: the autostart entry,
// hand-offs to other programs and the recently-used list. They are shared by every X11 desktop.
#include "DesktopServices.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

namespace {

QString ConfigHome() {
    const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(env) ? env : QDir::homePath() + QStringLiteral("/.config");
}

QString DataHome() {
    const QString env = qEnvironmentVariable("XDG_DATA_HOME");
    return QDir::isAbsolutePath(env) ? env : QDir::homePath() + QStringLiteral("/.local/share");
}

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
    quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\"")).replace(u'`', QStringLiteral("\\`"))
        .replace(u'$', QStringLiteral("\\$"));
    return u'"' + quoted + u'"';
}

QString NowIso() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); }

} // namespace

QString TXdgAutostart::EntryPath() { return ConfigHome() + QStringLiteral("/autostart/vexmor.desktop"); }

QString TXdgAutostart::ExpectedExec(const QString& programPath) {
    // Desktop entries escape "%" as "%%".
    return ExecArgument(programPath).replace(u'%', QStringLiteral("%%")) + QStringLiteral(" /Tray");
}

bool TXdgAutostart::IsEnabled(const QString& programPath) {
    QFile file(EntryPath());
    if (!file.open(QIODevice::ReadOnly)) return false;
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.startsWith(QLatin1String("Exec=")))
            return line.mid(5).compare(ExpectedExec(programPath), Qt::CaseInsensitive) == 0;
    }
    return false;
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
    return QDesktopServices::openUrl(QUrl(url)) ? TPlatformStatus::Ok()
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
    return QProcess::startDetached(program, command) ? TPlatformStatus::Ok()
                                                      : TPlatformStatus::Fail(QStringLiteral("cannot start %1").arg(program));
}

int TDesktopShell::SendMail(const QString& subject, const QStringList& attachments, const QString& body,
                            const QString& recipientAddress, const QString& recipientName) {
    const QString helper = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (helper.isEmpty()) return -1;
    QStringList args{QStringLiteral("--utf8"), QStringLiteral("--subject"), subject};
    if (!body.isEmpty()) args << QStringLiteral("--body") << body;
    for (const QString& file : attachments) args << QStringLiteral("--attach") << file;
    if (!recipientAddress.isEmpty()) {
        // "Name <address>" when a name is given; quotes keep commas in the name from splitting it.
        QString name = recipientName;
        name.remove(u'"');
        args << (name.isEmpty() ? recipientAddress : QStringLiteral("\"%1\" <%2>").arg(name, recipientAddress));
    }
    QProcess process;
    process.start(helper, args);
    if (!process.waitForStarted(10000)) return -1;
    // xdg-email returns once the mail program has the message; a helper that hangs is left alone.
    if (!process.waitForFinished(60000)) return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString TDesktopShell::RecentFilesPath() { return DataHome() + QStringLiteral("/recently-used.xbel"); }

TPlatformStatus TDesktopShell::AddRecentDocument(const QString& path) {
    const QString listPath = RecentFilesPath();
    const QString href = QString::fromUtf8(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded());
    const QString now = NowIso();

    QDomDocument doc;
    QFile existing(listPath);
    if (existing.open(QIODevice::ReadOnly)) {
        if (!doc.setContent(&existing)) doc.clear();  // an unreadable list is started afresh
        existing.close();
    }
    QDomElement root = doc.documentElement();
    if (root.isNull() || root.tagName() != QLatin1String("xbel")) {
        doc.clear();
        doc.appendChild(doc.createProcessingInstruction(QStringLiteral("xml"),
                                                        QStringLiteral("version=\"1.0\" encoding=\"UTF-8\"")));
        root = doc.createElement(QStringLiteral("xbel"));
        root.setAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
        root.setAttribute(QStringLiteral("xmlns:bookmark"), QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks"));
        root.setAttribute(QStringLiteral("xmlns:mime"), QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info"));
        doc.appendChild(root);
    }

    QDomElement bookmark;
    for (QDomElement b = root.firstChildElement(QStringLiteral("bookmark")); !b.isNull();
         b = b.nextSiblingElement(QStringLiteral("bookmark")))
        if (b.attribute(QStringLiteral("href")) == href) bookmark = b;

    if (bookmark.isNull()) {
        bookmark = doc.createElement(QStringLiteral("bookmark"));
        bookmark.setAttribute(QStringLiteral("href"), href);
        bookmark.setAttribute(QStringLiteral("added"), now);
        QDomElement info = doc.createElement(QStringLiteral("info"));
        QDomElement metadata = doc.createElement(QStringLiteral("metadata"));
        metadata.setAttribute(QStringLiteral("owner"), QStringLiteral("http://freedesktop.org"));
        QDomElement mime = doc.createElement(QStringLiteral("mime:mime-type"));
        mime.setAttribute(QStringLiteral("type"), QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name());
        QDomElement apps = doc.createElement(QStringLiteral("bookmark:applications"));
        QDomElement app = doc.createElement(QStringLiteral("bookmark:application"));
        app.setAttribute(QStringLiteral("name"), QStringLiteral("Vexmor"));
        app.setAttribute(QStringLiteral("exec"), QStringLiteral("'vexmor %u'"));
        app.setAttribute(QStringLiteral("count"), QStringLiteral("0"));
        apps.appendChild(app);
        metadata.appendChild(mime);
        metadata.appendChild(apps);
        info.appendChild(metadata);
        bookmark.appendChild(info);
        root.appendChild(bookmark);
    }
    bookmark.setAttribute(QStringLiteral("modified"), now);
    bookmark.setAttribute(QStringLiteral("visited"), now);
    // Count this program's use of the file.
    QDomNodeList apps = bookmark.elementsByTagName(QStringLiteral("bookmark:application"));
    bool counted = false;
    for (int i = 0; i < apps.size(); ++i) {
        QDomElement app = apps.at(i).toElement();
        if (app.attribute(QStringLiteral("name")) != QLatin1String("Vexmor")) continue;
        app.setAttribute(QStringLiteral("count"), app.attribute(QStringLiteral("count")).toInt() + 1);
        app.setAttribute(QStringLiteral("modified"), now);
        counted = true;
    }
    if (!counted) {
        // A bookmark another program made: add ourselves to its applications.
        QDomElement list = bookmark.elementsByTagName(QStringLiteral("bookmark:applications")).at(0).toElement();
        if (!list.isNull()) {
            QDomElement app = doc.createElement(QStringLiteral("bookmark:application"));
            app.setAttribute(QStringLiteral("name"), QStringLiteral("Vexmor"));
            app.setAttribute(QStringLiteral("exec"), QStringLiteral("'vexmor %u'"));
            app.setAttribute(QStringLiteral("modified"), now);
            app.setAttribute(QStringLiteral("count"), QStringLiteral("1"));
            list.appendChild(app);
        }
    }
    QString error;
    if (!WriteAtomically(listPath, doc.toByteArray(1), &error)) return TPlatformStatus::Fail(error);
    return TPlatformStatus::Ok();
}
