// The desktop's name as the held-key message gives it, from what the session says it runs.
#include "DesktopOffers.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char* name;
    const char* current; // XDG_CURRENT_DESKTOP; nullptr: unset
    const char* expected;
};
void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class DesktopName : public ::testing::TestWithParam<NameCase> {};

TEST_P(DesktopName, IsTheKnownDesktopBehindItsDerivatives) {
    const QByteArray saved = qgetenv("XDG_CURRENT_DESKTOP");
    const bool had = qEnvironmentVariableIsSet("XDG_CURRENT_DESKTOP");
    if (GetParam().current)
        qputenv("XDG_CURRENT_DESKTOP", GetParam().current);
    else
        qunsetenv("XDG_CURRENT_DESKTOP");
    EXPECT_EQ(DesktopEnvironmentName(), QString::fromUtf8(GetParam().expected));
    if (had)
        qputenv("XDG_CURRENT_DESKTOP", saved);
    else
        qunsetenv("XDG_CURRENT_DESKTOP");
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, DesktopName,
    ::testing::Values(NameCase{"gnome", "GNOME", "GNOME"}, NameCase{"ubuntu_gnome", "ubuntu:GNOME", "GNOME"},
                      NameCase{"kde", "KDE", "KDE Plasma"}, NameCase{"sway_lower_case", "sway", "sway"},
                      NameCase{"unknown_kept_as_named", "Hyprland", "Hyprland"},
                      NameCase{"empty_parts_skipped", "::river", "river"}, NameCase{"unset", nullptr, ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
