// The built-in checks of the recognisers and the window geometry, run by --selftest.
#pragma once

#include <array>
#include <string_view>

namespace ombrel::selftest {

// One check: its place in the self-check list (1 to 32), its name as printed, and the check
// itself, which builds fresh objects, runs once and answers whether the answer was the expected.
struct CoreCheck {
    int position;
    std::string_view name;
    bool (*run)();
};

// The thirty checks over the gesture recognizer, the shape matcher, the window frame formula and
// the snap zones, in list order; the two configuration checks (21 and 32) live with the decoder.
extern const std::array<CoreCheck, 30> coreChecks;

}  // namespace ombrel::selftest
