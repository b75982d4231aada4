// Small custom-painted controls of the settings window.
#include "settings/widgets.h"

#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "art/symbols.h"
#include "settings/style.h"

namespace ombrel {

namespace paint {

void switchPill(QPainter& p, const QRectF& track, double knob, bool enabled,
                const QPalette& palette) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QColor off = style::isDark(palette) ? QColor(255, 255, 255, 40) : QColor(0, 0, 0, 30);
    const QColor on = style::accent(palette);
    const auto mix = [k = static_cast<float>(knob)](float a, float b) { return a + (b - a) * k; };
    QColor fill;
    fill.setRgbF(mix(off.redF(), on.redF()), mix(off.greenF(), on.greenF()),
                 mix(off.blueF(), on.blueF()), mix(off.alphaF(), on.alphaF()));
    if (!enabled) {
        fill.setAlphaF(fill.alphaF() * 0.5f);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const double d = track.height() - 4;
    const double x = track.left() + 2 + (track.width() - 4 - d) * knob;
    const QRectF disc(x, track.top() + 2, d, d);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(disc.translated(0, 0.8));
    p.setBrush(style::isDark(palette) ? QColor(240, 240, 240) : QColor(255, 255, 255));
    p.drawEllipse(disc);
    p.restore();
}

void focusRing(QPainter& p, const QRectF& shape, double radius, const QPalette& palette,
               double outset) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QColor ring = style::accent(palette);
    ring.setAlphaF(0.7f);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ring, 2));
    p.drawRoundedRect(shape.adjusted(-outset, -outset, outset, outset), radius + outset,
                      radius + outset);
    p.restore();
}

void iconButton(QPainter& p, const QRectF& rect, std::string_view symbol, double opacity,
                bool hovered, bool pressed, const QPalette& palette) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(opacity);
    if (hovered || pressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(pressed ? style::separator(palette) : style::hover(palette));
        p.drawRoundedRect(rect.adjusted(1, 1, -1, -1), 6, 6);
    }
    symbols::draw(p, symbol, rect.adjusted(6, 6, -6, -6), style::label(palette));
    p.restore();
}

}  // namespace paint

bool pressOnEnter(QAbstractButton& button, QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        return false;
    }
    if (!event->isAutoRepeat() && button.isEnabled()) {
        button.click();
    }
    event->accept();
    return true;
}

// ToggleSwitch

ToggleSwitch::ToggleSwitch(const QString& accessibleLabel, bool small) : small_(small) {
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(accessibleLabel);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    animation_.setDuration(120);
    animation_.setEasingCurve(QEasingCurve::OutQuad);
    connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        knob_ = v.toDouble();
        update();
    });
}

QSize ToggleSwitch::sizeHint() const {
    return size(small_);
}

void ToggleSwitch::checkStateSet() {
    QCheckBox::checkStateSet();
    animation_.stop();
    knob_ = isChecked() ? 1 : 0;
    update();
}

void ToggleSwitch::nextCheckState() {
    QAbstractButton::nextCheckState();
    if (style::reduceMotion()) {
        knob_ = isChecked() ? 1 : 0;
        update();
        return;
    }
    animation_.stop();
    animation_.setStartValue(knob_);
    animation_.setEndValue(isChecked() ? 1.0 : 0.0);
    animation_.start();
}

void ToggleSwitch::keyPressEvent(QKeyEvent* event) {
    if (!pressOnEnter(*this, event)) {
        QCheckBox::keyPressEvent(event);
    }
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QSize s = sizeHint();
    const QRectF track(0.5, (height() - s.height()) / 2.0 + 0.5, s.width() - 1, s.height() - 1);
    paint::switchPill(p, track, knob_, isEnabled(), palette());
    if (hasFocus()) {
        paint::focusRing(p, track, track.height() / 2, palette());
    }
}

// SymbolView

