// The binding editor sheet.
#include "settings/binding_editor.h"

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <filesystem>

#include "config/store.h"
#include "settings/drawing_canvas.h"
#include "settings/shortcut_recorder.h"
#include "settings/style.h"
#include "settings/widgets.h"

namespace ombrel {

namespace {

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A rounded group of form rows on the control background, hairlines between the rows.
class FormGroup : public QWidget {
  public:
    FormGroup() {
        column_ = makeLayout<QVBoxLayout>(this);
        column_->setContentsMargins(14, 4, 14, 4);
        column_->setSpacing(0);
    }

    // A row with its title on the left and the control on the right. The title names the control
    // (or buddy, when the control is a group) to screen readers.
    QWidget* addRow(const QString& title, QWidget* control, Qt::Alignment align = Qt::AlignRight,
                    QWidget* buddy = nullptr) {
        auto* row = makeChild<QWidget>(this);
        auto* layout = makeLayout<QHBoxLayout>(row);
        layout->setContentsMargins(0, 8, 0, 8);
        layout->setSpacing(12);
        auto* label = makeChild<TextLabel>(row, title, style::systemFont(13));
        layout->addWidget(label, 0, Qt::AlignTop | Qt::AlignLeft);
        label->setFixedHeight(std::max(label->sizeHint().height(), 26));
        label->setMinimumWidth(96);
        label->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
        label->setBuddy(buddy ? buddy : control);
        control->setParent(row);
        if (align == Qt::AlignRight) {
            layout->addStretch();
        }
        if (align == Qt::AlignRight) {
            layout->addWidget(control, 0, Qt::AlignTop | Qt::AlignRight);
        } else {
            // Text fields run to the group's edge.
            layout->addWidget(control, 1, Qt::AlignTop);
        }
        column_->addWidget(row);
        return row;
    }

    // A row the control fills alone.
    QWidget* addWide(QWidget* control) {
        auto* row = makeChild<QWidget>(this);
        auto* layout = makeLayout<QVBoxLayout>(row);
        layout->setContentsMargins(0, 8, 0, 10);
        control->setParent(row);
        layout->addWidget(control);
        column_->addWidget(row);
        return row;
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPalette& pal = palette();
        p.setBrush(style::isDark(pal) ? QColor(255, 255, 255, 12) : QColor(255, 255, 255));
        p.setPen(QPen(style::separator(pal), 1));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        // Hairlines between visible rows.
        QWidget* previous = nullptr;
        p.setPen(QPen(style::separator(pal), 1));
        for (int i = 0; i < column_->count(); ++i) {
            QWidget* w = column_->itemAt(i)->widget();
            if (!w || w->isHidden()) {
                continue;
            }
            if (previous) {
                const double y = w->geometry().top() + 0.5;
                p.drawLine(QPointF(14, y), QPointF(width() - 14, y));
            }
            previous = w;
        }
    }

  private:
    QVBoxLayout* column_ = nullptr;
};

QComboBox* makePicker(QWidget* parent, const QString& name) {
    auto* box = makeChild<QComboBox>(parent);
    box->setAccessibleName(name);
    box->setMinimumWidth(240);
    box->setFont(style::systemFont(13));
    return box;
}

// A scroll area as tall as what it holds, so the sheet only scrolls when the window is too short.
class FitScroll : public QScrollArea {
  public:
    [[nodiscard]] QSize sizeHint() const override {
        return widget() ? widget()->sizeHint() : QScrollArea::sizeHint();
    }
    [[nodiscard]] QSize minimumSizeHint() const override {
        return {widget() ? widget()->sizeHint().width() : 0, 120};
    }
};

// The "In" picker, filled anew each time it opens.
class ScopePicker : public QComboBox {
  public:
    explicit ScopePicker(std::function<void()> refill) : refill_(std::move(refill)) {}
    void showPopup() override {
        refill_();
        QComboBox::showPopup();
    }

