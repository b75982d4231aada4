// The settings window's content: the sidebar on the left; on the right the input banner, the
// load-error sentence and the selected pane; the binding editor as a sheet hanging from the top of
// the window over a dimmed content.
#pragma once

#include <QWidget>
#include <memory>
#include <utility>
#include <vector>

#include "config/observable.h"
#include "settings/pane.h"
#include "settings/settings_deps.h"

namespace ombrel {

class Sidebar;
class BindingEditor;
class TextLabel;
class ProminentButton;

class AccessBanner : public QWidget {
  public:
    explicit AccessBanner(std::function<void()> onOpen);
    [[nodiscard]] ProminentButton* button() const { return button_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    ProminentButton* button_ = nullptr;
};

class SettingsView : public QWidget {
    Q_OBJECT
  public:
    explicit SettingsView(SettingsDeps& deps);
    ~SettingsView() override;
    SettingsView(const SettingsView&) = delete;
    SettingsView& operator=(const SettingsView&) = delete;

    [[nodiscard]] Sidebar* sidebar() const { return sidebar_; }
    [[nodiscard]] AccessBanner* banner() const { return banner_; }
    // The load-error sentence as shown, empty when there is none.
    [[nodiscard]] QString loadErrorText() const;
    // The widget of the pane shown now (a RulePane or the GeneralPane).
    [[nodiscard]] QWidget* currentPane() const { return pane_; }
    // The open editor sheet, if any.
    [[nodiscard]] BindingEditor* editor() const { return editor_.get(); }
    // Opens the editor with the rule, as "Add", the pencil or a double click do.
    void edit(const Rule& rule);
    // Deletes the rule, remembering it for undo() while the window stays open.
    void remove(const Rule& rule);
    // Edit ▸ Undo: brings back the rule deleted last, at its place.
    Q_INVOKABLE void undo();

    [[nodiscard]] QSize sizeHint() const override { return {860, 580}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct DeleteLater {
        void operator()(QObject* object) const;
    };
    void showPane(Pane pane);
    void refreshState();
    void placeSheet();

    SettingsDeps& deps_;
    AppNamer appName_;
    Sidebar* sidebar_ = nullptr;
    QWidget* content_ = nullptr;
    AccessBanner* banner_ = nullptr;
    TextLabel* loadError_ = nullptr;
    QWidget* pane_ = nullptr;
    Pane shown_ = Pane::keyboard;
    QWidget* scrim_ = nullptr;
    std::unique_ptr<BindingEditor, DeleteLater> editor_;
    // Deleted rules with their places, last at the back.
    std::vector<std::pair<Rule, std::size_t>> deleted_;
    Subscription navSub_;
    Subscription engineSub_;
    Subscription loadErrorSub_;
};

}  // namespace ombrel
