// The settings window's decisions as plain functions: the editor's trigger, action, conflict and
// trimming rules, the recorder's accept/refuse table, the panes' texts and edits, the glyph
// layout.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
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

using test::gestureRule;
using test::hotkeyRule;
using test::mouseRule;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::vector<Pt> line(Pt from, Pt to, int steps) {
    std::vector<Pt> pts;
    for (int i = 0; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        pts.push_back({from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t});
    }
    return pts;
}

BindingEditorModel loaded(Rule rule) {
    BindingEditorModel model(std::move(rule));
    model.load();
    return model;
}

// --- The editor's trigger ---

TEST(EditorTrigger, GestureKindsCarryTheirFingersExceptTipTaps) {
    struct Case {
        TrackpadGesture::Kind kind;
        int64_t fingers;
        int64_t expected;
    };
    const Case cases[] = {
        {TrackpadGesture::Kind::tap, 4, 4},         {TrackpadGesture::Kind::swipeLeft, 5, 5},
        {TrackpadGesture::Kind::click, 3, 3},       {TrackpadGesture::Kind::tipTapLeft, 4, 2},
        {TrackpadGesture::Kind::tipTapRight, 5, 2},
    };
    for (const auto& c : cases) {
        auto model = loaded(RuleList::newRule(Pane::trackpad));
        model.gestureKind = c.kind;
        model.fingers = c.fingers;
        const auto trigger = model.makeTrigger();
        ASSERT_TRUE(trigger);
        ASSERT_NE(trigger->asTrackpad(), nullptr);
        EXPECT_EQ(trigger->asTrackpad()->kind, c.kind);
        EXPECT_EQ(trigger->asTrackpad()->fingers, c.expected) << rawValue(c.kind);
    }
}

TEST(EditorTrigger, DrawingNeedsSixtyCanvasPointsAndIsStoredNormalised) {
    struct Case {
        std::vector<Pt> points;
        bool accepted;
    };
    const Case cases[] = {
        {{}, false},
        {{{100, 100}}, false},                      // a click without movement
        {line({100, 100}, {159, 100}, 10), false},  // 59 points long
        {line({100, 100}, {160, 100}, 10), true},   // exactly 60
        {std::vector<Pt>(50, Pt{200, 90}), false},  // many points on one spot
    };
    for (const auto& c : cases) {
        auto model = loaded(RuleList::newRule(Pane::drawings));
        model.drawPoints = c.points;
        const auto trigger = model.makeTrigger();
        EXPECT_EQ(trigger.has_value(), c.accepted) << c.points.size() << " points";
        if (trigger) {
            EXPECT_EQ(trigger->asDrawing()->points, ShapeMatcher::normalize(c.points));
        }
    }
}

TEST(EditorTrigger, DrawingNameLosesOuterBlanksButNotNewlines) {
    const std::pair<std::string, std::string> cases[] = {
        {"  Circle\t", "Circle"},
        {"", ""},
        {" two words ", "two words"},
        {"\nL\n", "\nL\n"},
    };
    for (const auto& [typed, stored] : cases) {
        auto model = loaded(RuleList::newRule(Pane::drawings));
        model.drawPoints = line({0, 0}, {100, 50}, 20);
        model.drawName = typed;
        ASSERT_TRUE(model.makeTrigger());
        EXPECT_EQ(model.makeTrigger()->asDrawing()->name, stored);
    }
}

TEST(EditorTrigger, StoredDrawingComesBackOnTheCanvasAroundItsCentre) {
    const std::vector<Pt> stored = {{-0.5, 0.25}, {0, 0}, {0.5, -0.25}};
    auto model = loaded(Rule::make(Trigger::drawing(Drawing{"S", stored}),
                                   Action::window(WindowAction::center), std::nullopt, true));
    EXPECT_EQ(model.drawName, "S");
    EXPECT_THAT(model.drawPoints, ElementsAre(Pt{140, 130}, Pt{210, 95}, Pt{280, 60}));
    EXPECT_EQ(toCanvas(Pt{0, 0}), (Pt{210, 95}));
}

