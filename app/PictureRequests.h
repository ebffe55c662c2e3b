// Pictures opened in the capture overlay for editing: a file named on the command line, by a later
// start or on the session bus, the clipboard's picture, or a picture file dropped on the main window.
// A picture that cannot be opened is told in a message box (and on stderr) and opens nothing.
#pragma once

#include "CaptureOwner.h"

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

// Where a failure is told when set (tests record it); otherwise a message box.
inline std::function<void(const QString& text)> PictureFailedHook;

class TPictureRequests : public QObject {
  public:
    // Watches `window` for dropped files.
    TPictureRequests(QWidget* window, ICaptureOwner& owner);

    // Each returns the failure told, empty when the overlay opened (or one was open already).
    QString EditFile(const QString& path);
    QString EditClipboard();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QString Tell(const QString& text);

    QWidget* window_;
    ICaptureOwner& owner_;
};