SymbolView::SymbolView(std::string name, int size, int width)
    : name_(std::move(name)), size_(size), width_(width) {
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::setColor(const QColor& color) {
    color_ = color;
    update();
}

void SymbolView::setSymbol(std::string name) {
    name_ = std::move(name);
    update();
}

QSize SymbolView::sizeHint() const {
    return {std::max(width_, size_), size_};
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor c = color_.isValid() ? color_ : style::secondary(palette());
    const QRectF box((width() - size_) / 2.0, (height() - size_) / 2.0, size_, size_);
    symbols::draw(p, name_, box, c);
}

// SegmentedControl

// One segment: a radio button to screen readers, painted by the row it sits in.
class SegmentedControl::Segment : public QRadioButton {
  public:
    Segment(SegmentedControl& owner, int index, const QString& text)
        : QRadioButton(text), owner_(owner), index_(index) {
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::StrongFocus);
    }

  protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
    void nextCheckState() override { owner_.pick(index_); }
    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
            case Qt::Key_Left:
            case Qt::Key_Up:
                owner_.step(index_, -1);
                break;
            case Qt::Key_Right:
            case Qt::Key_Down:
                owner_.step(index_, 1);
                break;
            default:
                if (!pressOnEnter(*this, event)) {
                    QRadioButton::keyPressEvent(event);
                }
                return;
        }
        event->accept();
    }
    void focusInEvent(QFocusEvent* event) override {
        QRadioButton::focusInEvent(event);
        owner_.update();
    }
    void focusOutEvent(QFocusEvent* event) override {
        QRadioButton::focusOutEvent(event);
        owner_.update();
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPalette& pal = palette();
        const QRectF seg = QRectF(rect()).adjusted(2, 2, -2, -2);
        if (isChecked()) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, style::isDark(pal) ? 70 : 22));
            p.drawRoundedRect(seg.translated(0, 0.7), 5.5, 5.5);
            p.setBrush(style::isDark(pal) ? QColor(92, 90, 92) : QColor(255, 255, 255));
            p.drawRoundedRect(seg, 5.5, 5.5);
        }
        p.setPen(isChecked() ? pal.color(QPalette::WindowText) : style::label(pal));
        p.setFont(style::systemFont(14, isChecked() ? QFont::DemiBold : QFont::Normal));
        p.drawText(seg, Qt::AlignCenter, text());
        if (hasFocus()) {
            paint::focusRing(p, seg.adjusted(1, 1, -1, -1), 5, pal);
        }
    }

  private:
    SegmentedControl& owner_;
    int index_;
};

SegmentedControl::SegmentedControl(std::vector<QString> labels) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        segments_.push_back(makeChild<Segment>(this, *this, static_cast<int>(i), labels[i]));
    }
    setSelected(-1);
}

QAbstractButton* SegmentedControl::segment(int index) const {
    return (index >= 0 && index < count()) ? segments_[static_cast<std::size_t>(index)] : nullptr;
}

void SegmentedControl::setSelected(int index) {
    selected_ = (index >= 0 && index < count()) ? index : -1;
    if (selected_ >= 0) {
        segments_[static_cast<std::size_t>(selected_)]->setChecked(true);
    }
    for (int i = 0; i < count(); ++i) {
        Segment* s = segments_[static_cast<std::size_t>(i)];
        if (selected_ < 0) {
            // An exclusive group keeps one button checked; a stored set we do not offer has none.
            s->setAutoExclusive(false);
            s->setChecked(false);
            s->setAutoExclusive(true);
        }
        // One Tab stop: the chosen segment, or the first while none is.
        const bool stop = i == std::max(selected_, 0);
        s->setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
    update();
}

void SegmentedControl::pick(int index) {
    if (index == selected_) {
        return;
    }
    setSelected(index);
    emit picked(index);
}

void SegmentedControl::step(int from, int delta) {
    const int to = selected_ < 0 ? 0 : std::clamp(from + delta, 0, count() - 1);
    pick(to);
    segments_[static_cast<std::size_t>(to)]->setFocus(Qt::TabFocusReason);
}

void SegmentedControl::setChoiceName(const QString& name) {
    setAccessibleName(name);
    for (Segment* s : segments_) {
        s->setAccessibleDescription(name);
    }
}

QString SegmentedControl::label(int index) const {
    const QAbstractButton* s = segment(index);
    return s ? s->text() : QString();
}

QSize SegmentedControl::sizeHint() const {
    return {64 * std::max(1, count()), 28};
}

QRect SegmentedControl::segmentRect(int index) const {
    const int n = std::max(1, count());
    const int w = width() / n;
    const int x = index * w;
    return {x, 0, index == n - 1 ? width() - x : w, height()};
}

void SegmentedControl::placeSegments() {
    for (int i = 0; i < count(); ++i) {
        segments_[static_cast<std::size_t>(i)]->setGeometry(segmentRect(i));
    }
}

void SegmentedControl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeSegments();
}

void SegmentedControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(style::separator(pal), 1));
    p.setBrush(style::isDark(pal) ? QColor(255, 255, 255, 16) : QColor(0, 0, 0, 12));
    p.drawRoundedRect(outer, 7, 7);
    // Hairlines between neighbours that are both unchosen.
    for (int i = 1; i < count(); ++i) {
        if (i != selected_ && i - 1 != selected_) {
            const double x = segmentRect(i).left() + 0.5;
            p.drawLine(QPointF(x, 7), QPointF(x, height() - 7));
        }
    }
}

