// The settings tests' own configuration folder: XDG_CONFIG_HOME points at it for as long as this
// lives, then gets its old value (or none) back.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

class TScopedConfigHome {
  public:
    explicit TScopedConfigHome(const QString& path) : saved_(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path));
    }
    ~TScopedConfigHome() {
        if (saved_.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", saved_);
    }
    TScopedConfigHome(const TScopedConfigHome&) = delete;
    TScopedConfigHome& operator=(const TScopedConfigHome&) = delete;

  private:
    QByteArray saved_;
};
