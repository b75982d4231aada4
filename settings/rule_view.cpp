// The list of a rule pane, its painted rows and what screen readers see of them.
#include "settings/rule_view.h"

#include <QAbstractItemDelegate>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <array>
#include <memory>

#include "art/symbols.h"
#include "settings/rule_list.h"
#include "settings/rule_model.h"
#include "settings/style.h"
#include "settings/trigger_view.h"
#include "settings/widgets.h"

namespace ombrel {

using Part = RuleListView::Part;

namespace rowlayout {

Parts place(const QRectF& item, double triggerWidth) {
    constexpr double inset = 16;
    constexpr double spacing = 12;
    constexpr double button = 26;
    // The action's text keeps at least this much of the row when a trigger is very wide.
    constexpr double minTexts = 80;
    Parts r;
    r.card =
        QRectF(item.left() + sidePadding, item.top(), item.width() - 2 * sidePadding, cardHeight);
    const QRectF inner = r.card.adjusted(inset, 12, -inset, -12);
    const double mid = inner.center().y();
    const QSizeF sw = ToggleSwitch::size(true);
    r.enable = QRectF(inner.right() - sw.width(), mid - sw.height() / 2, sw.width(), sw.height());
    r.remove = QRectF(r.enable.left() - spacing - button, mid - button / 2, button, button);
    r.edit = QRectF(r.remove.left() - spacing - button, mid - button / 2, button, button);
    const double room = r.edit.left() - spacing - inner.left() - 3 * spacing - 12 - 20 - minTexts;
    const double width = std::max(minTriggerWidth, std::min(triggerWidth, room));
    r.trigger = QRectF(inner.left(), inner.top(), width, inner.height());
    r.arrow = QRectF(r.trigger.right() + spacing, mid - 6, 12, 12);
    r.symbol = QRectF(r.arrow.right() + spacing, mid - 10, 20, 20);
    const double textsLeft = r.symbol.right() + spacing;
    r.texts = QRectF(textsLeft, inner.top(), std::max(0.0, r.edit.left() - spacing - textsLeft),
                     inner.height());
    return r;
}

}  // namespace rowlayout

namespace {

constexpr std::array<Part, 3> kParts = {Part::edit, Part::remove, Part::enable};
constexpr int kFadeStepMs = 16;
constexpr double kFadeMs = 150;

QRectF partShape(const rowlayout::Parts& parts, Part part) {
    switch (part) {
        case Part::edit:
            return parts.edit;
        case Part::remove:
            return parts.remove;
        case Part::enable:
            return parts.enable;
        case Part::none:
            break;
    }
    return parts.card;
}

// What screen readers see of one control of a row. Rows and controls are found again by the
// rule's id, so they stay right while rows come and go around them.
class PartAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
  public:
    PartAccessible(RuleListView* view, const Uuid& id, Part part)
        : view_(view), id_(id), part_(part) {}

