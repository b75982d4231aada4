// Shape matcher: resampling, normalisation, scoring and the choice among stored drawings.
#include "drawing/shape_matcher.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace ombrel {
namespace {

std::vector<Pt> circle(double radius, double direction, double wobble = 0) {
    std::vector<Pt> points;
    for (int i = 0; i <= 40; ++i) {
        const double angle = direction * 2 * std::numbers::pi * i / 40;
        const double r = radius + wobble * std::sin(1.7 * i);
        points.push_back({500 + r * std::cos(angle), 400 + r * std::sin(angle)});
    }
    return points;
}

std::vector<Pt> letterL(double sx = 1, double dx = 0, double sy = 1) {
    std::vector<Pt> points;
    for (int k = 0; k <= 20; ++k) {
        points.push_back(k <= 10 ? Pt{sx * 200 + dx, sy * (100 + 20 * k)}
                                 : Pt{sx * (200 + 20 * (k - 10)) + dx, sy * 300});
    }
    return points;
}

const std::vector<Drawing> stored = {{"circle", ShapeMatcher::normalize(circle(100, 1))},
                                     {"L", ShapeMatcher::normalize(letterL())}};

// Scores to a tolerance against the circle and the L; negative: not checked. The way a shape is
// drawn counts.
TEST(ShapeMatcher, ScoresAgainstTheStoredCircleAndL) {
    const std::tuple<const char*, std::vector<Pt>, double, double> cases[] = {
        {"wobbly circle", circle(60, 1, 6), 0.03, -1},
        {"stretched L", letterL(1.5, 9, 1.1), -1, 0.12},
        {"reversed circle", circle(100, -1), 0.62, 0.49}};
    for (const auto& [name, stroke, circleScore, lScore] : cases) {
        const auto n = ShapeMatcher::normalize(stroke);
        for (const auto& [score, drawing] : {std::pair{circleScore, 0}, std::pair{lScore, 1}}) {
            if (score >= 0) {
                EXPECT_NEAR(ShapeMatcher::distance(n, stored[drawing].points), score, 0.005)
                    << name;
            }
        }
    }
}

// The stored drawing of the lowest score under 0.22 comes back whole (bindings are looked up by
// it), the first of equals; strokes shorter than 80 and drawings of other than 32 points count
// for nothing.
TEST(ShapeMatcher, MatchesTheClosestDrawing) {
    const std::vector<Pt> exact = {{0, 0}, {80, 0}};
    const std::vector<Drawing> line = {{"line", ShapeMatcher::normalize(exact)}};
    const auto l = stored[1].points;
    auto moved = [&](double dx, double scale) {
        auto points = l;
        for (Pt& p : points) {
            p = {scale * p.x + dx, scale * p.y};
        }
        return points;
    };
    const std::vector<Pt> shortL(l.begin(), l.end() - 1);
    auto longL = l;
    longL.push_back(l.back());
    // A horizontal stroke normalises to y = 0 everywhere. Moving one stored point by 7.04 gives a
    // mean of 7.04 / 32, which is exactly the double nearest 0.22.
    const std::vector<Pt> flat = {{0, 0}, {310, 0}};
    auto shifted = ShapeMatcher::normalize(flat);
    ASSERT_EQ(shifted.size(), 32U);
    shifted[0].y += 7.04;
    ASSERT_EQ(ShapeMatcher::distance(ShapeMatcher::normalize(flat), shifted), 0.22);
    auto under = ShapeMatcher::normalize(flat);
    under[0].y += std::nextafter(7.04, 0.0);
    const std::vector<std::tuple<std::vector<Pt>, std::vector<Drawing>, std::optional<Drawing>>>
        cases = {
            {circle(60, 1, 6), stored, stored[0]},
            {letterL(1.5, 9, 1.1), stored, stored[1]},
            {letterL(1.5, 9, 1.4), stored, stored[1]},
            {circle(100, -1), stored, std::nullopt},
            {exact, line, line[0]},
            {{{0, 0}, {std::nextafter(80.0, 0.0), 0}}, line, std::nullopt},
            {flat, {{"shifted", shifted}}, std::nullopt},
            {flat, {{"under", under}}, Drawing{"under", under}},
            {letterL(), {{"first", l}, {"second", l}}, Drawing{"first", l}},
            {letterL(),
             {{"far", moved(0.1, 1)}, {"near", moved(0.05, 1)}},
             Drawing{"near", moved(0.05, 1)}},
            {letterL(), {}, std::nullopt},
            {letterL(),
             {{"short", shortL}, {"long", longL}, {"empty", {}}, {"big", moved(0, 2)}},
             std::nullopt},
            {letterL(), {{"short", shortL}, {"L", l}}, Drawing{"L", l}},
        };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& [stroke, drawings, expected] = cases[i];
        EXPECT_EQ(ShapeMatcher::match(stroke, drawings), expected) << "case " << i;
    }
}

TEST(ShapeMatcher, DegenerateStrokesGiveNothingAndHugeCoordinatesStillFinish) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const std::vector<Pt>& stroke : std::vector<std::vector<Pt>>{
             {}, {{3, 4}}, {{3, 4}, {3, 4}, {3, 4}}, {{0, 0}, {nan, 5}, {10, 10}}}) {
        EXPECT_TRUE(ShapeMatcher::normalize(stroke).empty()) << stroke.size();
        EXPECT_FALSE(ShapeMatcher::match(stroke, stored).has_value()) << stroke.size();
    }
    // Far from the origin a step of one interval may not move the point at all; this used to
    // loop for ever.
    const auto n = ShapeMatcher::normalize(std::vector<Pt>{{1e17, 0}, {1e17 + 16, 0}});
    EXPECT_TRUE(n.empty() || n.size() == 32U);
}

TEST(ShapeMatcher, NormalizeResamplesEvenlyAndCentresTheBox) {
    // Uneven points along one segment resample to 32 points 1/31 apart from the start to the end.
    std::vector<Pt> uneven = {{0, 0}};
    for (double x : {0.5, 0.5, 3.0, 17.25, 17.5, 100.0, 101.0, 250.0, 309.9, 310.0}) {
        uneven.push_back({x, 0});
    }
    const auto n = ShapeMatcher::normalize(uneven);
    ASSERT_EQ(n.size(), 32U);
    for (std::size_t i = 0; i < n.size(); ++i) {
        EXPECT_NEAR(n[i].x, -0.5 + static_cast<double>(i) / 31, 1e-9) << i;
        EXPECT_EQ(n[i].y, 0);
    }
}

}  // namespace
}  // namespace ombrel
