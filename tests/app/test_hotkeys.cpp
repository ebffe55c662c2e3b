// The capture hot keys: the three combinations of each choice, and what the main window takes from
// the desktop as the choice changes.
#include "HotKeyEdit.h"
#include "HotKeys.h"
#include "VexmorMain.h"

#include "FakePlatform.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The settings tab: the design's 418 pixels and the interface language group below the others.
constexpr int kSettingsHeight = 418 + 68;

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
void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class HotKeyChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(HotKeyChoice, RegistersTheBaseAndItsAltAndCtrlFlips) {
    EXPECT_EQ(HotKeyRegistrations(GetParam().choice, GetParam().customCode), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, HotKeyChoice,
    ::testing::Values(
        ChoiceCase{"print_screen",
                   0,
                   0x4074,
                   {{0, Qt::Key_Print, None}, {1, Qt::Key_Print, Alt}, {2, Qt::Key_Print, Ctrl}}},
        ChoiceCase{"ctrl_print_screen",
                   1,
                   0,
                   {{0, Qt::Key_Print, Ctrl}, {1, Qt::Key_Print, Ctrl | Alt}, {2, Qt::Key_Print, None}}},
        ChoiceCase{"custom_ctrl_f5",
                   2,
                   hkCtrl | 0x74,
                   {{0, Qt::Key_F5, Ctrl}, {1, Qt::Key_F5, Ctrl | Alt}, {2, Qt::Key_F5, None}}},
        ChoiceCase{"custom_alt_shift_a",
                   2,
                   hkAlt | hkShift | 'A',
                   {{0, Qt::Key_A, Alt | Shift}, {1, Qt::Key_A, Shift}, {2, Qt::Key_A, Alt | Shift | Ctrl}}},
        ChoiceCase{"custom_high_bits_ignored",
                   2,
                   0x10000 | hkCtrl | 0x74,
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
        TrayMessageHook = [this](const QString& title, const QString& text) {
            messages_ << title + u'|' + text;
        };
        form_ = std::make_unique<TVexmorMainForm>();
    }
    void TearDown() override {
        form_.reset();
        TrayMessageHook = nullptr;
        qputenv("XDG_CONFIG_HOME", saved_);
    }
    template <typename T> T* Get(const char* name) const {
        T* w = form_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static QString Told(const QString& names) {
        return QStringLiteral("以下热键已被其他程序占用：%1。可在桌面的键盘设置中把 "
                              "vexmor\u00A0--\u2060capture 绑定到一个键。")
            .arg(names);
    }
    QList<R> Registered() const {
        QList<R> r;
        for (const auto& k : fake_->hotKeys)
            r.append({k.id, k.key, k.modifiers});
        std::sort(r.begin(), r.end(), [](const R& a, const R& b) { return a.id < b.id; });
        return r;
    }
    QTemporaryDir dir_;
    QByteArray saved_;
    std::shared_ptr<TFakeState> fake_;
    std::unique_ptr<TVexmorMainForm> form_;
    QStringList messages_; // "title|text" of each tray message
};

TEST_F(MainFormHotKeys, FollowTheChoiceAndGoAtTheEnd) {
    EXPECT_EQ(Registered(),
              QList<R>({{0, Qt::Key_Print, None}, {1, Qt::Key_Print, Alt}, {2, Qt::Key_Print, Ctrl}}));
    auto* choice = form_->findChild<QComboBox*>("CapHotKeySel");
    auto* custom = form_->findChild<THotKeyEdit*>("CapCustomHotKey");
    ASSERT_TRUE(choice && custom);
    choice->setCurrentIndex(1);
    EXPECT_EQ(Registered(),
              QList<R>({{0, Qt::Key_Print, Ctrl}, {1, Qt::Key_Print, Ctrl | Alt}, {2, Qt::Key_Print, None}}));
    custom->SetHotKey(0);
    choice->setCurrentIndex(2);
    EXPECT_TRUE(custom->isEnabled());
    EXPECT_TRUE(Registered().isEmpty()); // an empty custom key leaves no hot key at all
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

TEST_F(MainFormHotKeys, HeldCombinationsAreToldOnceAndNamedBesideTheChoice) {
    EXPECT_TRUE(messages_.isEmpty()) << "nothing to tell while every key is ours";
    auto* note = Get<QLabel>("HeldKeysLabel");
    EXPECT_TRUE(note->isHidden());
    const int designRow = Get<QWidget>("AfterCaptureSel")->y();
    form_.reset();
    fake_->heldByOthers = {{Qt::Key_Print, Alt}, {Qt::Key_Print, Ctrl}};
    form_ = std::make_unique<TVexmorMainForm>();
    EXPECT_EQ(messages_,
              QStringList{QStringLiteral("Vexmor|") + Told(QStringLiteral("Alt + Prt Scr、Ctrl + Prt Scr"))});
    note = Get<QLabel>("HeldKeysLabel");
    EXPECT_FALSE(note->isHidden());
    EXPECT_EQ(note->text(), Told(QStringLiteral("Alt + Prt Scr、Ctrl + Prt Scr")));

    // The note wraps inside the capture group; the rows below it and the tab make room for it.
    Get<QTabWidget>("SheetSelect")->setCurrentIndex(1);
    const QRect capBox = Get<QGroupBox>("CapBox")->geometry();
    EXPECT_TRUE(QRect(QPoint(), capBox.size()).contains(note->geometry()));
    EXPECT_GT(note->height(), note->fontMetrics().height()) << "two lines at least";
    EXPECT_LT(note->geometry().bottom(), Get<QWidget>("AfterCaptureSel")->y());
    EXPECT_LT(note->geometry().bottom(), Get<QWidget>("ACLabel")->y());
    EXPECT_LT(capBox.bottom(), Get<QWidget>("ImageBox")->y());
    EXPECT_GT(form_->height(), kSettingsHeight);
    EXPECT_EQ(form_->width(), 466);
    auto gapBelowNote = [&] { return Get<QWidget>("AfterCaptureSel")->y() - note->geometry().bottom(); };
    const int gap = gapBelowNote();

    // Every registration checks again; the tray has had its one message of this start.
    Get<QComboBox>("CapHotKeySel")->setCurrentIndex(1); // Ctrl + Prt Scr, with Alt and without Ctrl
    EXPECT_EQ(note->text(), Told(QStringLiteral("Ctrl + Prt Scr")));
    EXPECT_EQ(gapBelowNote(), gap) << "the rows move with the note, not again at each registration";
    EXPECT_EQ(form_->height(), kSettingsHeight + (Get<QWidget>("AfterCaptureSel")->y() - designRow));
    fake_->heldByOthers.clear();
    Get<QComboBox>("CapHotKeySel")->setCurrentIndex(0);
    EXPECT_TRUE(note->isHidden());
    EXPECT_EQ(form_->size(), QSize(466, kSettingsHeight)) << "back to the tab's own size";
    EXPECT_EQ(Get<QWidget>("AfterCaptureSel")->y(), designRow);

    // A new keyboard mapping can put a key on a code another program holds.
    fake_->heldByOthers = {{Qt::Key_Print, None}};
    fake_->RemapKeyboard();
    EXPECT_EQ(note->text(), Told(QStringLiteral("Prt Scr")));
    EXPECT_FALSE(note->isHidden());
    EXPECT_EQ(messages_.size(), 1);
}

TEST_F(MainFormHotKeys, AResidentStartTellsOnceThoughItsControlsRegisterAgain) {
    form_.reset();
    fake_->heldByOthers = {{Qt::Key_Print, None}};
    form_ = std::make_unique<TVexmorMainForm>(TVexmorMainForm::TControlsAt::FirstUse);
    ASSERT_FALSE(form_->ControlsMade());
    EXPECT_EQ(messages_, QStringList{QStringLiteral("Vexmor|") + Told(QStringLiteral("Prt Scr"))});
    form_->MakeControls();
    EXPECT_EQ(messages_.size(), 1);
    EXPECT_EQ(Get<QLabel>("HeldKeysLabel")->text(), Told(QStringLiteral("Prt Scr")));
    EXPECT_FALSE(Get<QLabel>("HeldKeysLabel")->isHidden());
}

} // namespace