    [[nodiscard]] bool isValid() const override { return row() >= 0; }
    [[nodiscard]] QObject* object() const override { return nullptr; }
    [[nodiscard]] QWindow* window() const override {
        return view_ ? view_->window()->windowHandle() : nullptr;
    }
    [[nodiscard]] QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    [[nodiscard]] QAccessibleInterface* parent() const override;
    [[nodiscard]] QAccessibleInterface* child(int) const override { return nullptr; }
    [[nodiscard]] int childCount() const override { return 0; }
    [[nodiscard]] int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    [[nodiscard]] QString text(QAccessible::Text t) const override {
        const int r = row();
        return r >= 0 && t == QAccessible::Name ? view_->partName(r, part_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    [[nodiscard]] QRect rect() const override {
        const int r = row();
        if (r < 0) {
            return {};
        }
        const QRect local = view_->partRect(r, part_);
        return {view_->viewport()->mapToGlobal(local.topLeft()), local.size()};
    }
    [[nodiscard]] QAccessible::Role role() const override {
        return part_ == Part::enable ? QAccessible::CheckBox : QAccessible::Button;
    }
    [[nodiscard]] QAccessible::State state() const override {
        QAccessible::State s;
        const int r = row();
        if (r < 0) {
            s.invalid = true;
            return s;
        }
        s.focusable = true;
        s.focused = view_->hasFocus() && view_->focusRow() == r && view_->focusPart() == part_;
        if (part_ == Part::enable) {
            s.checkable = true;
            s.checked = view_->rules().rule(r).enabled;
        }
        if (!view_->viewport()->rect().intersects(view_->partRect(r, part_))) {
            s.offscreen = true;
        }
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    [[nodiscard]] QStringList actionNames() const override {
        return {part_ == Part::enable ? toggleAction() : pressAction()};
    }
    void doAction(const QString& name) override {
        if (const int r = row(); r >= 0 && actionNames().contains(name)) {
            view_->press(r, part_);
        }
    }
    [[nodiscard]] QStringList keyBindingsForAction(const QString&) const override { return {}; }

  private:
    [[nodiscard]] int row() const {
        if (!view_) {
            return -1;
        }
        const auto r = view_->rules().rowOf(id_);
        return r ? *r : -1;
    }

    QPointer<RuleListView> view_;
    Uuid id_;
    Part part_;
};

class RowAccessible final : public QAccessibleInterface {
  public:
    RowAccessible(RuleListView* view, const Uuid& id) : view_(view), id_(id) {}
    ~RowAccessible() override {
        for (QAccessible::Id part : parts_) {
            if (part != 0) {
                QAccessible::deleteAccessibleInterface(part);
            }
        }
    }
    RowAccessible(const RowAccessible&) = delete;
    RowAccessible& operator=(const RowAccessible&) = delete;

    [[nodiscard]] const Uuid& id() const { return id_; }
    [[nodiscard]] int row() const {
        if (!view_) {
            return -1;
        }
        const auto r = view_->rules().rowOf(id_);
        return r ? *r : -1;
    }

    [[nodiscard]] bool isValid() const override { return row() >= 0; }
    [[nodiscard]] QObject* object() const override { return nullptr; }
    [[nodiscard]] QWindow* window() const override {
        return view_ ? view_->window()->windowHandle() : nullptr;
    }
    [[nodiscard]] QAccessibleInterface* parent() const override {
        return view_ ? QAccessible::queryAccessibleInterface(view_) : nullptr;
    }
    [[nodiscard]] int childCount() const override { return static_cast<int>(kParts.size()); }
    [[nodiscard]] QAccessibleInterface* child(int index) const override {
        if (!view_ || index < 0 || index >= childCount()) {
            return nullptr;
        }
        auto& id = parts_[static_cast<std::size_t>(index)];
        if (id == 0) {
            id = QAccessible::registerAccessibleInterface(
                std::make_unique<PartAccessible>(view_, id_,
                                                 kParts[static_cast<std::size_t>(index)])
                    .release());
        }
        return QAccessible::accessibleInterface(id);
    }
    [[nodiscard]] int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i) {
            if (parts_[static_cast<std::size_t>(i)] != 0 &&
                QAccessible::accessibleInterface(parts_[static_cast<std::size_t>(i)]) == child) {
                return i;
            }
        }
        return -1;
    }
    [[nodiscard]] QAccessibleInterface* childAt(int x, int y) const override {
        const int r = row();
        if (r < 0) {
            return nullptr;
        }
        const QPoint local = view_->viewport()->mapFromGlobal(QPoint(x, y));
        for (int i = 0; i < childCount(); ++i) {
            if (view_->partRect(r, kParts[static_cast<std::size_t>(i)]).contains(local)) {
                return child(i);
            }
        }
        return nullptr;
    }
    [[nodiscard]] QString text(QAccessible::Text t) const override {
        const int r = row();
        if (r < 0) {
            return {};
        }
        if (t == QAccessible::Name) {
            return view_->rules().name(r);
        }
        if (t == QAccessible::Description) {
            QStringList notes;
            if (view_->rules().taken(r)) {
                notes << RuleListModel::takenText;
            }
            if (const QString scope = view_->rules().scopeText(r); !scope.isEmpty()) {
                notes << scope;
            }
            return notes.join(". ");
        }
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    [[nodiscard]] QRect rect() const override {
        const int r = row();
        if (r < 0) {
            return {};
        }
        const QRect local = view_->partRect(r, Part::none);
        return {view_->viewport()->mapToGlobal(local.topLeft()), local.size()};
    }
    [[nodiscard]] QAccessible::Role role() const override { return QAccessible::ListItem; }
    [[nodiscard]] QAccessible::State state() const override {
        QAccessible::State s;
        const int r = row();
        if (r < 0) {
            s.invalid = true;
        } else if (!view_->viewport()->rect().intersects(view_->partRect(r, Part::none))) {
            s.offscreen = true;
        }
        return s;
    }

  private:
    QPointer<RuleListView> view_;
    Uuid id_;
    mutable std::array<QAccessible::Id, 3> parts_{};
};

class RuleListAccessible final : public QAccessibleWidget {
  public:
    explicit RuleListAccessible(RuleListView* view) : QAccessibleWidget(view, QAccessible::List) {}
    ~RuleListAccessible() override {
        for (const auto& [id, iface] : rows_) {
            QAccessible::deleteAccessibleInterface(iface);
        }
    }
    RuleListAccessible(const RuleListAccessible&) = delete;
    RuleListAccessible& operator=(const RuleListAccessible&) = delete;

    [[nodiscard]] RuleListView* view() const { return static_cast<RuleListView*>(widget()); }

    [[nodiscard]] int childCount() const override { return view()->rules().rowCount(); }
    [[nodiscard]] QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) {
            return nullptr;
        }
        const Uuid& id = view()->rules().rule(index).id;
        auto it = rows_.find(id);
        if (it == rows_.end()) {
            it = rows_
                     .emplace(id, QAccessible::registerAccessibleInterface(
                                      std::make_unique<RowAccessible>(view(), id).release()))
                     .first;
        }
        return QAccessible::accessibleInterface(it->second);
    }
    [[nodiscard]] int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* row = dynamic_cast<const RowAccessible*>(child);
        return row ? row->row() : -1;
    }
    [[nodiscard]] QAccessibleInterface* childAt(int x, int y) const override {
        const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
        return index.isValid() ? child(index.row()) : nullptr;
    }
    [[nodiscard]] QAccessibleInterface* focusChild() const override {
        const int row = view()->focusRow();
        if (!view()->hasFocus() || row < 0) {
            return nullptr;
        }
        const auto part = std::find(kParts.begin(), kParts.end(), view()->focusPart());
        QAccessibleInterface* r = child(row);
        return r && part != kParts.end() ? r->child(static_cast<int>(part - kParts.begin())) : r;
    }
    // Lets go of the rows of rules that are gone.
    void forgetGone() {
        for (auto it = rows_.begin(); it != rows_.end();) {
            if (!view()->rules().rowOf(it->first)) {
                QAccessible::deleteAccessibleInterface(it->second);
                it = rows_.erase(it);
            } else {
                ++it;
            }
        }
    }

