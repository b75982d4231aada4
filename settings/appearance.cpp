// The program's palettes following the desktop's light or dark preference.
#include "settings/appearance.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QStyleHints>

#include "settings/style.h"

namespace ombrel::appearance {

namespace {
constexpr const char* kService = "org.freedesktop.portal.Desktop";
constexpr const char* kPath = "/org/freedesktop/portal/desktop";
constexpr const char* kInterface = "org.freedesktop.portal.Settings";

QVariant unwrap(QVariant v) {
    // The portal wraps values in one or two variants.
    while (v.userType() == qMetaTypeId<QDBusVariant>()) {
        v = v.value<QDBusVariant>().variant();
    }
    return v;
}

Scheme qtHint() {
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    switch (QGuiApplication::styleHints()->colorScheme()) {
        case Qt::ColorScheme::Dark:
            return Scheme::dark;
        case Qt::ColorScheme::Light:
            return Scheme::light;
        default:
            return Scheme::unknown;
    }
#else
    return Scheme::unknown;
#endif
}
}  // namespace

Scheme fromFreedesktop(const QVariant& value) {
    const QVariant v = unwrap(value);
    bool ok = false;
    const uint number = v.toUInt(&ok);
    if (!ok) {
        return Scheme::unknown;
    }
    return number == 1 ? Scheme::dark : number == 2 ? Scheme::light : Scheme::unknown;
}

Scheme fromGnome(const QVariant& value) {
    const QString v = unwrap(value).toString();
    return v == "prefer-dark"    ? Scheme::dark
           : v == "prefer-light" ? Scheme::light
                                 : Scheme::unknown;
}

bool wantsDark(Scheme freedesktop, Scheme gnome, Scheme qtHint, bool desktopPaletteDark) {
    for (Scheme s : {freedesktop, gnome, qtHint}) {
        if (s != Scheme::unknown) {
            return s == Scheme::dark;
        }
    }
    return desktopPaletteDark;
}

std::optional<QVariant> readPortal(const QString& nameSpace, const QString& key) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Only a portal that already runs: starting one could hold the window up for seconds.
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kService)) {
        return std::nullopt;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Read");
    call << nameSpace << key;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 500);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return unwrap(reply.arguments().first());
}

Follower::Follower(QObject* parent) : QObject(parent) {
    // The desktop's palette as it was before ours replaced it.
    desktopDark_ = style::isDark(QGuiApplication::palette());
    if (const auto v = readPortal("org.freedesktop.appearance", "color-scheme")) {
        freedesktop_ = fromFreedesktop(*v);
    }
    if (const auto v = readPortal("org.gnome.desktop.interface", "color-scheme")) {
        gnome_ = fromGnome(*v);
    }
    QDBusConnection::sessionBus().connect(
        kService, kPath, kInterface, "SettingChanged", this,
        SLOT(settingChanged(QString, QString, QDBusVariant)));  // NOLINT: Qt's string connect
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    connect(QGuiApplication::styleHints(), &QStyleHints::colorSchemeChanged, this,
            [this] { apply(); });
#endif
    apply();
}

void Follower::settingChanged(const QString& nameSpace, const QString& key,
                              const QDBusVariant& value) {
    if (key != "color-scheme") {
        return;
    }
    if (nameSpace == "org.freedesktop.appearance") {
        freedesktop_ = fromFreedesktop(value.variant());
    } else if (nameSpace == "org.gnome.desktop.interface") {
        gnome_ = fromGnome(value.variant());
    } else {
        return;
    }
    apply();
}

void Follower::apply() {
    const bool dark = wantsDark(freedesktop_, gnome_, qtHint(), desktopDark_);
    if (applied_ && dark == dark_) {
        return;
    }
    applied_ = true;
    dark_ = dark;
    QApplication::setPalette(dark ? style::darkPalette() : style::lightPalette());
}

}  // namespace ombrel::appearance
