// Drag-to-snap: a left drag that moves the focused window (same size, new origin) previews and,
// on release, applies the half, quarter or maximized frame of the screen edge under the pointer.
#include <cmath>

#include "engine/engine.h"
#include "placement/snap_zone.h"
#include "placement/target_frames.h"

namespace ombrel {

void Engine::trackDrag(Point p) {
    if (dragState_ == DragState::idle || dragState_ == DragState::ignored) {
        return;
    }
    if (!config().engineEnabled || !config().snapEnabled) {
        return;
    }
    const double now = queue_.uptime();
    switch (dragState_) {
        case DragState::armed: {
            if (std::hypot(p.x - downPoint_.x, p.y - downPoint_.y) <= armingDistance) {
                return;
            }
            const std::optional<WindowRef> window = windows_.focusedWindow();
            const std::optional<Rect> frame =
                window ? windows_.frame(*window) : std::optional<Rect>{};
            if (!frame) {
                setDragState(DragState::ignored);
                return;
            }
            dragWindow_ = window;
            startFrame_ = *frame;
            probeDeadline_ = now + probePeriod;
            lastProbe_ = now;
            setDragState(DragState::probing);
            return;
        }
        case DragState::probing:
            probe(now);
            return;
        case DragState::moving:
            zoneStep(p);
            return;
        case DragState::idle:
        case DragState::ignored:
            return;
    }
}

void Engine::probe(double now) {
    // At most one window read per probe interval.
    if (now - lastProbe_ <= probeInterval || !dragWindow_) {
        return;
    }
    lastProbe_ = now;
    const std::optional<Rect> frame = windows_.frame(*dragWindow_);
    // A changed size is a resize drag; an unmoved window after the deadline means the drag was
    // about something else (text, a file).
    if (frame && frame->width == startFrame_.width && frame->height == startFrame_.height) {
        if (frame->x != startFrame_.x || frame->y != startFrame_.y) {
            setDragState(DragState::moving);
        } else if (now > probeDeadline_) {
            setDragState(DragState::ignored);
        }
        return;
    }
    setDragState(DragState::ignored);
}

void Engine::zoneStep(Point p) {
    if (const std::optional<Screen> screen = windows_.screenContaining(p)) {
        if (const std::optional<WindowAction> zone = snapZone(p, screen->full)) {
            pendingSnap_ = targetFrame(*zone, screen->visible, startFrame_);
            snapOverlay_.show(*pendingSnap_);
            return;
        }
    }
    pendingSnap_.reset();
    snapOverlay_.hide();
}

void Engine::releaseDrag() {
    if (dragState_ == DragState::moving && pendingSnap_ && dragWindow_) {
        // Written after the release has reached the application, which otherwise may put the
        // window back where the pointer left it; by the worker, since the window manager may be
        // slow to answer. Nothing goes into the placement memory.
        queue_.postAfter(releaseDelay,
                         [&actions = actions_, window = *dragWindow_, frame = *pendingSnap_] {
                             actions.setFrame(window, frame);
                         });
    }
    snapOverlay_.hide();
    pendingSnap_.reset();
    dragWindow_.reset();
    setDragState(DragState::idle);
}

void Engine::setDragState(DragState state) {
    if (state == dragState_) {
        return;
    }
    dragState_ = state;
    refreshGrabs(false);
}

}  // namespace ombrel
