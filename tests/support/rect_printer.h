// Readable rectangles in failure messages; found by argument lookup.
#pragma once

#include <ostream>

#include "placement/geometry.h"

namespace ombrel {

inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}

}  // namespace ombrel
