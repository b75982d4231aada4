// One trackpad contact position, in normalised pad units.
#pragma once

namespace ombrel {

// x across the pad, y growing toward the far edge; both fractions of the pad, 0 to 1.
struct TouchPoint {
    float x = 0;
    float y = 0;
    friend bool operator==(const TouchPoint&, const TouchPoint&) = default;
};

}  // namespace ombrel
