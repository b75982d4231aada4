// A rule pane with its rows and its empty state.
#include "settings/rule_pane.h"

#include <QBoxLayout>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

#include "config/store.h"
#include "settings/rule_list.h"
#include "settings/style.h"
#include "settings/trigger_view.h"
#include "settings/widgets.h"

namespace ombrel {

namespace {
QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

// One line of text that ends in an ellipsis when it does not fit.
class ElidedLabel : public QWidget {
  public:
    explicit ElidedLabel(const QFont& font, bool secondary = false) : secondary_(secondary) {
        setFont(font);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    void setText(const QString& text) {
        text_ = text;
        setToolTip(text);
        updateGeometry();
        update();
    }
    [[nodiscard]] const QString& text() const { return text_; }
    [[nodiscard]] QSize sizeHint() const override {
        const QFontMetrics fm(font());
        return {std::min(fm.horizontalAdvance(text_), 400), fm.height()};
    }
    [[nodiscard]] QSize minimumSizeHint() const override {
        return {40, QFontMetrics(font()).height()};
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(secondary_ ? style::secondary(palette()) : palette().color(QPalette::WindowText));
        const QFontMetrics fm(font());
        p.drawText(rect(), Qt::AlignVCenter | Qt::AlignLeft,
                   fm.elidedText(text_, Qt::ElideRight, width()));
    }

  private:
    QString text_;
    bool secondary_;
};

RuleRow::RuleRow(Store& store, Rule rule, AppNamer appName, std::function<void(const Rule&)> edit)
    : store_(store),
      rule_(std::move(rule)),
      appName_(std::move(appName)),
      edit_fn_(std::move(edit)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    animation_.setDuration(150);
    animation_.setEasingCurve(QEasingCurve::OutQuad);
    connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        progress_ = v.toDouble();
        update();
    });

    auto* row = makeLayout<QHBoxLayout>(this);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(12);

    auto* triggerColumn = makeChild<QWidget>(this);
    triggerColumn->setMinimumWidth(190);
    triggerColumn->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* triggerLayout = makeLayout<QHBoxLayout>(triggerColumn);
    triggerLayout->setContentsMargins(0, 0, 0, 0);
    trigger_ = makeChild<TriggerView>(triggerColumn, rule_.trigger);
    trigger_->setAttribute(Qt::WA_TransparentForMouseEvents);
    triggerLayout->addWidget(trigger_);
    triggerLayout->addStretch();
    triggerColumn->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    row->addWidget(triggerColumn, 0);

    auto* arrow = makeChild<SymbolView>(this, "arrow.right", 12);
    row->addWidget(arrow);
    actionSymbol_ = makeChild<SymbolView>(
        this, std::string(RuleList::actionSymbol(rule_.action.kind())), 17, 20);
    row->addWidget(actionSymbol_);

    auto* texts = nestLayout<QVBoxLayout>(row);
    texts->setSpacing(2);
    actionLabel_ = makeChild<ElidedLabel>(this, style::systemFont(13));
    texts->addWidget(actionLabel_);
    scopeLabel_ = makeChild<ElidedLabel>(this, style::captionFont(), true);
    texts->addWidget(scopeLabel_);
    row->setStretchFactor(texts, 1);

    edit_ = makeChild<IconButton>(this, "pencil", "Edit");
    delete_ = makeChild<IconButton>(this, "trash", "Delete");
    row->addWidget(edit_);
    row->addWidget(delete_);
    enable_ = makeChild<ToggleSwitch>(this, "Enabled", true);
    row->addWidget(enable_);

    connect(edit_, &QAbstractButton::clicked, this, [this] { edit_fn_(rule_); });
    connect(delete_, &QAbstractButton::clicked, this, [this] {
        Config config = store_.config();
        if (RuleList::remove(config, rule_.id)) {
            store_.setConfig(std::move(config));
        }
    });
    connect(enable_, &QAbstractButton::clicked, this, [this](bool on) {
        Config config = store_.config();
        if (RuleList::setEnabled(config, rule_.id, on)) {
            store_.setConfig(std::move(config));
        } else {
            enable_->setChecked(rule_.enabled);
        }
    });
    refresh();
}

void RuleRow::setRule(Rule rule) {
    rule_ = std::move(rule);
    refresh();
}

QString RuleRow::actionText() const {
    return actionLabel_->text();
}

QString RuleRow::scopeText() const {
    return scopeLabel_->text();
}

void RuleRow::refresh() {
    trigger_->setTrigger(rule_.trigger);
    actionSymbol_->setSymbol(std::string(RuleList::actionSymbol(rule_.action.kind())));
    actionLabel_->setText(QString::fromStdString(rule_.action.label()));
    if (rule_.appBundleID) {
        const std::string name = appName_ ? appName_(*rule_.appBundleID) : *rule_.appBundleID;
        scopeLabel_->setText("Only in " + QString::fromStdString(name));
        scopeLabel_->show();
    } else {
        scopeLabel_->setText({});
        scopeLabel_->hide();
    }
    enable_->setChecked(rule_.enabled);
    const double opacity = hovering_ ? 1.0 : 0.5;
    edit_->setOpacity(opacity);
    delete_->setOpacity(opacity);
}

void RuleRow::setHovering(bool hovering) {
    if (hovering_ == hovering) {
        return;
    }
    hovering_ = hovering;
    edit_->setOpacity(hovering ? 1.0 : 0.5);
    delete_->setOpacity(hovering ? 1.0 : 0.5);
    animation_.stop();
    if (style::reduceMotion()) {
        progress_ = hovering ? 1 : 0;
        update();
        return;
    }
    animation_.setStartValue(progress_);
    animation_.setEndValue(hovering ? 1.0 : 0.0);
    animation_.start();
}

void RuleRow::enterEvent(QEnterEvent* event) {
    setHovering(true);
    QWidget::enterEvent(event);
}

void RuleRow::leaveEvent(QEvent* event) {
    setHovering(false);
    QWidget::leaveEvent(event);
}

void RuleRow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        edit_fn_(rule_);
    }
}

void RuleRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    QColor fill = style::hover(pal);
    fill.setAlphaF(fill.alphaF() * static_cast<float>(progress_));
    QColor line = style::separator(pal);
    line.setAlphaF(line.alphaF() * static_cast<float>(0.6 + 0.4 * progress_));
    p.setBrush(fill);
    p.setPen(QPen(line, 1));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

EmptyState::EmptyState(Pane pane) {
    auto* column = makeLayout<QVBoxLayout>(this);
    column->setContentsMargins(24, 24, 24, 48);
    column->setSpacing(10);
    column->addStretch();
    auto* mascot = makeChild<MascotView>(this, 96, false, true);
    column->addWidget(mascot, 0, Qt::AlignHCenter);
    column->addSpacing(4);
    auto* title = makeChild<TextLabel>(this, qs(RuleList::emptyTitle), style::headlineFont());
    title->setAlignment(Qt::AlignHCenter);
    column->addWidget(title, 0, Qt::AlignHCenter);
    sentence_ = makeChild<TextLabel>(this, qs(RuleList::emptySentence(pane)), style::systemFont(13),
                                     Tone::secondary);
    sentence_->setWordWrap(true);
    sentence_->setAlignment(Qt::AlignHCenter);
    sentence_->setFixedWidth(340);
    column->addWidget(sentence_, 0, Qt::AlignHCenter);
    column->addStretch();
}

QString EmptyState::sentence() const {
    return sentence_->text();
}

RulePane::RulePane(Store& store, Pane pane, AppNamer appName, std::function<void(const Rule&)> edit)
    : store_(store), pane_(pane), appName_(std::move(appName)), edit_(std::move(edit)) {
    auto* column = makeLayout<QVBoxLayout>(this);
    column->setContentsMargins(0, 16, 0, 0);
    column->setSpacing(20);

    auto* header = nestLayout<QHBoxLayout>(column);
    header->setContentsMargins(24, 0, 24, 0);
    auto* titles = nestLayout<QVBoxLayout>(header);
    titles->setSpacing(2);
    titles->addWidget(makeChild<TextLabel>(this, qs(paneTitle(pane)), style::titleFont()));
    subtitle_ = makeChild<TextLabel>(this, "", style::captionFont(), Tone::secondary);
    titles->addWidget(subtitle_);
    header->addStretch();
    add_ = makeChild<ProminentButton>(this, "Add", "plus");
    header->addWidget(add_, 0, Qt::AlignTop | Qt::AlignRight);
    connect(add_, &QAbstractButton::clicked, this, [this] { edit_(RuleList::newRule(pane_)); });

    scroll_ = makeChild<QScrollArea>(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->viewport()->setAutoFillBackground(false);
    list_ = makeChild<QWidget>(this);
    list_->setAutoFillBackground(false);
    listLayout_ = makeLayout<QVBoxLayout>(list_);
    listLayout_->setContentsMargins(24, 0, 24, 24);
    listLayout_->setSpacing(8);
    scroll_->setWidget(list_);
    column->addWidget(scroll_, 1);

    empty_ = makeChild<EmptyState>(this, pane);
    column->addWidget(empty_, 1);

    configSub_ = store_.observeConfig([this](const Config&) { refresh(); });
    refresh();
}

QString RulePane::subtitle() const {
    return subtitle_->text();
}

std::vector<RuleRow*> RulePane::rows() const {
    return order_;
}

EmptyState* RulePane::emptyState() const {
    return empty_->isHidden() ? nullptr : empty_;
}

void RulePane::refresh() {
    const Config& config = store_.config();
    subtitle_->setText(QString::fromStdString(RuleList::subtitle(config, pane_)));
    const auto rules = RuleList::rulesOf(config, *paneKind(pane_));

    // Rows are kept by rule id, so a row keeps its hover state while its rule changes.
    std::map<Uuid, RuleRow*> kept;
    order_.clear();
    while (listLayout_->count() > 0) {
        auto item = std::unique_ptr<QLayoutItem>(listLayout_->takeAt(0));
    }
    for (const Rule& rule : rules) {
        RuleRow* row = nullptr;
        if (auto it = rows_.find(rule.id); it != rows_.end()) {
            row = it->second;
            rows_.erase(it);
            row->setRule(rule);
        } else {
            row = makeChild<RuleRow>(list_, store_, rule, appName_, edit_);
        }
        kept[rule.id] = row;
        order_.push_back(row);
        listLayout_->addWidget(row);
    }
    listLayout_->addStretch();
    for (auto& [id, row] : rows_) {
        row->hide();
        row->deleteLater();
    }
    rows_ = std::move(kept);

    const bool empty = rules.empty();
    scroll_->setVisible(!empty);
    empty_->setVisible(empty);
}

}  // namespace ombrel
