// One thread's queue of tasks and the clock its timers run on, as the core sees them. The running
// program has three such threads (app/threads.h says which object belongs to which); an object is
// handed the queue of its own thread and the queues of the threads it sends work to.
#pragma once

#include <functional>
#include <future>
#include <memory>

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

// Runs the task on the queue's thread and returns once it has run. Called from another thread than
// the queue's (the caller checks); a task dropped by a stop breaks the promise, which ends the
// wait.
inline void postAndWait(TaskQueue& queue, const TaskQueue::Task& task) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    queue.post([&task, done] {
        task();
        done->set_value();
    });
    finished.wait();
}

}  // namespace ombrel
