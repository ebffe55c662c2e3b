// The settings tab's own controls: the hot-key field that stores a shortcut code, and the colour list.
#include "ColorBox.h"
#include "HotKeyEdit.h"
#include "Settings.h"

#include <QApplication>
#include <QKeyEvent>
#include <gtest/gtest.h>

namespace {

struct KeyCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    int code; // what the field holds afterwards (starting from Ctrl+F5)
    const char* text;
};

class HotKeyField : public ::testing::TestWithParam<KeyCase> {};

TEST_P(HotKeyField, KeyPressBecomesTheShortcutCode) {
    const KeyCase& c = GetParam();
    THotKeyEdit edit;
    edit.SetHotKey(0x4074);
    int signalled = -1;
    QObject::connect(&edit, &THotKeyEdit::HotKeyChanged, [&](int code) { signalled = code; });
    QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers);
    QApplication::sendEvent(&edit, &press);
    EXPECT_EQ(edit.HotKey(), c.code);
    EXPECT_EQ(edit.text(), QString::fromUtf8(c.text));
    EXPECT_EQ(signalled, c.code == 0x4074 ? -1 : c.code) << "a signal only for a new combination";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, HotKeyField,
    ::testing::Values(
        KeyCase{"ctrl_f5_again", Qt::Key_F5, Qt::ControlModifier, 0x4074, "Ctrl + F5"},
        KeyCase{"print", Qt::Key_Print, Qt::NoModifier, 0x2C, "Prt Scr"},
        KeyCase{"shift_alt_a", Qt::Key_A, Qt::ShiftModifier | Qt::AltModifier, 0xA041, "Shift + Alt + A"},
        KeyCase{"ctrl_shift_alt_9", Qt::Key_9, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier,
                0xE039, "Ctrl + Shift + Alt + 9"},
        KeyCase{"f24", Qt::Key_F24, Qt::NoModifier, 0x87, "F24"},
        KeyCase{"keypad_7", Qt::Key_7, Qt::KeypadModifier, 0x67, "Num 7"},
        KeyCase{"backspace_empties", Qt::Key_Backspace, Qt::NoModifier, 0, "无"},
        KeyCase{"delete_empties", Qt::Key_Delete, Qt::NoModifier, 0, "无"},
        KeyCase{"modifier_alone_keeps", Qt::Key_Control, Qt::ControlModifier, 0x4074, "Ctrl + F5"},
        KeyCase{"unknown_key_keeps", Qt::Key_unknown, Qt::NoModifier, 0x4074, "Ctrl + F5"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HotKeyField, VirtualKeysRoundTrip) {
    for (int vk = 1; vk < 256; ++vk) {
        const int key = VirtualKeyToQtKey(vk);
        if (!key) continue;
        const bool pad = vk >= 0x60 && vk <= 0x6F;
        EXPECT_EQ(QtKeyToVirtualKey(key, pad), vk) << "virtual key " << vk;
    }
    EXPECT_EQ(VirtualKeyToQtKey(0x2C), int(Qt::Key_Print));
    EXPECT_EQ(VirtualKeyToQtKey(0x74), int(Qt::Key_F5));
}

TEST(HotKeyField, KeepsOnlyTheLow16Bits) {
    THotKeyEdit edit;
    edit.SetHotKey(0x7FFF4074);
    EXPECT_EQ(edit.HotKey(), 0x4074);
    edit.SetHotKey(-1);
    EXPECT_EQ(edit.HotKey(), 0xFFFF);
}

TEST(ColorList, ValuesNeverCollideAndConvertToPlainColours) {
    TColorBox list;
    list.SetDefaultColorColor(0x0000D8);
    EXPECT_EQ(list.ColorToRGB(TColorBox::kDefaultColorValue), 0x0000D8u);
    EXPECT_EQ(list.ColorToRGB(0x00123456u), 0x00123456u);
    // System colours follow the palette: "窗口背景" is the base colour.
    const int window = list.findText(QStringLiteral("窗口背景"));
    ASSERT_GE(window, 0);
    const QColor base = list.palette().color(QPalette::Active, QPalette::Base);
    const uint32_t expected =
        uint32_t(base.red()) | uint32_t(base.green()) << 8 | uint32_t(base.blue()) << 16;
    EXPECT_EQ(list.ColorToRGB(list.ValueAt(window)), expected);
    // An unknown system value selects nothing rather than a wrong colour.
    list.SetSelected(TColorBox::kSystemColorFlag | 0x999u);
    EXPECT_EQ(list.currentIndex(), -1);
    EXPECT_EQ(list.ColorToRGB(TColorBox::kSystemColorFlag | 0x999u), 0u);
    // A known colour selects its own entry, an unknown plain colour the custom entry.
    list.SetSelected(0x0000FFu);
    EXPECT_EQ(list.currentText(), QStringLiteral("红色"));
    list.SetSelected(0x0000D8u);
    EXPECT_EQ(list.currentIndex(), list.CustomIndex());
    EXPECT_EQ(list.Selected(), 0x0000D8u);
}

TEST(ColorList, InkAndDisplayOrderSwapRedAndBlue) {
    static_assert(InkToDisplayColor(0xFFD80000u) == 0x000000D8u);
    static_assert(DisplayToInkColor(0x000000D8u) == 0xFFD80000u);
    for (uint32_t ink : {0xFF000000u, 0xFF123456u, 0xFFFFFFFFu, 0xFF00FF00u})
        EXPECT_EQ(DisplayToInkColor(InkToDisplayColor(ink)), ink);
    EXPECT_EQ(InkToDisplayColor(0x7F102030u), 0x00302010u) << "alpha dropped";
}

} // namespace
