// Drag-to-snap: when a left drag counts as a window move, what is previewed, and what the window
// gets on release. The display is (0, 0, 1440, 900), usable (0, 25, 1440, 875); window 1 is
// focused at (300, 300, 400, 300).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_harness.h"

namespace ombrel::test {
namespace {

class DragToSnap : public ::testing::TestWithParam<Scenario> {};

TEST_P(DragToSnap, Play) {
    Harness h(Config{});
    h.play(GetParam().script);
    EXPECT_TRUE(h.windows.placements().empty()) << "a snap is never remembered";
}

// Press, arm, probe, see the window move: the drag is a window move from here on.
Scenario moving(std::string name, std::vector<std::string> rest) {
    std::vector<std::string> script = {"leftDown 400,310 -> pass",
                                       "drag 420,320 -> pass",
                                       "expect drag probing",
                                       "window 1 at 320,310",
                                       "wait 0.05",
                                       "drag 440,330 -> pass",
                                       "expect drag moving",
                                       "expect preview none"};
    script.insert(script.end(), rest.begin(), rest.end());
    return {std::move(name), {}, script};
}

INSTANTIATE_TEST_SUITE_P(
    Engine, DragToSnap,
    ::testing::Values(
        moving("LeftEdgeSnapsToTheLeftHalfAfterTheReleaseDelay",
               {"drag 0,450 -> pass", "expect preview 0,25,720,875", "leftUp 0,450 -> pass",
                "expect preview none", "expect drag idle", "wait 0.02",
                "expect frame 1 320,310,400,300", "wait 0.02", "expect frame 1 0,25,720,875"}),
        moving("PreviewFollowsTheZone",
               {"drag 0,450 -> pass", "drag 1439,20 -> pass", "expect preview 720,25,720,438",
                "drag 2,880 -> pass", "expect preview 0,462,720,438", "drag 700,1 -> pass",
                "expect preview 0,25,1440,875", "leftUp 700,1 -> pass", "wait 0.1",
                "expect frame 1 0,25,1440,875"}),
        moving("ReleaseAfterLeavingTheZoneLeavesTheWindow",
               {"drag 0,450 -> pass", "drag 700,450 -> pass", "expect preview none",
                "drag 700,899 -> pass", "expect preview none", "leftUp 700,899 -> pass", "wait 0.1",
                "expect frame 1 320,310,400,300"}),
        moving("QueuedWriteKeepsItsWindowWhateverFollows",
               {"drag 0,450 -> pass", "leftUp 0,450 -> pass", "focus none",
                "leftDown 500,500 -> pass", "expect drag armed", "drag 600,600 -> pass",
                "expect drag ignored", "wait 0.1", "expect frame 1 0,25,720,875"}),
        moving("PressWithoutReleaseStartsOver",
               {"drag 0,450 -> pass", "leftDown 500,500 -> pass", "expect drag armed",
                "leftUp 500,500 -> pass", "wait 0.1", "expect frame 1 320,310,400,300"}),
        Scenario{"DragOfEightPointsOrLessNeverProbes",
                 {},
                 {"leftDown 400,310 -> pass", "drag 408,310 -> pass", "drag 400,318 -> pass",
                  "expect drag armed", "drag 405.7,315.7 -> pass", "expect drag probing"}},
        Scenario{"ResizeIsIgnoredForTheRestOfTheDrag",
                 {},
                 {"leftDown 400,310 -> pass", "drag 420,320 -> pass", "window 1 at 290,300",
                  "window 1 size 410,300", "wait 0.05", "drag 440,330 -> pass",
                  "expect drag ignored", "window 1 size 400,300", "wait 0.05", "drag 0,450 -> pass",
                  "expect drag ignored", "expect preview none"}},
        Scenario{
            "UnmovedWindowIsGivenUpAfterTheProbePeriod",
            {},
            {"leftDown 400,310 -> pass", "drag 420,320 -> pass", "wait 1.0", "drag 430,320 -> pass",
             "wait 0.49", "drag 440,320 -> pass", "expect drag probing", "wait 0.05",
             "drag 450,320 -> pass", "expect drag ignored", "window 1 at 320,310", "wait 0.05",
             "drag 460,320 -> pass", "expect drag ignored"}},
        Scenario{"ProbesAtMostOncePerInterval",
                 {},
                 {"leftDown 400,310 -> pass", "drag 420,320 -> pass", "window 1 at 320,310",
                  "wait 0.03", "drag 430,320 -> pass", "expect drag probing", "wait 0.02",
                  "drag 440,320 -> pass", "expect drag moving"}},
        Scenario{"SnapOffStaysArmed",
                 {},
                 {"config snap off", "leftDown 400,310 -> pass", "drag 420,320 -> pass",
                  "window 1 at 320,310", "wait 0.05", "drag 0,450 -> pass", "expect drag armed",
                  "expect preview none", "leftUp 0,450 -> pass", "wait 0.1",
                  "expect frame 1 320,310,400,300"}},
        Scenario{"EngineOffStaysArmed",
                 {},
                 {"config engine off", "leftDown 400,310 -> pass", "drag 420,320 -> pass",
                  "expect drag armed"}}),
    scenarioName);

TEST(DragToSnapWindow, UnreadableWindowIgnoresTheDrag) {
    Harness h(Config{});
    h.play({"leftDown 400,310 -> pass", "drag 420,320 -> pass", "expect drag probing"});
    h.windowSystem.windows[1].readable = false;
    h.play({"wait 0.05", "drag 430,320 -> pass", "expect drag ignored", "leftUp 1,1 -> pass",
            "leftDown 400,310 -> pass", "drag 420,320 -> pass", "expect drag ignored"});
}

}  // namespace
}  // namespace ombrel::test
