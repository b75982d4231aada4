// A rule pane: the header with the count of active rules and "Add", then one row per rule of the
// pane's trigger kind, or the empty state when there are none.
#pragma once

#include <QVariantAnimation>
#include <QWidget>
#include <functional>
#include <map>

#include "config/model.h"
#include "config/observable.h"
#include "settings/binding_editor_model.h"
#include "settings/pane.h"

class QScrollArea;
class QVBoxLayout;

namespace ombrel {

class Store;
class TriggerView;
class SymbolView;
class IconButton;
class ToggleSwitch;
class TextLabel;
class ProminentButton;
class ElidedLabel;

class RuleRow : public QWidget {
  public:
    RuleRow(Store& store, Rule rule, AppNamer appName, std::function<void(const Rule&)> edit);
    void setRule(Rule rule);
    [[nodiscard]] const Rule& rule() const { return rule_; }
    [[nodiscard]] bool hovering() const { return hovering_; }
    [[nodiscard]] double hoverProgress() const { return progress_; }
    [[nodiscard]] IconButton* editButton() const { return edit_; }
    [[nodiscard]] IconButton* deleteButton() const { return delete_; }
    [[nodiscard]] ToggleSwitch* enableSwitch() const { return enable_; }
    [[nodiscard]] QString actionText() const;
    [[nodiscard]] QString scopeText() const;
    void setHovering(bool hovering);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void refresh();

    Store& store_;
    Rule rule_;
    AppNamer appName_;
    std::function<void(const Rule&)> edit_fn_;
    bool hovering_ = false;
    double progress_ = 0;
    QVariantAnimation animation_;
    TriggerView* trigger_ = nullptr;
    SymbolView* actionSymbol_ = nullptr;
    ElidedLabel* actionLabel_ = nullptr;
    ElidedLabel* scopeLabel_ = nullptr;
    IconButton* edit_ = nullptr;
    IconButton* delete_ = nullptr;
    ToggleSwitch* enable_ = nullptr;
};

class EmptyState : public QWidget {
  public:
    explicit EmptyState(Pane pane);
    [[nodiscard]] QString sentence() const;

  private:
    TextLabel* sentence_ = nullptr;
};

class RulePane : public QWidget {
  public:
    RulePane(Store& store, Pane pane, AppNamer appName, std::function<void(const Rule&)> edit);

    [[nodiscard]] Pane pane() const { return pane_; }
    [[nodiscard]] QString subtitle() const;
    [[nodiscard]] ProminentButton* addButton() const { return add_; }
    // Rows in display order.
    [[nodiscard]] std::vector<RuleRow*> rows() const;
    [[nodiscard]] EmptyState* emptyState() const;

  private:
    void refresh();

    Store& store_;
    Pane pane_;
    AppNamer appName_;
    std::function<void(const Rule&)> edit_;
    TextLabel* subtitle_ = nullptr;
    ProminentButton* add_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* list_ = nullptr;
    QVBoxLayout* listLayout_ = nullptr;
    EmptyState* empty_ = nullptr;
    std::map<Uuid, RuleRow*> rows_;
    std::vector<RuleRow*> order_;
    Subscription configSub_;
};

}  // namespace ombrel
