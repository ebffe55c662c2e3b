// The capture hot keys: which three key combinations the hot-key choice registers, and under which
// identifiers. Identifier i starts a capture in mode i (0 whole desktop, 1 active window,
// 2 magnifier), or confirms an open overlay.
#pragma once

#include <optional>

#include <QList>
#include <QString>
#include <Qt>

// Modifier bits of a hot-key combination, as the choice table combines them.
enum THotKeyMod : int { MOD_ALT = 1, MOD_CONTROL = 2, MOD_SHIFT = 4 };

struct THotKeyRegistration {
    int id;    // 0..2: the capture mode
    int qtKey; // Qt key code
    Qt::KeyboardModifiers modifiers;
    bool operator==(const THotKeyRegistration&) const = default;
};

// The hot-key list's choices, by their index in the list (which the settings store).
enum THotKeyChoice : int { hcPrintScreen = 0, hcCtrlPrintScreen = 1, hcCustom = 2 };

// Base key (a virtual-key number) and MOD_ bits of the choice: Print Screen, Ctrl + Print Screen, or
// the custom 16-bit shortcut code. False when there is no hot key: a custom code of 0, or
// a choice outside 0..2 (the list then shows no selection, and no key is taken from the desktop).
bool HotKeyBase(int choice, int customCode, int& virtualKey, int& mods);

// The three combinations to register: the base, the base with Alt flipped and the base with Ctrl
// flipped. Empty when there is no hot key or its key has no Qt equivalent.
QList<THotKeyRegistration> HotKeyRegistrations(int choice, int customCode);

// A combination as the settings tab names keys: "Prt Scr", "Alt + Prt Scr", "Ctrl + Shift + F5".
QString HotKeyText(const THotKeyRegistration& key);

// What the user is told when some of the combinations are held: which ones, who keeps them (other
// programs when `keptBy` is empty; else the desktop it names, or the desktop unnamed when the name
// is empty), and that the capture command can be bound to a key there instead. Empty when none is.
QString HeldHotKeysText(const QList<THotKeyRegistration>& held,
                        const std::optional<QString>& keptBy = std::nullopt);
