// Window manager: display lookup, and placements with their memory.
#include "actions/window_manager.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "fakes/fake_platform.h"

namespace ombrel {

// Found by argument lookup, so failures print frames readably; internal to this file.
static void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}

namespace {

using A = WindowAction;

// Display A at the origin with a menu bar, display B to its right.
const Screen displayA{{0, 0, 1440, 900}, {0, 25, 1440, 875}};
const Screen displayB{{1440, 0, 1920, 1080}, {1440, 0, 1920, 1080}};
constexpr Rect start{100, 100, 400, 300};
constexpr Rect leftA{0, 25, 720, 875};

// Window 1, focused, on the given displays; the application refuses sizes under its minimum.
struct Desk {
    fake::FakeWindowSystem system;
    WindowManager manager{system};
    explicit Desk(Rect frame = start, std::vector<Screen> displays = {displayA}, Size min = {}) {
        system.displays = std::move(displays);
        system.open(1, frame, min);
    }
};

TEST(WindowManager, ScreenContainingTakesMinimumEdgesOnly) {
    Desk desk{start, {displayA, displayB}};
    const std::vector<std::pair<Point, Screen>> cases = {
        {{1439.9, 899.9}, displayA}, {{1440, 10}, displayB},     {{3360, 10}, displayA},
        {{-1, -1}, displayA},        {{2000, 1079.5}, displayB},
    };
    for (const auto& [point, expected] : cases) {
        EXPECT_EQ(desk.manager.screenContaining(point), expected) << point.x << ", " << point.y;
    }
    desk.system.displays.clear();
    EXPECT_EQ(desk.manager.screenContaining({0, 0}), std::nullopt);
}

TEST(WindowManager, SetFrameWritesSizePositionSizeAndNeverANaN) {
    Desk desk{{5, 5, 100, 100}};
    desk.manager.setFrame(WindowRef{1}, {10, 20, 300, 400});
    using W = fake::FakeWindowSystem::Write;
    const auto& writes = desk.system.writes;
    ASSERT_EQ(writes.size(), 3U);
    EXPECT_EQ(writes[0].what, W::size);
    EXPECT_EQ(writes[1].what, W::position);
    EXPECT_EQ(writes[2].what, W::size);
    EXPECT_EQ(desk.system.frameOf(1), (Rect{10, 20, 300, 400}));
    desk.manager.setFrame(WindowRef{1}, {std::numeric_limits<double>::quiet_NaN(), 0, 10, 10});
    EXPECT_EQ(writes.size(), 3U);
}

TEST(WindowManager, NothingHappensWithoutAWindowAFrameOrADisplay) {
    for (void (*prepare)(fake::FakeWindowSystem&) :
         {+[](fake::FakeWindowSystem& s) { s.focused.reset(); },
          +[](fake::FakeWindowSystem& s) { s.windows[1].readable = false; },
          +[](fake::FakeWindowSystem& s) { s.focused = WindowRef{99}; },
          +[](fake::FakeWindowSystem& s) { s.displays.clear(); }}) {
        Desk desk{start, {displayA, displayB}};
        prepare(desk.system);
        for (A action : {A::leftHalf, A::maximize, A::center, A::nextDisplay}) {
            desk.manager.apply(action);
        }
        EXPECT_TRUE(desk.system.writes.empty());
        EXPECT_TRUE(desk.manager.placements().empty());
    }
}

// Each step applies an action, or without one stands for the user moving the window; either way
// the window is then at the step's frame.
struct Step {
    std::optional<A> action;
    Rect frame;
};
constexpr std::optional<A> drag;

TEST(WindowManager, SequencesOfPlacements) {
    const std::vector<Screen> a = {displayA};
    const std::vector<Screen> ab = {displayA, displayB};
    const Rect rightA{720, 25, 720, 875};
    const Rect m1{300, 200, 720, 875};
    const Rect mid{360, 25, 720, 875};  // the half, centred
    const Rect left800{0, 25, 800, 875};
    const Rect start800{100, 100, 800, 300};
    using enum WindowAction;
    // From where, on which displays, how narrow the application lets the window be, and then.
    const std::vector<std::tuple<Rect, std::vector<Screen>, double, std::vector<Step>>> cases = {
        // Twice, a chain, and the user moving the window in between.
        {start, a, 0, {{leftHalf, leftA}, {leftHalf, start}}},
        {start, a, 0, {{maximize, displayA.visible}, {maximize, start}}},
        {start, a, 0, {{leftHalf, leftA}, {rightHalf, rightA}, {rightHalf, start}}},
        {start, a, 0, {{leftHalf, leftA}, {drag, m1}, {leftHalf, leftA}, {leftHalf, m1}}},
        // What the application accepted is where the window counts as put, within 3 points.
        {start, a, 800, {{leftHalf, left800}, {leftHalf, start800}}},
        {start, a, 800, {{leftHalf, left800}, {drag, {3, 25, 800, 872}}, {leftHalf, start800}}},
        {start, a, 800, {{leftHalf, left800}, {drag, {3.5, 25, 800, 871.5}}, {leftHalf, left800}}},
        // Already at the target, not put there by us: only maximize acts, and shrinks.
        {{12, 13, 1428, 887}, a, 0, {{maximize, {244, 147, 952, 631}}}},
        {{1, 24, 721, 876}, a, 0, {{leftHalf, {1, 24, 721, 876}}}},
        // Centring is not remembered and clears the window's memory.
        {start, a, 0, {{leftHalf, leftA}, {center, mid}, {leftHalf, leftA}, {leftHalf, mid}}},
        // The next display maps proportionally, wraps, and leaves the memory alone.
        {{1440, 0, 960, 540}, ab, 0, {{nextDisplay, {0, 25, 720, 438}}}},
        {{-2880, 25, 720, 875}, ab, 0, {{nextDisplay, {-2400, 0, 960, 1080}}}},
        {{100, 125, 333, 333}, ab, 0, {{nextDisplay, {1573, 123, 445, 412}}}},
        {start, ab, 0, {{leftHalf, leftA}, {nextDisplay, {1440, 0, 960, 1080}}, {leftHalf, start}}},
        {start, a, 0, {{nextDisplay, start}}},
        {start, {{{0, 0, 1440, 900}, {0, 25, 0, 875}}, displayB}, 0, {{nextDisplay, start}}},
    };
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const auto& [from, displays, minimumWidth, steps] = cases[k];
        SCOPED_TRACE("sequence " + std::to_string(k));
        Desk desk{from, displays, {minimumWidth, 0}};
        for (std::size_t i = 0; i < steps.size(); ++i) {
            if (!steps[i].action) {
                desk.system.windows[1].frame = steps[i].frame;
                continue;
            }
            desk.manager.apply(*steps[i].action);
            EXPECT_EQ(desk.system.frameOf(1), steps[i].frame) << "step " << i;
        }
    }
}

