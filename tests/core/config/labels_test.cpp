// Display labels, raw values, the starter set and value equality with hashing.
#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>

#include "config/model.h"

namespace ombrel {
namespace {

TEST(Labels, OfTriggersAndActions) {
    using K = TrackpadGesture::Kind;
    const std::pair<std::string, std::string> cases[] = {
        // The key table has gaps and glyphs.
        {keyName(0) + keyName(36) + keyName(99), "A↩F3"},
        {keyName(10) + "," + keyName(-3), "Key 10,Key -3"},
        {TrackpadGesture{K::swipeUp, 3}.label(), "3-finger swipe up"},
        {TrackpadGesture{K::tipTapLeft, 2}.label(), "Tip-tap left"},
        // The last one is computed without signed overflow.
        {mouseButtonLabel(0) + "," + mouseButtonLabel(2) + "," +
             mouseButtonLabel(std::numeric_limits<int64_t>::max()),
         "Button 1,Middle button,Button 9223372036854775808"},
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

// Raw values are the file format: each reads back as itself, and nothing else reads.
TEST(Labels, RawValuesRoundTrip) {
    const auto roundTrips = [](const auto& all, auto fromRaw) {
        for (const auto value : all) {
            EXPECT_EQ(fromRaw(rawValue(value)), value) << rawValue(value);
        }
    };
    roundTrips(allWindowActions, windowActionFromRaw);
    roundTrips(allSystemActions, systemActionFromRaw);
    roundTrips(TrackpadGesture::allKinds, gestureKindFromRaw);
    roundTrips(Action::allKinds, actionKindFromRaw);
    EXPECT_EQ(label(WindowAction::topLeft), "Top-left quarter");
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
