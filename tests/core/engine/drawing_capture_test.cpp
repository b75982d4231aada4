// Pointer drawings: when a stroke starts, which points it keeps, when it is shown, and what
// finishes or cancels it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_harness.h"

namespace ombrel::test {
namespace {

using Call = fake::FakeStrokeOverlay::Call;

class Drawings : public ::testing::TestWithParam<Scenario> {};

TEST_P(Drawings, Play) {
    Harness h(configWith(GetParam().rules));
    h.play(GetParam().script);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, Drawings,
    ::testing::Values(
        Scenario{"TracedShapeFiresWhenAModifierIsReleased",
                 {rule(lDrawing(), "L")},
                 {"trace L 1.5 40,10", "expect stroke on", "flags ctrl+opt+caps -> pass",
                  "expect stroke on", "expect ran", "flags ctrl -> pass", "expect stroke off",
                  "expect ran L"}},
        Scenario{"AddingShiftFinishesLikeReleasing",
                 {rule(lDrawing(), "L")},
                 {"trace L 1 0,0 drag", "flags ctrl+opt+shift -> pass", "expect stroke off",
                  "expect ran L"}},
        Scenario{"KeyDownCancelsWithoutFiringEvenAfterRelease",
                 {rule(lDrawing(), "L")},
                 {"trace L 1 0,0", "keyDown 12 ctrl+opt -> pass", "expect stroke off",
                  "move 500,500 -> pass", "flags none -> pass", "expect ran"}},
        Scenario{"OnlyTheExactDrawModifiersStart",
                 {rule(lDrawing(), "L")},
                 {"flags ctrl+opt+shift 1,1 -> pass", "expect stroke off", "flags ctrl 1,1 -> pass",
                  "expect stroke off", "flags ctrl+opt+caps 1,1 -> pass", "expect stroke on"}},
        Scenario{"NoEnabledDrawingRuleStartsNothing",
                 {rule(lDrawing(), "L", std::nullopt, false), rule(hotkey(1, ctrl | opt), "K")},
                 {"flags ctrl+opt 1,1 -> pass", "expect stroke off"}},
        Scenario{"RecordingOrEngineOffStartsNothing",
                 {rule(lDrawing(), "L")},
                 {"record on", "flags ctrl+opt 1,1 -> pass", "expect stroke off", "record off",
                  "config engine off", "flags none 1,1 -> pass", "flags ctrl+opt 1,1 -> pass",
                  "expect stroke off"}},
        Scenario{"ScopeIsDecidedAtFinish",
                 {rule(lDrawing(), "L", "editor")},
                 {"front browser", "trace L 1 0,0", "flags none -> pass", "expect ran",
                  "front editor", "trace L 1 0,0", "flags none -> pass", "expect ran L"}}),
    scenarioName);

TEST(DrawingCapture, DrawModifiersComeFromTheConfiguration) {
    Config config = configWith({rule(lDrawing(), "L")});
    config.drawMods = Mods(cmd | shift);
    Harness h(config);
    h.play({"flags ctrl+opt 1,1 -> pass", "expect stroke off", "flags cmd+shift 1,1 -> pass",
            "expect stroke on"});
}

TEST(DrawingCapture, JitterIsDroppedAndTheOverlayAppearsPastTwelvePoints) {
    Harness h(configWith({rule(lDrawing(), "L")}));
    h.play({"flags ctrl+opt 100,100 -> pass", "move 102,102 -> pass", "move 103,100 -> pass",
            "move 104,100 -> pass", "move 108,100 -> pass", "move 110,101 -> pass",
            "move 112,100 -> pass"});
    EXPECT_FALSE(h.strokeOverlay.visible) << "a stroke of exactly 12 points is not shown";
    EXPECT_EQ(h.strokeOverlay.calls.size(), 3u);  // 104, 108 and 112 were kept
    h.strokeOverlay.calls.clear();
    h.play({"move 116,100 -> pass", "move 120,100 -> pass"});
    const std::vector<std::pair<Call, Point>> expected = {
        {Call::begin, {100, 100}},    {Call::addPoint, {104, 100}}, {Call::addPoint, {108, 100}},
        {Call::addPoint, {112, 100}}, {Call::addPoint, {116, 100}}, {Call::addPoint, {120, 100}}};
    EXPECT_EQ(h.strokeOverlay.calls, expected);
    h.play({"keyDown 1 -> pass"});
    EXPECT_FALSE(h.strokeOverlay.visible);
}

TEST(DrawingCapture, DrawingsListsEnabledDrawingRulesInOrder) {
    Drawing other{"other", ShapeMatcher::normalize(lShape(1, 5, 0))};
    other.points.front().x += 0.01;
    Harness h(configWith({rule(Trigger::drawing(other), "O", "editor"), rule(hotkey(1, 0), "K"),
                          rule(lDrawing(), "off", std::nullopt, false), rule(lDrawing(), "L")}));
    const std::vector<Drawing> drawings = h.engine.drawings();
    ASSERT_EQ(drawings.size(), 2u);
    EXPECT_EQ(drawings[0], other);
    EXPECT_EQ(drawings[1], *lDrawing().asDrawing());
}

}  // namespace
}  // namespace ombrel::test
