// Draws the umbrella mascot and the images made from it. Every shape is laid out on a 100 × 100
// design grid and scaled to the target, so one drawing serves every size.
#include "art/icon_art.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <algorithm>
#include <array>

namespace ombrel::art {
namespace {

constexpr double grid = 100.0;

// The canopy: a dome whose lower edge is scalloped between four rib tips.
QPainterPath canopyPath(double top, double rim, double left, double right, double scallop) {
    QPainterPath path;
    const double mid = (left + right) / 2;
    const double halfWidth = (right - left) / 2;
    path.moveTo(left, rim);
    path.cubicTo(left, rim - (rim - top) * 0.78, mid - halfWidth * 0.52, top, mid, top);
    path.cubicTo(mid + halfWidth * 0.52, top, right, rim - (rim - top) * 0.78, right, rim);
    constexpr int segments = 4;
    const double step = (right - left) / segments;
    for (int i = segments; i > 0; --i) {
        const double from = left + step * i;
        const double to = from - step;
        path.quadTo((from + to) / 2, rim - scallop, to, rim);
    }
    path.closeSubpath();
    return path;
}

// The handle: a shaft down from the canopy ending in a hook that curls to the left.
QPainterPath handlePath(double fromY, double toY, double hookWidth) {
    QPainterPath path;
    const double x = grid / 2;
    path.moveTo(x, fromY);
    path.lineTo(x, toY);
    path.cubicTo(x, toY + hookWidth * 0.95, x - hookWidth, toY + hookWidth * 0.95, x - hookWidth,
                 toY + hookWidth * 0.05);
    return path;
}

QPainterPath sleepyZ(double x, double y, double size) {
    QPainterPath path;
    path.moveTo(x, y);
    path.lineTo(x + size, y);
    path.lineTo(x, y + size);
    path.lineTo(x + size, y + size);
    return path;
}

QPen roundPen(const QColor& color, double width) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// Maps the design grid onto the largest centred square inside the rectangle.
void fitGrid(QPainter& painter, const QRectF& rect) {
    const double side = std::min(rect.width(), rect.height());
    painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.scale(side / grid, side / grid);
}

const QColor ink(0x3a, 0x24, 0x3b);

void drawFace(QPainter& painter, bool awake, bool detailed, double bold) {
    const std::array<double, 2> eyeX = {39.0, 61.0};
    constexpr double eyeY = 40.0;
    const double eyeScale = std::min(bold, 1.5);
    if (awake) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        for (double x : eyeX) {
            painter.drawEllipse(QPointF(x, eyeY), 4.0 * eyeScale, 5.2 * eyeScale);
        }
        if (detailed) {
            painter.setBrush(QColor(255, 255, 255, 235));
            for (double x : eyeX) {
                painter.drawEllipse(QPointF(x + 1.3, eyeY - 1.9), 1.5, 1.5);
            }
        }
    } else {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(roundPen(ink, 2.6 * bold));
        for (double x : eyeX) {
            QPainterPath lid;
            lid.moveTo(x - 4.4, eyeY - 0.5);
            lid.quadTo(x, eyeY + 4.2, x + 4.4, eyeY - 0.5);
            painter.drawPath(lid);
        }
    }
    if (!detailed) {
        return;
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 160, 170, 150));
    painter.drawEllipse(QPointF(29.5, 47.0), 4.6, 2.8);
    painter.drawEllipse(QPointF(70.5, 47.0), 4.6, 2.8);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(roundPen(ink, 2.4));
    QPainterPath mouth;
    if (awake) {
        mouth.moveTo(45.0, 47.5);
        mouth.quadTo(50.0, 52.5, 55.0, 47.5);
    } else {
        mouth.moveTo(47.0, 49.0);
        mouth.quadTo(50.0, 51.0, 53.0, 49.0);
    }
    painter.drawPath(mouth);
}

}  // namespace

