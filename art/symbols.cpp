// The small monochrome symbols of the settings window, drawn as vectors on a 24-unit grid.
#include "art/symbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <utility>

namespace ombrel::symbols {
namespace {

constexpr double kLine = 1.8;

// What a glyph is made of: filled areas and stroked lines, both in grid units.
struct Glyph {
    QPainterPath fill;
    QPainterPath stroke;
    double lineWidth = kLine;
};

QPainterPath strokedOutline(const QPainterPath& path, double width) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path);
}

QPainterPath circle(QPointF c, double r) {
    QPainterPath p;
    p.addEllipse(c, r, r);
    return p;
}

QPainterPath roundRect(QRectF r, double radius) {
    QPainterPath p;
    p.addRoundedRect(r, radius, radius);
    return p;
}

QPainterPath polyline(std::initializer_list<QPointF> pts) {
    QPainterPath p;
    bool first = true;
    for (const auto& pt : pts) {
        if (first) {
            p.moveTo(pt);
            first = false;
        } else {
            p.lineTo(pt);
        }
    }
    return p;
}

// A four-pointed sparkle star centred on c.
QPainterPath star(QPointF c, double r) {
    QPainterPath p;
    const double k = r * 0.22;
    p.moveTo(c.x(), c.y() - r);
    p.quadTo(c.x() + k, c.y() - k, c.x() + r, c.y());
    p.quadTo(c.x() + k, c.y() + k, c.x(), c.y() + r);
    p.quadTo(c.x() - k, c.y() + k, c.x() - r, c.y());
    p.quadTo(c.x() - k, c.y() - k, c.x(), c.y() - r);
    p.closeSubpath();
    return p;
}

QPainterPath exclamation(double top, double bottom, double dotY) {
    QPainterPath mark = strokedOutline(polyline({{12, top}, {12, bottom}}), 2.4);
    mark.addEllipse(QPointF(12, dotY), 1.45, 1.45);
    return mark;
}

Glyph keyboard() {
    Glyph g;
    g.stroke = roundRect({2.5, 6, 19, 12.5}, 2.5);
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 5; ++col) {
            g.fill.addRoundedRect(QRectF(5.2 + col * 3.0, 8.6 + row * 2.8, 1.7, 1.5), 0.4, 0.4);
        }
    }
    g.fill.addRoundedRect(QRectF(8, 14.4, 8, 1.6), 0.6, 0.6);
    return g;
}

Glyph handTap() {
    Glyph g;
    QPainterPath hand;
    hand.moveTo(10.2, 15.5);
    hand.lineTo(10.2, 7.5);
    hand.cubicTo(10.2, 5.7, 12.8, 5.7, 12.8, 7.5);
    hand.lineTo(12.8, 12.2);
    hand.cubicTo(12.8, 10.8, 15.2, 10.8, 15.2, 12.3);
    hand.cubicTo(15.2, 11.3, 17.6, 11.3, 17.6, 12.8);
    hand.lineTo(17.6, 17.5);
    hand.cubicTo(17.6, 20.5, 15.5, 22, 13.3, 22);
    hand.cubicTo(11.3, 22, 10.2, 21, 9.2, 19.6);
    hand.lineTo(7.0, 16.5);
    hand.cubicTo(6.2, 15.3, 7.6, 14.0, 8.8, 14.9);
    hand.closeSubpath();
    g.stroke = hand;
    QPainterPath ripple;
    ripple.arcMoveTo(QRectF(7.3, 2.3, 8.4, 8.4), 160);
    ripple.arcTo(QRectF(7.3, 2.3, 8.4, 8.4), 160, -140);
    g.stroke.addPath(ripple);
    return g;
}

Glyph computerMouse() {
    Glyph g;
    g.stroke = roundRect({6.5, 2.5, 11, 19}, 5.5);
    g.stroke.addPath(polyline({{12, 5.5}, {12, 9}}));
    return g;
}

Glyph computerMouseFill() {
    Glyph g;
    QPainterPath body = roundRect({6, 2, 12, 20}, 6);
    body = body.subtracted(strokedOutline(polyline({{12, 4.5}, {12, 8.5}}), 1.8));
    body = body.subtracted(strokedOutline(polyline({{6, 11}, {18, 11}}), 1.1));
    g.fill = body;
    return g;
}

