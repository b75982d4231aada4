// Pointer drawings: when a stroke starts, which points it keeps, when it is shown, and what
// finishes or cancels it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drawing/shape_matcher.h"
#include "engine_harness.h"

namespace ombrel::test {
namespace {

using Call = fake::FakeStrokeOverlay::Call;

// An L traced downward then rightward, in steps of 20 points.
std::vector<Pt> lShape(double scale = 1, double dx = 0, double dy = 0) {
    std::vector<Pt> points;
    for (int y = 100; y <= 300; y += 20) {
        points.push_back({200 * scale + dx, y * scale + dy});
    }
    for (int x = 220; x <= 400; x += 20) {
        points.push_back({x * scale + dx, 300 * scale + dy});
    }
    return points;
}

Drawing lDrawing() {
    return Drawing{"L", ShapeMatcher::normalize(lShape())};
}

Rule drawingRule(std::string name, std::optional<std::string> app = std::nullopt,
                 bool enabled = true) {
    return rule(Trigger::drawing(lDrawing()), std::move(name), std::move(app), enabled);
}

std::string at(const Pt& p) {
    return std::to_string(p.x) + "," + std::to_string(p.y);
}

// Presses the draw modifiers at the first point and moves through the rest.
void trace(Harness& h, const std::vector<Pt>& points, const std::string& type = "move") {
    h.step("flags ctrl+opt " + at(points.front()) + " -> pass");
    for (std::size_t i = 1; i < points.size(); ++i) {
        h.step(type + " " + at(points[i]) + " -> pass");
    }
}

TEST(DrawingCapture, TracedShapeFiresItsRuleWhenTheModifiersAreReleased) {
    Harness h(configWith({drawingRule("L")}));
    trace(h, lShape(1.5, 40, 10));
    h.play({"expect stroke on", "expect ran", "flags ctrl -> pass", "expect stroke off",
            "expect ran L"});
    ASSERT_FALSE(h.strokeOverlay.calls.empty());
    EXPECT_EQ(h.strokeOverlay.calls.back().first, Call::hide);
}

TEST(DrawingCapture, DrawingWithTheButtonHeldExtendsTheStrokeToo) {
    Harness h(configWith({drawingRule("L")}));
    h.play({"leftDown 200,100 -> pass"});
    trace(h, lShape(), "drag");
    h.play({"flags none -> pass", "expect ran L"});
}

struct StartCase {
    std::string name;
    std::string flags;
    std::vector<Rule> rules;
    bool engineEnabled;
    bool recording;
    bool starts;
};

class StrokeStart : public ::testing::TestWithParam<StartCase> {};

TEST_P(StrokeStart, StartsOnlyWithExactlyTheDrawModifiers) {
    const StartCase& c = GetParam();
    Config config = configWith(c.rules);
    config.engineEnabled = c.engineEnabled;
    Harness h(config);
    h.engine.setRecording(c.recording);
    h.step("flags " + c.flags + " 100,100 -> pass");
    EXPECT_EQ(h.engine.strokeInProgress(), c.starts);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, StrokeStart,
    ::testing::Values(
        StartCase{"ExactDrawModifiers", "ctrl+opt", {drawingRule("L")}, true, false, true},
        StartCase{"CapsLockDoesNotCount", "ctrl+opt+caps", {drawingRule("L")}, true, false, true},
        StartCase{
            "PlusShiftStartsNothing", "ctrl+opt+shift", {drawingRule("L")}, true, false, false},
        StartCase{"OneOfThemStartsNothing", "ctrl", {drawingRule("L")}, true, false, false},
        StartCase{
            "NoDrawingRule", "ctrl+opt", {rule(hotkey(1, ctrl | opt), "K")}, true, false, false},
        StartCase{"OnlyADisabledDrawingRule",
                  "ctrl+opt",
                  {drawingRule("L", std::nullopt, false)},
                  true,
                  false,
                  false},
        StartCase{"ScopedElsewhereStillStarts",
                  "ctrl+opt",
                  {drawingRule("L", "editor")},
                  true,
                  false,
                  true},
        StartCase{"EngineOff", "ctrl+opt", {drawingRule("L")}, false, false, false},
        StartCase{"Recording", "ctrl+opt", {drawingRule("L")}, true, true, false}),
    [](const auto& info) { return info.param.name; });

TEST(DrawingCapture, DrawModifiersComeFromTheConfiguration) {
    Config config = configWith({drawingRule("L")});
    config.drawMods = Mods(cmd | shift);
    Harness h(config);
    h.play({"flags ctrl+opt 1,1 -> pass", "expect stroke off", "flags cmd+shift 1,1 -> pass",
            "expect stroke on"});
}

TEST(DrawingCapture, JitterOfThreePointsOrLessAddsNothing) {
    Harness h(configWith({drawingRule("L")}));
    h.play({"flags ctrl+opt 100,100 -> pass", "move 102,102 -> pass", "move 103,100 -> pass",
            "move 100,97 -> pass"});
    EXPECT_TRUE(h.strokeOverlay.calls.empty());
    h.play({"move 103.5,100 -> pass", "move 105,100 -> pass"});
    ASSERT_EQ(h.strokeOverlay.calls.size(), 1u);
    EXPECT_EQ(h.strokeOverlay.calls[0], std::pair(Call::addPoint, Point{103.5, 100}));
}

TEST(DrawingCapture, OverlayShownOnlyPastTwelvePointsThenFollowsEveryPoint) {
    Harness h(configWith({drawingRule("L")}));
    h.play({"flags ctrl+opt 100,100 -> pass", "move 104,100 -> pass", "move 108,100 -> pass",
            "move 112,100 -> pass"});
    EXPECT_EQ(h.strokeOverlay.calls.size(), 3u);
    EXPECT_FALSE(h.strokeOverlay.visible) << "a stroke of exactly 12 points is not shown";
    h.strokeOverlay.calls.clear();
    h.play({"move 116,100 -> pass", "move 120,100 -> pass"});
    const std::vector<std::pair<Call, Point>> expected = {
        {Call::begin, {100, 100}},    {Call::addPoint, {104, 100}}, {Call::addPoint, {108, 100}},
        {Call::addPoint, {112, 100}}, {Call::addPoint, {116, 100}}, {Call::addPoint, {120, 100}}};
    EXPECT_EQ(h.strokeOverlay.calls, expected);
}

TEST(DrawingCapture, KeyDownCancelsWithoutFiringEvenAfterRelease) {
    Harness h(configWith({drawingRule("L")}));
    trace(h, lShape());
    h.play({"keyDown 12 ctrl+opt -> pass", "expect stroke off", "move 500,500 -> pass",
            "flags none -> pass", "expect ran"});
    EXPECT_FALSE(h.strokeOverlay.visible);
}

TEST(DrawingCapture, OwnMarkedKeyDoesNotCancel) {
    Harness h(configWith({drawingRule("L")}));
    trace(h, lShape());
    h.play({"keyDown 12 marked -> pass", "expect stroke on", "flags none -> pass", "expect ran L"});
}

TEST(DrawingCapture, AddingShiftFinishesLikeReleasing) {
    Harness h(configWith({drawingRule("L")}));
    trace(h, lShape());
    h.play({"flags ctrl+opt+caps -> pass", "expect stroke on", "flags ctrl+opt+shift -> pass",
            "expect stroke off", "expect ran L"});
}

TEST(DrawingCapture, ShortStrokeIsHandedToTheMatcherAndFiresNothing) {
    Harness h(configWith({drawingRule("L")}));
    trace(h, lShape(0.15, 100, 100));
    h.play({"flags none -> pass", "expect ran"});
}

TEST(DrawingCapture, ScopeDecidesAtFinish) {
    Harness h(configWith({drawingRule("L", "editor")}));
    h.step("front browser");
    trace(h, lShape());
    h.play({"flags none -> pass", "expect ran", "front editor"});
    trace(h, lShape());
    h.play({"flags none -> pass", "expect ran L"});
}

TEST(DrawingCapture, ShapeDrawnBackwardsMatchesNothing) {
    Harness h(configWith({drawingRule("L")}));
    std::vector<Pt> backwards = lShape();
    std::reverse(backwards.begin(), backwards.end());
    trace(h, backwards);
    h.play({"flags none -> pass", "expect ran"});
}

TEST(DrawingCapture, DrawingListsEnabledDrawingRulesInOrder) {
    Drawing other{"other", ShapeMatcher::normalize(lShape(1, 0, 0))};
    other.points.front().x += 0.01;
    Harness h(configWith({rule(Trigger::drawing(other), "O", "editor"), rule(hotkey(1, 0), "K"),
                          drawingRule("L", std::nullopt, false), drawingRule("L2")}));
    const std::vector<Drawing> drawings = h.engine.drawings();
    ASSERT_EQ(drawings.size(), 2u);
    EXPECT_EQ(drawings[0].name, "other");
    EXPECT_EQ(drawings[1], lDrawing());
}

}  // namespace
}  // namespace ombrel::test
