// The commands on the current capture as the main window offers them. Its buttons, the thumbnail
// card's menu and the after-capture handling all run them through here, so a window that runs one
// differently (a test that records them) does so everywhere.
#pragma once

class ICaptureCommands {
  public:
    virtual ~ICaptureCommands() = default;
    // Each does nothing without a capture.
    virtual void ToDesktopBtnClick() = 0;
    virtual void SaveAsBtnClick() = 0;
    virtual void EmailBtnClick() = 0;
    virtual void EditBtnClick() = 0;
    virtual void PrintBtnClick() = 0;
    virtual void ToClipboardBtnClick() = 0;
    virtual void DiscardBtnClick() = 0;
    // Pins the capture to the screen where it was taken.
    virtual void PinBtnClick() = 0;
    // Puts the flat capture on the clipboard, without AfterOperation.
    virtual void CopyToClipboard() = 0;
};
