// Receives run requests and performs the named system or window action.
#include "app/run_requests.h"

#include <QDBusMessage>
#include <QMetaType>
#include <string>

namespace ombrel {

void performRunRequest(const QVariantList& arguments, const RunTargets& targets) {
    if (arguments.isEmpty() || arguments.front().metaType().id() != QMetaType::QString) {
        return;
    }
    const std::string name = arguments.front().toString().toStdString();
    if (const auto system = systemActionFromRaw(name)) {
        if (targets.system) {
            targets.system(*system);
        }
    } else if (const auto window = windowActionFromRaw(name)) {
        if (targets.window) {
            targets.window(*window);
        }
    }
}

RunRequestReceiver::RunRequestReceiver(RunTargets targets, QObject* parent)
    : QObject(parent), targets_(std::move(targets)) {}

bool RunRequestReceiver::listen(QDBusConnection bus) {
    if (!bus.isConnected()) {
        return false;
    }
    // The message-typed slot accepts the signal with any arguments, so the checks stay ours.
    return bus.connect(QString(), runRequestPath, runRequestInterface, runRequestMember, this,
                       SLOT(received(QDBusMessage)));
}

void RunRequestReceiver::received(const QDBusMessage& message) {
    performRunRequest(message.arguments(), targets_);
}

}  // namespace ombrel
