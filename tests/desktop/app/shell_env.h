// What the shell tests share: one X session (two monitors, openbox), one private session bus,
// a scratch settings folder and one Qt application for the whole executable.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "x_session.h"

namespace ombrel::shell_test {

xsession::XSession& session();
// The private bus's address; also exported as DBUS_SESSION_BUS_ADDRESS.
const std::string& busAddress();
// Its daemon's process, to pause it as a hung bus would be.
pid_t busDaemon();
// Exported as XDG_CONFIG_HOME: the settings live in its "Ombrel" folder.
const std::filesystem::path& configHome();

// Lets the Qt loop deliver what the X server and the bus sent.
void pump();
// Pumps until cond holds or the timeout passes.
bool pumpUntil(const std::function<bool()>& cond,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// A program started in the background, killed with the object unless it has exited.
class Child {
  public:
    explicit Child(const std::vector<std::string>& argv);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    [[nodiscard]] bool started() const { return pid_ > 0; }
    // The exit status once the program has ended (-1 if killed by a signal), else nothing yet.
    bool exited(int& status);
    // Waits for the end of the program, pumping the Qt loop meanwhile; false on timeout.
    bool wait(int& status, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    void sendSignal(int signal) const;

  private:
    int pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

}  // namespace ombrel::shell_test
