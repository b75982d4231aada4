// Placement arithmetic: the frame each placement gives, when two frames count as the same, and
// which placement each part of a display's edge gives.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "placement/snap_zone.h"
#include "placement/target_frames.h"

namespace ombrel {

// Found by argument lookup, so failures print frames readably; internal to this file.
static void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}

namespace {

using enum WindowAction;

// On a visible frame whose thirds and halves do not fall on whole points: those are rounded
// outward; the centre keeps the window's size but never beyond the visible frame.
TEST(Placement, TargetFrames) {
    constexpr Rect wide{0, 25, 1440, 800};
    constexpr Rect odd{0, 25, 1000, 775};
    constexpr Rect w600{10, 40, 600, 400};
    const std::vector<std::tuple<Rect, WindowAction, Rect, Rect>> cases = {
        {wide, topRight, w600, {720, 25, 720, 400}},
        {wide, center, {-50, 0, 2000, 1000}, {0, 25, 1440, 800}},
        {wide, center, {0, 0, 2000, 300}, {0, 275, 1440, 300}},
        {odd, leftThird, w600, {0, 25, 334, 775}},
        {odd, centerThird, w600, {333, 25, 334, 775}},
        {odd, rightTwoThirds, w600, {333, 25, 667, 775}},
        {odd, bottomHalf, w600, {0, 412, 1000, 388}},
        {odd, center, w600, {200, 212, 600, 401}},
        // Maximize is the visible frame itself, fractions and all.
        {{0.5, 25.5, 999.25, 700.5}, maximize, w600, {0.5, 25.5, 999.25, 700.5}},
    };
    for (const auto& [visible, action, current, expected] : cases) {
        SCOPED_TRACE("target " + std::string(rawValue(action)));
        EXPECT_EQ(targetFrame(action, visible, current), expected);
    }
}

// Within 12 points on each of x, y, width and height, both ways round.
TEST(Placement, NearlyEqualIsInclusiveOnEachEdge) {
    const Rect base{100, 200, 300, 400};
    const std::vector<std::pair<Rect, bool>> cases = {
        {{112, 200, 300, 400}, true}, {{112.5, 200, 300, 400}, false},
        {{100, 188, 300, 400}, true}, {{100, 187.5, 300, 400}, false},
        {{100, 200, 312, 400}, true}, {{100, 200, 312.5, 400}, false},
        {{100, 200, 300, 388}, true}, {{100, 200, 300, 387.5}, false},
    };
    for (const auto& [other, expected] : cases) {
        SCOPED_TRACE("nearly " + testing::PrintToString(other));
        EXPECT_EQ(nearlyEqual(base, other, 12), expected);
        EXPECT_EQ(nearlyEqual(other, base, 12), expected);
    }
}

// Side strips reach 5 points in from the left and from the last column on the right; corners
// are their upper and lower fifths; the top strip between them maximizes, the bottom gives
// nothing; beyond the display the nearer strip still counts. The second display lies to the right
// of the first and lower down.
TEST(Placement, SnapZonesOnTwoDisplays) {
    constexpr std::optional<WindowAction> none;
    using Points = std::vector<std::pair<Point, std::optional<WindowAction>>>;
    const Points first = {
        {{5, 450}, leftHalf},         {{5.5, 450}, none},         {{1434, 450}, rightHalf},
        {{1433.5, 450}, none},        {{0, 180}, leftHalf},       {{0, 179.5}, topLeft},
        {{0, 720}, leftHalf},         {{0, 720.5}, bottomLeft},   {{1439, 179.5}, topRight},
        {{1439, 720.5}, bottomRight}, {{1439, 0}, topRight},      {{700, 5}, maximize},
        {{700, 5.5}, none},           {{5.5, 0}, maximize},       {{700, 899}, none},
        {{-20, 450}, leftHalf},       {{1500, 900}, bottomRight},
    };
    const Points second = {
        {{1445, 600}, leftHalf}, {{1445.5, 600}, none},        {{3354, 600}, rightHalf},
        {{2000, 105}, maximize}, {{2000, 105.5}, none},        {{1440, 299.5}, topLeft},
        {{1440, 300}, leftHalf}, {{3359, 900.5}, bottomRight},
    };
    for (const auto& [display, cases] : {std::pair{Rect{0, 0, 1440, 900}, first},
                                         std::pair{Rect{1440, 100, 1920, 1000}, second}}) {
        for (const auto& [p, expected] : cases) {
            SCOPED_TRACE("snap " + testing::PrintToString(p.x) + "," + testing::PrintToString(p.y));
            EXPECT_EQ(snapZone(p, display), expected);
        }
    }
}

}  // namespace
}  // namespace ombrel
