// The settings window's left column.
#include "settings/sidebar.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QRadialGradient>

#include "art/symbols.h"
#include "config/store.h"
#include "settings/rule_list.h"
#include "settings/settings_deps.h"
#include "settings/style.h"
#include "settings/trigger_view.h"
#include "settings/widgets.h"

namespace ombrel {

SidebarItem::SidebarItem(Pane pane, std::function<void()> action) : pane_(pane) {
    setCursor(Qt::PointingHandCursor);
    setCheckable(true);
    setAutoExclusive(true);
    setFocusPolicy(Qt::StrongFocus);
    setFixedHeight(32);
    setText(
        QString::fromUtf8(paneTitle(pane).data(), static_cast<qsizetype>(paneTitle(pane).size())));
    setAccessibleName(text());
    connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action) {
            action();
        }
    });
}

void SidebarItem::setSelected(bool selected) {
    if (isChecked() != selected) {
        setChecked(selected);
        update();
    }
}

void SidebarItem::setCount(std::optional<int64_t> count) {
    if (count_ == count) {
        return;
    }
    count_ = count;
    // Screen readers hear the count with the title.
    setAccessibleName(
        count ? QString("%1, %2 %3").arg(text()).arg(*count).arg(*count == 1 ? "rule" : "rules")
              : text());
    update();
}

void SidebarItem::focusInEvent(QFocusEvent* event) {
    focusMarked_ = event->reason() != Qt::MouseFocusReason &&
                   event->reason() != Qt::ActiveWindowFocusReason &&
                   event->reason() != Qt::PopupFocusReason;
    QAbstractButton::focusInEvent(event);
}

void SidebarItem::keyPressEvent(QKeyEvent* event) {
    focusMarked_ = true;
    update();
    if (!pressOnEnter(*this, event)) {
        QAbstractButton::keyPressEvent(event);
    }
}

void SidebarItem::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SidebarItem::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SidebarItem::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const bool selected = isChecked();
    QColor bg = Qt::transparent;
    if (selected) {
        bg = style::accent(pal);
        bg.setAlphaF(0.14f);
    } else if (hovering_) {
        bg = style::hover(pal);
    }
    const QRectF shape = QRectF(rect()).adjusted(1, 1, -1, -1);
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(shape, 8, 8);

    const QColor symbolColor = selected ? style::accent(pal) : style::secondary(pal);
    symbols::draw(p, paneSymbol(pane_), QRectF(10, (height() - 17) / 2.0, 20, 17), symbolColor);

    p.setFont(style::systemFont(13, selected ? QFont::DemiBold : QFont::Normal));
    p.setPen(pal.color(QPalette::WindowText));
    p.drawText(QRectF(38, 0, width() - 76, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    if (count_) {
        p.setFont(style::captionFont());
        p.setPen(style::secondary(pal));
        p.drawText(QRectF(0, 0, width() - 10, height()), Qt::AlignVCenter | Qt::AlignRight,
                   QString::number(*count_));
    }
    if (hasFocus() && focusMarked_) {
        paint::focusRing(p, shape, 8, pal);
    }
}

StatusDot::StatusDot() {
    // Room around the dot for its glow.
    setFixedSize(16, 16);
}

void StatusDot::setLook(QColor color, bool glow) {
    color_ = color;
    glow_ = glow;
    update();
}

void StatusDot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = QRectF(rect()).center();
    if (glow_) {
        QRadialGradient g(c, 8);
        QColor inner = color_;
        inner.setAlphaF(0.8f);
        QColor outer = color_;
        outer.setAlphaF(0);
        g.setColorAt(0.45, inner);
        g.setColorAt(1, outer);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(c, 8, 8);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(color_);
    p.drawEllipse(c, 4, 4);
}

Sidebar::Sidebar(Store& store, EngineStatus& engine, Nav& nav)
    : store_(store), engine_(engine), nav_(nav) {
    setFixedWidth(210);
    setAutoFillBackground(false);
    auto* column = makeLayout<QVBoxLayout>(this);
    // The window manager draws the title bar: the column starts right under it.
    column->setContentsMargins(12, 16, 12, 12);
    column->setSpacing(8);

    auto* header = nestLayout<QHBoxLayout>(column);
    header->setContentsMargins(4, 0, 0, 10);
    header->setSpacing(10);
    mascot_ = makeChild<MascotView>(this, 40, false);
    header->addWidget(mascot_);
    header->addWidget(makeChild<TextLabel>(this, "Ombrel", style::headlineFont()));
    header->addStretch();

    for (Pane pane : allPanes) {
        auto* item = makeChild<SidebarItem>(this, pane, [this, pane] { nav_.setPane(pane); });
        items_.push_back(item);
        column->addWidget(item);
    }
    column->addStretch();

    auto* status = nestLayout<QHBoxLayout>(column);
    status->setContentsMargins(4, 0, 2, 0);
    status->setSpacing(4);
    dot_ = makeChild<StatusDot>(this);
    status->addWidget(dot_);
    word_ = makeChild<TextLabel>(this, "", style::captionFont());
    status->addWidget(word_);
    status->addStretch();
    engineSwitch_ = makeChild<ToggleSwitch>(this, "Ombrel is on", true);
    engineSwitch_->setToolTip("Ombrel is on");
    status->addWidget(engineSwitch_);
    connect(engineSwitch_, &QAbstractButton::clicked, this, [this](bool on) {
        Config config = store_.config();
        config.engineEnabled = on;
        store_.setConfig(std::move(config));
    });

    configSub_ = store_.observeConfig([this](const Config&) { refresh(); });
    engineSub_ = engine_.observeState([this] { refresh(); });
    navSub_ = nav_.observe([this](Pane) { refresh(); });
    refresh();
}

SidebarItem* Sidebar::item(Pane pane) const {
    for (auto* item : items_) {
        if (item->pane() == pane) {
            return item;
        }
    }
    return nullptr;
}

QString Sidebar::statusWord() const {
    return word_->text();
}

void Sidebar::refresh() {
    const Config& config = store_.config();
    for (auto* item : items_) {
        item->setSelected(item->pane() == nav_.pane());
        item->setCount(RuleList::sidebarCount(config, item->pane()));
    }
    const bool trusted = engine_.inputAvailable();
    const auto status = RuleList::status(config.engineEnabled, trusted);
    QColor color;
    switch (status.tone) {
        case RuleList::StatusTone::green:
            color = style::green(palette());
            break;
        case RuleList::StatusTone::orange:
            color = style::orange(palette());
            break;
        case RuleList::StatusTone::secondary:
            color = style::secondary(palette());
            break;
    }
    dot_->setLook(color, status.glow);
    word_->setText(
        QString::fromUtf8(status.word.data(), static_cast<qsizetype>(status.word.size())));
    engineSwitch_->setChecked(config.engineEnabled);
    mascot_->setAwake(RuleList::active(config.engineEnabled, trusted));
}

void Sidebar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        refresh();
    }
}

void Sidebar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), style::sidebarBackground(palette()));
}

}  // namespace ombrel
