// The self-check: a fixed, ordered list of named checks over the program's pure logic.
#pragma once

#include <ostream>
#include <span>
#include <string_view>

namespace ombrel::app {

struct SelfTestCase {
    std::string_view name;
    // Builds its input in memory on fresh objects and answers whether the result was as expected.
    bool (*run)();
};

// The program's checks, in report order (app/selftest_cases.cpp).
std::span<const SelfTestCase> selfTestCases();

// Runs every case in order; prints "FAIL <name>" for each failure, then "selftest ok" or
// "selftest: N failed". A case that throws counts as failed. Answers whether all passed.
bool runSelfTest(std::span<const SelfTestCase> cases, std::ostream& out);

}  // namespace ombrel::app
