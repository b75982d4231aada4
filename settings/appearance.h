// Which look the desktop asks for, and the program's palettes following it: the settings portal
// where it runs (the standard key, then GNOME's), Qt's colour-scheme hint where Qt has one, and
// else whether the desktop's own palette is dark.
#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

class QDBusVariant;

namespace ombrel::appearance {

enum class Scheme { unknown, light, dark };

// org.freedesktop.appearance color-scheme: 0 no preference, 1 dark, 2 light.
Scheme fromFreedesktop(const QVariant& value);
// org.gnome.desktop.interface color-scheme: "default", "prefer-dark", "prefer-light".
Scheme fromGnome(const QVariant& value);
// The first source that has a preference decides.
bool wantsDark(Scheme freedesktop, Scheme gnome, Scheme qtHint, bool desktopPaletteDark);

// One value of the settings portal, unwrapped; nothing without a running portal (no wait for one
// to start) or when it does not know the key.
std::optional<QVariant> readPortal(const QString& nameSpace, const QString& key);

// Keeps the application's palette on the light or dark one as the desktop's preference changes;
// ends with its parent.
class Follower : public QObject {
    Q_OBJECT
  public:
    explicit Follower(QObject* parent = nullptr);
    [[nodiscard]] bool dark() const { return dark_; }

  private slots:
    void settingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

  private:
    void apply();

    Scheme freedesktop_ = Scheme::unknown;
    Scheme gnome_ = Scheme::unknown;
    bool desktopDark_ = false;
    bool dark_ = false;
    bool applied_ = false;
};

}  // namespace ombrel::appearance
