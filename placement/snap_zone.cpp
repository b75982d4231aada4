// Which placement a window dragged to a point of a display snaps to.
#include "placement/snap_zone.h"

namespace ombrel {
namespace {

constexpr double edgeStrip = 5.0;
constexpr double cornerShare = 0.2;

}  // namespace

std::optional<WindowAction> snapZone(Point p, const Rect& display) {
    const double left = display.minX() + edgeStrip;
    // The right strip is measured from the last column of points, one short of the maximum x.
    const double right = display.maxX() - edgeStrip - 1.0;
    if (left < p.x && p.x < right) {
        if (p.y <= display.minY() + edgeStrip) {
            return WindowAction::maximize;
        }
        return std::nullopt;
    }
    const bool rightSide = p.x > left;
    const double corner = cornerShare * display.height;
    if (p.y < display.minY() + corner) {
        return rightSide ? WindowAction::topRight : WindowAction::topLeft;
    }
    if (p.y > display.maxY() - corner) {
        return rightSide ? WindowAction::bottomRight : WindowAction::bottomLeft;
    }
    return rightSide ? WindowAction::rightHalf : WindowAction::leftHalf;
}

}  // namespace ombrel
