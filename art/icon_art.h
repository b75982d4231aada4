// The icon art: the umbrella mascot (awake or asleep), the application icon and the tray glyph.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>

namespace ombrel::art {

// Draws the mascot, centred in the rectangle and as large as fits; vector paths only, so it is
// sharp at any size. Asleep, its eyes are shut and a small "z" floats beside it.
void drawMascot(QPainter& painter, const QRectF& rect, bool awake);

// The application icon: the awake mascot on a rounded square of rainy-sky blue. size × size
// pixels, transparent outside the square.
QImage renderAppIcon(int size);

// The tray glyph: a simplified, two-tone mascot (light body, dark outline) that reads on light and
// dark panels alike. Dimmed, it is faded and asleep. size × size pixels, transparent background.
QImage renderTrayGlyph(int size, bool dimmed);

}  // namespace ombrel::art
