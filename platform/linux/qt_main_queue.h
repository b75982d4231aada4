// The main queue on the Qt event loop: tasks, delayed tasks, repeating timers and the clock.
#pragma once

#include <memory>
#include <vector>

#include "platform/main_queue.h"

// Declared only, so this header mixes with Xlib's in any order.
class QObject;
class QTimer;

namespace ombrel::linux_platform {

// Create it on the main thread, before the loop runs; post() may then be called from any thread.
class QtMainQueue : public MainQueue {
  public:
    QtMainQueue();
    ~QtMainQueue() override;

    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
    void repeatEvery(double seconds, Task task) override;
    [[nodiscard]] double uptime() const override;

  private:
    // Lives in the main thread; queued calls on it run there.
    std::unique_ptr<QObject> context_;
    std::vector<std::unique_ptr<QTimer>> repeating_;
};

}  // namespace ombrel::linux_platform
