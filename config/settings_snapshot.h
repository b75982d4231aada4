// The settings in force as one immutable value: the configuration, its rule index and what the
// input engine derives from it, built once per change on the store's thread and read from any
// thread through a shared pointer, so no reader ever waits for a writer.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "config/model.h"
#include "config/rule_index.h"

namespace ombrel {

struct SettingsSnapshot {
    Config config;
    RuleIndex index;  // of config.bindings
    // Enabled hotkey triggers, sorted by key code then modifiers, each once.
    std::vector<KeyCombo> hotkeys;
    // Bit n set when one of those has key code n (the codes keyboards send are below 8192): a
    // key whose bit is clear is bound to nothing, known from one cache line before the rule
    // index is searched.
    std::array<uint64_t, 128> keyFilter{};
    // Enabled mouse-button triggers from the centre button up, sorted, each once.
    std::vector<int64_t> buttons;
    // Finger counts (bit n) for which an enabled trackpad click rule exists, and a tap rule.
    uint64_t clickFingers = 0;
    uint64_t tapFingers = 0;
    // The drawings of the enabled drawing rules, in list order, whatever their scope.
    std::vector<Drawing> drawings;

    static std::shared_ptr<const SettingsSnapshot> of(Config config);

    // False when no enabled rule has a shortcut with this key; true when one may.
    [[nodiscard]] bool mayBindKey(int64_t keyCode) const {
        const auto bit = static_cast<uint64_t>(keyCode);
        return bit >= 64 * keyFilter.size() || ((keyFilter[bit / 64] >> (bit % 64)) & 1U) != 0;
    }

    // The enabled rule with an equal trigger: scoped to frontApp first, then unscoped; earlier
    // wins among equals. Valid as long as the snapshot is.
    [[nodiscard]] const Rule* matchingRule(const Trigger& trigger,
                                           std::optional<std::string_view> frontApp) const {
        return index.match(config.bindings, trigger, [&] { return frontApp; });
    }
    // The same, asking for the frontmost application only when a scoped rule needs it.
    template <class FrontApp>
    [[nodiscard]] const Rule* matchingRuleAskingFront(const Trigger& trigger,
                                                      FrontApp&& frontApp) const {
        return index.match(config.bindings, trigger, std::forward<FrontApp>(frontApp));
    }
};

// The settings in force as their one writer last published them, for readers on any thread: a
// load never waits for the writer and keeps a consistent value for as long as it is held.
class SettingsFeed {
  public:
    explicit SettingsFeed(std::shared_ptr<const SettingsSnapshot> first = SettingsSnapshot::of({}))
        : current_(std::move(first)) {}

    [[nodiscard]] std::shared_ptr<const SettingsSnapshot> load() const {
        return current_.load(std::memory_order_acquire);
    }
    void publish(std::shared_ptr<const SettingsSnapshot> next) {
        current_.store(std::move(next), std::memory_order_release);
        generation_.fetch_add(1, std::memory_order_release);
    }
    // Counts the publications, so a reader that has the latest can tell with one load.
    [[nodiscard]] uint64_t generation() const {
        return generation_.load(std::memory_order_acquire);
    }

  private:
    std::atomic<std::shared_ptr<const SettingsSnapshot>> current_;
    std::atomic<uint64_t> generation_{0};
};

}  // namespace ombrel
