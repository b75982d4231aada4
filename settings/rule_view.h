// The list of a rule pane: one painted row per rule, whatever their number. A row shows the
// trigger, the action and the rule's scope, and three controls (edit, delete, enable) that the
// pointer, the keyboard and screen readers reach like separate buttons.
#pragma once

#include <QListView>
#include <QPersistentModelIndex>
#include <QTimer>
#include <functional>
#include <map>

#include "config/model.h"

namespace ombrel {

class RuleListModel;

namespace rowlayout {
// A row's card, and the gap below it.
inline constexpr int cardHeight = 58;
inline constexpr int gap = 8;
inline constexpr int sidePadding = 24;
inline constexpr double minTriggerWidth = 190;

struct Parts {
    QRectF card, trigger, arrow, symbol, texts, edit, remove, enable;
};
// Where the parts of a row go in its item rectangle, for a trigger of the given natural width.
Parts place(const QRectF& item, double triggerWidth);
}  // namespace rowlayout

class RuleListView : public QListView {
    Q_OBJECT
  public:
    // The row's controls in reading order; none is the row outside them.
    enum class Part { none, edit, remove, enable };
    struct Actions {
        std::function<void(const Rule&)> edit;
        std::function<void(const Rule&)> remove;
        std::function<void(const Rule&, bool)> setEnabled;
    };

    RuleListView(RuleListModel& model, Actions actions);

    [[nodiscard]] RuleListModel& rules() const { return model_; }
    // What a click, Return or Space on a part does.
    void press(int row, Part part);
    // Where a part is, in the viewport's coordinates.
    [[nodiscard]] QRect partRect(int row, Part part) const;
    [[nodiscard]] Part partAt(const QPoint& viewportPos, int* row = nullptr) const;
    // The control that has the keyboard: a row and a part, or -1.
    [[nodiscard]] int focusRow() const;
    [[nodiscard]] Part focusPart() const { return focusPart_; }
    [[nodiscard]] int hoveredRow() const;
    // How far the hover look of a row has come, 0 to 1.
    [[nodiscard]] double hoverProgress(int row) const;
    // "Edit ⌃⌥← Window: Left half", the name of a row's control.
    [[nodiscard]] QString partName(int row, Part part) const;

    void paintRow(QPainter& p, const QRect& item, int row) const;

  protected:
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

  private:
    class Delegate;
    void setFocusTo(int row, Part part);
    void setHovered(int row);
    void stepHover();
    void announceFocus();
    void repaintRow(int row);

    RuleListModel& model_;
    Actions actions_;
    Part focusPart_ = Part::edit;
    // Shown after keyboard use only, as desktops do.
    bool focusVisible_ = false;
    QPersistentModelIndex hovered_;
    QPersistentModelIndex pressedRow_;
    Part pressedPart_ = Part::none;
    Part hoveredPart_ = Part::none;
    // Hover looks still fading in or out, by rule.
    std::map<Uuid, double> fade_;
    QTimer fadeTimer_;
};

}  // namespace ombrel
