// The drawing canvas of the editor.
#include "settings/drawing_canvas.h"

#include <QBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "settings/binding_editor_model.h"
#include "settings/style.h"
#include "settings/widgets.h"

namespace ombrel {

void StrokeRecorder::dragChanged(Pt location) {
    if (!drawing_) {
        drawing_ = true;
        points_.clear();
    }
    points_.push_back(location);
}

// The 420 × 190 surface that takes the drag and shows the stroke.
class DrawingCanvas::Surface : public QWidget {
  public:
    explicit Surface(DrawingCanvas& owner) : owner_(owner) {
        setFixedSize(static_cast<int>(canvasWidth), static_cast<int>(canvasHeight));
        setCursor(Qt::CrossCursor);
        setAccessibleName("Drawing canvas");
    }

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            report(event);
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (event->buttons() & Qt::LeftButton) {
            report(event);
        }
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            owner_.stroke_.dragEnded();
        }
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPalette& pal = palette();
        p.setBrush(style::controlBackground(pal));
        p.setPen(QPen(style::separator(pal), 1));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        const auto& pts = owner_.points_;
        if (pts.empty()) {
            p.setPen(style::secondary(pal));
            p.setFont(style::systemFont(13));
            p.drawText(rect(), Qt::AlignCenter, "Drag here to draw the shape in one stroke");
            return;
        }
        const QColor accent = style::accent(pal);
        QPainterPath path;
        path.moveTo(pts[0].x, pts[0].y);
        for (std::size_t i = 1; i < pts.size(); ++i) {
            path.lineTo(pts[i].x, pts[i].y);
        }
        p.setPen(QPen(accent, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawEllipse(QPointF(pts[0].x, pts[0].y), 4.5, 4.5);
    }

  private:
    void report(QMouseEvent* event) {
        // Positions outside the canvas are kept: a stroke may run past its edge.
        const QPointF at = event->position();
        owner_.stroke_.dragChanged(Pt{at.x(), at.y()});
        owner_.refresh();
        if (owner_.onChange_) {
            owner_.onChange_();
        }
    }

    DrawingCanvas& owner_;
};

DrawingCanvas::DrawingCanvas(std::vector<Pt>& points, std::function<void()> onChange)
    : points_(points), stroke_(points), onChange_(std::move(onChange)) {
    auto* column = makeLayout<QVBoxLayout>(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    surface_ = makeChild<Surface>(this, *this);
    column->addWidget(surface_);
    auto* row = nestLayout<QHBoxLayout>(column);
    row->setSpacing(8);
    auto* caption = makeChild<TextLabel>(
        this, "The dot marks the start. Direction matters when you draw it later.",
        style::systemFont(12), Tone::secondary);
    caption->setWordWrap(true);
    row->addWidget(caption, 1);
    clear_ = makeChild<PlainButton>(this, "Clear");
    row->addWidget(clear_);
    connect(clear_, &QAbstractButton::clicked, this, [this] {
        stroke_.clear();
        refresh();
        if (onChange_) {
            onChange_();
        }
    });
    refresh();
}

QWidget* DrawingCanvas::surface() const {
    return surface_;
}

void DrawingCanvas::refresh() {
    clear_->setEnabled(!points_.empty());
    surface_->update();
}

}  // namespace ombrel
