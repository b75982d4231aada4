// Turns trackpad contact frames into taps, swipes and tip-taps; pure logic, timed by the frames.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "config/model.h"
#include "platform/touch_point.h"

namespace ombrel {

class GestureRecognizer {
  public:
    // Processes one frame: the touching contacts in platform order and the timestamp in seconds.
    // Answers the gesture the frame completes, if any (a frame completes at most one); allocates
    // nothing.
    std::optional<TrackpadGesture> feed(std::span<const TouchPoint> points, double time);

    // The touch sequence in progress was handled as a click: it reports no tap, swipe or tip-tap
    // from here on.
    void handledAsClick();

    [[nodiscard]] int64_t fingersDown() const { return fingersDown_; }
    // The finger count of the tap that the last finger lifting at `time` would report; 0 for
    // none. Tells a tap whose lift is still on its way.
    [[nodiscard]] int64_t tapOnLift(double time) const;
    // The most fingers of the sequence in progress while it may still end as a tap; else 0.
    [[nodiscard]] int64_t tapCandidate() const { return active_ && !fired_ ? maxCount_ : 0; }
    // Whether a second finger is down beside a resting one and may still make a tip-tap.
    [[nodiscard]] bool tipPending() const { return tip_.has_value(); }

  private:
    struct Tip {
        double start = 0;  // when the second finger landed
        TouchPoint rest;   // where the resting finger was then
        TouchPoint other;  // where the tapping finger landed
    };

    std::optional<TrackpadGesture> trackTip(std::span<const TouchPoint> points, double time);
    std::optional<TrackpadGesture> trackSequence(std::span<const TouchPoint> points, double time);

    bool active_ = false;
    double startTime_ = 0;
    int64_t maxCount_ = 0;
    int64_t lastCount_ = 0;
    bool fired_ = false;
    float maxTravel_ = 0;
    TouchPoint baseline_;
    int64_t fingersDown_ = 0;
    int64_t tipPrevCount_ = 0;
    double restSince_ = 0;
    TouchPoint restPoint_;
    std::optional<Tip> tip_;
};

}  // namespace ombrel
