// Small custom-painted controls of the settings window.
#include "settings/widgets.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "art/symbols.h"
#include "settings/style.h"

namespace ombrel {

// ToggleSwitch

ToggleSwitch::ToggleSwitch(const QString& accessibleLabel, bool small) : small_(small) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(accessibleLabel);
    setFocusPolicy(Qt::TabFocus);
    animation_.setDuration(120);
    animation_.setEasingCurve(QEasingCurve::OutQuad);
    connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        knob_ = v.toDouble();
        update();
    });
}

QSize ToggleSwitch::sizeHint() const {
    return small_ ? QSize(32, 18) : QSize(40, 22);
}

void ToggleSwitch::checkStateSet() {
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

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QSize s = sizeHint();
    const QRectF track(0.5, (height() - s.height()) / 2.0 + 0.5, s.width() - 1, s.height() - 1);
    const QPalette& pal = palette();
    QColor off = style::isDark(pal) ? QColor(255, 255, 255, 40) : QColor(0, 0, 0, 30);
    QColor on = style::accent(pal);
    const auto mix = [k = static_cast<float>(knob_)](float a, float b) { return a + (b - a) * k; };
    QColor fill;
    fill.setRgbF(mix(off.redF(), on.redF()), mix(off.greenF(), on.greenF()),
                 mix(off.blueF(), on.blueF()), mix(off.alphaF(), on.alphaF()));
    if (!isEnabled()) {
        fill.setAlphaF(fill.alphaF() * 0.5f);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const double d = track.height() - 4;
    const double x = track.left() + 2 + (track.width() - 4 - d) * knob_;
    const QRectF knob(x, track.top() + 2, d, d);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(knob.translated(0, 0.8));
    p.setBrush(style::isDark(pal) ? QColor(240, 240, 240) : QColor(255, 255, 255));
    p.drawEllipse(knob);
    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        QColor ring = style::accent(pal);
        ring.setAlphaF(0.5f);
        p.setPen(QPen(ring, 2));
        p.drawRoundedRect(track.adjusted(-1, -1, 1, 1), track.height() / 2 + 1,
                          track.height() / 2 + 1);
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

// IconButton

IconButton::IconButton(std::string symbol, const QString& help) : symbol_(std::move(symbol)) {
    setToolTip(help);
    setAccessibleName(help);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(sizeHint());
}

void IconButton::setOpacity(double opacity) {
    opacity_ = opacity;
    update();
}

void IconButton::enterEvent(QEnterEvent* event) {
    pressedLook_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void IconButton::leaveEvent(QEvent* event) {
    pressedLook_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void IconButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(opacity_);
    if (pressedLook_ || isDown()) {
        p.setPen(Qt::NoPen);
        p.setBrush(isDown() ? style::separator(palette()) : style::hover(palette()));
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    }
    const QColor c = style::label(palette());
    symbols::draw(p, symbol_, QRectF(rect()).adjusted(6, 6, -6, -6), c);
}

// SegmentedControl

SegmentedControl::SegmentedControl(std::vector<QString> labels) : labels_(std::move(labels)) {
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void SegmentedControl::setSelected(int index) {
    selected_ = (index >= 0 && index < count()) ? index : -1;
    update();
}

QString SegmentedControl::label(int index) const {
    return (index >= 0 && index < count()) ? labels_[static_cast<std::size_t>(index)] : QString();
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

void SegmentedControl::mouseReleaseEvent(QMouseEvent* event) {
    for (int i = 0; i < count(); ++i) {
        if (segmentRect(i).contains(event->position().toPoint())) {
            if (i != selected_) {
                setSelected(i);
                emit picked(i);
            }
            return;
        }
    }
}

void SegmentedControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(style::separator(pal), 1));
    p.setBrush(style::isDark(pal) ? QColor(255, 255, 255, 16) : QColor(0, 0, 0, 12));
    p.drawRoundedRect(outer, 7, 7);
    for (int i = 0; i < count(); ++i) {
        const QRectF seg = QRectF(segmentRect(i)).adjusted(2, 2, -2, -2);
        if (i == selected_) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, style::isDark(pal) ? 70 : 22));
            p.drawRoundedRect(seg.translated(0, 0.7), 5.5, 5.5);
            p.setBrush(style::isDark(pal) ? QColor(92, 90, 92) : QColor(255, 255, 255));
            p.drawRoundedRect(seg, 5.5, 5.5);
        } else if (i > 0 && i - 1 != selected_) {
            p.setPen(QPen(style::separator(pal), 1));
            const double x = segmentRect(i).left() + 0.5;
            p.drawLine(QPointF(x, 7), QPointF(x, height() - 7));
        }
        p.setPen(i == selected_ ? pal.color(QPalette::WindowText) : style::label(pal));
        QFont f = style::systemFont(14, i == selected_ ? QFont::DemiBold : QFont::Normal);
        p.setFont(f);
        p.drawText(seg, Qt::AlignCenter, labels_[static_cast<std::size_t>(i)]);
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
        QColor ring = style::accent(pal);
        ring.setAlphaF(0.45f);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(ring, 2));
        p.drawRoundedRect(r.adjusted(-0.5, -0.5, 0.5, 0.5), 7.5, 7.5);
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
        QColor ring = style::accent(pal);
        ring.setAlphaF(0.45f);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(ring, 2));
        p.drawRoundedRect(r.adjusted(-1, -1, 1, 1), 7.5, 7.5);
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