  private:
    std::function<void()> refill_;
};

std::string stemOf(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}

}  // namespace

BindingEditor::BindingEditor(Rule original, Store& store, EditorServices services,
                             std::function<void(const Rule&)> onSave, QWidget* parent)
    : QWidget(parent),
      model_(std::move(original)),
      store_(store),
      services_(std::move(services)),
      onSave_(std::move(onSave)) {
    model_.load();
    setFixedWidth(520);
    const bool isNew = model_.isNew(store_.config().bindings);
    setWindowTitle(isNew ? "New trigger" : "Edit trigger");
    setAccessibleName(windowTitle());

    auto* column = makeLayout<QVBoxLayout>(this);
    column->setContentsMargins(0, 24, 0, 20);
    column->setSpacing(14);

    title_ = makeChild<TextLabel>(this, windowTitle(), style::roundedFont(20, QFont::DemiBold));
    title_->setContentsMargins(24, 0, 24, 0);
    column->addWidget(title_);

    // The form scrolls when the window is too short for it; title and buttons stay in view.
    scroll_ = makeChild<FitScroll>(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(true);
    auto* form = makeChild<QWidget>(this);
    auto* formColumn = makeLayout<QVBoxLayout>(form);
    formColumn->setContentsMargins(24, 0, 24, 2);
    formColumn->setSpacing(16);
    column->addWidget(scroll_, 1);

    auto* whenTitle =
        makeChild<TextLabel>(form, "When", style::systemFont(12, QFont::DemiBold), Tone::secondary);
    auto* when = makeChild<FormGroup>(form);
    when->setFixedWidth(472);
    buildWhen(when);
    auto* whenBox = nestLayout<QVBoxLayout>(formColumn);
    whenBox->setSpacing(6);
    whenBox->addWidget(whenTitle);
    whenBox->addWidget(when);

    auto* doTitle =
        makeChild<TextLabel>(form, "Do", style::systemFont(12, QFont::DemiBold), Tone::secondary);
    auto* doGroup = makeChild<FormGroup>(form);
    doGroup->setFixedWidth(472);
    buildDo(doGroup);
    auto* doBox = nestLayout<QVBoxLayout>(formColumn);
    doBox->setSpacing(6);
    doBox->addWidget(doTitle);
    doBox->addWidget(doGroup);
    formColumn->addStretch();
    scroll_->setWidget(form);
    groups_ = {when, doGroup};
    // Set after setWidget, which turns background filling on.
    form->setAutoFillBackground(false);
    scroll_->viewport()->setAutoFillBackground(false);

    // One line, elided: a long or multi-line command must not push the buttons away.
    conflict_ = makeChild<TextLabel>(this, "", style::systemFont(12), Tone::red);
    conflict_->setFixedWidth(472);
    conflict_->hide();
    auto* conflictRow = nestLayout<QHBoxLayout>(column);
    conflictRow->setContentsMargins(24, 0, 24, 0);
    conflictRow->addWidget(conflict_);

    auto* buttons = nestLayout<QHBoxLayout>(column);
    buttons->setContentsMargins(24, 0, 24, 0);
    buttons->addStretch();
    cancel_ = makeChild<PlainButton>(this, "Cancel");
    buttons->addWidget(cancel_);
    save_ = makeChild<ProminentButton>(this, isNew ? "Add trigger" : "Save changes");
    buttons->addWidget(save_);
    connect(cancel_, &QAbstractButton::clicked, this, &BindingEditor::reject);
    connect(save_, &QAbstractButton::clicked, this, [this] { save(); });

    // One recording at a time: two would fight over the engine's pause.
    if (shortcut_) {
        shortcut_->setOnStart([this] { keystroke_->stop(); });
        keystroke_->setOnStart([this] { shortcut_->stop(); });
    }

    showActionDetail();
    validate();
    hide();
}

void BindingEditor::buildWhen(QWidget* groupWidget) {
    auto* group = static_cast<FormGroup*>(groupWidget);
    switch (model_.kind()) {
        case Trigger::Kind::hotkey:
            shortcut_ =
                makeChild<ShortcutRecorder>(this, true, services_.engine, services_.translateKey,
                                            [this](std::optional<KeyCombo> combo) {
                                                model_.hotkey = combo;
                                                validate();
                                            });
            shortcut_->setCombo(model_.hotkey);
            shortcut_->setAccessibleLabel("Shortcut");
            group->addRow("Shortcut", shortcut_, Qt::AlignRight, shortcut_->button());
            break;
        case Trigger::Kind::trackpad: {
            gesture_ = makePicker(this, "Gesture");
            for (auto kind : TrackpadGesture::allKinds) {
                gesture_->addItem(qs(gesturePickerLabel(kind)), static_cast<int>(kind));
            }
            gesture_->setCurrentIndex(gesture_->findData(static_cast<int>(model_.gestureKind)));
            group->addRow("Gesture", gesture_);
            fingers_ = makePicker(this, "Fingers");
            for (int n : {3, 4, 5}) {
                fingers_->addItem(QString::number(n), n);
            }
            fingers_->setCurrentIndex(fingers_->findData(static_cast<int>(model_.fingers)));
            fingersRow_ = group->addRow("Fingers", fingers_);
            connect(gesture_, &QComboBox::currentIndexChanged, this, [this](int) {
                model_.gestureKind =
                    static_cast<TrackpadGesture::Kind>(gesture_->currentData().toInt());
                const bool tipTap = model_.gestureKind == TrackpadGesture::Kind::tipTapLeft ||
                                    model_.gestureKind == TrackpadGesture::Kind::tipTapRight;
                fingersRow_->setVisible(!tipTap);
                refit();
                validate();
            });
            connect(fingers_, &QComboBox::currentIndexChanged, this, [this](int) {
                if (fingers_->currentIndex() >= 0) {
                    model_.fingers = fingers_->currentData().toInt();
                }
                validate();
            });
            const bool tipTap = model_.gestureKind == TrackpadGesture::Kind::tipTapLeft ||
                                model_.gestureKind == TrackpadGesture::Kind::tipTapRight;
            fingersRow_->setVisible(!tipTap);
            break;
        }
        case Trigger::Kind::mouse:
            button_ = makePicker(this, "Button");
            for (int n = 2; n <= 7; ++n) {
                button_->addItem(QString::fromStdString(mouseButtonLabel(n)), n);
            }
            button_->setCurrentIndex(button_->findData(static_cast<int>(model_.button)));
            group->addRow("Button", button_);
            connect(button_, &QComboBox::currentIndexChanged, this, [this](int) {
                if (button_->currentIndex() >= 0) {
                    model_.button = button_->currentData().toInt();
                }
                validate();
            });
            break;
        case Trigger::Kind::drawing:
            name_ = makeChild<QLineEdit>(this);
            name_->setPlaceholderText("Circle, Z, checkmark…");
            name_->setAccessibleName("Name");
            name_->setText(QString::fromStdString(model_.drawName));
            group->addRow("Name", name_, Qt::AlignLeft);
            connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) {
                model_.drawName = text.toStdString();
                validate();
            });
            canvas_ = makeChild<DrawingCanvas>(this, model_.drawPoints, [this] { validate(); });
            group->addWide(canvas_);
            break;
    }
    scope_ = makeChild<ScopePicker>(this, [this] { refreshScopeChoices(); });
    scope_->setAccessibleName("In");
    scope_->setMinimumWidth(240);
    scope_->setFont(style::systemFont(13));
    group->addRow("In", scope_);
    refreshScopeChoices();
    connect(scope_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            model_.scope = scope_->itemData(index).toString().toStdString();
        }
        validate();
    });
}

