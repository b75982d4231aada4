// Where the settings store writes its file: at once inside the assignment (the default), or on a
// thread of its own, so that a window never waits for the disk while a long list is written.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace ombrel {

class TaskQueue;

class SaveExecutor {
  public:
    using Job = std::function<void()>;
    virtual ~SaveExecutor() = default;
    // Runs write on the writing thread after every write given before it, then landed on the
    // store's thread.
    virtual void run(Job write, Job landed) = 0;
    // Returns once every write given so far has run; their landed calls may still be on the way.
    virtual void drain() = 0;
};

// Both at once, on the calling thread.
class InlineSaves final : public SaveExecutor {
  public:
    void run(Job write, Job landed) override {
        write();
        landed();
    }
    void drain() override {}
};

// A thread that sleeps until it is given a write (started with the first); landed calls are
// posted to the store's queue. Destroyed, it finishes what it was given first.
class SaveThread final : public SaveExecutor {
  public:
    explicit SaveThread(TaskQueue& home) : home_(home) {}
    ~SaveThread() override;
    SaveThread(const SaveThread&) = delete;
    SaveThread& operator=(const SaveThread&) = delete;

    void run(Job write, Job landed) override;
    void drain() override;

  private:
    void loop();

    TaskQueue& home_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::pair<Job, Job>> jobs_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace ombrel
