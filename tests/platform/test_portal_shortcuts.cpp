#include "FakePortal.h"
#include "InterfaceLanguage.h"
#include "PortalShortcuts.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(PortalShortcutSyntax, TriggersNameModifiersThenTheKeysym) {
    struct Row {
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* trigger;
    };
    const Row rows[] = {
        {Qt::Key_Print, Qt::NoModifier, "Print"},
        {Qt::Key_Print, Qt::ControlModifier, "CTRL+Print"},
        {Qt::Key_Print, Qt::AltModifier, "ALT+Print"},
        {Qt::Key_F5, Qt::ShiftModifier | Qt::ControlModifier, "CTRL+SHIFT+F5"},
        {Qt::Key_F35, Qt::NoModifier, "F35"},
        {Qt::Key_A, Qt::MetaModifier, "LOGO+a"},
        {Qt::Key_Z, Qt::AltModifier | Qt::ShiftModifier, "ALT+SHIFT+z"},
        {Qt::Key_7, Qt::NoModifier, "7"},
        {Qt::Key_PageUp, Qt::NoModifier, "Page_Up"},
        {Qt::Key_ScrollLock, Qt::NoModifier, "Scroll_Lock"},
        {Qt::Key_Space, Qt::ControlModifier, "CTRL+space"},
        {Qt::Key_Slash, Qt::NoModifier, "slash"},
        {Qt::Key_QuoteLeft, Qt::NoModifier, "grave"},
        {Qt::Key_VolumeUp, Qt::NoModifier, ""}, // no name a hot key can use
        {0, Qt::ControlModifier, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.trigger);
        EXPECT_EQ(PortalTrigger(row.key, row.modifiers), QString(row.trigger));
    }
}

class PortalShortcuts : public ::testing::Test {
  protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(portal.StartBus(&error)) << error.toStdString();
    }
    void StartPortal(const QStringList& arguments = {}) {
        QString error;
        ASSERT_TRUE(portal.StartPortal(arguments, &error)) << error.toStdString();
    }
    // The three combinations of the Print Screen choice, as the program registers them.
    void RegisterCaptureKeys(TPortalHotKeys& keys) {
        EXPECT_EQ(keys.Register(0, Qt::Key_Print, Qt::NoModifier), THotKeyGrab::Ours);
        EXPECT_EQ(keys.Register(1, Qt::Key_Print, Qt::AltModifier), THotKeyGrab::Ours);
        EXPECT_EQ(keys.Register(2, Qt::Key_Print, Qt::ControlModifier), THotKeyGrab::Ours);
    }
    std::unique_ptr<TPortalHotKeys> Keys(TPortalShortcutTimeouts timeouts = {}) {
        auto keys = std::make_unique<TPortalHotKeys>(portal.Bus(), timeouts);
        keys->SetHandler([this](int id) { fired << id; });
        keys->SetRemapHandler([this](const QList<int>& notOurs) { remaps << notOurs; });
        return keys;
    }
    // shortcut name -> {description, preferred_trigger} of the n-th binding.
    QMap<QString, QPair<QString, QString>> Bound(int n) {
        QMap<QString, QPair<QString, QString>> bound;
        const QList<QJsonArray> binds = portal.CallsOf("BindShortcuts");
        if (n >= binds.size()) return bound;
        for (const QJsonValue s : binds[n][1].toArray()) {
            const QJsonObject props = s[1].toObject();
            bound.insert(s[0].toString(),
                         {props["description"].toString(), props["preferred_trigger"].toString()});
        }
        return bound;
    }
    bool WaitForBinds(int n) {
        return WaitUntil([&] { return portal.CallsOf("BindShortcuts").size() >= n; });
    }

    TFakePortal portal;
    QList<int> fired;
    QList<QList<int>> remaps;
};

