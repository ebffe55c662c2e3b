#include "HotKeyEdit.h"

#include <QEvent>
#include <QCoreApplication>
#include <QKeyEvent>

#include <array>
#include <utility>

namespace {

// Keys whose virtual-key number is not simply their character.
constexpr std::array<std::pair<int, int>, 48> kKeys = {{
    {Qt::Key_Backspace, 0x08},   {Qt::Key_Tab, 0x09},        {Qt::Key_Clear, 0x0C},
    {Qt::Key_Return, 0x0D},      {Qt::Key_Pause, 0x13},      {Qt::Key_Escape, 0x1B},
    {Qt::Key_Space, 0x20},       {Qt::Key_PageUp, 0x21},     {Qt::Key_PageDown, 0x22},
    {Qt::Key_End, 0x23},         {Qt::Key_Home, 0x24},       {Qt::Key_Left, 0x25},
    {Qt::Key_Up, 0x26},          {Qt::Key_Right, 0x27},      {Qt::Key_Down, 0x28},
    {Qt::Key_Select, 0x29},      {Qt::Key_Printer, 0x2A},    {Qt::Key_Execute, 0x2B},
    {Qt::Key_Print, 0x2C},       {Qt::Key_Insert, 0x2D},     {Qt::Key_Delete, 0x2E},
    {Qt::Key_Help, 0x2F},        {Qt::Key_Meta, 0x5B},       {Qt::Key_Menu, 0x5D},
    {Qt::Key_Sleep, 0x5F},       {Qt::Key_Asterisk, 0x6A},   {Qt::Key_Cancel, 0x03},
    {Qt::Key_NumLock, 0x90},     {Qt::Key_ScrollLock, 0x91}, {Qt::Key_Semicolon, 0xBA},
    {Qt::Key_Equal, 0xBB},       {Qt::Key_Comma, 0xBC},      {Qt::Key_Minus, 0xBD},
    {Qt::Key_Period, 0xBE},      {Qt::Key_Slash, 0xBF},      {Qt::Key_QuoteLeft, 0xC0},
    {Qt::Key_BracketLeft, 0xDB}, {Qt::Key_Backslash, 0xDC},  {Qt::Key_BracketRight, 0xDD},
    {Qt::Key_Apostrophe, 0xDE},  {Qt::Key_VolumeMute, 0xAD}, {Qt::Key_VolumeDown, 0xAE},
    {Qt::Key_VolumeUp, 0xAF},    {Qt::Key_MediaNext, 0xB0},  {Qt::Key_MediaPrevious, 0xB1},
    {Qt::Key_MediaStop, 0xB2},   {Qt::Key_MediaPlay, 0xB3},  {Qt::Key_LaunchMail, 0xB4},
}};

// Number-pad keys: Qt reports the character with the keypad modifier.
constexpr std::array<std::pair<int, int>, 6> kPadKeys = {{
    {Qt::Key_Asterisk, 0x6A},
    {Qt::Key_Plus, 0x6B},
    {Qt::Key_Minus, 0x6D},
    {Qt::Key_Period, 0x6E},
    {Qt::Key_Comma, 0x6E},
    {Qt::Key_Slash, 0x6F},
}};

} // namespace

int QtKeyToVirtualKey(int qtKey, bool keypad) {
    if (keypad) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 0x60 + (qtKey - Qt::Key_0);
        for (const auto& [q, vk] : kPadKeys)
            if (q == qtKey) return vk;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return 'A' + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return '0' + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 0x70 + (qtKey - Qt::Key_F1);
    for (const auto& [q, vk] : kKeys)
        if (q == qtKey) return vk;
    return 0;
}

int VirtualKeyToQtKey(int vk) {
    if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + (vk - 'A');
    if (vk >= '0' && vk <= '9') return Qt::Key_0 + (vk - '0');
    if (vk >= 0x60 && vk <= 0x69) return Qt::Key_0 + (vk - 0x60);
    if (vk >= 0x70 && vk <= 0x87) return Qt::Key_F1 + (vk - 0x70);
    for (const auto& [q, v] : kPadKeys)
        if (v == vk) return q;
    for (const auto& [q, v] : kKeys)
        if (v == vk) return q;
    return 0;
}

QString ShortCutToText(int code) {
    code &= 0xFFFF;
    const int vk = code & 0xFF;
    if (vk == 0) return QCoreApplication::translate("THotKeyEdit", "无");
    QString text;
    if (code & hkCtrl) text += QStringLiteral("Ctrl + ");
    if (code & hkShift) text += QStringLiteral("Shift + ");
    if (code & hkAlt) text += QStringLiteral("Alt + ");
    QString key;
    if (vk >= 0x60 && vk <= 0x69)
        key = QStringLiteral("Num %1").arg(vk - 0x60);
    else if (vk == 0x2C)
        key = QStringLiteral("Prt Scr");
    else if (const int q = VirtualKeyToQtKey(vk))
        key = QKeySequence(q).toString(QKeySequence::NativeText);
    if (key.isEmpty()) key = QStringLiteral("#%1").arg(vk);
    return text + key;
}

THotKeyEdit::THotKeyEdit(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    SetHotKey(0);
}

void THotKeyEdit::SetHotKey(int code) {
    code_ = code & 0xFFFF;
    setText(ShortCutToText(code_));
}

bool THotKeyEdit::event(QEvent* e) {
    if (e->type() == QEvent::LanguageChange) setText(ShortCutToText(code_));
    // Tab and the window's shortcuts are keys like any other while this field has the focus.
    if (e->type() == QEvent::ShortcutOverride) {
        e->accept();
        return true;
    }
    if (e->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent*>(e));
        return true;
    }
    return QLineEdit::event(e);
}

void THotKeyEdit::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if (key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_AltGr ||
        key == Qt::Key_Meta || key == Qt::Key_unknown)
        return;
    const Qt::KeyboardModifiers mods = e->modifiers();
    int code = 0;
    // Backspace and Delete alone empty the field.
    if (!((key == Qt::Key_Backspace || key == Qt::Key_Delete) && !(mods & ~Qt::KeypadModifier))) {
        const int vk = QtKeyToVirtualKey(key, mods & Qt::KeypadModifier);
        if (vk == 0) return;
        code = vk;
        if (mods & Qt::ShiftModifier) code |= hkShift;
        if (mods & Qt::ControlModifier) code |= hkCtrl;
        if (mods & Qt::AltModifier) code |= hkAlt;
    }
    if (code == code_) return;
    SetHotKey(code);
    emit HotKeyChanged(code_);
}
