// The actions: placement arithmetic (the frame each placement gives, when two frames count as the
// same, which placement each part of a display's edge gives), window placements with their
// memory, every other action against fresh fakes, and the way into the action worker (order, one
// job per turn, merged requests, a cap on what waits).
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "fakes/fake_desk.h"
#include "placement/snap_zone.h"
#include "placement/target_frames.h"
#include "platform/log.h"
#include "support/rect_printer.h"

namespace ombrel {

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

// Display A at the origin with a menu bar, display B to its right.
const Screen displayA{{0, 0, 1440, 900}, {0, 25, 1440, 875}};
const Screen displayB{{1440, 0, 1920, 1080}, {1440, 0, 1920, 1080}};
constexpr Rect start{100, 100, 400, 300};
constexpr Rect leftA{0, 25, 720, 875};

using fake::Desk;

TEST(WindowManager, NothingHappensWithoutAWindowAFrameOrADisplay) {
    for (void (*prepare)(fake::FakeWindowSystem&) :
         {+[](fake::FakeWindowSystem& s) { s.focused.reset(); },
          +[](fake::FakeWindowSystem& s) { s.windows[1].readable = false; },
          +[](fake::FakeWindowSystem& s) { s.focused = WindowRef{99}; },
          +[](fake::FakeWindowSystem& s) { s.displays.clear(); }}) {
        Desk desk{start, {displayA, displayB}};
        prepare(desk.system);
        for (WindowAction action : {leftHalf, maximize, center, nextDisplay}) {
            desk.manager.apply(action);
        }
        EXPECT_TRUE(desk.system.writes.empty());
        EXPECT_TRUE(desk.manager.placements().empty());
    }
}

// Each step applies an action, or without one stands for the user moving the window; either way
// the window is then at the step's frame.
struct Step {
    std::optional<WindowAction> action;
    Rect frame;
};
constexpr std::optional<WindowAction> drag;
// At the end, for a window that started maximized or fullscreen (leaving that state gives
// `start`): its state, the frame leaving the maximized state gives, and the entries remembered.
struct End {
    WindowState state;
    Rect normal;
    std::size_t remembered;
};
// From where, on which displays, how narrow the application lets the window be, the steps, and
// the window manager's state at first with what it is at the end.
struct Sequence {
    Rect from;
    std::vector<Screen> displays;
    double minimumWidth;
    std::vector<Step> steps;
    WindowState state = WindowState::normal;
    std::optional<End> end = std::nullopt;
};

TEST(WindowManager, SequencesOfPlacements) {
    const std::vector<Screen> a = {displayA};
    const std::vector<Screen> ab = {displayA, displayB};
    const Rect rightA{720, 25, 720, 875};
    const Rect m1{300, 200, 720, 875};
    const Rect mid{360, 25, 720, 875};  // the half, centred
    const Rect left800{0, 25, 800, 875};
    const Rect start800{100, 100, 800, 300};
    const Rect shrunk{244, 147, 952, 631};
    const Rect maxA = displayA.visible;
    const Rect maxB = displayB.visible;
    using enum WindowState;
    const Sequence cases[] = {
        // Twice, a chain, and the user moving the window in between.
        {start, a, 0, {{leftHalf, leftA}, {leftHalf, start}}},
        {start, a, 0, {{maximize, maxA}, {maximize, start}}},
        {start, a, 0, {{leftHalf, leftA}, {rightHalf, rightA}, {rightHalf, start}}},
        {start, a, 0, {{leftHalf, leftA}, {drag, m1}, {leftHalf, leftA}, {leftHalf, m1}}},
        // What the application accepted is where the window counts as put, within 3 points.
        {start, a, 800, {{leftHalf, left800}, {leftHalf, start800}}},
        {start, a, 800, {{leftHalf, left800}, {drag, {3, 25, 800, 872}}, {leftHalf, start800}}},
        {start, a, 800, {{leftHalf, left800}, {drag, {3.5, 25, 800, 871.5}}, {leftHalf, left800}}},
        // Already at the target, not put there by us: only maximize acts, and shrinks.
        {{12, 13, 1428, 887}, a, 0, {{maximize, shrunk}}},
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
        // Maximized windows come back maximized; fullscreen ones are left alone.
        {maxA, ab, 0, {{leftHalf, leftA}}, maximized, End{normal, start, 1}},
        {maxA, ab, 0, {{leftHalf, leftA}, {leftHalf, maxA}}, maximized, End{maximized, start, 0}},
        {maxA, ab, 0, {{maximize, shrunk}}, maximized, End{normal, start, 0}},
        {maxA, ab, 0, {{center, maxA}}, maximized, End{maximized, start, 0}},
        {maxA, ab, 0, {{nextDisplay, maxB}}, maximized, End{maximized, {1573, 92, 534, 371}, 0}},
        {displayA.full,
         ab,
         0,
         {{leftHalf, displayA.full}, {nextDisplay, displayA.full}},
         fullscreen,
         End{fullscreen, start, 0}},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const Sequence& c = cases[k];
        SCOPED_TRACE("sequence " + std::to_string(k));
        Desk desk{c.from, c.displays, {c.minimumWidth, 0}};
        auto& window = desk.system.windows[1];
        window.state = c.state;
        window.normal = c.state == normal ? c.from : start;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            if (!c.steps[i].action) {
                window.frame = c.steps[i].frame;
                continue;
            }
            desk.manager.apply(*c.steps[i].action);
            EXPECT_EQ(window.frame, c.steps[i].frame) << "step " << i;
        }
        if (c.end) {
            EXPECT_EQ(window.state, c.end->state);
            EXPECT_EQ(window.normal, c.end->normal);
            EXPECT_EQ(desk.manager.placements().size(), c.end->remembered);
        }
    }
}

