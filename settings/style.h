// The settings window's shared look: fonts, colours resolved for a light or dark palette, and
// whether the desktop asks for reduced motion.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

namespace ombrel::style {

// Dark when the window colour of the palette is darker than its text colour.
bool isDark(const QPalette& palette);

QColor accent(const QPalette& palette);
QColor secondary(const QPalette& palette);
QColor label(const QPalette& palette);
QColor hover(const QPalette& palette);
QColor separator(const QPalette& palette);
QColor controlBackground(const QPalette& palette);
QColor sidebarBackground(const QPalette& palette);
QColor contentBackground(const QPalette& palette);
QColor green(const QPalette& palette);
QColor orange(const QPalette& palette);
QColor red(const QPalette& palette);

// A rounded family when one is installed, else the system family.
QString roundedFamily();
QFont titleFont();
QFont headlineFont();
QFont captionFont();
QFont systemFont(double points, QFont::Weight weight = QFont::Normal);
QFont monoFont(double points, QFont::Weight weight = QFont::Medium);
// The font of a rounded design at a size and weight (the editor's title).
QFont roundedFont(double points, QFont::Weight weight);

// Whether the desktop asks for animations to be left out; read once.
bool reduceMotion();

// Full palettes in the window's light and dark look, used where the desktop gives none.
QPalette lightPalette();
QPalette darkPalette();

}  // namespace ombrel::style
