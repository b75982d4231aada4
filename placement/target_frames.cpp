// Where each window placement puts a window.
#include "placement/target_frames.h"

#include <algorithm>
#include <cmath>

namespace ombrel {
namespace {

struct Fractions {
    double fx;
    double fy;
    double fw;
    double fh;
};

constexpr double third = 1.0 / 3.0;
constexpr double twoThirds = 2.0 / 3.0;

// Where each fraction action puts the window, as shares of the visible frame; y grows downward.
std::optional<Fractions> fractionsOf(WindowAction action) {
    switch (action) {
        case WindowAction::leftHalf:
            return Fractions{0, 0, 0.5, 1};
        case WindowAction::rightHalf:
            return Fractions{0.5, 0, 0.5, 1};
        case WindowAction::topHalf:
            return Fractions{0, 0, 1, 0.5};
        case WindowAction::bottomHalf:
            return Fractions{0, 0.5, 1, 0.5};
        case WindowAction::topLeft:
            return Fractions{0, 0, 0.5, 0.5};
        case WindowAction::topRight:
            return Fractions{0.5, 0, 0.5, 0.5};
        case WindowAction::bottomLeft:
            return Fractions{0, 0.5, 0.5, 0.5};
        case WindowAction::bottomRight:
            return Fractions{0.5, 0.5, 0.5, 0.5};
        case WindowAction::leftThird:
            return Fractions{0, 0, third, 1};
        case WindowAction::centerThird:
            return Fractions{third, 0, third, 1};
        case WindowAction::rightThird:
            return Fractions{twoThirds, 0, third, 1};
        case WindowAction::leftTwoThirds:
            return Fractions{0, 0, twoThirds, 1};
        case WindowAction::rightTwoThirds:
            return Fractions{third, 0, twoThirds, 1};
        case WindowAction::maximize:
        case WindowAction::center:
        case WindowAction::nextDisplay:
            return std::nullopt;
    }
    return std::nullopt;
}

constexpr double shrinkWidth = 0.66;
constexpr double shrinkHeight = 0.72;

Rect centred(const Rect& visible, double width, double height) {
    return Rect{visible.midX() - width / 2, visible.midY() - height / 2, width, height}.integral();
}

}  // namespace

Rect targetFrame(WindowAction action, const Rect& visible, const Rect& current) {
    if (const auto f = fractionsOf(action)) {
        return Rect{visible.x + f->fx * visible.width, visible.y + f->fy * visible.height,
                    f->fw * visible.width, f->fh * visible.height}
            .integral();
    }
    switch (action) {
        case WindowAction::maximize:
            return visible;
        case WindowAction::center:
            // The window keeps its size unless it does not fit.
            return centred(visible, std::min(visible.width, current.width),
                           std::min(visible.height, current.height));
        default:
            return current;
    }
}

Rect shrunkFrame(const Rect& visible) {
    return centred(visible, shrinkWidth * visible.width, shrinkHeight * visible.height);
}

Rect mappedFrame(const Rect& frame, const Rect& from, const Rect& to) {
    return Rect{to.minX() + (frame.minX() - from.minX()) / from.width * to.width,
                to.minY() + (frame.minY() - from.minY()) / from.height * to.height,
                frame.width / from.width * to.width, frame.height / from.height * to.height}
        .integral();
}

bool nearlyEqual(const Rect& a, const Rect& b, double tolerance) {
    return std::fabs(a.minX() - b.minX()) <= tolerance &&
           std::fabs(a.minY() - b.minY()) <= tolerance &&
           std::fabs(a.width - b.width) <= tolerance && std::fabs(a.height - b.height) <= tolerance;
}

std::optional<std::size_t> screenIndexAt(std::span<const Screen> screens, Point p) {
    if (screens.empty()) {
        return std::nullopt;
    }
    const auto it = std::find_if(screens.begin(), screens.end(),
                                 [&](const Screen& s) { return s.full.contains(p); });
    return it != screens.end() ? static_cast<std::size_t>(it - screens.begin()) : 0;
}

}  // namespace ombrel
