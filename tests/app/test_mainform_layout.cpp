// The main window's fixed layout in both interface languages: on each of its three tabs every control
// shows its text whole, stays inside its group or tab, and overlaps none of its neighbours, and the
// tab itself lies inside the window. English captions are longer than the Chinese ones they
// translate, so the checks run once in Chinese as written and once after a live switch to English;
// a second set of cases shows the settings tab with everything it can show (the ink group revealed,
// the note on hot keys that other programs hold).
#include "ConfigHome.h"
#include "InterfaceLanguage.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "VexmorMain.h"

#include "FakePlatform.h"
#include "Languages.h"
#include "Thumb.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>

namespace {

// What a control must have room for to show its text whole, and the text it is about.
struct TNeed {
    QString text;
    int width = 0;
    int height = 0; // 0: the control's height is not the text's concern
};

// The longest of a list's entries, as the closed box would show it.
QString LongestItem(const QComboBox* box) {
    QString longest;
    for (int i = 0; i < box->count(); ++i)
        if (box->fontMetrics().horizontalAdvance(box->itemText(i)) >
            box->fontMetrics().horizontalAdvance(longest))
            longest = box->itemText(i);
    return longest;
}

// The room a control's text takes, as Qt sizes that control to show it; nothing for controls
// without a text of their own (edits, sliders, the logo).
std::optional<TNeed> TextNeed(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->text().isEmpty()) return std::nullopt;
        // A wrapping label needs its longest word across and its lines' height at its width.
        if (label->wordWrap())
            return TNeed{label->text(), label->minimumSizeHint().width(),
                         label->heightForWidth(label->width())};
        return TNeed{label->text(), label->sizeHint().width(), label->sizeHint().height()};
    }
    if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
        // Across: the indicator, its spacing and the text, as the hint has them. Down: the taller of
        // the indicator and the text's line (the hint adds four pixels of label margin, which the
        // design's 17-pixel rows never had and which clip nothing).
        auto* button = static_cast<QAbstractButton*>(w);
        const bool check = qobject_cast<QCheckBox*>(w) != nullptr;
        const int indicator = button->style()->pixelMetric(
            check ? QStyle::PM_IndicatorHeight : QStyle::PM_ExclusiveIndicatorHeight, nullptr, button);
        const QRect line = button->style()->itemTextRect(button->fontMetrics(), QRect(), Qt::TextShowMnemonic,
                                                         false, button->text());
        return TNeed{button->text(), button->sizeHint().width(), std::max(indicator, line.height())};
    }
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        // The button's own size hint adds the style's cosmetic minimum width (80 pixels in Fusion),
        // which the design's narrower buttons never had: ask the style for the text's frame and margins
        // alone, as the label is drawn inside them.
        QStyleOptionButton option;
        option.initFrom(button);
        if (button->autoDefault()) option.features |= QStyleOptionButton::AutoDefaultButton;
        const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
        const QSize need = button->style()->sizeFromContents(QStyle::CT_PushButton, &option, text, button);
        return TNeed{button->text(), need.width(), text.height()};
    }
    if (auto* group = qobject_cast<QGroupBox*>(w))
        return TNeed{group->title(), group->minimumSizeHint().width(), 0};
    if (auto* box = qobject_cast<QComboBox*>(w)) {
        // The hint from every entry's text (and icon), the frame and the arrow, freshly computed: a
        // list that adjusts only on first show keeps the hint of its first texts.
        const QComboBox::SizeAdjustPolicy policy = box->sizeAdjustPolicy();
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        const int width = box->sizeHint().width();
        box->setSizeAdjustPolicy(policy);
        return TNeed{LongestItem(box), width, 0};
    }
    return std::nullopt;
}

QString Describe(const QWidget* w, const std::optional<TNeed>& need) {
    QString name =
        w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
    if (need) name += QStringLiteral(" \"%1\"").arg(need->text);
    return name;
}

