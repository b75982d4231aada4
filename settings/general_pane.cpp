// The "General" pane.
#include "settings/general_pane.h"

#include <QBoxLayout>
#include <QEvent>
#include <QScrollArea>
#include <memory>

#include "config/notices.h"
#include "config/store.h"
#include "platform/login_item.h"
#include "settings/rule_list.h"
#include "settings/settings_deps.h"
#include "settings/style.h"
#include "settings/widgets.h"

namespace ombrel {

namespace {
// A switch with its title on the left, the way the desktop's forms lay them out.
ToggleSwitch* switchRow(QWidget* owner, QBoxLayout* column, const QString& title) {
    auto* row = nestLayout<QHBoxLayout>(column);
    row->setSpacing(12);
    auto* label = makeChild<TextLabel>(owner, title, style::systemFont(13));
    row->addWidget(label);
    row->addStretch();
    auto* sw = makeChild<ToggleSwitch>(owner, title);
    label->setBuddy(sw);
    row->addWidget(sw);
    return sw;
}
}  // namespace

GeneralPane::GeneralPane(Store& store, EngineStatus& engine, LoginItem& loginItem,
                         std::function<int64_t()> deviceCount, Notices* notices,
                         std::function<void()> showSettingsFile)
    : store_(store),
      engine_(engine),
      loginItem_(loginItem),
      deviceCount_(std::move(deviceCount)),
      notices_(notices) {
    // Scrolls when the window is at its smallest and the banner takes room above.
    auto* outer = makeLayout<QVBoxLayout>(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = makeChild<QScrollArea>(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFocusPolicy(Qt::NoFocus);
    outer->addWidget(scroll);
    auto* body = makeChild<QWidget>(this);
    auto* column = makeLayout<QVBoxLayout>(body);
    column->setContentsMargins(24, 16, 24, 24);
    column->setSpacing(0);

    column->addWidget(makeChild<TextLabel>(this, "General", style::titleFont()));
    column->addSpacing(22);

    // A card of settings rows on the control background, separated by hairlines.
    auto* form = nestLayout<QVBoxLayout>(column);
    form->setSpacing(6);
    snap_ = switchRow(this, form, "Snap windows when dragged to a screen edge");
    form->addWidget(makeChild<TextLabel>(
        this, "Left or right edge: half. Corners: quarter. Top edge: maximize.",
        style::captionFont(), Tone::secondary));
    connect(snap_, &QAbstractButton::clicked, this, [this](bool on) {
        Config config = store_.config();
        config.snapEnabled = on;
        store_.setConfig(std::move(config));
    });
    form->addSpacing(18);

    auto* drawRow = nestLayout<QHBoxLayout>(form);
    drawRow->setSpacing(12);
    auto* drawLabel =
        makeChild<TextLabel>(this, "Draw shapes while holding", style::systemFont(13));
    drawRow->addWidget(drawLabel);
    drawRow->addStretch();
    std::vector<QString> labels;
    labels.reserve(RuleList::drawModChoices.size());
    for (int64_t raw : RuleList::drawModChoices) {
        labels.push_back(QString::fromStdString(Mods(raw).glyphs()));
    }
    drawMods_ = makeChild<SegmentedControl>(this, std::move(labels));
    drawMods_->setMaximumWidth(320);
    drawMods_->setMinimumWidth(240);
    drawMods_->setChoiceName("Draw shapes while holding");
    drawRow->addWidget(drawMods_);
    connect(drawMods_, &SegmentedControl::picked, this, [this](int index) {
        Config config = store_.config();
        config.drawMods = Mods(RuleList::drawModChoices[static_cast<std::size_t>(index)]);
        store_.setConfig(std::move(config));
    });
    form->addSpacing(18);

    login_ = switchRow(this, form, "Open Ombrel at login");
    loginError_ = makeChild<TextLabel>(this, "", style::captionFont(), Tone::red);
    loginError_->setWordWrap(true);
    loginError_->hide();
    form->addWidget(loginError_);
    // Each time the pane is built, the switch starts from the entry on disk.
    loginItem_on_ = loginItem_.enabled();
    login_->setChecked(loginItem_on_);
    connect(login_, &QAbstractButton::clicked, this, [this](bool on) { flipLogin(on); });

    column->addSpacing(28);
    const std::array<QString, 3> titles = {"Keyboard and mouse input",
                                           "Keyboard and mouse listener", "Trackpad"};
    for (std::size_t i = 0; i < 3; ++i) {
        auto* row = nestLayout<QHBoxLayout>(column);
        row->setSpacing(8);
        statusSymbols_[i] = makeChild<SymbolView>(this, "checkmark.circle.fill", 16, 20);
        row->addWidget(statusSymbols_[i]);
        row->addWidget(makeChild<TextLabel>(this, titles[i], style::systemFont(13)));
        row->addStretch();
        statusValues_[i] = makeChild<TextLabel>(this, "", style::systemFont(13), Tone::secondary);
        row->addWidget(statusValues_[i]);
        if (i < 2) {
            column->addSpacing(8);
        }
    }

    noticeColumn_ = nestLayout<QVBoxLayout>(column);
    noticeColumn_->setSpacing(6);

    column->addSpacing(28);
    auto* buttonRow = nestLayout<QHBoxLayout>(column);
    showFile_ = makeChild<PlainButton>(this, "Show settings file in the file manager");
    buttonRow->addWidget(showFile_);
    buttonRow->addStretch();
    connect(showFile_, &QAbstractButton::clicked, this,
            [show = std::move(showSettingsFile)] { show(); });
    column->addStretch();
    scroll->setWidget(body);
    // After setWidget, which turns background filling on: one background for the whole column.
    body->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);

    configSub_ = store_.observeConfig([this](const Config&) { refresh(); });
    engineSub_ = engine_.observeState([this] { refresh(); });
    if (notices_ != nullptr) {
        // Producers speak from their own threads; the labels change on this one.
        noticesSub_ = notices_->observe([this] {
            QMetaObject::invokeMethod(
                this, [this] { showNotices(); }, Qt::QueuedConnection);
        });
    }
    refresh();
    showNotices();
}

void GeneralPane::showNotices() {
    for (TextLabel* label : noticeLabels_) {
        noticeColumn_->removeWidget(label);
        std::unique_ptr<TextLabel> gone(label);
    }
    noticeLabels_.clear();
    if (notices_ == nullptr) {
        return;
    }
    const auto notices = notices_->current();
    noticeColumn_->setContentsMargins(0, notices.empty() ? 0 : 14, 0, 0);
    for (const Notice& notice : notices) {
        auto* label = makeChild<TextLabel>(this, QString::fromStdString(notice.text),
                                           style::captionFont(), Tone::secondary);
        label->setWordWrap(true);
        noticeColumn_->addWidget(label);
        noticeLabels_.push_back(label);
    }
}

void GeneralPane::followTouchpads(
    std::function<int64_t()> unreadableCount,
    const std::function<Subscription(std::function<void()>)>& observeDevices) {
    unreadableCount_ = std::move(unreadableCount);
    if (observeDevices) {
        devicesSub_ = observeDevices([this] {
            QMetaObject::invokeMethod(
                this, [this] { refresh(); }, Qt::QueuedConnection);
        });
    }
    refresh();
}

QStringList GeneralPane::noticeTexts() const {
    QStringList texts;
    for (const TextLabel* label : noticeLabels_) {
        texts << label->text();
    }
    return texts;
}

void GeneralPane::flipLogin(bool on) {
    if (auto error = loginItem_.setEnabled(on)) {
        // The switch springs back to what is really the case.
        login_->setChecked(loginItem_on_);
        loginError_->setText("Could not change the login item: " + QString::fromStdString(*error));
        loginError_->show();
        return;
    }
    loginItem_on_ = on;
    login_->setChecked(on);
    loginError_->clear();
    loginError_->hide();
}

QString GeneralPane::loginError() const {
    return loginError_->text();
}

QString GeneralPane::statusValue(int row) const {
    return statusValues_[static_cast<std::size_t>(row)]->text();
}

void GeneralPane::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        refresh();
    }
}

void GeneralPane::refresh() {
    const Config& config = store_.config();
    snap_->setChecked(config.snapEnabled);
    const auto index = RuleList::drawModIndex(config.drawMods);
    drawMods_->setSelected(index ? static_cast<int>(*index) : -1);

    const int64_t devices = deviceCount_ ? deviceCount_() : 0;
    const int64_t unreadable = unreadableCount_ ? unreadableCount_() : 0;
    good_ = {engine_.inputAvailable(), engine_.tapInstalled(), devices >= 1};
    const std::array<QString, 3> values = {
        good_[0] ? "Available" : "Not available", good_[1] ? "Running" : "Waiting for input",
        QString::fromStdString(RuleList::deviceCountText(devices, unreadable))};
    for (std::size_t i = 0; i < 3; ++i) {
        statusValues_[i]->setText(values[i]);
        statusSymbols_[i]->setSymbol(good_[i] ? "checkmark.circle.fill"
                                              : "exclamationmark.circle.fill");
        statusSymbols_[i]->setColor(good_[i] ? style::green(palette()) : style::orange(palette()));
    }
}

}  // namespace ombrel
