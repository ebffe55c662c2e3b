#include "HotKeys.h"

#include <QCoreApplication>

#include "HotKeyEdit.h"

#include <QStringList>

namespace {
constexpr int VK_SNAPSHOT = 0x2C;

Qt::KeyboardModifiers QtModifiers(int mods) {
    Qt::KeyboardModifiers m;
    if (mods & MOD_ALT) m |= Qt::AltModifier;
    if (mods & MOD_CONTROL) m |= Qt::ControlModifier;
    if (mods & MOD_SHIFT) m |= Qt::ShiftModifier;
    return m;
}
} // namespace

bool HotKeyBase(int choice, int customCode, int& virtualKey, int& mods) {
    switch (choice) {
    case hcPrintScreen:
        virtualKey = VK_SNAPSHOT;
        mods = 0;
        return true;
    case hcCtrlPrintScreen:
        virtualKey = VK_SNAPSHOT;
        mods = MOD_CONTROL;
        return true;
    case hcCustom: {
        const int code = customCode & 0xFFFF;
        if (code == 0) return false;
        virtualKey = code & ~(hkShift | hkCtrl | hkAlt);
        mods = 0;
        if (code & hkShift) mods |= MOD_SHIFT;
        if (code & hkAlt) mods |= MOD_ALT;
        if (code & hkCtrl) mods |= MOD_CONTROL;
        return true;
    }
    default:
        return false;
    }
}

QList<THotKeyRegistration> HotKeyRegistrations(int choice, int customCode) {
    int vk = 0, mods = 0;
    if (!HotKeyBase(choice, customCode, vk, mods)) return {};
    const int key = VirtualKeyToQtKey(vk);
    if (key == 0) return {};
    return {{0, key, QtModifiers(mods)},
            {1, key, QtModifiers(mods ^ MOD_ALT)},
            {2, key, QtModifiers(mods ^ MOD_CONTROL)}};
}

QString HotKeyText(const THotKeyRegistration& key) {
    int code = QtKeyToVirtualKey(key.qtKey);
    if (key.modifiers & Qt::ControlModifier) code |= hkCtrl;
    if (key.modifiers & Qt::ShiftModifier) code |= hkShift;
    if (key.modifiers & Qt::AltModifier) code |= hkAlt;
    return ShortCutToText(code);
}

QString HeldHotKeysText(const QList<THotKeyRegistration>& held, const std::optional<QString>& keptBy) {
    if (held.isEmpty()) return {};
    QStringList names;
    for (const THotKeyRegistration& key : held)
        names << HotKeyText(key);
    // The command stays on one line: a no-break space after the program's name, a word joiner after
    // the dashes. The list's separator is a text of its own: each language has its own.
    const QString list = names.join(QCoreApplication::translate("HotKeys", "、"));
    const QString command = QStringLiteral("vexmor\u00A0--\u2060capture");
    // A compositor that keeps every key is where the user binds the command: saying that other
    // programs hold them would send them looking for a program that is not there.
    if (keptBy && keptBy->isEmpty())
        return QCoreApplication::translate(
                   "HotKeys", "桌面自己保留了以下热键：%1。可在桌面的键盘设置中把 %2 绑定到一个键。")
            .arg(list, command);
    if (keptBy)
        return QCoreApplication::translate(
                   "HotKeys", "%3 自己保留了以下热键：%1。可在 %3 的键盘设置中把 %2 绑定到一个键。")
            .arg(list, command, *keptBy);
    return QCoreApplication::translate(
               "HotKeys", "以下热键已被其他程序占用：%1。可在桌面的键盘设置中把 %2 绑定到一个键。")
        .arg(list, command);
}
