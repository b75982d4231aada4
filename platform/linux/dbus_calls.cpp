// Short, bounded calls to desktop services on D-Bus.
#include "platform/linux/dbus_calls.h"

#include <QDBusVariant>

namespace ombrel::linux_platform {

namespace {

const QString busService = QStringLiteral("org.freedesktop.DBus");
const QString busPath = QStringLiteral("/org/freedesktop/DBus");

QDBusMessage busCall(const char* method) {
    return QDBusMessage::createMethodCall(busService, busPath, busService,
                                          QString::fromLatin1(method));
}

}  // namespace

QDBusConnection sessionBus(const std::string& name) {
    return name.empty() ? QDBusConnection::sessionBus()
                        : QDBusConnection(QString::fromStdString(name));
}

QDBusConnection systemBus(const std::string& name) {
    return name.empty() ? QDBusConnection::systemBus()
                        : QDBusConnection(QString::fromStdString(name));
}

QDBusMessage callShort(const QDBusConnection& bus, const QDBusMessage& call) {
    if (!bus.isConnected()) {
        return call.createErrorReply(QDBusError::Disconnected, QStringLiteral("no bus"));
    }
    return bus.call(call, QDBus::Block, busTimeoutMs);
}

bool answered(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool hasOwner(const QDBusConnection& bus, const QString& name) {
    QDBusMessage call = busCall("NameHasOwner");
    call << name;
    const QDBusMessage reply = callShort(bus, call);
    return answered(reply) && !reply.arguments().isEmpty() && reply.arguments().front().toBool();
}

QString ownerOf(const QDBusConnection& bus, const QString& name) {
    QDBusMessage call = busCall("GetNameOwner");
    call << name;
    const QDBusMessage reply = callShort(bus, call);
    return answered(reply) && !reply.arguments().isEmpty() ? reply.arguments().front().toString()
                                                           : QString();
}

QStringList busNames(const QDBusConnection& bus) {
    const QDBusMessage reply = callShort(bus, busCall("ListNames"));
    return answered(reply) && !reply.arguments().isEmpty()
               ? reply.arguments().front().toStringList()
               : QStringList();
}

std::optional<QVariant> property(const QDBusConnection& bus, const QString& service,
                                 const QString& path, const QString& interface,
                                 const QString& name) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << name;
    const QDBusMessage reply = callShort(bus, call);
    if (!answered(reply) || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return reply.arguments().front().value<QDBusVariant>().variant();
}

}  // namespace ombrel::linux_platform
