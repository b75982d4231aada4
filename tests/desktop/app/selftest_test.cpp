// The self-check runner's report and the list of cases it runs.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/selftest.h"

namespace ombrel::app {
namespace {

bool passes() {
    return true;
}
bool fails() {
    return false;
}
bool throws() {
    throw std::runtime_error("boom");
}

int calls = 0;
bool countedPass() {
    ++calls;
    return true;
}

struct ReportCase {
    const char* name;
    std::vector<SelfTestCase> cases;
    std::string report;
    bool allPassed;
    friend void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }
};

class Report : public testing::TestWithParam<ReportCase> {};

TEST_P(Report, ListsFailuresInOrderThenTheSummary) {
    std::ostringstream out;
    EXPECT_EQ(runSelfTest(GetParam().cases, out), GetParam().allPassed);
    EXPECT_EQ(out.str(), GetParam().report);
}

INSTANTIATE_TEST_SUITE_P(
    SelfTest, Report,
    testing::Values(ReportCase{"all_pass", {{"a", passes}, {"b", passes}}, "selftest ok\n", true},
                    ReportCase{"empty_list", {}, "selftest ok\n", true},
                    ReportCase{"two_fail",
                               {{"first", fails}, {"second", passes}, {"third", fails}},
                               "FAIL first\nFAIL third\nselftest: 2 failed\n",
                               false},
                    ReportCase{"throwing_case_fails_and_run_goes_on",
                               {{"bad", throws}, {"good", passes}, {"worse", fails}},
                               "FAIL bad\nFAIL worse\nselftest: 2 failed\n",
                               false},
                    ReportCase{"missing_function_fails",
                               {{"none", nullptr}},
                               "FAIL none\nselftest: 1 failed\n",
                               false},
                    ReportCase{"twelve_fail",
                               std::vector<SelfTestCase>(12, SelfTestCase{"x", fails}),
                               [] {
                                   std::string s;
                                   for (int i = 0; i < 12; ++i) {
                                       s += "FAIL x\n";
                                   }
                                   return s + "selftest: 12 failed\n";
                               }(),
                               false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SelfTest, EveryCaseRunsOnceEvenAfterFailures) {
    calls = 0;
    std::ostringstream out;
    const std::vector<SelfTestCase> cases = {
        {"a", countedPass}, {"b", fails}, {"c", countedPass}, {"d", throws}, {"e", countedPass}};
    runSelfTest(cases, out);
    EXPECT_EQ(calls, 3);
}

// The program's list: these names, in this order, all passing.
TEST(SelfTest, ProgramListIsCompleteInOrderAndPasses) {
    const std::vector<std::string> expected = {"3-finger tap",
                                               "2-finger tap ignored",
                                               "long rest is not a tap",
                                               "staggered lift still one tap",
                                               "swipe left",
                                               "swipe right",
                                               "swipe up",
                                               "swipe down",
                                               "2-finger scroll ignored",
                                               "small drift is neither",
                                               "tip-tap left",
                                               "tip-tap right",
                                               "plain 2-finger tap is not a tip-tap",
                                               "held second finger is not a tip-tap",
                                               "2-finger scroll after rest is not a tip-tap",
                                               "drawing: wobbly small circle matches",
                                               "drawing: L matches",
                                               "drawing: line matches nothing",
                                               "drawing: reversed circle matches nothing",
                                               "drawing: tiny stroke ignored",
                                               "old settings file still loads",
                                               "left half",
                                               "bottom right",
                                               "maximize",
                                               "center",
                                               "right third",
                                               "snap left",
                                               "snap top-right",
                                               "snap bottom-left",
                                               "snap top",
                                               "no snap mid-screen",
                                               "config round-trip"};
    const auto cases = selfTestCases();
    std::vector<std::string> names;
    for (const auto& c : cases) {
        names.emplace_back(c.name);
    }
    EXPECT_EQ(names, expected);
    std::ostringstream out;
    EXPECT_TRUE(runSelfTest(cases, out));
    EXPECT_EQ(out.str(), "selftest ok\n");
}

}  // namespace
}  // namespace ombrel::app
