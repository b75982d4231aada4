// Decides which stored drawing, if any, a traced stroke resembles.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "config/model.h"

namespace ombrel {

// Sum of the straight distances between consecutive points; 0 for fewer than two.
double pathLength(std::span<const Pt> points);

namespace ShapeMatcher {

inline constexpr int resampledPoints = 32;
inline constexpr double shortestStroke = 80.0;
inline constexpr double acceptance = 0.22;

// 32 points evenly spaced along the path, bounding box centred on the origin, larger side 1;
// empty when the stroke is degenerate (fewer than two points, no length, no extent).
std::vector<Pt> normalize(std::span<const Pt> stroke);

// Mean distance between same-index points of a normalised stroke and a stored drawing; infinite
// unless both have exactly 32 points.
double distance(std::span<const Pt> normalized, std::span<const Pt> stored);

// The best drawing under the acceptance distance, first wins ties; nothing for a short stroke.
std::optional<Drawing> match(std::span<const Pt> stroke, std::span<const Drawing> drawings);

}  // namespace ShapeMatcher
}  // namespace ombrel
