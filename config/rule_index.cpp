#include "config/rule_index.h"

#include <algorithm>
#include <bit>

namespace ombrel {

namespace {

// Fibonacci hashing: trigger hashes may differ only in their low bits (key codes in a row).
std::size_t home(std::size_t hash, unsigned shift) {
    return static_cast<std::size_t>((static_cast<uint64_t>(hash) * 0x9E3779B97F4A7C15ULL) >> shift);
}

}  // namespace

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
    std::size_t distinct = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        distinct += i == 0 || entries_[i].hash != entries_[i - 1].hash ? 1 : 0;
    }
    if (distinct == 0) {
        return;
    }
    // At most half full, so that a miss meets a free slot within a probe or two.
    const std::size_t size = std::bit_ceil(std::max<std::size_t>(2 * distinct, 8));
    shift_ = 64U - static_cast<unsigned>(std::countr_zero(size));
    slots_.assign(size, 0);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (i > 0 && entries_[i].hash == entries_[i - 1].hash) {
            continue;
        }
        std::size_t s = home(entries_[i].hash, shift_);
        while (slots_[s] != 0) {
            s = (s + 1) & (size - 1);
        }
        slots_[s] = static_cast<uint32_t>(i + 1);
    }
}

std::pair<const RuleIndex::Entry*, const RuleIndex::Entry*> RuleIndex::candidates(
    std::size_t hash) const {
    if (slots_.empty()) {
        return {nullptr, nullptr};
    }
    const Entry* end = entries_.data() + entries_.size();
    for (std::size_t s = home(hash, shift_);; s = (s + 1) & (slots_.size() - 1)) {
        if (slots_[s] == 0) {
            return {nullptr, nullptr};
        }
        const Entry* first = entries_.data() + (slots_[s] - 1);
        if (first->hash == hash) {
            const Entry* last = first;
            while (last != end && last->hash == hash) {
                ++last;
            }
            return {first, last};
        }
    }
}

}  // namespace ombrel
