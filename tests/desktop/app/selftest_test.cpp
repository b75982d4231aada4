// The self-check runner's report and the list of cases it runs.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/selftest.h"

namespace ombrel::app {
namespace {

int calls = 0;
bool passes() {
    ++calls;
    return true;
}
bool fails() {
    return false;
}
bool throws() {
    throw std::runtime_error("boom");
}

// Failures in order, then the summary; a throwing or missing check fails and the run goes on,
// each check running once.
TEST(SelfTest, ReportsEveryFailureThenTheSummary) {
    struct Case {
        std::vector<SelfTestCase> cases;
        std::string report;
        int passing;
    };
    const Case cases[] = {
        {{}, "selftest ok\n", 0},
        {{{"a", passes}, {"b", passes}}, "selftest ok\n", 2},
        {{{"first", fails}, {"second", passes}, {"third", fails}},
         "FAIL first\nFAIL third\nselftest: 2 failed\n",
         1},
        {{{"bad", throws}, {"good", passes}, {"none", nullptr}, {"last", passes}},
         "FAIL bad\nFAIL none\nselftest: 2 failed\n",
         2},
    };
    for (const Case& c : cases) {
        calls = 0;
        std::ostringstream out;
        EXPECT_EQ(runSelfTest(c.cases, out), c.report == "selftest ok\n");
        EXPECT_EQ(out.str(), c.report);
        EXPECT_EQ(calls, c.passing) << c.report;
    }
}

// The program's list: the recogniser and geometry checks with the two configuration checks
// sorted into their places (the executable's run shows they all pass).
TEST(SelfTest, ProgramListKeepsTheConfigurationChecksInPlace) {
    const auto cases = selfTestCases();
    ASSERT_EQ(cases.size(), 32U);
    EXPECT_EQ(cases.front().name, "3-finger tap");
    EXPECT_EQ(cases[20].name, "old settings file still loads");
    EXPECT_EQ(cases.back().name, "config round-trip");
}

}  // namespace
}  // namespace ombrel::app