TEST(EditorTrigger, SavedSketchReopensAsTheSameDrawing) {
    auto model = loaded(RuleList::newRule(Pane::drawings));
    model.drawPoints = line({50, 150}, {350, 40}, 40);
    const auto first = model.result();
    ASSERT_TRUE(first);
    // Reopened, the canvas shows the normalised points; saving again keeps them.
    auto again = loaded(*first);
    const auto second = again.result();
    ASSERT_TRUE(second);
    const auto& a = first->trigger.asDrawing()->points;
    const auto& b = second->trigger.asDrawing()->points;
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i].x, b[i].x, 1e-9);
        EXPECT_NEAR(a[i].y, b[i].y, 1e-9);
    }
}

// --- The editor's action ---

TEST(EditorAction, TextsAreTrimmedAndEmptyOnesRefused) {
    struct Case {
        Action::Kind kind;
        std::string text;
        std::optional<Action> expected;
    };
    const Case cases[] = {
        {Action::Kind::openURL, "  https://example.com\t", Action::openURL("https://example.com")},
        {Action::Kind::openURL, "   ", std::nullopt},
        {Action::Kind::openURL, "", std::nullopt},
        {Action::Kind::shell, "\n\n", std::nullopt},
        {Action::Kind::shell, " \t\n", std::nullopt},
        {Action::Kind::shell, "ls -l\n\n", Action::shell("ls -l")},
        {Action::Kind::shell, "\t echo a\necho b \n", Action::shell("echo a\necho b")},
        {Action::Kind::launchApp, "", std::nullopt},
        {Action::Kind::launchApp, " /usr/share/applications/x.desktop",
         Action::launchApp(" /usr/share/applications/x.desktop")},
    };
    for (const auto& c : cases) {
        auto model = loaded(RuleList::newRule(Pane::mouse));
        model.actionKind = c.kind;
        model.url = c.text;
        model.shell = c.text;
        model.appPath = c.text;
        EXPECT_EQ(model.makeAction(), c.expected) << rawValue(c.kind) << " '" << c.text << "'";
    }
}

TEST(EditorAction, KeystrokeNeedsKeysAndOtherKindsStartFromTheirDefaults) {
    auto model =
        loaded(Rule::make(Trigger::mouseButton(3), Action::shell("make"), std::nullopt, true));
    EXPECT_EQ(model.actionKind, Action::Kind::shell);
    EXPECT_EQ(model.shell, "make");
    model.actionKind = Action::Kind::keystroke;
    EXPECT_FALSE(model.makeAction());
    model.keystroke = KeyCombo{8, Mods(Mods::command)};
    EXPECT_EQ(model.makeAction(), Action::keystroke(KeyCombo{8, Mods(Mods::command)}));
    model.actionKind = Action::Kind::window;
    EXPECT_EQ(model.makeAction(), Action::window(WindowAction::leftHalf));
    model.actionKind = Action::Kind::system;
    EXPECT_EQ(model.makeAction(), Action::system(SystemAction::missionControl));
}

TEST(EditorAction, LoadPutsEachPayloadInItsField) {
    const Action actions[] = {
        Action::window(WindowAction::rightThird), Action::system(SystemAction::mute),
        Action::keystroke(KeyCombo{4, Mods(5)}),  Action::launchApp("/usr/bin/xterm"),
        Action::openURL("https://a.example"),     Action::shell("echo hi")};
    for (const auto& action : actions) {
        auto model = loaded(Rule::make(Trigger::mouseButton(4), action, "Firefox", false));
        EXPECT_EQ(model.makeAction(), action);
        EXPECT_EQ(model.scope, "Firefox");
        const auto rule = model.result();
        ASSERT_TRUE(rule);
        EXPECT_FALSE(rule->enabled);
        EXPECT_EQ(rule->action, action);
        EXPECT_EQ(rule->appBundleID, "Firefox");
    }
}

// --- Conflicts ---

