// Turns trackpad contact frames into taps, swipes and tip-taps; pure logic, timed by the frames.
#include "trackpad/gesture_recognizer.h"

#include <algorithm>
#include <cmath>

namespace ombrel {
namespace {

// Distances are in pad units and compared in single precision, durations in seconds.
constexpr int64_t fewestFingers = 3;
constexpr double longestTap = 0.35;
constexpr float largestTapTravel = 0.04F;
constexpr float swipeTravel = 0.12F;
constexpr double shortestRest = 0.12;
constexpr float tipHoldTolerance = 0.05F;
constexpr double tipWindow = 0.3;
constexpr float tipLiftTolerance = 0.06F;

float distance(TouchPoint a, TouchPoint b) {
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

std::optional<TrackpadGesture> GestureRecognizer::feed(std::span<const TouchPoint> points,
                                                       double time) {
    fingersDown_ = static_cast<int64_t>(points.size());
    // A tip-tap ends with one finger down, a tap with none, a swipe with three or more: one frame
    // completes one gesture at most.
    std::optional<TrackpadGesture> tipTap = trackTip(points, time);
    std::optional<TrackpadGesture> other = trackSequence(points, time);
    return tipTap ? tipTap : other;
}

void GestureRecognizer::handledAsClick() {
    fired_ = true;
    tip_.reset();
}

// One finger rests, a second one taps briefly beside it.
std::optional<TrackpadGesture> GestureRecognizer::trackTip(std::span<const TouchPoint> points,
                                                           double time) {
    const auto n = static_cast<int64_t>(points.size());
    std::optional<TrackpadGesture> report;
    if (n == 2) {
        const TouchPoint p0 = points[0];
        const TouchPoint p1 = points[1];
        if (tipPrevCount_ == 1 && time - restSince_ >= shortestRest) {
            // The finger nearer to where the resting one was is taken as still resting.
            const bool firstRests = !(distance(p1, restPoint_) < distance(p0, restPoint_));
            tip_ = Tip{time, firstRests ? p0 : p1, firstRests ? p1 : p0};
        } else if (tip_) {
            const bool restHeld = distance(p0, tip_->rest) <= tipHoldTolerance ||
                                  distance(p1, tip_->rest) <= tipHoldTolerance;
            const bool otherHeld = distance(p0, tip_->other) <= tipHoldTolerance ||
                                   distance(p1, tip_->other) <= tipHoldTolerance;
            if (!restHeld || !otherHeld || !(time - tip_->start <= tipWindow)) {
                tip_.reset();
            }
        }
        tipPrevCount_ = 2;
    } else if (n == 1) {
        const TouchPoint p = points[0];
        const bool pending = tip_.has_value();
        if (tipPrevCount_ == 2 && tip_ && time - tip_->start < tipWindow &&
            distance(p, tip_->rest) < tipLiftTolerance) {
            report =
                TrackpadGesture{tip_->other.x < tip_->rest.x ? TrackpadGesture::Kind::tipTapLeft
                                                             : TrackpadGesture::Kind::tipTapRight,
                                2};
        }
        // A tip-tap keeps the rest going, so the next one needs no new wait.
        if (tipPrevCount_ != 1 && !pending) {
            restSince_ = time;
        }
        tip_.reset();
        restPoint_ = p;
        tipPrevCount_ = 1;
    } else {
        tip_.reset();
        tipPrevCount_ = n;
    }
    return report;
}

// Taps and swipes over one touch sequence, from the first finger to the last lift.
std::optional<TrackpadGesture> GestureRecognizer::trackSequence(std::span<const TouchPoint> points,
                                                                double time) {
    const auto n = static_cast<int64_t>(points.size());
    if (n == 0) {
        const int64_t fingers = tapOnLift(time);
        active_ = false;
        return fingers > 0 ? std::optional(TrackpadGesture{TrackpadGesture::Kind::tap, fingers})
                           : std::nullopt;
    }
    if (!active_) {
        active_ = true;
        startTime_ = time;
        maxTravel_ = 0;
        maxCount_ = 0;
        lastCount_ = 0;
        fired_ = false;
    }
    float sumX = 0;
    float sumY = 0;
    for (const TouchPoint& p : points) {
        sumX += p.x;
        sumY += p.y;
    }
    const auto count = static_cast<float>(n);
    const TouchPoint centroid{sumX / count, sumY / count};
    if (n != lastCount_) {
        // Fingers landing or lifting one after another must not count as travel.
        baseline_ = centroid;
        maxCount_ = std::max(maxCount_, n);
        lastCount_ = n;
        return std::nullopt;
    }
    const float dx = centroid.x - baseline_.x;
    const float dy = centroid.y - baseline_.y;
    maxTravel_ = std::max(maxTravel_, distance(centroid, baseline_));
    if (fired_ || n < fewestFingers || n != maxCount_ ||
        std::max(std::fabs(dx), std::fabs(dy)) <= swipeTravel) {
        return std::nullopt;
    }
    fired_ = true;
    using Kind = TrackpadGesture::Kind;
    if (std::fabs(dy) < std::fabs(dx)) {
        return TrackpadGesture{dx > 0 ? Kind::swipeRight : Kind::swipeLeft, n};
    }
    return TrackpadGesture{dy > 0 ? Kind::swipeUp : Kind::swipeDown, n};
}

int64_t GestureRecognizer::tapOnLift(double time) const {
    const bool tap = active_ && !fired_ && maxCount_ >= fewestFingers &&
                     time - startTime_ < longestTap && maxTravel_ < largestTapTravel;
    return tap ? maxCount_ : 0;
}

}  // namespace ombrel
