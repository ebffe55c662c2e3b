// The current capture: its three images, held from the overlay's confirmation until it is
// discarded; what follows a capture; the commands that export it; and what the thumbnail card asks
// of the main window, with the card's menu and the file a drag out of the card writes (the capture
// tab's picture, where the card cannot fly, is the same drag source).
//
// The export and the drag read the capture and the settings at the moment they ask, as the window's
// controls show them.
#pragma once

#include "CaptureCommands.h"
#include "DIBmp.h"
#include "PinWindow.h"
#include "Thumb.h"

#include <QCoreApplication>
#include <QPointF>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QAction;
class QMenu;
class QWidget;
class TExporter;
class TFormControls;
class TMenuIcons;
struct TExportSettings;

class TCaptureHolder : public IThumbOwner {
    // The texts keep the main window's context in the catalogue.
    Q_DECLARE_TR_FUNCTIONS(TVexmorMainForm)

  public:
    // What the holder asks of the window that shows the capture.
    struct TWiring {
        std::function<void()> discardCapture; // the capture goes, and the window shows it has gone
        std::function<void()> sizeWindow;     // the window is sized for the tab it shows
        std::function<void()> showCaptureTab; // the capture tab is shown and chosen
        // Where the card cannot fly, the capture tab shows the capture's picture.
        std::function<void(const TDIB& picture)> showPreviewInTab;
        // Every confirmed capture is kept in the history, named with its title and placed where it was
        // taken, whatever follows it.
        std::function<void(const TDIB& capture, const QString& title, const QRect& desktopRect)>
            recordCapture;
        std::function<void()> pinCapture; // the current capture pinned to the screen
    };

    TCaptureHolder(QWidget* window, const TFormControls& ui, ICaptureCommands& commands, TWiring wiring);
    ~TCaptureHolder() override;

    TDIB CaptureImage; // 32-bit premultiplied; not empty exactly while a capture is held
    TDIB FlatImage;    // 24-bit, opaque
    TDIB PreviewImage; // 32-bit, the thumbnail's picture; handed over or freed by CaptureFinished
    QPointF PreviewOrigin;
    QRect CaptureRect; // where the capture lies on the desktop, device pixels of the desktop
    bool CaptureHeld() const { return !CaptureImage.Empty(); }
    void Store(const TDIB& captureImage, const TDIB& flatImage, const TDIB& previewImage,
               QPointF previewOrigin, const QRect& captureRect);

    // The after-capture handling, run once the overlay has stored the three images.
    void CaptureFinished();
    // After a command on the capture: with "discard after operation" the capture goes and the window
    // hides.
    void AfterOperation();
    // Frees the images and sends the card away.
    void Discard();

    // The current capture as a pin holds it, named with the texts given; empty images without one.
    TPinnedCapture PinnedCapture(const QString& title, const QString& comment) const;
    // A pinned capture stored as the current one (the previous one discarded) and shown for naming.
    void TakeBack(const TPinnedCapture& capture);
    // A pin's commands on its own capture: the flat picture on the clipboard; the picture save dialog
    // (named with the pin's title; the discard-after-operation rule leaves the current capture alone).
    void CopyPinned(const TPinnedCapture& capture);
    void SavePinnedAs(const TPinnedCapture& capture, QWidget* parent);

    // Where the desktop places windows itself the card cannot fly; the capture tab shows the
    // capture's picture instead, as the same drag source.
    static bool CardCanFly();
    // Sends the card out with the preview, unless one is out already.
    void FlyCard();
    // The card fades in and out with the window, except while the window has stepped aside for a drag
    // out of the card.
    void ShowCardWithWindow(bool shown);
    // Keeps the card directly below the window.
    void RestackThumb();

    // The card's menu, made in the interface language installed (its entries run the commands).
    void CreateThumbMenu(const TMenuIcons& icons);
    QMenu* ThumbMenu() const { return thumbMenu_; }
    void RetranslateTexts();

    // The export's settings as the window's controls show them.
    TExportSettings ExportSettingsShown() const;

    // The commands, as the window runs them.
    void ToDesktopBtnClick();
    void SaveAsBtnClick();
    void EmailBtnClick();
    void EditBtnClick();
    void PrintBtnClick();
    void ToClipboardBtnClick();
    void DiscardBtnClick();
    // Pins the capture to the screen, then the discard-after-operation rule.
    void PinBtnClick();
    void CopyToClipboard();

    // What the card asks of the window.
    bool OwnerVisible() const override;
    QRect OwnerBounds() const override;
    void BringOwnerForward() override;
    void PopupThumbMenu(const QPoint& globalPos) override;
    void HideForDragOut() override;
    void ShowAfterDragOut() override;
    QString DragFileName() override;
    // The file is encoded while the user drags (a 4K PNG takes a second), so the drop only writes it.
    std::unique_ptr<TPreparedFile> PrepareDragFile() override;
    QString SaveDragFile(const QString& path, TPreparedFile* prepared) override;

  private:
    // What the export asks of the window.
    class TExportOwner;
    // After a capture the window shows it for naming where the window was, with the card flying out
    // (or where it cannot, the picture in the capture tab).
    void ShowCaptureForNaming();
    // The export reads the capture and the settings at the moment of the command.
    void RunExport(void (TExporter::*command)());
    // The drag-out's file written afresh in the selected format; a failure's error box comes after
    // the target has had its answer.
    QString SaveDragFileAfresh(const QString& path);

    QWidget* window_;
    const TFormControls& ui_;
    ICaptureCommands& commands_;
    TWiring wiring_;
    QMenu* thumbMenu_ = nullptr;
    // The menu's entries and the texts they were made with, to be looked up again on a language change.
    std::vector<std::pair<QAction*, const char*>> menuTexts_;
    // While the card is dragged out the window steps aside without fading the card.
    bool dragOutHiding_ = false;
    // The picture the card or the capture tab took, for a pin made from the capture afterwards.
    TDIB shownPreview_;
};
