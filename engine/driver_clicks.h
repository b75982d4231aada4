// The touchpad's driver reads the same touches as the gesture recognizer and makes clicks of
// them: a tap becomes a click, a physical click with several fingers resting may become a middle
// or right one. This decides which of the driver's presses belong to a touch that ran a rule, so
// that the touch does not click as well, and when the buttons must be grabbed to take them.
// Pure logic: the clock is the caller's.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "config/settings_snapshot.h"
#include "platform/input.h"
#include "trackpad/gesture_recognizer.h"

namespace ombrel {

class DriverClicks {
  public:
    // How long after a tap ran a rule the driver's click of it may still arrive. The driver
    // clicks when the last finger lifts, as the recognizer reports the tap; this covers the way
    // through the display server with room to spare, and is short enough that the next touch's
    // click is not mistaken for it.
    static constexpr double tapWindow = 0.3;

    // The buttons (bit b for the engine's button b: 0 left, 1 right, 2 middle) the driver may
    // make of a tap with that many fingers.
    [[nodiscard]] static uint8_t tapButtons(const TouchpadDriver& driver, int64_t fingers);
    // Whether a press of the button may be a physical click rather than only a tap.
    [[nodiscard]] static bool mayBeClick(const TouchpadDriver& driver, int64_t button);

    // The finger counts (bit n for n fingers) of the enabled tap and click rules.
    void followRules(uint64_t tapFingers, uint64_t clickFingers) {
        tapRules_ = tapFingers;
        clickRules_ = clickFingers;
    }

    // What to make of a press from the touchpad's own device, in this order.
    struct Plan {
        bool take = false;  // the driver's click of a tap that already ran a rule: swallow it
        int64_t click = 0;  // fingers of the click rule to try; 0 for none
        int64_t tap = 0;    // then fingers of the tap rule to try: the lift is still on its way
        friend bool operator==(const Plan&, const Plan&) = default;
    };
    // The caller swallows a press it takes or that fires a rule, and passes it to pressTaken so
    // that its release is taken too.
    Plan press(const TouchpadDriver& driver, int64_t button, const GestureRecognizer& touch,
               double now);
    void pressTaken(int64_t button);
    // True when the release belongs to a press that was taken.
    bool release(int64_t button);

    // A tap with that many fingers ran a rule at `now`: the driver's click of it is taken until
    // the window closes.
    void tapFired(const TouchpadDriver& driver, int64_t fingers, double now);
    // Whether the left, middle and right buttons must be grabbed now, so that the driver's press
    // can be taken when it comes: while the touch may still become a tap or a click that runs a
    // rule, and during the window after a tap that did.
    [[nodiscard]] bool wantsGrab(const TouchpadDriver& driver, const GestureRecognizer& touch,
                                 double now) const;

  private:
    [[nodiscard]] static bool has(uint64_t counts, int64_t fingers) {
        return fingers >= 0 && fingers < 64 && ((counts >> fingers) & 1U) != 0;
    }

    uint64_t tapRules_ = 0;    // bit n: an enabled tap rule for n fingers
    uint64_t clickRules_ = 0;  // bit n: an enabled click rule for n fingers
    double deadline_ = -std::numeric_limits<double>::infinity();
    uint8_t expected_ = 0;  // buttons the driver may make of the tap that ran a rule
    uint8_t releases_ = 0;  // buttons whose release is taken
};

// The General pane's sentence when a gesture rule competes with the touchpad's driver in a way
// that cannot be worked around; empty when nothing does.
[[nodiscard]] std::string touchpadDriverNotice(const SettingsSnapshot& settings,
                                               const TouchpadDriver& driver, bool touchpadRead);

}  // namespace ombrel
