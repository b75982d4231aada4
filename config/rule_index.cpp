#include "config/rule_index.h"

#include <algorithm>

namespace ombrel {

RuleIndex::RuleIndex(const std::vector<Rule>& rules) {
    entries_.reserve(rules.size());
    for (std::size_t i = 0; i < rules.size(); ++i) {
        if (rules[i].enabled) {
            entries_.push_back({hashValue(rules[i].trigger), static_cast<uint32_t>(i)});
        }
    }
    // Equal hashes keep list order, so earlier rules win.
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.rule < b.rule;
    });
}

std::pair<const RuleIndex::Entry*, const RuleIndex::Entry*> RuleIndex::candidates(
    std::size_t hash) const {
    const auto [first, last] =
        std::equal_range(entries_.begin(), entries_.end(), Entry{hash, 0},
                         [](const Entry& a, const Entry& b) { return a.hash < b.hash; });
    return {entries_.data() + (first - entries_.begin()),
            entries_.data() + (last - entries_.begin())};
}

}  // namespace ombrel
