// The input thread's loop: posted tasks, due timers, then every event of the connection, then a
// wait in poll() that ends at once while anything is left.
#include "platform/linux/input_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <utility>

namespace ombrel::linux_platform {

namespace {

// Heap order: the soonest timer first, and of equal ones the first scheduled.
constexpr auto later = [](const auto& a, const auto& b) {
    return a.at != b.at ? a.at > b.at : a.order > b.order;
};

}  // namespace

InputLoop::InputLoop(XConnection& connection)
    : x_(connection), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

InputLoop::~InputLoop() {
    stop();
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

void InputLoop::start() {
    const std::lock_guard lock(mutex_);
    if (running_ || stopping_) {
        return;
    }
    running_ = true;
    thread_ = std::thread([this] { run(); });
}

void InputLoop::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    if (thread_.joinable()) {
        thread_.join();
    }
    // Destroyed here, on the stopping thread, once nothing can run them.
    std::deque<Task> tasks;
    std::vector<Timer> timers;
    {
        const std::lock_guard lock(mutex_);
        running_ = false;
        tasks.swap(tasks_);
        timers.swap(timers_);
    }
}

void InputLoop::runAndWait(const Task& task) {
    bool elsewhere = false;
    {
        const std::lock_guard lock(mutex_);
        elsewhere = running_ && !stopping_ && std::this_thread::get_id() != thread_.get_id();
    }
    if (!elsewhere) {
        task();
        return;
    }
    postAndWait(*this, task);
}

void InputLoop::post(Task task) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        tasks_.push_back(std::move(task));
    }
    wake();
}

void InputLoop::postAfter(double seconds, Task task) {
    schedule(uptime() + std::max(0.0, seconds), 0, std::move(task));
}

void InputLoop::repeatEvery(double seconds, Task task) {
    const double interval = std::max(seconds, 0.001);
    schedule(uptime() + interval, interval, std::move(task));
}

void InputLoop::schedule(double at, double interval, Task task) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        timers_.push_back({at, order_++, interval, std::move(task)});
        std::push_heap(timers_.begin(), timers_.end(), later);
    }
    wake();
}

double InputLoop::uptime() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void InputLoop::wake() {
    const uint64_t one = 1;
    // A full counter still wakes the loop; nothing more is needed.
    [[maybe_unused]] const ssize_t n = write(wakeFd_, &one, sizeof one);
}

void InputLoop::run() {
    std::deque<Task> tasks;
    for (;;) {
        std::vector<Timer> due;
        {
            const std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
            tasks.swap(tasks_);
            const double now = uptime();
            while (!timers_.empty() && timers_.front().at <= now) {
                std::pop_heap(timers_.begin(), timers_.end(), later);
                due.push_back(std::move(timers_.back()));
                timers_.pop_back();
            }
        }
        for (Task& task : tasks) {
            task();
        }
        tasks.clear();
        for (Timer& timer : due) {
            timer.task();
            if (timer.interval > 0) {
                schedule(timer.at + timer.interval, timer.interval, std::move(timer.task));
            }
        }
        // Events last: whatever the tasks and timers asked the server for is answered and every
        // event read along the way is handed out before the loop waits.
        x_.dispatchPending();
        bool busy = x_.eventsQueued() || x_.stepsPending();
        {
            const std::lock_guard lock(mutex_);
            busy = busy || !tasks_.empty() || stopping_;
        }
        wait(busy);
    }
}

void InputLoop::wait(bool busy) {
    int timeout = -1;
    if (busy) {
        timeout = 0;
    } else {
        const std::lock_guard lock(mutex_);
        if (!timers_.empty()) {
            const double left = timers_.front().at - uptime();
            timeout = left <= 0 ? 0 : static_cast<int>(std::min(std::ceil(left * 1000.0), 60000.0));
        }
    }
    std::array<pollfd, 2> fds{{{wakeFd_, POLLIN, 0}, {x_.fd(), POLLIN, 0}}};
    const nfds_t count = fds[1].fd >= 0 ? 2 : 1;
    if (poll(fds.data(), count, timeout) > 0 && (fds[0].revents & POLLIN) != 0) {
        uint64_t value = 0;
        [[maybe_unused]] const ssize_t n = read(wakeFd_, &value, sizeof value);
    }
}

}  // namespace ombrel::linux_platform
