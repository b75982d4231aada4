// The settings window's left column: the mascot and name, one item per pane with its count,
// and the status line with the master switch at the bottom.
#pragma once

#include <QAbstractButton>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "config/observable.h"
#include "settings/pane.h"

namespace ombrel {

class Store;
class EngineStatus;
class MascotView;
class ToggleSwitch;
class TextLabel;

// One pane in the sidebar. The items are one group of radio buttons to the keyboard and to
// screen readers: one Tab stop, the arrow keys move the choice.
class SidebarItem : public QAbstractButton {
  public:
    SidebarItem(Pane pane, std::function<void()> action);
    void setSelected(bool selected);
    void setCount(std::optional<int64_t> count);
    [[nodiscard]] Pane pane() const { return pane_; }
    [[nodiscard]] bool selected() const { return isChecked(); }
    [[nodiscard]] const std::optional<int64_t>& count() const { return count_; }
    [[nodiscard]] QSize sizeHint() const override { return {186, 32}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    Pane pane_;
    bool hovering_ = false;
    // The window gives its first item the keyboard when it opens: marked only once used.
    bool focusMarked_ = false;
    std::optional<int64_t> count_;
};

// The 8-point status dot, glowing while the program listens.
class StatusDot : public QWidget {
  public:
    StatusDot();
    void setLook(QColor color, bool glow);
    [[nodiscard]] QColor color() const { return color_; }
    [[nodiscard]] bool glow() const { return glow_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor color_;
    bool glow_ = false;
};

class Sidebar : public QWidget {
  public:
    Sidebar(Store& store, EngineStatus& engine, Nav& nav);
    [[nodiscard]] SidebarItem* item(Pane pane) const;
    [[nodiscard]] QString statusWord() const;
    [[nodiscard]] ToggleSwitch* engineSwitch() const { return engineSwitch_; }
    [[nodiscard]] MascotView* mascot() const { return mascot_; }
    [[nodiscard]] StatusDot* dot() const { return dot_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void refresh();

    Store& store_;
    EngineStatus& engine_;
    Nav& nav_;
    std::vector<SidebarItem*> items_;
    MascotView* mascot_ = nullptr;
    StatusDot* dot_ = nullptr;
    TextLabel* word_ = nullptr;
    ToggleSwitch* engineSwitch_ = nullptr;
    Subscription configSub_;
    Subscription engineSub_;
    Subscription navSub_;
};

}  // namespace ombrel