TEST(WindowManager, MemoryHoldsSixtyWindows) {
    Desk desk;
    for (uint64_t id = 1; id <= 60; ++id) {
        desk.system.open(id, start);
        desk.manager.apply(leftHalf);
    }
    desk.system.focused = WindowRef{30};
    desk.manager.apply(rightHalf);  // replaces its entry and drops nobody
    desk.system.open(61, start);
    desk.manager.apply(leftHalf);  // pushes out the oldest
    // Without an entry the pushed-out window already stands at the target and stays there.
    for (const auto& [id, expected] : {std::pair{1, leftA}, {2, start}, {61, start}}) {
        desk.system.focused = WindowRef{static_cast<uint64_t>(id)};
        desk.manager.apply(leftHalf);
        EXPECT_EQ(desk.system.frameOf(id), expected) << id;
    }
}

using S = SystemAction;
enum Setup { plain = 0, noShell = 1, noPointer = 2, lockProgram = 4 };
// The session's player, sound server, display power and a locker that locks (unless lockFails);
// stale: both notices were said before.
constexpr int services = 8, lockFails = 16, stale = 32;

TEST(ActionRunner, EachActionDoesExactlyThis) {
    // The action, what it runs with, and its effects.
    const std::tuple<Action, int, std::vector<std::string>> cases[] = {
        // Keystrokes keep their modifier set; a code outside 0..65535 posts nothing.
        {Action::keystroke({40, Mods(9)}), plain, {"keystroke 40 9"}},
        {Action::keystroke({65535, Mods(0)}), plain, {"keystroke 65535 0"}},
        {Action::keystroke({65536, Mods(1)}), plain, {}},
        {Action::keystroke({-1, Mods(1)}), plain, {}},
        // Addresses get "https://" only when they name no scheme; refused text opens nothing.
        {Action::openURL("example.com/a"), plain, {"url https://example.com/a"}},
        {Action::openURL("myapp://open?x=1"), plain, {"url myapp://open?x=1"}},
        {Action::openURL("search?q=a://b"), plain, {"url search?q=a://b"}},
        {Action::openURL("mailto:a@example.com"), plain, {"url https://mailto:a@example.com"}},
        {Action::openURL("not a url"), plain, {}},
        // The command stays one argument for the shell to interpret.
        {Action::shell("ls ~ | wc -l; echo \"$HOME\""),
         plain,
         {"run /bin/bash [-lc] [ls ~ | wc -l; echo \"$HOME\"]"}},
        {Action::launchApp("/nowhere/Editor.app"), plain, {"app /nowhere/Editor.app"}},
        // System functions (one sample of each kind), and the desktop shell's fallbacks.
        {Action::system(S::missionControl), noShell, {"run overview"}},
        {Action::system(S::appWindows), noShell, {"notice overview"}},
        {Action::system(S::showDesktop), noShell, {"run desktop [--show]"}},
        {Action::system(S::lockScreen), plain, {"keystroke 12 5"}},
        {Action::system(S::lockScreen), lockProgram, {"run loginctl [lock-session]"}},
        {Action::system(S::sleepDisplay), plain, {"run xset [dpms] [force] [off]"}},
        {Action::system(S::playPause), plain, {"media 0"}},
        // The session's own services come first; the media keys are the last resort, and a
        // lock nobody performed is said, never taken for done.
        {Action::system(S::playPause), services, {"player 0"}},
        {Action::system(S::mute), services, {"volume 2"}},
        {Action::system(S::sleepDisplay), services, {"sleep"}},
        {Action::system(S::lockScreen), lockFails | lockProgram, {"lock", "notice lockScreen"}},
        // What the desktop managed after all is no longer said to fail.
        {Action::system(S::lockScreen), services | stale, {"lock", "notice overview"}},
        {Action::system(S::appWindows), stale, {"desktop 1", "notice lockScreen"}},
        {Action::system(S::middleClick), plain, {"click 2 at 300,200"}},
        {Action::system(S::middleClick), noPointer, {"click 2 at 0,0"}},
    };
    SystemPrograms programs{"/bin/bash", {"-lc"}, {}, {"xset", {"dpms", "force", "off"}},
                            {},          {},      {}};
    programs.missionControlFallback = Command{"overview", {}};
    programs.showDesktopFallback = Command{"desktop", {"--show"}};
    int row = 0;
    for (const auto& [action, setup, log] : cases) {
        SCOPED_TRACE("row " + std::to_string(row++));
        programs.lockScreen = (setup & lockProgram) != 0
                                  ? std::optional(Command{"loginctl", {"lock-session"}})
                                  : std::nullopt;
        Desk w(start, {displayA}, {}, programs);
        w.shell.available = (setup & noShell) == 0;
        w.shell.services = (setup & services) != 0;
        if ((setup & (services | lockFails)) != 0) {
            w.shell.lockAnswer = (setup & lockFails) == 0;
        }
        for (const char* topic : {"lockScreen", "overview"}) {
            w.notices.set(topic, (setup & stale) != 0 ? "before" : "");
        }
        w.poster.pointer = (setup & noPointer) != 0 ? std::nullopt : std::optional(Point{300, 200});
        w.runner.run(action);
        EXPECT_EQ(w.effects(), log);
    }
}

