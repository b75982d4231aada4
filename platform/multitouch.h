// Raw multitouch devices: the list, a frame callback per device, starting and stopping delivery,
// and word of devices that come, go or cannot be read.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/touch_point.h"

namespace ombrel {

using TouchDevice = uint64_t;

class MultitouchSource {
  public:
    // Called on the source's own thread with the touching contacts of one frame and its
    // timestamp in seconds; an empty span means every finger has lifted.
    using FrameCallback = std::function<void(std::span<const TouchPoint> touching, double time)>;
    virtual ~MultitouchSource() = default;

    // The devices open now; a device that left is no longer listed (its last frame was empty).
    virtual std::vector<TouchDevice> deviceList() = 0;
    virtual void registerFrameCallback(TouchDevice device, FrameCallback callback) = 0;
    virtual void start(TouchDevice device) = 0;
    // Names of the touchpads found that cannot be opened.
    virtual std::vector<std::string> unreadable() = 0;
    // `changed` runs on the source's thread whenever deviceList() or unreadable() would answer
    // differently.
    virtual void watch(std::function<void()> changed) = 0;
    // Ends delivery for good: when it returns, no callback runs and none will.
    virtual void stop() = 0;
};

}  // namespace ombrel
