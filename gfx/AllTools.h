// File-name and number helpers shared by every part of the program. No window, no X server.
//
// Names here are UTF-8 byte strings (QByteArray) where the byte rules matter, QString elsewhere.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class QIODevice;

// Bytes that may stay in a file name: 32 and above, except " * / : < > ? \ |.
// Bytes 128..255 pass, so multi-byte characters stay whole.
const std::array<bool, 256>& FileNameChars();

// The text reduced to a usable file-name body: forbidden bytes dropped, a reserved device name
// ("CON", "LPT1", ...; exact, case-insensitive) replaced by "Forbidden filename", and at most 130 bytes
// kept, ending at the last whole UTF-8 character within them. An empty result stays empty.
QString CleanFileName(const QString& text);
QByteArray CleanFileNameBytes(const QByteArray& utf8);

// The path itself when nothing exists there, else the first free numbered variant:
// Shot.png -> Shot_2.png, Shot_7.png -> Shot_8.png, Shot_.png -> Shot_1.png.
// It only proposes a name; use CreateNewFile to write without replacing anything.
QString UniqueFileName(const QString& path);

// Writes a new file at `path` or, when something appears there first, at the next free name of
// UniqueFileName. `write` fills the device and returns false on failure. The file is written under a
// temporary name in the same folder and then linked to its final name, which never replaces an
// existing file, so a failed write leaves nothing behind and a racing writer is never overwritten.
// Returns the path written, or an empty string with `error` set.
QString CreateNewFile(const QString& path, const std::function<bool(QIODevice&)>& write,
                      QString* error = nullptr);

// Writes `path` anew, replacing what is there only once everything has been written (the old file
// and its permissions stay until then; a failure keeps it). Returns the path, or empty with `error`.
QString ReplaceFile(const QString& path, const std::function<bool(QIODevice&)>& write,
                    QString* error = nullptr);

// Both write under the temporary name ".vexmor-XXXXXX" in the target's folder and hold a lock on it
// while they write. A process killed in the middle leaves such a file behind; this removes those in
// `folders` that nobody holds any more (a writer still running keeps its own) and says how many.
int RemoveStaleTemporaries(const QStringList& folders);

// Appends the separator ("/") unless the path already ends with one.
void IncludeTrailingBackslash(QString& path);

// Parses a decimal integer, whatever the locale; returns `fallback` for anything else.
int StrToIntDef(const QString& text, int fallback);

// Values of the program's version record. Keys: 0 file version, 1 product version, 2 product name,
// 3 company name, 4 file description.
enum TVersionKey { vkFileVersion = 0, vkProductVersion, vkProductName, vkCompanyName, vkFileDescription };
// The value for `key` when `file` is this program's own file, else empty (other files carry no
// version record here).
QString VersionString(const QString& file, int key);
