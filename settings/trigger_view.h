// The trigger glyphs of the rule rows: key caps for a shortcut, a little trackpad for a gesture,
// a mouse tile for a button and a thumbnail for a drawing, each but the caps with its label; and
// the mascot figure.
#pragma once

#include <QWidget>

#include "config/model.h"

class QPainter;

namespace ombrel {

namespace glyphs {
// Each paints into the given rectangle with the colours of the palette.
void paintTile(QPainter& p, const QRectF& rect, const QPalette& palette, bool accentFilled);
void paintTrackpadGlyph(QPainter& p, const QRectF& tile, const TrackpadGesture& gesture,
                        const QPalette& palette);
void paintDrawingGlyph(QPainter& p, const QRectF& box, const std::vector<Pt>& points,
                       double lineWidth, const QPalette& palette);
// One cap; its width from capWidth.
void paintKeyCap(QPainter& p, const QRectF& cap, const QString& text, const QPalette& palette);
double capWidth(const QString& text);
inline constexpr double capHeight = 28;

// The glyph of a trigger with its label beside it (the caps alone for a shortcut): its natural
// size, and painted left-aligned and centred vertically in box, the label elided to fit.
QSizeF triggerSize(const Trigger& trigger);
void paintTrigger(QPainter& p, const QRectF& box, const Trigger& trigger, const QPalette& palette);
}  // namespace glyphs

// The mascot figure, awake or asleep, optionally washed with the accent colour.
class MascotView : public QWidget {
  public:
    MascotView(int size, bool awake, bool accentTinted = false);
    void setAwake(bool awake);
    [[nodiscard]] bool awake() const { return awake_; }
    [[nodiscard]] QSize sizeHint() const override { return {size_, size_}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int size_;
    bool awake_;
    bool tinted_;
};

}  // namespace ombrel
