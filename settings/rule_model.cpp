// The rules of one trigger kind as a list model.
#include "settings/rule_model.h"

#include <algorithm>
#include <utility>

namespace ombrel {

RowDiff diffRows(std::span<const RowKey> before, std::span<const RowKey> after) {
    const std::size_t n = before.size();
    const std::size_t m = after.size();
    std::size_t prefix = 0;
    while (prefix < n && prefix < m && before[prefix].id == after[prefix].id) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < n - prefix && suffix < m - prefix &&
           before[n - 1 - suffix].id == after[m - 1 - suffix].id) {
        ++suffix;
    }
    RowDiff diff{static_cast<int>(prefix),
                 static_cast<int>(n - prefix - suffix),
                 static_cast<int>(m - prefix - suffix),
                 {}};
    for (std::size_t i = 0; i < prefix; ++i) {
        if (before[i].digest != after[i].digest) {
            diff.changed.push_back(static_cast<int>(i));
        }
    }
    for (std::size_t k = suffix; k > 0; --k) {
        if (before[n - k].digest != after[m - k].digest) {
            diff.changed.push_back(static_cast<int>(m - k));
        }
    }
    return diff;
}

std::size_t RuleListModel::UuidHash::operator()(const Uuid& id) const {
    // Random ids: their first bytes are as good a hash as any.
    std::size_t h = 0;
    for (std::size_t i = 0; i < sizeof(h); ++i) {
        h = (h << 8) | id.bytes[i];
    }
    return h;
}

RuleListModel::RuleListModel(Source source, Trigger::Kind kind, AppNamer appName, QObject* parent)
    : QAbstractListModel(parent),
      source_(std::move(source)),
      shown_(source_()),
      kind_(kind),
      appName_(std::move(appName)) {
    readRows(keys_, indices_);
}

void RuleListModel::readRows(std::vector<RowKey>& keys, std::vector<std::size_t>& indices) const {
    keys.clear();
    indices.clear();
    const auto& bindings = shown_->bindings;
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        if (bindings[i].trigger.kind() == kind_) {
            keys.push_back({bindings[i].id, hashValue(bindings[i])});
            indices.push_back(i);
        }
    }
}

void RuleListModel::sync() {
    // Rows are read from the new configuration from here on (rule() guards the places past its
    // end); the old one stays alive until the rows that came from it are gone.
    const std::shared_ptr<const Config> old = std::exchange(shown_, source_());
    std::vector<RowKey> keys;
    std::vector<std::size_t> indices;
    readRows(keys, indices);
    const RowDiff diff = diffRows(keys_, keys);
    const auto oldCount = static_cast<int>(keys_.size());
    const auto newCount = static_cast<int>(keys.size());
    if (diff.removed > 0 && diff.removed == oldCount && diff.inserted == newCount) {
        beginResetModel();
        keys_ = std::move(keys);
        indices_ = std::move(indices);
        rowById_.clear();
        endResetModel();
        return;
    }
    const auto kept = [&](auto& out, const auto& from) {
        // The rows at both ends, as they are in the new configuration.
        const auto suffix = static_cast<std::ptrdiff_t>(newCount - diff.first - diff.inserted);
        out.assign(from.begin(), from.begin() + diff.first);
        out.insert(out.end(), from.end() - suffix, from.end());
    };
    if (diff.removed > 0) {
        beginRemoveRows({}, diff.first, diff.first + diff.removed - 1);
        kept(keys_, keys);
        kept(indices_, indices);
        rowById_.clear();
        endRemoveRows();
    }
    if (diff.inserted > 0) {
        beginInsertRows({}, diff.first, diff.first + diff.inserted - 1);
        keys_ = std::move(keys);
        indices_ = std::move(indices);
        rowById_.clear();
        endInsertRows();
    } else {
        // Same rows: only the places in the configuration and the digests may have moved.
        keys_ = std::move(keys);
        indices_ = std::move(indices);
    }
    announceChanged(diff.changed);
}

bool RuleListModel::takenRule(const Rule& rule) const {
    return rule.enabled && !taken_.empty() && taken_.contains(rule.trigger);
}

void RuleListModel::setTaken(const std::vector<Trigger>& taken) {
    std::unordered_set<Trigger> next(taken.begin(), taken.end());
    if (next == taken_) {
        return;
    }
    std::vector<int> flipped;
    for (int row = 0; row < rowCount(); ++row) {
        const Rule& r = rule(row);
        if (r.enabled && taken_.contains(r.trigger) != next.contains(r.trigger)) {
            flipped.push_back(row);
        }
    }
    taken_ = std::move(next);
    announceChanged(flipped);
}

void RuleListModel::announceChanged(const std::vector<int>& rows) {
    // One signal per run of neighbouring rows.
    std::size_t i = 0;
    while (i < rows.size()) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) {
            ++j;
        }
        emit dataChanged(index(rows[i]), index(rows[j]));
        i = j + 1;
    }
}

int RuleListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(keys_.size());
}

QVariant RuleListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return name(index.row());
        case Qt::CheckStateRole:
            return rule(index.row()).enabled ? Qt::Checked : Qt::Unchecked;
        default:
            return {};
    }
}

const Rule& RuleListModel::rule(int row) const {
    const auto i = indices_[static_cast<std::size_t>(row)];
    if (i < shown_->bindings.size()) {
        return shown_->bindings[i];
    }
    // Only while rows are being removed can a row point past the new configuration.
    static const Rule gone;
    return gone;
}

bool RuleListModel::taken(int row) const {
    return takenRule(rule(row));
}

std::optional<int> RuleListModel::rowOf(const Uuid& id) const {
    if (rowById_.empty() && !keys_.empty()) {
        rowById_.reserve(keys_.size());
        for (std::size_t row = 0; row < keys_.size(); ++row) {
            rowById_.emplace(keys_[row].id, static_cast<int>(row));
        }
    }
    const auto it = rowById_.find(id);
    return it == rowById_.end() ? std::nullopt : std::optional<int>(it->second);
}

QString RuleListModel::name(int row) const {
    const Rule& r = rule(row);
    return QString::fromStdString(r.trigger.label() + " " + r.action.label());
}

QString RuleListModel::scopeText(int row) const {
    const Rule& r = rule(row);
    if (!r.appBundleID) {
        return {};
    }
    return "Only in " +
           QString::fromStdString(appName_ ? appName_(*r.appBundleID) : *r.appBundleID);
}

}  // namespace ombrel
