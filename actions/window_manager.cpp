// Moves and resizes the focused window, and remembers placements so a repeat puts it back.
#include "actions/window_manager.h"

#include <algorithm>
#include <cmath>

#include "placement/target_frames.h"

namespace ombrel {
namespace {

bool finite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
           std::isfinite(r.height);
}

}  // namespace

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
    const auto index = screenIndexAt(list, p);
    return index ? std::optional(list[*index]) : std::nullopt;
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
    const auto found = screenIndexAt(list, {current.midX(), current.midY()});
    if (!found) {
        return;
    }
    const std::size_t index = *found;
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
        setFrame(*window, mappedFrame(from, visible, list[(index + 1) % list.size()].visible));
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
            setFrame(*window, shrunkFrame(visible));
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
