// Drag-to-snap: a left drag that moves the focused window (same size, new origin) previews and,
// on release, answers the half, quarter or maximized frame of the screen edge under the pointer.
// A state machine fed the left button's events with their times; it reads windows and displays
// and drives the preview, and leaves writing the frame to its caller.
#pragma once

#include <cstdint>
#include <optional>

#include "actions/window_manager.h"
#include "placement/geometry.h"
#include "platform/overlays.h"
#include "platform/windows.h"

namespace ombrel {

class DragSnapper {
  public:
    enum class State : uint8_t {
        idle,     // no left drag
        armed,    // pressed, not yet moved far enough to look at a window
        probing,  // watching whether the focused window follows the pointer
        moving,   // the window follows: the edges preview their frames
        ignored,  // a resize, or a drag about something else, until the release
    };

    static constexpr double armingDistance = 8.0;
    static constexpr double probePeriod = 1.5;
    static constexpr double probeInterval = 0.04;

    // The window manager is only read: the focused window, its frame, the displays.
    DragSnapper(WindowManager& windows, SnapOverlay& overlay);

    // The left button went down at the point.
    void press(Point at);
    // The pointer moved with the left button down; `enabled` is false while snapping is off.
    void drag(Point to, double time, bool enabled);
    // What the drag snaps to: the window and its new frame.
    struct Snap {
        WindowRef window;
        Rect frame;
        friend bool operator==(const Snap&, const Snap&) = default;
    };
    // The left button went up: the frame to give the window, if the drag ended in a zone.
    std::optional<Snap> release();
    // The press was taken for something else (a touchpad click): no drag follows.
    void cancel();

    [[nodiscard]] State state() const { return state_; }
    // Whether pointer locations are needed now.
    [[nodiscard]] bool tracking() const {
        return state_ == State::armed || state_ == State::probing || state_ == State::moving;
    }
    [[nodiscard]] const std::optional<Rect>& preview() const { return preview_; }

  private:
    void arm(Point to, double time);
    void probe(double time);
    void follow(Point to);

    WindowManager& windows_;
    SnapOverlay& overlay_;
    State state_ = State::idle;
    Point downPoint_;
    std::optional<WindowRef> window_;
    Rect startFrame_;
    double probeDeadline_ = 0;
    double lastProbe_ = 0;
    std::optional<Rect> preview_;
};

}  // namespace ombrel
