// Which placement a window dragged to a point of a display snaps to.
#pragma once

#include <optional>

#include "config/model.h"
#include "placement/geometry.h"

namespace ombrel {

// Side strips give halves, their upper and lower fifths quarters, the top strip maximize.
std::optional<WindowAction> snapZone(Point p, const Rect& display);

}  // namespace ombrel
