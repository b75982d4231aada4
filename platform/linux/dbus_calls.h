// Short, bounded calls to desktop services on D-Bus. Include it before any Xlib header.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <string>

namespace ombrel::linux_platform {

// How long one call may hold the main thread: a stopped bus or a hung service must never
// freeze input for the bus's default 25 seconds.
inline constexpr int busTimeoutMs = 300;

QDBusConnection sessionBus(const std::string& name);
QDBusConnection systemBus(const std::string& name);

// A blocking call bounded by busTimeoutMs; the reply, or an error message.
QDBusMessage callShort(const QDBusConnection& bus, const QDBusMessage& call);
[[nodiscard]] bool answered(const QDBusMessage& reply);
// Whether some connection owns the name right now (no activation).
bool hasOwner(const QDBusConnection& bus, const QString& name);
QString ownerOf(const QDBusConnection& bus, const QString& name);
QStringList busNames(const QDBusConnection& bus);
std::optional<QVariant> property(const QDBusConnection& bus, const QString& service,
                                 const QString& path, const QString& interface,
                                 const QString& name);

}  // namespace ombrel::linux_platform
