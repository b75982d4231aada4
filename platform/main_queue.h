// The main thread's task queue and the system clock, as the core sees them.
#pragma once

#include <functional>

namespace ombrel {

class MainQueue {
  public:
    using Task = std::function<void()>;
    virtual ~MainQueue() = default;

    // Runs the task on the main thread after the current work; safe to call from any thread.
    virtual void post(Task task) = 0;
    // Runs the task on the main thread once the delay in seconds has passed.
    virtual void postAfter(double seconds, Task task) = 0;
    // Runs the task on the main thread every interval, for the life of the process.
    virtual void repeatEvery(double seconds, Task task) = 0;
    // Seconds of monotonic system uptime.
    [[nodiscard]] virtual double uptime() const = 0;
};

}  // namespace ombrel
