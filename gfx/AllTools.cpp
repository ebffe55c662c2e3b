#include "AllTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#ifndef VEXMOR_VERSION
#define VEXMOR_VERSION "0.0.0.0"
#endif

const std::array<bool, 256>& FileNameChars() {
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[b] = b >= 32 && !std::strchr("\"*/:<>?\\|", b);
        return t;
    }();
    return table;
}

namespace {
constexpr const char* kReservedFileNames[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                              "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                              "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
constexpr int kMaxFileNameBytes = 130;

// Length of the longest prefix of `s` (at most `limit` bytes) that does not end inside a UTF-8
// character.
int WholeUtf8Prefix(const QByteArray& s, int limit) {
    if (s.size() <= limit) return int(s.size());
    int cut = limit;
    // Step back over continuation bytes; the byte at `cut` then starts a character (or is ASCII).
    while (cut > 0 && (uchar(s[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}
} // namespace

QByteArray CleanFileNameBytes(const QByteArray& utf8) {
    const auto& allowed = FileNameChars();
    QByteArray result;
    result.reserve(utf8.size());
    for (char c : utf8)
        if (allowed[uchar(c)]) result.append(c);
    const QByteArray upper = result.toUpper();
    for (const char* reserved : kReservedFileNames)
        if (upper == reserved) return QByteArrayLiteral("Forbidden filename");
    result.truncate(WholeUtf8Prefix(result, kMaxFileNameBytes));
    return result;
}

QString CleanFileName(const QString& text) {
    return QString::fromUtf8(CleanFileNameBytes(text.toUtf8()));
}

QString UniqueFileName(const QString& path) {
    if (!QFileInfo::exists(path)) return path;
    // Extension: from the last dot of the file name (not of a folder), with the dot.
    const int slash = int(path.lastIndexOf(u'/'));
    const int dot = int(path.lastIndexOf(u'.'));
    const bool hasExt = dot > slash;
    QString stem = hasExt ? path.left(dot) : path;
    const QString ext = hasExt ? path.mid(dot) : QString();

    int digits = 0;
    while (digits < stem.size() && stem[stem.size() - 1 - digits].isDigit() &&
           stem[stem.size() - 1 - digits].unicode() < 128)
        ++digits;
    qint64 n = 1;
    const qsizetype underscore = stem.size() - 1 - digits;
    if (underscore > slash && underscore >= 0 && stem[underscore] == u'_') {
        bool ok = false;
        n = stem.mid(underscore + 1).toLongLong(&ok);
        if (!ok || n < 0) n = 0;
        stem.truncate(underscore);
    }
    QString candidate;
    do {
        ++n;
        candidate = stem + u'_' + QString::number(n) + ext;
    } while (QFileInfo::exists(candidate));
    return candidate;
}

namespace {

const QLatin1String kTemporaryPrefix(".vexmor-");

// The temporary beside `path`, locked while it is written. Where the file system allows, it has no
// name at all until its data is complete (asking for its name gives it one), so a process killed while
// writing leaves nothing; elsewhere the lock tells a later sweep that it is still being written.
bool OpenLockedTemporary(QTemporaryFile& temp, const QString& path, QString* why) {
    temp.setFileTemplate(QFileInfo(path).absolutePath() + u'/' + kTemporaryPrefix + QStringLiteral("XXXXXX"));
    if (!temp.open()) {
        *why = temp.errorString();
        return false;
    }
    if (::flock(temp.handle(), LOCK_EX | LOCK_NB) != 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

bool WriteWhole(QTemporaryFile& temp, const std::function<bool(QIODevice&)>& write, QString* why) {
    if (write(temp) && temp.flush() && ::fsync(temp.handle()) == 0) return true;
    *why = temp.errorString().isEmpty() ? QStringLiteral("write failed") : temp.errorString();
    return false;
}

QString Fail(QString* error, const QString& why) {
    if (error) *error = why;
    return {};
}

} // namespace

QString CreateNewFile(const QString& path, const std::function<bool(QIODevice&)>& write, QString* error) {
    QTemporaryFile temp;
    QString why;
    if (!OpenLockedTemporary(temp, path, &why) || !WriteWhole(temp, write, &why)) return Fail(error, why);
    const QByteArray from = QFile::encodeName(temp.fileName());
    QString target = path;
    // link() fails with EEXIST instead of replacing: whoever made the name first keeps it.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (::link(from.constData(), QFile::encodeName(target).constData()) == 0) {
            QFile::setPermissions(target,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
            return target; // the temporary name is removed with `temp`
        }
        if (errno != EEXIST) return Fail(error, QString::fromLocal8Bit(std::strerror(errno)));
        target = UniqueFileName(target);
    }
    return Fail(error, QStringLiteral("no free file name"));
}

QString ReplaceFile(const QString& path, const std::function<bool(QIODevice&)>& write, QString* error) {
    QTemporaryFile temp;
    QString why;
    if (!OpenLockedTemporary(temp, path, &why) || !WriteWhole(temp, write, &why)) return Fail(error, why);
    const QFile::Permissions old = QFile::permissions(path);
    temp.setPermissions(old ? old
                            : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    if (::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return Fail(error, QString::fromLocal8Bit(std::strerror(errno)));
    temp.setAutoRemove(false); // it is the file now
    return path;
}

int RemoveStaleTemporaries(const QStringList& folders) {
    int removed = 0;
    for (const QString& folder : folders) {
        if (folder.isEmpty()) continue;
        const QStringList names = QDir(folder).entryList({kTemporaryPrefix + QStringLiteral("??????")},
                                                         QDir::Files | QDir::Hidden | QDir::NoSymLinks);
        for (const QString& name : names) {
            const QByteArray path = QFile::encodeName(folder + u'/' + name);
            const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            if (fd < 0) continue;
            // A writer that still runs holds its lock; only a file nobody holds is left over.
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.constData()) == 0) ++removed;
            ::close(fd);
        }
    }
    return removed;
}

void IncludeTrailingBackslash(QString& path) {
    if (!path.endsWith(u'/')) path.append(u'/');
}

int StrToIntDef(const QString& text, int fallback) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10); // QString::toInt ignores the locale
    return ok ? v : fallback;
}

QString VersionString(const QString& file, int key) {
    const QFileInfo info(file);
    if (!info.exists() || !QCoreApplication::instance()) return {};
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    if (info.canonicalFilePath() != self) return {};
    switch (key) {
    case vkFileVersion:
    case vkProductVersion:
        return QStringLiteral(VEXMOR_VERSION);
    case vkProductName:
        return QStringLiteral("Vexmor");
    case vkCompanyName:
        return QStringLiteral("Tolvane");
    case vkFileDescription:
        return QStringLiteral("Vexmor screen capture");
    default:
        return {};
    }
}