// ProminentButton

ProminentButton::ProminentButton(const QString& text, std::string symbol)
    : symbol_(std::move(symbol)) {
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setFont(style::systemFont(13, QFont::DemiBold));
}

QSize ProminentButton::sizeHint() const {
    const QFontMetrics fm(font());
    const int iconWidth = symbol_.empty() ? 0 : 18;
    return {fm.horizontalAdvance(text()) + iconWidth + 28, 30};
}

void ProminentButton::keyPressEvent(QKeyEvent* event) {
    if (!pressOnEnter(*this, event)) {
        QAbstractButton::keyPressEvent(event);
    }
}

void ProminentButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ProminentButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void ProminentButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    QColor fill = style::accent(pal);
    if (!isEnabled()) {
        fill = style::isDark(pal) ? QColor(255, 255, 255, 30) : QColor(0, 0, 0, 22);
    } else if (isDown()) {
        fill = fill.darker(120);
    } else if (hovered_) {
        fill = fill.lighter(108);
    }
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(r, 7, 7);
    QColor fg = isEnabled() ? (style::isDark(pal) ? QColor(40, 16, 12) : QColor(255, 255, 255))
                            : style::secondary(pal);
    p.setFont(font());
    const QFontMetrics fm(font());
    const int textWidth = fm.horizontalAdvance(text());
    const int iconWidth = symbol_.empty() ? 0 : 18;
    double x = (width() - textWidth - iconWidth) / 2.0;
    if (!symbol_.empty()) {
        symbols::draw(p, symbol_, QRectF(x, (height() - 12) / 2.0, 12, 12), fg);
        x += iconWidth;
    }
    p.setPen(fg);
    p.drawText(QRectF(x, 0, textWidth + 2, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    if (hasFocus()) {
        paint::focusRing(p, r, 7, pal);
    }
}

// PlainButton

PlainButton::PlainButton(const QString& text) {
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setFont(style::systemFont(13));
}

QSize PlainButton::sizeHint() const {
    const QFontMetrics fm(font());
    return {std::max(64, fm.horizontalAdvance(text()) + 26), 28};
}

void PlainButton::keyPressEvent(QKeyEvent* event) {
    if (!pressOnEnter(*this, event)) {
        QAbstractButton::keyPressEvent(event);
    }
}

void PlainButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void PlainButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void PlainButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const bool dark = style::isDark(pal);
    QColor fill = dark ? QColor(255, 255, 255, 28) : QColor(255, 255, 255);
    if (isDown()) {
        fill = dark ? QColor(255, 255, 255, 50) : QColor(232, 232, 232);
    } else if (hovered_ && isEnabled()) {
        fill = dark ? QColor(255, 255, 255, 38) : QColor(248, 248, 248);
    }
    const QRectF r = QRectF(rect()).adjusted(0.5, 1.0, -0.5, -1.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, dark ? 60 : 18));
    p.drawRoundedRect(r.translated(0, 0.8), 6.5, 6.5);
    p.setBrush(fill);
    p.setPen(QPen(style::separator(pal), 1));
    p.drawRoundedRect(r, 6.5, 6.5);
    p.setPen(isEnabled() ? pal.color(QPalette::ButtonText) : style::secondary(pal));
    p.setFont(font());
    p.drawText(r, Qt::AlignCenter, text());
    if (hasFocus()) {
        paint::focusRing(p, r, 6.5, pal);
    }
}

// TextLabel

TextLabel::TextLabel(const QString& text, const QFont& font, Tone tone)
    : QLabel(text), tone_(tone) {
    setFont(font);
    applyTone();
}

void TextLabel::setTone(Tone tone) {
    tone_ = tone;
    applyTone();
}

void TextLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) {
        applyTone();
    }
}

void TextLabel::applyTone() {
    // The colour comes from the surroundings, since our own palette carries the last tone.
    const QPalette base = parentWidget() ? parentWidget()->palette() : QApplication::palette();
    QColor c;
    switch (tone_) {
        case Tone::primary:
            c = base.color(QPalette::WindowText);
            break;
        case Tone::secondary:
            c = style::secondary(base);
            break;
        case Tone::accent:
            c = style::accent(base);
            break;
        case Tone::red:
            c = style::red(base);
            break;
    }
    QPalette mine = base;
    mine.setColor(QPalette::WindowText, c);
    mine.setColor(QPalette::Text, c);
    // An equal palette is not set again, which ends the change notifications.
    setPalette(mine);
}

}  // namespace ombrel
