// The enabled rules by trigger, built once per settings change, so that finding the rule for an
// event costs the same whatever the length of the list: one hash, a probe or two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "config/model.h"

namespace ombrel {

class RuleIndex {
  public:
    RuleIndex() = default;
    // Indexes the enabled rules of the list; the list must not change while the index is used.
    explicit RuleIndex(const std::vector<Rule>& rules);

    // The enabled rule of `rules` (the list the index was built from) with an equal trigger:
    // scoped to the frontmost application first, then unscoped; earlier wins among equals.
    // frontApp() answers std::optional<std::string_view> and is asked only when a rule scoped to
    // some application has this trigger, so an unbound event costs no query of the desktop.
    template <class FrontApp>
    [[nodiscard]] const Rule* match(const std::vector<Rule>& rules, const Trigger& trigger,
                                    FrontApp&& frontApp) const {
        const auto [first, last] = candidates(hashValue(trigger));
        const Rule* unscoped = nullptr;
        bool asked = false;
        std::optional<std::string_view> front;
        for (auto it = first; it != last; ++it) {
            const Rule& rule = rules[it->rule];
            if (rule.trigger != trigger) {
                continue;  // another trigger with the same hash
            }
            if (!rule.appBundleID) {
                if (unscoped == nullptr) {
                    unscoped = &rule;
                }
                continue;
            }
            if (!asked) {
                front = frontApp();
                asked = true;
            }
            if (front && *rule.appBundleID == *front) {
                return &rule;
            }
        }
        return unscoped;
    }

  private:
    struct Entry {
        std::size_t hash = 0;
        uint32_t rule = 0;  // position in the list
    };
    [[nodiscard]] std::pair<const Entry*, const Entry*> candidates(std::size_t hash) const;

    std::vector<Entry> entries_;  // by hash, then by position in the list
    // Open addressing over the distinct hashes: 1 + where a hash's entries start, 0 for free.
    std::vector<uint32_t> slots_;
    unsigned shift_ = 0;  // a hash's home slot is its mixed top bits
};

}  // namespace ombrel
