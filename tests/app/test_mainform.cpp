// The main window's behaviour: the size of each tab, what a finished capture does for each
// after-capture choice, the discard-after-operation rule, the hidden ink settings, hiding instead of
// closing, and the tray icon's menu and delayed capture.
#include "ConfigHome.h"
#include "Settings.h"
#include "VexmorMain.h"

#include "FakePlatform.h"
#include "Globals.h"
#include "Input.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <optional>

namespace {

// The settings tab: the design's 418 pixels and the interface language group below the others.
constexpr int kSettingsHeight = 418 + 68;

// Records the capture commands instead of running them.
class TRecordingForm : public TVexmorMainForm {
  public:
    QStringList calls;
    void ToDesktopBtnClick() override { calls << "ToDesktop"; }
    void EditBtnClick() override { calls << "Edit"; }
    void ToClipboardBtnClick() override {
        calls << "ToClipboard";
        TVexmorMainForm::ToClipboardBtnClick();
    }
    void CopyToClipboard() override { calls << "Copy"; }
};

class MainFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        configHome_.emplace(dir_.path());
        fake_ = InstallFakePlatform();
        form_ = std::make_unique<TRecordingForm>();
    }
    void TearDown() override {
        // An overlay a test opened (the delayed capture's) goes before its owner, or it would run in
        // a later test's event loop with its owner gone.
        if (InputForm && !InputForm->Closed()) InputForm->FormClose();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        InputForm = nullptr;
        form_.reset();
        configHome_.reset();
    }
    template <class T> T* Get(const char* name) {
        T* w = form_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QTabWidget* Sheets() { return Get<QTabWidget>("SheetSelect"); }
    bool CapTabVisible() { return Sheets()->isTabVisible(0); }
    QString Hint() { return form_->TrayIcon()->toolTip(); }
    void Hold() {
        form_->CaptureImage = TDIB(20, 10, 32);
        form_->FlatImage = TDIB(20, 10, 24);
        form_->PreviewImage = TDIB(30, 20, 32);
    }
    QAction* TrayEntry(const char* name) {
        for (QAction* a : form_->TrayMenu()->actions())
            if (a->objectName() == QLatin1String(name)) return a;
        ADD_FAILURE() << name;
        return nullptr;
    }

    QTemporaryDir dir_;
    std::optional<TScopedConfigHome> configHome_;
    std::shared_ptr<TFakeState> fake_;
    std::unique_ptr<TRecordingForm> form_;
};

