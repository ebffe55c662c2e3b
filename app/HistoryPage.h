// The history tab: the kept captures as thumbnails with their time and name, newest first, and what
// can be done with one: copy it to the clipboard, save it under a chosen name, open it in the image
// editor, pin it to the screen, drag it out as its file, delete it. The thumbnails are read from their
// small files when the list first shows them; no full picture is read until a command needs it.
#pragma once

#include "CaptureHistory.h"
#include "Export.h"

#include <QCoreApplication>
#include <QObject>
#include <QRect>
#include <QSize>

#include <functional>
#include <optional>

class QLabel;
class QListView;
class QMenu;
class QPushButton;
class QWidget;
class TDIB;

// Opens a capture pinned to the screen where it was taken (desktopRect; null when not known).
using TPinCapture = std::function<void(const TDIB& capture, QRect desktopRect)>;

class THistoryPage : public QObject {
    // The texts keep the main window's context in the catalogue.
    Q_DECLARE_TR_FUNCTIONS(TVexmorMainForm)

  public:
    struct TWiring {
        // The history, opened on first use.
        std::function<TCaptureHistory&()> history;
        // The format, quality and scaling settings as the settings tab shows them.
        std::function<TExportSettings()> exportSettings;
    };

    // Fills `sheet` with the list and the command buttons.
    THistoryPage(QWidget* sheet, TWiring wiring);
    ~THistoryPage() override;

    // The tab's client size.
    QSize SheetSize() const;
    // The tab is shown: the list follows the history from now on.
    void ShowEntries();
    // Pinning is offered once something can pin; until then its button and entry are greyed out.
    void SetPinCapture(TPinCapture pin);
    void RetranslateTexts();

    // The commands, on the selected entry (nothing without one).
    void CopyClick();
    void SaveAsClick();
    void EditClick();
    void PinClick();
    void DeleteClick();

    QListView* List() const { return list_; }
    // The selected entry.
    std::optional<THistoryEntry> Selected() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class TModel;
    // The picture of an entry as the capture was; nothing (and the user told) when it cannot be read.
    std::optional<TDIB> LoadPicture(const THistoryEntry& entry);
    void Export(void (TExporter::*command)());
    void UpdateCommands();
    void PopupMenu(const QPoint& at);

    QWidget* sheet_;
    TWiring wiring_;
    TPinCapture pin_;
    TModel* model_ = nullptr;
    QListView* list_ = nullptr;
    QLabel* emptyLabel_ = nullptr;
    QPushButton* copyBtn_ = nullptr;
    QPushButton* saveAsBtn_ = nullptr;
    QPushButton* editBtn_ = nullptr;
    QPushButton* pinBtn_ = nullptr;
    QPushButton* deleteBtn_ = nullptr;
};
