// The capture tab: the capture's file name and comment with the commands' buttons, and, where the
// card cannot fly, the capture's picture below them.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QSize>

#include <functional>

class ICaptureCommands;
class IThumbOwner;
class QWidget;
class TDIB;
class TDragOutPreview;
namespace Ui {
class VexmorMainForm;
}

// The text with its ASCII letters in capitals and nothing else changed.
QString UpperAscii(QString text);
// Typed as the file name, this phrase reveals the ink settings; the Chinese phrase works in either
// language, and the letter case does not count.
bool IsHiddenPhrase(const QString& text);

class TCapturePage : public QObject {
    // The texts keep the main window's context in the catalogue.
    Q_DECLARE_TR_FUNCTIONS(TVexmorMainForm)

  public:
    // The buttons run `commands`; the picture's drags ask `thumbOwner`; the hidden phrase calls
    // `revealInk`.
    TCapturePage(QWidget* window, Ui::VexmorMainForm& ui, ICaptureCommands& commands, IThumbOwner* thumbOwner,
                 std::function<void()> revealInk);

    // The tab's client size: taller while it shows the capture's picture.
    QSize SheetSize() const;
    // The two edit fields start right of the wider of their labels (never left of where the form
    // puts them) and follow the tab's right edge.
    void LayoutCaptureSheet();
    // The capture's picture, shown in the tab where the card cannot fly.
    void ShowPreviewInTab(const TDIB& picture);
    // The capture is gone: the picture hides. ClearPreview only stops the bytes made for its last drag.
    void HidePreview();
    void ClearPreview();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ConnectHandlers(ICaptureCommands& commands);
    void TitleEditChange(const QString& text);

    QWidget* window_;
    Ui::VexmorMainForm& ui_;
    std::function<void()> revealInk_;
    int capEditLeft_; // where the form puts the two edit fields
    TDragOutPreview* capPreview_;
};
