// Speed of the recognisers and the window geometry, and the heap allocations of a touch frame.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "allocation_counter.h"
#include "drawing/shape_matcher.h"
#include "placement/snap_zone.h"
#include "placement/target_frames.h"
#include "trackpad/gesture_recognizer.h"

namespace ombrel {
namespace {

// A touch sequence of n fingers drifting slowly across the pad, ended by an empty frame, and a
// one-finger rest with a second finger tapping beside it for the tip-tap tracker.
std::vector<std::vector<TouchPoint>> touchCycle(int n) {
    std::vector<std::vector<TouchPoint>> frames;
    for (int i = 0; i < 63; ++i) {
        std::vector<TouchPoint> points;
        points.reserve(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k) {
            points.push_back({0.2F + 0.1F * static_cast<float>(k) + 0.001F * static_cast<float>(i),
                              0.5F + 0.0005F * static_cast<float>(i)});
        }
        frames.push_back(points);
    }
    frames.emplace_back();
    return frames;
}

void BM_Feed(benchmark::State& state) {
    const auto frames = touchCycle(static_cast<int>(state.range(0)));
    GestureRecognizer recognizer;
    int64_t reported = 0;
    double time = 0;
    std::size_t i = 0;
    const std::size_t before = heapAllocations();
    for (auto _ : state) {
        reported += recognizer.feed(frames[i], time).has_value() ? 1 : 0;
        time += 0.008;
        i = (i + 1) % frames.size();
    }
    const std::size_t made = heapAllocations() - before;
    benchmark::DoNotOptimize(reported);
    state.counters["allocs_per_frame"] =
        static_cast<double>(made) / static_cast<double>(state.iterations());
    state.counters["allocs_total"] = static_cast<double>(made);
}
BENCHMARK(BM_Feed)->Arg(1)->Arg(3)->Arg(5);

std::vector<Pt> wobblyCircle(int count, double radius, double wobble, double phase) {
    std::vector<Pt> points;
    for (int i = 0; i < count; ++i) {
        const double angle = 2 * std::numbers::pi * i / (count - 1) + phase;
        const double r = radius + wobble * std::sin(1.7 * i);
        points.push_back({500 + r * std::cos(angle), 400 + r * std::sin(angle)});
    }
    return points;
}

void BM_Match(benchmark::State& state) {
    const auto stroke = wobblyCircle(200, 120, 8, 0);
    std::vector<Drawing> drawings;
    for (int64_t c = 0; c < state.range(0); ++c) {
        // Circles started at other angles: all plausible, none but the last close enough.
        const double phase = 2 * std::numbers::pi * static_cast<double>(c + 1) /
                             static_cast<double>(state.range(0) + 1);
        drawings.push_back({"shape", ShapeMatcher::normalize(wobblyCircle(41, 100, 0, phase))});
    }
    const std::size_t before = heapAllocations();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ShapeMatcher::match(stroke, drawings));
    }
    // The resampled stroke is one vector per match; a match found would copy the drawing too.
    state.counters["allocs_per_match"] =
        static_cast<double>(heapAllocations() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Match)->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_TargetFrame(benchmark::State& state) {
    const Rect visible{0, 25, 1000, 775};
    const Rect current{100, 100, 600, 400};
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(targetFrame(allWindowActions[i], visible, current));
        i = (i + 1) % allWindowActions.size();
    }
}
BENCHMARK(BM_TargetFrame);

void BM_SnapZone(benchmark::State& state) {
    const Rect display{0, 0, 1440, 900};
    const std::array<Point, 8> points = {Point{0, 450},      Point{1439, 20}, Point{2, 880},
                                         Point{700, 1},      Point{700, 450}, Point{5.5, 450},
                                         Point{1434, 720.5}, Point{700, 899}};
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(snapZone(points[i], display));
        i = (i + 1) % points.size();
    }
}
BENCHMARK(BM_SnapZone);

}  // namespace
}  // namespace ombrel