Glyph scribble() {
    Glyph g;
    // One continuous loop-de-loop, a little heavier on its downstrokes.
    QPainterPath p;
    p.moveTo(3, 17);
    p.cubicTo(5, 9, 9, 4, 10.5, 7);
    p.cubicTo(12, 10, 6.5, 18, 9.5, 19);
    p.cubicTo(12.5, 20, 14, 8, 16.5, 8.5);
    p.cubicTo(19, 9, 15.5, 17, 18, 17.5);
    p.cubicTo(19.5, 17.8, 20.5, 15.5, 21, 14);
    g.stroke = p;
    g.fill = strokedOutline(p, 0.6);
    return g;
}

Glyph gear() {
    Glyph g;
    QPainterPath outer;
    constexpr int teeth = 8;
    const QPointF c(12, 12);
    // Each tooth is two points on the outer radius followed by two on the inner one.
    constexpr std::array<double, 4> offsets = {-0.17, 0.17, 0.30, 0.62};
    constexpr std::array<double, 4> radii = {10, 10, 7.6, 7.6};
    for (int i = 0; i < teeth * 4; ++i) {
        const auto phase = static_cast<std::size_t>(i % 4);
        const int tooth = i / 4;
        const double angle = tooth * 2 * M_PI / teeth + offsets[phase];
        const QPointF pt(c.x() + radii[phase] * std::cos(angle),
                         c.y() + radii[phase] * std::sin(angle));
        if (i == 0) {
            outer.moveTo(pt);
        } else {
            outer.lineTo(pt);
        }
    }
    outer.closeSubpath();
    g.fill = outer.subtracted(circle(c, 3.3));
    return g;
}

Glyph macWindow() {
    Glyph g;
    g.stroke = roundRect({2.5, 4.5, 19, 15}, 2.5);
    g.stroke.addPath(polyline({{2.5, 8.8}, {21.5, 8.8}}));
    for (int i = 0; i < 3; ++i) {
        g.fill.addEllipse(QPointF(5.2 + i * 2.2, 6.7), 0.75, 0.75);
    }
    return g;
}

Glyph sparkles() {
    Glyph g;
    g.fill = star({10, 13}, 8.5);
    g.fill.addPath(star({18.5, 5.5}, 3.8));
    g.fill.addPath(star({19, 18.5}, 2.8));
    return g;
}

Glyph command() {
    Glyph g;
    QPainterPath p;
    const double lo = 9;
    const double hi = 15;
    const double r = 2.6;
    // The middle square, its sides running on into the four loops.
    p.addRect(QRectF(lo, lo, hi - lo, hi - lo));
    const std::array<std::pair<QPointF, double>, 4> loops = {
        std::pair{QPointF(lo - r, lo - r), 0.0}, std::pair{QPointF(hi + r, lo - r), 270.0},
        std::pair{QPointF(hi + r, hi + r), 180.0}, std::pair{QPointF(lo - r, hi + r), 90.0}};
    for (const auto& [center, start] : loops) {
        const QRectF box(center.x() - r, center.y() - r, 2 * r, 2 * r);
        p.arcMoveTo(box, start);
        p.arcTo(box, start, 270);
    }
    g.stroke = p;
    g.lineWidth = 1.7;
    return g;
}

Glyph appBadge() {
    Glyph g;
    QPainterPath square = roundRect({3, 5, 15.5, 15.5}, 4);
    g.stroke = square.subtracted(circle({18, 6}, 5.3));
    g.fill = circle({18, 6}, 3.4);
    return g;
}

Glyph link() {
    Glyph g;
    QTransform t;
    t.translate(12, 12);
    t.rotate(-45);
    QPainterPath a = roundRect({-8.5, -3.2, 10.5, 6.4}, 3.2);
    QPainterPath b = roundRect({-2, -3.2, 10.5, 6.4}, 3.2);
    g.stroke = t.map(a);
    g.stroke.addPath(t.map(b));
    return g;
}

Glyph terminal() {
    Glyph g;
    g.stroke = roundRect({2.5, 4, 19, 16}, 3);
    g.stroke.addPath(polyline({{7, 9.5}, {10, 12}, {7, 14.5}}));
    g.stroke.addPath(polyline({{12, 14.8}, {16.5, 14.8}}));
    return g;
}

Glyph pencil() {
    Glyph g;
    QTransform t;
    t.translate(12, 12);
    t.rotate(-45);
    QPainterPath body;
    body.moveTo(-8.5, -2.4);
    body.lineTo(6.5, -2.4);
    body.quadTo(9, -2.4, 9, 0);
    body.quadTo(9, 2.4, 6.5, 2.4);
    body.lineTo(-8.5, 2.4);
    body.lineTo(-11.5, 0);
    body.closeSubpath();
    g.stroke = t.map(body);
    g.stroke.addPath(t.map(polyline({{4, -2.4}, {4, 2.4}})));
    g.lineWidth = 1.6;
    return g;
}

