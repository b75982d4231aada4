// The binding editor's fields and decisions, kept apart from its widgets.
#include "settings/binding_editor_model.h"

#include <algorithm>

#include "drawing/shape_matcher.h"

namespace ombrel {

Pt toCanvas(Pt stored) {
    return {canvasWidth / 2 + canvasScale * stored.x, canvasHeight / 2 + canvasScale * stored.y};
}

std::vector<Pt> toCanvas(const std::vector<Pt>& stored) {
    std::vector<Pt> out;
    out.reserve(stored.size());
    for (const Pt& p : stored) {
        out.push_back(toCanvas(p));
    }
    return out;
}

namespace {
std::string trim(std::string_view text, std::string_view set) {
    const auto first = text.find_first_not_of(set);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(set);
    return std::string(text.substr(first, last - first + 1));
}

// Case-blind ordering on ASCII letters; other bytes compare as they are.
bool lessIgnoringCase(const std::string& a, const std::string& b) {
    return std::ranges::lexicographical_compare(a, b, [](unsigned char x, unsigned char y) {
        const auto lower = [](unsigned char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
        };
        return lower(x) < lower(y);
    });
}
}  // namespace

std::string trimBlanks(std::string_view text) {
    return trim(text, " \t");
}

std::string trimBlanksAndNewlines(std::string_view text) {
    return trim(text, " \t\n\r");
}

std::vector<AppChoice> appChoices(std::vector<AppChoice> running,
                                  const std::optional<std::string>& originalScope,
                                  const AppNamer& name) {
    std::ranges::stable_sort(running, [](const AppChoice& a, const AppChoice& b) {
        return lessIgnoringCase(a.name, b.name);
    });
    if (originalScope &&
        std::ranges::none_of(running, [&](const AppChoice& c) { return c.id == *originalScope; })) {
        running.insert(running.begin(), AppChoice{*originalScope, name(*originalScope)});
    }
    return running;
}

std::string_view gesturePickerLabel(TrackpadGesture::Kind kind) {
    using K = TrackpadGesture::Kind;
    switch (kind) {
        case K::tap:
            return "Tap";
        case K::swipeUp:
            return "Swipe up";
        case K::swipeDown:
            return "Swipe down";
        case K::swipeLeft:
            return "Swipe left";
        case K::swipeRight:
            return "Swipe right";
        case K::click:
            return "Click (press the trackpad)";
        case K::tipTapLeft:
            return "Tip-tap left (rest one finger, tap to its left)";
        case K::tipTapRight:
            return "Tip-tap right (rest one finger, tap to its right)";
    }
    return "";
}

std::string_view actionKindLabel(Action::Kind kind) {
    switch (kind) {
        case Action::Kind::window:
            return "Move window";
        case Action::Kind::system:
            return "System action";
        case Action::Kind::keystroke:
            return "Send keystroke";
        case Action::Kind::launchApp:
            return "Open app";
        case Action::Kind::openURL:
            return "Open URL";
        case Action::Kind::shell:
            return "Run shell command";
    }
    return "";
}

void BindingEditorModel::load() {
    const Trigger& t = original_.trigger;
    if (const auto* combo = t.asHotkey()) {
        hotkey = combo->keyCode < 0 ? std::nullopt : std::optional<KeyCombo>(*combo);
    } else if (const auto* gesture = t.asTrackpad()) {
        gestureKind = gesture->kind;
        fingers = gesture->fingers;
    } else if (const auto* b = t.asMouseButton()) {
        button = *b;
    } else if (const auto* drawing = t.asDrawing()) {
        drawName = drawing->name;
        drawPoints = toCanvas(drawing->points);
    }

    actionKind = original_.action.kind();
    std::visit(
        [this](const auto& payload) {
            using P = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<P, WindowAction>) {
                windowAction = payload;
            } else if constexpr (std::is_same_v<P, SystemAction>) {
                systemAction = payload;
            } else if constexpr (std::is_same_v<P, KeyCombo>) {
                keystroke = payload;
            } else if constexpr (std::is_same_v<P, Action::LaunchApp>) {
                appPath = payload.path;
            } else if constexpr (std::is_same_v<P, Action::OpenURL>) {
                url = payload.text;
            } else if constexpr (std::is_same_v<P, Action::Shell>) {
                shell = payload.command;
            }
        },
        original_.action.payload);

