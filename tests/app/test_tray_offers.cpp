// What the main window does with the tray the desktop has, or has not: where its messages go, what a
// later start does to a hidden window, and what the tray's single click means.
#include "VexmorMain.h"

#include "FakePlatform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>

namespace {

struct OffersCase {
    const char* name;
    TDesktopOffers offers;
    std::optional<QString> keptBy; // who the platform says keeps the held key
    // expected
    int balloons, notices;
    bool forwardShows; // a later start shows the hidden window
    bool clickShows;   // the tray's single click shows it, and the next one hides it again
    const char* textStart;
};
void PrintTo(const OffersCase& c, std::ostream* os) {
    *os << c.name;
}

class TrayOffers : public ::testing::TestWithParam<OffersCase> {
  protected:
    void SetUp() override {
        saved_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
        fake_ = InstallFakePlatform();
        fake_->offers = GetParam().offers;
        fake_->keysKeptBy = GetParam().keptBy;
        fake_->heldByOthers.append({Qt::Key_Print, Qt::AltModifier});
        TrayMessageHook = [this](const QString& title, const QString& text) {
            balloons_ << title + u'|' + text;
        };
        form_ = std::make_unique<TVexmorMainForm>();
    }
    void TearDown() override {
        form_.reset();
        TrayMessageHook = nullptr;
        qputenv("XDG_CONFIG_HOME", saved_);
    }
    void Click() { emit form_->TrayIcon()->activated(QSystemTrayIcon::Trigger); }
    QTemporaryDir dir_;
    QByteArray saved_;
    std::shared_ptr<TFakeState> fake_;
    std::unique_ptr<TVexmorMainForm> form_;
    QStringList balloons_;
};

TEST_P(TrayOffers, MessagesForwardAndClick) {
    const OffersCase& c = GetParam();
    EXPECT_EQ(balloons_.size(), c.balloons) << balloons_.join(u'\n').toStdString();
    ASSERT_EQ(fake_->notices.size(), c.notices);
    const QString told = c.balloons  ? balloons_.value(0).section(u'|', 1)
                         : c.notices ? fake_->notices[0].text
                                     : QString();
    if (c.balloons || c.notices) {
        EXPECT_TRUE(told.startsWith(QString::fromUtf8(c.textStart))) << told.toStdString();
        EXPECT_TRUE(told.contains(QStringLiteral("Alt + Prt Scr"))) << told.toStdString();
    }
    if (c.notices) {
        const TDesktopNotice& n = fake_->notices[0];
        EXPECT_EQ(n.appName + u'|' + n.iconName + u'|' + n.title, QStringLiteral("Vexmor|vexmor|Vexmor"));
    }
    // A tray that docks the icon is the way back to a hidden window; without one a start shows it.
    form_->ComeForward();
    EXPECT_EQ(form_->isVisible(), c.forwardShows);
    form_->hide();
    if (!c.offers.tray) {
        EXPECT_EQ(form_->TrayIcon(), nullptr) << "an icon made before a tray exists never becomes an item";
        return;
    }
    Click();
    EXPECT_EQ(form_->isVisible(), c.clickShows);
    Click();
    EXPECT_FALSE(form_->isVisible());
}

const char* const kOthers = "以下热键已被其他程序占用：";
INSTANTIATE_TEST_SUITE_P(
    Desktops, TrayOffers,
    ::testing::Values(OffersCase{"xembed_tray",
                                 {.tray = true, .statusNotifier = false, .notifications = true},
                                 std::nullopt,
                                 1,
                                 0,
                                 false,
                                 false,
                                 kOthers},
                      OffersCase{"item_tray",
                                 {.tray = true, .statusNotifier = true, .notifications = true},
                                 std::nullopt,
                                 1,
                                 0,
                                 false,
                                 true,
                                 kOthers},
                      OffersCase{"item_tray_compositor_keeps_keys",
                                 {.tray = true, .statusNotifier = true, .notifications = true},
                                 QStringLiteral("KDE Plasma"),
                                 1,
                                 0,
                                 false,
                                 true,
                                 "KDE Plasma 自己保留了以下热键："},
                      OffersCase{"no_tray_notifications",
                                 {.tray = false, .statusNotifier = false, .notifications = true},
                                 QStringLiteral("GNOME"),
                                 0,
                                 1,
                                 true,
                                 false,
                                 "GNOME 自己保留了以下热键："},
                      OffersCase{"no_tray_unnamed_compositor",
                                 {.tray = false, .statusNotifier = false, .notifications = true},
                                 QString(),
                                 0,
                                 1,
                                 true,
                                 false,
                                 "桌面自己保留了以下热键："},
                      OffersCase{"nothing_at_all",
                                 {.tray = false, .statusNotifier = false, .notifications = false},
                                 std::nullopt,
                                 0,
                                 0,
                                 true,
                                 false,
                                 kOthers}),
    [](const auto& info) { return std::string(info.param.name); });

// A panel that starts after the program: the icon is made then, as an item, with the current hint;
// from then on the design's hidden window stays hidden on a later start.
TEST(TrayOffersLate, AnItemHostAppearingLaterGetsTheIcon) {
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    auto fake = InstallFakePlatform();
    fake->offers = {.tray = false, .statusNotifier = false, .notifications = false};
    {
        TVexmorMainForm form;
        ASSERT_EQ(form.TrayIcon(), nullptr);
        fake->SetOffers({.tray = true, .statusNotifier = true, .notifications = true});
        ASSERT_NE(form.TrayIcon(), nullptr);
        EXPECT_EQ(form.TrayIcon()->toolTip(), QStringLiteral("Vexmor (空)"));
        EXPECT_EQ(form.TrayIcon()->contextMenu(), form.TrayMenu());
        form.ComeForward();
        EXPECT_FALSE(form.isVisible());
        emit form.TrayIcon()->activated(QSystemTrayIcon::Trigger);
        EXPECT_TRUE(form.isVisible());
    }
    EXPECT_FALSE(fake->offersHandler) << "the handler outlived the window";
    qputenv("XDG_CONFIG_HOME", saved);
}

// A name the bus could only start fails the call: the message then waits for a tray as it would
// have without any notification service.
TEST(TrayOffersLate, ARefusedNotificationWaitsForTheTray) {
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    auto fake = InstallFakePlatform();
    fake->offers = {.tray = false, .statusNotifier = false, .notifications = true};
    fake->noticesRefused = true;
    fake->heldByOthers.append({Qt::Key_Print, Qt::NoModifier});
    QStringList balloons;
    TrayMessageHook = [&](const QString&, const QString& text) { balloons << text; };
    {
        TVexmorMainForm form;
        EXPECT_EQ(fake->notices.size(), 1);
        fake->SetOffers({.tray = true, .statusNotifier = true, .notifications = true});
        QElapsedTimer waited;
        waited.start();
        while (balloons.isEmpty() && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        EXPECT_EQ(balloons.size(), 1);
        EXPECT_EQ(fake->notices.size(), 1) << "a refusing service is not asked again";
    }
    TrayMessageHook = nullptr;
    qputenv("XDG_CONFIG_HOME", saved);
}

} // namespace
