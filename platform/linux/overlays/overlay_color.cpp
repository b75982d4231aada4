// Resolves the overlay accent colour from a palette.
#include "platform/linux/overlays/overlay_color.h"

#include <QGuiApplication>

namespace ombrel {

bool isDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor overlayColor(const QPalette& palette) {
    return isDarkPalette(palette) ? QColor::fromRgbF(1.0F, 0.5F, 0.4F)
                                  : QColor::fromRgbF(0.8F, 0.24F, 0.18F);
}

QColor overlayColor() {
    return overlayColor(QGuiApplication::palette());
}

}  // namespace ombrel
