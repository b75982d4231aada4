// Raw multitouch devices: the list, a frame callback per device, and starting delivery.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "trackpad/touch_point.h"

namespace ombrel {

using TouchDevice = uint64_t;

class MultitouchSource {
  public:
    // Called on the source's own thread with the touching contacts of one frame and its
    // timestamp in seconds; an empty span means every finger has lifted.
    using FrameCallback = std::function<void(std::span<const TouchPoint> touching, double time)>;
    virtual ~MultitouchSource() = default;

    virtual std::vector<TouchDevice> deviceList() = 0;
    virtual void registerFrameCallback(TouchDevice device, FrameCallback callback) = 0;
    virtual void start(TouchDevice device) = 0;
};

}  // namespace ombrel
