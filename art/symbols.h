// The small monochrome symbols of the settings window, drawn as vectors so they look the same
// whatever icon theme the desktop has. The caller picks the colour.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <string_view>

class QPainter;

namespace ombrel::symbols {

// Draws the named symbol fitted into the square centred in rect; false for an unknown name.
bool draw(QPainter& painter, std::string_view name, const QRectF& rect, const QColor& color);
// Whether a symbol of that name exists.
bool known(std::string_view name);
// The symbol rendered into a pixmap of the given logical size at the given device pixel ratio.
QPixmap pixmap(std::string_view name, int size, const QColor& color, qreal devicePixelRatio = 1);

}  // namespace ombrel::symbols
