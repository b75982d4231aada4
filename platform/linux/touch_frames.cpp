// How a touchpad's kernel events become frames of touching fingers.
#include "platform/linux/touch_frames.h"

#include <algorithm>

namespace ombrel::linux_platform {

namespace {

// Where value lies between min and max, 0 to 1. In 64 bits: a pad may announce any 32-bit
// range, and max - min of two such values does not fit in 32.
float fraction(int32_t value, AxisRange range) {
    const int64_t span = int64_t{range.max} - range.min;
    if (span <= 0) {
        return 0;
    }
    const double f = static_cast<double>(int64_t{value} - range.min) / static_cast<double>(span);
    return static_cast<float>(std::clamp(f, 0.0, 1.0));
}

int highestCount(uint8_t bits) {
    for (int n = 5; n > 0; --n) {
        if ((bits & (1U << n)) != 0) {
            return n;
        }
    }
    return 0;
}

}  // namespace

TouchFrameBuilder::TouchFrameBuilder(const TouchpadCapabilities& caps, const TouchpadState& state)
    : caps_(caps),
      state_(state),
      slots_(static_cast<std::size_t>(
          std::clamp<int32_t>(caps.slotCount, 0, static_cast<int32_t>(TouchpadState::maxSlots)))),
      toolMax_(highestCount(caps.toolCounts)) {}

bool TouchFrameBuilder::feed(const input_event& event) {
    if (event.type == EV_SYN && event.code == SYN_REPORT) {
        build();
        time_ = static_cast<double>(event.input_event_sec) +
                static_cast<double>(event.input_event_usec) * 1e-6;
        return true;
    }
    apply(event);
    return false;
}

void TouchFrameBuilder::end(double time) {
    for (auto& slot : state_.slotValues) {
        slot.trackingId = -1;
    }
    state_.tools = 0;
    count_ = 0;
    time_ = time;
}

void TouchFrameBuilder::apply(const input_event& event) {
    if (event.type == EV_KEY) {
        if (const int n = toolFingers(event.code); n > 0) {
            const auto bit = static_cast<uint8_t>(1U << n);
            state_.tools =
                static_cast<uint8_t>(event.value != 0 ? state_.tools | bit : state_.tools & ~bit);
        }
        return;
    }
    if (event.type != EV_ABS) {
        return;
    }
    if (event.code == ABS_MT_SLOT) {
        state_.currentSlot = event.value;
        return;
    }
    // A slot the pad did not announce (or beyond the ones kept) takes nothing.
    if (state_.currentSlot < 0 || static_cast<std::size_t>(state_.currentSlot) >= slots_) {
        return;
    }
    auto& slot = state_.slotValues[static_cast<std::size_t>(state_.currentSlot)];
    switch (event.code) {
        case ABS_MT_TRACKING_ID:
            slot.trackingId = event.value;
            break;
        case ABS_MT_POSITION_X:
            slot.x = event.value;
            break;
        case ABS_MT_POSITION_Y:
            slot.y = event.value;
            break;
        case ABS_MT_TOOL_TYPE:
            slot.tool = event.value;
            break;
        default:
            break;
    }
}

void TouchFrameBuilder::build() {
    count_ = 0;
    int occupied = 0;
    for (std::size_t i = 0; i < slots_; ++i) {
        const auto& slot = state_.slotValues[i];
        if (slot.trackingId < 0) {
            continue;
        }
        ++occupied;
        // A palm (or a pen) occupies a slot but is not a finger.
        if (slot.tool == MT_TOOL_FINGER) {
            points_[count_++] = position(slot.x, slot.y);
        }
    }
    // A pad with fewer slots than its keys can count (semi-mt pads with two) tells of the third
    // and fourth finger only by BTN_TOOL_TRIPLETAP and QUADTAP. They stand where the tracked
    // fingers are, so taps and swipes see the right count and the right motion.
    if (toolMax_ > static_cast<int>(slots_)) {
        const std::size_t tracked = count_;
        const int held = highestCount(state_.tools);
        for (int k = occupied; k < held && tracked > 0 && count_ < points_.size(); ++k) {
            points_[count_] = points_[count_ % tracked];
            ++count_;
        }
    }
}

TouchPoint TouchFrameBuilder::position(int32_t x, int32_t y) const {
    // The pad's y grows toward the user; a frame's grows toward the far edge.
    return {fraction(x, caps_.x), 1.0F - fraction(y, caps_.y)};
}

}  // namespace ombrel::linux_platform
