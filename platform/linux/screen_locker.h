// Locking the session through whatever locker the desktop runs: its screensaver service, a
// locker that listens to logind, or xdg-screensaver. Only a locker that answered counts.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/linux/bus_names.h"
#include "platform/workspace.h"

namespace ombrel::linux_platform {

class ScreenLocker {
  public:
    explicit ScreenLocker(const BusNames& buses = {});
    ~ScreenLocker();
    ScreenLocker(const ScreenLocker&) = delete;
    ScreenLocker& operator=(const ScreenLocker&) = delete;

    // Tries the lockers in turn; done runs on the main thread with true once one locked, or with
    // false when none could (at once, or when xdg-screensaver has failed).
    void lock(const DesktopShell::LockDone& done);

    // Whether a program that locks on logind's Lock signal runs for this user: logind itself
    // answers a lock request even when nobody listens.
    static bool logindListenerRunning(std::string_view procFolder = "/proc");

  private:
    bool askScreensavers();
    bool askLogind();
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace ombrel::linux_platform
