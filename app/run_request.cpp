// The sending side of the run request: one D-Bus signal on the session bus, nothing awaited.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

#include "app/modes.h"

namespace ombrel::app {
namespace {

void ignoreQtMessages(QtMsgType /*type*/, const QMessageLogContext& /*context*/,
                      const QString& /*message*/) {}

}  // namespace

int sendRunRequest(int argc, char** argv, const std::string& name) {
    // A script calling this wants no chatter and a success status, bus or no bus.
    qInstallMessageHandler(ignoreQtMessages);
    const QCoreApplication application(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return 0;
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/local/ombrel"), QStringLiteral("local.ombrel"), QStringLiteral("run"));
    signal << QString::fromLocal8Bit(name.c_str());
    bus.send(signal);
    // Messages leave in order, so once the bus daemon has answered this the signal is out and
    // the process may end. Nobody listening for the signal is waited for.
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    bus.call(ping, QDBus::Block, 2000);
    return 0;
}

}  // namespace ombrel::app
