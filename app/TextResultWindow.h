// The small window of a text capture: busy while the text is recognised, then the text (editable) with
// the codes found, a copy and a close button and a way to keep the capture as a picture after all.
// Esc closes it; closing a busy window cancels its recognition.
#pragma once

#include "TextRecognition.h"

#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace Ui {
class TextResultWindow;
}

class TTextResultWindow : public QWidget {
    Q_OBJECT
  public:
    struct TWiring {
        std::function<void()> cancel;      // closed while busy
        std::function<void()> savePicture; // the user wants the capture as a picture
        std::function<void(const QString&)> openUrl;
        std::function<void(const QString&)> languageChosen; // the data of the language entry chosen
    };
    explicit TTextResultWindow(TWiring wiring, QWidget* parent = nullptr);
    ~TTextResultWindow() override;
    void SetWiring(TWiring wiring) { wiring_ = std::move(wiring); }

    // Near the selection (screen device pixels): below it, else above, else inside it, on its screen.
    void PlaceNear(const QRect& selection);
    void ShowBusy();
    // The result; an empty text and no codes shows that nothing was found.
    void ShowResult(const QString& text, const std::vector<TFoundCode>& codes);
    void ShowMessage(const QString& message);
    // The languages offered: each entry's text and data; `current` is the data chosen now.
    void OfferLanguages(const QList<QPair<QString, QString>>& entries, const QString& current);
    bool Busy() const { return busy_; }
    QString Text() const;
    QString Message() const;
    QString CodesText() const;

  signals:
    void Closed();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void SetBusy(bool busy);
    std::unique_ptr<Ui::TextResultWindow> ui_;
    TWiring wiring_;
    bool busy_ = false;
};
