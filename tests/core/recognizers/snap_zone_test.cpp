// Snap zones: which placement each part of a display's edge gives.
#include "engine/snap_zone.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace ombrel {
namespace {

using A = WindowAction;

struct ZoneCase {
    Point p;
    std::optional<A> expected;
};

TEST(SnapZone, EdgesCornersAndTheMiddle) {
    const Rect display{0, 0, 1440, 900};
    const std::vector<ZoneCase> cases = {
        {{0, 450}, A::leftHalf},
        {{1439, 20}, A::topRight},
        {{2, 880}, A::bottomLeft},
        {{700, 1}, A::maximize},
        {{700, 450}, std::nullopt},
        // Side strips: up to 5 points from the left, from 6 points short of the right edge.
        {{5, 450}, A::leftHalf},
        {{5.5, 450}, std::nullopt},
        {{1434, 450}, A::rightHalf},
        {{1433.5, 450}, std::nullopt},
        // Corners are the upper and lower fifths of a side strip.
        {{0, 180}, A::leftHalf},
        {{0, 179.5}, A::topLeft},
        {{0, 720}, A::leftHalf},
        {{0, 720.5}, A::bottomLeft},
        {{1439, 179.5}, A::topRight},
        {{1439, 720.5}, A::bottomRight},
        {{1439, 0}, A::topRight},
        // The top strip between the sides maximizes; the bottom edge gives nothing.
        {{700, 5}, A::maximize},
        {{700, 5.5}, std::nullopt},
        {{5.5, 0}, A::maximize},
        {{700, 899}, std::nullopt},
        {{700, 900}, std::nullopt},
        // Beyond the display the nearer strip still counts.
        {{-20, 450}, A::leftHalf},
        {{1500, 900}, A::bottomRight},
    };
    for (const ZoneCase& c : cases) {
        EXPECT_EQ(snapZone(c.p, display), c.expected) << c.p.x << ", " << c.p.y;
    }
}

TEST(SnapZone, LimitsFollowTheDisplaysOrigin) {
    // A second display to the right of the first and lower down.
    const Rect display{1440, 100, 1920, 1000};
    const std::vector<ZoneCase> cases = {
        {{1445, 600}, A::leftHalf},      {{1445.5, 600}, std::nullopt},
        {{3354, 600}, A::rightHalf},     {{3353.5, 600}, std::nullopt},
        {{2000, 105}, A::maximize},      {{2000, 105.5}, std::nullopt},
        {{1440, 299.5}, A::topLeft},     {{1440, 300}, A::leftHalf},
        {{3359, 900.5}, A::bottomRight}, {{3359, 900}, A::rightHalf},
    };
    for (const ZoneCase& c : cases) {
        EXPECT_EQ(snapZone(c.p, display), c.expected) << c.p.x << ", " << c.p.y;
    }
}

}  // namespace
}  // namespace ombrel
