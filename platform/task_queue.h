// One thread's queue of tasks and the clock its timers run on, as the core sees them. The running
// program has three such threads (app/threads.h says which object belongs to which); an object is
// handed the queue of its own thread and the queues of the threads it sends work to.
#pragma once

#include <functional>

namespace ombrel {

class TaskQueue {
  public:
    using Task = std::function<void()>;
    virtual ~TaskQueue() = default;

    // Runs the task on the queue's thread after its current work; safe to call from any thread.
    // Tasks posted once the thread has ended are dropped unrun.
    virtual void post(Task task) = 0;
    // Runs the task on the queue's thread once the delay in seconds has passed; any thread.
    virtual void postAfter(double seconds, Task task) = 0;
    // Runs the task on the queue's thread every interval for as long as the thread runs.
    virtual void repeatEvery(double seconds, Task task) = 0;
    // Seconds of monotonic system uptime; any thread.
    [[nodiscard]] virtual double uptime() const = 0;
};

}  // namespace ombrel
