// What the main window does with the tray the desktop has, or has not: where its messages go, what a
// later start does to a hidden window, what the tray's single click means, and a tray coming late.
#include "VexmorMain.h"

#include "FakePlatform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr TDesktopOffers kNone{}, kNotices{.notifications = true};
constexpr TDesktopOffers kXEmbed{.tray = true, .notifications = true};
constexpr TDesktopOffers kItems{.tray = true, .statusNotifier = true, .notifications = true};

struct OffersCase {
    const char* name;
    TDesktopOffers offers;
    std::optional<QString> keptBy; // who the platform says keeps the held key
    int balloons, notices;
    bool forwardShows, clickShows; // a later start / the tray's single click shows the hidden window
    const char* told;              // how the message begins
};
void PrintTo(const OffersCase& c, std::ostream* os) {
    *os << c.name;
}

class TrayOffers : public ::testing::TestWithParam<OffersCase> {
  protected:
    void Start(const TDesktopOffers& offers, std::optional<QString> keptBy = std::nullopt,
               bool refused = false) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
        fake_ = InstallFakePlatform();
        fake_->offers = offers;
        fake_->noticesRefused = refused;
        fake_->keysKeptBy = std::move(keptBy);
        fake_->heldByOthers.append({Qt::Key_Print, Qt::AltModifier});
        TrayMessageHook = [this](const QString&, const QString& text) { balloons_ << text; };
        form_ = std::make_unique<TVexmorMainForm>();
    }
    void TearDown() override {
        form_.reset();
        TrayMessageHook = nullptr;
        qputenv("XDG_CONFIG_HOME", saved_);
    }
    void Click() { emit form_->TrayIcon()->activated(QSystemTrayIcon::Trigger); }
    QTemporaryDir dir_;
    QByteArray saved_ = qgetenv("XDG_CONFIG_HOME");
    std::shared_ptr<TFakeState> fake_;
    std::unique_ptr<TVexmorMainForm> form_;
    QStringList balloons_;
};

TEST_P(TrayOffers, MessagesForwardAndClick) {
    const OffersCase& c = GetParam();
    Start(c.offers, c.keptBy);
    EXPECT_EQ(balloons_.size(), c.balloons);
    ASSERT_EQ(fake_->notices.size(), c.notices);
    const QString told = c.balloons ? balloons_[0] : c.notices ? fake_->notices[0].text : QString();
    if (!told.isEmpty()) {
        EXPECT_TRUE(told.startsWith(QString::fromUtf8(c.told))) << told.toStdString();
    }
    if (c.notices) {
        const TDesktopNotice& n = fake_->notices[0];
        EXPECT_EQ(n.appName + u'|' + n.iconName + u'|' + n.title, QStringLiteral("Vexmor|vexmor|Vexmor"));
    }
    form_->ComeForward();
    EXPECT_EQ(form_->isVisible(), c.forwardShows);
    form_->hide();
    if (!c.offers.tray) {
        EXPECT_EQ(form_->TrayIcon(), nullptr); // made now, it could never become an item
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
    ::testing::Values(OffersCase{"xembed_tray", kXEmbed, std::nullopt, 1, 0, false, false, kOthers},
                      OffersCase{"item_tray", kItems, QStringLiteral("KDE Plasma"), 1, 0, false, true,
                                 "KDE Plasma 自己保留了以下热键："},
                      OffersCase{"no_tray_notifications", kNotices, QStringLiteral("GNOME"), 0, 1, true,
                                 false, "GNOME 自己保留了以下热键："},
                      OffersCase{"no_tray_unnamed_compositor", kNotices, QString(), 0, 1, true, false,
                                 "桌面自己保留了以下热键："},
                      OffersCase{"nothing_at_all", kNone, std::nullopt, 0, 0, true, false, kOthers}),
    [](const auto& info) { return std::string(info.param.name); });

// A panel starting after the program: the icon is made then, as an item, and from then on a later
// start leaves the hidden window hidden.
TEST_F(TrayOffers, AnItemHostAppearingLaterGetsTheIcon) {
    Start(kNone);
    fake_->SetOffers(kItems);
    ASSERT_NE(form_->TrayIcon(), nullptr);
    EXPECT_EQ(form_->TrayIcon()->toolTip(), QStringLiteral("Vexmor (空)"));
    form_->ComeForward();
    EXPECT_FALSE(form_->isVisible());
    Click();
    EXPECT_TRUE(form_->isVisible());
    form_.reset();
    EXPECT_FALSE(fake_->offersHandler) << "the handler outlived the window";
}

// A name the bus could only start fails the call: the message then waits for a tray, and that
// service is not asked again.
TEST_F(TrayOffers, ARefusedNotificationWaitsForTheTray) {
    Start(kNotices, std::nullopt, true);
    fake_->SetOffers(kItems);
    QElapsedTimer waited;
    waited.start();
    while (balloons_.isEmpty() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_EQ(balloons_.size(), 1);
    EXPECT_EQ(fake_->notices.size(), 1);
}

} // namespace
