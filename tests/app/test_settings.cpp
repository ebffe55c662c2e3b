// The settings tab as the program's settings: defaults of a first run, a full round trip through the
// settings file across a restart, the readers' rules for odd stored values, the window placement and
// the autostart entry.
#include "ConfigHome.h"
#include "FindControl.h"
#include "ColorBox.h"
#include "HotKeyEdit.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "VexmorMain.h"

#include "FakePlatform.h"
#include "Globals.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>

namespace {

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        configHome_.emplace(dir_.path());
        fake_ = InstallFakePlatform();
        InkColor = kDefaultInkColor;
    }
    void TearDown() override {
        configHome_.reset();
        InkColor = kDefaultInkColor;
    }
    QString IniPath() const { return dir_.path() + QStringLiteral("/Vexmor/Vexmor.ini"); }
    void WriteIni(const QByteArray& text) {
        TSettingsStore store(IniPath());
        store.Parse(text);
        ASSERT_TRUE(store.Save());
    }
    QByteArray ReadIni() const {
        QFile f(IniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
    std::optional<TScopedConfigHome> configHome_;
    std::shared_ptr<TFakeState> fake_;
};

TEST_F(SettingsTest, FirstRunShowsDesignDefaultsAndWritesEveryValueAtExit) {
    {
        TVexmorMainForm form;
        EXPECT_EQ(Get<QComboBox>(form, "CapHotKeySel")->currentIndex(), 0);
        EXPECT_EQ(Get<THotKeyEdit>(form, "CapCustomHotKey")->HotKey(), 16500);
        EXPECT_FALSE(Get<THotKeyEdit>(form, "CapCustomHotKey")->isEnabled());
        EXPECT_EQ(Get<QComboBox>(form, "AfterCaptureSel")->currentIndex(), 0);
        EXPECT_EQ(Get<QComboBox>(form, "FormatSel")->currentIndex(), 1);
        EXPECT_EQ(Get<QComboBox>(form, "EditFormatSel")->currentIndex(), 0);
        EXPECT_EQ(Get<QSlider>(form, "JPGQSel")->value(), 90);
        EXPECT_EQ(Get<QSlider>(form, "ScalingSel")->value(), 100);
        for (const char* box :
             {"AlwaysCBBox", "PurgeAfterOpBox", "CapCursorBox", "AutoTitleBox", "TransPNGBox"})
            EXPECT_TRUE(Get<QCheckBox>(form, box)->isChecked()) << box;
        // Its design state is ticked, but there is no autostart entry.
        EXPECT_FALSE(Get<QCheckBox>(form, "StartupBox")->isChecked());
        EXPECT_TRUE(Get<QGroupBox>(form, "InkBox")->isHidden());
        EXPECT_EQ(InkColor, 0xFFD80000u);
        EXPECT_EQ(Get<QLabel>(form, "JPGLabel")->text(), QStringLiteral("JPG质量(90)"));
        EXPECT_EQ(Get<QLabel>(form, "ScalingLabel")->text(), QStringLiteral("缩放比例(100%)"));
        EXPECT_TRUE(ReadIni().isEmpty()) << "nothing is written before the exit";
    }
    TSettingsStore store(IniPath());
    ASSERT_TRUE(store.Load());
    const QString key = kSettingsKey;
    const QList<QPair<QString, QString>> expected = {
        {SettingName::CapCustomHotKey, "16500"},
        {SettingName::CapHotKeySel, "0"},
        {SettingName::AfterCaptureSel, "0"},
        {SettingName::FormatSel, "1"},
        {SettingName::EditFormatSel, "0"},
        {SettingName::JPGQSel, "90"},
        {SettingName::ScalingSel, "100"},
        {SettingName::InkColor, "-2621440"},
        {SettingName::InkBox, "0"},
        {SettingName::AlwaysCBBox, "1"},
        {SettingName::PurgeAfterOpBox, "1"},
        {SettingName::CapCursorBox, "1"},
        {SettingName::AutoTitleBox, "1"},
        {SettingName::TransPNGBox, "1"},
    };
    for (const auto& [name, text] : expected)
        EXPECT_EQ(store.ReadString(key, name), text) << name.toStdString();
    EXPECT_TRUE(store.ValueExists(key + QStringLiteral("\\VexmorMainForm"), SettingName::Left));
    EXPECT_TRUE(store.ValueExists(key + QStringLiteral("\\VexmorMainForm"), SettingName::Top));
    EXPECT_EQ(store.ReadString(key + QStringLiteral("\\VexmorMainForm"), SettingName::State),
              QStringLiteral("0"));
    // The placement key holds only what the program writes.
    EXPECT_FALSE(store.ValueExists(key + QStringLiteral("\\VexmorMainForm"), SettingName::Width));
    EXPECT_FALSE(store.ValueExists(key + QStringLiteral("\\VexmorMainForm"), SettingName::Visible));
}

TEST_F(SettingsTest, EveryValueSurvivesARestart) {
    {
        TVexmorMainForm form;
        Get<QComboBox>(form, "CapHotKeySel")->setCurrentIndex(2);
        Get<THotKeyEdit>(form, "CapCustomHotKey")->SetHotKey(hkShift | hkAlt | 0x41);
        Get<QComboBox>(form, "AfterCaptureSel")->setCurrentIndex(3);
        Get<QComboBox>(form, "FormatSel")->setCurrentIndex(2);
        Get<QComboBox>(form, "EditFormatSel")->setCurrentIndex(1);
        Get<QSlider>(form, "JPGQSel")->setValue(40);
        Get<QSlider>(form, "ScalingSel")->setValue(70);
        for (const char* box :
             {"AlwaysCBBox", "PurgeAfterOpBox", "CapCursorBox", "AutoTitleBox", "TransPNGBox"})
            Get<QCheckBox>(form, box)->setChecked(false);
        Get<QGroupBox>(form, "InkBox")->setVisible(true);
        InkColor = 0xFF123456u;
        form.move(123, 234);
    }
    InkColor = kDefaultInkColor;
    TVexmorMainForm form;
    EXPECT_EQ(Get<QComboBox>(form, "CapHotKeySel")->currentIndex(), 2);
    EXPECT_TRUE(Get<THotKeyEdit>(form, "CapCustomHotKey")->isEnabled());
    EXPECT_EQ(Get<THotKeyEdit>(form, "CapCustomHotKey")->HotKey(), hkShift | hkAlt | 0x41);
    EXPECT_EQ(Get<QComboBox>(form, "AfterCaptureSel")->currentIndex(), 3);
    EXPECT_EQ(Get<QComboBox>(form, "FormatSel")->currentIndex(), 2);
    EXPECT_EQ(Get<QComboBox>(form, "EditFormatSel")->currentIndex(), 1);
    EXPECT_EQ(Get<QSlider>(form, "JPGQSel")->value(), 40);
    EXPECT_EQ(Get<QSlider>(form, "ScalingSel")->value(), 70);
    EXPECT_EQ(Get<QLabel>(form, "JPGLabel")->text(), QStringLiteral("JPG质量(40)"));
    EXPECT_EQ(Get<QLabel>(form, "ScalingLabel")->text(), QStringLiteral("缩放比例(70%)"));
    for (const char* box : {"AlwaysCBBox", "PurgeAfterOpBox", "CapCursorBox", "AutoTitleBox", "TransPNGBox"})
        EXPECT_FALSE(Get<QCheckBox>(form, box)->isChecked()) << box;
    EXPECT_FALSE(Get<QGroupBox>(form, "InkBox")->isHidden());
    EXPECT_EQ(InkColor, 0xFF123456u);
    // The list shows the ink in its own order: red and blue swapped, as a custom colour.
    auto* list = Get<TColorBox>(form, "InkColorSel");
    EXPECT_EQ(list->currentIndex(), list->CustomIndex());
    EXPECT_EQ(list->Selected(), 0x563412u);
    EXPECT_EQ(form.pos(), QPoint(123, 234));
}

struct ReaderCase {
    const char* name;
    const char* line;    // written below [Software\Vexmor]
    const char* control; // object name
    int expected;        // list index, slider value or 0/1 for a check box
};

class SettingsReaders : public SettingsTest, public ::testing::WithParamInterface<ReaderCase> {};

TEST_P(SettingsReaders, StoredValueLoadsByTheReadersRules) {
    const ReaderCase& c = GetParam();
    WriteIni(QByteArray("[Software\\Vexmor]\n") + c.line + "\n");
    TVexmorMainForm form;
    QWidget* w = form.findChild<QWidget*>(QString::fromLatin1(c.control));
    ASSERT_NE(w, nullptr);
    if (auto* list = qobject_cast<QComboBox*>(w))
        EXPECT_EQ(list->currentIndex(), c.expected);
    else if (auto* slider = qobject_cast<QSlider*>(w))
        EXPECT_EQ(slider->value(), c.expected);
    else if (auto* box = qobject_cast<QCheckBox*>(w))
        EXPECT_EQ(box->isChecked() ? 1 : 0, c.expected);
    else
        FAIL() << "unexpected control";
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsReaders,
    ::testing::Values(ReaderCase{"jpg_below_range", "JPGQSel=5", "JPGQSel", 10},
                      ReaderCase{"jpg_above_range", "JPGQSel=1000", "JPGQSel", 100},
                      ReaderCase{"jpg_not_a_number", "JPGQSel=abc", "JPGQSel", 90},
                      ReaderCase{"jpg_huge", "JPGQSel=99999999999999", "JPGQSel", 90},
                      ReaderCase{"scaling_negative", "ScalingSel=-40", "ScalingSel", 10},
                      ReaderCase{"list_out_of_range", "FormatSel=5", "FormatSel", -1},
                      ReaderCase{"list_webp", "FormatSel=3", "FormatSel", 3},
                      ReaderCase{"list_avif", "EditFormatSel=4", "EditFormatSel", 4},
                      ReaderCase{"list_edit_out_of_range", "EditFormatSel=5", "EditFormatSel", -1},
                      ReaderCase{"list_negative", "AfterCaptureSel=-1", "AfterCaptureSel", -1},
                      ReaderCase{"list_not_a_number", "EditFormatSel=PNG", "EditFormatSel", 0},
                      ReaderCase{"hotkey_choice_out_of_range", "CapHotKeySel=7", "CapHotKeySel", -1},
                      ReaderCase{"box_two_unticks", "AlwaysCBBox=2", "AlwaysCBBox", 0},
                      ReaderCase{"box_zero_unticks", "TransPNGBox=0", "TransPNGBox", 0},
                      ReaderCase{"box_one_ticks", "CapCursorBox=1", "CapCursorBox", 1},
                      ReaderCase{"box_minus_one_unticks", "AutoTitleBox=-1", "AutoTitleBox", 0},
                      ReaderCase{"box_not_a_number_keeps", "PurgeAfterOpBox=yes", "PurgeAfterOpBox", 1},
                      ReaderCase{"box_empty_keeps", "PurgeAfterOpBox=", "PurgeAfterOpBox", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsTest, InkColourKeepsAll32BitsAndIsAlwaysOpaque) {
    struct Case {
        const char* text;
        uint32_t ink;
    };
    for (const Case& c :
         {Case{"-2621440", 0xFFD80000u}, Case{"-16777216", 0xFF000000u}, Case{"-1", 0xFFFFFFFFu},
          Case{"255", 0xFF0000FFu}, Case{"red", 0xFFD80000u}, Case{"", 0xFFD80000u}}) {
        SCOPED_TRACE(c.text);
        WriteIni(QByteArray("[Software\\Vexmor]\n画笔颜色=") + c.text + "\n");
        InkColor = 0;
        TVexmorMainForm form;
        EXPECT_EQ(InkColor, c.ink);
    }
}

TEST_F(SettingsTest, ColourListDefaultAndStandardEntries) {
    TVexmorMainForm form;
    auto* list = Get<TColorBox>(form, "InkColorSel");
    // The default entry stands for the built-in ink, in the list's order.
    EXPECT_EQ(list->DefaultColorColor(), 0x0000D8u);
    list->setCurrentIndex(list->DefaultIndex());
    EXPECT_EQ(InkColor, 0xFFD80000u);
    // Pure blue of the standard colours (0x00FF0000 in the list's order) is 0xFF0000FF as ink.
    list->SetSelected(0xFF0000u);
    ASSERT_NE(list->currentIndex(), list->CustomIndex());
    list->setCurrentIndex(list->DefaultIndex());
    list->setCurrentIndex(list->findText(QStringLiteral("蓝色")));
    EXPECT_EQ(InkColor, 0xFF0000FFu);
    // Every entry has a readable name.
    for (int i = 0; i < list->count(); ++i)
        EXPECT_FALSE(list->itemText(i).isEmpty());
    form.close();
}

TEST_F(SettingsTest, CorruptFileStartsWithDefaults) {
    QByteArray junk(8192, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 7919) % 251);
    QDir().mkpath(dir_.path() + QStringLiteral("/Vexmor"));
    QFile f(IniPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(junk);
    f.close();
    {
        TVexmorMainForm form;
        EXPECT_EQ(Get<QSlider>(form, "JPGQSel")->value(), 90);
        EXPECT_EQ(Get<QComboBox>(form, "FormatSel")->currentIndex(), 1);
        EXPECT_EQ(InkColor, kDefaultInkColor);
    }
    // The exit replaced the junk with a readable file.
    TSettingsStore store(IniPath());
    ASSERT_TRUE(store.Load());
    EXPECT_EQ(store.ReadString(kSettingsKey, SettingName::JPGQSel), QStringLiteral("90"));
}

TEST_F(SettingsTest, PlacementStoredPositionAppliesUnlessOffEveryScreen) {
    WriteIni("[Software\\Vexmor\\VexmorMainForm]\nLeft=40\nTop=50\nState=0\n");
    {
        TVexmorMainForm form;
        EXPECT_EQ(form.pos(), QPoint(40, 50));
    }
    WriteIni("[Software\\Vexmor\\VexmorMainForm]\nLeft=2000000000\nTop=-2000000000\n");
    TVexmorMainForm form;
    EXPECT_NE(form.pos(), QPoint(2000000000, -2000000000));
    EXPECT_LT(std::abs(form.x()), 4000) << "the window stays where a screen can show it";
}

TEST_F(SettingsTest, SavePlacementOptions) {
    QWidget window;
    window.setObjectName(QStringLiteral("W"));
    window.move(11, 22);
    window.resize(300, 200);
    TSettingsStore store;
    SavePlacement(store, &window, QStringLiteral("K"), poPosition | poSize | poVisibility | poParentName);
    EXPECT_EQ(store.Serialize(), QByteArray("[K\\W]\nParent=Desktop\nState=0\nVisible=0\nLeft=11\nTop=22\n"
                                            "Width=300\nHeight=200\n"));
    QWidget other;
    other.setObjectName(QStringLiteral("W"));
    LoadPlacement(store, &other, QStringLiteral("K"));
    EXPECT_EQ(other.pos(), QPoint(11, 22));
    EXPECT_EQ(other.size(), QSize(300, 200));
    EXPECT_TRUE(other.isHidden());
}

TEST_F(SettingsTest, ControlValuesOnlyOneTicks) {
    QCheckBox a, b, c;
    a.setObjectName(QStringLiteral("A"));
    b.setObjectName(QStringLiteral("B"));
    c.setObjectName(QStringLiteral("C"));
    a.setChecked(true);
    b.setChecked(true);
    c.setChecked(true);
    TSettingsStore store;
    store.Parse("[K]\nA=1\nB=2\n");
    LoadControlValues(store, {&a, &b, &c}, QStringLiteral("K"));
    EXPECT_TRUE(a.isChecked());
    EXPECT_FALSE(b.isChecked());
    EXPECT_TRUE(c.isChecked()) << "absent: unchanged";
    SaveControlValues(store, {&a, &b, &c}, QStringLiteral("K"));
    EXPECT_EQ(store.Serialize(), QByteArray("[K]\nA=1\nB=0\nC=1\n"));
}

TEST_F(SettingsTest, AutostartEntryFollowsTheBoxAtOnce) {
    const QString program = QCoreApplication::applicationFilePath();
    TVexmorMainForm form;
    auto* box = Get<QCheckBox>(form, "StartupBox");
    ASSERT_FALSE(box->isChecked());
    box->click();
    EXPECT_EQ(fake_->autostartPath, program) << "written on tick, not at exit";
    EXPECT_TRUE(StartupEntry(seCheck));
    box->click();
    EXPECT_TRUE(fake_->autostartPath.isEmpty()) << "deleted on untick";
    EXPECT_FALSE(StartupEntry(seCheck));
}

TEST_F(SettingsTest, AutostartCheckAtStartIgnoresLetterCase) {
    fake_->autostartPath = QCoreApplication::applicationFilePath().toUpper();
    TVexmorMainForm form;
    EXPECT_TRUE(Get<QCheckBox>(form, "StartupBox")->isChecked());
    EXPECT_FALSE(fake_->autostartPath.isEmpty()) << "a present entry is left alone";
}

TEST_F(SettingsTest, AutostartEntryOfAnotherProgramIsRemovedAtStart) {
    fake_->autostartPath = QStringLiteral("/elsewhere/vexmor");
    TVexmorMainForm form;
    EXPECT_FALSE(Get<QCheckBox>(form, "StartupBox")->isChecked());
    EXPECT_TRUE(fake_->autostartPath.isEmpty());
}

TEST_F(SettingsTest, UnwritableConfigFolderFailsSilently) {
    // A file where the settings folder should be: no folder can be made there, not even by root.
    QFile blocker(dir_.path() + QStringLiteral("/Vexmor"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("not a folder");
    blocker.close();
    {
        TVexmorMainForm form;
        EXPECT_EQ(Get<QSlider>(form, "JPGQSel")->value(), 90);
        Get<QSlider>(form, "JPGQSel")->setValue(30);
    }
    ASSERT_TRUE(blocker.open(QIODevice::ReadOnly));
    EXPECT_EQ(blocker.readAll(), QByteArray("not a folder"));
}

} // namespace
