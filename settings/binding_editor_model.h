// The binding editor's fields and decisions, kept apart from its widgets: loading a rule,
// building a trigger and an action from the fields, the scope, conflicts and the saved result.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/model.h"

namespace ombrel {

// The drawing canvas is this big, and a stored unit maps to this many canvas points.
inline constexpr double canvasWidth = 420;
inline constexpr double canvasHeight = 190;
inline constexpr double canvasScale = 140;
// A sketch shorter than this (in canvas points) is refused.
inline constexpr double shortestSketch = 60;

// Stored, normalised point to canvas point, and the whole list.
Pt toCanvas(Pt stored);
std::vector<Pt> toCanvas(const std::vector<Pt>& stored);

// Spaces and tabs trimmed from both ends; newlines stay.
std::string trimBlanks(std::string_view text);
// Spaces, tabs and line breaks trimmed from both ends.
std::string trimBlanksAndNewlines(std::string_view text);

// Display name of an application identifier: its desktop entry's name, else the identifier.
using AppNamer = std::function<std::string(const std::string&)>;

struct AppChoice {
    std::string id;
    std::string name;
    friend bool operator==(const AppChoice&, const AppChoice&) = default;
};

// The "In" picker's entries after "All apps": the running applications sorted by name without
// regard to case, and a scoped rule's application first when it is not running.
std::vector<AppChoice> appChoices(std::vector<AppChoice> running,
                                  const std::optional<std::string>& originalScope,
                                  const AppNamer& name);

// Labels of the gesture and action pickers, in declaration order.
std::string_view gesturePickerLabel(TrackpadGesture::Kind kind);
std::string_view actionKindLabel(Action::Kind kind);

class BindingEditorModel {
  public:
    explicit BindingEditorModel(Rule original) : original_(std::move(original)) {}

    // Fills the fields from the original rule.
    void load();

    [[nodiscard]] const Rule& original() const { return original_; }
    [[nodiscard]] Trigger::Kind kind() const { return original_.trigger.kind(); }

    [[nodiscard]] std::optional<Trigger> makeTrigger() const;
    [[nodiscard]] std::optional<Action> makeAction() const;
    [[nodiscard]] std::optional<std::string> scopeValue() const;
    // True when no stored rule has the original's id.
    [[nodiscard]] bool isNew(const std::vector<Rule>& bindings) const;
    // The first other rule with an equal trigger in the same scope, disabled ones included.
    [[nodiscard]] std::optional<Rule> conflict(const std::vector<Rule>& bindings) const;
    [[nodiscard]] bool canSave(const std::vector<Rule>& bindings) const;
    // The finished rule: the original's id and enabled flag with the fields' trigger, action and
    // scope; nothing while the fields are incomplete.
    [[nodiscard]] std::optional<Rule> result() const;

    // The editing state.
    std::optional<KeyCombo> hotkey;
    int64_t fingers = 3;
    TrackpadGesture::Kind gestureKind = TrackpadGesture::Kind::tap;
    int64_t button = 2;
    std::string drawName;
    std::vector<Pt> drawPoints;
    Action::Kind actionKind = Action::Kind::window;
    WindowAction windowAction = WindowAction::leftHalf;
    SystemAction systemAction = SystemAction::missionControl;
    std::optional<KeyCombo> keystroke;
    std::string appPath;
    std::string url;
    std::string shell;
    std::string scope;

  private:
    Rule original_;
};

// `<trigger> in <app> already runs "<action>". Pick another trigger or app.`
std::string conflictMessage(const Rule& rule, const AppNamer& name);

}  // namespace ombrel
