// A rule pane with its list and its empty state.
#include "settings/rule_pane.h"

#include <QBoxLayout>

#include "config/store.h"
#include "settings/rule_list.h"
#include "settings/rule_model.h"
#include "settings/rule_view.h"
#include "settings/settings_deps.h"
#include "settings/style.h"
#include "settings/trigger_view.h"
#include "settings/widgets.h"

namespace ombrel {

namespace {
QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

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

RulePane::RulePane(Store& store, EngineStatus& engine, Pane pane, AppNamer appName, Actions actions)
    : store_(store), engine_(engine), pane_(pane), actions_(std::move(actions)) {
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
    connect(add_, &QAbstractButton::clicked, this,
            [this] { actions_.edit(RuleList::newRule(pane_)); });

    model_ = std::make_unique<RuleListModel>([&store = store_] { return store.sharedConfig(); },
                                             *paneKind(pane), std::move(appName));
    model_->setTaken(engine_.takenTriggers());
    list_ = makeChild<RuleListView>(
        this, *model_,
        RuleListView::Actions{[this](const Rule& rule) { actions_.edit(rule); },
                              [this](const Rule& rule) { actions_.remove(rule); },
                              [this](const Rule& rule, bool on) {
                                  Config config = store_.config();
                                  if (RuleList::setEnabled(config, rule.id, on)) {
                                      store_.setConfig(std::move(config));
                                  }
                              }});
    list_->setAccessibleName(qs(paneTitle(pane)));
    column->addWidget(list_, 1);

    empty_ = makeChild<EmptyState>(this, pane);
    column->addWidget(empty_, 1);

    configSub_ = store_.observeConfig([this](const Config&) {
        model_->sync();
        refresh();
    });
    engineSub_ = engine_.observeState([this] { model_->setTaken(engine_.takenTriggers()); });
    refresh();
}

RulePane::~RulePane() {
    // The list goes first: it reads the model to the end.
    std::unique_ptr<RuleListView> list(list_);
}

QString RulePane::subtitle() const {
    return subtitle_->text();
}

EmptyState* RulePane::emptyState() const {
    return empty_->isHidden() ? nullptr : empty_;
}

void RulePane::refresh() {
    subtitle_->setText(QString::fromStdString(RuleList::subtitle(store_.config(), pane_)));
    const bool empty = model_->rowCount() == 0;
    list_->setVisible(!empty);
    empty_->setVisible(empty);
}

}  // namespace ombrel
