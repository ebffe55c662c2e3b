// The per-user settings file: $XDG_CONFIG_HOME/Vexmor/Vexmor.ini, laid out like the registry keys the
// settings were designed for. One section per key, headed by the key path as written
// ("[Software\Vexmor]"), one "name=value" line per value, every value text.
//
// The file is read once into memory and written back whole through a temporary file and a rename, so
// a crash or a full disk never leaves half a file behind. Reading never fails loudly: a missing,
// unreadable, oversized or foreign file gives an empty store and every reader its default.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

class TSettingsStore {
  public:
    // A file larger than this is not a settings file of ours; it loads as empty.
    static constexpr qint64 kMaxFileSize = 1 << 20;

    explicit TSettingsStore(QString path = DefaultPath());

    // $XDG_CONFIG_HOME/Vexmor/Vexmor.ini, with ~/.config when the variable is unset, empty or relative.
    static QString DefaultPath();
    const QString& Path() const { return path_; }

    // Replaces the contents by the file's; false (and an empty store) when it cannot be read.
    bool Load();
    // Writes the whole store; false when the folder or the file cannot be written, the disk is full or
    // the data cannot be synced, the old file then staying as it was and no temporary left behind. A
    // store whose text would be larger than kMaxFileSize is not written.
    bool Save() const;

    bool ValueExists(const QString& section, const QString& name) const;
    // The stored text, or `fallback` when the value is absent.
    QString ReadString(const QString& section, const QString& name, const QString& fallback = {}) const;
    // A value that is absent or not a decimal number in the 32-bit range gives `fallback`.
    int ReadInteger(const QString& section, const QString& name, int fallback) const;

    void WriteString(const QString& section, const QString& name, const QString& value);
    void WriteInteger(const QString& section, const QString& name, int value);
    void DeleteValue(const QString& section, const QString& name);

    // What Save would write.
    QByteArray Serialize() const;
    void Parse(const QByteArray& text);

  private:
    struct Section {
        QString name;
        QList<QPair<QString, QString>> values;
    };
    const Section* FindSection(const QString& name) const;
    Section& SectionFor(const QString& name);

    QString path_;
    QList<Section> sections_;
};
