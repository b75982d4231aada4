// Event decisions of the engine: which events are swallowed and which rules fire, as scripts of
// events in and verdicts and actions out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_harness.h"

namespace ombrel::test {
namespace {

using Kind = TrackpadGesture::Kind;
constexpr int64_t keyK = 40;

class Decisions : public ::testing::TestWithParam<Scenario> {};

TEST_P(Decisions, Play) {
    Harness h(configWith(GetParam().rules));
    h.play(GetParam().script);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, Decisions,
    ::testing::Values(
        Scenario{"ShortcutMovesTheWindowOnlyInsideItsScope",
                 {Rule::make(hotkey(123, ctrl | opt), Action::window(WindowAction::leftHalf),
                             "editor", true)},
                 {"front browser", "keyDown 123 ctrl+opt -> pass", "wait 0.1",
                  "expect frame 1 300,300,400,300", "front none", "keyDown 123 ctrl+opt -> pass",
                  "front editor", "keyDown 123 ctrl+opt -> swallow", "wait 0.1",
                  "expect frame 1 0,25,720,875"}},
        Scenario{"ScopedBeatsUnscopedListedFirst",
                 {rule(hotkey(keyK, cmd), "U"), rule(hotkey(keyK, cmd), "S", "editor")},
                 {"front editor", "keyDown 40 cmd -> swallow", "front browser",
                  "keyDown 40 cmd -> swallow", "expect ran S U"}},
        Scenario{"EarlierBeatsLaterAndDisabledNeverMatches",
                 {rule(hotkey(keyK, cmd), "off", std::nullopt, false), rule(hotkey(keyK, cmd), "A"),
                  rule(hotkey(keyK, cmd), "B"), rule(hotkey(1, cmd), "off", std::nullopt, false)},
                 {"keyDown 40 cmd -> swallow", "keyDown 1 cmd -> pass",
                  "keyDown 1 cmd repeat -> pass", "expect ran A"}},
        Scenario{"WholeModifierSetIsCompared",
                 {rule(hotkey(keyK, cmd), "K"), rule(hotkey(keyK, cmd | shift), "SK")},
                 {"keyDown 40 cmd+shift -> swallow", "keyDown 40 cmd -> swallow",
                  "keyDown 40 cmd+opt -> pass", "keyDown 40 none -> pass", "expect ran SK K"}},
        Scenario{"CapsLockFunctionAndNumericPadFlagsIgnored",
                 {rule(hotkey(keyK, cmd), "K")},
                 {"keyDown 40 cmd+caps -> swallow", "keyDown 40 cmd+fn+numpad -> swallow",
                  "keyDown 40 caps -> pass", "expect ran K K"}},
        Scenario{"AutoRepeatSwallowedWithoutFiringWhereTheRuleApplies",
                 {rule(hotkey(keyK, cmd), "K", "editor")},
                 {"front editor", "keyDown 40 cmd -> swallow", "keyDown 40 cmd repeat -> swallow",
                  "keyDown 40 cmd repeat -> swallow", "keyDown 41 cmd repeat -> pass",
                  "front browser", "keyDown 40 cmd repeat -> pass", "expect ran K"}},
        Scenario{"OwnMarkedEventsPassUnmatched",
                 {rule(hotkey(keyK, cmd), "K"), rule(Trigger::mouseButton(2), "M")},
                 {"keyDown 40 cmd marked -> pass", "keyDown 40 cmd marked repeat -> pass",
                  "otherDown 2 marked -> pass", "otherUp 2 -> pass", "expect ran"}},
        Scenario{"ButtonReleaseSwallowedOnlyAfterItsPressFired",
                 {rule(Trigger::mouseButton(2), "M"), rule(Trigger::mouseButton(3), "B", "editor")},
                 {"otherDown 2 -> swallow", "otherDown 4 -> pass", "otherUp 4 -> pass",
                  "otherUp 2 -> swallow", "otherUp 2 -> pass", "otherDown 3 -> pass",
                  "otherUp 3 -> pass", "expect ran M"}},
        Scenario{"RecordingFiresNothingAndPassesEverything",
                 {rule(hotkey(keyK, cmd), "K"), rule(Trigger::mouseButton(2), "M"),
                  rule(gesture(Kind::tap, 3), "T"), rule(gesture(Kind::click, 3), "C")},
                 {"record on", "keyDown 40 cmd -> pass", "keyDown 40 cmd repeat -> pass",
                  "otherDown 2 -> pass", "otherUp 2 -> pass", "fingers 3", "leftDown 9,9 -> pass",
                  "leftUp 9,9 -> pass", "wait 0.05", "fingers 0", "record off",
                  "keyDown 40 cmd -> swallow", "expect ran K"}},
        Scenario{"EngineOffFiresNothingButEarlierPressesKeepTheirReleases",
                 {rule(hotkey(keyK, cmd), "K"), rule(Trigger::mouseButton(2), "M"),
                  rule(gesture(Kind::click, 3), "C")},
                 {"otherDown 2 -> swallow", "fingers 3", "leftDown 10,10 -> swallow",
                  "config engine off", "otherUp 2 -> swallow", "drag 30,30 -> swallow",
                  "leftUp 30,30 -> swallow", "otherDown 2 -> pass", "otherUp 2 -> pass",
                  "leftDown 10,10 -> pass", "leftUp 10,10 -> pass", "keyDown 40 cmd -> pass",
                  "keyDown 40 cmd repeat -> pass", "expect ran M C"}},
        Scenario{"ThreeFingerClickSwallowsPressDragsReleaseAndTheTap",
                 {rule(gesture(Kind::click, 3), "C"), rule(gesture(Kind::tap, 3), "T")},
                 {"leftDown 5,5 -> pass", "expect drag armed", "fingers 3",
                  "leftDown 100,100 -> swallow", "expect drag idle", "drag 150,150 -> swallow",
                  "leftUp 150,150 -> swallow", "leftUp 150,150 -> pass", "wait 0.05", "fingers 0",
                  "expect ran C"}},
        Scenario{
            "ClickWithoutRuleForThatCountBehavesNormally",
            {rule(gesture(Kind::click, 4), "C4"), rule(gesture(Kind::click, 2), "C2"),
             rule(gesture(Kind::tap, 3), "T")},
            {"fingers 3", "leftDown 100,100 -> pass", "expect drag armed", "leftUp 100,100 -> pass",
             "wait 0.05", "fingers 0", "fingers 2", "leftDown 100,100 -> pass", "expect ran T"}},
        Scenario{"GesturesFireTheirRulesByScope",
                 {rule(gesture(Kind::tap, 3), "T3"), rule(gesture(Kind::tap, 4), "T4", "editor")},
                 {"front browser", "fingers 3", "wait 0.05", "fingers 0", "fingers 4", "wait 0.05",
                  "fingers 0", "front editor", "fingers 4", "wait 0.05", "fingers 0",
                  "expect ran T3 T4"}}),
    scenarioName);

TEST(EngineDispatch, ActionRunsOnlyAfterTheVerdict) {
    Harness h(configWith({rule(hotkey(keyK, cmd), "K")}));
    h.play({"keyDown 40 cmd -> swallow"});
    EXPECT_TRUE(h.ran().empty());
    h.play({"expect ran K"});
}

TEST(EngineDispatch, OwnKeystrokeActionPassesBackThroughTheTap) {
    Harness h(configWith(
        {Rule::make(hotkey(keyK, cmd), Action::keystroke({keyK, Mods(cmd)}), std::nullopt, true)}));
    h.play({"keyDown 40 cmd -> swallow", "wait 0"});
    ASSERT_EQ(h.poster.posted.size(), 2u);
    InputEvent again{EventType::keyDown,
                     h.poster.posted[0].code,
                     h.poster.posted[0].flags,
                     false,
                     0,
                     h.poster.posted[0].userData,
                     {}};
    EXPECT_FALSE(h.tap.deliver(again));
    h.queue.runDue();
    EXPECT_EQ(h.poster.posted.size(), 2u);
}

TEST(EngineDispatch, ClickClearsAPendingTipTapAndPseudoEventsReenableTheTap) {
    Harness h(configWith({rule(gesture(Kind::click, 3), "C")}));
    h.play({"fingers 3"});
    h.monitor.recognizer().tip = GestureRecognizer::Tip{0, {0.5f, 0.5f}, {0.3f, 0.5f}};
    h.play({"leftDown 1,1 -> swallow", "tapTimeout -> pass", "tapUserInput -> pass"});
    EXPECT_TRUE(h.monitor.recognizer().fired);
    EXPECT_FALSE(h.monitor.recognizer().tip.has_value());
    EXPECT_EQ(h.tap.reenableCalls, 2);
}

// The permission is polled every 2 seconds; the tap is installed once, the first time it is there.
TEST(EnginePermission, PollInstallsTheTapOnceRetryingFailures) {
    Harness h(configWith({rule(gesture(Kind::tap, 3), "T")}), /*trusted=*/false);
    int notified = 0;
    const Subscription sub = h.engine.observeState([&] { ++notified; });
    h.play({"fingers 3", "wait 0.05", "fingers 0", "expect ran T"});  // no tap needed
    EXPECT_EQ(h.queue.timerCount(), 1u);

    h.tap.isTrusted = true;
    h.tap.installFails = true;
    h.queue.advance(1.9);
    EXPECT_FALSE(h.engine.trusted());
    h.queue.advance(0.1);
    EXPECT_TRUE(h.engine.trusted());
    EXPECT_FALSE(h.engine.tapInstalled());
    h.tap.installFails = false;
    h.queue.advance(2);
    EXPECT_TRUE(h.engine.tapInstalled());
    h.queue.advance(10);
    EXPECT_EQ(h.tap.installCalls, 2);
    EXPECT_EQ(notified, 2);  // trusted, then tapInstalled

    // Losing the permission is reported; the tap stays.
    h.tap.isTrusted = false;
    h.queue.advance(2);
    EXPECT_FALSE(h.engine.trusted());
    EXPECT_TRUE(h.engine.tapInstalled());
    EXPECT_EQ(notified, 3);
    h.engine.start();
    EXPECT_EQ(h.queue.timerCount(), 1u);
    EXPECT_EQ(h.touch.started.size(), 1u);
}

// What the tap is told to grab follows the bindings, the fingers on the pad and the engine state,
// and is sent only when it changed.
TEST(EngineGrabs, FollowBindingsFingersAndState) {
    Harness h(configWith({rule(hotkey(keyK, cmd), "K"), rule(hotkey(keyK, cmd), "K again"),
                          rule(hotkey(12, ctrl), "Q", std::nullopt, false),
                          rule(Trigger::mouseButton(3), "B"), rule(gesture(Kind::click, 3), "C")}));
    GrabRequest expected{{KeyCombo{keyK, Mods(cmd)}}, {3}, false, false};
    auto expectSent = [&](const std::string& after, std::size_t sends) {
        SCOPED_TRACE(after);
        const auto before = h.tap.grabs.size();
        h.play({after});
        ASSERT_EQ(h.tap.grabs.size(), before + sends);
        EXPECT_EQ(h.tap.grabs.back(), expected);
    };
    EXPECT_EQ(h.tap.grabs.back(), expected);
    expectSent("fingers 2", 0);
    expected.leftPress = true;
    expectSent("fingers 3", 1);
    expected.leftPress = false;  // no click rule for four fingers
    expectSent("fingers 4", 1);
    expected.pointerMotion = true;
    expectSent("leftDown 10,10 -> pass", 1);
    expected.pointerMotion = false;
    expectSent("leftUp 10,10 -> pass", 1);
    const GrabRequest active = expected;
    expected = GrabRequest{};
    expectSent("record on", 1);
    expected = active;
    expectSent("record off", 1);
    expectSent("config snap off", 0);
    expected = GrabRequest{};
    expectSent("config engine off", 1);
}

}  // namespace
}  // namespace ombrel::test
