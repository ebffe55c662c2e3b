#include "SettingsStore.h"

#include "AllTools.h"
#include "XdgFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Registry keys and value names ignore letter case; so does the file.
bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A line break inside a name or value would split it into lines of its own on the next load.
QString OneLine(QString text) {
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

// Names as the file keeps them: on one line and without the spaces around them that a load drops.
// Every lookup goes through the same form, so a name is found again however it was spelled when
// written, and one section or value never turns into two.
QString SectionKey(const QString& name) {
    return OneLine(name).trimmed();
}
// A value's name also loses "=", which would end the name when the file is read back.
QString ValueKey(const QString& name) {
    QString key = OneLine(name);
    key.replace(u'=', u'_');
    return key.trimmed();
}

} // namespace

TSettingsStore::TSettingsStore(QString path) : path_(std::move(path)) {}

QString TSettingsStore::DefaultPath() {
    return ConfigHome() + QStringLiteral("/Vexmor/Vexmor.ini");
}

bool TSettingsStore::Load() {
    sections_.clear();
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) return false;
    // A special file (a pipe, a device) has no size; never read more than a settings file can hold.
    const QByteArray data = file.read(kMaxFileSize + 1);
    if (data.size() > kMaxFileSize) return false;
    Parse(data);
    return true;
}

void TSettingsStore::Parse(const QByteArray& text) {
    sections_.clear();
    Section* current = nullptr;
    const QString all = QString::fromUtf8(text);
    for (QStringView line : QStringView(all).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            current = &SectionFor(line.mid(1, line.size() - 2).trimmed().toString());
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        // Lines before the first section and lines without a name belong to nobody.
        if (!current || eq <= 0) continue;
        const QString name = ValueKey(line.left(eq).toString());
        const QString value = line.mid(eq + 1).toString();
        bool replaced = false;
        for (auto& pair : current->values)
            if (SameName(pair.first, name)) {
                pair.second = value;
                replaced = true;
                break;
            }
        if (!replaced) current->values.append({name, value});
    }
}

QByteArray TSettingsStore::Serialize() const {
    QString out;
    for (const Section& s : sections_) {
        if (!out.isEmpty()) out += u'\n';
        out += QLatin1Char('[') + s.name + QLatin1String("]\n");
        for (const auto& pair : s.values)
            out += pair.first + u'=' + pair.second + u'\n';
    }
    return out.toUtf8();
}

// Through the program's ReplaceFile rather than QSaveFile, which does not report a failed sync: the new
// file is complete on the disk before it takes the name, or Save fails and the old file is as it was.
bool TSettingsStore::Save() const {
    const QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath())) return false;
    // A file Load would refuse would lose every setting at the next start; the old one is better.
    const QByteArray data = Serialize();
    if (data.size() > kMaxFileSize) return false;
    // A link to the settings file is kept: its target is replaced.
    QString target = info.absoluteFilePath();
    if (info.isSymLink() && !info.canonicalFilePath().isEmpty()) target = info.canonicalFilePath();
    return !ReplaceFile(target, [&](QIODevice& file) { return file.write(data) == data.size(); }).isEmpty();
}

const TSettingsStore::Section* TSettingsStore::FindSection(const QString& name) const {
    const QString key = SectionKey(name);
    for (const Section& s : sections_)
        if (SameName(s.name, key)) return &s;
    return nullptr;
}

TSettingsStore::Section& TSettingsStore::SectionFor(const QString& name) {
    const QString key = SectionKey(name);
    for (Section& s : sections_)
        if (SameName(s.name, key)) return s;
    sections_.append({key, {}});
    return sections_.last();
}

bool TSettingsStore::ValueExists(const QString& section, const QString& name) const {
    const QString key = ValueKey(name);
    if (const Section* s = FindSection(section))
        for (const auto& pair : s->values)
            if (SameName(pair.first, key)) return true;
    return false;
}

QString TSettingsStore::ReadString(const QString& section, const QString& name,
                                   const QString& fallback) const {
    const QString key = ValueKey(name);
    if (const Section* s = FindSection(section))
        for (const auto& pair : s->values)
            if (SameName(pair.first, key)) return pair.second;
    return fallback;
}

int TSettingsStore::ReadInteger(const QString& section, const QString& name, int fallback) const {
    if (!ValueExists(section, name)) return fallback;
    return StrToIntDef(ReadString(section, name), fallback);
}

void TSettingsStore::WriteString(const QString& section, const QString& name, const QString& value) {
    Section& s = SectionFor(section);
    const QString clean = OneLine(value);
    const QString key = ValueKey(name);
    for (auto& pair : s.values)
        if (SameName(pair.first, key)) {
            pair.second = clean;
            return;
        }
    s.values.append({key, clean});
}

void TSettingsStore::WriteInteger(const QString& section, const QString& name, int value) {
    WriteString(section, name, QString::number(value));
}

void TSettingsStore::DeleteValue(const QString& section, const QString& name) {
    const QString sectionKey = SectionKey(section), key = ValueKey(name);
    for (Section& s : sections_) {
        if (!SameName(s.name, sectionKey)) continue;
        s.values.removeIf([&](const auto& pair) { return SameName(pair.first, key); });
    }
}
