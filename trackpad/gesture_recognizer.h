// Turns trackpad contact frames into taps, swipes and tip-taps; pure logic, timed by the frames.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "config/model.h"
#include "trackpad/touch_point.h"

namespace ombrel {

class GestureRecognizer {
  public:
    struct Tip {
        double start = 0;  // when the second finger landed
        TouchPoint rest;   // where the resting finger was then
        TouchPoint other;  // where the tapping finger landed
    };

    // Processes one frame: the touching contacts in platform order and the timestamp in seconds.
    // Calls onGesture synchronously; allocates nothing.
    void feed(std::span<const TouchPoint> points, double time);

    std::function<void(const TrackpadGesture&)> onGesture;

    // The finger count of the tap that the last finger lifting at `time` would report; 0 for
    // none. Tells a tap whose lift is still on its way.
    [[nodiscard]] int64_t tapOnLift(double time) const;

    bool active = false;
    double startTime = 0;
    int64_t maxCount = 0;
    int64_t lastCount = 0;
    bool fired = false;
    float maxTravel = 0;
    TouchPoint baseline;
    int64_t fingersDown = 0;
    int64_t tipPrevCount = 0;
    double restSince = 0;
    TouchPoint restPoint;
    std::optional<Tip> tip;
};

}  // namespace ombrel
