// Decoding of the macOS multitouch framework's contact records into touching positions.
#include "trackpad/contact_records.h"

#include <bit>
#include <cstring>

namespace ombrel::contact_records {
namespace {

// The records are little-endian whatever the host; memcpy keeps the read free of alias and
// alignment assumptions.
uint32_t readLittle32(const std::byte* at) {
    uint32_t value = 0;
    std::memcpy(&value, at, sizeof value);
    if constexpr (std::endian::native == std::endian::big) {
        value = ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) |
                (value >> 24);
    }
    return value;
}

}  // namespace

std::size_t decode(const std::byte* records, int32_t count, std::span<TouchPoint> out) {
    if (records == nullptr || count < 1) {
        return 0;
    }
    std::size_t written = 0;
    for (int32_t i = 0; i < count && written < out.size(); ++i) {
        const std::byte* record = records + static_cast<std::size_t>(i) * stride;
        const auto state = std::bit_cast<int32_t>(readLittle32(record + stateOffset));
        if (!isTouching(state)) {
            continue;
        }
        out[written++] = TouchPoint{std::bit_cast<float>(readLittle32(record + xOffset)),
                                    std::bit_cast<float>(readLittle32(record + yOffset))};
    }
    return written;
}

std::vector<TouchPoint> decode(const std::byte* records, int32_t count) {
    std::vector<TouchPoint> points(count > 0 ? static_cast<std::size_t>(count) : 0);
    points.resize(decode(records, count, points));
    return points;
}

}  // namespace ombrel::contact_records