QString Rect(const QRect& r) {
    return QStringLiteral("(%1,%2 %3x%4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// The controls a container lays out: its children that are widgets of the window (not popups) and
// not hidden on purpose.
QList<QWidget*> PlacedControls(const QWidget* container) {
    QList<QWidget*> controls;
    for (QWidget* w : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!w->isWindow() && !w->isHidden()) controls << w;
    return controls;
}

// Every fault of the controls inside `container` and, for groups, of theirs.
void CollectFaults(const QWidget* container, QStringList& faults) {
    const QList<QWidget*> controls = PlacedControls(container);
    for (int i = 0; i < controls.size(); ++i) {
        QWidget* w = controls[i];
        const std::optional<TNeed> need = TextNeed(w);
        if (need && (need->width > w->width() || need->height > w->height()))
            faults << QStringLiteral("%1 needs %2x%3, has %4x%5")
                          .arg(Describe(w, need))
                          .arg(need->width)
                          .arg(need->height)
                          .arg(w->width())
                          .arg(w->height());
        if (!container->rect().contains(w->geometry()))
            faults << QStringLiteral("%1 %2 reaches beyond %3 %4")
                          .arg(Describe(w, need), Rect(w->geometry()), container->objectName(),
                               Rect(container->rect()));
        for (int j = i + 1; j < controls.size(); ++j)
            if (w->geometry().intersects(controls[j]->geometry()))
                faults << QStringLiteral("%1 %2 overlaps %3 %4")
                              .arg(Describe(w, need), Rect(w->geometry()),
                                   Describe(controls[j], TextNeed(controls[j])),
                                   Rect(controls[j]->geometry()));
        if (qobject_cast<QGroupBox*>(w)) CollectFaults(w, faults);
    }
}

// The place of every named control on the tabs.
std::map<QString, QRect> Geometries(const QTabWidget& sheets) {
    std::map<QString, QRect> places;
    for (int i = 0; i < sheets.count(); ++i)
        for (const QWidget* w : sheets.widget(i)->findChildren<QWidget*>())
            if (!w->objectName().isEmpty() && !w->isWindow()) places[w->objectName()] = w->geometry();
    return places;
}

// Cards that earlier tests discarded may still be fading out with their main windows gone; these
// tests run event loops, where such a card would tick.
void RemoveLeftoverCards() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (dynamic_cast<TThumbForm*>(w)) delete w;
    ThumbForm = nullptr;
}

struct LayoutCase {
    const char* name;
    TInterfaceLanguage language;
    bool everything; // the ink group revealed and the held-keys note shown
};

class MainFormLayout : public ::testing::TestWithParam<LayoutCase> {
  protected:
    void SetUp() override {
        configHome_.emplace(dir_.path());
        RemoveLeftoverCards();
        fake_ = InstallFakePlatform();
        if (GetParam().everything) {
            TSettingsStore store;
            store.WriteInteger(kSettingsKey, SettingName::InkBox, 1);
            ASSERT_TRUE(store.Save());
            // Both Print Screen keys held elsewhere: the note names two combinations.
            fake_->heldByOthers = {{Qt::Key_Print, Qt::NoModifier}, {Qt::Key_Print, Qt::AltModifier}};
        }
        form_ = std::make_unique<TVexmorMainForm>();
    }
    void TearDown() override {
        form_.reset();
        configHome_.reset();
    }
    template <class T> T* Get(const char* name) {
        T* w = form_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Shows the window on its capture tab, as a finished capture does, so all three tabs can be chosen.
    void ShowWithCapture() {
        Get<QCheckBox>("AlwaysCBBox")->setChecked(false);
        Get<QComboBox>("AfterCaptureSel")->setCurrentIndex(0);
        form_->CaptureImage = TDIB(20, 10, 32);
        form_->FlatImage = TDIB(20, 10, 24);
        form_->CaptureFinished();
        QCoreApplication::processEvents();
    }
    // Shows one tab and lists what does not fit on it.
    QStringList TabFaults(int index) {
        auto* sheets = Get<QTabWidget>("SheetSelect");
        sheets->setCurrentIndex(index);
        QCoreApplication::processEvents();
        QWidget* page = sheets->widget(index);
        QStringList faults;
        const QRect inWindow(page->mapTo(form_.get(), QPoint(0, 0)), page->size());
        if (!form_->rect().contains(inWindow))
            faults << QStringLiteral("%1 %2 reaches beyond the window %3")
                          .arg(page->objectName(), Rect(inWindow), Rect(form_->rect()));
        CollectFaults(page, faults);
        // The tab bar shows every tab's title whole, without scrolling: the bar's hint is the room of
        // all its titles.
        const QTabBar* bar = sheets->tabBar();
        if (bar->sizeHint().width() > sheets->width())
            faults << QStringLiteral("the tab titles need %1 px, the window has %2")
                          .arg(bar->sizeHint().width())
                          .arg(sheets->width());
        for (int i = 0; i < bar->count(); ++i)
            if (bar->isTabVisible(i) && !bar->rect().contains(bar->tabRect(i)))
                faults << QStringLiteral("tab \"%1\" %2 lies beyond the tab bar %3")
                              .arg(bar->tabText(i), Rect(bar->tabRect(i)), Rect(bar->rect()));
        return faults;
    }

    QTemporaryDir dir_;
    std::optional<TScopedConfigHome> configHome_;
    std::shared_ptr<TFakeState> fake_;
    std::unique_ptr<TVexmorMainForm> form_;
};

TEST_P(MainFormLayout, EveryTextFitsAndNoControlCollides) {
    const TInterfaceLanguageScope language(GetParam().language);
    ShowWithCapture();
    ASSERT_TRUE(form_->isVisible());
    if (GetParam().everything) {
        ASSERT_FALSE(Get<QGroupBox>("InkBox")->isHidden());
        ASSERT_FALSE(Get<QLabel>("HeldKeysLabel")->isHidden());
    }
    if (GetParam().language == TInterfaceLanguage::English) {
        ASSERT_EQ(Get<QPushButton>("ToDesktopBtn")->text(), QStringLiteral("Save to &Desktop"))
            << "the English catalogue is installed";
    }
    for (int tab : {0, 1, 2, 3}) {
        const QStringList faults = TabFaults(tab);
        EXPECT_TRUE(faults.isEmpty())
            << "tab " << tab << ":\n  " << faults.join(QStringLiteral("\n  ")).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Languages, MainFormLayout,
    ::testing::Values(LayoutCase{"chinese", TInterfaceLanguage::Chinese, false},
                      LayoutCase{"english", TInterfaceLanguage::English, false},
                      LayoutCase{"chinese_everything", TInterfaceLanguage::Chinese, true},
                      LayoutCase{"english_everything", TInterfaceLanguage::English, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A trip through English and back leaves every Chinese control where the design put it, on a window
// of the design's size.
TEST(MainFormLanguageRoundTrip, ChineseComesBackExactlyAsDesigned) {
    QTemporaryDir dir;
    const TScopedConfigHome configHome(dir.path());
    RemoveLeftoverCards();
    const std::shared_ptr<TFakeState> fake = InstallFakePlatform();
    TVexmorMainForm form;
    auto* sheets = form.findChild<QTabWidget*>(QStringLiteral("SheetSelect"));
    ASSERT_NE(sheets, nullptr);
    form.show();
    // Each tab once, so that each has been laid out at its size.
    auto visitTabs = [sheets] {
        sheets->setTabVisible(0, true);
        for (int tab : {0, 2, 1}) {
            sheets->setCurrentIndex(tab);
            QCoreApplication::processEvents();
        }
    };
    visitTabs();
    const std::map<QString, QRect> chinese = Geometries(*sheets);
    const QSize settingsSize = form.size();
    // Where the form puts them: the Chinese captions leave the edit fields and the about tab's
    // column of texts there.
    EXPECT_EQ(chinese.at(QStringLiteral("TitleEdit")).x(), 59);
    EXPECT_EQ(chinese.at(QStringLiteral("CommentEdit")).x(), 59);
    const std::pair<const char*, int> credits[] = {{"CreditLabel", 49},   {"URLLabel", 67}, {"Label5", 89},
                                                   {"VersionLabel", 110}, {"Label7", 152},  {"Label8", 170},
                                                   {"Label3", 188}};
    for (const auto& [name, top] : credits)
        EXPECT_EQ(chinese.at(QString::fromLatin1(name)).y(), top) << name;
    {
        const TInterfaceLanguageScope english(TInterfaceLanguage::English);
        visitTabs();
        EXPECT_NE(Geometries(*sheets), chinese) << "the English captions take other room";
    }
    visitTabs();
    EXPECT_EQ(form.size(), settingsSize);
    const std::map<QString, QRect> again = Geometries(*sheets);
    for (const auto& [name, place] : chinese) {
        const auto found = again.find(name);
        ASSERT_NE(found, again.end()) << name.toStdString();
        EXPECT_EQ(Rect(found->second).toStdString(), Rect(place).toStdString()) << name.toStdString();
    }
}

} // namespace
