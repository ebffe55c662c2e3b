// The interface language: which language the locale's variables choose, the stored choice, a change
// on the settings tab taking effect at once for the window and the tray menu, and every text the
// main window and its menus show having its English.
#include "CommandLine.h"
#include "ConfigHome.h"
#include "InterfaceLanguage.h"
#include "HotKeys.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "VexmorMain.h"

#include "FakePlatform.h"
#include "Languages.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QFile>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

namespace {

using L = TInterfaceLanguage;

struct TLocaleCase {
    const char* name;
    std::map<std::string, QByteArray> env;
    TInterfaceLanguage expected;
};

class LocaleLanguageTest : public ::testing::TestWithParam<TLocaleCase> {};

TEST_P(LocaleLanguageTest, FollowsGettextOrder) {
    const TLocaleCase& c = GetParam();
    const TEnvironment env = [&c](const char* name) {
        const auto it = c.env.find(name);
        return it == c.env.end() ? QByteArray() : it->second;
    };
    EXPECT_EQ(LocaleLanguage(env), c.expected);
    EXPECT_EQ(ResolveLanguage(L::Automatic, env), c.expected);
    // A choice made by the user stands whatever the locale; a value out of the list is the locale's.
    EXPECT_EQ(ResolveLanguage(L::Chinese, env), L::Chinese);
    EXPECT_EQ(ResolveLanguage(L::English, env), L::English);
    EXPECT_EQ(ResolveLanguage(TInterfaceLanguage(7), env), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LocaleLanguageTest,
    ::testing::Values(
        TLocaleCase{"nothing_set", {}, L::Chinese}, TLocaleCase{"bare_c", {{"LANG", "C"}}, L::Chinese},
        TLocaleCase{"posix", {{"LANG", "POSIX"}}, L::Chinese},
        TLocaleCase{"c_utf8", {{"LANG", "C.UTF-8"}}, L::Chinese},
        TLocaleCase{"english", {{"LANG", "en_US.UTF-8"}}, L::English},
        TLocaleCase{"simplified_chinese", {{"LANG", "zh_CN.UTF-8"}}, L::Chinese},
        TLocaleCase{"traditional_chinese", {{"LANG", "zh_TW.Big5"}}, L::Chinese},
        TLocaleCase{"bare_zh", {{"LANG", "zh"}}, L::Chinese},
        TLocaleCase{"german", {{"LANG", "de_DE.UTF-8"}}, L::English},
        // Zulu starts with the same letter and is not Chinese.
        TLocaleCase{"zulu", {{"LANG", "zu_ZA.UTF-8"}}, L::English},
        TLocaleCase{"modifier", {{"LANG", "sr_RS@latin"}}, L::English},
        TLocaleCase{"lc_all_over_lang", {{"LC_ALL", "zh_CN.UTF-8"}, {"LANG", "en_US.UTF-8"}}, L::Chinese},
        TLocaleCase{
            "lc_messages_over_lang", {{"LC_MESSAGES", "en_GB.UTF-8"}, {"LANG", "zh_CN.UTF-8"}}, L::English},
        TLocaleCase{"lc_all_over_lc_messages",
                    {{"LC_ALL", "en_US.UTF-8"}, {"LC_MESSAGES", "zh_CN.UTF-8"}},
                    L::English},
        TLocaleCase{"language_first", {{"LANGUAGE", "zh_CN:en"}, {"LANG", "en_US.UTF-8"}}, L::Chinese},
        TLocaleCase{"language_english", {{"LANGUAGE", "en"}, {"LANG", "zh_CN.UTF-8"}}, L::English},
        TLocaleCase{"language_empty_entries", {{"LANGUAGE", "::zh_TW"}, {"LANG", "de_DE.UTF-8"}}, L::Chinese},
        TLocaleCase{"language_tag", {{"LANGUAGE", "zh-Hans"}, {"LANG", "en_US.UTF-8"}}, L::Chinese},
        TLocaleCase{"language_empty", {{"LANGUAGE", ""}, {"LANG", "zh_CN.UTF-8"}}, L::Chinese},
        // In the bare locale gettext ignores LANGUAGE, and so does the program.
        TLocaleCase{"language_ignored_in_c", {{"LANGUAGE", "fr"}, {"LANG", "C"}}, L::Chinese},
        TLocaleCase{"language_ignored_without_locale", {{"LANGUAGE", "en_US"}}, L::Chinese},
        TLocaleCase{"c_over_english_lang", {{"LC_ALL", "C"}, {"LANG", "en_US.UTF-8"}}, L::Chinese}),
    [](const auto& info) { return std::string(info.param.name); });

// Any Han character or CJK punctuation.
bool HasChinese(const QString& text) {
    static const QRegularExpression han(
        QStringLiteral("[\\x{3000}-\\x{303F}\\x{4E00}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
    return text.contains(han);
}

TEST(Languages, TextInGivesEitherLanguageWhateverIsInstalled) {
    const TInterfaceLanguageScope restore(L::Chinese);
    for (const L installed : {L::Chinese, L::English}) {
        UseInterfaceLanguage(installed);
        EXPECT_EQ(TextIn(L::English, "TVexmorMainForm", "立即捕获屏幕"), QStringLiteral("Capture now"));
        EXPECT_EQ(TextIn(L::Chinese, "TVexmorMainForm", "立即捕获屏幕"), QStringLiteral("立即捕获屏幕"));
        // A text the catalogue does not hold stays as written.
        EXPECT_EQ(TextIn(L::English, "TVexmorMainForm", "没有这句话"), QStringLiteral("没有这句话"));
        EXPECT_EQ(CurrentInterfaceLanguage(), installed);
        EXPECT_EQ(Text("TVexmorMainForm", "退出"),
                  installed == L::English ? QStringLiteral("Quit") : QStringLiteral("退出"));
    }
}

TEST(Languages, QtsOwnButtonsFollowTheLanguage) {
    const TInterfaceLanguageScope restore(L::Chinese);
    const auto okText = [] {
        QMessageBox box(QMessageBox::Warning, QString(), QString(), QMessageBox::Ok);
        return box.button(QMessageBox::Ok)->text();
    };
    UseInterfaceLanguage(L::English);
    EXPECT_EQ(okText().remove(u'&'), QStringLiteral("OK"));
    UseInterfaceLanguage(L::Chinese);
    // Qt's translations are an optional package; where they are installed the buttons read Chinese.
    if (QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                      QStringLiteral("/qtbase_zh_CN.qm"))) {
        EXPECT_TRUE(HasChinese(okText())) << okText().toStdString();
    }
}

TEST(Languages, StoredChoiceLoadsAndUnknownValuesAreTheLocales) {
    QTemporaryDir dir;
    TScopedConfigHome home(dir.path());
    const auto stored = [](const QString& value) {
        TSettingsStore store;
        if (!value.isNull()) store.WriteString(kSettingsKey, SettingName::InterfaceLanguageSel, value);
        return StoredLanguage(store);
    };
    EXPECT_EQ(stored(QString()), L::Automatic) << "an older file without the value";
    EXPECT_EQ(stored(QStringLiteral("0")), L::Automatic);
    EXPECT_EQ(stored(QStringLiteral("1")), L::Chinese);
    EXPECT_EQ(stored(QStringLiteral("2")), L::English);
    EXPECT_EQ(stored(QStringLiteral("3")), L::Automatic);
    EXPECT_EQ(stored(QStringLiteral("-1")), L::Automatic);
    EXPECT_EQ(stored(QStringLiteral("English")), L::Automatic);
}

TEST(Languages, CommandLineSpeaksTheLanguageItIsGiven) {
    const TTranslate english = [](const char* source) {
        return TextIn(L::English, "CommandLine", source).toStdString();
    };
    EXPECT_NE(UsageText(english).find("--capture[=MODE]"), std::string::npos);
    EXPECT_EQ(UsageText(english).find("方式"), std::string::npos);
    const TCommandLine bad = ParseCommandLine({"--bogus"});
    EXPECT_EQ(bad.ErrorLine(english), "unknown option '--bogus'; see 'vexmor --help'");
    EXPECT_EQ(bad.ErrorLine(), "未知的选项“--bogus”；请参阅“vexmor --help”");
    // An argument is put in as it is, even when it looks like a place for another.
    EXPECT_EQ(
        ParseCommandLine({"--capture=%2x"}).ErrorLine(english),
        "unknown capture mode '%2x' (desktop, window, magnifier, text or last-region); see 'vexmor --help'");
    EXPECT_EQ(ParseCommandLine({"--capture", "--delay", "4000"}).ErrorLine(english),
              "'--delay 4000': seconds from 0 to 3600; see 'vexmor --help'");
}

TEST(Languages, HeldKeysMessageInBothLanguages) {
    const TInterfaceLanguageScope restore(L::Chinese);
    const QList<THotKeyRegistration> held = HotKeyRegistrations(hcPrintScreen, 0).mid(0, 2);
    ASSERT_EQ(held.size(), 2);
    const QString chinese = HeldHotKeysText(held);
    EXPECT_TRUE(chinese.startsWith(QStringLiteral("以下热键已被其他程序占用："))) << chinese.toStdString();
    EXPECT_TRUE(chinese.contains(QStringLiteral("、")));
    UseInterfaceLanguage(L::English);
    const QString english = HeldHotKeysText(held);
    EXPECT_FALSE(HasChinese(english)) << english.toStdString();
    EXPECT_TRUE(english.contains(QStringLiteral(", ")));
    // The command keeps its no-break space and word joiner in either language.
    EXPECT_TRUE(english.contains(QStringLiteral("vexmor\u00A0--\u2060capture")));
}

class MainFormLanguageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        configHome_.emplace(dir_.path());
        fake_ = InstallFakePlatform();
    }
    void TearDown() override {
        form_.reset();
        TInterfaceLanguageScope::Use(L::Chinese);
        configHome_.reset();
    }
    void Make() {
        form_ = std::make_unique<TVexmorMainForm>();
        QCoreApplication::processEvents();
    }
    template <class T> T* Get(const char* name) {
        T* w = form_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString TrayEntry(const char* name) {
        for (QAction* a : form_->TrayMenu()->actions())
            if (a->objectName() == QLatin1String(name)) return a->text();
        return QStringLiteral("<none>");
    }
    void Choose(int index) {
        Get<QComboBox>("InterfaceLanguageSel")->setCurrentIndex(index);
        QCoreApplication::processEvents();
    }
    // Every text the window and its menus show, with where it is.
    std::vector<std::pair<QString, QString>> ShownTexts() {
        std::vector<std::pair<QString, QString>> texts;
        const auto add = [&texts](const QObject* o, const QString& what, const QString& text) {
            if (!text.isEmpty()) texts.emplace_back(o->objectName() + u' ' + what, text);
        };
        for (QWidget* w : form_->findChildren<QWidget*>()) {
            add(w, QStringLiteral("tooltip"), w->toolTip());
            if (auto* l = qobject_cast<QLabel*>(w)) add(w, QStringLiteral("text"), l->text());
            if (auto* b = qobject_cast<QAbstractButton*>(w)) add(w, QStringLiteral("text"), b->text());
            if (auto* g = qobject_cast<QGroupBox*>(w)) add(w, QStringLiteral("title"), g->title());
            if (auto* e = qobject_cast<QLineEdit*>(w)) add(w, QStringLiteral("text"), e->text());
            if (auto* c = qobject_cast<QComboBox*>(w))
                for (int i = 0; i < c->count(); ++i)
                    add(w, QStringLiteral("item %1").arg(i), c->itemText(i));
            if (auto* t = qobject_cast<QTabWidget*>(w))
                for (int i = 0; i < t->count(); ++i)
                    add(w, QStringLiteral("tab %1").arg(i), t->tabText(i));
        }
        for (const QMenu* menu : {form_->TrayMenu(), form_->ThumbMenu()})
            for (const QAction* a : menu->actions())
                add(menu, QStringLiteral("entry ") + a->objectName(), a->text());
        add(form_.get(), QStringLiteral("tray hint"), form_->TrayIcon()->toolTip());
        add(form_.get(), QStringLiteral("title"), form_->windowTitle());
        return texts;
    }

    QTemporaryDir dir_;
    std::optional<TScopedConfigHome> configHome_;
    std::shared_ptr<TFakeState> fake_;
    std::unique_ptr<TVexmorMainForm> form_;
};

TEST_F(MainFormLanguageTest, EveryShownTextHasItsEnglish) {
    // The held-keys note shows too.
    fake_->heldByOthers = {{Qt::Key_Print, Qt::AltModifier}};
    Make();
    int chinese = 0;
    for (const auto& entry : ShownTexts())
        chinese += HasChinese(entry.second) ? 1 : 0;
    EXPECT_GT(chinese, 100) << "the walk sees the window's Chinese texts";
    Choose(int(L::English));
    int seen = 0;
    for (const auto& [where, text] : ShownTexts()) {
        ++seen;
        // The language list names each language in itself.
        if (where.startsWith(QLatin1String("InterfaceLanguageSel item")) && text == QStringLiteral("中文"))
            continue;
        EXPECT_FALSE(HasChinese(text)) << where.toStdString() << ": " << text.toStdString();
    }
    EXPECT_GT(seen, 100) << "the walk saw the whole window";
    EXPECT_EQ(Get<QLabel>("VersionLabel")->text(), QStringLiteral("Version ") + form_->VersionText());
    EXPECT_TRUE(Get<QLabel>("HeldKeysLabel")->text().startsWith(QStringLiteral("These hot keys")));
}

TEST_F(MainFormLanguageTest, ChangeTakesEffectAtOnceAndIsStored) {
    Make();
    EXPECT_EQ(TrayEntry("CapMenu"), QStringLiteral("立即捕获屏幕"));
    EXPECT_EQ(form_->TrayIcon()->toolTip(), QStringLiteral("Vexmor (空)"));
    Choose(int(L::English));
    EXPECT_EQ(TrayEntry("CapMenu"), QStringLiteral("Capture now"));
    EXPECT_EQ(TrayEntry("Capturescreenin30sec1"), QStringLiteral("Capture in 5 seconds"));
    EXPECT_EQ(TrayEntry("ExitMenu"), QStringLiteral("Quit"));
    EXPECT_EQ(form_->TrayIcon()->toolTip(), QStringLiteral("Vexmor (no capture)"));
    EXPECT_EQ(Get<QGroupBox>("CapBox")->title(), QStringLiteral("Capture"));
    EXPECT_EQ(Get<QAbstractButton>("StartupBox")->text(), QStringLiteral("Start at login"));
    // The lists keep their choices while their texts change.
    auto* after = Get<QComboBox>("AfterCaptureSel");
    after->setCurrentIndex(2);
    Choose(int(L::Chinese));
    EXPECT_EQ(after->currentIndex(), 2);
    EXPECT_EQ(after->currentText(), QStringLiteral("自动打开进行编辑"));
    EXPECT_EQ(TrayEntry("CapMenu"), QStringLiteral("立即捕获屏幕"));
    EXPECT_EQ(Get<QGroupBox>("LanguageBox")->title(), QStringLiteral("界面语言"));

    Choose(int(L::English));
    form_->SaveSettings();
    form_.reset();
    UseInterfaceLanguage(L::Chinese);
    // The next start reads English from the stored choice, whatever the locale says.
    Make();
    EXPECT_EQ(Get<QComboBox>("InterfaceLanguageSel")->currentIndex(), int(L::English));
    EXPECT_EQ(TrayEntry("CapMenu"), QStringLiteral("Capture now"));
    EXPECT_EQ(CurrentInterfaceLanguage(), L::English);
}

TEST_F(MainFormLanguageTest, ResidentStartWithoutControlsUsesTheStoredLanguage) {
    {
        TSettingsStore store;
        store.WriteInteger(kSettingsKey, SettingName::InterfaceLanguageSel, int(L::English));
        ASSERT_TRUE(store.Save());
    }
    form_ = std::make_unique<TVexmorMainForm>(TVexmorMainForm::TControlsAt::FirstUse);
    QCoreApplication::processEvents();
    EXPECT_FALSE(form_->ControlsMade());
    EXPECT_EQ(TrayEntry("SettingsMenu"), QStringLiteral("Settings"));
    // The controls made later read the same language.
    form_->MakeControls();
    QCoreApplication::processEvents();
    EXPECT_EQ(Get<QComboBox>("InterfaceLanguageSel")->currentIndex(), int(L::English));
    EXPECT_EQ(Get<QGroupBox>("ImageBox")->title(), QStringLiteral("Output image"));
}

} // namespace
