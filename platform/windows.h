// Other applications' windows and the displays, as the window manager sees them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "placement/geometry.h"

namespace ombrel {

// Identity of one window; two refs denote the same window when they are equal.
struct WindowRef {
    uint64_t id = 0;
    friend bool operator==(const WindowRef&, const WindowRef&) = default;
};

// How the window manager shows a window.
enum class WindowState { normal, maximized, fullscreen };

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;
    // The focused window of the frontmost application, or nothing.
    virtual std::optional<WindowRef> focusedWindow() = 0;
    virtual std::optional<Point> position(WindowRef window) = 0;
    virtual std::optional<Size> size(WindowRef window) = 0;
    // Position and size; a window system that can read both at once says so by overriding.
    virtual std::optional<Rect> frame(WindowRef window) {
        const auto origin = position(window);
        const auto extent = origin ? size(window) : std::nullopt;
        if (!extent) {
            return std::nullopt;
        }
        return Rect{origin->x, origin->y, extent->width, extent->height};
    }
    // Writes are not checked; read the frame back to learn what the application accepted.
    virtual void writeSize(WindowRef window, Size size) = 0;
    virtual void writePosition(WindowRef window, Point origin) = 0;
    // Size first so the move is not clamped by the old size at a display edge, and size again
    // in case the application limited it at the old position; a window system that applies both
    // at once overrides this.
    virtual void writeFrame(WindowRef window, const Rect& frame) {
        writeSize(window, frame.size());
        writePosition(window, frame.origin());
        writeSize(window, frame.size());
    }
    // Normal when the window system cannot tell.
    virtual WindowState state(WindowRef /*window*/) { return WindowState::normal; }
    // Maximizes the window through the window manager, or drops that state (the window then
    // returns to the frame the window manager kept for it).
    virtual void setMaximized(WindowRef /*window*/, bool /*maximized*/) {}
    // Displays in top-left global coordinates, primary first; empty when none is known. The view
    // stays valid until the next call, so asking on every pointer event allocates nothing.
    virtual std::span<const Screen> screens() = 0;
};

}  // namespace ombrel