TEST(EditorConflict, SameTriggerInSameScopeIsTakenWhateverItsState) {
    const Rule allApps = hotkeyRule(123, 6);
    const Rule disabledScoped = hotkeyRule(123, 6, Action::shell("x"), "Gimp", false);
    const Rule other = hotkeyRule(124, 6);
    const std::vector<Rule> bindings = {other, allApps, disabledScoped};

    struct Case {
        std::string what;
        Rule original;
        std::string scope;
        std::optional<Uuid> clash;
    };
    const Case cases[] = {
        {"new, all apps", RuleList::newRule(Pane::keyboard), "", allApps.id},
        {"new, scoped like the disabled rule", RuleList::newRule(Pane::keyboard), "Gimp",
         disabledScoped.id},
        {"new, another app", RuleList::newRule(Pane::keyboard), "Firefox", std::nullopt},
        {"editing itself", allApps, "", std::nullopt},
        {"editing the scoped one, moved to all apps", disabledScoped, "", allApps.id},
    };
    for (const auto& c : cases) {
        BindingEditorModel model(c.original);
        model.load();
        model.hotkey = KeyCombo{123, Mods(6)};
        model.scope = c.scope;
        const auto clash = model.conflict(bindings);
        EXPECT_EQ(clash ? std::optional<Uuid>(clash->id) : std::nullopt, c.clash) << c.what;
        EXPECT_EQ(model.canSave(bindings), !c.clash) << c.what;
    }
}

TEST(EditorConflict, DrawingsClashOnlyWithIdenticalPoints) {
    auto model = loaded(RuleList::newRule(Pane::drawings));
    model.drawPoints = line({10, 10}, {200, 120}, 30);
    model.drawName = "Slash";
    const auto trigger = model.makeTrigger();
    ASSERT_TRUE(trigger);
    Rule same = Rule::make(*trigger, Action::window(WindowAction::center), std::nullopt, true);
    Drawing nudged = *trigger->asDrawing();
    nudged.points[5].x += 1e-6;
    Rule near = Rule::make(Trigger::drawing(nudged), Action::window(WindowAction::center),
                           std::nullopt, true);
    EXPECT_FALSE(model.conflict({near}));
    EXPECT_TRUE(model.conflict({near, same}));
}

TEST(EditorConflict, MessageNamesTriggerAppAndAction) {
    const AppNamer names = [](const std::string& id) {
        return id == "firefox" ? std::string("Firefox Web Browser") : id;
    };
    struct Case {
        Rule rule;
        std::string message;
    };
    const Case cases[] = {
        {hotkeyRule(123, 6),
         "⌃⌥← in All apps already runs \"Window: Left half\". Pick another trigger or app."},
        {hotkeyRule(49, 15, Action::shell("ls"), "firefox"),
         "⌃⌥⇧⌘Space in Firefox Web Browser already runs \"Run: ls\". Pick another trigger or "
         "app."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(conflictMessage(c.rule, names), c.message);
    }
}

TEST(EditorRule, NewOrExistingAndTheSavedResultKeepsIdentity) {
    const Rule stored = mouseRule(5, false);
    auto model = loaded(stored);
    EXPECT_FALSE(model.isNew({mouseRule(2), stored}));
    EXPECT_TRUE(model.isNew({mouseRule(2)}));
    model.button = 6;
    model.scope = "Code";
    const auto rule = model.result();
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->id, stored.id);
    EXPECT_FALSE(rule->enabled);
    EXPECT_EQ(rule->trigger, Trigger::mouseButton(6));
    EXPECT_EQ(rule->appBundleID, "Code");
    model.scope.clear();
    EXPECT_EQ(model.result()->appBundleID, std::nullopt);
}

TEST(EditorApps, SortedIgnoringCaseWithMissingScopeFirst) {
    const AppNamer names = [](const std::string& id) { return "Name of " + id; };
    const std::vector<AppChoice> running = {{"zed", "zed"}, {"alpha", "alpha"}, {"Beta", "Beta"}};
    const AppChoice sorted[] = {{"alpha", "alpha"}, {"Beta", "Beta"}, {"zed", "zed"}};
    EXPECT_THAT(appChoices(running, std::nullopt, names), ElementsAreArray(sorted));
    // A scope that is running is listed once, in its sorted place.
    EXPECT_THAT(appChoices(running, std::string("Beta"), names), ElementsAreArray(sorted));
    EXPECT_EQ(appChoices(running, std::string("gone"), names).front(),
              (AppChoice{"gone", "Name of gone"}));
}

// --- The shortcut recorder ---

