// Small custom-painted controls of the settings window: switch, symbol, icon button, segmented
// picker and prominent button, plus helpers that hand a new widget to its Qt parent.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QRadioButton>
#include <QVariantAnimation>
#include <QWidget>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ombrel {

// A widget owned by its Qt parent from birth; the returned pointer does not own it.
template <class W, class... Args>
W* makeChild(QWidget* parent, Args&&... args) {
    auto widget = std::make_unique<W>(std::forward<Args>(args)...);
    widget->setParent(parent);
    return widget.release();
}

// A layout installed on (and owned by) a widget.
template <class L>
L* makeLayout(QWidget* owner) {
    auto layout = std::make_unique<L>();
    owner->setLayout(layout.get());
    return layout.release();
}

// A layout nested in (and owned by) another box layout.
template <class L, class Parent>
L* nestLayout(Parent* parent) {
    auto layout = std::make_unique<L>();
    parent->addLayout(layout.get());
    return layout.release();
}

// Painting shared by the widgets and the rule rows, so both look the same.
namespace paint {
// The pill of a switch; knob runs from 0 (off) to 1 (on).
void switchPill(QPainter& p, const QRectF& track, double knob, bool enabled,
                const QPalette& palette);
// The keyboard focus mark on a control's outline, or outset around it where there is room.
void focusRing(QPainter& p, const QRectF& shape, double radius, const QPalette& palette,
               double outset = 0);
// A borderless symbol button, dimmed by opacity, with its hover and pressed backgrounds.
void iconButton(QPainter& p, const QRectF& rect, std::string_view symbol, double opacity,
                bool hovered, bool pressed, const QPalette& palette);
}  // namespace paint

// Return and Enter press a focused button as Space does; true when the key was one of them.
bool pressOnEnter(QAbstractButton& button, QKeyEvent* event);

// An on/off switch in the desktop's pill look; `small` is the compact size. A check box to
// screen readers.
class ToggleSwitch : public QCheckBox {
    Q_OBJECT
  public:
    explicit ToggleSwitch(const QString& accessibleLabel, bool small = false);
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }
    static QSize size(bool small) { return small ? QSize(32, 18) : QSize(40, 22); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void checkStateSet() override;
    void nextCheckState() override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
    void keyPressEvent(QKeyEvent* event) override;

  private:
    bool small_;
    double knob_ = 0;  // 0 off, 1 on
    QVariantAnimation animation_;
};

// One of the drawn symbols at a fixed size; the colour follows the palette unless set.
class SymbolView : public QWidget {
  public:
    SymbolView(std::string name, int size, int width = 0);
    void setColor(const QColor& color);
    void setSymbol(std::string name);
    [[nodiscard]] QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::string name_;
    int size_;
    int width_;
    QColor color_;
};

// A row of mutually exclusive segments; -1 selects none. Each segment is a radio button to
// screen readers; the row is one Tab stop and the arrow keys move the choice.
class SegmentedControl : public QWidget {
    Q_OBJECT
  public:
    explicit SegmentedControl(std::vector<QString> labels);
    void setSelected(int index);
    [[nodiscard]] int selected() const { return selected_; }
    [[nodiscard]] QString label(int index) const;
    [[nodiscard]] int count() const { return static_cast<int>(segments_.size()); }
    [[nodiscard]] QSize sizeHint() const override;
    // Where a segment sits.
    [[nodiscard]] QRect segmentRect(int index) const;
    [[nodiscard]] QAbstractButton* segment(int index) const;
    // The name of the choice, for screen readers: the row's and, as description, each segment's.
    void setChoiceName(const QString& name);

  signals:
    void picked(int index);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    class Segment;
    void pick(int index);
    void step(int from, int delta);
    void placeSegments();
    std::vector<Segment*> segments_;
    int selected_ = -1;
};

// A push button drawn filled with the accent colour, optionally with a leading symbol.
class ProminentButton : public QAbstractButton {
  public:
    explicit ProminentButton(const QString& text, std::string symbol = {});
    [[nodiscard]] QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    std::string symbol_;
    bool hovered_ = false;
};

// A bordered push button in the window's own look.
class PlainButton : public QAbstractButton {
  public:
    explicit PlainButton(const QString& text);
    [[nodiscard]] QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    bool hovered_ = false;
};

// A label in a given font and colour role that follows palette changes.
enum class Tone { primary, secondary, accent, red };
class TextLabel : public QLabel {
  public:
    TextLabel(const QString& text, const QFont& font, Tone tone = Tone::primary);
    void setTone(Tone tone);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void applyTone();
    Tone tone_;
};

}  // namespace ombrel