TEST_F(MainFormTest, StartsHiddenEmptyAndExisting) {
    EXPECT_FALSE(form_->isVisible());
    EXPECT_NE(form_->winId(), WId(0));
    EXPECT_EQ(form_->objectName(), QStringLiteral("VexmorMainForm"));
    EXPECT_EQ(form_->windowTitle(), QStringLiteral("Vexmor"));
    EXPECT_FALSE(form_->CaptureHeld());
    EXPECT_FALSE(CapTabVisible());
    EXPECT_EQ(Hint(), QStringLiteral("Vexmor (空)"));
    EXPECT_EQ(Get<QLabel>("VersionLabel")->text(), QStringLiteral("版本 ") + form_->VersionText());
    EXPECT_FALSE(form_->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form_->windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(MainFormTest, EachTabSizesTheWindow) {
    struct Case {
        int tab;
        QSize size;
    };
    Hold();
    Get<QComboBox>("AfterCaptureSel")->setCurrentIndex(0);
    form_->CaptureFinished(); // makes the capture tab selectable
    for (const Case& c : {Case{0, {347, 211}}, Case{1, {466, kSettingsHeight}}, Case{2, {433, 280}},
                          Case{1, {466, kSettingsHeight}}}) {
        Sheets()->setCurrentIndex(c.tab);
        EXPECT_EQ(form_->size(), c.size) << "tab " << c.tab;
        EXPECT_EQ(form_->minimumSize(), form_->maximumSize()) << "fixed border";
    }
    // Every control of the capture tab fits into its client area.
    Sheets()->setCurrentIndex(0);
    QWidget* sheet = Get<QWidget>("CapSheet");
    for (const char* name : {"TitleEdit", "CommentEdit", "ToDesktopBtn", "EmailBtn", "DiscardBtn"}) {
        QWidget* w = Get<QWidget>(name);
        EXPECT_TRUE(sheet->rect().contains(w->geometry())) << name;
    }
}

// The message box of the hidden phrase is modal: answer it as a user would.
void AcceptNextMessageBox(QString* text, QString* title) {
    QTimer::singleShot(0, [text, title] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        *text = box->text();
        *title = box->windowTitle();
        box->accept();
    });
}

TEST_F(MainFormTest, HiddenPhraseRevealsTheInkGroupOnce) {
    QString text, title;
    AcceptNextMessageBox(&text, &title);
    auto* edit = Get<QLineEdit>("TitleEdit");
    edit->setText(QStringLiteral("请显示画笔选项")); // not yet
    EXPECT_TRUE(Get<QGroupBox>("InkBox")->isHidden());
    edit->setText(QStringLiteral("请显示画笔选项！"));
    EXPECT_EQ(text, QStringLiteral("在设置选项卡定义标注画笔颜色。"));
    EXPECT_EQ(title, QStringLiteral("成功"));
    EXPECT_FALSE(Get<QGroupBox>("InkBox")->isHidden());
    EXPECT_TRUE(edit->text().isEmpty());
    // Low on an 800-pixel-high screen, the grown tab moves the window up to stay whole on it.
    const QRect area = form_->screen()->availableGeometry();
    form_->move(24, area.top() + 350);
    Sheets()->setCurrentIndex(2);
    Sheets()->setCurrentIndex(1);
    EXPECT_EQ(form_->size(), QSize(466, kSettingsHeight + 80)) << "the settings tab grows by the group";
    EXPECT_TRUE(area.contains(form_->frameGeometry()))
        << "window " << form_->frameGeometry().y() << ".." << form_->frameGeometry().bottom() << " on screen "
        << area.y() << ".." << area.bottom();
    EXPECT_EQ(form_->x(), 24) << "only moved as far as it takes";
    // Saved, so it stays revealed on the next run.
    form_.reset();
    TVexmorMainForm again;
    EXPECT_FALSE(again.findChild<QGroupBox*>(QStringLiteral("InkBox"))->isHidden());
}

TEST_F(MainFormTest, PopUpActionShowsTheCaptureTabWhereTheWindowWas) {
    Hold();
    form_->move(120, 90);
    Get<QLineEdit>("TitleEdit")->setText(QStringLiteral("Some window"));
    form_->CaptureFinished();
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(CapTabVisible());
    EXPECT_EQ(Sheets()->currentIndex(), 0);
    EXPECT_EQ(form_->size(), QSize(347, 211));
    EXPECT_EQ(form_->pos(), QPoint(120, 90));
    EXPECT_EQ(Hint(), QStringLiteral("Vexmor (满)"));
    EXPECT_EQ(Get<QLineEdit>("TitleEdit")->selectedText(), QStringLiteral("Some window"));
    EXPECT_TRUE(form_->CaptureHeld());
    EXPECT_TRUE(form_->PreviewImage.Empty()) << "no thumbnail took the preview, so it is freed";
    EXPECT_EQ(form_->calls, QStringList{"Copy"}) << "the clipboard copy comes first, then nothing automatic";
}

struct ActionCase {
    const char* name;
    int action;
    bool alwaysCopy;
    QStringList calls;
};

class AfterCaptureActions : public MainFormTest, public ::testing::WithParamInterface<ActionCase> {};

TEST_P(AfterCaptureActions, AutomaticActionsNeitherShowNorChangeTheHint) {
    const ActionCase& c = GetParam();
    Get<QComboBox>("AfterCaptureSel")->setCurrentIndex(c.action);
    Get<QCheckBox>("AlwaysCBBox")->setChecked(c.alwaysCopy);
    Get<QCheckBox>("PurgeAfterOpBox")->setChecked(false);
    Hold();
    form_->CaptureFinished();
    EXPECT_EQ(form_->calls, c.calls);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_FALSE(CapTabVisible());
    EXPECT_EQ(Hint(), QStringLiteral("Vexmor (空)"));
    EXPECT_TRUE(form_->CaptureHeld()) << "with discard-after-operation off the capture stays";
    EXPECT_TRUE(form_->PreviewImage.Empty());
}

INSTANTIATE_TEST_SUITE_P(Actions, AfterCaptureActions,
                         ::testing::Values(ActionCase{"save_to_desktop", 1, false, {"ToDesktop"}},
                                           ActionCase{"edit", 2, false, {"Edit"}},
                                           ActionCase{"clipboard", 3, false, {"ToClipboard", "Copy"}},
                                           ActionCase{
                                               "clipboard_twice", 3, true, {"Copy", "ToClipboard", "Copy"}},
                                           ActionCase{"copy_then_save", 1, true, {"Copy", "ToDesktop"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainFormTest, OutOfRangeActionPopsUp) {
    Get<QComboBox>("AfterCaptureSel")->setCurrentIndex(-1);
    Hold();
    form_->CaptureFinished();
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(CapTabVisible());
}

TEST_F(MainFormTest, AfterOperationDiscardsAndHidesOnlyWhenAsked) {
    Hold();
    form_->CaptureFinished();
    ASSERT_TRUE(form_->isVisible());
    Get<QCheckBox>("PurgeAfterOpBox")->setChecked(false);
    form_->AfterOperation();
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(form_->CaptureHeld());
    EXPECT_EQ(Hint(), QStringLiteral("Vexmor (满)"));

    Get<QCheckBox>("PurgeAfterOpBox")->setChecked(true);
    form_->AfterOperation();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_FALSE(form_->CaptureHeld());
    EXPECT_TRUE(form_->FlatImage.Empty());
    EXPECT_FALSE(CapTabVisible());
    EXPECT_EQ(Hint(), QStringLiteral("Vexmor (空)"));
}

TEST_F(MainFormTest, DiscardButtonDiscardsEvenWithoutPurge) {
    Get<QCheckBox>("PurgeAfterOpBox")->setChecked(false);
    Hold();
    form_->CaptureFinished();
    Get<QPushButton>("DiscardBtn")->click();
    EXPECT_FALSE(form_->CaptureHeld());
    EXPECT_FALSE(CapTabVisible());
    EXPECT_TRUE(form_->isVisible()) << "without purge the window keeps its visibility";
}

TEST_F(MainFormTest, EnterInEitherEditSavesExactlyOnce) {
    Hold();
    form_->CaptureFinished();
    form_->calls.clear();
    for (const char* edit : {"TitleEdit", "CommentEdit"}) {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QApplication::sendEvent(Get<QLineEdit>(edit), &enter);
    }
    EXPECT_EQ(form_->calls, (QStringList{"ToDesktop", "ToDesktop"}));
}

TEST_F(MainFormTest, EscapeAndCloseOnlyHide) {
    Hold();
    form_->CaptureFinished();
    ASSERT_TRUE(form_->isVisible());
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    // Key preview: the window sees the key although a control has the focus.
    QApplication::sendEvent(Get<QLineEdit>("TitleEdit"), &esc);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_TRUE(form_->CaptureHeld());
    form_->show();
    EXPECT_FALSE(form_->close()) << "the close is refused";
    EXPECT_FALSE(form_->isVisible());
    EXPECT_TRUE(form_->TrayIcon()->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable());
}

TEST_F(MainFormTest, TrayMenuEntriesCaptionsAndTags) {
    struct Entry {
        const char* name;
        const char* caption;
        int tag;
    };
    const Entry entries[] = {{"CapMenu", "立即捕获屏幕", 50},
                             {"Capturescreenin30sec1", "5秒后捕获屏幕", 5000},
                             {"DCapMenu", "30秒后捕获屏幕", 30000},
                             {"LastRegionMenu", "重复上次区域", -1},
                             {"TextCaptureMenu", "识别文字", -1},
                             {"SettingsMenu", "设置", -1},
                             {"N1", "", -1},
                             {"ExitMenu", "退出", -1}};
    const QList<QAction*> actions = form_->TrayMenu()->actions();
    ASSERT_EQ(actions.size(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(actions[i]->objectName(), QString::fromLatin1(entries[i].name));
        EXPECT_EQ(actions[i]->text(), QString::fromUtf8(entries[i].caption));
        if (entries[i].tag > 0) {
            EXPECT_EQ(actions[i]->data().toInt(), entries[i].tag);
        }
    }
    EXPECT_TRUE(actions[6]->isSeparator());
    for (int i : {0, 1, 3, 4, 5, 7})
        EXPECT_FALSE(actions[i]->icon().isNull()) << "icon of " << entries[i].name;
    EXPECT_FALSE(form_->TrayIcon()->icon().isNull());
    // The thumbnail's menu mirrors the capture tab's buttons.
    QStringList thumb;
    for (QAction* a : form_->ThumbMenu()->actions())
        thumb << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(thumb, (QStringList{"保存到桌面(&D)", "保存为(&S)...", "通过Email发送(&M)...", "编辑(&E)...",
                                  "打印(&P)...", "保存到剪贴板(&C)", "钉在屏幕上(&N)", "-", "抛弃(&R)"}));
}

TEST_F(MainFormTest, DelayedCaptureEntriesStartAndCancel) {
    QTimer* timer = form_->DCapTimer();
    QAction* in5 = TrayEntry("Capturescreenin30sec1");
    QAction* now = TrayEntry("CapMenu");
    QAction* in30 = TrayEntry("DCapMenu");
    EXPECT_FALSE(timer->isActive());
    in5->trigger();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 5000);
    // The 30-second entry shows the pending capture, whichever entry started it.
    form_->TrayMenuPopup();
    EXPECT_TRUE(in30->isChecked());
    // Any capture entry while one is pending cancels it.
    now->trigger();
    EXPECT_FALSE(timer->isActive());
    form_->TrayMenuPopup();
    EXPECT_FALSE(in30->isChecked());
    now->trigger();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 50);
    // A tick before the delay is over (timers may fire a few per cent early) only waits out the rest.
    form_->DCapTimerTimer();
    EXPECT_TRUE(timer->isActive()) << "an early tick starts no capture";
    EXPECT_LE(timer->interval(), 50);
    EXPECT_EQ(InputForm, nullptr);
    QThread::msleep(60);
    form_->DCapTimerTimer();
    EXPECT_FALSE(timer->isActive()) << "a fired timer is idle again";
}

TEST_F(MainFormTest, TrayClicksAndSettingsEntry) {
    form_->TrayIconClick();
    EXPECT_FALSE(form_->isVisible()) << "a single click on a hidden window does nothing";
    Sheets()->setCurrentIndex(2);
    form_->TrayIconDblClick();
    EXPECT_TRUE(form_->isVisible());
    EXPECT_EQ(form_->size(), QSize(433, 280)) << "sized for its active tab";
    form_->TrayIconDblClick();
    EXPECT_FALSE(form_->isVisible());
    TrayEntry("SettingsMenu")->trigger();
    EXPECT_TRUE(form_->isVisible());
    EXPECT_EQ(Sheets()->currentIndex(), 1);
    EXPECT_EQ(form_->size(), QSize(466, kSettingsHeight));
}

TEST_F(MainFormTest, LinksOpenTheirAddresses) {
    for (const char* name : {"URLLabel", "Label5", "Label7", "Label8", "Label3"}) {
        QLabel* link = Get<QLabel>(name);
        EXPECT_TRUE(link->font().underline()) << name;
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor) << name;
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, {}, {});
        QApplication::sendEvent(link, &release);
    }
    ASSERT_EQ(fake_->openedUrls.size(), 5);
    EXPECT_EQ(fake_->openedUrls[0], TVexmorMainForm::HomePageUrl());
    EXPECT_EQ(fake_->openedUrls[1], TVexmorMainForm::HelpPageUrl());
    EXPECT_TRUE(fake_->openedUrls[0].startsWith(QStringLiteral("file:///")));
}

TEST_F(MainFormTest, ClipboardCommandNeedsACapture) {
    TVexmorMainForm plain;
    plain.ToClipboardBtnClick(); // nothing held: nothing happens
    EXPECT_FALSE(plain.CaptureHeld());
    plain.CaptureImage = TDIB(3, 2, 32);
    plain.FlatImage = TDIB(3, 2, 24);
    plain.FlatImage.FillRect(QRect(0, 0, 3, 2), 0xFF102030u);
    plain.findChild<QCheckBox*>(QStringLiteral("PurgeAfterOpBox"))->setChecked(true);
    plain.ToClipboardBtnClick();
    const QImage copied = QApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(3, 2));
    EXPECT_EQ(copied.pixel(1, 1) & 0xFFFFFFu, 0x102030u);
    EXPECT_FALSE(plain.CaptureHeld()) << "the copy ran the discard-after-operation rule";
}

} // namespace
