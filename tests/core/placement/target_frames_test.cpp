// Target frames: the fraction of a visible frame each placement takes, and when two frames count
// as the same.
#include "placement/target_frames.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

namespace ombrel {

// Found by argument lookup, so failures print frames readably; internal to this file.
static void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}

namespace {

TEST(TargetFrames, TargetFrameOnBothVisibleFrames) {
    // Left out: the fractions the odd frame checks, and those among the self-checks.
    using enum WindowAction;
    constexpr Rect wide{0, 25, 1440, 800};
    constexpr Rect odd{0, 25, 1000, 775};
    constexpr Rect w600{10, 40, 600, 400};
    const std::vector<std::tuple<Rect, WindowAction, Rect, Rect>> cases = {
        {wide, rightHalf, w600, {720, 25, 720, 800}},
        {wide, topLeft, w600, {0, 25, 720, 400}},
        {wide, topRight, w600, {720, 25, 720, 400}},
        {wide, bottomLeft, w600, {0, 425, 720, 400}},
        {wide, center, {-50, 0, 2000, 1000}, {0, 25, 1440, 800}},
        {wide, center, {0, 0, 2000, 300}, {0, 275, 1440, 300}},
        {wide, nextDisplay, {1.5, 2.5, 3.25, 4.75}, {1.5, 2.5, 3.25, 4.75}},
        // Thirds and halves that do not fall on whole points are rounded outward.
        {odd, leftThird, w600, {0, 25, 334, 775}},
        {odd, centerThird, w600, {333, 25, 334, 775}},
        {odd, rightThird, w600, {666, 25, 334, 775}},
        {odd, leftTwoThirds, w600, {0, 25, 667, 775}},
        {odd, rightTwoThirds, w600, {333, 25, 667, 775}},
        {odd, topHalf, w600, {0, 25, 1000, 388}},
        {odd, bottomHalf, w600, {0, 412, 1000, 388}},
        {odd, center, w600, {200, 212, 600, 401}},
        // Maximize is the visible frame itself, fractions and all.
        {{0.5, 25.5, 999.25, 700.5}, maximize, w600, {0.5, 25.5, 999.25, 700.5}},
    };
    for (const auto& [visible, action, current, expected] : cases) {
        EXPECT_EQ(targetFrame(action, visible, current), expected)
            << "action " << static_cast<int>(action) << " from " << testing::PrintToString(current);
    }
}

TEST(TargetFrames, NearlyEqualIsInclusiveOnEachEdge) {
    const Rect base{100, 200, 300, 400};
    const std::vector<std::pair<Rect, bool>> cases = {
        {{112, 200, 300, 400}, true}, {{112.5, 200, 300, 400}, false},
        {{100, 188, 300, 400}, true}, {{100, 187.5, 300, 400}, false},
        {{100, 200, 312, 400}, true}, {{100, 200, 312.5, 400}, false},
        {{100, 200, 300, 388}, true}, {{100, 200, 300, 387.5}, false},
        {{88, 212, 288, 412}, true},
    };
    for (const auto& [other, expected] : cases) {
        EXPECT_EQ(nearlyEqual(base, other, 12), expected) << other.x;
        EXPECT_EQ(nearlyEqual(other, base, 12), expected) << other.x;
    }
}

}  // namespace
}  // namespace ombrel
