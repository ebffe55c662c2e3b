// What a set of services can do, and the stand-ins for the services a desktop does not offer.
#include "FakePlatform.h"

#include <gtest/gtest.h>

TEST(Capabilities, FollowTheServicesAndWhatTheDesktopSays) {
    auto state = std::make_shared<TFakeState>();
    auto full = MakeFakePlatform(state);
    auto partial = MakeFakePlatform(state);
    partial->activeWindow.reset();
    partial->hotKeys.reset();
    auto saved = SetPlatform(std::move(full));
    EXPECT_TRUE(Platform().Can(TCapability::WindowCapture));
    EXPECT_TRUE(Platform().Can(TCapability::GlobalKeys));
    EXPECT_TRUE(Platform().Can(TCapability::PlaceWindows));
    EXPECT_TRUE(Platform().Can(TCapability::Tray));
    state->placesWindows = false;
    state->offers.tray = false;
    EXPECT_FALSE(Platform().Can(TCapability::PlaceWindows));
    EXPECT_FALSE(Platform().Can(TCapability::Tray));

    // A set without them answers a window capture with no window and registers no key.
    state->foreground.exists = true;
    (void)SetPlatform(std::move(partial));
    TPlatform& p = Platform();
    EXPECT_FALSE(p.Can(TCapability::WindowCapture));
    EXPECT_FALSE(p.Can(TCapability::GlobalKeys));
    EXPECT_FALSE(p.activeWindow->Foreground().exists);
    EXPECT_EQ(p.hotKeys->Register(0, Qt::Key_Print, Qt::NoModifier), THotKeyGrab::Absent);
    EXPECT_TRUE(state->hotKeys.isEmpty());
    SetPlatform(std::move(saved));
}
