// The about tab: the logo, the version and the credits with their links.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QSize>
#include <QString>

#include <utility>
#include <vector>

class QLabel;
namespace Ui {
class VexmorMainForm;
}

class TAboutPage : public QObject {
    // The texts keep the main window's context in the catalogue.
    Q_DECLARE_TR_FUNCTIONS(TVexmorMainForm)

  public:
    TAboutPage(Ui::VexmorMainForm& ui, QString versionText);

    static QSize SheetSize();
    // The web addresses of the links.
    static QString HomePageUrl();
    static QString HelpPageUrl();

    // The version line, again in the language now installed.
    void RetranslateTexts();
    // The texts stand in a column right of the logo, each where the form puts it. A text that would
    // reach past the tab's right edge wraps there, and the texts below it move down by the lines it
    // gains.
    void LayOutCredits();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    static void OpenLink(const QString& url);

    Ui::VexmorMainForm& ui_;
    QString versionText_;
    // The column of texts, top to bottom, each with the top the form gives it.
    std::vector<std::pair<QLabel*, int>> creditRows_;
};
