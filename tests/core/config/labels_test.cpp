// Display labels, raw values, the starter set and value equality with hashing.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>

#include "config/model.h"

namespace ombrel {
namespace {

using K = TrackpadGesture::Kind;

// Each text of the list, followed by a comma.
template <class Range, class F>
std::string joined(const Range& values, F&& text) {
    std::string out;
    for (const auto& value : values) {
        out += std::string(text(value)) + ",";
    }
    return out;
}

TEST(Labels, OfTriggersAndActions) {
    // The key table is irregular: gaps, function keys out of order, glyphs.
    EXPECT_EQ(joined(std::to_array<int64_t>({10, 52, 102, 127, -3, 0, 36, 99, 118, 121, 117, 53}),
                     keyName),
              "Key 10,Key 52,Key 102,Key 127,Key -3,A,↩,F3,F4,Page Down,⌦,⎋,");
    const auto threeFingers = [](K kind) { return TrackpadGesture{kind, 3}.label(); };
    EXPECT_EQ(joined(TrackpadGesture::allKinds, threeFingers),
              "3-finger tap,3-finger swipe up,3-finger swipe down,3-finger swipe left,"
              "3-finger swipe right,3-finger click,Tip-tap left,Tip-tap right,");
    // The last one is computed without signed overflow.
    EXPECT_EQ(joined(std::to_array<int64_t>({0, 2, 3, 4, 5, std::numeric_limits<int64_t>::max()}),
                     mouseButtonLabel),
              "Button 1,Middle button,Button 4 (back),Button 5 (forward),Button 6,"
              "Button 9223372036854775808,");
    const std::pair<std::string, std::string> cases[] = {
        // Glyphs always in the order ⌃ ⌥ ⇧ ⌘; bits beyond the four show nothing.
        {Trigger::hotkey({49, Mods(15)}).label(), "⌃⌥⇧⌘Space"},
        {Trigger::hotkey({1, Mods(9 + 16)}).label(), "⇧⌘S"},
        {Trigger::drawing({"", {{0, 0}}}).label(), "Drawing"},
        {Trigger::drawing({"Zorro", {}}).label(), "Zorro"},
        {Action::window(WindowAction::nextDisplay).label(), "Window: Move to next display"},
        {Action::system(SystemAction::playPause).label(), "Play / pause"},
        {Action::keystroke({42, Mods(8)}).label(), "Press ⇧\\"},
        {Action::launchApp("/Applications/Editor.app/").label(), "Open Editor"},
        {Action::launchApp("/usr/share/applications/org.gnome.Calc.desktop").label(),
         "Open org.gnome.Calc"},
        {Action::launchApp("/usr/bin/firefox").label(), "Open firefox"},
        {Action::openURL("example.com").label(), "Open example.com"},
        {Action::shell("open ~/Downloads").label(), "Run: open ~/Downloads"}};
    for (const auto& [label, expected] : cases) {
        EXPECT_EQ(label, expected);
    }
}

// Raw values are the file format and labels are shown as they are, so both are pinned whole.
TEST(Labels, EnumerationsRawValuesAndLabels) {
    const auto raw = [](auto v) { return rawValue(v); };
    const auto shown = [](auto v) { return label(v); };
    EXPECT_EQ(joined(allWindowActions, raw),
              "leftHalf,rightHalf,topHalf,bottomHalf,topLeft,topRight,bottomLeft,bottomRight,"
              "leftThird,centerThird,rightThird,leftTwoThirds,rightTwoThirds,maximize,center,"
              "nextDisplay,");
    EXPECT_EQ(joined(allWindowActions, shown),
              "Left half,Right half,Top half,Bottom half,Top-left quarter,Top-right quarter,"
              "Bottom-left quarter,Bottom-right quarter,Left third,Center third,Right third,"
              "Left two thirds,Right two thirds,Maximize,Center,Move to next display,");
    EXPECT_EQ(joined(allSystemActions, raw),
              "missionControl,appWindows,showDesktop,lockScreen,sleepDisplay,playPause,nextTrack,"
              "previousTrack,volumeUp,volumeDown,mute,middleClick,");
    EXPECT_EQ(joined(allSystemActions, shown),
              "Mission Control,Show app windows,Show desktop,Lock screen,Sleep display,"
              "Play / pause,Next track,Previous track,Volume up,Volume down,Mute,Middle click,");
    EXPECT_EQ(joined(TrackpadGesture::allKinds, raw),
              "tap,swipeUp,swipeDown,swipeLeft,swipeRight,click,tipTapLeft,tipTapRight,");
    EXPECT_EQ(joined(Action::allKinds, raw), "window,system,keystroke,launchApp,openURL,shell,");
    for (Action::Kind k : Action::allKinds) {
        EXPECT_EQ(actionKindFromRaw(rawValue(k)), k);
    }
    for (const char* unknown : {"", "LeftHalf", "leftHalf ", "Tap"}) {
        EXPECT_FALSE(windowActionFromRaw(unknown) || systemActionFromRaw(unknown) ||
                     gestureKindFromRaw(unknown) || actionKindFromRaw(unknown))
            << unknown;
    }
}

TEST(Starter, TenRulesWithFreshIds) {
    const Config starter = Config::starter();
    EXPECT_TRUE(starter.engineEnabled && starter.snapEnabled);
    EXPECT_EQ(starter.drawMods, Mods(6));
    std::string listed;
    std::set<Uuid> ids;
    for (const Rule& rule : starter.bindings) {
        listed += rule.trigger.label() + " " + rule.action.label() + (rule.enabled ? "" : " off") +
                  (rule.appBundleID ? " scoped" : "") + "|";
        ids.insert(rule.id);
    }
    EXPECT_EQ(listed,
              "⌃⌥← Window: Left half|⌃⌥→ Window: Right half|⌃⌥↑ Window: Top half|"
              "⌃⌥↓ Window: Bottom half|⌃⌥↩ Window: Maximize|⌃⌥C Window: Center|"
              "3-finger tap Middle click|4-finger tap Window: Maximize|5-finger tap Play / pause|"
              "Button 4 (back) Mission Control off|");
    EXPECT_EQ(ids.size(), 10U);
    EXPECT_NE(Config::starter().bindings[0].id, starter.bindings[0].id);
}

// +0 and -0 are equal, so they must land in the same bucket.
TEST(Equality, EqualTriggersHashAlike) {
    const Trigger a = Trigger::drawing({"L", {{0, 0}, {0, 1}}});
    const Trigger negativeZero = Trigger::drawing({"L", {{-0.0, 0}, {0, 1}}});
    EXPECT_EQ(a, negativeZero);
    EXPECT_EQ(std::hash<Trigger>{}(a), std::hash<Trigger>{}(negativeZero));
    const std::unordered_set<Trigger> set = {Trigger::mouseButton(3), Trigger::mouseButton(3),
                                             Trigger::hotkey({3, Mods(0)}), a, negativeZero};
    EXPECT_EQ(set.size(), 3U);
}

}  // namespace
}  // namespace ombrel