TEST(ShortcutRecorderRules, AcceptAndRefuseTable) {
    using O = ShortcutRecorderLogic::Outcome;
    const int64_t cmd = Mods::command;
    const int64_t opt = Mods::option;
    const int64_t ctl = Mods::control;
    const int64_t sft = Mods::shift;
    constexpr int64_t capsLock = 16;  // any bit but the four
    struct Case {
        bool requireModifier;
        int64_t key;
        int64_t flags;
        O outcome;
        int64_t mods;  // of the recorded combination, when accepted
    };
    const Case cases[] = {
        {true, 0, 0, O::refused, 0},               // A alone
        {true, 0, sft, O::refused, 0},             // shift does not count
        {true, 0, sft | capsLock, O::refused, 0},  // nor caps lock
        {true, 0, opt, O::accepted, 2},            // option+A
        {true, 0, ctl | sft, O::accepted, 12},
        {true, 0, cmd | opt | ctl | sft | capsLock, O::accepted, 15},
        {true, 96, 0, O::accepted, 0},      // F5
        {true, 122, sft, O::accepted, 8},   // shift+F1
        {true, 113, 0, O::accepted, 0},     // F15
        {true, 106, 0, O::refused, 0},      // F16 is not exempt
        {true, 53, cmd, O::cancelled, 0},   // Escape, whatever is held
        {false, 0, 0, O::accepted, 0},      // a plain letter
        {false, 36, 0, O::accepted, 0},     // Return
        {false, 123, sft, O::accepted, 8},  // shift+left arrow
        {false, 53, 0, O::cancelled, 0},
    };
    for (const auto& c : cases) {
        bool engineRecording = false;
        ShortcutRecorderLogic logic(c.requireModifier, [&](bool on) { engineRecording = on; });
        logic.setCombo(KeyCombo{7, Mods(1)});
        logic.start();
        ASSERT_TRUE(engineRecording);
        const auto outcome = logic.handleKey(c.key, Mods(c.flags));
        const std::string what = "key " + std::to_string(c.key) + " flags " +
                                 std::to_string(c.flags) + " require " +
                                 std::to_string(c.requireModifier);
        EXPECT_EQ(outcome, c.outcome) << what;
        switch (c.outcome) {
            case O::accepted:
                EXPECT_EQ(logic.combo(), (KeyCombo{c.key, Mods(c.mods)})) << what;
                EXPECT_FALSE(logic.recording()) << what;
                EXPECT_FALSE(engineRecording) << what;
                break;
            case O::refused:
                EXPECT_EQ(logic.hint(), modifierHint) << what;
                EXPECT_TRUE(logic.recording()) << what;
                EXPECT_TRUE(engineRecording) << what;
                EXPECT_EQ(logic.combo(), (KeyCombo{7, Mods(1)})) << what;
                break;
            case O::cancelled:
            case O::notRecording:
                EXPECT_EQ(logic.combo(), (KeyCombo{7, Mods(1)})) << what;
                EXPECT_FALSE(logic.recording()) << what;
                EXPECT_FALSE(engineRecording) << what;
                break;
        }
    }
}

TEST(ShortcutRecorderRules, StopsAtTheFirstCombinationAndHintLastsUntilRestart) {
    bool engineRecording = false;
    ShortcutRecorderLogic logic(true, [&](bool on) { engineRecording = on; });
    logic.start();
    EXPECT_EQ(logic.handleKey(0, Mods()), ShortcutRecorderLogic::Outcome::refused);
    EXPECT_EQ(logic.handleKey(1, Mods(Mods::command)), ShortcutRecorderLogic::Outcome::accepted);
    // The held key's repeat arrives after recording ended.
    EXPECT_EQ(logic.handleKey(1, Mods(Mods::command)),
              ShortcutRecorderLogic::Outcome::notRecording);
    EXPECT_TRUE(logic.hint());
    logic.start();
    EXPECT_FALSE(logic.hint());
    EXPECT_TRUE(engineRecording);
}