struct Lines : log::Sink {
    std::vector<std::string> notes;
    void note(std::string_view line) override { notes.emplace_back(line); }
    void decision(std::string_view) override {}
    [[nodiscard]] bool wantsDecisions() const override { return false; }
};

// Nothing runs on the caller's thread; the worker runs one job per turn, in order, so that its
// own work comes between two jobs. A request for a name that waits is taken in by it: a burst is
// performed once per answer. Beyond the cap jobs are dropped, and logged once caught up.
TEST(ActionQueue, OneJobPerTurnRequestsMergedWhileTheyWaitDropsBeyondTheCap) {
    Lines lines;
    log::Sink* before = log::setSink(&lines);
    Desk w;
    const Action overview = Action::system(SystemAction::missionControl);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_TRUE(w.queue.request(overview));
    }
    w.queue.perform(overview);  // a binding's action is never merged
    w.queue.request(Action::system(SystemAction::showDesktop));
    w.queue.request(overview);
    std::vector<std::string> between;
    w.turns.post([&] {
        between = w.effects();
        w.queue.request(overview);
    });
    EXPECT_TRUE(w.effects().empty());
    w.turns.runDue();
    EXPECT_EQ(between, std::vector<std::string>{"desktop 0"});
    EXPECT_EQ(w.effects(),
              (std::vector<std::string>{"desktop 0", "desktop 0", "desktop 2", "desktop 0"}));
    EXPECT_EQ(w.queue.dropped(), 0u);
    w.shell.calls.clear();
    EXPECT_TRUE(w.queue.request(Action::shell("0")));
    for (std::size_t i = 1; i < ActionQueue::capacity + 3; ++i) {
        EXPECT_EQ(w.queue.perform(Action::shell(std::to_string(i))), i < ActionQueue::capacity);
    }
    EXPECT_FALSE(w.queue.setFrame(WindowRef{1}, {0, 0, 100, 100}));
    EXPECT_TRUE(w.queue.request(Action::shell("0"))) << "merged, not dropped";
    EXPECT_FALSE(w.queue.request(Action::shell("1"))) << "an action is not a request";
    EXPECT_EQ(w.queue.dropped(), 5u);
    EXPECT_TRUE(lines.notes.empty()) << "nothing is logged per drop";
    w.turns.runDue();
    EXPECT_EQ(w.effects().size(), ActionQueue::capacity);
    EXPECT_EQ(w.effects().back(), "run sh [-c] [63]");
    EXPECT_EQ(lines.notes, std::vector<std::string>{
                               "5 actions were dropped because 64 were already waiting to be "
                               "performed."});
    EXPECT_TRUE(w.queue.setFrame(WindowRef{1}, {40, 20, 30, 40}));
    EXPECT_TRUE(
        w.queue.setFrame(WindowRef{1}, {std::numeric_limits<double>::quiet_NaN(), 0, 9, 9}));
    w.turns.runDue();
    // The size again after the position, as what an application accepts may depend on where its
    // window is; a frame that is not finite is never written.
    const std::vector<std::string> effects = w.effects();
    EXPECT_EQ(std::vector(effects.begin() + ActionQueue::capacity, effects.end()),
              (std::vector<std::string>{"size 30x40", "position 40,20", "size 30x40"}));
    EXPECT_EQ(w.system.frameOf(1), (Rect{40, 20, 30, 40}));
    EXPECT_EQ(w.manager.placements().size(), 0u) << "a snapped frame is not remembered";
    EXPECT_EQ(lines.notes.size(), 1u);
    log::setSink(before);
}

}  // namespace
}  // namespace ombrel
