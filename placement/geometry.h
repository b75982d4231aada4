// Points, sizes, rectangles and displays in global display coordinates, y growing downward, in
// points. On X11 these are root-window pixels: the origin is the root window's top-left corner,
// which is the primary monitor's corner only when that monitor sits there. Events, window frames,
// monitor frames and overlay windows all use them as they are; nothing adds a monitor's origin.
#pragma once

#include <algorithm>
#include <cmath>

namespace ombrel {

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    [[nodiscard]] double minX() const { return x; }
    [[nodiscard]] double minY() const { return y; }
    [[nodiscard]] double maxX() const { return x + width; }
    [[nodiscard]] double maxY() const { return y + height; }
    [[nodiscard]] double midX() const { return x + width / 2; }
    [[nodiscard]] double midY() const { return y + height / 2; }
    [[nodiscard]] Point origin() const { return {x, y}; }
    [[nodiscard]] Size size() const { return {width, height}; }

    // Minimum edges belong to the rectangle, maximum edges do not.
    [[nodiscard]] bool contains(Point p) const {
        return width > 0 && height > 0 && p.x >= minX() && p.x < maxX() && p.y >= minY() &&
               p.y < maxY();
    }
    [[nodiscard]] Rect insetBy(double d) const {
        return {x + d, y + d, width - 2 * d, height - 2 * d};
    }
    // The smallest whole-point rectangle that contains this one.
    [[nodiscard]] Rect integral() const {
        const double nx = std::floor(x);
        const double ny = std::floor(y);
        return {nx, ny, std::ceil(x + width) - nx, std::ceil(y + height) - ny};
    }
    [[nodiscard]] Rect unite(const Rect& o) const {
        const double nx = std::min(minX(), o.minX());
        const double ny = std::min(minY(), o.minY());
        return {nx, ny, std::max(maxX(), o.maxX()) - nx, std::max(maxY(), o.maxY()) - ny};
    }

    friend bool operator==(const Rect&, const Rect&) = default;
};

// One display: its whole frame and its usable frame (without panels and docks).
struct Screen {
    Rect full;
    Rect visible;
    friend bool operator==(const Screen&, const Screen&) = default;
};

}  // namespace ombrel
