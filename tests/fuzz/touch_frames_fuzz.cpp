// libFuzzer entry for the touchpad frame builder: any capabilities, state at opening and event
// stream give frames of at most the slots kept with every point on the pad, and never a crash or
// an overflow.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/linux/touch_frames.h"

using namespace ombrel::linux_platform;

// The input: slot count, x and y range, current slot, flags and tool bits; then 8 bytes an
// event: type (low two bits: SYN, KEY, REL, ABS), code (folded into those a pad sends), value.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::array<int32_t, 7> head{};
    if (size < sizeof head) {
        return 0;
    }
    std::memcpy(head.data(), data, sizeof head);
    const auto flags = static_cast<uint32_t>(head[6]);
    const TouchpadCapabilities caps{
        head[0],          {head[1], head[2]}, {head[3], head[4]},
        (flags & 1) != 0, (flags & 2) != 0,   static_cast<uint8_t>(flags >> 8)};
    TouchpadState state;
    state.currentSlot = head[5];
    state.slotValues[0].trackingId = static_cast<int32_t>(flags >> 16);
    TouchFrameBuilder builder(caps, state);
    for (std::size_t at = sizeof head; at + 8 <= size; at += 8) {
        std::array<uint16_t, 2> typeCode{};
        input_event e{};
        std::memcpy(typeCode.data(), data + at, 4);
        std::memcpy(&e.value, data + at + 4, 4);
        e.type = static_cast<uint16_t>(typeCode[0] & 3);
        e.code = static_cast<uint16_t>(e.type == EV_KEY ? BTN_MISC + typeCode[1] % 0x60
                                                        : typeCode[1] % 0x40);
        if (!builder.feed(e)) {
            continue;
        }
        const auto onPad = [](const auto& p) {
            return p.x >= 0 && p.x <= 1 && p.y >= 0 && p.y <= 1;
        };
        if (builder.frame().size() > TouchpadState::maxSlots ||
            !std::ranges::all_of(builder.frame(), onPad)) {
            std::abort();
        }
    }
    builder.end(0);
    return builder.frame().empty() ? 0 : (std::abort(), 0);
}
