// Moves and resizes the focused window, and remembers placements so a repeat puts it back.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <span>

#include "config/model.h"
#include "placement/geometry.h"
#include "platform/windows.h"

namespace ombrel {

class WindowManager {
  public:
    using Screen = ombrel::Screen;

    struct Placement {
        WindowRef window;
        WindowAction action = WindowAction::leftHalf;
        Rect placed;   // the frame read back right after the move
        Rect restore;  // where a repeat of the same action returns the window
        // The window manager had maximized the window; the repeat maximizes it again.
        bool restoreMaximized = false;
        friend bool operator==(const Placement&, const Placement&) = default;
    };

    static constexpr double targetTolerance = 12;
    static constexpr double placedTolerance = 3;
    static constexpr std::size_t memorySize = 60;

    explicit WindowManager(WindowSystem& system) : system_(system) {}

    void apply(WindowAction action);

    std::optional<WindowRef> focusedWindow();
    std::optional<Rect> frame(WindowRef window);
    // Size and position (on some window systems size, position and size again); failures are
    // ignored.
    void setFrame(WindowRef window, const Rect& frame);
    std::span<const Screen> screens();
    // The first display whose full frame contains p, else the first; nothing with no display.
    std::optional<Screen> screenContaining(Point p);

    [[nodiscard]] const std::deque<Placement>& placements() const { return placements_; }

  private:
    WindowSystem& system_;
    std::deque<Placement> placements_;
};

}  // namespace ombrel