  private:
    mutable std::map<Uuid, QAccessible::Id> rows_;
};

QAccessibleInterface* PartAccessible::parent() const {
    if (!view_) {
        return nullptr;
    }
    auto* list = dynamic_cast<RuleListAccessible*>(QAccessible::queryAccessibleInterface(view_));
    const auto r = view_->rules().rowOf(id_);
    return list && r ? list->child(*r) : nullptr;
}

QAccessibleInterface* accessibleFactory(const QString& key, QObject* object) {
    if (key == QLatin1String("ombrel::RuleListView")) {
        if (auto* view = qobject_cast<RuleListView*>(object)) {
            return std::make_unique<RuleListAccessible>(view).release();
        }
    }
    return nullptr;
}

// The interface of the focused control, when a screen reader listens.
QAccessibleInterface* focusedInterface(RuleListView* view) {
    if (!QAccessible::isActive()) {
        return nullptr;
    }
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
    return list ? list->focusChild() : nullptr;
}

}  // namespace

class RuleListView::Delegate : public QAbstractItemDelegate {
  public:
    explicit Delegate(RuleListView& view) : view_(view) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        view_.paintRow(*p, option.rect, index.row());
    }
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {2 * rowlayout::sidePadding, rowlayout::cardHeight + rowlayout::gap};
    }

  private:
    RuleListView& view_;
};

