// A rule pane: the header with the count of active rules and "Add", then the list of the rules of
// the pane's trigger kind, or the empty state when there are none.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "config/model.h"
#include "config/observable.h"
#include "settings/binding_editor_model.h"
#include "settings/pane.h"

namespace ombrel {

class Store;
class EngineStatus;
class TextLabel;
class ProminentButton;
class RuleListModel;
class RuleListView;

class EmptyState : public QWidget {
  public:
    explicit EmptyState(Pane pane);
    [[nodiscard]] QString sentence() const;

  private:
    TextLabel* sentence_ = nullptr;
};

class RulePane : public QWidget {
  public:
    struct Actions {
        // Opens the editor with the rule ("Add", the pencil, a double click).
        std::function<void(const Rule&)> edit;
        // Deletes the rule, so that it can be brought back.
        std::function<void(const Rule&)> remove;
    };
    RulePane(Store& store, EngineStatus& engine, Pane pane, AppNamer appName, Actions actions);
    ~RulePane() override;
    RulePane(const RulePane&) = delete;
    RulePane& operator=(const RulePane&) = delete;

    [[nodiscard]] Pane pane() const { return pane_; }
    [[nodiscard]] QString subtitle() const;
    [[nodiscard]] ProminentButton* addButton() const { return add_; }
    [[nodiscard]] RuleListView* list() const { return list_; }
    [[nodiscard]] RuleListModel& rules() const { return *model_; }
    [[nodiscard]] EmptyState* emptyState() const;

  private:
    void refresh();

    Store& store_;
    EngineStatus& engine_;
    Pane pane_;
    Actions actions_;
    std::unique_ptr<RuleListModel> model_;
    TextLabel* subtitle_ = nullptr;
    ProminentButton* add_ = nullptr;
    RuleListView* list_ = nullptr;
    EmptyState* empty_ = nullptr;
    Subscription configSub_;
    Subscription engineSub_;
};

}  // namespace ombrel
