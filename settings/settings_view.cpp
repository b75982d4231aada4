// The settings window's content.
#include "settings/settings_view.h"

#include <QBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>

#include "art/symbols.h"
#include "config/store.h"
#include "settings/appearance.h"
#include "settings/binding_editor.h"
#include "settings/general_pane.h"
#include "settings/rule_list.h"
#include "settings/rule_pane.h"
#include "settings/sidebar.h"
#include "settings/style.h"
#include "settings/widgets.h"

namespace ombrel {

namespace {
// What lies under an open sheet: dimmed, and deaf to the pointer.
class SheetScrim : public QWidget {
  public:
    SheetScrim() { setAttribute(Qt::WA_NoMousePropagation); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const bool dark = style::isDark(palette());
        p.fillRect(rect(), QColor(0, 0, 0, dark ? 90 : 40));
        // A soft shadow around the sheet.
        for (auto* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (child->isVisible()) {
                for (int i = 1; i <= 6; ++i) {
                    p.setPen(QPen(QColor(0, 0, 0, dark ? 22 : 12), 1));
                    p.setBrush(Qt::NoBrush);
                    p.drawRoundedRect(QRectF(child->geometry()).adjusted(-i, -12, i, i), 12 + i,
                                      12 + i);
                }
            }
        }
    }
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
    void wheelEvent(QWheelEvent* event) override { event->accept(); }
};
}  // namespace

AccessBanner::AccessBanner(std::function<void()> onOpen) {
    auto* row = makeLayout<QHBoxLayout>(this);
    row->setContentsMargins(16, 14, 16, 14);
    row->setSpacing(12);
    auto* symbol = makeChild<SymbolView>(this, "exclamationmark.triangle.fill", 22);
    symbol->setColor(style::orange(palette()));
    row->addWidget(symbol, 0, Qt::AlignTop);
    auto* texts = nestLayout<QVBoxLayout>(row);
    texts->setSpacing(3);
    texts->addWidget(makeChild<TextLabel>(this, "Keyboard and mouse input is not available",
                                          style::systemFont(13, QFont::DemiBold)));
    auto* body = makeChild<TextLabel>(
        this,
        "Without it, shortcuts, mouse buttons, drawings and window snapping do nothing. Ombrel "
        "needs an X11 session whose server offers XInput 2.2 and XTEST; trackpad gestures work "
        "without them.",
        style::captionFont());
    body->setWordWrap(true);
    texts->addWidget(body);
    row->setStretchFactor(texts, 1);
    // The button under the text, so the sentence keeps its width in a narrow window.
    texts->addSpacing(6);
    button_ = makeChild<ProminentButton>(this, "Check again");
    texts->addWidget(button_, 0, Qt::AlignLeft);
    connect(button_, &QAbstractButton::clicked, this, [open = std::move(onOpen)] { open(); });
}

void AccessBanner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = style::orange(palette());
    fill.setAlphaF(style::isDark(palette()) ? 0.14f : 0.12f);
    QColor line = style::orange(palette());
    line.setAlphaF(0.35f);
    p.setBrush(fill);
    p.setPen(QPen(line, 1));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

void SettingsView::DeleteLater::operator()(QObject* object) const {
    if (object) {
        object->deleteLater();
    }
}

SettingsView::SettingsView(SettingsDeps& deps) : deps_(deps) {
    setMinimumSize(780, 500);
    appName_ = deps_.appName ? deps_.appName : AppNamer([](const std::string& id) { return id; });

    auto* row = makeLayout<QHBoxLayout>(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    sidebar_ = makeChild<Sidebar>(this, deps_.store, deps_.engine, deps_.nav);
    row->addWidget(sidebar_);
    auto* divider = makeChild<QWidget>(this);
    divider->setFixedWidth(1);
    divider->setObjectName("divider");
    row->addWidget(divider);

    content_ = makeChild<QWidget>(this);
    row->addWidget(content_, 1);
    auto* column = makeLayout<QVBoxLayout>(content_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* bannerBox = nestLayout<QVBoxLayout>(column);
    bannerBox->setContentsMargins(24, 16, 24, 0);
    banner_ = makeChild<AccessBanner>(content_, [this] {
        if (deps_.recheckAccess) {
            deps_.recheckAccess();
        }
    });
    bannerBox->addWidget(banner_);

    loadError_ = makeChild<TextLabel>(content_, "", style::captionFont(), Tone::secondary);
    loadError_->setWordWrap(true);
    loadError_->setContentsMargins(16, 16, 16, 16);
    auto* errorBox = nestLayout<QVBoxLayout>(column);
    errorBox->setContentsMargins(24, 0, 24, 0);
    errorBox->addWidget(loadError_);

    scrim_ = makeChild<SheetScrim>(this);
    scrim_->hide();

    navSub_ = deps_.nav.observe([this](Pane pane) { showPane(pane); });
    engineSub_ = deps_.engine.observeState([this] { refreshState(); });
    loadErrorSub_ = deps_.store.observeLoadError([this](const auto&) { refreshState(); });
    refreshState();
    shown_ = deps_.nav.pane();
    pane_ = nullptr;
    showPane(deps_.nav.pane());
}

SettingsView::~SettingsView() {
    // The sheet goes with the window; a recording in it ends there too.
    if (editor_) {
        editor_->hide();
    }
}

QString SettingsView::loadErrorText() const {
    return loadError_->isHidden() ? QString() : loadError_->text();
}

void SettingsView::refreshState() {
    banner_->setVisible(!deps_.engine.inputAvailable());
    if (const auto& error = deps_.store.loadError()) {
        loadError_->setText(QString::fromStdString(*error));
        loadError_->show();
    } else {
        loadError_->hide();
    }
}

void SettingsView::showPane(Pane pane) {
    if (pane_ && pane == shown_) {
        return;
    }
    shown_ = pane;
    auto* column = static_cast<QVBoxLayout*>(content_->layout());
    if (pane_) {
        column->removeWidget(pane_);
        // Deleted now: its subscriptions must not see another change of the store.
        std::unique_ptr<QWidget> old(pane_);
        pane_ = nullptr;
    }
    if (pane == Pane::general) {
        pane_ = makeChild<GeneralPane>(content_, deps_.store, deps_.engine, deps_.loginItem,
                                       deps_.deviceCount, deps_.notices, [this] {
                                           if (deps_.showFile) {
                                               deps_.showFile(deps_.store.fileURL());
                                           }
                                       });
        static_cast<GeneralPane*>(pane_)->followTouchpads(deps_.unreadableCount,
                                                          deps_.observeDevices);
    } else {
        pane_ = makeChild<RulePane>(content_, deps_.store, deps_.engine, pane, appName_,
                                    RulePane::Actions{[this](const Rule& rule) { edit(rule); },
                                                      [this](const Rule& rule) { remove(rule); }});
    }
    column->addWidget(pane_, 1);
    pane_->show();
}

void SettingsView::edit(const Rule& rule) {
    if (editor_) {
        return;
    }
    EditorServices services{deps_.engine, deps_.translateKey,
                            [this] {
                                std::vector<AppChoice> choices;
                                const auto ids = deps_.runningApps ? deps_.runningApps()
                                                                   : std::vector<std::string>{};
                                choices.reserve(ids.size());
                                for (const auto& id : ids) {
                                    choices.push_back({id, appName_(id)});
                                }
                                return choices;
                            },
                            appName_, deps_.chooseApp};
    // A child of the window's content, so it moves with the window and never leaves it.
    auto editor = std::make_unique<BindingEditor>(
        rule, deps_.store, std::move(services),
        [this](const Rule& saved) {
            Config config = deps_.store.config();
            RuleList::put(config, saved);
            deps_.store.setConfig(std::move(config));
        },
        scrim_);
    editor_.reset(editor.release());
    editor_->installEventFilter(this);
    connect(editor_.get(), &BindingEditor::finished, this, [this](int) {
        scrim_->hide();
        editor_.reset();
    });
    scrim_->show();
    scrim_->raise();
    editor_->open();
    placeSheet();
}

void SettingsView::placeSheet() {
    scrim_->setGeometry(rect());
    if (!editor_) {
        return;
    }
    // Hanging from the top edge, centred over the whole window, as tall as it needs up to a
    // margin above the window's bottom.
    const int w = std::min(editor_->width(), width());
    const int h = std::min(editor_->sizeHint().height(), height() - 24);
    editor_->setGeometry((width() - w) / 2, 0, w, h);
    scrim_->update();
}

bool SettingsView::eventFilter(QObject* watched, QEvent* event) {
    if (editor_ && watched == editor_.get() && event->type() == QEvent::LayoutRequest) {
        // The sheet grew or shrank (a conflict line, another action kind).
        QMetaObject::invokeMethod(
            this, [this] { placeSheet(); }, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeSheet();
}

void SettingsView::remove(const Rule& rule) {
    Config config = deps_.store.config();
    const auto at = std::find_if(config.bindings.begin(), config.bindings.end(),
                                 [&](const Rule& r) { return r.id == rule.id; });
    if (at == config.bindings.end()) {
        return;
    }
    deleted_.emplace_back(*at, static_cast<std::size_t>(at - config.bindings.begin()));
    config.bindings.erase(at);
    deps_.store.setConfig(std::move(config));
}

void SettingsView::undo() {
    // Not under an open sheet: the editor judges conflicts against the rules as they are.
    while (!editor_ && !deleted_.empty()) {
        auto [rule, index] = std::move(deleted_.back());
        deleted_.pop_back();
        Config config = deps_.store.config();
        if (RuleList::restore(config, std::move(rule), index)) {
            deps_.store.setConfig(std::move(config));
            return;
        }
    }
}

void SettingsView::hideEvent(QHideEvent* event) {
    // Closing the window (not minimising it) dismisses the sheet with it: the draft is view
    // state, and a recording in it must not outlive the window. Deletions can no longer be
    // undone.
    if (!event->spontaneous()) {
        if (editor_) {
            editor_->reject();
        }
        deleted_.clear();
    }
    QWidget::hideEvent(event);
}

void SettingsView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), style::contentBackground(palette()));
    // The divider between the columns.
    p.fillRect(QRect(sidebar_->width(), 0, 1, height()), style::separator(palette()));
}

std::unique_ptr<QWidget> makeSettingsView(SettingsDeps& deps) {
    auto view = std::make_unique<SettingsView>(deps);
    // The program's palettes follow the desktop's light or dark preference from now on.
    auto* follower = std::make_unique<appearance::Follower>().release();
    follower->setParent(view.get());
    return view;
}

}  // namespace ombrel