    scope = original_.appBundleID.value_or("");
}

std::optional<Trigger> BindingEditorModel::makeTrigger() const {
    switch (kind()) {
        case Trigger::Kind::hotkey:
            if (!hotkey) {
                return std::nullopt;
            }
            return Trigger::hotkey(*hotkey);
        case Trigger::Kind::trackpad: {
            const bool tipTap = gestureKind == TrackpadGesture::Kind::tipTapLeft ||
                                gestureKind == TrackpadGesture::Kind::tipTapRight;
            return Trigger::trackpad(TrackpadGesture{gestureKind, tipTap ? 2 : fingers});
        }
        case Trigger::Kind::mouse:
            return Trigger::mouseButton(button);
        case Trigger::Kind::drawing: {
            if (pathLength(drawPoints) < shortestSketch) {
                return std::nullopt;
            }
            auto normalized = ShapeMatcher::normalize(drawPoints);
            if (normalized.empty()) {
                return std::nullopt;
            }
            return Trigger::drawing(Drawing{trimBlanks(drawName), std::move(normalized)});
        }
    }
    return std::nullopt;
}

std::optional<Action> BindingEditorModel::makeAction() const {
    switch (actionKind) {
        case Action::Kind::window:
            return Action::window(windowAction);
        case Action::Kind::system:
            return Action::system(systemAction);
        case Action::Kind::keystroke:
            if (!keystroke) {
                return std::nullopt;
            }
            return Action::keystroke(*keystroke);
        case Action::Kind::launchApp:
            if (appPath.empty()) {
                return std::nullopt;
            }
            return Action::launchApp(appPath);
        case Action::Kind::openURL: {
            auto text = trimBlanks(url);
            if (text.empty()) {
                return std::nullopt;
            }
            return Action::openURL(std::move(text));
        }
        case Action::Kind::shell: {
            auto text = trimBlanksAndNewlines(shell);
            if (text.empty()) {
                return std::nullopt;
            }
            return Action::shell(std::move(text));
        }
    }
    return std::nullopt;
}

std::optional<std::string> BindingEditorModel::scopeValue() const {
    if (scope.empty()) {
        return std::nullopt;
    }
    return scope;
}

bool BindingEditorModel::isNew(const std::vector<Rule>& bindings) const {
    return std::ranges::none_of(bindings, [&](const Rule& r) { return r.id == original_.id; });
}

std::optional<Rule> BindingEditorModel::conflict(const std::vector<Rule>& bindings) const {
    const auto trigger = makeTrigger();
    if (!trigger) {
        return std::nullopt;
    }
    const auto scopeNow = scopeValue();
    for (const Rule& rule : bindings) {
        if (rule.id == original_.id) {
            continue;
        }
        if (rule.trigger == *trigger && rule.appBundleID == scopeNow) {
            return rule;
        }
    }
    return std::nullopt;
}

bool BindingEditorModel::canSave(const std::vector<Rule>& bindings) const {
    return makeTrigger() && makeAction() && !conflict(bindings);
}

std::optional<Rule> BindingEditorModel::result() const {
    auto trigger = makeTrigger();
    auto action = makeAction();
    if (!trigger || !action) {
        return std::nullopt;
    }
    Rule rule = original_;
    rule.trigger = std::move(*trigger);
    rule.action = std::move(*action);
    rule.appBundleID = scopeValue();
    return rule;
}

std::string conflictMessage(const Rule& rule, const AppNamer& name) {
    const std::string app = rule.appBundleID ? name(*rule.appBundleID) : std::string("All apps");
    return rule.trigger.label() + " in " + app + " already runs \"" + rule.action.label() +
           "\". Pick another trigger or app.";
}

}  // namespace ombrel
