// The usable part of each monitor, from whatever the desktop publishes about it: the per-monitor
// work areas of GNOME's window manager, the desktop-wide work area, and the struts of panels.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "placement/geometry.h"

namespace ombrel::linux_platform {

// Space a panel reserves along the root window's edges (_NET_WM_STRUT_PARTIAL order: left,
// right, top, bottom, then the start and end of each along its edge).
struct Strut {
    std::array<long, 12> values{};
};

// The part of a monitor left once every strut that touches it is taken away.
Rect visibleArea(const Rect& monitor, std::span<const Strut> struts, Size rootSize);

struct WorkAreaSources {
    // _GTK_WORKAREAS_D<current desktop>: one area per monitor, in any order.
    std::vector<Rect> monitorAreas;
    // _NET_WORKAREA of the current desktop.
    std::optional<Rect> desktopArea;
    // Of the panels (dock windows and any client that reserves space).
    std::vector<Strut> struts;
};

// The visible frame of each monitor: the monitor less everything any credible source reserves.
std::vector<Rect> visibleFrames(std::span<const Rect> monitors, const WorkAreaSources& sources,
                                Size rootSize);

}  // namespace ombrel::linux_platform
