// Window manager: the frame formula, display lookup, and placements with their memory.
#include "actions/window_manager.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/fake_platform.h"

namespace ombrel {

// Found by argument lookup, so failures print frames readably; internal to this file.
static void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}

namespace {

using A = WindowAction;

std::string show(const Rect& r) {
    std::ostringstream os;
    PrintTo(r, &os);
    return os.str();
}

struct FrameCase {
    Rect visible;
    A action;
    Rect current;
    Rect expected;
};

constexpr Rect wide{0, 25, 1440, 800};
constexpr Rect odd{0, 25, 1000, 775};
constexpr Rect window600{10, 40, 600, 400};

TEST(WindowManagerTargetFrame, EveryActionOnBothVisibleFrames) {
    const std::vector<FrameCase> cases = {
        {wide, A::leftHalf, window600, {0, 25, 720, 800}},
        {wide, A::rightHalf, window600, {720, 25, 720, 800}},
        {wide, A::topHalf, window600, {0, 25, 1440, 400}},
        {wide, A::bottomHalf, window600, {0, 425, 1440, 400}},
        {wide, A::topLeft, window600, {0, 25, 720, 400}},
        {wide, A::topRight, window600, {720, 25, 720, 400}},
        {wide, A::bottomLeft, window600, {0, 425, 720, 400}},
        {wide, A::bottomRight, window600, {720, 425, 720, 400}},
        {wide, A::leftThird, window600, {0, 25, 480, 800}},
        {wide, A::centerThird, window600, {480, 25, 480, 800}},
        {wide, A::rightThird, window600, {960, 25, 480, 800}},
        {wide, A::leftTwoThirds, window600, {0, 25, 960, 800}},
        {wide, A::rightTwoThirds, window600, {480, 25, 960, 800}},
        {wide, A::maximize, window600, {0, 25, 1440, 800}},
        {wide, A::center, window600, {420, 225, 600, 400}},
        {wide, A::center, {-50, 0, 2000, 1000}, {0, 25, 1440, 800}},
        {wide, A::center, {0, 0, 2000, 300}, {0, 275, 1440, 300}},
        {wide, A::nextDisplay, {1.5, 2.5, 3.25, 4.75}, {1.5, 2.5, 3.25, 4.75}},
        // Thirds and halves that do not fall on whole points are rounded outward.
        {odd, A::leftThird, window600, {0, 25, 334, 775}},
        {odd, A::centerThird, window600, {333, 25, 334, 775}},
        {odd, A::rightThird, window600, {666, 25, 334, 775}},
        {odd, A::leftTwoThirds, window600, {0, 25, 667, 775}},
        {odd, A::rightTwoThirds, window600, {333, 25, 667, 775}},
        {odd, A::topHalf, window600, {0, 25, 1000, 388}},
        {odd, A::bottomHalf, window600, {0, 412, 1000, 388}},
        {odd, A::center, window600, {200, 212, 600, 401}},
        // Maximize is the visible frame itself, fractions and all.
        {{0.5, 25.5, 999.25, 700.5}, A::maximize, window600, {0.5, 25.5, 999.25, 700.5}},
    };
    for (const FrameCase& c : cases) {
        EXPECT_EQ(WindowManager::targetFrame(c.action, c.visible, c.current), c.expected)
            << "action " << static_cast<int>(c.action) << " in " << show(c.visible);
    }
}

TEST(WindowManagerNearlyEqual, ToleranceIsInclusiveOnEachEdge) {
    const Rect base{100, 200, 300, 400};
    const std::vector<std::pair<Rect, bool>> cases = {
        {{112, 200, 300, 400}, true}, {{112.5, 200, 300, 400}, false},
        {{100, 188, 300, 400}, true}, {{100, 187.5, 300, 400}, false},
        {{100, 200, 312, 400}, true}, {{100, 200, 312.5, 400}, false},
        {{100, 200, 300, 388}, true}, {{100, 200, 300, 387.5}, false},
        {{88, 212, 288, 412}, true},
    };
    for (const auto& [other, expected] : cases) {
        EXPECT_EQ(WindowManager::nearlyEqual(base, other, 12), expected) << show(other);
        EXPECT_EQ(WindowManager::nearlyEqual(other, base, 12), expected) << show(other);
    }
}

// Display A at the origin with a menu bar, display B to its right.
const Screen displayA{{0, 0, 1440, 900}, {0, 25, 1440, 875}};
const Screen displayB{{1440, 0, 1920, 1080}, {1440, 0, 1920, 1080}};

class WindowManagerTest : public testing::Test {
  protected:
    fake::FakeWindowSystem system;
    WindowManager manager{system};

