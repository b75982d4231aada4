// The settings window's shared look.
#include "settings/style.h"

#include "settings/appearance.h"

#include <QFontDatabase>
#include <QStringList>
#include <cmath>

namespace ombrel::style {

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}

QColor accent(const QPalette& palette) {
    return isDark(palette) ? QColor::fromRgbF(1.0f, 0.5f, 0.4f)
                           : QColor::fromRgbF(0.8f, 0.24f, 0.18f);
}

QColor secondary(const QPalette& palette) {
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(isDark(palette) ? 0.55f : 0.5f);
    return c;
}

QColor label(const QPalette& palette) {
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.85f);
    return c;
}

QColor hover(const QPalette& palette) {
    return isDark(palette) ? QColor(255, 255, 255, 15) : QColor(0, 0, 0, 10);
}

QColor separator(const QPalette& palette) {
    return isDark(palette) ? QColor(255, 255, 255, 38) : QColor(0, 0, 0, 28);
}

QColor controlBackground(const QPalette& palette) {
    return isDark(palette) ? QColor(30, 30, 32) : QColor(255, 255, 255);
}

QColor sidebarBackground(const QPalette& palette) {
    return isDark(palette) ? QColor(40, 38, 40) : QColor(232, 229, 228);
}

QColor contentBackground(const QPalette& palette) {
    // The palette's own window colour, so that anything filling its background with it (a scroll
    // area does) shows no seam.
    return palette.color(QPalette::Window);
}

QColor green(const QPalette& palette) {
    return isDark(palette) ? QColor(48, 209, 88) : QColor(52, 199, 89);
}

QColor orange(const QPalette& palette) {
    return isDark(palette) ? QColor(255, 159, 10) : QColor(255, 149, 0);
}

QColor red(const QPalette& palette) {
    return isDark(palette) ? QColor(255, 69, 58) : QColor(255, 59, 48);
}

QString roundedFamily() {
    static const QString family = [] {
        const QStringList wanted = {
            "SF Pro Rounded", "Nunito",    "Varela Round", "M PLUS Rounded 1c",
            "Quicksand",      "Comfortaa", "Ubuntu",       "Cantarell"};
        const QStringList installed = QFontDatabase::families();
        for (const QString& f : wanted) {
            if (installed.contains(f, Qt::CaseInsensitive)) {
                return f;
            }
        }
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return family;
}

QFont systemFont(double points, QFont::Weight weight) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPixelSize(static_cast<int>(std::lround(points)));
    f.setWeight(weight);
    return f;
}

QFont roundedFont(double points, QFont::Weight weight) {
    QFont f(roundedFamily());
    f.setPixelSize(static_cast<int>(std::lround(points)));
    f.setWeight(weight);
    return f;
}

QFont titleFont() {
    return roundedFont(30, QFont::Bold);
}
QFont headlineFont() {
    return roundedFont(20, QFont::DemiBold);
}
QFont captionFont() {
    return systemFont(12);
}

QFont monoFont(double points, QFont::Weight weight) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(static_cast<int>(std::lround(points)));
    f.setWeight(weight);
    return f;
}

bool reduceMotion() {
    // GNOME's setting through the portal; without a portal, animations stay on.
    static const bool reduce = [] {
        const auto v = appearance::readPortal("org.gnome.desktop.interface", "enable-animations");
        return v && v->typeId() == QMetaType::Bool && !v->toBool();
    }();
    return reduce;
}

QPalette lightPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(246, 245, 244));
    p.setColor(QPalette::WindowText, QColor(28, 28, 30));
    p.setColor(QPalette::Base, QColor(255, 255, 255));
    p.setColor(QPalette::AlternateBase, QColor(244, 244, 244));
    p.setColor(QPalette::Text, QColor(28, 28, 30));
    p.setColor(QPalette::Button, QColor(252, 252, 252));
    p.setColor(QPalette::ButtonText, QColor(28, 28, 30));
    p.setColor(QPalette::Highlight, QColor::fromRgbF(0.8f, 0.24f, 0.18f));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(28, 28, 30, 110));
    p.setColor(QPalette::ToolTipBase, QColor(255, 255, 240));
    p.setColor(QPalette::ToolTipText, QColor(28, 28, 30));
    p.setColor(QPalette::Mid, QColor(200, 200, 200));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(28, 28, 30, 90));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(28, 28, 30, 90));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(28, 28, 30, 90));
    return p;
}

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(30, 29, 30));
    p.setColor(QPalette::WindowText, QColor(236, 236, 238));
    p.setColor(QPalette::Base, QColor(24, 24, 26));
    p.setColor(QPalette::AlternateBase, QColor(40, 40, 42));
    p.setColor(QPalette::Text, QColor(236, 236, 238));
    p.setColor(QPalette::Button, QColor(58, 57, 58));
    p.setColor(QPalette::ButtonText, QColor(236, 236, 238));
    p.setColor(QPalette::Highlight, QColor::fromRgbF(1.0f, 0.5f, 0.4f));
    p.setColor(QPalette::HighlightedText, QColor(30, 20, 18));
    p.setColor(QPalette::PlaceholderText, QColor(236, 236, 238, 110));
    p.setColor(QPalette::ToolTipBase, QColor(50, 50, 52));
    p.setColor(QPalette::ToolTipText, QColor(236, 236, 238));
    p.setColor(QPalette::Mid, QColor(80, 80, 80));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(236, 236, 238, 90));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(236, 236, 238, 90));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(236, 236, 238, 90));
    return p;
}

}  // namespace ombrel::style
