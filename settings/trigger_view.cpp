// The trigger glyphs of the rule rows.
#include "settings/trigger_view.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "art/icon_art.h"
#include "art/symbols.h"
#include "settings/glyph_layout.h"
#include "settings/style.h"

namespace ombrel {

namespace glyphs {

void paintTile(QPainter& p, const QRectF& rect, const QPalette& palette, bool accentFilled) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    if (accentFilled) {
        QColor fill = style::accent(palette);
        fill.setAlphaF(0.16f);
        p.setBrush(fill);
        p.setPen(QPen(style::accent(palette), 1.5));
        p.drawRoundedRect(rect.adjusted(0.75, 0.75, -0.75, -0.75), 6, 6);
    } else {
        p.setBrush(style::controlBackground(palette));
        p.setPen(QPen(style::separator(palette), 1));
        p.drawRoundedRect(r, 6, 6);
    }
    p.restore();
}

void paintTrackpadGlyph(QPainter& p, const QRectF& tile, const TrackpadGesture& gesture,
                        const QPalette& palette) {
    paintTile(p, tile, palette, gesture.kind == TrackpadGesture::Kind::click);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QColor accent = style::accent(palette);
    QColor faint = accent;
    faint.setAlphaF(0.10f);
    for (const FingerMark& m : trackpadMarks(gesture, tile.width(), tile.height())) {
        const QRectF r(tile.left() + m.x, tile.top() + m.y, m.width, m.height);
        switch (m.shape) {
            case FingerMark::Shape::dot:
                p.setPen(Qt::NoPen);
                p.setBrush(accent);
                p.drawEllipse(r);
                break;
            case FingerMark::Shape::ring:
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(style::secondary(palette), 1.5));
                p.drawEllipse(r.adjusted(0.75, 0.75, -0.75, -0.75));
                break;
            case FingerMark::Shape::capsule: {
                QPointF from;
                QPointF to;
                switch (m.fade) {
                    case FingerMark::Fade::towardTop:
                        from = {r.center().x(), r.bottom()};
                        to = {r.center().x(), r.top()};
                        break;
                    case FingerMark::Fade::towardBottom:
                        from = {r.center().x(), r.top()};
                        to = {r.center().x(), r.bottom()};
                        break;
                    case FingerMark::Fade::towardLeft:
                        from = {r.right(), r.center().y()};
                        to = {r.left(), r.center().y()};
                        break;
                    case FingerMark::Fade::towardRight:
                    case FingerMark::Fade::none:
                        from = {r.left(), r.center().y()};
                        to = {r.right(), r.center().y()};
                        break;
                }
                QLinearGradient g(from, to);
                g.setColorAt(0, faint);
                g.setColorAt(1, accent);
                p.setPen(Qt::NoPen);
                p.setBrush(g);
                const double radius = std::min(r.width(), r.height()) / 2;
                p.drawRoundedRect(r, radius, radius);
                break;
            }
        }
    }
    p.restore();
}

void paintDrawingGlyph(QPainter& p, const QRectF& box, const std::vector<Pt>& points,
                       double lineWidth, const QPalette& palette) {
    if (points.empty()) {
        return;
    }
    const auto placed = glyphPoints(points, box.width(), box.height());
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QColor accent = style::accent(palette);
    QPainterPath path;
    path.moveTo(box.left() + placed[0].x, box.top() + placed[0].y);
    for (std::size_t i = 1; i < placed.size(); ++i) {
        path.lineTo(box.left() + placed[i].x, box.top() + placed[i].y);
    }
    p.setPen(QPen(accent, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    const double d = 2.5 * lineWidth;
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawEllipse(QPointF(box.left() + placed[0].x, box.top() + placed[0].y), d / 2, d / 2);
    p.restore();
}

namespace {
constexpr double kGap = 8;
constexpr double kCapGap = 4;
// Symbols fill this box on a cap, whatever size their font draws them at: fonts draw ⌃ and ⌥
// as specks at text size.
constexpr double kSymbolWidth = 14;
constexpr double kSymbolHeight = 12;

QFont labelFont() {
    return style::systemFont(13);
}

// One symbol (a modifier, Return, Tab, ...) rather than a name or a letter.
bool isSymbol(const QString& text) {
    return text.size() == 1 && text.at(0).unicode() > 0x7F && !text.at(0).isLetterOrNumber();
}

}  // namespace

double capWidth(const QString& text) {
    if (isSymbol(text)) {
        return capHeight;
    }
    const QFontMetricsF fm(style::monoFont(13));
    return std::max(capHeight, fm.horizontalAdvance(text) + 16);
}

void paintKeyCap(QPainter& p, const QRectF& cap, const QString& text, const QPalette& palette) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const bool dark = style::isDark(palette);
    // A hard shadow two points straight down, then the cap, then its outline.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, dark ? 153 : 46));
    p.drawRoundedRect(cap.translated(0, 2), 6, 6);
    p.setBrush(style::controlBackground(palette));
    p.drawRoundedRect(cap, 6, 6);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(style::separator(palette), 1));
    p.drawRoundedRect(cap.adjusted(0.5, 0.5, -0.5, -0.5), 5.5, 5.5);
    const QColor ink = palette.color(QPalette::WindowText);
    p.setPen(ink);
    // Arrows are drawn as the arrow symbol, turned to point the key's way.
    static const QString arrows = QStringLiteral("→↓←↑");
    if (const auto turn = text.size() == 1 ? arrows.indexOf(text) : -1; turn >= 0) {
        p.translate(cap.center());
        p.rotate(90.0 * turn);
        symbols::draw(p, "arrow.right", QRectF(-6.5, -6.5, 13, 13), ink);
        p.restore();
        return;
    }
    if (isSymbol(text)) {
        // The glyph's outline, scaled and centred by its ink rather than by the font's box.
        QPainterPath outline;
        outline.addText(0, 0, style::systemFont(20), text);
        const QRectF inkBox = outline.boundingRect();
        if (!inkBox.isEmpty()) {
            const double scale =
                std::min(kSymbolWidth / inkBox.width(), kSymbolHeight / inkBox.height());
            p.translate(cap.center());
            p.scale(scale, scale);
            p.translate(-inkBox.center());
            p.setPen(Qt::NoPen);
            p.setBrush(ink);
            p.drawPath(outline);
        }
        p.restore();
        return;
    }
    p.setFont(style::monoFont(13));
    p.drawText(cap, Qt::AlignCenter, text);
    p.restore();
}

