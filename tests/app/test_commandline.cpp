// The command line as a start reads it, and the request line a running copy is handed.
#include "CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TAction = TCommandLine::TAction;

struct TArgsCase {
    const char* name;
    std::vector<std::string> args;
    TAction action;
    bool tray;
    std::string request; // what a running copy is handed; empty for errors, help and version
};
void PrintTo(const TArgsCase& c, std::ostream* os) {
    *os << c.name;
}

class CommandLineCases : public ::testing::TestWithParam<TArgsCase> {};

TEST_P(CommandLineCases, ReadsAsAUserMeansIt) {
    const TArgsCase& c = GetParam();
    const TCommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.action, c.action) << line.ErrorLine();
    if (c.action == TAction::Error) {
        EXPECT_NE(line.ErrorLine().find("--help"), std::string::npos) << "the error points to --help";
        return;
    }
    EXPECT_EQ(line.tray, c.tray);
    if (!c.request.empty()) {
        EXPECT_EQ(line.Request(), c.request);
        TCommandLine back;
        ASSERT_TRUE(ParseRequest(line.Request(), back));
        EXPECT_EQ(back.Request(), c.request) << "the request line reads back as itself";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Args, CommandLineCases,
    ::testing::Values(
        TArgsCase{"nothing", {}, TAction::None, false, "forward"},
        TArgsCase{"tray_word_any_case_anywhere", {"x", "/tRaY"}, TAction::None, true, "forward"},
        TArgsCase{"other_words_ignored", {"-tray", "/trayx", "file.png"}, TAction::None, false, "forward"},
        TArgsCase{"gnu_tray", {"--tray"}, TAction::None, true, "forward"},
        TArgsCase{"capture_default_desktop", {"--capture"}, TAction::Capture, false, "capture 0 0"},
        TArgsCase{"capture_window", {"--capture=window"}, TAction::Capture, false, "capture 1 0"},
        TArgsCase{"capture_text", {"--capture=text"}, TAction::Capture, false, "capture 3 0"},
        TArgsCase{"capture_magnifier_delayed",
                  {"--capture=magnifier", "--delay", "2"},
                  TAction::Capture,
                  false,
                  "capture 2 2000"},
        TArgsCase{"delay_before_capture_with_equals",
                  {"--delay=0.25", "--capture"},
                  TAction::Capture,
                  false,
                  "capture 0 250"},
        TArgsCase{"delay_at_its_limit",
                  {"--capture", "--delay", "3600"},
                  TAction::Capture,
                  false,
                  "capture 0 3600000"},
        TArgsCase{"capture_and_pin", {"--capture", "--pin"}, TAction::Capture, false, "capture 0 0 pin"},
        TArgsCase{"pin_first_with_mode_and_delay",
                  {"--pin", "--capture=window", "--delay=1"},
                  TAction::Capture,
                  false,
                  "capture 1 1000 pin"},
        TArgsCase{"settings", {"--settings"}, TAction::Settings, false, "settings"},
        TArgsCase{"history", {"--history", "/tray"}, TAction::History, true, "history"},
        TArgsCase{"value_for_history", {"--history=all"}, TAction::Error, false, ""},
        TArgsCase{"help_wins", {"--capture", "--help"}, TAction::Help, false, ""},
        TArgsCase{"version", {"--version"}, TAction::Version, false, ""},
        TArgsCase{"unknown_option", {"--capture", "--frobnicate"}, TAction::Error, false, ""},
        TArgsCase{"unknown_mode", {"--capture=region"}, TAction::Error, false, ""},
        TArgsCase{"delay_without_capture", {"--delay", "5"}, TAction::Error, false, ""},
        TArgsCase{"delay_missing_value", {"--capture", "--delay"}, TAction::Error, false, ""},
        TArgsCase{"delay_too_long", {"--capture", "--delay", "3601"}, TAction::Error, false, ""},
        TArgsCase{"delay_negative", {"--capture", "--delay=-1"}, TAction::Error, false, ""},
        TArgsCase{"delay_not_a_number", {"--capture", "--delay", "1e3"}, TAction::Error, false, ""},
        TArgsCase{"value_for_a_flag", {"--settings=yes"}, TAction::Error, false, ""},
        TArgsCase{"pin_without_capture", {"--pin", "--settings"}, TAction::Error, false, ""},
        TArgsCase{"value_for_pin", {"--capture", "--pin=yes"}, TAction::Error, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLine, RequestsFromOutsideAreCheckedBeforeUse) {
    TCommandLine out;
    for (const char* bad :
         {"capture -1 0", "capture 5 0", "capture 0 -5", "capture 0", "capture x 0", "settings now", "",
          "capture 0 pin", "capture 0 0 pinned", "capture 0 0 pin pin"}) {
        EXPECT_FALSE(ParseRequest(bad, out)) << bad;
    }
    EXPECT_EQ(VersionText(), "Vexmor 1.5.0.0\n");
    EXPECT_NE(UsageText().find("--capture[=方式]"), std::string::npos);
    EXPECT_NE(UsageText().find("--pin"), std::string::npos);
}

} // namespace
