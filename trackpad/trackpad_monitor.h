// Connects the multitouch devices to the one gesture recognizer: frames are copied on the
// device's thread and fed to the recognizer on the main thread, one task per frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/main_queue.h"
#include "platform/multitouch.h"
#include "trackpad/gesture_recognizer.h"
#include "trackpad/touch_point.h"

namespace ombrel {

class TrackpadMonitor {
  public:
    // More contacts than any touchpad reports; a frame keeps at most this many, so copying it to
    // the main thread needs no list of its own.
    static constexpr std::size_t maxContacts = 16;

    TrackpadMonitor(MultitouchSource& source, MainQueue& queue);
    TrackpadMonitor(const TrackpadMonitor&) = delete;
    TrackpadMonitor& operator=(const TrackpadMonitor&) = delete;

    // Registers and starts every device once; while none was found, each call asks again.
    void start();
    [[nodiscard]] int64_t deviceCount() const { return static_cast<int64_t>(devices_.size()); }
    GestureRecognizer& recognizer() { return recognizer_; }

    // Runs on the main thread after every frame has been fed to the recognizer.
    std::function<void()> afterFrame;

  private:
    struct Frame {
        std::array<TouchPoint, maxContacts> points{};
        std::size_t count = 0;
        double time = 0;
    };

    // Called on the device's thread: copies the frame and posts it, touching no shared state.
    void receive(std::span<const TouchPoint> touching, double time);
    void deliver(const Frame& frame);

    MultitouchSource& source_;
    MainQueue& queue_;
    GestureRecognizer recognizer_;
    std::vector<TouchDevice> devices_;
};

}  // namespace ombrel
