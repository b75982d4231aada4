// What the rule panes and the sidebar show, and the edits they make, as plain functions of Config.
#include "settings/rule_list.h"

#include <algorithm>

namespace ombrel::RuleList {

std::vector<Rule> rulesOf(const Config& config, Trigger::Kind kind) {
    std::vector<Rule> out;
    for (const Rule& rule : config.bindings) {
        if (rule.trigger.kind() == kind) {
            out.push_back(rule);
        }
    }
    return out;
}

std::optional<int64_t> sidebarCount(const Config& config, Pane pane) {
    const auto kind = paneKind(pane);
    if (!kind) {
        return std::nullopt;
    }
    return static_cast<int64_t>(std::ranges::count_if(
        config.bindings, [&](const Rule& r) { return r.trigger.kind() == *kind; }));
}

std::string subtitle(const Config& config, Pane pane) {
    const auto kind = paneKind(pane);
    if (!kind) {
        return {};
    }
    int64_t total = 0;
    int64_t on = 0;
    for (const Rule& rule : config.bindings) {
        if (rule.trigger.kind() == *kind) {
            ++total;
            on += rule.enabled ? 1 : 0;
        }
    }
    std::string text = total > 0 ? std::to_string(on) + " of " + std::to_string(total) + " on"
                                 : std::string("Nothing set up");
    if (pane == Pane::drawings) {
        text += ". Hold " + config.drawMods.glyphs() + " and move the pointer to draw.";
    }
    return text;
}

Rule newRule(Pane pane) {
    Trigger trigger = Trigger::hotkey(KeyCombo{-1, Mods{}});
    switch (pane) {
        case Pane::keyboard:
        case Pane::general:
            break;
        case Pane::trackpad:
            trigger = Trigger::trackpad(TrackpadGesture{TrackpadGesture::Kind::tap, 3});
            break;
        case Pane::mouse:
            trigger = Trigger::mouseButton(2);
            break;
        case Pane::drawings:
            trigger = Trigger::drawing(Drawing{});
            break;
    }
    return Rule::make(std::move(trigger), Action::window(WindowAction::leftHalf), std::nullopt,
                      true);
}

std::string_view emptySentence(Pane pane) {
    switch (pane) {
        case Pane::keyboard:
            return "No shortcuts yet. Add one to move windows, open apps or run commands from the "
                   "keyboard.";
        case Pane::trackpad:
            return "No gestures yet. Add a tap, swipe, click or tip-tap.";
        case Pane::mouse:
            return "No mouse buttons yet. Add one to give the middle or side buttons a job.";
        case Pane::drawings:
            return "No drawings yet. Add one, sketch a shape, then draw it anywhere with the "
                   "pointer to run an action.";
        case Pane::general:
            break;
    }
    return "";
}

std::string_view actionSymbol(Action::Kind kind) {
    switch (kind) {
        case Action::Kind::window:
            return "macwindow";
        case Action::Kind::system:
            return "sparkles";
        case Action::Kind::keystroke:
            return "command";
        case Action::Kind::launchApp:
            return "app.badge";
        case Action::Kind::openURL:
            return "link";
        case Action::Kind::shell:
            return "terminal";
    }
    return "";
}

namespace {
std::vector<Rule>::iterator find(Config& config, const Uuid& id) {
    return std::ranges::find_if(config.bindings, [&](const Rule& r) { return r.id == id; });
}
}  // namespace

bool remove(Config& config, const Uuid& id) {
    const auto it = find(config, id);
    if (it == config.bindings.end()) {
        return false;
    }
    config.bindings.erase(it);
    return true;
}

bool setEnabled(Config& config, const Uuid& id, bool enabled) {
    const auto it = find(config, id);
    if (it == config.bindings.end()) {
        return false;
    }
    it->enabled = enabled;
    return true;
}

void put(Config& config, Rule rule) {
    const auto it = find(config, rule.id);
    if (it == config.bindings.end()) {
        config.bindings.push_back(std::move(rule));
    } else {
        *it = std::move(rule);
    }
}

bool restore(Config& config, Rule rule, std::size_t index) {
    if (find(config, rule.id) != config.bindings.end()) {
        return false;
    }
    const auto at = std::min(index, config.bindings.size());
    config.bindings.insert(config.bindings.begin() + static_cast<std::ptrdiff_t>(at),
                           std::move(rule));
    return true;
}

std::optional<std::size_t> drawModIndex(Mods mods) {
    for (std::size_t i = 0; i < drawModChoices.size(); ++i) {
        if (drawModChoices[i] == mods.rawValue) {
            return i;
        }
    }
    return std::nullopt;
}

Status status(bool engineEnabled, bool trusted) {
    if (!engineEnabled) {
        return {StatusTone::secondary, false, "Napping"};
    }
    if (!trusted) {
        return {StatusTone::orange, false, "Needs access"};
    }
    return {StatusTone::green, true, "Listening"};
}

std::string deviceCountText(int64_t count, int64_t unreadable) {
    if (count < 1 && unreadable >= 1) {
        // A pad is there: "none found" would send the person looking for the wrong fault.
        return std::to_string(unreadable) + " touchpad" + (unreadable == 1 ? "" : "s") +
               " found, not readable";
    }
    if (count < 1) {
        return "No multitouch device found";
    }
    return std::to_string(count) + " multitouch device" + (count == 1 ? "" : "s") + " found";
}

}  // namespace ombrel::RuleList
