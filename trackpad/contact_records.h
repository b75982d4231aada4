// Decoding of the macOS multitouch framework's contact records into touching positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "trackpad/touch_point.h"

namespace ombrel::contact_records {

// Each record is 96 bytes, little-endian; only the state and the position are read.
inline constexpr std::size_t stride = 96;
inline constexpr std::size_t stateOffset = 20;
inline constexpr std::size_t xOffset = 32;
inline constexpr std::size_t yOffset = 36;

// Contacts in these states touch the pad; every other state is hovering or lifting.
[[nodiscard]] constexpr bool isTouching(int32_t state) {
    return state == 4 || state == 5;
}

// Writes the positions of the touching contacts among `count` records at `records`, in record
// order, into `out` and answers how many were written (never more than out.size()). A null
// pointer or a count below 1 gives none.
std::size_t decode(const std::byte* records, int32_t count, std::span<TouchPoint> out);

// The same into a new list, for callers that may allocate.
std::vector<TouchPoint> decode(const std::byte* records, int32_t count);

}  // namespace ombrel::contact_records