Glyph trash() {
    Glyph g;
    QPainterPath p = polyline({{3.5, 6.5}, {20.5, 6.5}});
    p.addPath(polyline({{9, 6.5}, {9, 4}, {15, 4}, {15, 6.5}}));
    QPainterPath can;
    can.moveTo(5.5, 6.5);
    can.lineTo(6.8, 19.5);
    can.quadTo(7, 21, 8.5, 21);
    can.lineTo(15.5, 21);
    can.quadTo(17, 21, 17.2, 19.5);
    can.lineTo(18.5, 6.5);
    p.addPath(can);
    p.addPath(polyline({{10, 10}, {10.3, 17.5}}));
    p.addPath(polyline({{14, 10}, {13.7, 17.5}}));
    g.stroke = p;
    g.lineWidth = 1.6;
    return g;
}

Glyph plus() {
    Glyph g;
    g.stroke = polyline({{12, 4.5}, {12, 19.5}});
    g.stroke.addPath(polyline({{4.5, 12}, {19.5, 12}}));
    g.lineWidth = 2.3;
    return g;
}

Glyph arrowRight() {
    Glyph g;
    g.stroke = polyline({{4, 12}, {19.5, 12}});
    g.stroke.addPath(polyline({{13.5, 6}, {19.5, 12}, {13.5, 18}}));
    g.lineWidth = 2.0;
    return g;
}

Glyph checkCircle() {
    Glyph g;
    g.fill =
        circle({12, 12}, 10)
            .subtracted(strokedOutline(polyline({{7.3, 12.3}, {10.6, 15.6}, {16.8, 8.6}}), 2.4));
    return g;
}

Glyph exclamationCircle() {
    Glyph g;
    g.fill = circle({12, 12}, 10).subtracted(exclamation(6.8, 13, 16.9));
    return g;
}

Glyph exclamationTriangle() {
    Glyph g;
    QPainterPath tri = polyline({{12, 3}, {22, 20.5}, {2, 20.5}});
    tri.closeSubpath();
    QPainterPath rounded = tri.united(strokedOutline(tri, 2.6));
    g.fill = rounded.subtracted(exclamation(9, 14.5, 17.8));
    return g;
}

using Maker = Glyph (*)();
constexpr std::array<std::pair<std::string_view, Maker>, 19> kGlyphs = {{
    {"keyboard", keyboard},
    {"hand.tap", handTap},
    {"computermouse", computerMouse},
    {"computermouse.fill", computerMouseFill},
    {"scribble.variable", scribble},
    {"gearshape", gear},
    {"macwindow", macWindow},
    {"sparkles", sparkles},
    {"command", command},
    {"app.badge", appBadge},
    {"link", link},
    {"terminal", terminal},
    {"pencil", pencil},
    {"trash", trash},
    {"plus", plus},
    {"arrow.right", arrowRight},
    {"checkmark.circle.fill", checkCircle},
    {"exclamationmark.circle.fill", exclamationCircle},
    {"exclamationmark.triangle.fill", exclamationTriangle},
}};

Maker find(std::string_view name) {
    for (const auto& [n, maker] : kGlyphs) {
        if (n == name) {
            return maker;
        }
    }
    return nullptr;
}

}  // namespace

bool known(std::string_view name) {
    return find(name) != nullptr;
}

bool draw(QPainter& painter, std::string_view name, const QRectF& rect, const QColor& color) {
    const Maker maker = find(name);
    if (!maker) {
        return false;
    }
    const Glyph glyph = maker();
    const double side = std::min(rect.width(), rect.height());
    if (side <= 0) {
        return true;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.scale(side / 24.0, side / 24.0);
    if (!glyph.fill.isEmpty()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(glyph.fill);
    }
    if (!glyph.stroke.isEmpty()) {
        QPen pen(color, glyph.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(glyph.stroke);
    }
    painter.restore();
    return true;
}

QPixmap pixmap(std::string_view name, int size, const QColor& color, qreal devicePixelRatio) {
    QPixmap pm(QSize(size, size) * devicePixelRatio);
    pm.setDevicePixelRatio(devicePixelRatio);
    pm.fill(Qt::transparent);
    QPainter painter(&pm);
    draw(painter, name, QRectF(0, 0, size, size), color);
    return pm;
}

}  // namespace ombrel::symbols
