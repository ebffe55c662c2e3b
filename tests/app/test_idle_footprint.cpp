// The resident program's main window, made without its tabs until they are needed: before they exist
// it must act as a window with tabs would (hot keys, capture settings, the saved file), and once made
// they must hold what they would have held from the start.
#include "ConfigHome.h"
#include "FindControl.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "VexmorMain.h"

#include "FakePlatform.h"
#include "Globals.h"
#include "Input.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <optional>

#include <algorithm>
#include <cctype>
#include <string>

namespace {

using At = TVexmorMainForm::TControlsAt;

struct Registration {
    int id;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool operator==(const Registration&) const = default;
};

class DeferredControls : public ::testing::Test {
  protected:
    void SetUp() override {
        configHome_.emplace(dir_.path());
        fake_ = InstallFakePlatform();
    }
    void TearDown() override {
        if (InputForm && !InputForm->Closed()) InputForm->FormClose();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        InputForm = nullptr;
        OverlaySoundHook = nullptr;
        configHome_.reset();
    }
    static void WriteSettings(const QByteArray& text) {
        const QString path = TSettingsStore::DefaultPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    static QByteArray SavedSettings() {
        QFile file(TSettingsStore::DefaultPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QList<Registration> Registered() const {
        QList<Registration> r;
        for (const auto& k : fake_->hotKeys)
            r.append({k.id, k.key, k.modifiers});
        std::sort(r.begin(), r.end(),
                  [](const Registration& a, const Registration& b) { return a.id < b.id; });
        return r;
    }

    QTemporaryDir dir_;
    std::optional<TScopedConfigHome> configHome_;
    std::shared_ptr<TFakeState> fake_;
};

TEST_F(DeferredControls, AWindowWithoutTabsExistsWithTrayAndMenus) {
    TVexmorMainForm form(At::FirstUse);
    EXPECT_FALSE(form.ControlsMade());
    EXPECT_EQ(form.findChild<QTabWidget*>(), nullptr);
    EXPECT_TRUE(form.findChildren<QLabel*>().isEmpty());
    EXPECT_TRUE(form.findChildren<QLineEdit*>().isEmpty());
    EXPECT_FALSE(form.isVisible());
    EXPECT_NE(form.winId(), WId(0));
    EXPECT_EQ(form.objectName(), QStringLiteral("VexmorMainForm"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Vexmor"));
    EXPECT_EQ(form.TrayIcon()->toolTip(), QStringLiteral("Vexmor (空)"));
    EXPECT_EQ(form.TrayMenu()->actions().size(), 8);
    EXPECT_FALSE(form.TrayMenu()->actions().first()->icon().isNull());
    EXPECT_FALSE(form.CaptureHeld());
    // Nothing of what a waiting program does needs the tabs.
    form.TrayMenuPopup();
    form.ComeForward();
    form.DiscardCapture();
    EXPECT_FALSE(form.ControlsMade());
}

// The text of a settings file as a test name: "CapHotKeySel=-1\nJPGQSel=5\n" becomes
// "CapHotKeySelIsMinus1_JPGQSelIs5"; section brackets and other punctuation are dropped.
std::string SettingsName(const char* text) {
    std::string n;
    bool valueStart = true, nonAscii = false;
    for (const char* p = text; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x80) {
            if (!nonAscii) n += "NonAscii";
            nonAscii = true;
            continue;
        }
        nonAscii = false;
        if (c == '=') {
            n += "Is";
            valueStart = true;
        } else if (c == '\n') {
            if (p[1]) n += '_';
        } else if (c == '-') {
            n += "Minus";
        } else if (std::isalnum(c)) {
            n += valueStart ? char(std::toupper(c)) : char(c);
            valueStart = false;
        }
    }
    return n.empty() ? "Empty" : n;
}

// Hot keys and the file saved at the end are the same whether the tabs were made at once or never.
class SameAsMadeAtOnce : public DeferredControls, public ::testing::WithParamInterface<const char*> {};

TEST_P(SameAsMadeAtOnce, HotKeysAndSavedSettings) {
    const QByteArray file = QByteArray("[Software\\Vexmor]\n") + GetParam();
    WriteSettings(file);
    QList<Registration> eagerKeys;
    {
        TVexmorMainForm eager;
        eagerKeys = Registered();
    }
    const QByteArray eagerSaved = SavedSettings();
    const uint32_t eagerInk = InkColor;

    WriteSettings(file);
    InkColor = 0;
    {
        TVexmorMainForm deferred(At::FirstUse);
        ASSERT_FALSE(deferred.ControlsMade());
        EXPECT_EQ(Registered(), eagerKeys);
        ASSERT_TRUE(fake_->hotKeyHandler);
    }
    EXPECT_TRUE(Registered().isEmpty());
    EXPECT_EQ(SavedSettings(), eagerSaved);
    EXPECT_EQ(InkColor, eagerInk);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsFiles, SameAsMadeAtOnce,
    ::testing::Values(
        "", "CapHotKeySel=1\n", "CapHotKeySel=2\nCapCustomHotKey=16501\n",
        "CapHotKeySel=2\nCapCustomHotKey=0\n", "CapHotKeySel=2\nCapCustomHotKey=82037\n", "CapHotKeySel=3\n",
        "CapHotKeySel=-1\n", "CapHotKeySel=one\n",
        "JPGQSel=5\nScalingSel=400\nFormatSel=9\nAfterCaptureSel=2\nFutureValue=7\n",
        "画笔颜色=255\nInkBox=1\nAlwaysCBBox=1\nCapCursorBox=0\nAutoTitleBox=2\nTransPNGBox=x\n",
        "[Software\\Vexmor\\VexmorMainForm]\nLeft=100\nTop=50\n"),
    [](const auto& info) { return SettingsName(info.param); });

TEST_F(DeferredControls, ShowingMakesTheTabsFromTheFileAsItWasAtTheStart) {
    const QByteArray file = "[Software\\Vexmor]\nAfterCaptureSel=2\nJPGQSel=40\nInkBox=1\n";
    WriteSettings(file);
    TVexmorMainForm eager;
    TVexmorMainForm deferred(At::FirstUse);
    // Changed behind the running program's back: neither window reads it again.
    WriteSettings("[Software\\Vexmor]\nAfterCaptureSel=3\nJPGQSel=90\n");
    deferred.TrayIconDblClick();
    eager.TrayIconDblClick();
    ASSERT_TRUE(deferred.ControlsMade());
    EXPECT_TRUE(deferred.isVisible());
    EXPECT_EQ(Get<QComboBox>(deferred, "AfterCaptureSel")->currentIndex(), 2);
    EXPECT_EQ(Get<QSlider>(deferred, "JPGQSel")->value(), 40);
    EXPECT_EQ(Get<QLabel>(deferred, "VersionLabel")->text(),
              QStringLiteral("版本 ") + deferred.VersionText());
    auto* sheets = Get<QTabWidget>(deferred, "SheetSelect");
    EXPECT_FALSE(sheets->isTabVisible(0));
    EXPECT_EQ(sheets->currentIndex(), Get<QTabWidget>(eager, "SheetSelect")->currentIndex());
    EXPECT_EQ(deferred.size(), eager.size());
    EXPECT_EQ(deferred.pos(), eager.pos());
    EXPECT_EQ(deferred.windowFlags(), eager.windowFlags());
}

TEST_F(DeferredControls, AStoredVisiblePlacementMakesTheTabsAtOnce) {
    WriteSettings("[Software\\Vexmor\\VexmorMainForm]\nVisible=1\n");
    TVexmorMainForm deferred(At::FirstUse);
    EXPECT_TRUE(deferred.ControlsMade());
    EXPECT_TRUE(deferred.isVisible());
}

// The overlay's questions are answered from the file, as the check boxes would answer them.
class CaptureSettingsFromTheFile : public DeferredControls,
                                   public ::testing::WithParamInterface<const char*> {};

TEST_P(CaptureSettingsFromTheFile, AnswersOfTheCheckBoxes) {
    const QString value = QString::fromUtf8(GetParam());
    QByteArray file = "[Software\\Vexmor]\n";
    if (!value.isNull()) file += "CapCursorBox=" + value.toUtf8() + "\nAutoTitleBox=" + value.toUtf8() + "\n";
    WriteSettings(file);
    TVexmorMainForm eager;
    TVexmorMainForm deferred(At::FirstUse);
    EXPECT_EQ(deferred.CaptureCursorSetting(), eager.CaptureCursorSetting());
    EXPECT_EQ(deferred.AutoTitleSetting(), eager.AutoTitleSetting());
    EXPECT_FALSE(deferred.ControlsMade());
}

INSTANTIATE_TEST_SUITE_P(Values, CaptureSettingsFromTheFile,
                         ::testing::Values(nullptr, "0", "1", "2", "-1", "x", "", "2147483647"),
                         [](const auto& info) {
                             return info.param ? "Value" + SettingsName(info.param) : std::string("NoValue");
                         });

TEST_F(DeferredControls, CaptureTextsWaitForTheTabs) {
    TVexmorMainForm deferred(At::FirstUse);
    deferred.SetCaptureTexts(QStringLiteral("first"), QStringLiteral("one"));
    deferred.SetCaptureTexts(QStringLiteral("Terminal"), QStringLiteral("/home/user"));
    EXPECT_FALSE(deferred.ControlsMade());
    deferred.MakeControls();
    EXPECT_EQ(Get<QLineEdit>(deferred, "TitleEdit")->text(), QStringLiteral("Terminal"));
    EXPECT_EQ(Get<QLineEdit>(deferred, "CommentEdit")->text(), QStringLiteral("/home/user"));
}

TEST_F(DeferredControls, TheHiddenPhraseAnswersAtOnce) {
    TVexmorMainForm deferred(At::FirstUse);
    QString text;
    QTimer::singleShot(0, [&text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            box->accept();
        }
    });
    deferred.SetCaptureTexts(QStringLiteral("请显示画笔选项！"), {});
    EXPECT_TRUE(deferred.ControlsMade());
    EXPECT_EQ(text, QStringLiteral("在设置选项卡定义标注画笔颜色。"));
    EXPECT_FALSE(Get<QWidget>(deferred, "InkBox")->isHidden());
}

// A cancelled capture never needs the tabs; a confirmed one makes them after the overlay, with the
// texts the capture found.
TEST_F(DeferredControls, ACancelledCaptureLeavesNoTabsAConfirmedOneShowsThem) {
    QImage desktop(64, 48, QImage::Format_RGB32);
    desktop.fill(0xFF336699);
    fake_->desktopImage = desktop;
    fake_->monitors = {QRect(0, 0, 64, 48)};
    fake_->foreground.exists = true;
    fake_->foreground.title = QStringLiteral("Notes");
    fake_->foreground.frame = QRect(0, 0, 32, 24);
    OverlaySoundHook = [](const QString&, unsigned) {};
    TVexmorMainForm deferred(At::FirstUse);
    ASSERT_TRUE(fake_->hotKeyHandler);

    fake_->hotKeyHandler(0);
    ASSERT_NE(InputForm, nullptr);
    EXPECT_FALSE(deferred.ControlsMade());
    InputForm->FormKeyDown(Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(InputForm, nullptr);
    EXPECT_FALSE(deferred.ControlsMade());

    fake_->hotKeyHandler(0);
    ASSERT_NE(InputForm, nullptr);
    EXPECT_FALSE(deferred.ControlsMade());
    fake_->hotKeyHandler(0); // the hot key again confirms the whole desktop
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(deferred.CaptureHeld());
    ASSERT_TRUE(deferred.ControlsMade());
    EXPECT_TRUE(deferred.isVisible());
    EXPECT_TRUE(Get<QTabWidget>(deferred, "SheetSelect")->isTabVisible(0));
    EXPECT_EQ(deferred.TrayIcon()->toolTip(), QStringLiteral("Vexmor (满)"));
    EXPECT_EQ(Get<QLineEdit>(deferred, "TitleEdit")->text(), QStringLiteral("Notes"));
}

// The clipboard holds the capture's flat picture itself, not a second copy of it, keeps it after the
// capture is discarded, and lets it go when something else takes the clipboard.
TEST_F(DeferredControls, TheClipboardSharesTheFlatPicture) {
    TVexmorMainForm form;
    form.CaptureImage = TDIB(40, 30, 32);
    form.FlatImage = TDIB(40, 30, 24);
    form.FlatImage.FillRect(QRect(0, 0, 40, 30), 0xFF102030u);
    const TDIB flat = form.FlatImage;
    ASSERT_EQ(flat.RefCount(), 2);
    form.CopyToClipboard();
    EXPECT_EQ(flat.RefCount(), 3);
    form.DiscardCapture();
    EXPECT_EQ(flat.RefCount(), 2);
    {
        const QImage held = QApplication::clipboard()->image();
        ASSERT_EQ(held.size(), QSize(40, 30));
        EXPECT_EQ(held.pixel(39, 29) & 0xFFFFFFu, 0x102030u);
    }
    QApplication::clipboard()->setText(QStringLiteral("something else"));
    EXPECT_EQ(flat.RefCount(), 1);
}

// The sound output is a module of its own: nothing of the program maps the multimedia libraries
// before a sound plays.
TEST(IdleFootprint, NoMultimediaLibraryIsMapped) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray text = maps.readAll();
    EXPECT_FALSE(text.contains("libQt6Multimedia")) << "the program links Qt Multimedia again";
    EXPECT_FALSE(text.contains("libpulse"));
}

} // namespace
