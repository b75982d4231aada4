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

}  // namespace
}  // namespace ombrel::app
