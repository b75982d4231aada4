// Display labels, raw values, the starter set, value equality with hashing, and the XDG base
// directories.
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>

#include "config/model.h"
#include "config/rule_index.h"
#include "config/xdg_dirs.h"

namespace ombrel {
namespace {

TEST(Labels, OfTriggersAndActions) {
    const std::pair<std::string, std::string> cases[] = {
        // The key table has gaps and glyphs.
        {keyName(0) + keyName(36) + keyName(99), "A↩F3"},
        {keyName(10) + "," + keyName(-3), "Key 10,Key -3"},
        // Computed without signed overflow.
        {mouseButtonLabel(std::numeric_limits<int64_t>::max()), "Button 9223372036854775808"},
        // Glyphs always in the order ⌃ ⌥ ⇧ ⌘; bits beyond the four show nothing.
        {Trigger::hotkey({49, Mods(15)}).label(), "⌃⌥⇧⌘Space"},
        {Trigger::hotkey({1, Mods(9 + 16)}).label(), "⇧⌘S"},
        {Trigger::drawing({"", {{0, 0}}}).label(), "Drawing"},
        {Action::keystroke({42, Mods(8)}).label(), "Press ⇧\\"},
        {Action::launchApp("/Applications/Editor.app/").label(), "Open Editor"},
        {Action::launchApp("/usr/share/applications/org.gnome.Calc.desktop").label(),
         "Open org.gnome.Calc"},
        {Action::launchApp("/usr/bin/firefox").label(), "Open firefox"}};
    for (const auto& [label, expected] : cases) {
        EXPECT_EQ(label, expected);
    }
}

// Raw values are the file format: each reads back as itself.
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
}

TEST(Starter, TenRulesWithFreshIds) {
    const Config starter = Config::starter();
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

// Against a walk down the list, over lists whose hash table fills, wraps and holds long runs of
// one trigger: every trigger bound and some that are not, with and without a front application.
TEST(RuleIndex, FindsWhatAWalkDownTheListFinds) {
    const std::vector<std::optional<std::string>> fronts = {std::nullopt, "a", "b"};
    for (const int n : {0, 1, 7, 100, 3000}) {
        std::vector<Rule> rules;
        for (int i = 0; i < n; ++i) {
            const Trigger t = i % 5 == 0   ? Trigger::hotkey({40, Mods(Mods::command)})
                              : i % 7 == 0 ? Trigger::mouseButton(3 + i % 4)
                                           : Trigger::hotkey({i % 997, Mods(i % 3)});
            rules.push_back(Rule::make(t, Action::window(WindowAction::leftHalf),
                                       i % 3 == 0 ? fronts[1 + i % 2] : std::nullopt, i % 11 != 0));
        }
        const RuleIndex index(rules);
        std::unordered_set<Trigger> asked = {Trigger::hotkey({998, Mods(0)}),
                                             Trigger::mouseButton(99)};
        for (const Rule& r : rules) {
            asked.insert(r.trigger);
        }
        for (const auto& front : fronts) {
            for (const Trigger& t : asked) {
                const Rule* walked = nullptr;
                for (const Rule& r : rules) {
                    if (r.enabled && r.trigger == t && (!r.appBundleID || r.appBundleID == front) &&
                        (walked == nullptr || (!walked->appBundleID && r.appBundleID))) {
                        walked = &r;
                    }
                }
                const Rule* found = index.match(rules, t, [&] {
                    return front ? std::optional<std::string_view>(*front) : std::nullopt;
                });
                ASSERT_EQ(found, walked) << n << " rules, " << t.label();
            }
        }
    }
}

// Absolute values win; empty and relative ones fall back to the defaults under HOME. Seen: the
// config home, then the data folders in order of preference.
TEST(BaseDirs, AbsoluteValuesWinAndTheRestFallBack) {
    const std::string defaults = "/home/u/.config /home/u/.local/share /usr/local/share /usr/share";
    const std::pair<std::map<std::string, std::string>, std::string> cases[] = {
        {{{"HOME", "/home/u"}}, defaults},
        {{{"HOME", "/home/u"},
          {"XDG_CONFIG_HOME", "/c"},
          {"XDG_DATA_HOME", "/d"},
          {"XDG_DATA_DIRS", "/opt/share:/usr/share"}},
         "/c /d /opt/share /usr/share"},
        {{{"HOME", "/home/u"},
          {"XDG_CONFIG_HOME", "relative/c"},
          {"XDG_DATA_HOME", ""},
          {"XDG_DATA_DIRS", "share::/opt/share:"}},
         "/home/u/.config /home/u/.local/share /opt/share"},
        {{{"HOME", "/home/u"}, {"XDG_DATA_DIRS", "relative:also/relative"}}, defaults},
        {{}, "./.config ./.local/share /usr/local/share /usr/share"},
    };
    for (const auto& c : cases) {
        const xdg::BaseDirs dirs = xdg::baseDirs([&c](const char* name) -> const char* {
            const auto it = c.first.find(name);
            return it == c.first.end() ? nullptr : it->second.c_str();
        });
        std::string seen = dirs.configHome.string();
        for (const std::filesystem::path& dir : dirs.dataSearchPath()) {
            seen += " " + dir.string();
        }
        EXPECT_EQ(seen, c.second);
    }
}

}  // namespace
}  // namespace ombrel
