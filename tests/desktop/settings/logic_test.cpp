// The settings window's decisions as plain functions: the editor's trigger, action, conflict and
// trimming rules, the recorder's accept/refuse table, the panes' texts and edits, the glyph
// layout.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "drawing/shape_matcher.h"
#include "platform/input.h"
#include "settings/appearance.h"
#include "settings/binding_editor_model.h"
#include "settings/glyph_layout.h"
#include "settings/rule_list.h"
#include "settings/rule_model.h"
#include "settings/shortcut_recorder_logic.h"
#include "support/settings_fakes.h"

namespace ombrel {
namespace {

using test::hotkeyRule;
using test::mouseRule;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Pointwise;
using K = TrackpadGesture::Kind;

std::vector<Pt> line(Pt from, Pt to, int steps) {
    std::vector<Pt> pts;
    for (int i = 0; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        pts.push_back({from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t});
    }
    return pts;
}

MATCHER(SamePoint, "") {
    return std::abs(std::get<0>(arg).x - std::get<1>(arg).x) < 1e-9 &&
           std::abs(std::get<0>(arg).y - std::get<1>(arg).y) < 1e-9;
}

BindingEditorModel loaded(Rule rule) {
    BindingEditorModel model(std::move(rule));
    model.load();
    return model;
}

TEST(EditorTrigger, GestureKindsCarryTheirFingersExceptTipTaps) {
    const std::tuple<K, int64_t, int64_t> cases[] = {
        {K::tap, 4, 4},        {K::swipeLeft, 5, 5},   {K::click, 3, 3},
        {K::tipTapLeft, 4, 2}, {K::tipTapRight, 5, 2},
    };
    for (const auto& [kind, fingers, stored] : cases) {
        auto model = loaded(RuleList::newRule(Pane::trackpad));
        model.gestureKind = kind;
        model.fingers = fingers;
        EXPECT_EQ(model.makeTrigger(), Trigger::trackpad(TrackpadGesture{kind, stored}));
    }
}

// A sketch needs 60 canvas points of length and is stored normalised; its name loses the blanks
// around it but keeps its newlines.
TEST(EditorTrigger, DrawingNeedsSixtyCanvasPointsAndATrimmedName) {
    const auto sixty = line({100, 100}, {160, 100}, 10);
    const std::tuple<std::vector<Pt>, std::string, std::optional<std::string>> cases[] = {
        {{}, "", std::nullopt},
        {{{100, 100}}, "A", std::nullopt},
        {line({100, 100}, {159, 100}, 10), "A", std::nullopt},
        {std::vector<Pt>(50, Pt{200, 90}), "A", std::nullopt},
        {sixty, "  Circle\t", "Circle"},
        {sixty, " two words ", "two words"},
        {sixty, "\nL\n", "\nL\n"},
    };
    for (const auto& [points, typed, stored] : cases) {
        auto model = loaded(RuleList::newRule(Pane::drawings));
        model.drawPoints = points;
        model.drawName = typed;
        const auto made = model.makeTrigger();
        EXPECT_EQ(made, stored ? std::optional(Trigger::drawing(
                                     Drawing{*stored, ShapeMatcher::normalize(points)}))
                               : std::nullopt)
            << points.size() << " points, '" << typed << "'";
    }
}

// A stored drawing comes back on the canvas around its centre; sketched, saved, reopened and
// saved again, it keeps its points.
TEST(EditorTrigger, DrawingRoundTripsThroughTheCanvas) {
    const std::vector<Pt> stored = {{-0.5, 0.25}, {0, 0}, {0.5, -0.25}};
    auto model = loaded(Rule::make(Trigger::drawing(Drawing{"S", stored}),
                                   Action::window(WindowAction::center), std::nullopt, true));
    EXPECT_EQ(model.drawName, "S");
    EXPECT_THAT(model.drawPoints, ElementsAre(Pt{140, 130}, Pt{210, 95}, Pt{280, 60}));
    model.drawPoints = line({50, 150}, {350, 40}, 40);
    const auto first = model.result();
    ASSERT_TRUE(first);
    const auto second = loaded(*first).result();
    ASSERT_TRUE(second);
    EXPECT_THAT(second->trigger.asDrawing()->points,
                Pointwise(SamePoint(), first->trigger.asDrawing()->points));
}

TEST(EditorAction, TextsAreTrimmedAndEmptyOnesRefused) {
    using A = Action::Kind;
    const std::tuple<A, std::string, std::optional<Action>> cases[] = {
        {A::openURL, "  https://example.com\t", Action::openURL("https://example.com")},
        {A::openURL, "   ", std::nullopt},
        {A::shell, " \t\n", std::nullopt},
        {A::shell, "\t echo a\necho b \n\n", Action::shell("echo a\necho b")},
        {A::launchApp, "", std::nullopt},
        {A::launchApp, " /x.desktop", Action::launchApp(" /x.desktop")},
        {A::keystroke, "", std::nullopt},  // no keys recorded
    };
    for (const auto& [kind, text, expected] : cases) {
        auto model = loaded(RuleList::newRule(Pane::mouse));
        model.actionKind = kind;
        model.url = model.shell = model.appPath = text;
        EXPECT_EQ(model.makeAction(), expected) << rawValue(kind) << " '" << text << "'";
    }
}

TEST(EditorAction, LoadPutsEachPayloadInItsField) {
    const Action actions[] = {
        Action::window(WindowAction::rightThird), Action::system(SystemAction::mute),
        Action::keystroke(KeyCombo{4, Mods(5)}),  Action::launchApp("/usr/bin/xterm"),
        Action::openURL("https://a.example"),     Action::shell("echo hi")};
    for (const auto& action : actions) {
        const Rule stored = Rule::make(Trigger::mouseButton(4), action, "Firefox", false);
        EXPECT_EQ(loaded(stored).result(), stored);
    }
}

TEST(EditorApps, SortedIgnoringCase) {
    const AppNamer names = [](const std::string& id) { return "Name of " + id; };
    const std::vector<AppChoice> running = {{"zed", "zed"}, {"alpha", "alpha"}, {"Beta", "Beta"}};
    const AppChoice sorted[] = {{"alpha", "alpha"}, {"Beta", "Beta"}, {"zed", "zed"}};
    EXPECT_THAT(appChoices(running, std::nullopt, names), ElementsAreArray(sorted));
    // A scope that is running is listed once, in its sorted place.
    EXPECT_THAT(appChoices(running, std::string("Beta"), names), ElementsAreArray(sorted));
}

// Each case starts recording over ⌥Z, presses one key, then the same key again (its repeat).
TEST(ShortcutRecorderRules, AcceptAndRefuseTable) {
    using O = ShortcutRecorderLogic::Outcome;
    constexpr int64_t capsLock = 16;  // any bit but the four
    const int64_t sft = Mods::shift;
    const std::tuple<bool, int64_t, int64_t, O, int64_t> cases[] = {
        // require a modifier, key, flags held, outcome, modifiers recorded
        {true, 0, 0, O::refused, 0},                // A alone
        {true, 0, sft | capsLock, O::refused, 0},   // shift and caps lock do not count
        {true, 0, Mods::option, O::accepted, 2},    // option+A
        {true, 0, 15 | capsLock, O::accepted, 15},  // only the four are kept
        {true, 96, 0, O::accepted, 0},              // F5
        {true, 122, sft, O::accepted, sft},         // shift+F1
        {true, 113, 0, O::accepted, 0},             // F15
        {true, 106, 0, O::refused, 0},              // F16 is not exempt
        {false, 36, 0, O::accepted, 0},             // Return, for a keystroke
        {false, 123, sft, O::accepted, sft},
        {false, 53, 0, O::cancelled, 0},
    };
    const KeyCombo before{6, Mods(Mods::option)};
    for (const auto& [require, key, flags, outcome, mods] : cases) {
        SCOPED_TRACE(::testing::Message() << "key " << key << " flags " << flags);
        bool engineRecording = false;
        ShortcutRecorderLogic logic(require, [&](bool on) { engineRecording = on; });
        logic.setCombo(before);
        logic.start();
        EXPECT_EQ(logic.handleKey(key, Mods(flags)), outcome);
        const bool refused = outcome == O::refused;
        EXPECT_EQ(logic.combo(), (outcome == O::accepted ? KeyCombo{key, Mods(mods)} : before));
        EXPECT_EQ(logic.recording(), refused);
        EXPECT_EQ(engineRecording, refused);
        EXPECT_EQ(logic.hint(), refused ? std::optional(modifierHint) : std::nullopt);
        EXPECT_EQ(logic.handleKey(key, Mods(flags)), refused ? O::refused : O::notRecording);
    }
}

// A pad that cannot be read is not "none found"; one that can be read is what counts.
TEST(PaneTexts, SubtitlesAndDeviceCounts) {
    Config config;
    config.bindings = {hotkeyRule(1, 1), hotkeyRule(2, 1, Action::shell("a"), std::nullopt, false),
                       mouseRule(3), hotkeyRule(3, 1),
                       Rule::make(Trigger::drawing(Drawing{"", {{0, 0}}}),
                                  Action::window(WindowAction::center), std::nullopt, false)};
    config.drawMods = Mods(1);
    const std::pair<std::string, std::string> texts[] = {
        {RuleList::subtitle(config, Pane::drawings),
         "0 of 1 on. Hold ⌘ and move the pointer to draw."},
        {RuleList::deviceCountText(1, 1), "1 multitouch device found"},
        {RuleList::deviceCountText(-3, 0), "No multitouch device found"},
        {RuleList::deviceCountText(0, 1), "1 touchpad found, not readable"},
        {RuleList::deviceCountText(0, 2), "2 touchpads found, not readable"},
    };
    for (const auto& [text, expected] : texts) {
        EXPECT_EQ(text, expected);
    }
}

TEST(PaneEdits, VanishedRulesAreLeftAloneAndSavedRulesKeepTheirPlace) {
    const Rule a = hotkeyRule(1, 1);
    const Rule b = mouseRule(3);
    const Rule gone = hotkeyRule(9, 1);
    Config config;
    config.bindings = {a, b};
    const Config before = config;
    EXPECT_FALSE(RuleList::remove(config, gone.id));
    EXPECT_FALSE(RuleList::setEnabled(config, gone.id, false));
    EXPECT_EQ(config, before);
    EXPECT_NE(RuleList::newRule(Pane::mouse).id, RuleList::newRule(Pane::mouse).id);
    // A deleted rule comes back at its place, at the end of a shorter list, and only once.
    EXPECT_TRUE(RuleList::remove(config, a.id));
    EXPECT_TRUE(RuleList::restore(config, a, 0));
    EXPECT_FALSE(RuleList::restore(config, a, 1));
    EXPECT_TRUE(RuleList::restore(config, gone, 99));
    EXPECT_EQ(config.bindings, (std::vector<Rule>{a, b, gone}));
}

// Rows written as "A1 B2": an id letter and a look digit.
std::vector<RowKey> keyRows(const std::string& rows) {
    std::vector<RowKey> keys;
    for (std::size_t i = 0; i + 1 < rows.size(); i += 3) {
        Uuid id;
        id.bytes[0] = static_cast<uint8_t>(rows[i]);
        keys.push_back({id, static_cast<std::size_t>(rows[i + 1])});
    }
    return keys;
}

TEST(RowUpdates, OnlyTheRowsThatChangedAreAnnounced) {
    const std::tuple<std::string, std::string, RowDiff> cases[] = {
        // before, after, then first, removed, inserted, changed
        {"A1 B1 C1", "A1 B2 C1", {3, 0, 0, {1}}},  // one switched
        {"A1 B1 C1", "A1 C1", {1, 1, 0, {}}},      // one deleted
        {"A1 B1", "A1 B1 C1", {2, 0, 1, {}}},      // one added at the end
        {"B1 C1", "A1 B1 C1", {0, 0, 1, {}}},      // one brought back at the front
        {"A1 B1 C1", "A1 C2", {1, 1, 0, {1}}},     // deleted, and the next changed
        {"A1 B1 C1", "A1 C1 B1", {1, 2, 2, {}}},   // moved: the stretch between is replaced
        {"A1 B1", "C1 D1", {0, 2, 2, {}}},         // all new
        {"", "", {0, 0, 0, {}}},
    };
    for (const auto& [before, after, diff] : cases) {
        EXPECT_EQ(diffRows(keyRows(before), keyRows(after)), diff) << before << " -> " << after;
    }
}

// The portal's standard key, GNOME's key, Qt's hint, then the desktop palette's own darkness.
TEST(DesktopLook, FirstSourceWithAPreferenceDecides) {
    using appearance::Scheme;
    const Scheme u = Scheme::unknown;
    EXPECT_EQ(appearance::fromFreedesktop(QString("dark")), u);
    EXPECT_TRUE(appearance::wantsDark(Scheme::dark, Scheme::light, Scheme::light, false));
    EXPECT_FALSE(appearance::wantsDark(u, Scheme::light, Scheme::dark, true));
    EXPECT_TRUE(appearance::wantsDark(u, u, Scheme::dark, false));
    EXPECT_TRUE(appearance::wantsDark(u, u, u, true));
    EXPECT_FALSE(appearance::wantsDark(u, u, u, false));
}

// One centred row, three points apart: a dot per finger, capsules for swipes, a ring for the
// resting finger of a tip-tap.
TEST(GlyphLayout, TrackpadMarksPerGesture) {
    const std::pair<TrackpadGesture, std::string> cases[] = {
        {{K::tap, 3}, "ddd"},       {{K::swipeUp, 2}, "cc"}, {{K::tipTapRight, 3}, "rd"},
        {{K::tipTapLeft, 5}, "dr"}, {{K::tap, -2}, ""},      {{K::click, 1000}, "dddddd"},
    };
    for (const auto& [gesture, expected] : cases) {
        const auto marks = trackpadMarks(gesture);
        std::string shapes;
        for (std::size_t i = 0; i < marks.size(); ++i) {
            shapes += "drc"[static_cast<int>(marks[i].shape)];
            EXPECT_DOUBLE_EQ(marks[i].y + marks[i].height / 2, tileHeight / 2);
            if (i > 0) {
                EXPECT_DOUBLE_EQ(marks[i].x, marks[i - 1].x + marks[i - 1].width + 3);
            }
        }
        EXPECT_EQ(shapes, expected) << rawValue(gesture.kind) << " " << gesture.fingers;
        if (!marks.empty()) {
            EXPECT_DOUBLE_EQ(marks.front().x, tileWidth - (marks.back().x + marks.back().width));
        }
    }
}

// Key caps in modifier order, then the key; a drawing fills seventy percent of the shorter side.
TEST(GlyphLayout, KeyCapsAndDrawings) {
    EXPECT_EQ(keyCapTexts({49, Mods(15)}), (std::vector<std::string>{"⌃", "⌥", "⇧", "⌘", "Space"}));
    // Bits beyond the four draw no cap.
    EXPECT_EQ(keyCapTexts({76, Mods(16 | Mods::option)}),
              (std::vector<std::string>{"⌥", "Key 76"}));
    EXPECT_THAT(glyphPoints({{0, 0}, {0.5, -0.5}}, 52, 34),
                ElementsAre(Pt{26, 17}, Pt{26 + 0.5 * 0.7 * 34, 17 - 0.5 * 0.7 * 34}));
    EXPECT_TRUE(glyphPoints({}, 52, 34).empty());
}

}  // namespace
}  // namespace ombrel