RuleListView::RuleListView(RuleListModel& model, Actions actions)
    : model_(model), actions_(std::move(actions)) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(&accessibleFactory);
        return true;
    }();
    (void)factoryInstalled;

    auto delegate = std::make_unique<Delegate>(*this);
    delegate->setParent(this);
    setItemDelegate(delegate.release());
    setModel(&model_);
    setUniformItemSizes(true);
    setResizeMode(QListView::Adjust);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setSingleStep(24);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    // The rows sit on the window's own background: the list paints none of its own.
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);
    fadeTimer_.setInterval(kFadeStepMs);
    connect(&fadeTimer_, &QTimer::timeout, this, [this] { stepHover(); });
    const auto forget = [this] {
        if (QAccessible::isActive()) {
            if (auto* list = dynamic_cast<RuleListAccessible*>(
                    QAccessible::queryAccessibleInterface(this))) {
                list->forgetGone();
            }
        }
    };
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, forget);
    connect(&model_, &QAbstractItemModel::modelReset, this, forget);
}

QString RuleListView::partName(int row, Part part) const {
    QString name = model_.name(row);
    switch (part) {
        case Part::edit:
            return "Edit " + name;
        case Part::remove:
            return "Delete " + name;
        case Part::enable:
            return "Enabled " + name;
        case Part::none:
            break;
    }
    return name;
}

QRect RuleListView::partRect(int row, Part part) const {
    if (row < 0 || row >= model_.rowCount()) {
        return {};
    }
    const QRect item = visualRect(model_.index(row));
    const auto parts =
        rowlayout::place(item, glyphs::triggerSize(model_.rule(row).trigger).width());
    return partShape(parts, part).toAlignedRect();
}

Part RuleListView::partAt(const QPoint& pos, int* rowOut) const {
    const QModelIndex index = indexAt(pos);
    int row = -1;
    Part hit = Part::none;
    if (index.isValid()) {
        const auto parts = rowlayout::place(
            visualRect(index), glyphs::triggerSize(model_.rule(index.row()).trigger).width());
        if (parts.card.contains(pos)) {
            row = index.row();
            for (Part part : kParts) {
                // A little slack around the small controls.
                if (partShape(parts, part).adjusted(-3, -3, 3, 3).contains(pos)) {
                    hit = part;
                }
            }
        }
    }
    if (rowOut) {
        *rowOut = row;
    }
    return hit;
}

int RuleListView::focusRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

int RuleListView::hoveredRow() const {
    return hovered_.isValid() ? hovered_.row() : -1;
}

double RuleListView::hoverProgress(int row) const {
    if (row < 0 || row >= model_.rowCount()) {
        return 0;
    }
    const auto it = fade_.find(model_.rule(row).id);
    return it == fade_.end() ? 0 : it->second;
}

void RuleListView::repaintRow(int row) {
    if (row >= 0 && row < model_.rowCount()) {
        viewport()->update(visualRect(model_.index(row)));
    }
}

void RuleListView::press(int row, Part part) {
    if (row < 0 || row >= model_.rowCount()) {
        return;
    }
    // A copy: each action replaces the configuration the row points into.
    const Rule rule = model_.rule(row);
    switch (part) {
        case Part::none:
        case Part::edit:
            if (actions_.edit) {
                actions_.edit(rule);
            }
            break;
        case Part::remove:
            if (actions_.remove) {
                actions_.remove(rule);
            }
            break;
        case Part::enable:
            if (actions_.setEnabled) {
                actions_.setEnabled(rule, !rule.enabled);
            }
            if (QAccessibleInterface* focused = focusedInterface(this)) {
                QAccessible::State changed;
                changed.checked = true;
                QAccessibleStateChangeEvent event(focused, changed);
                QAccessible::updateAccessibility(&event);
            }
            break;
    }
}

