// Combines the work areas a desktop publishes into one visible frame per monitor.
#include "platform/linux/work_areas.h"

#include <algorithm>

namespace ombrel::linux_platform {

namespace {

bool overlaps(long start, long end, double min, double max) {
    // Strut ranges include their end; rectangles exclude their maximum edge.
    return static_cast<double>(start) < max && static_cast<double>(end) >= min;
}

Rect intersect(const Rect& a, const Rect& b) {
    const double x = std::max(a.minX(), b.minX());
    const double y = std::max(a.minY(), b.minY());
    const double w = std::min(a.maxX(), b.maxX()) - x;
    const double h = std::min(a.maxY(), b.maxY()) - y;
    return {x, y, std::max(0.0, w), std::max(0.0, h)};
}

bool empty(const Rect& r) {
    return !(r.width > 0) || !(r.height > 0);
}

// The per-monitor area that lies inside this monitor, if the desktop published one.
std::optional<Rect> areaOf(const Rect& monitor, std::span<const Rect> areas) {
    for (const Rect& a : areas) {
        if (!empty(a) && intersect(a, monitor) == a) {
            return a;
        }
    }
    return std::nullopt;
}

// A desktop-wide work area is one rectangle for all monitors. Window managers make it the
// bounding box of the monitors less the panels' struts, so with several monitors one monitor's
// panel leaks onto its neighbours (a bottom panel on a shorter monitor cuts the taller one too);
// where the struts are known they say it per monitor and the desktop-wide area is not believed.
// It must leave something of every monitor in any case.
bool credible(const Rect& area, std::span<const Rect> monitors, const WorkAreaSources& sources) {
    if (monitors.size() > 1 && !sources.struts.empty()) {
        return false;
    }
    return std::none_of(monitors.begin(), monitors.end(),
                        [&](const Rect& m) { return empty(intersect(area, m)); });
}

}  // namespace

Rect visibleArea(const Rect& monitor, std::span<const Strut> struts, Size rootSize) {
    double minX = monitor.minX();
    double minY = monitor.minY();
    double maxX = monitor.maxX();
    double maxY = monitor.maxY();
    for (const auto& strut : struts) {
        const auto& s = strut.values;
        // A reserved band counts for the monitor in which its inner edge falls; struts are
        // measured from the root window's edges, so a band covering a whole monitor belongs to
        // a neighbour.
        const auto left = static_cast<double>(s[0]);
        if (s[0] > 0 && left > monitor.minX() && left < monitor.maxX() &&
            overlaps(s[4], s[5], monitor.minY(), monitor.maxY())) {
            minX = std::max(minX, left);
        }
        const double right = rootSize.width - static_cast<double>(s[1]);
        if (s[1] > 0 && right > monitor.minX() && right < monitor.maxX() &&
            overlaps(s[6], s[7], monitor.minY(), monitor.maxY())) {
            maxX = std::min(maxX, right);
        }
        const auto top = static_cast<double>(s[2]);
        if (s[2] > 0 && top > monitor.minY() && top < monitor.maxY() &&
            overlaps(s[8], s[9], monitor.minX(), monitor.maxX())) {
            minY = std::max(minY, top);
        }
        const double bottom = rootSize.height - static_cast<double>(s[3]);
        if (s[3] > 0 && bottom > monitor.minY() && bottom < monitor.maxY() &&
            overlaps(s[10], s[11], monitor.minX(), monitor.maxX())) {
            maxY = std::min(maxY, bottom);
        }
    }
    return {minX, minY, std::max(0.0, maxX - minX), std::max(0.0, maxY - minY)};
}

std::vector<Rect> visibleFrames(std::span<const Rect> monitors, const WorkAreaSources& sources,
                                Size rootSize) {
    const bool desktopCredible =
        sources.desktopArea && credible(*sources.desktopArea, monitors, sources);
    std::vector<Rect> out;
    out.reserve(monitors.size());
    for (const Rect& monitor : monitors) {
        const Rect byStruts = visibleArea(monitor, sources.struts, rootSize);
        Rect visible = byStruts;
        if (const auto own = areaOf(monitor, sources.monitorAreas)) {
            // The window manager's own per-monitor figure knows chrome that no window reserves.
            visible = intersect(visible, *own);
        } else if (desktopCredible) {
            visible = intersect(visible, *sources.desktopArea);
        }
        out.push_back(empty(visible) ? byStruts : visible);
    }
    return out;
}

}  // namespace ombrel::linux_platform
