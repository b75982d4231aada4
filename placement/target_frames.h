// Where each window placement puts a window: pure arithmetic on frames and visible frames, shared
// by the window manager and drag-to-snap.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "config/model.h"
#include "placement/geometry.h"

namespace ombrel {

// The frame an action gives a window on the display with this visible frame: the fraction
// actions and center rounded outward to whole points, maximize the visible frame itself, and
// anything else (nextDisplay) the current frame unchanged.
Rect targetFrame(WindowAction action, const Rect& visible, const Rect& current);

// Maximize on a window that already fills the visible frame: a share of it, centred.
Rect shrunkFrame(const Rect& visible);

// A frame carried proportionally from one visible frame to another, rounded outward; `from`
// must have an area.
Rect mappedFrame(const Rect& frame, const Rect& from, const Rect& to);

// True when the frames differ by at most the tolerance in each of x, y, width and height.
bool nearlyEqual(const Rect& a, const Rect& b, double tolerance);

// The position of the first display whose full frame contains p, else of the first display;
// nothing when there is none.
std::optional<std::size_t> screenIndexAt(std::span<const Screen> screens, Point p);

}  // namespace ombrel