void RuleListView::setFocusTo(int row, Part part) {
    if (row < 0 || row >= model_.rowCount()) {
        return;
    }
    const int before = focusRow();
    focusPart_ = part;
    const QModelIndex index = model_.index(row);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    scrollTo(index);
    repaintRow(before);
    repaintRow(row);
    announceFocus();
}

void RuleListView::announceFocus() {
    if (!hasFocus()) {
        return;
    }
    if (QAccessibleInterface* focused = focusedInterface(this)) {
        QAccessibleEvent event(focused, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

bool RuleListView::focusNextPrevChild(bool next) {
    const int rows = model_.rowCount();
    if (hasFocus() && rows > 0) {
        // Tab walks the controls of each row in reading order, then leaves the list.
        const auto at = std::find(kParts.begin(), kParts.end(), focusPart_);
        auto i = at == kParts.end() ? 0 : static_cast<int>(at - kParts.begin());
        int row = std::max(focusRow(), 0);
        i += next ? 1 : -1;
        if (i >= static_cast<int>(kParts.size())) {
            i = 0;
            ++row;
        } else if (i < 0) {
            i = static_cast<int>(kParts.size()) - 1;
            --row;
        }
        if (row >= 0 && row < rows) {
            focusVisible_ = true;
            setFocusTo(row, kParts[static_cast<std::size_t>(i)]);
            return true;
        }
    }
    return QListView::focusNextPrevChild(next);
}

void RuleListView::focusInEvent(QFocusEvent* event) {
    // The row kept from before; the base class would pick the first one.
    const int kept = focusRow();
    QListView::focusInEvent(event);
    const int rows = model_.rowCount();
    if (rows == 0) {
        return;
    }
    switch (event->reason()) {
        case Qt::TabFocusReason:
            focusVisible_ = true;
            setFocusTo(kept >= 0 ? kept : 0, Part::edit);
            break;
        case Qt::BacktabFocusReason:
            focusVisible_ = true;
            setFocusTo(kept >= 0 ? kept : rows - 1, Part::enable);
            break;
        case Qt::MouseFocusReason:
            focusVisible_ = false;
            break;
        default:
            // The window coming back keeps the row where it was, and the scroll position too.
            if (kept < 0) {
                setFocusTo(0, Part::edit);
            }
            break;
    }
    viewport()->update();
}

void RuleListView::focusOutEvent(QFocusEvent* event) {
    QListView::focusOutEvent(event);
    viewport()->update();
}

void RuleListView::keyPressEvent(QKeyEvent* event) {
    const int rows = model_.rowCount();
    const int row = focusRow();
    const int page = std::max(1, viewport()->height() / (rowlayout::cardHeight + rowlayout::gap));
    const auto partIndex = [this] {
        const auto at = std::find(kParts.begin(), kParts.end(), focusPart_);
        return at == kParts.end() ? 0 : static_cast<int>(at - kParts.begin());
    };
    int toRow = row;
    int toPart = partIndex();
    switch (event->key()) {
        case Qt::Key_Up:
            toRow = row - 1;
            break;
        case Qt::Key_Down:
            toRow = row + 1;
            break;
        case Qt::Key_PageUp:
            toRow = row - page;
            break;
        case Qt::Key_PageDown:
            toRow = row + page;
            break;
        case Qt::Key_Home:
            toRow = 0;
            break;
        case Qt::Key_End:
            toRow = rows - 1;
            break;
        case Qt::Key_Left:
            toPart = std::max(0, toPart - 1);
            break;
        case Qt::Key_Right:
            toPart = std::min(static_cast<int>(kParts.size()) - 1, toPart + 1);
            break;
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            focusVisible_ = true;
            if (!event->isAutoRepeat()) {
                press(row, focusPart_);
            }
            event->accept();
            return;
        default:
            // Typing a name's first letters finds its row.
            QListView::keyPressEvent(event);
            return;
    }
    event->accept();
    if (rows == 0) {
        return;
    }
    focusVisible_ = true;
    setFocusTo(std::clamp(toRow, 0, rows - 1), kParts[static_cast<std::size_t>(toPart)]);
}

void RuleListView::setHovered(int row) {
    const QModelIndex index = row >= 0 ? model_.index(row) : QModelIndex();
    if (QPersistentModelIndex(index) == hovered_) {
        return;
    }
    repaintRow(hoveredRow());
    hovered_ = index;
    if (row >= 0) {
        fade_.try_emplace(model_.rule(row).id, 0.0);
    }
    if (style::reduceMotion()) {
        for (auto& [id, progress] : fade_) {
            progress = row >= 0 && id == model_.rule(row).id ? 1.0 : 0.0;
        }
        std::erase_if(fade_, [](const auto& entry) { return entry.second == 0.0; });
        viewport()->update();
        return;
    }
    if (!fadeTimer_.isActive()) {
        fadeTimer_.start();
    }
}

void RuleListView::stepHover() {
    const int hovered = hoveredRow();
    const Uuid* target = hovered >= 0 ? &model_.rule(hovered).id : nullptr;
    const double step = kFadeStepMs / kFadeMs;
    bool moving = false;
    for (auto it = fade_.begin(); it != fade_.end();) {
        const bool in = target && it->first == *target;
        it->second = in ? std::min(1.0, it->second + step) : std::max(0.0, it->second - step);
        moving = moving || (in ? it->second < 1.0 : it->second > 0.0);
        if (const auto row = model_.rowOf(it->first)) {
            repaintRow(*row);
        }
        it = !in && it->second == 0.0 ? fade_.erase(it) : std::next(it);
    }
    if (!moving) {
        fadeTimer_.stop();
    }
}

void RuleListView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    int row = -1;
    pressedPart_ = partAt(event->position().toPoint(), &row);
    pressedRow_ = row >= 0 ? model_.index(row) : QModelIndex();
    focusVisible_ = false;
    if (row >= 0) {
        setFocus(Qt::MouseFocusReason);
        setFocusTo(row, pressedPart_ == Part::none ? focusPart_ : pressedPart_);
    }
}

void RuleListView::mouseMoveEvent(QMouseEvent* event) {
    int row = -1;
    const Part part = partAt(event->position().toPoint(), &row);
    setHovered(row);
    if (part != hoveredPart_) {
        hoveredPart_ = part;
        repaintRow(row);
    }
    viewport()->setCursor(part == Part::none ? Qt::ArrowCursor : Qt::PointingHandCursor);
}

void RuleListView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressedRow_.isValid()) {
        return;
    }
    int row = -1;
    const Part part = partAt(event->position().toPoint(), &row);
    const int pressed = pressedRow_.row();
    const Part pressedPart = pressedPart_;
    pressedRow_ = QModelIndex();
    pressedPart_ = Part::none;
    repaintRow(pressed);
    if (pressedPart != Part::none && row == pressed && part == pressedPart) {
        press(row, part);
    }
}

