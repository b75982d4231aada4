// The choice of command-line mode from the whole argument list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace ombrel::app {
namespace {

TEST(CommandLine, FollowsTheOrderOfModes) {
    using enum LaunchMode::Kind;
    const std::pair<std::vector<std::string>, LaunchMode> cases[] = {
        {{"ombrel"}, {normal, ""}},
        {{}, {normal, ""}},
        {{"ombrel", "--help", "-v", "x"}, {normal, ""}},
        {{"ombrel", "--run", "leftHalf", "--make-icon", "x", "--selftest"}, {selftest, ""}},
        {{"--selftest"}, {selftest, ""}},
        {{"ombrel", "--run", "leftHalf"}, {run, "leftHalf"}},
        {{"ombrel", "--run", "maximize", "--run", "center"}, {run, "maximize"}},
        {{"ombrel", "--run", "--make-icon", "x.png"}, {run, "--make-icon"}},
        {{"ombrel", "--run", ""}, {run, ""}},
        {{"ombrel", "--run"}, {normal, ""}},
        {{"ombrel", "--make-icon", "i.png", "--run"}, {makeIcon, "i.png"}},
        {{"ombrel", "--make-icon", "i.png", "--run", "center"}, {run, "center"}},
        {{"ombrel", "--make-icon", "a.png", "--make-icon", "b.png"}, {makeIcon, "a.png"}},
        {{"ombrel", "--make-icon"}, {normal, ""}},
        {{"ombrel", "--Run", "x", "--selftest=1", "-run", "y"}, {normal, ""}},
        {{"ombrel", "--verbose", "--run"}, {normal, "", true}},
        {{"ombrel", "--run", "--verbose"}, {run, "--verbose"}},
        {{"ombrel", "--verbose", "--run", "center"}, {run, "center"}},
        {{"ombrel", "--selftest", "--verbose"}, {selftest, ""}},
        {{"ombrel", "-v", "--verbose=1", "--Verbose"}, {normal, ""}},
    };
    for (const auto& [arguments, expected] : cases) {
        const LaunchMode mode = chooseMode(arguments);
        EXPECT_EQ(mode, expected) << testing::PrintToString(arguments) << " gave "
                                  << static_cast<int>(mode.kind) << " " << mode.argument << " "
                                  << mode.verbose;
    }
}

// The run request's name goes on the bus as a D-Bus string, which must be UTF-8.
TEST(CommandLine, RunNamesBecomeValidUtf8) {
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"leftHalf", "leftHalf"},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"\xFF", r},
        {"a\xC3", "a" + r},
        {"\xE2\x82x", r + "x"},
        {"\xC0\xAF", r + r},
        {"\xED\xA0\x80", r + r + r},
        {"\xF4\x90\x80\x80", r + r + r + r},
        {"\x80\xE2\x82\xAC", r + "\xE2\x82\xAC"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(validUtf8(in), out) << testing::PrintToString(in);
    }
}

}  // namespace
}  // namespace ombrel::app