TEST(PaneTexts, SubtitleCountsActiveRulesAndNamesDrawModifiers) {
    Config config;
    config.bindings = {hotkeyRule(1, 1), hotkeyRule(2, 1, Action::shell("a"), std::nullopt, false),
                       mouseRule(3), hotkeyRule(3, 1)};
    struct Case {
        int64_t drawMods;
        Pane pane;
        std::string text;
    };
    const Case cases[] = {
        {6, Pane::keyboard, "2 of 3 on"},
        {6, Pane::mouse, "1 of 1 on"},
        {6, Pane::trackpad, "Nothing set up"},
        {6, Pane::drawings, "Nothing set up. Hold ⌃⌥ and move the pointer to draw."},
        {1, Pane::drawings, "Nothing set up. Hold ⌘ and move the pointer to draw."},
    };
    for (const auto& c : cases) {
        config.drawMods = Mods(c.drawMods);
        EXPECT_EQ(RuleList::subtitle(config, c.pane), c.text);
    }
    config.bindings.push_back(Rule::make(Trigger::drawing(Drawing{"", {{0, 0}}}),
                                         Action::window(WindowAction::center), std::nullopt,
                                         false));
    config.drawMods = Mods(6);
    EXPECT_EQ(RuleList::subtitle(config, Pane::drawings),
              "0 of 1 on. Hold ⌃⌥ and move the pointer to draw.");
}

TEST(PaneTexts, SidebarCountsEveryRuleOfTheKindAndNothingForGeneral) {
    Config config;
    EXPECT_EQ(RuleList::sidebarCount(config, Pane::drawings), 0);
    EXPECT_EQ(RuleList::sidebarCount(config, Pane::general), std::nullopt);
    config.bindings = {mouseRule(3, false), hotkeyRule(1, 1), mouseRule(4),
                       gestureRule(TrackpadGesture::Kind::tap, 3, false)};
    EXPECT_EQ(RuleList::sidebarCount(config, Pane::mouse), 2);
    EXPECT_EQ(RuleList::sidebarCount(config, Pane::keyboard), 1);
    EXPECT_EQ(RuleList::sidebarCount(config, Pane::trackpad), 1);
}

TEST(PaneTexts, NewRulesPerPaneHaveFreshIds) {
    const Rule a = RuleList::newRule(Pane::mouse);
    EXPECT_EQ(a, (Rule{a.id, Trigger::mouseButton(2), Action::window(WindowAction::leftHalf),
                       std::nullopt, true}));
    EXPECT_NE(a.id, RuleList::newRule(Pane::mouse).id);
}

