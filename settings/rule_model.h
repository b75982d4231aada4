// The rules of one trigger kind as a list model over the store's configuration. Rows refer to the
// rules by their place in the configuration rather than holding copies, and a change of the
// configuration announces only the rows it touched, so a list of any length stays quick.
#pragma once

#include <QAbstractListModel>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "config/model.h"
#include "settings/binding_editor_model.h"

namespace ombrel {

// What tells one row from another between two configurations, and whether its look changed.
struct RowKey {
    Uuid id;
    std::size_t digest = 0;
    friend bool operator==(const RowKey&, const RowKey&) = default;
};

// One list of rows turned into another: the rows equal by id at both ends stay, the stretch
// between is replaced, and rows kept whose digest differs are changed.
struct RowDiff {
    int first = 0;             // where the replaced stretch starts
    int removed = 0;           // rows of the old list in it
    int inserted = 0;          // rows of the new list in their place
    std::vector<int> changed;  // kept rows whose look changed, numbered in the new list
    friend bool operator==(const RowDiff&, const RowDiff&) = default;
};
RowDiff diffRows(std::span<const RowKey> before, std::span<const RowKey> after);

class RuleListModel : public QAbstractListModel {
  public:
    // The configuration in force, shared rather than copied (the store's sharedConfig()).
    using Source = std::function<std::shared_ptr<const Config>()>;
    // Reads the source now and at every sync(); call sync() after every change of it.
    RuleListModel(Source source, Trigger::Kind kind, AppNamer appName, QObject* parent = nullptr);

    // Reads the configuration again and announces what changed.
    void sync();
    // Triggers another program holds; the rows of enabled rules among them say so.
    void setTaken(const std::vector<Trigger>& taken);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

    [[nodiscard]] const Rule& rule(int row) const;
    [[nodiscard]] bool taken(int row) const;
    [[nodiscard]] std::optional<int> rowOf(const Uuid& id) const;
    // "⌃⌥← Window: Left half": what the row says, for screen readers and the controls' names.
    [[nodiscard]] QString name(int row) const;
    // "Only in Firefox", or empty for a rule of all applications.
    [[nodiscard]] QString scopeText(int row) const;
    static constexpr const char* takenText = "Taken by another program";

  private:
    struct UuidHash {
        std::size_t operator()(const Uuid& id) const;
    };
    void readRows(std::vector<RowKey>& keys, std::vector<std::size_t>& indices) const;
    [[nodiscard]] bool takenRule(const Rule& rule) const;
    void announceChanged(const std::vector<int>& rows);

    Source source_;
    // The configuration the rows were read from, held until the next sync.
    std::shared_ptr<const Config> shown_;
    Trigger::Kind kind_;
    AppNamer appName_;
    // Per row: its key, and its place in the configuration's bindings.
    std::vector<RowKey> keys_;
    std::vector<std::size_t> indices_;
    std::unordered_set<Trigger> taken_;
    // Built on demand, dropped whenever rows move.
    mutable std::unordered_map<Uuid, int, UuidHash> rowById_;
};

}  // namespace ombrel
