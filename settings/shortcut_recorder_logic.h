// The shortcut recorder's rules: when it records, which key presses it takes and which it refuses
// with a hint, and the engine pause that lasts exactly as long as the recording.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "config/model.h"

namespace ombrel {

inline constexpr int64_t escapeKeyCode = 53;
inline constexpr std::string_view modifierHint = "Add ⌘, ⌥ or ⌃ so normal typing still works.";

// F1 to F15, which may be recorded without a modifier.
bool isFunctionKey(int64_t keyCode);

class ShortcutRecorderLogic {
  public:
    enum class Outcome { notRecording, cancelled, refused, accepted };

    // setEngineRecording pauses the engine while true.
    ShortcutRecorderLogic(bool requireModifier, std::function<void(bool)> setEngineRecording);
    ~ShortcutRecorderLogic();
    ShortcutRecorderLogic(const ShortcutRecorderLogic&) = delete;
    ShortcutRecorderLogic& operator=(const ShortcutRecorderLogic&) = delete;

    void start();
    void stop();
    void toggle() { recording_ ? stop() : start(); }
    // A key-down while recording; the caller consumes the event whatever the outcome. Only the
    // four modifiers are recorded.
    Outcome handleKey(int64_t keyCode, Mods held);

    [[nodiscard]] bool recording() const { return recording_; }
    [[nodiscard]] const std::optional<KeyCombo>& combo() const { return combo_; }
    void setCombo(std::optional<KeyCombo> combo) { combo_ = combo; }
    [[nodiscard]] const std::optional<std::string_view>& hint() const { return hint_; }
    [[nodiscard]] bool requireModifier() const { return requireModifier_; }

  private:
    bool requireModifier_;
    std::function<void(bool)> setEngineRecording_;
    bool recording_ = false;
    std::optional<KeyCombo> combo_;
    std::optional<std::string_view> hint_;
};

}  // namespace ombrel
