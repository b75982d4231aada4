// Display labels, raw values, the key-name table, the starter set and value equality.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "config/model.h"

namespace ombrel {
namespace {

struct ComboCase {
    int64_t keyCode;
    int64_t mods;
    std::string label;
};

class ComboLabel : public testing::TestWithParam<ComboCase> {};

TEST_P(ComboLabel, GlyphsThenKeyName) {
    EXPECT_EQ((KeyCombo{GetParam().keyCode, Mods(GetParam().mods)}.label()), GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(
    Labels, ComboLabel,
    testing::Values(ComboCase{123, 6, "⌃⌥←"}, ComboCase{49, 15, "⌃⌥⇧⌘Space"},
                    ComboCase{10, 0, "Key 10"}, ComboCase{52, 0, "Key 52"},
                    ComboCase{127, 1, "⌘Key 127"}, ComboCase{-3, 0, "Key -3"}, ComboCase{0, 0, "A"},
                    ComboCase{42, 8, "⇧\\"}, ComboCase{50, 4, "⌃`"}, ComboCase{8, 1, "⌘C"},
                    ComboCase{36, 6, "⌃⌥↩"},
                    ComboCase{1, 16, "S"},  // bits beyond the four show nothing
                    ComboCase{1, 9, "⇧⌘S"}, ComboCase{1, 3, "⌥⌘S"}, ComboCase{1, 12, "⌃⇧S"}));

// The whole table as published, so that a transcription slip in any entry shows.
TEST(Labels, KeyNameTableIsComplete) {
    const std::vector<std::pair<int64_t, std::string>> table = {
        {0, "A"},           {1, "S"},     {2, "D"},     {3, "F"},      {4, "H"},
        {5, "G"},           {6, "Z"},     {7, "X"},     {8, "C"},      {9, "V"},
        {11, "B"},          {12, "Q"},    {13, "W"},    {14, "E"},     {15, "R"},
        {16, "Y"},          {17, "T"},    {18, "1"},    {19, "2"},     {20, "3"},
        {21, "4"},          {22, "6"},    {23, "5"},    {24, "="},     {25, "9"},
        {26, "7"},          {27, "-"},    {28, "8"},    {29, "0"},     {30, "]"},
        {31, "O"},          {32, "U"},    {33, "["},    {34, "I"},     {35, "P"},
        {36, "↩"},          {37, "L"},    {38, "J"},    {39, "'"},     {40, "K"},
        {41, ";"},          {42, "\\"},   {43, ","},    {44, "/"},     {45, "N"},
        {46, "M"},          {47, "."},    {48, "⇥"},    {49, "Space"}, {50, "`"},
        {51, "⌫"},          {53, "⎋"},    {96, "F5"},   {97, "F6"},    {98, "F7"},
        {99, "F3"},         {100, "F8"},  {101, "F9"},  {103, "F11"},  {105, "F13"},
        {107, "F14"},       {109, "F10"}, {111, "F12"}, {113, "F15"},  {115, "Home"},
        {116, "Page Up"},   {117, "⌦"},   {118, "F4"},  {119, "End"},  {120, "F2"},
        {121, "Page Down"}, {122, "F1"},  {123, "←"},   {124, "→"},    {125, "↓"},
        {126, "↑"}};
    ASSERT_EQ(table.size(), 76U);
    std::set<int64_t> named;
    for (const auto& [code, name] : table) {
        EXPECT_EQ(keyName(code), name) << code;
        named.insert(code);
    }
    for (int64_t code = -2; code < 300; ++code) {
        if (!named.contains(code)) {
            EXPECT_EQ(keyName(code), "Key " + std::to_string(code));
        }
    }
}

TEST(Labels, KeyNameTableIsSafeToBuildFromManyThreads) {
    std::vector<std::string> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = keyName(49) + keyName(10); });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (const auto& s : seen) {
        EXPECT_EQ(s, "SpaceKey 10");
    }
}

struct GestureCase {
    TrackpadGesture::Kind kind;
    int64_t fingers;
    std::string label;
};

class GestureLabel : public testing::TestWithParam<GestureCase> {};

TEST_P(GestureLabel, CountAndPhrase) {
    EXPECT_EQ((TrackpadGesture{GetParam().kind, GetParam().fingers}.label()), GetParam().label);
}

using K = TrackpadGesture::Kind;
INSTANTIATE_TEST_SUITE_P(Labels, GestureLabel,
                         testing::Values(GestureCase{K::tap, 3, "3-finger tap"},
                                         GestureCase{K::swipeUp, 4, "4-finger swipe up"},
                                         GestureCase{K::swipeDown, 5, "5-finger swipe down"},
                                         GestureCase{K::swipeLeft, 3, "3-finger swipe left"},
                                         GestureCase{K::swipeRight, 10, "10-finger swipe right"},
                                         GestureCase{K::click, 3, "3-finger click"},
                                         GestureCase{K::tipTapLeft, 2, "Tip-tap left"},
                                         GestureCase{K::tipTapLeft, 7, "Tip-tap left"},
                                         GestureCase{K::tipTapRight, 3, "Tip-tap right"}));

TEST(Labels, MouseButtons) {
    const std::vector<std::pair<int64_t, std::string>> cases = {
        {0, "Button 1"},           {1, "Button 2"}, {2, "Middle button"}, {3, "Button 4 (back)"},
        {4, "Button 5 (forward)"}, {5, "Button 6"}, {7, "Button 8"},      {31, "Button 32"}};
    for (const auto& [button, label] : cases) {
        EXPECT_EQ(mouseButtonLabel(button), label) << button;
        EXPECT_EQ(Trigger::mouseButton(button).label(), label) << button;
    }
}

TEST(Labels, Triggers) {
    EXPECT_EQ(Trigger::hotkey({123, Mods(6)}).label(), "⌃⌥←");
    EXPECT_EQ(Trigger::trackpad({K::tap, 3}).label(), "3-finger tap");
    EXPECT_EQ(Trigger::drawing({"", {{0, 0}}}).label(), "Drawing");
    EXPECT_EQ(Trigger::drawing({"Zorro", {}}).label(), "Zorro");
}

struct ActionCase {
    Action action;
    std::string label;
};

class ActionLabel : public testing::TestWithParam<ActionCase> {};

TEST_P(ActionLabel, ByCase) {
    EXPECT_EQ(GetParam().action.label(), GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(
    Labels, ActionLabel,
    testing::Values(
        ActionCase{Action::window(WindowAction::leftHalf), "Window: Left half"},
        ActionCase{Action::window(WindowAction::nextDisplay), "Window: Move to next display"},
        ActionCase{Action::system(SystemAction::playPause), "Play / pause"},
        ActionCase{Action::keystroke({8, Mods(1)}), "Press ⌘C"},
        ActionCase{Action::launchApp("/Applications/Editor.app"), "Open Editor"},
        ActionCase{Action::launchApp("/usr/share/applications/org.gnome.Calculator.desktop"),
                   "Open org.gnome.Calculator"},
        ActionCase{Action::launchApp("/usr/bin/firefox"), "Open firefox"},
        ActionCase{Action::openURL("example.com"), "Open example.com"},
        ActionCase{Action::shell("open ~/Downloads"), "Run: open ~/Downloads"}));

TEST(Labels, EnumerationTablesInOrder) {
    const std::vector<std::pair<std::string, std::string>> windows = {
        {"leftHalf", "Left half"},
        {"rightHalf", "Right half"},
        {"topHalf", "Top half"},
        {"bottomHalf", "Bottom half"},
        {"topLeft", "Top-left quarter"},
        {"topRight", "Top-right quarter"},
        {"bottomLeft", "Bottom-left quarter"},
        {"bottomRight", "Bottom-right quarter"},
        {"leftThird", "Left third"},
        {"centerThird", "Center third"},
        {"rightThird", "Right third"},
        {"leftTwoThirds", "Left two thirds"},
        {"rightTwoThirds", "Right two thirds"},
        {"maximize", "Maximize"},
        {"center", "Center"},
        {"nextDisplay", "Move to next display"}};
    ASSERT_EQ(allWindowActions.size(), windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        EXPECT_EQ(rawValue(allWindowActions[i]), windows[i].first);
        EXPECT_EQ(label(allWindowActions[i]), windows[i].second);
        EXPECT_EQ(windowActionFromRaw(windows[i].first), allWindowActions[i]);
    }
    const std::vector<std::pair<std::string, std::string>> systems = {
        {"missionControl", "Mission Control"},
        {"appWindows", "Show app windows"},
        {"showDesktop", "Show desktop"},
        {"lockScreen", "Lock screen"},
        {"sleepDisplay", "Sleep display"},
        {"playPause", "Play / pause"},
        {"nextTrack", "Next track"},
        {"previousTrack", "Previous track"},
        {"volumeUp", "Volume up"},
        {"volumeDown", "Volume down"},
        {"mute", "Mute"},
        {"middleClick", "Middle click"}};
    ASSERT_EQ(allSystemActions.size(), systems.size());
    for (std::size_t i = 0; i < systems.size(); ++i) {
        EXPECT_EQ(rawValue(allSystemActions[i]), systems[i].first);
        EXPECT_EQ(label(allSystemActions[i]), systems[i].second);
        EXPECT_EQ(systemActionFromRaw(systems[i].first), allSystemActions[i]);
    }
    const std::vector<std::string> gestures = {"tap",        "swipeUp",    "swipeDown",
                                               "swipeLeft",  "swipeRight", "click",
                                               "tipTapLeft", "tipTapRight"};
    for (std::size_t i = 0; i < gestures.size(); ++i) {
        EXPECT_EQ(rawValue(TrackpadGesture::allKinds[i]), gestures[i]);
        EXPECT_EQ(gestureKindFromRaw(gestures[i]), TrackpadGesture::allKinds[i]);
    }
    const std::vector<std::string> actions = {"window",    "system",  "keystroke",
                                              "launchApp", "openURL", "shell"};
    for (std::size_t i = 0; i < actions.size(); ++i) {
        EXPECT_EQ(rawValue(Action::allKinds[i]), actions[i]);
        EXPECT_EQ(actionKindFromRaw(actions[i]), Action::allKinds[i]);
    }
    for (const char* unknown : {"", "LeftHalf", "leftQuarter", "leftHalf ", "mission_control"}) {
        EXPECT_FALSE(windowActionFromRaw(unknown).has_value()) << unknown;
        EXPECT_FALSE(systemActionFromRaw(unknown).has_value()) << unknown;
        EXPECT_FALSE(gestureKindFromRaw(unknown).has_value()) << unknown;
        EXPECT_FALSE(actionKindFromRaw(unknown).has_value()) << unknown;
    }
}

TEST(Starter, TenRulesAsPublished) {
    const Config starter = Config::starter();
    EXPECT_TRUE(starter.engineEnabled);
    EXPECT_TRUE(starter.snapEnabled);
    EXPECT_EQ(starter.drawMods, Mods(6));
    const std::vector<std::tuple<std::string, std::string, bool>> expected = {
        {"⌃⌥←", "Window: Left half", true},     {"⌃⌥→", "Window: Right half", true},
        {"⌃⌥↑", "Window: Top half", true},      {"⌃⌥↓", "Window: Bottom half", true},
        {"⌃⌥↩", "Window: Maximize", true},      {"⌃⌥C", "Window: Center", true},
        {"3-finger tap", "Middle click", true}, {"4-finger tap", "Window: Maximize", true},
        {"5-finger tap", "Play / pause", true}, {"Button 4 (back)", "Mission Control", false}};
    ASSERT_EQ(starter.bindings.size(), expected.size());
    std::set<Uuid> ids;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Rule& rule = starter.bindings[i];
        EXPECT_EQ(rule.trigger.label(), std::get<0>(expected[i])) << i;
        EXPECT_EQ(rule.action.label(), std::get<1>(expected[i])) << i;
        EXPECT_EQ(rule.enabled, std::get<2>(expected[i])) << i;
        EXPECT_FALSE(rule.appBundleID.has_value()) << i;
        ids.insert(rule.id);
    }
    EXPECT_EQ(ids.size(), 10U);
    // Each starter set is made with fresh ids.
    const Config again = Config::starter();
    EXPECT_NE(again.bindings[0].id, starter.bindings[0].id);
    EXPECT_NE(again, starter);
}

TEST(Ids, WrittenUpperCaseReadInAnyCase) {
    const Uuid id = Uuid::random();
    const std::string text = id.string();
    ASSERT_EQ(text.size(), 36U);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(text[i], '-');
        } else {
            EXPECT_TRUE((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'A' && text[i] <= 'F'))
                << text;
        }
    }
    std::string lower = text;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(Uuid::parse(lower), id);
    EXPECT_EQ(Uuid::parse(text), id);
    for (const char* bad :
         {"", "3F2504E0-4F89-11D3-9A0C-0305E82C33011", "3F2504E0_4F89-11D3-9A0C-0305E82C3301",
          "{3F2504E0-4F89-11D3-9A0C-0305E82C33}", "3F2504E0-4F89-11D3-9A0C-0305E82C330 "}) {
        EXPECT_FALSE(Uuid::parse(bad).has_value()) << bad;
    }
}

TEST(Equality, FieldByField) {
    const Trigger a = Trigger::drawing({"L", {{0, 0}, {0, 1}, {1, 1}}});
    Trigger b = a;
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<Trigger>{}(a), std::hash<Trigger>{}(b));
    std::get<Drawing>(b.payload).points[2].y = 1.0000000000000002;
    EXPECT_NE(a, b);
    EXPECT_NE(Trigger::drawing({"L", {{0, 0}}}), Trigger::drawing({"L", {{0, 0}, {0, 0}}}));
    EXPECT_NE(Trigger::drawing({"L", {}}), Trigger::drawing({"l", {}}));
    // The same number in another case is another trigger.
    EXPECT_NE(Trigger::mouseButton(3), Trigger::hotkey({3, Mods(0)}));
    EXPECT_NE(Trigger::hotkey({40, Mods(1)}), Trigger::hotkey({40, Mods(9)}));
    EXPECT_NE(Trigger::trackpad({K::tap, 3}), Trigger::trackpad({K::click, 3}));
    EXPECT_NE(Action::launchApp("x"), Action::openURL("x"));
    EXPECT_NE(Action::shell("ls"), Action::shell("ls "));

    const Rule rule = Rule::make(Trigger::mouseButton(3), Action::shell("ls"), std::nullopt, true);
    Rule copy = rule;
    EXPECT_EQ(copy, rule);
    EXPECT_EQ(std::hash<Rule>{}(copy), std::hash<Rule>{}(rule));
    copy.id = Uuid::random();
    EXPECT_NE(copy, rule);
    copy = rule;
    copy.appBundleID = "";
    EXPECT_NE(copy, rule);

    std::unordered_set<Trigger> set = {Trigger::mouseButton(3), Trigger::mouseButton(3),
                                       Trigger::hotkey({3, Mods(0)})};
    EXPECT_EQ(set.size(), 2U);
}

}  // namespace
}  // namespace ombrel
