// The way into the action worker: every fired action, run request and snapped frame is performed
// there, one at a time, in the order it came, so that nothing on the input thread ever waits for
// a window manager, a bus or a program. A run request for a name that is still waiting is merged
// into it, so a burst of one name is performed once per answer of whatever performs it. At most
// `capacity` jobs wait; the rest are dropped, counted, and logged once the worker has caught up.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>

#include "actions/action_runner.h"
#include "config/model.h"
#include "placement/geometry.h"
#include "platform/task_queue.h"
#include "platform/windows.h"

namespace ombrel {

class ActionQueue {
  public:
    static constexpr std::size_t capacity = 64;

    // The runner and its window manager belong to the worker's thread; so does everything the
    // queue runs.
    ActionQueue(TaskQueue& worker, ActionRunner& runner, WindowManager& windows);
    ActionQueue(const ActionQueue&) = delete;
    ActionQueue& operator=(const ActionQueue&) = delete;

    // Any thread. Queues a fired binding's action; false when it was dropped.
    bool perform(Action action);
    // Any thread. Queues a run request (a window or a system action by name); one for an equal
    // action that has not started yet takes it in. False when it was dropped.
    bool request(Action action);
    // Any thread. Moves and resizes the window (a snapped drag); nothing is remembered.
    bool setFrame(WindowRef window, Rect frame);

    // Jobs dropped since creation.
    [[nodiscard]] std::size_t dropped() const;

  private:
    struct Job {
        enum class Kind { action, request, frame };
        Kind kind = Kind::action;
        Action action;
        WindowRef window;
        Rect frame;
    };
    bool add(Job job);
    // On the worker: runs the oldest job, then hands the rest to a later turn.
    void runNext();

    TaskQueue& worker_;
    ActionRunner& runner_;
    WindowManager& windows_;
    mutable std::mutex mutex_;
    std::deque<Job> waiting_;
    bool scheduled_ = false;
    std::size_t dropped_ = 0;
    std::size_t unlogged_ = 0;  // dropped since the last log line
};

}  // namespace ombrel
