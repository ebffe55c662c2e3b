// The desktop's name as the held-key message gives it: the known desktop behind a derivative's name.
#include "DesktopOffers.h"

#include <gtest/gtest.h>

TEST(DesktopName, IsTheKnownDesktopBehindItsDerivatives) {
    const QByteArray saved = qgetenv("XDG_CURRENT_DESKTOP");
    for (const auto& [session, name] : {std::pair{"ubuntu:GNOME", "GNOME"},
                                        {"KDE", "KDE Plasma"},
                                        {"sway", "sway"},
                                        {"::river", "river"},
                                        {"", ""}}) {
        qputenv("XDG_CURRENT_DESKTOP", session);
        EXPECT_EQ(DesktopEnvironmentName(), QString::fromUtf8(name)) << session;
    }
    qputenv("XDG_CURRENT_DESKTOP", saved);
}
