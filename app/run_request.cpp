// The sending side of the run request: one D-Bus signal on the session bus, nothing awaited. Plain
// libdbus, the library dbus-send uses, so that a script's call costs about as much as that.
#include <dbus/dbus.h>

#include <memory>

#include "app/command_line.h"
#include "app/modes.h"

namespace ombrel::app {
namespace {

struct ConnectionEnd {
    void operator()(DBusConnection* c) const {
        dbus_connection_close(c);
        dbus_connection_unref(c);
    }
};
struct MessageEnd {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, MessageEnd>;

// Keeps the error's text out of sight: a script calling this wants no chatter.
struct Error {
    DBusError e{};
    Error() { dbus_error_init(&e); }
    ~Error() { dbus_error_free(&e); }
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;
};

}  // namespace

int sendRunRequest(const std::string& name) {
    Error error;
    // A private connection, so that closing it is ours to do.
    const std::unique_ptr<DBusConnection, ConnectionEnd> bus(
        dbus_bus_get_private(DBUS_BUS_SESSION, &error.e));
    if (!bus) {
        return 0;
    }
    // A bus that goes away must not end the process with another status.
    dbus_connection_set_exit_on_disconnect(bus.get(), FALSE);
    const Message signal(dbus_message_new_signal("/local/ombrel", "local.ombrel", "run"));
    // libdbus aborts on text that is not UTF-8; the receiver ignores names it does not know.
    const std::string text = validUtf8(name);
    const char* argument = text.c_str();
    if (!signal ||
        !dbus_message_append_args(signal.get(), DBUS_TYPE_STRING, &argument, DBUS_TYPE_INVALID)) {
        return 0;
    }
    dbus_connection_send(bus.get(), signal.get(), nullptr);
    // Written out before the connection closes: the bus daemon reads what a client sent before
    // it notices the client gone, as dbus-send relies on too. Nobody listening is waited for.
    dbus_connection_flush(bus.get());
    return 0;
}

}  // namespace ombrel::app