TEST(WindowManager, MaximizedWindowsComeBackMaximizedAndFullscreenOnesAreLeftAlone) {
    using enum WindowAction;
    using enum WindowState;
    const Rect shrunk{244, 147, 952, 631};
    const Rect startOnB{1573, 92, 534, 371};
    // From the window manager's state (maximized from `start`), after the actions: the frame,
    // the state, the frame leaving the maximized state gives, and the entries remembered.
    const std::vector<std::tuple<WindowState, std::vector<A>, Rect, WindowState, Rect, size_t>>
        cases = {
            {maximized, {leftHalf}, leftA, normal, start, 1},
            {maximized, {leftHalf, leftHalf}, displayA.visible, maximized, start, 0},
            {maximized, {maximize}, shrunk, normal, start, 0},
            {maximized, {center}, displayA.visible, maximized, start, 0},
            {maximized, {nextDisplay}, displayB.visible, maximized, startOnB, 0},
            {fullscreen, {leftHalf, nextDisplay}, displayA.full, fullscreen, start, 0},
        };
    for (std::size_t k = 0; k < cases.size(); ++k) {
        SCOPED_TRACE("maximized " + std::to_string(k));
        const auto& [state, actions, frame, after, normalFrame, remembered] = cases[k];
        Desk desk{state == maximized ? displayA.visible : displayA.full, {displayA, displayB}};
        desk.system.windows[1].state = state;
        desk.system.windows[1].normal = start;
        for (A action : actions) {
            desk.manager.apply(action);
        }
        EXPECT_EQ(desk.system.frameOf(1), frame);
        EXPECT_EQ(desk.system.windows[1].state, after);
        EXPECT_EQ(desk.system.windows[1].normal, normalFrame);
        EXPECT_EQ(desk.manager.placements().size(), remembered);
    }
}

TEST(WindowManager, MemoryHoldsSixtyWindows) {
    Desk desk;
    auto& [system, manager] = desk;
    for (uint64_t id = 1; id <= 60; ++id) {
        system.open(id, start);
        manager.apply(A::leftHalf);
    }
    system.focused = WindowRef{30};
    manager.apply(A::rightHalf);  // replaces its entry and drops nobody
    system.open(61, start);
    manager.apply(A::leftHalf);  // pushes out the oldest
    // Without an entry the pushed-out window already stands at the target and stays there.
    for (const auto& [id, expected] : {std::pair{1, leftA}, {2, start}, {61, start}}) {
        system.focused = WindowRef{static_cast<uint64_t>(id)};
        manager.apply(A::leftHalf);
        EXPECT_EQ(system.frameOf(id), expected) << id;
    }
}

}  // namespace
}  // namespace ombrel
