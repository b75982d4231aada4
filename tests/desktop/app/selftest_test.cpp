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

// The program's list: these names in this order (the executable's run shows they all pass).
TEST(SelfTest, ProgramListIsCompleteAndInOrder) {
    std::string names;
    for (const SelfTestCase& c : selfTestCases()) {
        names += std::string(c.name) + "|";
    }
    EXPECT_EQ(names,
              "3-finger tap|2-finger tap ignored|long rest is not a tap|staggered lift still one "
              "tap|swipe left|swipe right|swipe up|swipe down|2-finger scroll ignored|small drift "
              "is neither|tip-tap left|tip-tap right|plain 2-finger tap is not a tip-tap|held "
              "second finger is not a tip-tap|2-finger scroll after rest is not a tip-tap|drawing: "
              "wobbly small circle matches|drawing: L matches|drawing: line matches nothing|"
              "drawing: reversed circle matches nothing|drawing: tiny stroke ignored|old settings "
              "file still loads|left half|bottom right|maximize|center|right third|snap left|snap "
              "top-right|snap bottom-left|snap top|no snap mid-screen|config round-trip|");
}

}  // namespace
}  // namespace ombrel::app
