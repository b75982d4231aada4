// The trigger glyphs of the rule rows: key caps for a shortcut, a little trackpad for a gesture,
// a mouse tile for a button and a thumbnail for a drawing, each but the caps with its label.
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
}  // namespace glyphs

class TriggerView : public QWidget {
  public:
    explicit TriggerView(Trigger trigger);
    void setTrigger(Trigger trigger);
    [[nodiscard]] const Trigger& trigger() const { return trigger_; }
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }
    // The text read out and shown next to the tile; the caps' combination label for shortcuts.
    [[nodiscard]] QString labelText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Trigger trigger_;
};

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
