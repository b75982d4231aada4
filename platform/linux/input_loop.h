// The input thread: a thread of its own that waits in poll() on its X connection and on a wake-up
// for posted work, and before every wait hands out each event the connection holds, those Xlib
// has already read along with a reply included. Nothing else runs there, so a grabbed key is
// answered as soon as the server has sent it, whatever the other threads are doing.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/linux/x_connection.h"
#include "platform/task_queue.h"

namespace ombrel::linux_platform {

class InputLoop final : public TaskQueue {
  public:
    // The connection must be read by its owner (XConnection::Reader::owner); from start() until
    // stop() only this loop's thread touches it.
    explicit InputLoop(XConnection& connection);
    // Stops first.
    ~InputLoop() override;
    InputLoop(const InputLoop&) = delete;
    InputLoop& operator=(const InputLoop&) = delete;

    void start();
    // Ends the thread after the task it is running and joins it; tasks and timers still waiting
    // are dropped, as is anything posted later.
    void stop();
    // Runs the task on the loop's thread and returns once it has run (at once when called there,
    // or when the loop is not running: then on the calling thread).
    void runAndWait(const Task& task);

    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
    void repeatEvery(double seconds, Task task) override;
    [[nodiscard]] double uptime() const override;

  private:
    struct Timer {
        double at = 0;
        uint64_t order = 0;
        double interval = 0;  // 0: once
        Task task;
    };
    void run();
    void wake();
    void schedule(double at, double interval, Task task);
    // Waits for the connection, the wake-up or the next timer; returns at once when work waits.
    void wait(bool busy);

    XConnection& x_;
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::deque<Task> tasks_;
    std::vector<Timer> timers_;  // a heap, soonest first
    uint64_t order_ = 0;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace ombrel::linux_platform
