// Other applications' windows and the displays, as the window manager sees them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/geometry.h"

namespace ombrel {

// Identity of one window; two refs denote the same window when they are equal.
struct WindowRef {
    uint64_t id = 0;
    friend bool operator==(const WindowRef&, const WindowRef&) = default;
};

// One display: its whole frame and its usable frame, in global top-left coordinates.
struct Screen {
    Rect full;
    Rect visible;
    friend bool operator==(const Screen&, const Screen&) = default;
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
    // Writes are not checked; read the frame back to learn what the application accepted.
    virtual void writeSize(WindowRef window, Size size) = 0;
    virtual void writePosition(WindowRef window, Point origin) = 0;
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