void drawMascot(QPainter& painter, const QRectF& rect, bool awake) {
    const double side = std::min(rect.width(), rect.height());
    if (side <= 0) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    fitGrid(painter, rect);
    // Below about 40 pixels the small touches only blur: leave them out and draw the lines that
    // remain bolder, so the figure stays crisp down to tray size.
    const bool detailed = side >= 40;
    const double bold = std::clamp(36.0 / side, 1.0, 2.0);

    const QPainterPath canopy = canopyPath(18.0, 62.0, 7.0, 93.0, 6.5);
    const QPainterPath handle = handlePath(60.0, 86.0, 10.0);
    const QPainterPath z = sleepyZ(78.0, 9.0, 7.0);
    const QPainterPath smallZ = sleepyZ(89.0, 2.0, 4.5);

    // A soft light rim around the whole figure keeps its dark lines readable on dark
    // backgrounds; on light ones it does not show.
    const QColor halo(255, 255, 255, 150);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(roundPen(halo, 5.2 * bold + 4.0));
    painter.drawPath(handle);
    painter.drawLine(QPointF(50.0, 18.0), QPointF(50.0, 11.5));
    painter.setPen(roundPen(halo, 3.2 * bold + 4.0));
    painter.drawPath(canopy);
    if (!awake) {
        painter.setPen(roundPen(halo, 2.6 * bold + 3.0));
        painter.drawPath(z);
        if (detailed) {
            painter.drawPath(smallZ);
        }
    }

    // Handle before canopy, so the canopy covers its top.
    painter.setPen(roundPen(ink, 5.2 * bold));
    painter.drawPath(handle);
    if (detailed) {
        painter.setPen(roundPen(QColor(0x8a, 0x6a, 0x8e), 1.6));
        painter.drawLine(QPointF(49.3, 64.0), QPointF(49.3, 84.0));
    }

    // The tip on top of the dome.
    painter.setPen(roundPen(ink, 4.0 * bold));
    painter.drawLine(QPointF(50.0, 18.0), QPointF(50.0, 11.5));

    QLinearGradient body(QPointF(20.0, 18.0), QPointF(80.0, 64.0));
    body.setColorAt(0.0, QColor(0xff, 0x9e, 0x6e));
    body.setColorAt(1.0, QColor(0xee, 0x4d, 0x6a));
    painter.setBrush(body);
    painter.setPen(roundPen(ink, 3.2 * bold));
    painter.drawPath(canopy);

    if (detailed) {
        // Soft ribs and a sheen on the upper left give the dome its roundness.
        painter.save();
        painter.setClipPath(canopy);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(roundPen(QColor(0x9c, 0x2a, 0x4a, 90), 1.6));
        for (double tip : {28.5, 71.5}) {
            QPainterPath rib;
            rib.moveTo(50.0, 19.0);
            rib.quadTo(tip + (tip < 50 ? 4.0 : -4.0), 30.0, tip, 62.0);
            painter.drawPath(rib);
        }
        QPainterPath sheen;
        sheen.moveTo(16.0, 44.0);
        sheen.cubicTo(17.0, 32.0, 26.0, 24.0, 37.0, 21.5);
        painter.setPen(roundPen(QColor(255, 255, 255, 120), 3.2));
        painter.drawPath(sheen);
        painter.restore();
    }

    drawFace(painter, awake, detailed, bold);

    if (!awake) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(roundPen(ink, 2.6 * bold));
        painter.drawPath(z);
        if (detailed) {
            painter.setPen(roundPen(ink, 2.0));
            painter.drawPath(smallZ);
        }
    }
    painter.restore();
}

