// A task queue on a Qt event loop: the main thread's, or that of a thread of its own (QtThread),
// with delayed tasks, repeating timers and the clock.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/task_queue.h"

// Declared only, so this header mixes with Xlib's in any order.
class QObject;
class QThread;

namespace ombrel::linux_platform {

// Create it on the thread whose loop runs its tasks; it may be used from any thread.
class QtTaskQueue : public TaskQueue {
  public:
    QtTaskQueue();
    ~QtTaskQueue() override;
    QtTaskQueue(const QtTaskQueue&) = delete;
    QtTaskQueue& operator=(const QtTaskQueue&) = delete;

    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
    void repeatEvery(double seconds, Task task) override;
    [[nodiscard]] double uptime() const override;

  private:
    [[nodiscard]] bool onThread() const;
    // Lives in the queue's thread; queued calls on it and its timers run there.
    std::unique_ptr<QObject> context_;
};

// A thread with a Qt event loop of its own: Qt objects made on it (bus watchers, processes, socket
// notifiers) work there as they do on the main thread. Its queue drops what is posted before
// start() or after stop().
class QtThread final : public TaskQueue {
  public:
    explicit QtThread(std::string name);
    // Stops first.
    ~QtThread() override;
    QtThread(const QtThread&) = delete;
    QtThread& operator=(const QtThread&) = delete;

    // Starts the thread and runs setUp on it; returns once setUp has run. tearDown runs on the
    // thread when it stops, after its last task: objects made by setUp are destroyed there.
    void start(std::function<void()> setUp, std::function<void()> tearDown);
    // Lets the running task finish, drops the rest, runs tearDown and joins the thread.
    void stop();
    // Runs the task on the thread and returns once it has (on the calling thread when the
    // thread does not run).
    void runAndWait(const Task& task);

    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
    void repeatEvery(double seconds, Task task) override;
    [[nodiscard]] double uptime() const override;

  private:
    class Thread;
    std::string name_;
    std::unique_ptr<Thread> thread_;
    std::mutex mutex_;
    QtTaskQueue* live_ = nullptr;  // the queue on the thread, while it runs its loop
};

}  // namespace ombrel::linux_platform