void BindingEditor::refreshScopeChoices() {
    const QSignalBlocker block(scope_);
    scope_->clear();
    scope_->addItem("All apps", QString());
    const auto running = services_.runningApps ? services_.runningApps() : std::vector<AppChoice>{};
    const AppNamer name =
        services_.appName ? services_.appName : AppNamer([](const std::string& id) { return id; });
    for (const auto& choice : appChoices(running, model_.original().appBundleID, name)) {
        scope_->addItem(QString::fromStdString(choice.name), QString::fromStdString(choice.id));
    }
    scope_->setCurrentIndex(std::max(0, scope_->findData(QString::fromStdString(model_.scope))));
}

void BindingEditor::buildDo(QWidget* groupWidget) {
    auto* group = static_cast<FormGroup*>(groupWidget);
    action_ = makePicker(this, "Action");
    for (auto kind : Action::allKinds) {
        action_->addItem(qs(actionKindLabel(kind)), static_cast<int>(kind));
    }
    action_->setCurrentIndex(action_->findData(static_cast<int>(model_.actionKind)));
    group->addRow("Action", action_);
    connect(action_, &QComboBox::currentIndexChanged, this, [this](int) {
        model_.actionKind = static_cast<Action::Kind>(action_->currentData().toInt());
        showActionDetail();
        validate();
    });

    placement_ = makePicker(this, "Placement");
    for (auto a : allWindowActions) {
        placement_->addItem(qs(label(a)), static_cast<int>(a));
    }
    placement_->setCurrentIndex(placement_->findData(static_cast<int>(model_.windowAction)));
    actionRows_.emplace_back(Action::Kind::window, group->addRow("Placement", placement_));
    connect(placement_, &QComboBox::currentIndexChanged, this, [this](int) {
        model_.windowAction = static_cast<WindowAction>(placement_->currentData().toInt());
        validate();
    });

    system_ = makePicker(this, "System action");
    for (auto a : allSystemActions) {
        system_->addItem(qs(label(a)), static_cast<int>(a));
    }
    system_->setCurrentIndex(system_->findData(static_cast<int>(model_.systemAction)));
    actionRows_.emplace_back(Action::Kind::system, group->addRow("System action", system_));
    connect(system_, &QComboBox::currentIndexChanged, this, [this](int) {
        model_.systemAction = static_cast<SystemAction>(system_->currentData().toInt());
        validate();
    });

    keystroke_ = makeChild<ShortcutRecorder>(this, false, services_.engine, services_.translateKey,
                                             [this](std::optional<KeyCombo> combo) {
                                                 model_.keystroke = combo;
                                                 validate();
                                             });
    keystroke_->setCombo(model_.keystroke);
    keystroke_->setAccessibleLabel("Keys to press");
    actionRows_.emplace_back(
        Action::Kind::keystroke,
        group->addRow("Keys to press", keystroke_, Qt::AlignRight, keystroke_->button()));

    auto* appBox = makeChild<QWidget>(this);
    auto* appLayout = makeLayout<QHBoxLayout>(appBox);
    appLayout->setContentsMargins(0, 0, 0, 0);
    appLayout->setSpacing(10);
    appName_ = makeChild<TextLabel>(appBox, "", style::systemFont(13));
    appLayout->addWidget(appName_);
    auto* choose = makeChild<PlainButton>(appBox, "Choose…");
    choose->setAccessibleName("Choose app…");
    appLayout->addWidget(choose);
    actionRows_.emplace_back(Action::Kind::launchApp,
                             group->addRow("App", appBox, Qt::AlignRight, choose));
    connect(choose, &QAbstractButton::clicked, this, [this] {
        std::optional<std::string> path;
        if (services_.chooseApp) {
            path = services_.chooseApp(this);
        } else {
            const QString picked = QFileDialog::getOpenFileName(
                this, "Choose an application", "/usr/share/applications",
                "Applications (*.desktop);;Programs (*)");
            if (!picked.isEmpty()) {
                path = picked.toStdString();
            }
        }
        if (path && !path->empty()) {
            model_.appPath = *path;
            validate();
        }
    });

    url_ = makeChild<QLineEdit>(this);
    url_->setPlaceholderText("https://example.com");
    url_->setAccessibleName("URL");
    url_->setText(QString::fromStdString(model_.url));
    actionRows_.emplace_back(Action::Kind::openURL, group->addRow("URL", url_, Qt::AlignLeft));
    connect(url_, &QLineEdit::textChanged, this, [this](const QString& text) {
        model_.url = text.toStdString();
        validate();
    });

    command_ = makeChild<QPlainTextEdit>(this);
    command_->setPlaceholderText("xdg-open ~/Downloads");
    command_->setAccessibleName("Command");
    command_->setFont(style::monoFont(13));
    command_->setPlainText(QString::fromStdString(model_.shell));
    command_->setTabChangesFocus(true);
    actionRows_.emplace_back(Action::Kind::shell,
                             group->addRow("Command", command_, Qt::AlignLeft));
    command_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const auto fitCommand = [this] {
        // Two to five lines, growing with the text (wrapped lines count); a scroll bar only
        // beyond five.
        const int wanted = static_cast<int>(command_->document()->size().height());
        const int lines = std::clamp(wanted, 2, 5);
        const int lineHeight = QFontMetrics(command_->font()).lineSpacing();
        const int chrome = 2 * command_->frameWidth() +
                           static_cast<int>(2 * command_->document()->documentMargin()) +
                           command_->contentsMargins().top() + command_->contentsMargins().bottom();
        command_->setFixedHeight(lines * lineHeight + chrome);
        command_->setVerticalScrollBarPolicy(wanted > 5 ? Qt::ScrollBarAsNeeded
                                                        : Qt::ScrollBarAlwaysOff);
    };
    connect(command_, &QPlainTextEdit::textChanged, this, [this, fitCommand] {
        model_.shell = command_->toPlainText().toStdString();
        fitCommand();
        validate();
    });
    fitCommand();
}

