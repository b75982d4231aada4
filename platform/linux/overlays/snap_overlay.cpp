// The snap overlay: a floating rectangle that previews where a dragged window will land.
#include "platform/linux/overlays/snap_overlay.h"

#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QWidget>

#include "platform/linux/overlays/overlay_color.h"

namespace ombrel {

namespace {

QPainterPath roundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

}  // namespace

class QtSnapOverlay::Panel : public QWidget {
  public:
    Panel() { makeOverlayWindow(*this); }

    // Opaque when translucent pixels would show as black: then only the border is shown, through
    // a window shape, so the windows below stay visible.
    void restyle(bool opaque, const QColor& color) {
        opaque_ = opaque;
        color_ = color;
        if (opaque_) {
            const QRectF outer(rect());
            const QRectF inner =
                outer.adjusted(borderWidth, borderWidth, -borderWidth, -borderWidth);
            const QRegion ring =
                QRegion(roundedRect(outer, cornerRadius).toFillPolygon().toPolygon()) -
                QRegion(roundedRect(inner, cornerRadius - borderWidth).toFillPolygon().toPolygon());
            setMask(ring);
        } else {
            clearMask();
        }
        update();
    }

  protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        if (opaque_) {
            painter.fillRect(rect(), color_);
            return;
        }
        painter.setRenderHint(QPainter::Antialiasing);
        const double half = borderWidth / 2;
        const QPainterPath shape =
            roundedRect(QRectF(rect()).adjusted(half, half, -half, -half), cornerRadius);
        QColor fill = color_;
        fill.setAlphaF(static_cast<float>(fillOpacity));
        QColor border = color_;
        border.setAlphaF(static_cast<float>(borderOpacity));
        painter.fillPath(shape, fill);
        painter.strokePath(shape, QPen(border, borderWidth));
    }

  private:
    QColor color_;
    bool opaque_ = false;
};

QtSnapOverlay::QtSnapOverlay(CompositorProbe compositing) : compositing_(std::move(compositing)) {}

QtSnapOverlay::~QtSnapOverlay() = default;

QWidget* QtSnapOverlay::window() const {
    return panel_.get();
}

void QtSnapOverlay::show(Rect target) {
    if (shown_ && *shown_ == target) {
        return;
    }
    shown_ = target;
    const QRect frame = toScreenRect(target.insetBy(inset));
    if (frame.width() <= 0 || frame.height() <= 0) {
        // Nothing is left of a target smaller than twice the inset.
        if (panel_) {
            panel_->hide();
        }
        return;
    }
    if (!panel_) {
        panel_ = std::make_unique<Panel>();
    }
    panel_->setGeometry(frame);
    panel_->restyle(!compositing_(), overlayColor());
    presentOverlay(*panel_);
}

void QtSnapOverlay::hide() {
    shown_.reset();
    if (panel_) {
        panel_->hide();
    }
}

}  // namespace ombrel
