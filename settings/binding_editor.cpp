// The binding editor sheet.
#include "settings/binding_editor.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
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

    // A row with its title on the left and the control on the right.
    QWidget* addRow(const QString& title, QWidget* control, Qt::Alignment align = Qt::AlignRight) {
        auto* row = makeChild<QWidget>(this);
        auto* layout = makeLayout<QHBoxLayout>(row);
        layout->setContentsMargins(0, 8, 0, 8);
        layout->setSpacing(12);
        auto* label = makeChild<TextLabel>(row, title, style::systemFont(13));
        layout->addWidget(label, 0, Qt::AlignTop | Qt::AlignLeft);
        label->setFixedHeight(std::max(label->sizeHint().height(), 26));
        label->setMinimumWidth(96);
        label->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
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
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      model_(std::move(original)),
      store_(store),
      services_(std::move(services)),
      onSave_(std::move(onSave)) {
    setWindowModality(Qt::WindowModal);
    model_.load();
    setFixedWidth(520);
    setWindowTitle(model_.isNew(store_.config().bindings) ? "New trigger" : "Edit trigger");

    auto* column = makeLayout<QVBoxLayout>(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);
    column->setSizeConstraint(QLayout::SetFixedSize);

    title_ = makeChild<TextLabel>(this, windowTitle(), style::roundedFont(20, QFont::DemiBold));
    column->addWidget(title_);

    auto* whenTitle =
        makeChild<TextLabel>(this, "When", style::systemFont(12, QFont::DemiBold), Tone::secondary);
    auto* when = makeChild<FormGroup>(this);
    when->setFixedWidth(472);
    buildWhen(when);
    auto* whenBox = nestLayout<QVBoxLayout>(column);
    whenBox->setSpacing(6);
    whenBox->addWidget(whenTitle);
    whenBox->addWidget(when);

    auto* doTitle =
        makeChild<TextLabel>(this, "Do", style::systemFont(12, QFont::DemiBold), Tone::secondary);
    auto* doGroup = makeChild<FormGroup>(this);
    doGroup->setFixedWidth(472);
    buildDo(doGroup);
    auto* doBox = nestLayout<QVBoxLayout>(column);
    doBox->setSpacing(6);
    doBox->addWidget(doTitle);
    doBox->addWidget(doGroup);

    conflict_ = makeChild<TextLabel>(this, "", style::systemFont(12), Tone::red);
    conflict_->setWordWrap(true);
    conflict_->setFixedWidth(472);
    conflict_->hide();
    column->addWidget(conflict_);

    auto* buttons = nestLayout<QHBoxLayout>(column);
    buttons->addStretch();
    cancel_ = makeChild<PlainButton>(this, "Cancel");
    buttons->addWidget(cancel_);
    save_ = makeChild<ProminentButton>(
        this, model_.isNew(store_.config().bindings) ? "Add trigger" : "Save changes");
    buttons->addWidget(save_);
    connect(cancel_, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(save_, &QAbstractButton::clicked, this, [this] { save(); });

    // One recording at a time: two would fight over the engine's pause.
    if (shortcut_) {
        shortcut_->setOnStart([this] { keystroke_->stop(); });
        keystroke_->setOnStart([this] { shortcut_->stop(); });
    }

    showActionDetail();
    validate();
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
            group->addRow("Shortcut", shortcut_);
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
    actionRows_.emplace_back(Action::Kind::keystroke, group->addRow("Keys to press", keystroke_));

    auto* appBox = makeChild<QWidget>(this);
    auto* appLayout = makeLayout<QHBoxLayout>(appBox);
    appLayout->setContentsMargins(0, 0, 0, 0);
    appLayout->setSpacing(10);
    appName_ = makeChild<TextLabel>(appBox, "", style::systemFont(13));
    appLayout->addWidget(appName_);
    auto* choose = makeChild<PlainButton>(appBox, "Choose…");
    appLayout->addWidget(choose);
    actionRows_.emplace_back(Action::Kind::launchApp, group->addRow("App", appBox));
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
    command_->setPlaceholderText("open ~/Downloads");
    command_->setAccessibleName("Command");
    command_->setFont(style::monoFont(13));
    command_->setPlainText(QString::fromStdString(model_.shell));
    command_->setTabChangesFocus(true);
    actionRows_.emplace_back(Action::Kind::shell,
                             group->addRow("Command", command_, Qt::AlignLeft));
    const auto fitCommand = [this] {
        // Two to five lines, growing with the text.
        const int lines = std::clamp(static_cast<int>(command_->document()->size().height()), 2, 5);
        const int lineHeight = QFontMetrics(command_->font()).lineSpacing();
        command_->setFixedHeight(lines * lineHeight + 12);
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
    adjustSize();
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
        conflict_->setText(QString::fromStdString(conflictMessage(*clash, name)));
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

void BindingEditor::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Like a sheet: centred at the top of the window it belongs to.
    if (QWidget* host = parentWidget()) {
        const QWidget* top = host->window();
        const QPoint origin = top->mapToGlobal(QPoint(0, 0));
        move(origin.x() + (top->width() - width()) / 2, origin.y() + 28);
    }
}

void BindingEditor::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), style::contentBackground(pal));
    p.setPen(QPen(style::separator(pal), 1));
    p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

}  // namespace ombrel
