// Keeps one running instance per session through a well-known name on the session bus.
#include "app/single_instance.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>

namespace ombrel {

namespace {
constexpr int handoverTimeoutMs = 5000;
}

SingleInstance::SingleInstance(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

SingleInstance::~SingleInstance() {
    if (registered_) {
        bus_.unregisterObject(objectPath);
    }
}

SingleInstance::Role SingleInstance::claim() {
    if (!bus_.isConnected() || bus_.interface() == nullptr) {
        return Role::primary;
    }
    // The object is in place before the name is owned, so a start that sees the name can call it.
    registered_ = bus_.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
    // The owner may quit between our failed claim and our call; then the name is free again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto reply =
            bus_.interface()->registerService(busName, QDBusConnectionInterface::DontQueueService,
                                              QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            return Role::primary;
        }
        if (!reply.isValid()) {
            // The bus did not answer: better one engine too many than none.
            return Role::primary;
        }
        if (askOwner() != Handover::ownerGone) {
            break;
        }
    }
    if (registered_) {
        bus_.unregisterObject(objectPath);
        registered_ = false;
    }
    // An owner that does not answer still runs an engine; starting another would fight it.
    return Role::secondary;
}

SingleInstance::Handover SingleInstance::askOwner() {
    const QDBusMessage call =
        QDBusMessage::createMethodCall(busName, objectPath, interfaceName, "showSettings");
    const QDBusMessage reply = bus_.call(call, QDBus::Block, handoverTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return Handover::done;
    }
    const QDBusError error(reply);
    if (error.type() == QDBusError::ServiceUnknown ||
        error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        return Handover::ownerGone;
    }
    return Handover::failed;
}

void SingleInstance::showSettings() {
    emit showSettingsRequested();
}

}  // namespace ombrel