void BindingEditor::showActionDetail() {
    for (auto& [kind, row] : actionRows_) {
        row->setVisible(kind == model_.actionKind);
    }
    refit();
}

QString BindingEditor::title() const {
    return title_->text();
}

QString BindingEditor::conflictText() const {
    return conflict_->isHidden() ? QString() : conflict_->text();
}

bool BindingEditor::fingersShown() const {
    return fingersRow_ && !fingersRow_->isHidden();
}

QString BindingEditor::appText() const {
    return appName_->text();
}

void BindingEditor::validate() {
    const auto& bindings = store_.config().bindings;
    if (model_.appPath.empty()) {
        appName_->setText("None chosen");
        appName_->setTone(Tone::secondary);
    } else {
        appName_->setText(QString::fromStdString(stemOf(model_.appPath)));
        appName_->setTone(Tone::primary);
    }
    const auto clash = model_.conflict(bindings);
    if (clash) {
        const AppNamer name = services_.appName
                                  ? services_.appName
                                  : AppNamer([](const std::string& id) { return id; });
        const QString full = QString::fromStdString(conflictMessage(*clash, name));
        const QString line = QString(full).replace('\n', ' ');
        conflict_->setText(
            QFontMetrics(conflict_->font()).elidedText(line, Qt::ElideRight, conflict_->width()));
        conflict_->setToolTip(full);
        conflict_->setAccessibleName(full);
        conflict_->show();
    } else {
        conflict_->clear();
        conflict_->hide();
    }
    save_->setEnabled(model_.canSave(bindings));
    if (canvas_) {
        canvas_->refresh();
    }
}

