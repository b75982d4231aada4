// The stroke overlay: one window over the union of all displays that shows a pointer drawing
// while it is traced.
#include "platform/linux/overlays/stroke_overlay.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRegion>
#include <QWidget>
#include <cmath>

#include "platform/linux/overlays/overlay_color.h"

namespace ombrel {

namespace {

// Layers of widening, faint strokes under the line stand in for a blurred shadow: where all of
// them overlap the glow reaches its full opacity, and it fades over the glow radius.
constexpr int glowLayers = 6;
const double glowLayerAlpha = 1.0 - std::pow(1.0 - QtStrokeOverlay::glowOpacity, 1.0 / glowLayers);

// How far paint reaches from the path's centre line, antialiasing included.
constexpr double paintReach = QtStrokeOverlay::lineWidth / 2 + QtStrokeOverlay::glowRadius + 2;
// Without a compositor only the line itself is shown, through a window shape this wide.
constexpr double shapeRadius = QtStrokeOverlay::lineWidth / 2 + 1;

// The pixels within radius of the segment from a to b.
QRegion capsule(QPointF a, QPointF b, double radius) {
    if (a == b) {
        const QRectF dot(a.x() - radius, a.y() - radius, 2 * radius, 2 * radius);
        return {dot.toAlignedRect(), QRegion::Ellipse};
    }
    QPainterPath segment(a);
    segment.lineTo(b);
    QPainterPathStroker stroker;
    stroker.setWidth(2 * radius);
    stroker.setCapStyle(Qt::RoundCap);
    return QRegion(stroker.createStroke(segment).toFillPolygon().toPolygon());
}

QRect reach(QPointF a, QPointF b) {
    return QRectF(a, b)
        .normalized()
        .adjusted(-paintReach, -paintReach, paintReach, paintReach)
        .toAlignedRect();
}

}  // namespace

class QtStrokeOverlay::Panel : public QWidget {
  public:
    Panel() {
        makeOverlayWindow(*this);
        path_.reserve(1024);
    }

    // Starts a new path; opaque when translucent pixels would show as black.
    void restart(QPointF start, bool opaque, const QColor& color) {
        path_.clear();
        path_.moveTo(start);
        opaque_ = opaque;
        color_ = color;
        if (opaque_) {
            shape_ = capsule(start, start, shapeRadius);
            setMask(shape_);
        } else {
            shape_ = QRegion();
            clearMask();
        }
        update();
    }

    void extend(QPointF to) {
        const QPointF from = path_.currentPosition();
        path_.lineTo(to);
        if (opaque_) {
            shape_ += capsule(from, to, shapeRadius);
            setMask(shape_);
        }
        update(reach(from, to));
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        if (opaque_) {
            // The window shape is the line; fill what is shown.
            painter.fillRect(event->rect(), color_);
            return;
        }
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setClipRect(event->rect());
        QColor glow = color_;
        glow.setAlphaF(static_cast<float>(glowLayerAlpha));
        for (int layer = glowLayers; layer >= 1; --layer) {
            painter.strokePath(path_, pen(glow, lineWidth + 2.0 * layer * glowRadius / glowLayers));
        }
        painter.strokePath(path_, pen(color_, lineWidth));
    }

  private:
    static QPen pen(const QColor& color, double width) {
        return {color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin};
    }

    QPainterPath path_;
    QRegion shape_;
    QColor color_;
    bool opaque_ = false;
};

QtStrokeOverlay::QtStrokeOverlay(WindowSystem& windows, CompositorProbe compositing)
    : windows_(windows), compositing_(std::move(compositing)) {}

QtStrokeOverlay::~QtStrokeOverlay() = default;

QWidget* QtStrokeOverlay::window() const {
    return panel_.get();
}

void QtStrokeOverlay::begin(Point p) {
    const auto screens = windows_.screens();
    if (screens.empty()) {
        return;
    }
    Rect area = screens.front().full;
    for (const Screen& screen : screens.subspan(1)) {
        area = area.unite(screen.full);
    }
    const QRect frame = toScreenRect(area);
    // The window's whole-pixel top-left corner is the origin of its local coordinates.
    origin_ = {static_cast<double>(frame.x()), static_cast<double>(frame.y())};
    if (!panel_) {
        panel_ = std::make_unique<Panel>();
    }
    panel_->setGeometry(frame);
    panel_->restart({p.x - origin_.x, p.y - origin_.y}, !compositing_(), overlayColor());
    presentOverlay(*panel_);
    visible_ = true;
}

void QtStrokeOverlay::addPoint(Point p) {
    if (!visible_) {
        return;
    }
    panel_->extend({p.x - origin_.x, p.y - origin_.y});
}

void QtStrokeOverlay::hide() {
    visible_ = false;
    if (panel_) {
        panel_->hide();
    }
}

}  // namespace ombrel
