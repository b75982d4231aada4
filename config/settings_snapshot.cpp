#include "config/settings_snapshot.h"

#include <algorithm>

namespace ombrel {

std::shared_ptr<const SettingsSnapshot> SettingsSnapshot::of(Config config) {
    auto s = std::make_shared<SettingsSnapshot>();
    s->config = std::move(config);
    s->index = RuleIndex(s->config.bindings);
    for (const Rule& rule : s->config.bindings) {
        if (!rule.enabled) {
            continue;
        }
        if (const KeyCombo* combo = rule.trigger.asHotkey()) {
            s->hotkeys.push_back(*combo);
            if (const auto bit = static_cast<uint64_t>(combo->keyCode);
                bit < 64 * s->keyFilter.size()) {
                s->keyFilter[bit / 64] |= uint64_t{1} << (bit % 64);
            }
        } else if (const int64_t* button = rule.trigger.asMouseButton(); button && *button >= 2) {
            s->buttons.push_back(*button);
        } else if (const TrackpadGesture* gesture = rule.trigger.asTrackpad()) {
            if (gesture->fingers >= 0 && gesture->fingers < 64) {
                const uint64_t bit = uint64_t{1} << gesture->fingers;
                s->clickFingers |= gesture->kind == TrackpadGesture::Kind::click ? bit : 0;
                s->tapFingers |= gesture->kind == TrackpadGesture::Kind::tap ? bit : 0;
            }
        } else if (const Drawing* drawing = rule.trigger.asDrawing()) {
            s->drawings.push_back(*drawing);
        }
    }
    std::sort(s->hotkeys.begin(), s->hotkeys.end(), [](const KeyCombo& a, const KeyCombo& b) {
        return a.keyCode != b.keyCode ? a.keyCode < b.keyCode : a.mods.rawValue < b.mods.rawValue;
    });
    s->hotkeys.erase(std::unique(s->hotkeys.begin(), s->hotkeys.end()), s->hotkeys.end());
    std::sort(s->buttons.begin(), s->buttons.end());
    s->buttons.erase(std::unique(s->buttons.begin(), s->buttons.end()), s->buttons.end());
    return s;
}

}  // namespace ombrel
