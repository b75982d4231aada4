#include "actions/action_queue.h"

#include <algorithm>
#include <string>
#include <utility>

#include "platform/log.h"

namespace ombrel {

ActionQueue::ActionQueue(TaskQueue& worker, ActionRunner& runner, WindowManager& windows)
    : worker_(worker), runner_(runner), windows_(windows) {}

bool ActionQueue::perform(Action action) {
    return add(Job{Job::Kind::action, std::move(action), {}, {}});
}

bool ActionQueue::request(Action action) {
    return add(Job{Job::Kind::request, std::move(action), {}, {}});
}

bool ActionQueue::setFrame(WindowRef window, Rect frame) {
    return add(Job{Job::Kind::frame, {}, window, frame});
}

std::size_t ActionQueue::dropped() const {
    const std::lock_guard lock(mutex_);
    return dropped_;
}

bool ActionQueue::add(Job job) {
    {
        const std::lock_guard lock(mutex_);
        if (job.kind == Job::Kind::request &&
            std::any_of(waiting_.begin(), waiting_.end(), [&](const Job& w) {
                return w.kind == Job::Kind::request && w.action == job.action;
            })) {
            return true;
        }
        if (waiting_.size() >= capacity) {
            ++dropped_;
            ++unlogged_;
            return false;
        }
        waiting_.push_back(std::move(job));
        if (scheduled_) {
            return true;
        }
        scheduled_ = true;
    }
    worker_.post([this] { runNext(); });
    return true;
}

void ActionQueue::runNext() {
    Job job;
    {
        const std::lock_guard lock(mutex_);
        job = std::move(waiting_.front());
        waiting_.pop_front();
    }
    if (job.kind == Job::Kind::frame) {
        windows_.setFrame(job.window, job.frame);
    } else {
        runner_.run(job.action);
    }
    std::size_t unlogged = 0;
    {
        const std::lock_guard lock(mutex_);
        if (!waiting_.empty()) {
            // One job per turn: the worker's own events (window manager answers, bus replies,
            // finished programs) are handled between two actions.
            worker_.post([this] { runNext(); });
            return;
        }
        scheduled_ = false;
        unlogged = std::exchange(unlogged_, 0);
    }
    if (unlogged > 0) {
        log::note(std::to_string(unlogged) + (unlogged == 1 ? " action was" : " actions were") +
                  " dropped because " + std::to_string(capacity) +
                  " were already waiting to be performed.");
    }
}

}  // namespace ombrel
