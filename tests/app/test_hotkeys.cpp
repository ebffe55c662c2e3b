// The capture hot keys: the three combinations of each choice, and what the main window takes from
// the desktop as the choice changes.
#include "HotKeyEdit.h"
#include "HotKeys.h"
#include "VexmorMain.h"

#include "FakePlatform.h"

#include <QComboBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using R = THotKeyRegistration;
constexpr auto None = Qt::NoModifier;
constexpr auto Alt = Qt::AltModifier;
constexpr auto Ctrl = Qt::ControlModifier;
constexpr auto Shift = Qt::ShiftModifier;

struct ChoiceCase {
    const char* name;
    int choice, customCode;
    QList<R> expected;
};
void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class HotKeyChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(HotKeyChoice, RegistersTheBaseAndItsAltAndCtrlFlips) {
    EXPECT_EQ(HotKeyRegistrations(GetParam().choice, GetParam().customCode), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, HotKeyChoice,
    ::testing::Values(
        ChoiceCase{"print_screen", 0, 0x4074,
                   {{0, Qt::Key_Print, None}, {1, Qt::Key_Print, Alt}, {2, Qt::Key_Print, Ctrl}}},
        ChoiceCase{"ctrl_print_screen", 1, 0,
                   {{0, Qt::Key_Print, Ctrl}, {1, Qt::Key_Print, Ctrl | Alt}, {2, Qt::Key_Print, None}}},
        ChoiceCase{"custom_ctrl_f5", 2, hkCtrl | 0x74,
                   {{0, Qt::Key_F5, Ctrl}, {1, Qt::Key_F5, Ctrl | Alt}, {2, Qt::Key_F5, None}}},
        ChoiceCase{"custom_alt_shift_a", 2, hkAlt | hkShift | 'A',
                   {{0, Qt::Key_A, Alt | Shift}, {1, Qt::Key_A, Shift}, {2, Qt::Key_A, Alt | Shift | Ctrl}}},
        ChoiceCase{"custom_high_bits_ignored", 2, 0x10000 | hkCtrl | 0x74,
                   {{0, Qt::Key_F5, Ctrl}, {1, Qt::Key_F5, Ctrl | Alt}, {2, Qt::Key_F5, None}}},
        ChoiceCase{"custom_empty_means_none", 2, 0, {}},
        ChoiceCase{"custom_modifiers_only_no_key", 2, hkCtrl, {}},
        ChoiceCase{"choice_out_of_range", 3, 0x4074, {}}, ChoiceCase{"no_selection", -1, 0x4074, {}}),
    [](const auto& info) { return std::string(info.param.name); });

class MainFormHotKeys : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
        fake_ = InstallFakePlatform();
        form_ = std::make_unique<TVexmorMainForm>();
    }
    void TearDown() override {
        form_.reset();
        qputenv("XDG_CONFIG_HOME", saved_);
    }
    QList<R> Registered() const {
        QList<R> r;
        for (const auto& k : fake_->hotKeys) r.append({k.id, k.key, k.modifiers});
        std::sort(r.begin(), r.end(), [](const R& a, const R& b) { return a.id < b.id; });
        return r;
    }
    QTemporaryDir dir_;
    QByteArray saved_;
    std::shared_ptr<TFakeState> fake_;
    std::unique_ptr<TVexmorMainForm> form_;
};

TEST_F(MainFormHotKeys, FollowTheChoiceAndGoAtTheEnd) {
    EXPECT_EQ(Registered(), QList<R>({{0, Qt::Key_Print, None}, {1, Qt::Key_Print, Alt}, {2, Qt::Key_Print, Ctrl}}));
    auto* choice = form_->findChild<QComboBox*>("CapHotKeySel");
    auto* custom = form_->findChild<THotKeyEdit*>("CapCustomHotKey");
    ASSERT_TRUE(choice && custom);
    choice->setCurrentIndex(1);
    EXPECT_EQ(Registered(), QList<R>({{0, Qt::Key_Print, Ctrl}, {1, Qt::Key_Print, Ctrl | Alt}, {2, Qt::Key_Print, None}}));
    custom->SetHotKey(0);
    choice->setCurrentIndex(2);
    EXPECT_TRUE(custom->isEnabled());
    EXPECT_TRUE(Registered().isEmpty());  // an empty custom key leaves no hot key at all
    ASSERT_TRUE(fake_->hotKeyHandler);
    form_.reset();
    EXPECT_TRUE(Registered().isEmpty());
}

TEST_F(MainFormHotKeys, ACombinationHeldElsewhereLeavesTheOthersWorking) {
    form_.reset();
    fake_->heldByOthers.append({Qt::Key_Print, Alt});
    form_ = std::make_unique<TVexmorMainForm>();
    EXPECT_EQ(Registered(), QList<R>({{0, Qt::Key_Print, None}, {2, Qt::Key_Print, Ctrl}}));
}

} // namespace
