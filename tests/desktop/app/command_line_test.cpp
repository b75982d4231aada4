// The choice of command-line mode from the whole argument list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace ombrel::app {
namespace {

using Kind = LaunchMode::Kind;

struct ModeCase {
    const char* name;
    std::vector<std::string> arguments;
    LaunchMode expected;
    friend void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }
};

class ModeChoice : public testing::TestWithParam<ModeCase> {};

TEST_P(ModeChoice, FollowsTheOrderOfModes) {
    EXPECT_EQ(chooseMode(GetParam().arguments), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ModeChoice,
    testing::Values(
        ModeCase{"no_arguments", {"ombrel"}, {Kind::normal, ""}},
        ModeCase{"empty_list", {}, {Kind::normal, ""}},
        ModeCase{"unknown_arguments_ignored", {"ombrel", "--help", "-v", "x"}, {Kind::normal, ""}},
        ModeCase{"selftest", {"ombrel", "--selftest"}, {Kind::selftest, ""}},
        ModeCase{"selftest_wins_over_run", {"ombrel", "--run", "--selftest"}, {Kind::selftest, ""}},
        ModeCase{"selftest_anywhere",
                 {"ombrel", "--run", "leftHalf", "--make-icon", "x", "--selftest"},
                 {Kind::selftest, ""}},
        ModeCase{"selftest_as_executable_path", {"--selftest"}, {Kind::selftest, ""}},
        ModeCase{"run", {"ombrel", "--run", "leftHalf"}, {Kind::run, "leftHalf"}},
        ModeCase{"first_run_counts",
                 {"ombrel", "--run", "maximize", "--run", "center"},
                 {Kind::run, "maximize"}},
        ModeCase{"run_name_unchecked",
                 {"ombrel", "--run", "no such thing"},
                 {Kind::run, "no such thing"}},
        ModeCase{"run_takes_next_even_if_flag",
                 {"ombrel", "--run", "--make-icon", "x.png"},
                 {Kind::run, "--make-icon"}},
        ModeCase{"run_last_starts_normally", {"ombrel", "--run"}, {Kind::normal, ""}},
        ModeCase{"run_last_falls_to_icon",
                 {"ombrel", "--make-icon", "i.png", "--run"},
                 {Kind::makeIcon, "i.png"}},
        ModeCase{"first_run_last_is_not_retried", {"ombrel", "x", "--run"}, {Kind::normal, ""}},
        ModeCase{"run_wins_over_icon",
                 {"ombrel", "--make-icon", "i.png", "--run", "center"},
                 {Kind::run, "center"}},
        ModeCase{"make_icon",
                 {"ombrel", "--make-icon", "out/icon.png"},
                 {Kind::makeIcon, "out/icon.png"}},
        ModeCase{"first_make_icon_counts",
                 {"ombrel", "--make-icon", "a.png", "--make-icon", "b.png"},
                 {Kind::makeIcon, "a.png"}},
        ModeCase{"make_icon_last_starts_normally", {"ombrel", "--make-icon"}, {Kind::normal, ""}},
        ModeCase{"flags_are_exact",
                 {"ombrel", "--Run", "x", "--selftest=1", "-run", "y"},
                 {Kind::normal, ""}},
        ModeCase{"empty_name_is_a_name", {"ombrel", "--run", ""}, {Kind::run, ""}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ombrel::app