QSizeF triggerSize(const Trigger& trigger) {
    if (const auto* combo = trigger.asHotkey()) {
        double w = 0;
        for (const auto& t : keyCapTexts(*combo)) {
            w += capWidth(QString::fromStdString(t)) + kCapGap;
        }
        return {w - kCapGap + 1, capHeight + 3};
    }
    const QFontMetricsF fm(labelFont());
    return {tileWidth + kGap + fm.horizontalAdvance(QString::fromStdString(trigger.label())) + 2,
            tileHeight};
}

void paintTrigger(QPainter& p, const QRectF& box, const Trigger& trigger, const QPalette& pal) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (const auto* combo = trigger.asHotkey()) {
        double x = box.left();
        const double y = box.top() + (box.height() - capHeight - 2) / 2;
        p.setClipRect(box.adjusted(0, -2, 0, 2));
        for (const auto& t : keyCapTexts(*combo)) {
            const QString text = QString::fromStdString(t);
            const double w = capWidth(text);
            paintKeyCap(p, QRectF(x, y, w, capHeight), text, pal);
            x += w + kCapGap;
        }
        p.restore();
        return;
    }
    const QRectF tile(box.left(), box.top() + (box.height() - tileHeight) / 2, tileWidth,
                      tileHeight);
    if (const auto* gesture = trigger.asTrackpad()) {
        paintTrackpadGlyph(p, tile, *gesture, pal);
    } else if (trigger.asMouseButton()) {
        paintTile(p, tile, pal, false);
        symbols::draw(p, "computermouse.fill",
                      QRectF(tile.center().x() - 9, tile.center().y() - 9, 18, 18),
                      style::label(pal));
    } else if (const auto* drawing = trigger.asDrawing()) {
        paintTile(p, tile, pal, false);
        paintDrawingGlyph(p, tile, drawing->points, 2, pal);
    }
    const QRectF text(tile.right() + kGap, box.top(), box.right() - tile.right() - kGap,
                      box.height());
    p.setFont(labelFont());
    p.setPen(pal.color(QPalette::WindowText));
    const QString label =
        QFontMetricsF(labelFont())
            .elidedText(QString::fromStdString(trigger.label()), Qt::ElideRight, text.width());
    p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, label);
    p.restore();
}

}  // namespace glyphs

MascotView::MascotView(int size, bool awake, bool accentTinted)
    : size_(size), awake_(awake), tinted_(accentTinted) {
    setFixedSize(size, size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void MascotView::setAwake(bool awake) {
    if (awake_ != awake) {
        awake_ = awake;
        update();
    }
}

void MascotView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!tinted_) {
        art::drawMascot(p, QRectF(rect()), awake_);
        return;
    }
    // Tinted: the figure's own shading kept, its colour washed toward the tint.
    const qreal dpr = devicePixelRatioF();
    QImage img(size() * dpr, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::transparent);
    {
        QPainter ip(&img);
        ip.setRenderHint(QPainter::Antialiasing);
        art::drawMascot(ip, QRectF(rect()), awake_);
        ip.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        QColor wash = style::accent(palette());
        wash.setAlphaF(0.55f);
        ip.fillRect(rect(), wash);
    }
    p.drawImage(QPointF(0, 0), img);
}

}  // namespace ombrel