TEST_F(PortalShortcuts, RegistrationsAreBoundTogetherWithTheirTriggers) {
    StartPortal();
    auto keys = Keys();
    keys->SetDescription(0, QStringLiteral("整个桌面"));
    RegisterCaptureKeys(*keys);
    ASSERT_TRUE(WaitUntil([&] { return !keys->Session().isEmpty(); }));

    ASSERT_EQ(portal.CallsOf("CreateSession").size(), 1);
    const QList<QJsonArray> binds = portal.CallsOf("BindShortcuts");
    ASSERT_EQ(binds.size(), 1);
    EXPECT_EQ(binds[0][0].toString(), keys->Session());
    EXPECT_EQ(binds[0][2].toString(), "");
    const auto bound = Bound(0);
    ASSERT_EQ(bound.keys(), (QStringList{"capture-desktop", "capture-magnifier", "capture-window"}));
    EXPECT_EQ(bound["capture-desktop"], qMakePair(QStringLiteral("整个桌面"), QStringLiteral("Print")));
    EXPECT_EQ(bound["capture-window"].second, "ALT+Print");
    EXPECT_EQ(bound["capture-magnifier"].second, "CTRL+Print");
    EXPECT_FALSE(bound["capture-window"].first.isEmpty());
    EXPECT_NE(bound["capture-window"].first, bound["capture-magnifier"].first);
    // The session was asked for under a token of our own, and the answer came on our request path.
    const QJsonObject options = portal.CallsOf("CreateSession")[0][0].toObject();
    EXPECT_TRUE(keys->Session().endsWith("/" + options["session_handle_token"].toString()));
    EXPECT_TRUE(remaps.isEmpty());

    // A key the shortcut syntax cannot name is not bound.
    EXPECT_EQ(keys->Register(3, Qt::Key_VolumeUp, Qt::NoModifier), THotKeyGrab::Absent);
}

// The texts the portal shows for keys the program gave no description: the interface language's,
// taken when the keys are bound.
TEST_F(PortalShortcuts, DefaultDescriptionsAreInTheInterfaceLanguage) {
    StartPortal();
    {
        TEnglishInterface english;
        ASSERT_TRUE(english.Shown());
        auto keys = Keys();
        RegisterCaptureKeys(*keys);
        EXPECT_EQ(keys->Register(7, Qt::Key_F7, Qt::NoModifier), THotKeyGrab::Ours);
        ASSERT_TRUE(WaitUntil([&] { return !keys->Session().isEmpty(); }));
    }
    const auto bound = Bound(portal.CallsOf("BindShortcuts").size() - 1);
    EXPECT_EQ(bound["capture-desktop"].first, QStringLiteral("Capture the whole desktop"));
    EXPECT_EQ(bound["capture-window"].first, QStringLiteral("Capture the active window"));
    EXPECT_EQ(bound["capture-magnifier"].first, QStringLiteral("Capture with the magnifier"));
    ASSERT_EQ(bound.size(), 4);
    QString other;
    for (auto it = bound.begin(); it != bound.end(); ++it)
        if (!it.key().startsWith(QLatin1String("capture-"))) other = it.value().first;
    EXPECT_EQ(other, QStringLiteral("Vexmor hot key 7"));
}

TEST_F(PortalShortcuts, DefaultDescriptionsAreTheChineseOnesAsWritten) {
    StartPortal();
    auto keys = Keys();
    RegisterCaptureKeys(*keys);
    ASSERT_TRUE(WaitUntil([&] { return !keys->Session().isEmpty(); }));
    const auto bound = Bound(portal.CallsOf("BindShortcuts").size() - 1);
    EXPECT_EQ(bound["capture-desktop"].first, QStringLiteral("捕获整个桌面"));
    EXPECT_EQ(bound["capture-window"].first, QStringLiteral("捕获活动窗口"));
    EXPECT_EQ(bound["capture-magnifier"].first, QStringLiteral("用放大镜捕获"));
}

