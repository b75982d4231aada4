// The shortcut recorder's rules, apart from its widget.
#include "settings/shortcut_recorder_logic.h"

#include <algorithm>
#include <array>

namespace ombrel {

bool isFunctionKey(int64_t keyCode) {
    static constexpr std::array<int64_t, 15> keys = {122, 120, 99,  118, 96,  97,  98, 100,
                                                     101, 109, 103, 111, 105, 107, 113};
    return std::ranges::find(keys, keyCode) != keys.end();
}

ShortcutRecorderLogic::ShortcutRecorderLogic(bool requireModifier,
                                             std::function<void(bool)> setEngineRecording)
    : requireModifier_(requireModifier), setEngineRecording_(std::move(setEngineRecording)) {}

ShortcutRecorderLogic::~ShortcutRecorderLogic() {
    // No engine pause may outlive the control.
    if (recording_) {
        stop();
    }
}

void ShortcutRecorderLogic::start() {
    recording_ = true;
    hint_.reset();
    if (setEngineRecording_) {
        setEngineRecording_(true);
    }
}

void ShortcutRecorderLogic::stop() {
    recording_ = false;
    if (setEngineRecording_) {
        setEngineRecording_(false);
    }
}

ShortcutRecorderLogic::Outcome ShortcutRecorderLogic::handleKey(int64_t keyCode, Mods held) {
    if (!recording_) {
        return Outcome::notRecording;
    }
    if (keyCode == escapeKeyCode) {
        stop();
        return Outcome::cancelled;
    }
    const Mods mods =
        held.intersect(Mods(Mods::command | Mods::option | Mods::control | Mods::shift));
    const bool hasRealModifier =
        (mods.rawValue & (Mods::command | Mods::option | Mods::control)) != 0;
    if (requireModifier_ && !isFunctionKey(keyCode) && !hasRealModifier) {
        hint_ = modifierHint;
        return Outcome::refused;
    }
    combo_ = KeyCombo{std::clamp<int64_t>(keyCode, 0, 65535), mods};
    stop();
    return Outcome::accepted;
}

}  // namespace ombrel
