// Drag-to-snap: when a left drag counts as a window move, what is previewed, and what the window
// gets on release.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_harness.h"

namespace ombrel::test {
namespace {

struct DragScenario {
    std::string name;
    std::vector<std::string> script;
    bool snapEnabled = true;
    bool engineEnabled = true;
};

class DragToSnap : public ::testing::TestWithParam<DragScenario> {};

// The display is (0, 0, 1440, 900) with the usable area (0, 25, 1440, 875); window 1 is focused
// at (300, 300, 400, 300). "window 1 at x,y" is the application moving it under the pointer.
TEST_P(DragToSnap, Play) {
    Config config;
    config.snapEnabled = GetParam().snapEnabled;
    config.engineEnabled = GetParam().engineEnabled;
    Harness h(config);
    h.windowSystem.open(1, {300, 300, 400, 300});
    for (const std::string& line : GetParam().script) {
        SCOPED_TRACE("script line: " + line);
        h.step(line);
    }
    EXPECT_TRUE(h.windows.placements().empty()) << "a snap is never remembered";
}

// Press, arm, probe, see the window move: the drag is a window move from here on.
const std::vector<std::string> startMoving = {"leftDown 400,310 -> pass",
                                              "drag 420,320 -> pass",
                                              "expect drag probing",
                                              "window 1 at 320,310",
                                              "wait 0.05",
                                              "drag 440,330 -> pass",
                                              "expect drag moving"};

std::vector<std::string> movingThen(std::vector<std::string> rest) {
    std::vector<std::string> script = startMoving;
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

std::vector<DragScenario> dragScenarios() {
    return {
        {"LeftEdgeSnapsToTheLeftHalfAfterTheReleaseDelay",
         movingThen({"expect preview none", "drag 0,450 -> pass", "expect preview 0,25,720,875",
                     "leftUp 0,450 -> pass", "expect preview none", "expect drag idle",
                     "expect frame 1 320,310,400,300", "wait 0.02",
                     "expect frame 1 320,310,400,300", "wait 0.02",
                     "expect frame 1 0,25,720,875"})},
        {"PreviewFollowsTheZone",
         movingThen({"drag 0,450 -> pass", "expect preview 0,25,720,875", "drag 1439,20 -> pass",
                     "expect preview 720,25,720,438", "drag 2,880 -> pass",
                     "expect preview 0,462,720,438", "drag 700,1 -> pass",
                     "expect preview 0,25,1440,875", "leftUp 700,1 -> pass", "wait 0.1",
                     "expect frame 1 0,25,1440,875"})},
        {"ReleaseAfterLeavingTheZoneLeavesTheWindow",
         movingThen({"drag 0,450 -> pass", "expect preview 0,25,720,875", "drag 700,450 -> pass",
                     "expect preview none", "leftUp 700,450 -> pass", "wait 0.1",
                     "expect frame 1 320,310,400,300"})},
        {"BottomEdgeIsNoZone",
         movingThen({"drag 700,899 -> pass", "expect preview none", "leftUp 700,899 -> pass",
                     "wait 0.1", "expect frame 1 320,310,400,300"})},
        {"DragOfEightPointsOrLessNeverProbes",
         {"leftDown 400,310 -> pass", "drag 408,310 -> pass", "drag 400,318 -> pass",
          "expect drag armed", "drag 405.7,315.7 -> pass", "expect drag probing"}},
        {"ResizeIsIgnoredForTheRestOfTheDrag",
         {"leftDown 400,310 -> pass", "drag 420,320 -> pass", "window 1 at 290,300",
          "window 1 size 410,300", "wait 0.05", "drag 440,330 -> pass", "expect drag ignored",
          "window 1 size 400,300", "wait 0.05", "drag 0,450 -> pass", "expect drag ignored",
          "expect preview none", "leftUp 0,450 -> pass", "wait 0.1",
          "expect frame 1 290,300,400,300"}},
        {"UnmovedWindowIsGivenUpAfterTheProbePeriod",
         {"leftDown 400,310 -> pass", "drag 420,320 -> pass", "wait 1.0", "drag 430,320 -> pass",
          "expect drag probing", "wait 0.49", "drag 440,320 -> pass", "expect drag probing",
          "wait 0.05", "drag 450,320 -> pass", "expect drag ignored", "window 1 at 320,310",
          "wait 0.05", "drag 0,450 -> pass", "expect drag ignored", "expect preview none"}},
        {"ProbesAtMostOncePerInterval",
         {"leftDown 400,310 -> pass", "drag 420,320 -> pass", "window 1 at 320,310", "wait 0.03",
          "drag 430,320 -> pass", "expect drag probing", "wait 0.02", "drag 440,320 -> pass",
          "expect drag moving"}},
        {"NoFocusedWindowIgnoresTheDrag",
         {"focus none", "leftDown 400,310 -> pass", "drag 420,320 -> pass", "expect drag ignored"}},
        {"SnapOffStaysArmed",
         {"leftDown 400,310 -> pass", "drag 420,320 -> pass", "window 1 at 320,310", "wait 0.05",
          "drag 0,450 -> pass", "expect drag armed", "expect preview none", "leftUp 0,450 -> pass",
          "wait 0.1", "expect frame 1 320,310,400,300"},
         false},
        {"EngineOffStaysArmed",
         {"leftDown 400,310 -> pass", "drag 420,320 -> pass", "expect drag armed",
          "drag 0,450 -> pass", "expect preview none"},
         true,
         false},
        {"NewPressRearmsFromAnyState",
         movingThen({"drag 0,450 -> pass", "leftDown 500,500 -> pass", "expect drag armed",
                     "drag 505,505 -> pass", "expect drag armed"})},
    };
}

INSTANTIATE_TEST_SUITE_P(Engine, DragToSnap, ::testing::ValuesIn(dragScenarios()),
                         [](const auto& info) { return info.param.name; });

TEST(DragToSnapWindow, UnreadableWindowIgnoresTheDrag) {
    Harness h(configWith({}));
    h.windowSystem.open(1, {300, 300, 400, 300});
    h.windowSystem.windows[1].readable = false;
    h.play({"leftDown 400,310 -> pass", "drag 420,320 -> pass", "expect drag ignored"});
}

TEST(DragToSnapWindow, WindowThatBecomesUnreadableWhileProbingIgnoresTheDrag) {
    Harness h(configWith({}));
    h.windowSystem.open(1, {300, 300, 400, 300});
    h.play({"leftDown 400,310 -> pass", "drag 420,320 -> pass", "expect drag probing"});
    h.windowSystem.windows[1].readable = false;
    h.play({"wait 0.05", "drag 430,320 -> pass", "expect drag ignored"});
}

TEST(DragToSnapWindow, QueuedWriteKeepsItsWindowAndFrameWhateverFollows) {
    Harness h(configWith({}));
    h.windowSystem.open(1, {300, 300, 400, 300});
    for (const std::string& line : startMoving) {
        h.step(line);
    }
    h.play({"drag 0,450 -> pass", "leftUp 0,450 -> pass"});
    h.windowSystem.open(2, {100, 100, 200, 200});
    h.play({"leftDown 150,110 -> pass", "drag 170,120 -> pass", "wait 0.1",
            "expect frame 1 0,25,720,875", "expect frame 2 100,100,200,200"});
}

TEST(DragToSnapWindow, EveryReleaseHidesThePreview) {
    Harness h(configWith({}));
    h.play({"leftUp 10,10 -> pass"});
    ASSERT_FALSE(h.snapOverlay.calls.empty());
    EXPECT_FALSE(h.snapOverlay.calls.back().has_value());
}

}  // namespace
}  // namespace ombrel::test
