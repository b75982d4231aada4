// The accent colour of the overlays and the settings views, resolved by the desktop's light or
// dark style.
#pragma once

#include <QColor>
#include <QPalette>

namespace ombrel {

// A dark style is one whose window background is darker than mid-grey; Qt 6.4 offers no colour
// scheme query, and the palette is what the settings views draw with anyway.
bool isDarkPalette(const QPalette& palette);

// sRGB (1.0, 0.5, 0.4) on dark styles, (0.8, 0.24, 0.18) on light ones; opaque.
QColor overlayColor(const QPalette& palette);
// The same for the application's current palette.
QColor overlayColor();

}  // namespace ombrel
