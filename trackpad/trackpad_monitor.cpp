// Connects the multitouch devices to the one gesture recognizer: frames are copied on the
// device's thread and fed to the recognizer on the main thread, one task per frame.
#include "trackpad/trackpad_monitor.h"

#include <algorithm>

namespace ombrel {

TrackpadMonitor::TrackpadMonitor(MultitouchSource& source, MainQueue& queue)
    : source_(source), queue_(queue) {}

void TrackpadMonitor::start() {
    if (!devices_.empty()) {
        return;
    }
    for (const TouchDevice device : source_.deviceList()) {
        source_.registerFrameCallback(device, [this](std::span<const TouchPoint> touching,
                                                     double time) { receive(touching, time); });
        source_.start(device);
        devices_.push_back(device);
    }
}

void TrackpadMonitor::receive(std::span<const TouchPoint> touching, double time) {
    Frame frame;
    frame.count = std::min(touching.size(), maxContacts);
    std::copy_n(touching.begin(), frame.count, frame.points.begin());
    frame.time = time;
    // Every call posts exactly one frame, empty ones included: they tell the recognizer that
    // the fingers have lifted.
    queue_.post([this, frame] { deliver(frame); });
}

void TrackpadMonitor::deliver(const Frame& frame) {
    recognizer_.feed(std::span<const TouchPoint>(frame.points.data(), frame.count), frame.time);
    if (afterFrame) {
        afterFrame();
    }
}

}  // namespace ombrel
