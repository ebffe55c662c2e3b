// A private Xvfb for one test program. The server picks its display number itself (-displayfd), so
// that test programs running side by side never end up on one another's server.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <memory>

class TXvfbServer {
  public:
    ~TXvfbServer() { Stop(); }

    // Starts the server and waits until it takes connections; false when it cannot be had.
    bool Start(const QString& geometry = QStringLiteral("640x480x24"), const QStringList& extra = {}) {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) return false;
        process_ = std::make_unique<QProcess>();
        process_->setProcessChannelMode(QProcess::SeparateChannels);
        process_->start(
            QStringLiteral("Xvfb"),
            QStringList{"-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0", geometry} + extra);
        if (!process_->waitForStarted(10000)) return false;
        // The number comes once the server listens.
        QByteArray line;
        while (!line.contains('\n') && process_->state() == QProcess::Running &&
               process_->waitForReadyRead(20000))
            line += process_->readAllStandardOutput();
        bool ok = false;
        const int number = line.trimmed().toInt(&ok);
        if (!ok) {
            Stop();
            return false;
        }
        display_ = ":" + QByteArray::number(number);
        return true;
    }

    void Stop() {
        if (!process_) return;
        process_->terminate();
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(5000);
        }
        process_.reset();
        display_.clear();
    }

    QByteArray Display() const { return display_; }

  private:
    std::unique_ptr<QProcess> process_;
    QByteArray display_;
};
