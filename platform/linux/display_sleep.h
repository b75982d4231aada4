// Switching the displays off through the server's power management (DPMS), once the keys and
// buttons of the trigger are up: any input after the switch wakes the displays again.
#pragma once

#include <functional>

#include "platform/linux/x_connection.h"
#include "platform/task_queue.h"

namespace ombrel::linux_platform {

class DisplaySleep {
  public:
    // The step that switches the displays off; tests replace the DPMS request.
    using SwitchOff = std::function<void()>;

    // Time for a released key's last events to arrive before the first look.
    static constexpr double settleSeconds = 0.25;
    static constexpr double pollSeconds = 0.05;
    // A key held longer than this (stuck, or held on purpose) no longer holds the switch back.
    static constexpr double giveUpSeconds = 5;

    DisplaySleep(XConnection& connection, TaskQueue& queue, SwitchOff switchOff = {});

    // Schedules the switch on the main queue and returns; false when the server cannot switch
    // its displays off.
    bool sleep();

  private:
    bool capable();
    bool inputHeld();
    void check(double waited);
    void switchOffNow();

    XConnection& x_;
    TaskQueue& queue_;
    SwitchOff switchOff_;
};

}  // namespace ombrel::linux_platform
