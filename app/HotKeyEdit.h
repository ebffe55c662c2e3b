// The hot-key edit of the settings tab: the user presses a key combination and the field shows and
// keeps it as a 16-bit shortcut code (the key's virtual-key number in the low byte, 0x2000 Shift,
// 0x4000 Ctrl, 0x8000 Alt), the form the setting is stored in.
#pragma once

#include <QLineEdit>

enum THotKeyModifier : int { hkShift = 0x2000, hkCtrl = 0x4000, hkAlt = 0x8000 };

// Virtual-key number of a Qt key (0 when the key has none); `keypad` picks the number-pad keys.
int QtKeyToVirtualKey(int qtKey, bool keypad = false);
// The Qt key for a virtual-key number, 0 when unknown.
int VirtualKeyToQtKey(int vk);
// "Ctrl + F5"; "无" for 0.
QString ShortCutToText(int code);

class THotKeyEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit THotKeyEdit(QWidget* parent = nullptr);

    int HotKey() const { return code_; }
    // Only the low 16 bits count. Fires no change signal.
    void SetHotKey(int code);

  signals:
    // The user entered another combination.
    void HotKeyChanged(int code);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    int code_ = 0;
};
