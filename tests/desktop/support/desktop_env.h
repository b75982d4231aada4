// What the shell, platform and storm test executables share: one X session (two monitors,
// openbox), one private session bus, a scratch settings folder and one Qt application, built
// before the first test and torn down after the last, and programs started in the background.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "private_bus.h"
#include "x_session.h"

namespace ombrel::desktop_test {

xsession::XSession& session();
// Its address is also exported as DBUS_SESSION_BUS_ADDRESS; its daemon may be paused as a hung
// bus would be.
xsession::PrivateBus& bus();
// Exported as XDG_CONFIG_HOME: the settings live in its "Ombrel" folder.
const std::filesystem::path& configHome();

// Lets the Qt loop deliver what the X server and the bus sent; pumpUntil goes on until cond holds
// or the timeout passes.
void pump();
bool pumpUntil(const std::function<bool()>& cond,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// A program started in the background with its output discarded, ended with the object.
struct Program {
    explicit Program(const std::vector<std::string>& argv) : pid(xsession::XSession::start(argv)) {}
    ~Program() { xsession::XSession::stop(pid); }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    // Its exit status (-1 when a signal ended it) once it has ended within the timeout, pumping
    // the Qt loop meanwhile; nothing while it still runs.
    std::optional<int> end(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return xsession::XSession::waitFor(pid, timeout, pump);
    }
    pid_t pid;
};

}  // namespace ombrel::desktop_test