void RuleListView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    int row = -1;
    const Part part = partAt(event->position().toPoint(), &row);
    if (part != Part::none) {
        // The second click of a quick pair on a control is one more click on it.
        mousePressEvent(event);
    } else if (row >= 0) {
        press(row, Part::edit);
    }
}

void RuleListView::leaveEvent(QEvent* event) {
    setHovered(-1);
    hoveredPart_ = Part::none;
    QListView::leaveEvent(event);
}

bool RuleListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        int row = -1;
        const Part part = partAt(help->pos(), &row);
        QString tip;
        if (part == Part::edit) {
            tip = "Edit";
        } else if (part == Part::remove) {
            tip = "Delete";
        } else if (part == Part::enable) {
            tip = "Enabled";
        } else if (row >= 0) {
            tip = QString::fromStdString(model_.rule(row).action.label());
        }
        if (tip.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), tip, viewport(), partRect(row, part));
        }
        return true;
    }
    if (event->type() == QEvent::Leave) {
        setHovered(-1);
        hoveredPart_ = Part::none;
    }
    return QListView::viewportEvent(event);
}

void RuleListView::paintRow(QPainter& p, const QRect& item, int row) const {
    const Rule& rule = model_.rule(row);
    const QPalette& pal = palette();
    const auto parts = rowlayout::place(item, glyphs::triggerSize(rule.trigger).width());
    const double t = hoverProgress(row);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);

    QColor fill = style::hover(pal);
    fill.setAlphaF(fill.alphaF() * static_cast<float>(t));
    QColor line = style::separator(pal);
    line.setAlphaF(line.alphaF() * static_cast<float>(0.6 + 0.4 * t));
    p.setBrush(fill);
    p.setPen(QPen(line, 1));
    p.drawRoundedRect(parts.card.adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);

    glyphs::paintTrigger(p, parts.trigger, rule.trigger, pal);
    symbols::draw(p, "arrow.right", parts.arrow, style::secondary(pal));
    symbols::draw(p, RuleList::actionSymbol(rule.action.kind()),
                  QRectF(parts.symbol.center() - QPointF(8.5, 8.5), QSizeF(17, 17)),
                  style::secondary(pal));

    // The action on one line; under it what limits the rule: another program holding its
    // trigger, and the one application it is for.
    const QFont main = style::systemFont(13);
    const QFont caption = style::captionFont();
    const QFontMetricsF fm(main);
    const QFontMetricsF fc(caption);
    const QString scope = model_.scopeText(row);
    const bool taken = model_.taken(row);
    const bool second = taken || !scope.isEmpty();
    double y =
        parts.texts.center().y() - (second ? (fm.height() + 2 + fc.height()) / 2 : fm.height() / 2);
    const QString action = QString::fromStdString(rule.action.label()).replace('\n', ' ');
    p.setFont(main);
    p.setPen(pal.color(QPalette::WindowText));
    p.drawText(QRectF(parts.texts.left(), y, parts.texts.width(), fm.height()),
               Qt::AlignLeft | Qt::AlignVCenter,
               fm.elidedText(action, Qt::ElideRight, parts.texts.width()));
    if (second) {
        y += fm.height() + 2;
        double x = parts.texts.left();
        p.setFont(caption);
        if (taken) {
            symbols::draw(p, "exclamationmark.triangle.fill", QRectF(x, y + 1, 12, 12),
                          style::orange(pal));
            x += 16;
            const QString text =
                fc.elidedText(RuleListModel::takenText, Qt::ElideRight, parts.texts.right() - x);
            p.setPen(style::orange(pal));
            p.drawText(QRectF(x, y, parts.texts.right() - x, fc.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, text);
            x += fc.horizontalAdvance(text) + (scope.isEmpty() ? 0 : fc.horizontalAdvance(" · "));
        }
        if (!scope.isEmpty() && x < parts.texts.right()) {
            p.setPen(style::secondary(pal));
            p.drawText(QRectF(x, y, parts.texts.right() - x, fc.height()),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       fc.elidedText(scope, Qt::ElideRight, parts.texts.right() - x));
        }
    }

    const bool focusHere = hasFocus() && focusRow() == row;
    const double opacity = 0.5 + 0.5 * std::max(t, focusHere ? 1.0 : 0.0);
    const bool isHovered = hoveredRow() == row;
    const bool isPressed = pressedRow_.isValid() && pressedRow_.row() == row;
    paint::iconButton(p, parts.edit, "pencil", opacity, isHovered && hoveredPart_ == Part::edit,
                      isPressed && pressedPart_ == Part::edit, pal);
    paint::iconButton(p, parts.remove, "trash", opacity, isHovered && hoveredPart_ == Part::remove,
                      isPressed && pressedPart_ == Part::remove, pal);
    paint::switchPill(p, parts.enable.adjusted(0.5, 0.5, -0.5, -0.5), rule.enabled ? 1 : 0, true,
                      pal);
    if (focusHere && focusVisible_) {
        const QRectF shape = partShape(parts, focusPart_);
        paint::focusRing(p, shape, focusPart_ == Part::enable ? shape.height() / 2 : 6, pal, 2);
    }
    p.restore();
}

}  // namespace ombrel