TEST_F(PortalShortcuts, ActivationFiresTheRegisteredIdentifierOfTheBoundSessionOnly) {
    StartPortal();
    auto keys = Keys();
    RegisterCaptureKeys(*keys);
    ASSERT_TRUE(WaitUntil([&] { return !keys->Session().isEmpty(); }));

    portal.Activate("capture-window");
    ASSERT_TRUE(WaitUntil([&] { return !fired.isEmpty(); }));
    EXPECT_EQ(fired, QList<int>{1});

    // Another session's shortcut and an unknown name fire nothing; signals from one sender arrive
    // in order, so the last activation's arrival shows the others were heard and ignored.
    portal.Activate("capture-desktop", "/org/freedesktop/portal/desktop/session/1_99/other");
    portal.Activate("capture-everything");
    portal.Activate("capture-magnifier");
    ASSERT_TRUE(WaitUntil([&] { return fired.size() >= 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, (QList<int>{1, 2}));
}

TEST_F(PortalShortcuts, ChangesRebindInTheOneSessionAndRepeatsAskNothing) {
    StartPortal();
    auto keys = Keys();
    RegisterCaptureKeys(*keys);
    ASSERT_TRUE(WaitUntil([&] { return !keys->Session().isEmpty(); }));
    const QString session = keys->Session();
    // The session is made with the shortcuts already named, in the type the KDE portal reads.
    const QJsonArray made = portal.CallsOf("CreateSession")[0];
    EXPECT_EQ(made[1].toString(), "a(sa{sv})");
    QStringList named;
    for (const QJsonValue s : made[0].toObject()["shortcuts"].toArray())
        named << s[0].toString() + "=" + s[1].toObject()["preferred_trigger"].toString();
    EXPECT_EQ(named, (QStringList{"capture-desktop=Print", "capture-magnifier=CTRL+Print",
                                  "capture-window=ALT+Print"}));

    // The program takes its keys out and registers the same ones again (around a capture, when its
    // settings are loaded): the portal hears nothing of it, and they still fire.
    for (int round = 0; round < 2; ++round) {
        for (int id = 0; id < 3; ++id)
            keys->Unregister(id);
        RegisterCaptureKeys(*keys);
        WaitUntil([] { return false; }, 150);
    }
    EXPECT_EQ(portal.CallsOf("CreateSession").size(), 1);
    EXPECT_EQ(portal.CallsOf("BindShortcuts").size(), 1);
    EXPECT_TRUE(portal.CallsOf("Session.Close").isEmpty());
    portal.Activate("capture-magnifier");
    ASSERT_TRUE(WaitUntil([&] { return !fired.isEmpty(); }));
    EXPECT_EQ(fired, QList<int>{2});

    // A real change (one key out, a description set) binds again, in the same session.
    keys->Unregister(1);
    keys->SetDescription(0, QStringLiteral("整个桌面"));
    ASSERT_TRUE(WaitForBinds(2));
    ASSERT_TRUE(WaitUntil([&] { return !keys->Session().isEmpty(); }));
    EXPECT_EQ(keys->Session(), session);
    EXPECT_EQ(portal.CallsOf("BindShortcuts")[1][0].toString(), session);
    EXPECT_EQ(Bound(1).keys(), (QStringList{"capture-desktop", "capture-magnifier"}));
    EXPECT_EQ(Bound(1)["capture-desktop"], qMakePair(QStringLiteral("整个桌面"), QStringLiteral("Print")));
    EXPECT_EQ(portal.CallsOf("CreateSession").size(), 1);
    // The one taken out fires nothing any more.
    fired.clear();
    portal.Activate("capture-window");
    portal.Activate("capture-desktop");
    ASSERT_TRUE(WaitUntil([&] { return !fired.isEmpty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, QList<int>{0});

    // Taking out the rest closes the session and binds nothing.
    keys->Unregister(0);
    keys->Unregister(2);
    ASSERT_TRUE(WaitUntil([&] { return portal.CallsOf("Session.Close").size() == 1; }));
    EXPECT_EQ(portal.CallsOf("Session.Close")[0][0].toString(), session);
    EXPECT_TRUE(keys->Session().isEmpty());
    EXPECT_EQ(portal.CallsOf("BindShortcuts").size(), 2);
    EXPECT_TRUE(remaps.isEmpty());
}

// A refusal is the portal's answer to those keys: registering them again tells it again without
// asking (each request could show the desktop's dialog once more); other keys ask again.
TEST_F(PortalShortcuts, ARefusalIsToldAgainNotAskedAgain) {
    StartPortal({"--shortcuts", "refuse"});
    auto keys = Keys();
    RegisterCaptureKeys(*keys);
    ASSERT_TRUE(WaitUntil([&] { return remaps.size() == 1; }));
    RegisterCaptureKeys(*keys);
    ASSERT_TRUE(WaitUntil([&] { return remaps.size() == 2; }));
    EXPECT_EQ(remaps, (QList<QList<int>>{{0, 1, 2}, {0, 1, 2}}));
    EXPECT_EQ(portal.CallsOf("BindShortcuts").size(), 1);
    EXPECT_EQ(keys->Register(0, Qt::Key_F9, Qt::NoModifier), THotKeyGrab::Ours);
    ASSERT_TRUE(WaitForBinds(2));
    EXPECT_EQ(Bound(1)["capture-desktop"].second, "F9");
    EXPECT_EQ(portal.CallsOf("CreateSession").size(), 1);
}

// What the portal refuses, leaves out or stops firing is reported as not ours, once.
TEST_F(PortalShortcuts, RefusalsReachTheRemapHandler) {
    struct Row {
        const char* name;
        QStringList arguments;
        QList<int> notOurs;
    };
    const Row rows[] = {
        {"refused", {"--shortcuts", "refuse"}, {0, 1, 2}},
        {"left_out", {"--drop", "capture-window"}, {1}},
        {"unanswered", {"--shortcuts", "silent-bind"}, {0, 1, 2}},
        {"no_portal_method", {"--shortcuts", "absent"}, {0, 1, 2}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TFakePortal own;
        QString error;
        ASSERT_TRUE(own.StartBus(&error)) << error.toStdString();
        ASSERT_TRUE(own.StartPortal(row.arguments, &error)) << error.toStdString();
        remaps.clear();
        auto keys = std::make_unique<TPortalHotKeys>(own.Bus(), TPortalShortcutTimeouts{2000, 400});
        keys->SetRemapHandler([this](const QList<int>& notOurs) { remaps << notOurs; });
        RegisterCaptureKeys(*keys);
        ASSERT_TRUE(WaitUntil([&] { return !remaps.isEmpty(); }, 5000));
        WaitUntil([] { return false; }, 200); // nothing more is said
        EXPECT_EQ(remaps, QList<QList<int>>{row.notOurs});
    }
}

TEST_F(PortalShortcuts, ASessionThePortalClosesIsReportedAndABindingLaterClearsIt) {
    StartPortal();
    auto keys = Keys();
    RegisterCaptureKeys(*keys);
    ASSERT_TRUE(WaitUntil([&] { return !keys->Session().isEmpty(); }));
    portal.CloseBoundSession();
    ASSERT_TRUE(WaitUntil([&] { return !remaps.isEmpty(); }));
    EXPECT_EQ(remaps, (QList<QList<int>>{{0, 1, 2}}));
    EXPECT_TRUE(keys->Session().isEmpty());
    portal.Activate("capture-desktop");

    // The program registers again (the user picks the keys anew): the new binding fires.
    RegisterCaptureKeys(*keys);
    ASSERT_TRUE(WaitUntil([&] { return !keys->Session().isEmpty(); }));
    portal.Activate("capture-magnifier");
    ASSERT_TRUE(WaitUntil([&] { return !fired.isEmpty(); }));
    EXPECT_EQ(fired, QList<int>{2});
    EXPECT_EQ(remaps.size(), 1);
}

TEST_F(PortalShortcuts, OfferedOnlyWhenThePortalHasTheInterface) {
    EXPECT_FALSE(TPortalHotKeys::PortalOffersGlobalShortcuts(portal.Bus(), 1000));
    StartPortal();
    EXPECT_TRUE(TPortalHotKeys::PortalOffersGlobalShortcuts(portal.Bus(), 1000));
    TFakePortal without;
    QString error;
    ASSERT_TRUE(without.StartBus(&error)) << error.toStdString();
    ASSERT_TRUE(without.StartPortal({"--shortcuts", "absent"}, &error)) << error.toStdString();
    EXPECT_FALSE(TPortalHotKeys::PortalOffersGlobalShortcuts(without.Bus(), 1000));
}

} // namespace