// A clear square canvas; a null image for a size that cannot be drawn.
static QImage transparentSquare(int size) {
    if (size <= 0) {
        return {};
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    if (!image.isNull()) {
        image.fill(Qt::transparent);
    }
    return image;
}

QImage renderAppIcon(int size) {
    QImage image = transparentSquare(size);
    if (image.isNull()) {
        return {};
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);

    const double s = size;
    const QRectF tile(s * 0.03, s * 0.03, s * 0.94, s * 0.94);
    QPainterPath square;
    square.addRoundedRect(tile, s * 0.21, s * 0.21);

    QLinearGradient sky(tile.topLeft(), tile.bottomLeft());
    sky.setColorAt(0.0, QColor(0x6f, 0x8c, 0xe8));
    sky.setColorAt(1.0, QColor(0x2f, 0x3f, 0x8f));
    painter.fillPath(square, sky);

    // A glow behind the mascot and a few raindrops around it.
    painter.save();
    painter.setClipPath(square);
    QRadialGradient glow(QPointF(s * 0.5, s * 0.44), s * 0.42);
    glow.setColorAt(0.0, QColor(255, 255, 255, 70));
    glow.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.fillRect(tile, glow);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xcf, 0xe0, 0xff, 200));
    const std::array<std::array<double, 3>, 5> drops = {{{0.17, 0.22, 0.030},
                                                         {0.84, 0.30, 0.026},
                                                         {0.13, 0.60, 0.024},
                                                         {0.87, 0.66, 0.030},
                                                         {0.24, 0.86, 0.022}}};
    for (const auto& [x, y, r] : drops) {
        QPainterPath drop;
        const QPointF c(s * x, s * y);
        const double radius = s * r;
        drop.moveTo(c.x(), c.y() - radius * 2.4);
        drop.cubicTo(c.x() + radius * 0.3, c.y() - radius * 1.4, c.x() + radius,
                     c.y() - radius * 0.6, c.x() + radius, c.y());
        drop.arcTo(QRectF(c.x() - radius, c.y() - radius, radius * 2, radius * 2), 0, -180);
        drop.cubicTo(c.x() - radius, c.y() - radius * 0.6, c.x() - radius * 0.3,
                     c.y() - radius * 1.4, c.x(), c.y() - radius * 2.4);
        painter.drawPath(drop);
    }
    painter.restore();

    drawMascot(painter, QRectF(s * 0.14, s * 0.14, s * 0.72, s * 0.72), true);
    painter.end();
    return image;
}

QImage renderTrayGlyph(int size, bool dimmed) {
    QImage image = transparentSquare(size);
    if (image.isNull()) {
        return {};
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.scale(size / grid, size / grid);
    if (dimmed) {
        painter.setOpacity(0.5);
    }

    // Bolder proportions than the mascot: a wide canopy, thick outline, big eyes, and a handle
    // drawn as a light core inside a dark edge so that it shows on any panel.
    const QColor light(0xf4, 0xf1, 0xf6);
    const QColor dark(0x24, 0x1c, 0x2a);
    const QPainterPath canopy = canopyPath(6.0, 58.0, 3.0, 97.0, 7.0);
    QPainterPath handle;
    handle.moveTo(50.0, 56.0);
    handle.lineTo(50.0, 78.0);
    handle.cubicTo(50.0, 97.0, 28.0, 97.0, 28.0, 81.0);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(roundPen(dark, 20.0));
    painter.drawPath(handle);
    painter.setPen(roundPen(light, 8.0));
    painter.drawPath(handle);

    painter.setPen(roundPen(dark, 9.0));
    painter.setBrush(light);
    painter.drawPath(canopy);

    if (dimmed) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(roundPen(dark, 8.0));
        painter.drawLine(QPointF(25.0, 36.0), QPointF(39.0, 36.0));
        painter.drawLine(QPointF(61.0, 36.0), QPointF(75.0, 36.0));
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(dark);
        painter.drawEllipse(QPointF(32.0, 34.0), 8.0, 10.0);
        painter.drawEllipse(QPointF(68.0, 34.0), 8.0, 10.0);
    }
    painter.end();
    return image;
}

}  // namespace ombrel::art
