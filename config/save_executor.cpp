#include "config/save_executor.h"

#include "platform/task_queue.h"

namespace ombrel {

SaveThread::~SaveThread() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void SaveThread::run(Job write, Job landed) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.emplace_back(std::move(write), std::move(landed));
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { loop(); });
        }
    }
    wake_.notify_one();
}

void SaveThread::drain() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void SaveThread::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            return;  // stopping, and everything given is written
        }
        auto [write, landed] = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        write();
        home_.post(std::move(landed));
        lock.lock();
        busy_ = false;
        if (jobs_.empty()) {
            idle_.notify_all();
        }
    }
}

}  // namespace ombrel
