// Drag-to-snap: arming, probing whether the focused window follows, and the zone under the pointer.
#include "engine/drag_snapper.h"

#include <cmath>

#include "placement/snap_zone.h"
#include "placement/target_frames.h"

namespace ombrel {

DragSnapper::DragSnapper(WindowManager& windows, SnapOverlay& overlay)
    : windows_(windows), overlay_(overlay) {}

void DragSnapper::press(Point at) {
    // A press without a release (the release went elsewhere) starts over.
    cancel();
    downPoint_ = at;
    state_ = State::armed;
}

void DragSnapper::drag(Point to, double time, bool enabled) {
    if (!enabled) {
        return;
    }
    switch (state_) {
        case State::armed:
            arm(to, time);
            return;
        case State::probing:
            probe(time);
            return;
        case State::moving:
            follow(to);
            return;
        case State::idle:
        case State::ignored:
            return;
    }
}

void DragSnapper::arm(Point to, double time) {
    if (std::hypot(to.x - downPoint_.x, to.y - downPoint_.y) <= armingDistance) {
        return;
    }
    const std::optional<WindowRef> window = windows_.focusedWindow();
    const std::optional<Rect> frame = window ? windows_.frame(*window) : std::optional<Rect>{};
    if (!frame) {
        state_ = State::ignored;
        return;
    }
    window_ = window;
    startFrame_ = *frame;
    probeDeadline_ = time + probePeriod;
    lastProbe_ = time;
    state_ = State::probing;
}

void DragSnapper::probe(double time) {
    // At most one window read per probe interval.
    if (time - lastProbe_ <= probeInterval || !window_) {
        return;
    }
    lastProbe_ = time;
    const std::optional<Rect> frame = windows_.frame(*window_);
    // A changed size is a resize drag; an unmoved window after the deadline means the drag was
    // about something else (text, a file).
    if (frame && frame->width == startFrame_.width && frame->height == startFrame_.height) {
        if (frame->x != startFrame_.x || frame->y != startFrame_.y) {
            state_ = State::moving;
        } else if (time > probeDeadline_) {
            state_ = State::ignored;
        }
        return;
    }
    state_ = State::ignored;
}

void DragSnapper::follow(Point to) {
    if (const std::optional<Screen> screen = windows_.screenContaining(to)) {
        if (const std::optional<WindowAction> zone = snapZone(to, screen->full)) {
            preview_ = targetFrame(*zone, screen->visible, startFrame_);
            overlay_.show(*preview_);
            return;
        }
    }
    if (preview_) {
        preview_.reset();
        overlay_.hide();
    }
}

std::optional<DragSnapper::Snap> DragSnapper::release() {
    std::optional<Snap> snap;
    if (state_ == State::moving && preview_ && window_) {
        snap = Snap{*window_, *preview_};
    }
    cancel();
    return snap;
}

void DragSnapper::cancel() {
    if (preview_ || state_ != State::idle) {
        overlay_.hide();
    }
    preview_.reset();
    window_.reset();
    state_ = State::idle;
}

}  // namespace ombrel
