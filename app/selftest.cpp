// Runs the self-check cases and writes the report.
#include "app/selftest.h"

#include <exception>

namespace ombrel::app {

bool runSelfTest(std::span<const SelfTestCase> cases, std::ostream& out) {
    int failed = 0;
    for (const SelfTestCase& c : cases) {
        bool passed = false;
        try {
            passed = c.run != nullptr && c.run();
        } catch (...) {
            // A case that throws has failed; the rest of the list still runs.
            passed = false;
        }
        if (!passed) {
            out << "FAIL " << c.name << '\n';
            ++failed;
        }
    }
    if (failed == 0) {
        out << "selftest ok\n";
    } else {
        out << "selftest: " << failed << " failed\n";
    }
    out.flush();
    return failed == 0;
}

}  // namespace ombrel::app
