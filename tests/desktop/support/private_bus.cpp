#include "private_bus.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>

#include "x_session.h"

namespace ombrel::xsession {

PrivateBus::PrivateBus() {
    char folder[] = "/tmp/ombrel-bus-XXXXXX";
    std::array<int, 2> fds{};
    if (mkdtemp(folder) == nullptr || pipe2(fds.data(), O_CLOEXEC) != 0) {
        return;
    }
    folder_ = folder;
    pid_ = XSession::start({"dbus-daemon", "--session", "--nofork", "--print-address=1",
                            "--address=unix:dir=" + folder_},
                           fds[1]);
    close(fds[1]);
    // The daemon prints its address once it listens.
    char c = 0;
    while (pid_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
        address_.push_back(c);
    }
    close(fds[0]);
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
