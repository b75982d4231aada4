// Which of the touchpad driver's presses belong to a touch that ran a rule.
#include "engine/driver_clicks.h"

namespace ombrel {
namespace {

constexpr uint8_t left = 1U << 0;
constexpr uint8_t right = 1U << 1;
constexpr uint8_t middle = 1U << 2;
constexpr int64_t fewestFingers = 3;  // taps and clicks with fewer fingers are the driver's alone
constexpr double closed = -std::numeric_limits<double>::infinity();

uint8_t bit(int64_t button) {
    return button >= 0 && button <= 2 ? static_cast<uint8_t>(1U << button) : 0;
}

}  // namespace

uint8_t DriverClicks::tapButtons(const TouchpadDriver& driver, int64_t fingers) {
    if (fingers < 1) {
        return 0;
    }
    // The driver taps with at most three fingers; one it does not describe may do anything.
    switch (driver.taps) {
        case TouchpadDriver::Taps::unknown:
            return left | right | middle;
        case TouchpadDriver::Taps::off:
            return 0;
        case TouchpadDriver::Taps::leftRightMiddle:
            return fingers == 1 ? left : fingers == 2 ? right : fingers == 3 ? middle : 0;
        case TouchpadDriver::Taps::leftMiddleRight:
            return fingers == 1 ? left : fingers == 2 ? middle : fingers == 3 ? right : 0;
    }
    return 0;
}

bool DriverClicks::mayBeClick(const TouchpadDriver& driver, int64_t button) {
    // Button areas make left and right clicks only; with clickfinger the button is the finger
    // count, so any of the three may be a click.
    return driver.clicks == TouchpadDriver::Clicks::buttonAreas
               ? (bit(button) & (left | right)) != 0
               : bit(button) != 0;
}

DriverClicks::Plan DriverClicks::press(const TouchpadDriver& driver, int64_t button,
                                       const GestureRecognizer& touch, double now) {
    Plan plan;
    const uint8_t pressed = bit(button);
    if (pressed == 0) {
        return plan;
    }
    // A new press of the button: the release of an older one is not coming any more.
    releases_ &= static_cast<uint8_t>(~pressed);
    if (now < deadline_ && (expected_ & pressed) != 0) {
        // One click per tap: a second one in the window is the next touch's.
        deadline_ = closed;
        expected_ = 0;
        plan.take = true;
        return plan;
    }
    const int64_t resting = touch.fingersDown();
    if (resting >= fewestFingers && has(clickRules_, resting) && mayBeClick(driver, button)) {
        plan.click = resting;
    }
    // The driver clicks as the last finger lifts, and its click may come before the lift does.
    const int64_t tap = touch.tapOnLift(now);
    if (tap > 0 && has(tapRules_, tap) && (tapButtons(driver, tap) & pressed) != 0) {
        plan.tap = tap;
    }
    return plan;
}

void DriverClicks::pressTaken(int64_t button) {
    releases_ |= bit(button);
}

bool DriverClicks::release(int64_t button) {
    const uint8_t released = bit(button);
    if ((releases_ & released) == 0) {
        return false;
    }
    releases_ &= static_cast<uint8_t>(~released);
    return true;
}

void DriverClicks::tapFired(const TouchpadDriver& driver, int64_t fingers, double now) {
    // With no device known to be the touchpad's, none of its clicks can be told apart.
    expected_ = driver.found ? tapButtons(driver, fingers) : 0;
    deadline_ = expected_ != 0 ? now + tapWindow : closed;
}

bool DriverClicks::wantsGrab(const TouchpadDriver& driver, const GestureRecognizer& touch,
                             double now) const {
    if (!driver.found) {
        return false;  // nothing tells the touchpad's presses from others
    }
    if (now < deadline_) {
        return true;
    }
    const int64_t resting = touch.fingersDown();
    if (resting >= fewestFingers && has(clickRules_, resting)) {
        return true;
    }
    const int64_t most = touch.tapCandidate();
    return most >= fewestFingers && has(tapRules_, most) && tapButtons(driver, most) != 0;
}

std::string touchpadDriverNotice(const SettingsSnapshot& settings, const TouchpadDriver& driver,
                                 bool touchpadRead) {
    if (!touchpadRead || driver.found) {
        return {};
    }
    bool taps = false;
    for (int64_t fingers = fewestFingers; fingers < 64; ++fingers) {
        taps |= ((settings.tapFingers >> fingers) & 1U) != 0 &&
                DriverClicks::tapButtons(driver, fingers) != 0;
    }
    const bool clicks = (settings.clickFingers >> fewestFingers) != 0;
    if (!taps && !clicks) {
        return {};
    }
    const std::string what = taps && clicks ? "A tap that runs a rule may also click, and a click "
                                              "rule runs only on a left click"
                             : taps         ? "A tap that runs a rule may also click"
                                            : "A click rule runs only on a left click";
    return what +
           ": the touchpad is not among the X server's pointer devices, so its own clicks cannot "
           "be told from other pointers' and are let through.";
}

}  // namespace ombrel