void BindingEditor::save() {
    const auto rule = model_.result();
    if (!rule) {
        return;
    }
    if (onSave_) {
        onSave_(*rule);
    }
    accept();
}

void BindingEditor::open() {
    focusBefore_ = QApplication::focusWidget();
    open_ = true;
    show();
    raise();
    refit();
    // The keyboard goes to the sheet's first control.
    setFocus(Qt::OtherFocusReason);
    focusNextPrevChild(true);
}

void BindingEditor::done(int result) {
    if (!open_) {
        return;
    }
    open_ = false;
    hide();
    if (focusBefore_ && focusBefore_->isVisible()) {
        focusBefore_->setFocus(Qt::OtherFocusReason);
    }
    emit finished(result);
}

void BindingEditor::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool BindingEditor::focusNextPrevChild(bool next) {
    // Tab goes round the sheet's own controls while it is open, as in a window of its own.
    QWidget* start = QApplication::focusWidget();
    if (!start || !isAncestorOf(start)) {
        start = this;
    }
    QWidget* w = start;
    while (true) {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (w == start || !w) {
            return true;
        }
        if (isAncestorOf(w) && w->isVisible() && w->isEnabled() &&
            (w->focusPolicy() & Qt::TabFocus) != 0) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            if (scroll_->widget()->isAncestorOf(w)) {
                scroll_->ensureWidgetVisible(w, 0, 12);
            }
            return true;
        }
    }
}

void BindingEditor::refit() {
    // Rows came or went: the groups, the form and the scroll area ask for their height afresh
    // (Qt caches each), and the sheet follows through its layout.
    for (QWidget* group : groups_) {
        if (group) {
            group->updateGeometry();
        }
    }
    if (scroll_) {
        scroll_->widget()->updateGeometry();
        scroll_->updateGeometry();
    }
}

void BindingEditor::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    // Hanging from the top of the window: square at the top, round below.
    QPainterPath shape;
    const QRectF r = QRectF(rect()).adjusted(0.5, -12, -0.5, -0.5);
    shape.addRoundedRect(r, 12, 12);
    p.setPen(QPen(style::separator(pal), 1));
    p.setBrush(style::contentBackground(pal));
    p.drawPath(shape);
}

}  // namespace ombrel