TEST(PaneEdits, VanishedRulesAreLeftAloneAndSavedRulesKeepTheirPlace) {
    Config config;
    const Rule a = hotkeyRule(1, 1);
    const Rule b = mouseRule(3);
    const Rule c = hotkeyRule(2, 1);
    config.bindings = {a, b, c};
    const Config before = config;
    const Rule gone = hotkeyRule(9, 1);
    EXPECT_FALSE(RuleList::remove(config, gone.id));
    EXPECT_FALSE(RuleList::setEnabled(config, gone.id, false));
    EXPECT_EQ(config, before);

    Rule edited = b;
    edited.trigger = Trigger::mouseButton(6);
    RuleList::put(config, edited);
    ASSERT_EQ(config.bindings.size(), 3u);
    EXPECT_EQ(config.bindings[1], edited);
    const Rule added = mouseRule(7);
    RuleList::put(config, added);
    EXPECT_EQ(config.bindings.back(), added);

    EXPECT_TRUE(RuleList::setEnabled(config, c.id, false));
    EXPECT_FALSE(config.bindings[2].enabled);
    EXPECT_TRUE(RuleList::remove(config, a.id));
    EXPECT_EQ(config.bindings.front().id, b.id);

    // A deleted rule comes back at its place, at the end of a shorter list, and only once.
    EXPECT_TRUE(RuleList::restore(config, a, 0));
    EXPECT_EQ(config.bindings.front(), a);
    EXPECT_FALSE(RuleList::restore(config, a, 2));
    EXPECT_TRUE(RuleList::restore(config, gone, 99));
    EXPECT_EQ(config.bindings.back(), gone);
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
    struct Case {
        std::string before;
        std::string after;
        RowDiff diff;  // first, removed, inserted, changed
    };
    const Case cases[] = {
        {"A1 B1 C1", "A1 B1 C1", {3, 0, 0, {}}},
        {"A1 B1 C1", "A1 B2 C1", {3, 0, 0, {1}}},  // one switched
        {"A1 B1 C1", "A1 C1", {1, 1, 0, {}}},      // one deleted
        {"A1 B1", "A1 B1 C1", {2, 0, 1, {}}},      // one added at the end
        {"B1 C1", "A1 B1 C1", {0, 0, 1, {}}},      // one brought back at the front
        {"A1 B1 C1", "A1 C2", {1, 1, 0, {1}}},     // deleted, and the next changed
        {"A1 B1 C1", "A1 C1 B1", {1, 2, 2, {}}},   // moved: the stretch between is replaced
        {"A1 B1", "C1 D1", {0, 2, 2, {}}},         // all new
        {"", "", {0, 0, 0, {}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(diffRows(keyRows(c.before), keyRows(c.after)), c.diff)
            << c.before << " -> " << c.after;
    }
}

TEST(DesktopLook, FirstSourceWithAPreferenceDecides) {
    using appearance::Scheme;
    EXPECT_EQ(appearance::fromFreedesktop(1u), Scheme::dark);
    EXPECT_EQ(appearance::fromFreedesktop(2u), Scheme::light);
    EXPECT_EQ(appearance::fromFreedesktop(0u), Scheme::unknown);
    EXPECT_EQ(appearance::fromFreedesktop(QString("dark")), Scheme::unknown);
    EXPECT_EQ(appearance::fromGnome(QString("prefer-dark")), Scheme::dark);
    EXPECT_EQ(appearance::fromGnome(QString("default")), Scheme::unknown);
    const Scheme u = Scheme::unknown;
    EXPECT_TRUE(appearance::wantsDark(Scheme::dark, Scheme::light, Scheme::light, false));
    EXPECT_FALSE(appearance::wantsDark(u, Scheme::light, Scheme::dark, true));
    EXPECT_TRUE(appearance::wantsDark(u, u, Scheme::dark, false));
    EXPECT_TRUE(appearance::wantsDark(u, u, u, true));
    EXPECT_FALSE(appearance::wantsDark(u, u, u, false));
}

TEST(PaneTexts, DrawModifierChoicesAndDeviceCounts) {
    const std::pair<int64_t, std::optional<std::size_t>> mods[] = {
        {6, 0}, {12, 3}, {1, std::nullopt}, {14, std::nullopt}};
    for (const auto& [raw, index] : mods) {
        EXPECT_EQ(RuleList::drawModIndex(Mods(raw)), index) << raw;
    }

    // A pad that cannot be read is not "none found"; one that can be read is what counts.
    const std::tuple<int64_t, int64_t, std::string> counts[] = {
        {1, 1, "1 multitouch device found"},
        {2, 0, "2 multitouch devices found"},
        {-3, 0, "No multitouch device found"},
        {0, 1, "1 touchpad found, not readable"},
        {0, 2, "2 touchpads found, not readable"}};
    for (const auto& [readable, unreadable, text] : counts) {
        EXPECT_EQ(RuleList::deviceCountText(readable, unreadable), text);
    }
}

// --- Glyph layout ---

TEST(GlyphLayout, KeyCapsInModifierOrderThenKey) {
    const std::pair<KeyCombo, std::vector<std::string>> cases[] = {
        {{21, Mods(Mods::command | Mods::shift)}, {"⇧", "⌘", "4"}},
        {{49, Mods(Mods::control | Mods::option | Mods::command)}, {"⌃", "⌥", "⌘", "Space"}},
        {{76, Mods(16)}, {"Key 76"}},  // bits beyond the four draw no cap
    };
    for (const auto& [combo, caps] : cases) {
        EXPECT_EQ(keyCapTexts(combo), caps);
    }
}

// One centred row, three points apart: a dot per finger, capsules for swipes, a ring for the
// resting finger of a tip-tap.
TEST(GlyphLayout, TrackpadMarksPerGesture) {
    using K = TrackpadGesture::Kind;
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

TEST(GlyphLayout, DrawingFillsSeventyPercentOfTheShorterSide) {
    EXPECT_THAT(glyphPoints({{0, 0}, {0.5, -0.5}}, 52, 34),
                ElementsAre(Pt{26, 17}, Pt{26 + 0.5 * 0.7 * 34, 17 - 0.5 * 0.7 * 34}));
    EXPECT_TRUE(glyphPoints({}, 52, 34).empty());
}

}  // namespace
}  // namespace ombrel
