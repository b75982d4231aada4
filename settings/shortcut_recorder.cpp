// The shortcut recorder control.
#include "settings/shortcut_recorder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QPainter>

#include "settings/style.h"
#include "settings/widgets.h"

namespace ombrel {

Mods modsFromQt(Qt::KeyboardModifiers modifiers) {
    Mods mods;
    if (modifiers & Qt::MetaModifier) {
        mods.insert(Mods::command);
    }
    if (modifiers & Qt::AltModifier) {
        mods.insert(Mods::option);
    }
    if (modifiers & Qt::ControlModifier) {
        mods.insert(Mods::control);
    }
    if (modifiers & Qt::ShiftModifier) {
        mods.insert(Mods::shift);
    }
    return mods;
}

bool isModifierKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Meta:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_ScrollLock:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_Mode_switch:
        case Qt::Key_unknown:
            return true;
        default:
            return false;
    }
}

namespace {
constexpr const char* recordingText = "Press keys… (Esc cancels)";
}  // namespace

// The button: the combination in key-cap type, or what to do, centred, at least 200 wide.
class ShortcutRecorder::RecordButton : public QAbstractButton {
  public:
    explicit RecordButton(ShortcutRecorder& owner) : owner_(owner) {
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::StrongFocus);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    [[nodiscard]] QSize sizeHint() const override {
        // As wide as its widest fixed text too, so starting to record does not move it.
        const int fixed = QFontMetrics(style::systemFont(14))
                              .horizontalAdvance(QString::fromUtf8(recordingText)) +
                          28;
        const int shown = QFontMetrics(labelFont()).horizontalAdvance(text()) + 28;
        return {std::max({200, fixed, shown}), 30};
    }
    [[nodiscard]] QFont labelFont() const {
        return owner_.recording() || !owner_.combo() ? style::systemFont(14) : style::monoFont(13);
    }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!pressOnEnter(*this, event)) {
            QAbstractButton::keyPressEvent(event);
        }
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPalette& pal = palette();
        const bool dark = style::isDark(pal);
        const QRectF r = QRectF(rect()).adjusted(0.5, 1, -0.5, -1);
        QColor fill = dark ? QColor(255, 255, 255, isDown() ? 50 : 28) : QColor(255, 255, 255);
        QColor line = style::separator(pal);
        if (owner_.recording()) {
            QColor a = style::accent(pal);
            a.setAlphaF(0.10f);
            fill = a;
            line = style::accent(pal);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, dark ? 60 : 18));
        p.drawRoundedRect(r.translated(0, 0.8), 6.5, 6.5);
        p.setBrush(fill);
        p.setPen(QPen(line, 1));
        p.drawRoundedRect(r, 6.5, 6.5);
        p.setFont(labelFont());
        p.setPen(owner_.recording() ? style::accent(pal) : pal.color(QPalette::ButtonText));
        p.drawText(r, Qt::AlignCenter, text());
        if (hasFocus()) {
            paint::focusRing(p, r, 6.5, pal);
        }
    }

  private:
    ShortcutRecorder& owner_;
};

ShortcutRecorder::ShortcutRecorder(bool requireModifier, EngineStatus& engine,
                                   KeyTranslator translate,
                                   std::function<void(std::optional<KeyCombo>)> onChange)
    : logic_(requireModifier, [&engine](bool on) { engine.setRecording(on); }),
      translate_(std::move(translate)),
      onChange_(std::move(onChange)) {
    auto* column = makeLayout<QVBoxLayout>(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    // Both on the right edge, so the button stays put when the hint appears under it.
    button_ = makeChild<RecordButton>(this, *this);
    column->addWidget(button_, 0, Qt::AlignRight);
    hint_ = makeChild<TextLabel>(this, "", style::systemFont(12), Tone::secondary);
    hint_->hide();
    column->addWidget(hint_, 0, Qt::AlignRight);
    connect(button_, &QAbstractButton::clicked, this, [this] {
        if (recording()) {
            stop();
        } else {
            start();
        }
    });
    refresh();
}

ShortcutRecorder::~ShortcutRecorder() {
    stop();
}

void ShortcutRecorder::setCombo(std::optional<KeyCombo> combo) {
    logic_.setCombo(combo);
    refresh();
}

void ShortcutRecorder::setAccessibleLabel(const QString& label) {
    label_ = label;
    refresh();
}

void ShortcutRecorder::start() {
    if (onStart_) {
        onStart_();
    }
    logic_.start();
    if (!filtering_) {
        qApp->installEventFilter(this);
        filtering_ = true;
    }
    refresh();
}

void ShortcutRecorder::stop() {
    if (filtering_) {
        qApp->removeEventFilter(this);
        filtering_ = false;
    }
    if (logic_.recording()) {
        logic_.stop();
    }
    refresh();
}

void ShortcutRecorder::hideEvent(QHideEvent* event) {
    // A closed sheet must not keep the engine paused.
    stop();
    QWidget::hideEvent(event);
}

bool ShortcutRecorder::eventFilter(QObject* watched, QEvent* event) {
    if (!logic_.recording()) {
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::ShortcutOverride) {
        // Claimed, so no shortcut of the window fires and the press arrives as a key press.
        event->accept();
        return true;
    }
    if (event->type() == QEvent::KeyRelease) {
        return true;
    }
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    // Key presses reach the filter once per receiver on their way up; take them at the first.
    const auto* key = static_cast<QKeyEvent*>(event);
    if (isModifierKey(key->key())) {
        return true;
    }
    std::optional<int64_t> code;
    if (key->key() == Qt::Key_Escape) {
        code = escapeKeyCode;
    } else if (translate_) {
        code = translate_(key->nativeScanCode());
    }
    if (!code) {
        return true;
    }
    const auto outcome = logic_.handleKey(*code, modsFromQt(key->modifiers()));
    if (outcome == ShortcutRecorderLogic::Outcome::accepted) {
        stop();
        if (onChange_) {
            onChange_(logic_.combo());
        }
    } else if (outcome == ShortcutRecorderLogic::Outcome::cancelled) {
        stop();
    }
    refresh();
    return true;
}

QAbstractButton* ShortcutRecorder::button() const {
    return button_;
}

QString ShortcutRecorder::buttonText() const {
    return button_->text();
}

QString ShortcutRecorder::hintText() const {
    return hint_->isHidden() ? QString() : hint_->text();
}

void ShortcutRecorder::refresh() {
    if (logic_.recording()) {
        button_->setText(QString::fromUtf8(recordingText));
    } else if (logic_.combo()) {
        button_->setText(QString::fromStdString(logic_.combo()->label()));
    } else {
        button_->setText("Click to record");
    }
    button_->setAccessibleName(label_.isEmpty() ? button_->text() : label_ + " " + button_->text());
    button_->updateGeometry();
    button_->update();
    if (const auto& hint = logic_.hint()) {
        hint_->setText(QString::fromUtf8(hint->data(), static_cast<qsizetype>(hint->size())));
        hint_->show();
    } else {
        hint_->hide();
    }
}

}  // namespace ombrel
