#include "private_bus.h"

#include <cstdlib>
#include <filesystem>

#include "x_session.h"

namespace ombrel::xsession {

PrivateBus::PrivateBus() {
    char folder[] = "/tmp/ombrel-bus-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return;
    }
    folder_ = folder;
    // The daemon prints its address once it listens.
    address_ = XSession::startForLine({"dbus-daemon", "--session", "--nofork", "--print-address=1",
                                       "--address=unix:dir=" + folder_},
                                      pid_);
    if (!address_.empty()) {
        setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    }
}

PrivateBus::~PrivateBus() {
    XSession::stop(pid_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

}  // namespace ombrel::xsession
