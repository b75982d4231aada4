// Moves and resizes the focused window, and remembers placements so a repeat puts it back.
#include "actions/window_manager.h"

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

// Maximize on a window that already fills the visible frame shrinks it to this share, centred.
constexpr double shrinkWidth = 0.66;
constexpr double shrinkHeight = 0.72;

bool finite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
           std::isfinite(r.height);
}

}  // namespace

Rect WindowManager::targetFrame(WindowAction action, const Rect& visible, const Rect& current) {
    if (const auto f = fractionsOf(action)) {
        return Rect{visible.x + f->fx * visible.width, visible.y + f->fy * visible.height,
                    f->fw * visible.width, f->fh * visible.height}
            .integral();
    }
    switch (action) {
        case WindowAction::maximize:
            return visible;
        case WindowAction::center: {
            // The window keeps its size unless it does not fit.
            const double w = std::min(visible.width, current.width);
            const double h = std::min(visible.height, current.height);
            return Rect{visible.midX() - w / 2, visible.midY() - h / 2, w, h}.integral();
        }
        default:
            return current;
    }
}

bool WindowManager::nearlyEqual(const Rect& a, const Rect& b, double tolerance) {
    return std::fabs(a.minX() - b.minX()) <= tolerance &&
           std::fabs(a.minY() - b.minY()) <= tolerance &&
           std::fabs(a.width - b.width) <= tolerance && std::fabs(a.height - b.height) <= tolerance;
}

std::optional<WindowRef> WindowManager::focusedWindow() {
    return system_.focusedWindow();
}

std::optional<Rect> WindowManager::frame(WindowRef window) {
    return system_.frame(window);
}

void WindowManager::setFrame(WindowRef window, const Rect& frame) {
    // A frame that is no frame at all is not written, rather than handed to the application.
    if (!finite(frame)) {
        return;
    }
    system_.writeFrame(window, frame);
}

std::span<const Screen> WindowManager::screens() {
    return system_.screens();
}

std::optional<Screen> WindowManager::screenContaining(Point p) {
    const auto list = screens();
    if (list.empty()) {
        return std::nullopt;
    }
    const auto it =
        std::find_if(list.begin(), list.end(), [&](const Screen& s) { return s.full.contains(p); });
    return it != list.end() ? *it : list.front();
}

void WindowManager::apply(WindowAction action) {
    const auto window = focusedWindow();
    if (!window) {
        return;
    }
    const auto read = frame(*window);
    if (!read) {
        return;
    }
    const Rect current = *read;
    // A fullscreen window belongs to its application: it is neither moved nor remembered.
    const WindowState state = system_.state(*window);
    if (state == WindowState::fullscreen) {
        return;
    }
    const bool maximized = state == WindowState::maximized;
    const auto list = screens();
    if (list.empty()) {
        return;
    }
    const Point centre{current.midX(), current.midY()};
    std::size_t index = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].full.contains(centre)) {
            index = i;
            break;
        }
    }
    const Rect visible = list[index].visible;

    if (action == WindowAction::nextDisplay) {
        // A display with no usable area cannot be mapped from; nothing happens.
        if (list.size() == 1 || !(visible.width > 0) || !(visible.height > 0)) {
            return;
        }
        // A maximized window stays maximized, on the other display, and its normal frame moves
        // along with it.
        Rect from = current;
        if (maximized) {
            system_.setMaximized(*window, false);
            from = frame(*window).value_or(current);
        }
        const Rect next = list[(index + 1) % list.size()].visible;
        const Rect mapped{
            next.minX() + (from.minX() - visible.minX()) / visible.width * next.width,
            next.minY() + (from.minY() - visible.minY()) / visible.height * next.height,
            from.width / visible.width * next.width, from.height / visible.height * next.height};
        setFrame(*window, mapped.integral());
        if (maximized) {
            system_.setMaximized(*window, true);
        }
        return;
    }

    const Rect target = targetFrame(action, visible, current);
    Rect restore = current;
    bool restoreMaximized = false;
    bool chained = false;
    const auto entry = std::find_if(placements_.begin(), placements_.end(),
                                    [&](const Placement& p) { return p.window == *window; });
    const bool atTarget = nearlyEqual(current, target, targetTolerance);

    if (entry != placements_.end()) {
        const bool stillPlaced = nearlyEqual(current, entry->placed, placedTolerance);
        if (action != WindowAction::center && entry->action == action &&
            (atTarget || stillPlaced)) {
            // The same action again: put the window back where it was before.
            const Placement back = *entry;
            placements_.erase(entry);
            setFrame(*window, back.restore);
            if (back.restoreMaximized) {
                system_.setMaximized(*window, true);
            }
            return;
        }
        if (!atTarget && stillPlaced) {
            // A chain of different actions returns, on repeat, to the frame before the chain.
            restore = entry->restore;
            restoreMaximized = entry->restoreMaximized;
            chained = true;
        }
    }

    if (atTarget) {
        // Already at the target: only maximize does something, it shrinks the window.
        if (action == WindowAction::maximize) {
            if (maximized) {
                system_.setMaximized(*window, false);
            }
            const double w = shrinkWidth * visible.width;
            const double h = shrinkHeight * visible.height;
            setFrame(*window,
                     Rect{visible.midX() - w / 2, visible.midY() - h / 2, w, h}.integral());
        }
        return;
    }

    if (maximized) {
        // Leave the maximized state first: the frame the window manager returns the window to
        // is where a repeat puts it back before maximizing it again.
        system_.setMaximized(*window, false);
        if (!chained) {
            restore = frame(*window).value_or(current);
            restoreMaximized = true;
        }
    }
    setFrame(*window, target);
    std::erase_if(placements_, [&](const Placement& p) { return p.window == *window; });
    if (action == WindowAction::center) {
        return;
    }
    const Rect placed = frame(*window).value_or(target);
    const bool full = placements_.size() >= memorySize;
    placements_.push_back(Placement{*window, action, placed, restore, restoreMaximized});
    if (full) {
        placements_.pop_front();
    }
}

}  // namespace ombrel
