// libFuzzer entry for the touchpad frame builder: any capabilities, any state at opening and any
// event stream give frames of at most the slots kept, every point on the pad, never a crash or
// an overflow.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/linux/touch_frames.h"

namespace {

using ombrel::linux_platform::TouchFrameBuilder;
using ombrel::linux_platform::TouchpadCapabilities;
using ombrel::linux_platform::TouchpadState;

template <class T>
T take(const uint8_t*& at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return value;
}

void check(const TouchFrameBuilder& builder) {
    if (builder.frame().size() > TouchpadState::maxSlots) {
        std::abort();
    }
    for (const auto& p : builder.frame()) {
        if (!(p.x >= 0 && p.x <= 1 && p.y >= 0 && p.y <= 1)) {
            std::abort();
        }
    }
}

}  // namespace

// Bytes 0-27: slot count, x and y range, current slot, the first slot's values; 28-29: flags and
// tool bits. Then 8 bytes an event: type (its low two bits: SYN, KEY, REL, ABS), code (folded
// into the codes a pad sends), value.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    constexpr std::size_t head = 30;
    if (size < head) {
        return 0;
    }
    const uint8_t* at = data;
    TouchpadCapabilities caps;
    caps.slotCount = take<int32_t>(at);
    caps.x = {take<int32_t>(at), take<int32_t>(at)};
    caps.y = {take<int32_t>(at), take<int32_t>(at)};
    TouchpadState state;
    state.currentSlot = take<int32_t>(at);
    state.slotValues[0].trackingId = take<int32_t>(at);
    const auto flags = take<uint8_t>(at);
    caps.semiMt = (flags & 1) != 0;
    caps.buttonpad = (flags & 2) != 0;
    caps.toolCounts = take<uint8_t>(at);
    TouchFrameBuilder builder(caps, state);
    for (; at + 8 <= data + size;) {
        input_event e{};
        e.type = static_cast<uint16_t>(take<uint16_t>(at) & 3);
        const auto code = take<uint16_t>(at);
        e.code = static_cast<uint16_t>(e.type == EV_KEY ? BTN_MISC + code % 0x60 : code % 0x40);
        e.value = take<int32_t>(at);
        e.input_event_sec = e.value;
        if (builder.feed(e)) {
            check(builder);
        }
    }
    builder.end(0);
    if (!builder.frame().empty()) {
        std::abort();
    }
    return 0;
}
