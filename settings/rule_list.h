// What the rule panes and the sidebar show, and the edits they make, as plain functions of Config.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/model.h"
#include "settings/pane.h"

namespace ombrel::RuleList {

// The rules of one trigger kind, in stored order, enabled or not.
std::vector<Rule> rulesOf(const Config& config, Trigger::Kind kind);
// The sidebar count: every rule of the pane's kind; nothing for the general pane.
std::optional<int64_t> sidebarCount(const Config& config, Pane pane);
// "2 of 3 on" or "Nothing set up", and for drawings the hint about the draw modifiers.
std::string subtitle(const Config& config, Pane pane);
// The rule that "Add" hands to the editor: not stored until the editor saves it.
Rule newRule(Pane pane);
std::string_view emptySentence(Pane pane);
inline constexpr std::string_view emptyTitle = "Eight arms, nothing to do";

// Symbol name of an action kind as drawn in the rows.
std::string_view actionSymbol(Action::Kind kind);

// The edits, each false (and config untouched) when no rule has that id any more.
bool remove(Config& config, const Uuid& id);
bool setEnabled(Config& config, const Uuid& id, bool enabled);
// Replaces the rule with the same id in place, else appends it.
void put(Config& config, Rule rule);
// Brings a deleted rule back at its old place (or the end, if the list got shorter); false when a
// rule with its id is there already.
bool restore(Config& config, Rule rule, std::size_t index);

// The modifier sets offered for drawing, in picker order; an index into it for a stored value.
inline constexpr std::array<int64_t, 4> drawModChoices = {6, 3, 5, 12};
std::optional<std::size_t> drawModIndex(Mods mods);

// The sidebar's status line.
enum class StatusTone { green, orange, secondary };
struct Status {
    StatusTone tone;
    bool glow;
    std::string_view word;
};
Status status(bool engineEnabled, bool trusted);
// Whether the mascot is awake.
inline bool active(bool engineEnabled, bool trusted) {
    return engineEnabled && trusted;
}

// "1 multitouch device found", "2 multitouch devices found", "No multitouch device found"; with
// none readable but some found, "1 touchpad found, not readable".
std::string deviceCountText(int64_t count, int64_t unreadable = 0);

}  // namespace ombrel::RuleList
