// Connects the multitouch devices to the one consumer of their frames: frames are copied on the
// device's thread and handed out on the frames' queue (the input thread's), one task per frame.
// Devices are listed, started as they come and reported on the devices' queue (the GUI thread's),
// where the settings window asks for them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "config/observable.h"
#include "platform/multitouch.h"
#include "platform/task_queue.h"
#include "platform/touch_point.h"

namespace ombrel {

class Notices;

class TrackpadMonitor {
  public:
    // More contacts than any touchpad reports; a frame keeps at most this many, so copying it to
    // the main thread needs no list of its own.
    static constexpr std::size_t maxContacts = 16;

    // With notices, a touchpad that cannot be read is told under the topic "touchpad". Create it
    // on the devices' thread.
    TrackpadMonitor(MultitouchSource& source, TaskQueue& frames, TaskQueue& devices,
                    Notices* notices = nullptr);
    // Stops the source first: no frame is delivered to a monitor that is going away.
    ~TrackpadMonitor();
    TrackpadMonitor(const TrackpadMonitor&) = delete;
    TrackpadMonitor& operator=(const TrackpadMonitor&) = delete;

    // Starts every device present and, from then on, each one that arrives; on the devices'
    // thread.
    void start();
    [[nodiscard]] int64_t deviceCount() const { return static_cast<int64_t>(devices_.size()); }
    [[nodiscard]] int64_t unreadableCount() const {
        return static_cast<int64_t>(unreadable_.size());
    }
    // The observer runs on the devices' thread after the devices or the unreadable ones changed.
    [[nodiscard]] Subscription observeDevices(std::function<void()> observer) {
        return devicesChanged_.subscribe([o = std::move(observer)](const int&) { o(); });
    }
    // The one consumer of the frames: the touching contacts and the frame's time in seconds on
    // the monotonic clock. Called on the frames' thread; set it there too, or before the frames'
    // thread starts. Frames that come while none is set go nowhere.
    using FrameHandler = std::function<void(std::span<const TouchPoint> touching, double time)>;
    void setFrameHandler(FrameHandler handler) { frameHandler_ = std::move(handler); }

  private:
    struct Frame {
        std::array<TouchPoint, maxContacts> points{};
        std::size_t count = 0;
        double time = 0;
    };

    // Called on the device's thread: copies the frame and posts it, touching no shared state.
    void receive(std::span<const TouchPoint> touching, double time);
    // The one place where work crosses from a device's thread to the monitor's two threads. Work
    // still queued when the monitor is gone is dropped.
    template <class Work>
    void handOff(TaskQueue& queue, Work work) {
        queue.post([self = std::weak_ptr(self_), work = std::move(work)]() mutable {
            if (const auto alive = self.lock()) {
                work(**alive);
            }
        });
    }
    void deliver(const Frame& frame);
    // Starts the devices that arrived, forgets those that left, tells what cannot be read.
    void refresh();

    MultitouchSource& source_;
    TaskQueue& frames_;
    TaskQueue& devicesQueue_;
    Notices* notices_;
    FrameHandler frameHandler_;
    std::vector<TouchDevice> devices_;
    std::vector<std::string> unreadable_;
    bool watching_ = false;
    Published<int> devicesChanged_;
    // Expires with the monitor, so tasks queued for it see that it has gone.
    std::shared_ptr<TrackpadMonitor*> self_ = std::make_shared<TrackpadMonitor*>(this);
};

}  // namespace ombrel
