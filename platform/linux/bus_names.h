// Which D-Bus connections the desktop services talk through.
#pragma once

#include <string>

namespace ombrel::linux_platform {

// Names of connections made with QDBusConnection::connectToBus (tests use private buses), or
// empty for the user's session bus and the system bus.
struct BusNames {
    std::string session;
    std::string system;
};

}  // namespace ombrel::linux_platform
