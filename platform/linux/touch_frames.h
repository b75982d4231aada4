// How a touchpad's kernel events become frames of touching fingers. Pure: no device, no thread,
// no allocation after construction, so the shipped reader, the replay tests, the fuzzer and the
// benchmark all run the same code.
#pragma once

#include <linux/input.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/touch_point.h"

namespace ombrel::linux_platform {

struct AxisRange {
    int32_t min = 0;
    int32_t max = 0;
};

// What a touchpad can report, read once when it is opened.
struct TouchpadCapabilities {
    int32_t slotCount = 0;   // contacts it tracks (ABS_MT_SLOT); a pad without reports none
    AxisRange x;             // ABS_MT_POSITION_X
    AxisRange y;             // ABS_MT_POSITION_Y, growing toward the user
    bool semiMt = false;     // INPUT_PROP_SEMI_MT: the slots hold a bounding box
    bool buttonpad = false;  // INPUT_PROP_BUTTONPAD: the whole surface is the button
    uint8_t toolCounts = 0;  // bit n set: the pad has the BTN_TOOL_* key for n fingers
};

// Finger count that a BTN_TOOL_* key stands for; 0 for any other key.
constexpr int toolFingers(uint16_t code) {
    switch (code) {
        case BTN_TOOL_FINGER:
            return 1;
        case BTN_TOOL_DOUBLETAP:
            return 2;
        case BTN_TOOL_TRIPLETAP:
            return 3;
        case BTN_TOOL_QUADTAP:
            return 4;
        case BTN_TOOL_QUINTTAP:
            return 5;
        default:
            return 0;
    }
}

// The kernel's view of the pad: what the last event of each kind said. A reader seeds it with
// the state at opening, since the kernel reports only changes.
struct TouchpadState {
    static constexpr std::size_t maxSlots = 16;
    struct Slot {
        int32_t trackingId = -1;  // -1: no contact
        int32_t x = 0;
        int32_t y = 0;
        int32_t tool = MT_TOOL_FINGER;
    };
    int32_t currentSlot = 0;  // the slot that ABS_MT_* events apply to
    std::array<Slot, maxSlots> slotValues{};
    uint8_t tools = 0;  // BTN_TOOL_* keys held, bit n for n fingers
};

// Takes the events of one touchpad in the order libevdev delivers them and makes a frame at
// every SYN_REPORT. After SYN_DROPPED libevdev delivers the changes that bring the state up to
// date (lifted contacts end, new ones start), closed by SYN_REPORT, so the state stays true
// without a reset: a reset would lose the fingers that did not change.
class TouchFrameBuilder {
  public:
    explicit TouchFrameBuilder(const TouchpadCapabilities& caps, const TouchpadState& state = {});

    // True when the event completed a frame; frame() and time() then describe it.
    bool feed(const input_event& event);
    // The device is gone: every contact ends, and the frame is the empty one at `time`.
    void end(double time);

    [[nodiscard]] std::span<const TouchPoint> frame() const { return {points_.data(), count_}; }
    [[nodiscard]] double time() const { return time_; }
    [[nodiscard]] const TouchpadState& state() const { return state_; }

  private:
    void apply(const input_event& event);
    void build();
    [[nodiscard]] TouchPoint position(int32_t x, int32_t y) const;

    TouchpadCapabilities caps_;
    TouchpadState state_;
    std::size_t slots_ = 0;  // slots read: the pad's, at most maxSlots
    int toolMax_ = 0;        // most fingers the BTN_TOOL_* keys can tell
    std::array<TouchPoint, TouchpadState::maxSlots> points_{};
    std::size_t count_ = 0;
    double time_ = 0;
};

}  // namespace ombrel::linux_platform
