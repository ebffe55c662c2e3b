#include "CommandLine.h"

#include <QByteArray>
#include <QList>

#include <gtest/gtest.h>

namespace {

struct TrayCase {
    const char* name;
    QList<QByteArray> args;
    bool tray;
};
void PrintTo(const TrayCase& c, std::ostream* os) {
    *os << c.name;
}

class TrayArgument : public ::testing::TestWithParam<TrayCase> {};

TEST_P(TrayArgument, ExactCaseInsensitiveWordAnywhere) {
    std::vector<std::string> words;
    for (const QByteArray& arg : GetParam().args)
        words.push_back(arg.toStdString());
    EXPECT_EQ(ParseCommandLine(words).tray, GetParam().tray);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, TrayArgument,
    ::testing::Values(TrayCase{"none", {}, false}, TrayCase{"upper", {"/TRAY"}, true},
                      TrayCase{"lower", {"/tray"}, true}, TrayCase{"mixed", {"/Tray"}, true},
                      TrayCase{"middle", {"x", "/TRAY", "y"}, true}, TrayCase{"minus", {"-TRAY"}, false},
                      TrayCase{"longer", {"/TRAYX"}, false}, TrayCase{"shorter", {"/TRA"}, false},
                      TrayCase{"with_space", {"/TRAY "}, false}, TrayCase{"joined", {"/TRAY/TRAY"}, false},
                      TrayCase{"invalid_utf8", {"\xff\xfe", "/tray"}, true},
                      TrayCase{"huge_argument", {QByteArray(1 << 20, 'x')}, false},
                      TrayCase{"non_ascii_lookalike", {"/TRAY\xc2\xa0"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
