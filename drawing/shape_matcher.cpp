// Decides which stored drawing, if any, a traced stroke resembles.
#include "drawing/shape_matcher.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace ombrel {
namespace {

double between(Pt a, Pt b) {
    const double dx = a.x - b.x;
    const double dy = a.y - b.y;
    return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

double pathLength(std::span<const Pt> points) {
    double length = 0;
    for (std::size_t i = 1; i < points.size(); ++i) {
        length += between(points[i - 1], points[i]);
    }
    return length;
}

namespace ShapeMatcher {

std::vector<Pt> normalize(std::span<const Pt> stroke) {
    const double length = pathLength(stroke);
    if (stroke.size() < 2 || !(length > 0)) {
        return {};
    }
    const auto wanted = static_cast<std::size_t>(resampledPoints);
    const double interval = length / (resampledPoints - 1);

    std::vector<Pt> out;
    out.reserve(wanted);
    out.push_back(stroke.front());
    // Points past the 32nd are dropped anyway; stopping there also bounds the loop when the
    // coordinates are so large that a step of one interval no longer moves the point.
    auto emit = [&](Pt p) {
        out.push_back(p);
        return out.size() < wanted;
    };
    double carried = 0;  // path length from the last output point to the previous input point
    Pt previous = stroke.front();
    bool room = true;
    for (std::size_t i = 1; i < stroke.size() && room; ++i) {
        const Pt q = stroke[i];
        const double d = between(q, previous);
        if (d > 0 && carried + d >= interval) {
            const double step = interval - carried;
            Pt r{previous.x + (q.x - previous.x) * step / d,
                 previous.y + (q.y - previous.y) * step / d};
            room = emit(r);
            double e = between(q, r);
            while (room && e > 0 && e >= interval) {
                r = Pt{r.x + (q.x - r.x) * interval / e, r.y + (q.y - r.y) * interval / e};
                room = emit(r);
                e = between(q, r);
            }
            carried = e;
        } else {
            carried += d;
        }
        previous = q;
    }
    // Rounding can leave the path one point short of the end: pad with where it ended.
    while (out.size() < wanted) {
        out.push_back(stroke.back());
    }
    out.resize(wanted);

    double minX = out.front().x;
    double maxX = minX;
    double minY = out.front().y;
    double maxY = minY;
    for (const Pt& p : out) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    // One scale for both axes keeps the proportions: a straight stroke stays a segment.
    const double scale = std::max(maxX - minX, maxY - minY);
    if (!(scale > 0)) {
        return {};
    }
    const double cx = (minX + maxX) / 2;
    const double cy = (minY + maxY) / 2;
    for (Pt& p : out) {
        p = Pt{(p.x - cx) / scale, (p.y - cy) / scale};
    }
    return out;
}

double distance(std::span<const Pt> normalized, std::span<const Pt> stored) {
    if (normalized.size() != static_cast<std::size_t>(resampledPoints) ||
        stored.size() != normalized.size()) {
        return std::numeric_limits<double>::infinity();
    }
    double sum = 0;
    for (std::size_t i = 0; i < normalized.size(); ++i) {
        sum += between(normalized[i], stored[i]);
    }
    return sum / resampledPoints;
}

std::optional<Drawing> match(std::span<const Pt> stroke, std::span<const Drawing> drawings) {
    if (pathLength(stroke) < shortestStroke) {
        return std::nullopt;
    }
    const std::vector<Pt> normalized = normalize(stroke);
    if (normalized.empty()) {
        return std::nullopt;
    }
    // Stored drawings were normalised when saved; they are compared as they are.
    const Drawing* best = nullptr;
    double bestScore = std::numeric_limits<double>::infinity();
    for (const Drawing& candidate : drawings) {
        const double score = distance(normalized, candidate.points);
        if (score < bestScore) {
            best = &candidate;
            bestScore = score;
        }
    }
    if (best == nullptr || !(bestScore < acceptance)) {
        return std::nullopt;
    }
    return *best;
}

}  // namespace ShapeMatcher
}  // namespace ombrel
