// Event decisions of the engine: which events are swallowed and which rules fire, as scripts of
// events in and verdicts and actions out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_harness.h"

namespace ombrel::test {
namespace {

constexpr int64_t keyK = 40;

struct Scenario {
    std::string name;
    std::vector<Rule> rules;
    std::vector<std::string> script;
};

class KeyAndButtonScenarios : public ::testing::TestWithParam<Scenario> {};

TEST_P(KeyAndButtonScenarios, Play) {
    Harness h(configWith(GetParam().rules));
    for (const std::string& line : GetParam().script) {
        SCOPED_TRACE("script line: " + line);
        h.step(line);
    }
}

std::vector<Scenario> keyAndButtonScenarios() {
    return {
        {"ScopedRuleInScopeFiresOnce",
         {rule(hotkey(keyK, cmd), "A", "editor")},
         {"front editor", "keyDown 40 cmd -> swallow", "expect ran A"}},
        {"ScopedRuleOutsideScopePasses",
         {rule(hotkey(keyK, cmd), "A", "editor")},
         {"front browser", "keyDown 40 cmd -> pass", "expect ran"}},
        {"ScopedRuleWithNoFrontmostAppPasses",
         {rule(hotkey(keyK, cmd), "A", "editor")},
         {"front none", "keyDown 40 cmd -> pass", "expect ran"}},
        {"ScopedBeatsUnscopedListedFirst",
         {rule(hotkey(keyK, cmd), "U"), rule(hotkey(keyK, cmd), "S", "editor")},
         {"front editor", "keyDown 40 cmd -> swallow", "front browser", "keyDown 40 cmd -> swallow",
          "expect ran S U"}},
        {"ScopeComparesExactly",
         {rule(hotkey(keyK, cmd), "S", "editor")},
         {"front Editor", "keyDown 40 cmd -> pass", "front editor2", "keyDown 40 cmd -> pass",
          "expect ran"}},
        {"EarlierBeatsLater",
         {rule(hotkey(keyK, cmd), "A"), rule(hotkey(keyK, cmd), "B")},
         {"keyDown 40 cmd -> swallow", "expect ran A"}},
        {"DisabledNeverMatches",
         {rule(hotkey(keyK, cmd), "A", std::nullopt, false)},
         {"keyDown 40 cmd -> pass", "keyDown 40 cmd repeat -> pass", "expect ran"}},
        {"DisabledScopedRuleGivesWayToUnscoped",
         {rule(hotkey(keyK, cmd), "S", "editor", false), rule(hotkey(keyK, cmd), "U")},
         {"front editor", "keyDown 40 cmd -> swallow", "expect ran U"}},
        {"WholeModifierSetIsCompared",
         {rule(hotkey(keyK, cmd), "K"), rule(hotkey(keyK, cmd | shift), "SK")},
         {"keyDown 40 cmd+shift -> swallow", "keyDown 40 cmd -> swallow", "keyDown 40 none -> pass",
          "keyDown 40 cmd+opt -> pass", "expect ran SK K"}},
        {"CommandKDoesNotFireOnCommandShiftK",
         {rule(hotkey(keyK, cmd), "K")},
         {"keyDown 40 cmd+shift -> pass", "keyDown 41 cmd -> pass", "expect ran"}},
        {"CapsLockFunctionAndNumericPadFlagsIgnored",
         {rule(hotkey(keyK, cmd), "K")},
         {"keyDown 40 cmd+caps -> swallow", "keyDown 40 cmd+fn+numpad -> swallow",
          "keyDown 40 caps -> pass", "expect ran K K"}},
        {"AutoRepeatSwallowedWithoutFiring",
         {rule(hotkey(keyK, cmd), "K")},
         {"keyDown 40 cmd -> swallow", "keyDown 40 cmd repeat -> swallow",
          "keyDown 40 cmd repeat -> swallow", "expect ran K"}},
        {"AutoRepeatOfUnboundComboPasses",
         {rule(hotkey(keyK, cmd), "K")},
         {"keyDown 40 cmd+shift repeat -> pass", "expect ran"}},
        {"AutoRepeatOutsideScopePasses",
         {rule(hotkey(keyK, cmd), "K", "editor")},
         {"front browser", "keyDown 40 cmd repeat -> pass", "front editor",
          "keyDown 40 cmd repeat -> swallow", "expect ran"}},
        {"OwnMarkedKeysPassUnmatched",
         {rule(hotkey(keyK, cmd), "K")},
         {"keyDown 40 cmd marked -> pass", "keyDown 40 cmd marked repeat -> pass", "expect ran"}},
        {"MiddleButtonDownAndUpSwallowedOtherButtonPasses",
         {rule(Trigger::mouseButton(2), "M")},
         {"otherDown 2 -> swallow", "otherDown 3 -> pass", "otherUp 3 -> pass",
          "otherUp 2 -> swallow", "otherUp 2 -> pass", "expect ran M"}},
        {"ReleaseOfButtonThatNeverFiredPasses",
         {rule(Trigger::mouseButton(3), "B")},
         {"otherUp 3 -> pass", "otherDown 4 -> pass", "otherUp 4 -> pass", "expect ran"}},
        {"MarkedButtonPressPassesAndSoDoesItsRelease",
         {rule(Trigger::mouseButton(2), "M")},
         {"otherDown 2 marked -> pass", "otherUp 2 -> pass", "expect ran"}},
        {"ButtonRuleScopedElsewherePasses",
         {rule(Trigger::mouseButton(3), "B", "editor")},
         {"front browser", "otherDown 3 -> pass", "otherUp 3 -> pass", "expect ran"}},
        {"KeyUpIsNotTappedSoOnlyPseudoEventsAndOthersPass",
         {rule(hotkey(keyK, cmd), "K")},
         {"tapTimeout -> pass", "tapUserInput -> pass", "move 10,10 -> pass", "expect ran"}},
    };
}

INSTANTIATE_TEST_SUITE_P(Engine, KeyAndButtonScenarios,
                         ::testing::ValuesIn(keyAndButtonScenarios()),
                         [](const auto& info) { return info.param.name; });

TEST(EngineDispatch, ActionRunsOnlyAfterTheVerdict) {
    Harness h(configWith({rule(hotkey(keyK, cmd), "K")}));
    EXPECT_TRUE(h.tap.deliver(*parseEvent("keyDown 40 cmd")));
    EXPECT_TRUE(h.ran().empty());
    EXPECT_EQ(h.queue.pendingCount(), 1u);
    h.queue.runDue();
    EXPECT_EQ(h.ran(), std::vector<std::string>{"K"});
}

TEST(EngineDispatch, ShortcutMovesTheFocusedWindowOnlyInScope) {
    Config config;
    config.bindings = {Rule::make(hotkey(123, ctrl | opt), Action::window(WindowAction::leftHalf),
                                  "editor", true)};
    Harness h(config);
    h.windowSystem.open(1, {300, 300, 400, 300});
    h.play({"front browser", "keyDown 123 ctrl+opt -> pass", "wait 0.1",
            "expect frame 1 300,300,400,300", "front editor", "keyDown 123 ctrl+opt -> swallow",
            "wait 0.1", "expect frame 1 0,25,720,875"});
}

TEST(EngineDispatch, OwnKeystrokeActionPassesBackThroughTheTap) {
    // A keystroke action whose keystroke is itself bound must not loop.
    Config config;
    config.bindings = {Rule::make(hotkey(keyK, cmd), Action::keystroke(KeyCombo{keyK, Mods(cmd)}),
                                  std::nullopt, true)};
    Harness h(config);
    EXPECT_TRUE(h.tap.deliver(*parseEvent("keyDown 40 cmd")));
    h.queue.runDue();
    ASSERT_EQ(h.poster.posted.size(), 2u);
    for (const auto& posted : h.poster.posted) {
        if (!posted.down) {
            continue;  // key-ups are not tapped
        }
        InputEvent again;
        again.type = EventType::keyDown;
        again.keyCode = posted.code;
        again.flags = posted.flags;
        again.sourceUserData = posted.userData;
        EXPECT_FALSE(h.tap.deliver(again));
    }
    h.queue.runDue();
    EXPECT_EQ(h.poster.posted.size(), 2u);
}

TEST(EngineDispatch, RecordingFiresNothingAndLetsEveryKeyThrough) {
    Config config = configWith(
        {rule(hotkey(keyK, cmd), "K"), rule(Trigger::mouseButton(2), "M"), rule(tap(3), "T")});
    Harness h(config);
    h.engine.setRecording(true);
    EXPECT_TRUE(h.engine.recording());
    h.play({"keyDown 40 cmd -> pass", "keyDown 40 cmd repeat -> pass", "otherDown 2 -> pass",
            "otherUp 2 -> pass", "fingers 3", "wait 0.05", "fingers 0", "expect ran"});
    h.engine.setRecording(false);
    h.play({"keyDown 40 cmd -> swallow", "expect ran K"});
}

TEST(EngineDispatch, DisabledEngineFiresNothingButFinishesEarlierBookkeeping) {
    Harness h(configWith(
        {rule(hotkey(keyK, cmd), "K"), rule(Trigger::mouseButton(2), "M"), rule(click(3), "C")}));
    h.play({"otherDown 2 -> swallow", "fingers 3", "leftDown 10,10 -> swallow", "expect ran M C"});
    h.setConfig([](Config& c) { c.engineEnabled = false; });
    h.play({"otherUp 2 -> swallow", "drag 30,30 -> swallow", "leftUp 30,30 -> swallow",
            "otherDown 2 -> pass", "otherUp 2 -> pass", "leftDown 10,10 -> pass",
            "leftUp 10,10 -> pass", "keyDown 40 cmd -> pass", "keyDown 40 cmd repeat -> pass",
            "fingers 0", "expect ran M C"});
}

TEST(EngineDispatch, ConfigChangeTakesEffectAtTheNextEvent) {
    Harness h(configWith({}));
    h.play({"keyDown 40 cmd -> pass"});
    h.setConfig([](Config& c) { c.bindings.push_back(rule(hotkey(keyK, cmd), "K")); });
    h.play({"keyDown 40 cmd -> swallow", "expect ran K"});
}

TEST(EngineDispatch, PseudoEventsReenableTheTap) {
    Harness h(configWith({}));
    h.play({"tapTimeout -> pass", "tapUserInput -> pass"});
    EXPECT_EQ(h.tap.reenableCalls, 2);
}

// Three or more fingers resting on the pad turn a left click into a trackpad click trigger.
TEST(EngineTrackpadClick, HandledClickSwallowsPressDragsAndReleaseAndSuppressesTheTap) {
    Harness h(configWith({rule(click(3), "C"), rule(tap(3), "T")}));
    h.play({"fingers 3", "leftDown 100,100 -> swallow", "expect drag idle",
            "drag 150,150 -> swallow", "drag 300,300 -> swallow", "leftUp 300,300 -> swallow",
            "leftUp 300,300 -> pass", "wait 0.05", "fingers 0", "expect ran C"});
}

TEST(EngineTrackpadClick, ClickWithoutRuleBehavesNormallyAndArmsTheDrag) {
    Harness h(configWith({rule(click(4), "C4"), rule(tap(3), "T")}));
    h.play({"fingers 3", "leftDown 100,100 -> pass", "expect drag armed", "leftUp 100,100 -> pass",
            "wait 0.05", "fingers 0", "expect ran T"});
}

TEST(EngineTrackpadClick, TwoFingersNeverMakeAClick) {
    Harness h(configWith({rule(click(2), "C2")}));
    h.play({"fingers 2", "leftDown 100,100 -> pass", "leftUp 100,100 -> pass", "expect ran"});
}

TEST(EngineTrackpadClick, ClickClearsAPendingTipTap) {
    Harness h(configWith({rule(click(3), "C")}));
    h.fingers(3);
    h.monitor.recognizer().tip = GestureRecognizer::Tip{0, {0.5f, 0.5f}, {0.3f, 0.5f}};
    h.play({"leftDown 100,100 -> swallow"});
    EXPECT_TRUE(h.monitor.recognizer().fired);
    EXPECT_FALSE(h.monitor.recognizer().tip.has_value());
}

TEST(EngineTrackpadGestures, RecognisedGestureFiresItsRule) {
    Harness h(configWith({rule(tap(3), "T3"), rule(tap(4), "T4", "editor")}));
    h.play({"front browser", "fingers 3", "wait 0.05", "fingers 0", "fingers 4", "wait 0.05",
            "fingers 0", "front editor", "fingers 4", "wait 0.05", "fingers 0",
            "expect ran T3 T4"});
}

// The permission is polled every 2 seconds; the tap is installed once, the first time it is there.
TEST(EnginePermission, PollInstallsTheTapOnceWhenTrustArrives) {
    Harness h(configWith({}), /*trusted=*/false);
    int notified = 0;
    const Subscription sub = h.engine.observeState([&] { ++notified; });
    EXPECT_FALSE(h.engine.trusted());
    EXPECT_FALSE(h.engine.tapInstalled());
    EXPECT_EQ(h.tap.installCalls, 0);
    EXPECT_EQ(h.queue.timerCount(), 1u);

    h.tap.isTrusted = true;
    h.queue.advance(1.9);
    EXPECT_FALSE(h.engine.trusted());
    h.queue.advance(0.1);
    EXPECT_TRUE(h.engine.trusted());
    EXPECT_TRUE(h.engine.tapInstalled());
    EXPECT_EQ(h.tap.installCalls, 1);
    EXPECT_EQ(notified, 2);  // trusted, then tapInstalled

    h.queue.advance(10);
    EXPECT_EQ(h.tap.installCalls, 1);
    EXPECT_EQ(notified, 2);

    // Losing the permission is reported; the tap stays.
    h.tap.isTrusted = false;
    h.queue.advance(2);
    EXPECT_FALSE(h.engine.trusted());
    EXPECT_TRUE(h.engine.tapInstalled());
    EXPECT_EQ(notified, 3);
    h.tap.isTrusted = true;
    h.queue.advance(2);
    EXPECT_EQ(h.tap.installCalls, 1);
}

TEST(EnginePermission, FailedInstallIsRetriedAtTheNextTick) {
    Harness h(configWith({}), /*trusted=*/false);
    fake::FakeEventTap* tapOf = &h.tap;
    tapOf->isTrusted = true;
    tapOf->installFails = true;
    h.queue.advance(2);
    EXPECT_EQ(tapOf->installCalls, 1);
    EXPECT_FALSE(h.engine.tapInstalled());
    h.queue.advance(2);
    EXPECT_EQ(tapOf->installCalls, 2);
    tapOf->installFails = false;
    h.queue.advance(2);
    EXPECT_EQ(tapOf->installCalls, 3);
    EXPECT_TRUE(h.engine.tapInstalled());
    h.queue.advance(4);
    EXPECT_EQ(tapOf->installCalls, 3);
}

TEST(EnginePermission, TrustedAtStartInstallsAtOnceAndStartTwiceChangesNothing) {
    Harness h(configWith({}));
    EXPECT_TRUE(h.engine.tapInstalled());
    h.engine.start();
    EXPECT_EQ(h.tap.installCalls, 1);
    EXPECT_EQ(h.queue.timerCount(), 1u);
    EXPECT_EQ(h.touch.started.size(), 1u);
}

TEST(EnginePermission, GesturesFireWithoutTheTap) {
    Harness h(configWith({rule(tap(3), "T")}), /*trusted=*/false);
    h.play({"fingers 3", "wait 0.05", "fingers 0", "expect ran T"});
}

// What the tap is told to grab follows the bindings, the fingers on the pad and the engine state.
TEST(EngineGrabs, FollowBindingsFingersAndState) {
    Harness h(configWith({rule(hotkey(keyK, cmd), "K"), rule(hotkey(keyK, cmd), "K again"),
                          rule(hotkey(12, ctrl), "Q", std::nullopt, false),
                          rule(Trigger::mouseButton(3), "B"), rule(click(3), "C")}));
    ASSERT_FALSE(h.tap.grabs.empty());
    GrabRequest expected;
    expected.hotkeys = {KeyCombo{keyK, Mods(cmd)}};
    expected.buttons = {3};
    EXPECT_EQ(h.tap.grabs.back(), expected);
    const auto sent = h.tap.grabs.size();

    h.fingers(2);
    EXPECT_EQ(h.tap.grabs.size(), sent) << "nothing changed, nothing sent";
    h.fingers(3);
    expected.leftPress = true;
    EXPECT_EQ(h.tap.grabs.back(), expected);
    h.fingers(4);
    expected.leftPress = false;  // no click rule for four fingers
    EXPECT_EQ(h.tap.grabs.back(), expected);
    h.fingers(0);

    h.play({"leftDown 10,10 -> pass"});
    expected.pointerMotion = true;
    EXPECT_EQ(h.tap.grabs.back(), expected);
    h.play({"leftUp 10,10 -> pass"});
    expected.pointerMotion = false;
    EXPECT_EQ(h.tap.grabs.back(), expected);

    h.engine.setRecording(true);
    EXPECT_EQ(h.tap.grabs.back(), GrabRequest{});
    h.engine.setRecording(false);
    EXPECT_EQ(h.tap.grabs.back(), expected);

    h.setConfig([](Config& c) { c.bindings.push_back(rule(hotkey(1, shift), "S")); });
    expected.hotkeys = {KeyCombo{1, Mods(shift)}, KeyCombo{keyK, Mods(cmd)}};
    EXPECT_EQ(h.tap.grabs.back(), expected);
    const auto afterAdd = h.tap.grabs.size();
    h.setConfig([](Config& c) { c.snapEnabled = false; });
    EXPECT_EQ(h.tap.grabs.size(), afterAdd) << "same request is not sent again";

    h.setConfig([](Config& c) { c.engineEnabled = false; });
    EXPECT_EQ(h.tap.grabs.back(), GrabRequest{});
}

TEST(EngineGrabs, SentAgainWhenTheTapIsInstalled) {
    Harness h(configWith({rule(hotkey(keyK, cmd), "K")}), /*trusted=*/false);
    const auto before = h.tap.grabs.size();
    h.tap.isTrusted = true;
    h.queue.advance(2);
    ASSERT_EQ(h.tap.grabs.size(), before + 1);
    EXPECT_EQ(h.tap.grabs.back().hotkeys, (std::vector<KeyCombo>{KeyCombo{keyK, Mods(cmd)}}));
}

}  // namespace
}  // namespace ombrel::test
