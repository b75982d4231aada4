// Snap zones: which placement each part of a display's edge gives.
#include "placement/snap_zone.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

namespace ombrel {
namespace {

using enum WindowAction;
constexpr std::optional<WindowAction> none;

// Side strips reach 5 points in from the left and from the last column on the right; corners
// are their upper and lower fifths; the top strip between them maximizes, the bottom gives
// nothing; beyond the display the nearer strip still counts. (The plainer points are among the
// self-checks.)
TEST(SnapZone, StripAndCornerLimitsOnTwoDisplays) {
    const std::vector<std::pair<Point, std::optional<WindowAction>>> first = {
        {{5, 450}, leftHalf},         {{5.5, 450}, none},       {{1434, 450}, rightHalf},
        {{1433.5, 450}, none},        {{0, 180}, leftHalf},     {{0, 179.5}, topLeft},
        {{0, 720}, leftHalf},         {{0, 720.5}, bottomLeft}, {{1439, 179.5}, topRight},
        {{1439, 720.5}, bottomRight}, {{1439, 0}, topRight},    {{700, 5}, maximize},
        {{700, 5.5}, none},           {{5.5, 0}, maximize},     {{700, 899}, none},
        {{700, 900}, none},           {{-20, 450}, leftHalf},   {{1500, 900}, bottomRight},
    };
    // The second display to the right of the first and lower down.
    const std::vector<std::pair<Point, std::optional<WindowAction>>> second = {
        {{1445, 600}, leftHalf},  {{1445.5, 600}, none},   {{3354, 600}, rightHalf},
        {{3353.5, 600}, none},    {{2000, 105}, maximize}, {{2000, 105.5}, none},
        {{1440, 299.5}, topLeft}, {{1440, 300}, leftHalf}, {{3359, 900.5}, bottomRight},
        {{3359, 900}, rightHalf},
    };
    for (const auto& [display, cases] : {std::pair{Rect{0, 0, 1440, 900}, first},
                                         std::pair{Rect{1440, 100, 1920, 1000}, second}}) {
        for (const auto& [p, expected] : cases) {
            EXPECT_EQ(snapZone(p, display), expected) << p.x << ", " << p.y;
        }
    }
}

}  // namespace
}  // namespace ombrel