    void SetUp() override { system.displays = {displayA}; }
    Rect frameOf(uint64_t id) const { return system.frameOf(id); }
    void focus(uint64_t id) { system.focused = WindowRef{id}; }
};

TEST_F(WindowManagerTest, ScreenContainingTakesMinimumEdgesOnly) {
    system.displays = {displayA, displayB};
    const std::vector<std::pair<Point, Screen>> cases = {
        {{0, 0}, displayA},       {{1439.9, 899.9}, displayA}, {{1440, 10}, displayB},
        {{3359, 1079}, displayB}, {{3360, 10}, displayA},      {{10, 900}, displayA},
        {{-1, -1}, displayA},     {{2000, 1079.5}, displayB},
    };
    for (const auto& [point, expected] : cases) {
        EXPECT_EQ(manager.screenContaining(point), expected) << point.x << ", " << point.y;
    }
    system.displays.clear();
    EXPECT_EQ(manager.screenContaining({0, 0}), std::nullopt);
}

TEST(WindowManagerScreens, BottomLeftFramesAreFlippedAboutThePrimaryHeight) {
    const std::vector<Screen> bottomLeft = {
        {{0, 0, 1440, 900}, {0, 70, 1440, 805}},  // menu bar on top, dock at the bottom
        {{1440, -200, 1920, 1080}, {1440, -200, 1920, 1080}},  // to the right, hanging lower
        {{0, 900, 1280, 800}, {0, 900, 1280, 775}},            // above the primary
    };
    const std::vector<Screen> expected = {
        {{0, 0, 1440, 900}, {0, 25, 1440, 805}},
        {{1440, 20, 1920, 1080}, {1440, 20, 1920, 1080}},
        {{0, -800, 1280, 800}, {0, -775, 1280, 775}},
    };
    EXPECT_EQ(screensFromBottomLeft(bottomLeft), expected);
    EXPECT_TRUE(screensFromBottomLeft({}).empty());
}

TEST_F(WindowManagerTest, SetFrameWritesSizePositionSize) {
    system.open(1, {5, 5, 100, 100});
    manager.setFrame(WindowRef{1}, {10, 20, 300, 400});
    using W = fake::FakeWindowSystem::Write;
    ASSERT_EQ(system.writes.size(), 3U);
    EXPECT_EQ(system.writes[0].what, W::size);
    EXPECT_EQ(system.writes[0].frameAfter, (Rect{5, 5, 300, 400}));
    EXPECT_EQ(system.writes[1].what, W::position);
    EXPECT_EQ(system.writes[2].what, W::size);
    EXPECT_EQ(frameOf(1), (Rect{10, 20, 300, 400}));

    // A frame that is not a frame is never handed to the application.
    manager.setFrame(WindowRef{1}, {std::numeric_limits<double>::quiet_NaN(), 0, 10, 10});
    EXPECT_EQ(system.writes.size(), 3U);
}

TEST_F(WindowManagerTest, NothingHappensWithoutAWindowAFrameOrADisplay) {
    struct Case {
        const char* name;
        void (*prepare)(fake::FakeWindowSystem&);
    };
    const std::vector<Case> cases = {
        {"no focused window", [](fake::FakeWindowSystem& s) { s.focused.reset(); }},
        {"unreadable frame", [](fake::FakeWindowSystem& s) { s.windows[1].readable = false; }},
        {"focused window gone", [](fake::FakeWindowSystem& s) { s.focused = WindowRef{99}; }},
        {"no display", [](fake::FakeWindowSystem& s) { s.displays.clear(); }},
    };
    for (const Case& c : cases) {
        fake::FakeWindowSystem s;
        s.displays = {displayA, displayB};
        s.open(1, {100, 100, 400, 300});
        c.prepare(s);
        WindowManager m{s};
        for (A action : {A::leftHalf, A::maximize, A::center, A::nextDisplay}) {
            m.apply(action);
        }
        EXPECT_TRUE(s.writes.empty()) << c.name;
        EXPECT_TRUE(m.placements().empty()) << c.name;
    }
}

TEST_F(WindowManagerTest, RepeatRestoresAndForgets) {
    const Rect start{100, 100, 400, 300};
    system.open(1, start);
    manager.apply(A::leftHalf);
    EXPECT_EQ(frameOf(1), (Rect{0, 25, 720, 875}));
    ASSERT_EQ(manager.placements().size(), 1U);
    EXPECT_EQ(manager.placements()[0],
              (WindowManager::Placement{WindowRef{1}, A::leftHalf, {0, 25, 720, 875}, start}));

    manager.apply(A::leftHalf);
    EXPECT_EQ(frameOf(1), start);
    EXPECT_TRUE(manager.placements().empty());
}

TEST_F(WindowManagerTest, RepeatNeedsTheWindowWithinThreePointsOfWhereItWasPut) {
    // The application keeps the window 800 wide, so the placed frame is far from the target and
    // only the placed tolerance can recognise a repeat.
    const Rect start{100, 100, 400, 300};
    struct Case {
        double nudge;
        Rect expected;
    };
    const std::vector<Case> cases = {
        {0, {100, 100, 800, 300}},
        {3, {100, 100, 800, 300}},
        {3.5, {0, 25, 800, 875}},
    };
    for (const Case& c : cases) {
        fake::FakeWindowSystem s;
        s.displays = {displayA};
        s.open(1, start, Size{800, 100});
        WindowManager m{s};
        m.apply(A::leftHalf);
        ASSERT_EQ(s.frameOf(1), (Rect{0, 25, 800, 875}));
        s.windows[1].frame.x += c.nudge;
        s.windows[1].frame.height -= c.nudge;
        m.apply(A::leftHalf);
        EXPECT_EQ(s.frameOf(1), c.expected) << c.nudge;
    }
}

TEST_F(WindowManagerTest, ChainReturnsToTheFrameBeforeTheChain) {
    const Rect start{100, 100, 400, 300};
    system.open(1, start);
    manager.apply(A::leftHalf);
    manager.apply(A::rightHalf);
    EXPECT_EQ(frameOf(1), (Rect{720, 25, 720, 875}));
    ASSERT_EQ(manager.placements().size(), 1U);
    EXPECT_EQ(manager.placements()[0].restore, start);
    manager.apply(A::rightHalf);
    EXPECT_EQ(frameOf(1), start);
}

TEST_F(WindowManagerTest, UserMoveStartsAFreshRestoreFrame) {
    system.open(1, {100, 100, 400, 300});
    manager.apply(A::leftHalf);
    const Rect dragged{300, 200, 720, 875};
    system.windows[1].frame = dragged;

    manager.apply(A::leftHalf);  // neither at the target nor where it was put: placed again
    EXPECT_EQ(frameOf(1), (Rect{0, 25, 720, 875}));
    ASSERT_EQ(manager.placements().size(), 1U);
    EXPECT_EQ(manager.placements()[0].restore, dragged);

    const Rect draggedAgain{500, 300, 720, 875};
    system.windows[1].frame = draggedAgain;
    manager.apply(A::rightHalf);  // a different action after a user move starts from there too
    EXPECT_EQ(manager.placements()[0].restore, draggedAgain);
    manager.apply(A::rightHalf);
    EXPECT_EQ(frameOf(1), draggedAgain);
}

TEST_F(WindowManagerTest, WindowAlreadyAtTheTarget) {
    struct Case {
        const char* name;
        Rect start;
        A action;
        Rect expected;
    };
    const std::vector<Case> cases = {
        // Maximize of a window that fills the visible frame, not put there by us, shrinks it.
        {"maximize exact", {0, 25, 1440, 875}, A::maximize, {244, 147, 952, 631}},
        {"maximize within 12", {12, 13, 1428, 887}, A::maximize, {244, 147, 952, 631}},
        {"other action: nothing", {1, 24, 721, 876}, A::leftHalf, {1, 24, 721, 876}},
        {"center twice: nothing", {420, 262, 600, 400}, A::center, {420, 262, 600, 400}},
    };
    for (const Case& c : cases) {
        fake::FakeWindowSystem s;
        s.displays = {displayA};
        s.open(1, c.start);
        WindowManager m{s};
        m.apply(c.action);
        EXPECT_EQ(s.frameOf(1), c.expected) << c.name;
        EXPECT_TRUE(m.placements().empty()) << c.name;
    }
}

TEST_F(WindowManagerTest, MaximizeShrinkOnTheWideVisibleFrame) {
    system.displays = {{{0, 0, 1440, 900}, wide}};
    system.open(1, wide);
    manager.apply(A::maximize);
    EXPECT_EQ(frameOf(1), (Rect{244, 137, 952, 576}));
}

TEST_F(WindowManagerTest, MaximizeRepeatRestoresInsteadOfShrinking) {
    const Rect start{100, 100, 400, 300};
    system.open(1, start);
    manager.apply(A::maximize);
    EXPECT_EQ(frameOf(1), displayA.visible);
    manager.apply(A::maximize);
    EXPECT_EQ(frameOf(1), start);
}

TEST_F(WindowManagerTest, CenterIsNotRememberedAndClearsTheWindowsMemory) {
    system.open(1, {100, 100, 600, 400});
    system.open(2, {50, 50, 300, 300});
    manager.apply(A::leftHalf);  // window 2
    focus(1);
    manager.apply(A::leftHalf);
    manager.apply(A::center);
    const Rect centred{360, 25, 720, 875};  // centring keeps the half's size
    EXPECT_EQ(frameOf(1), centred);
    ASSERT_EQ(manager.placements().size(), 1U);
    EXPECT_EQ(manager.placements()[0].window, WindowRef{2});

    const auto writes = system.writes.size();
    manager.apply(A::center);
    EXPECT_EQ(system.writes.size(), writes);

    manager.apply(A::leftHalf);  // remembered afresh, from the centred frame
    ASSERT_EQ(manager.placements().size(), 2U);
    EXPECT_EQ(manager.placements()[1].restore, centred);
    manager.apply(A::leftHalf);
    EXPECT_EQ(frameOf(1), centred);
}

TEST_F(WindowManagerTest, NextDisplayMapsProportionallyAndWraps) {
    system.displays = {displayA, displayB};
    struct Case {
        const char* name;
        Rect start;
        Rect expected;
    };
    const std::vector<Case> cases = {
        {"half width on A", {0, 25, 720, 875}, {1440, 0, 960, 1080}},
        {"B wraps to A", {1440, 0, 960, 540}, {0, 25, 720, 438}},
        {"centre on no display counts as A", {-2880, 25, 720, 875}, {-2400, 0, 960, 1080}},
        {"fractions rounded outward", {100, 125, 333, 333}, {1573, 123, 445, 412}},
    };
    for (const Case& c : cases) {
        system.open(1, c.start);
        manager.apply(A::nextDisplay);
        EXPECT_EQ(frameOf(1), c.expected) << c.name;
    }
    EXPECT_TRUE(manager.placements().empty());
}

TEST_F(WindowManagerTest, NextDisplayLeavesTheMemoryAlone) {
    system.displays = {displayA, displayB};
    system.open(1, {100, 100, 400, 300});
    manager.apply(A::leftHalf);
    const auto remembered = manager.placements();
    manager.apply(A::nextDisplay);
    EXPECT_EQ(manager.placements(), remembered);

    system.displays = {displayA};
    const Rect before = frameOf(1);
    manager.apply(A::nextDisplay);  // a single display: nothing happens
    EXPECT_EQ(frameOf(1), before);
}

TEST_F(WindowManagerTest, NextDisplayFromADisplayWithoutUsableArea) {
    system.displays = {{{0, 0, 1440, 900}, {0, 25, 0, 875}}, displayB};
    system.open(1, {100, 100, 400, 300});
    manager.apply(A::nextDisplay);
    EXPECT_TRUE(system.writes.empty());
}

TEST_F(WindowManagerTest, RefusedSizeIsWhatIsRemembered) {
    const Rect start{100, 100, 400, 300};
    system.open(1, start, Size{800, 100});
    manager.apply(A::leftHalf);
    const Rect accepted{0, 25, 800, 875};
    EXPECT_EQ(frameOf(1), accepted);
    ASSERT_EQ(manager.placements().size(), 1U);
    EXPECT_EQ(manager.placements()[0].placed, accepted);
    manager.apply(A::leftHalf);  // still where it was put: a repeat
    EXPECT_EQ(frameOf(1), (Rect{100, 100, 800, 300}));
}

TEST_F(WindowManagerTest, MemoryHoldsSixtyWindows) {
    for (uint64_t id = 1; id <= 60; ++id) {
        system.open(id, {100, 100, 400, 300});
        manager.apply(A::leftHalf);
    }
    ASSERT_EQ(manager.placements().size(), 60U);

    // Moving a window already remembered replaces its entry and drops nobody.
    focus(30);
    manager.apply(A::rightHalf);
    ASSERT_EQ(manager.placements().size(), 60U);
    EXPECT_EQ(manager.placements().front().window, WindowRef{1});
    EXPECT_EQ(manager.placements().back().window, WindowRef{30});

    system.open(61, {100, 100, 400, 300});
    manager.apply(A::leftHalf);
    ASSERT_EQ(manager.placements().size(), 60U);
    EXPECT_EQ(manager.placements().front().window, WindowRef{2});
    EXPECT_EQ(manager.placements().back().window, WindowRef{61});

    // The pushed-out window is not restored: without an entry it already stands at the target.
    focus(1);
    manager.apply(A::leftHalf);
    EXPECT_EQ(frameOf(1), (Rect{0, 25, 720, 875}));
}

}  // namespace
}  // namespace ombrel
