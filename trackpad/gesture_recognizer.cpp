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

void GestureRecognizer::feed(std::span<const TouchPoint> points, double time) {
    const auto n = static_cast<int64_t>(points.size());
    fingersDown = n;

    auto report = [this](TrackpadGesture::Kind kind, int64_t fingers) {
        if (onGesture) {
            onGesture(TrackpadGesture{kind, fingers});
        }
    };

    // Tip-tap tracker: one finger rests, a second one taps briefly beside it.
    if (n == 2) {
        const TouchPoint p0 = points[0];
        const TouchPoint p1 = points[1];
        if (tipPrevCount == 1 && time - restSince >= shortestRest) {
            // The finger nearer to where the resting one was is taken as still resting.
            const bool firstRests = !(distance(p1, restPoint) < distance(p0, restPoint));
            tip = Tip{time, firstRests ? p0 : p1, firstRests ? p1 : p0};
        } else if (tip) {
            const bool restHeld = distance(p0, tip->rest) <= tipHoldTolerance ||
                                  distance(p1, tip->rest) <= tipHoldTolerance;
            const bool otherHeld = distance(p0, tip->other) <= tipHoldTolerance ||
                                   distance(p1, tip->other) <= tipHoldTolerance;
            if (!restHeld || !otherHeld || !(time - tip->start <= tipWindow)) {
                tip.reset();
            }
        }
        tipPrevCount = 2;
    } else if (n == 1) {
        const TouchPoint p = points[0];
        const bool pending = tip.has_value();
        if (tipPrevCount == 2 && tip && time - tip->start < tipWindow &&
            distance(p, tip->rest) < tipLiftTolerance) {
            report(tip->other.x < tip->rest.x ? TrackpadGesture::Kind::tipTapLeft
                                              : TrackpadGesture::Kind::tipTapRight,
                   2);
        }
        // A tip-tap keeps the rest going, so the next one needs no new wait.
        if (tipPrevCount != 1 && !pending) {
            restSince = time;
        }
        tip.reset();
        restPoint = p;
        tipPrevCount = 1;
    } else {
        tip.reset();
        tipPrevCount = n;
    }

    // Tap and swipe tracker over one touch sequence, from the first finger to the last lift.
    if (n > 0) {
        if (!active) {
            active = true;
            startTime = time;
            maxTravel = 0;
            maxCount = 0;
            lastCount = 0;
            fired = false;
        }
        float sumX = 0;
        float sumY = 0;
        for (const TouchPoint& p : points) {
            sumX += p.x;
            sumY += p.y;
        }
        const auto count = static_cast<float>(n);
        const TouchPoint centroid{sumX / count, sumY / count};
        if (n != lastCount) {
            // Fingers landing or lifting one after another must not count as travel.
            baseline = centroid;
            maxCount = std::max(maxCount, n);
            lastCount = n;
            return;
        }
        const float dx = centroid.x - baseline.x;
        const float dy = centroid.y - baseline.y;
        maxTravel = std::max(maxTravel, distance(centroid, baseline));
        if (!fired && n >= fewestFingers && n == maxCount &&
            std::max(std::fabs(dx), std::fabs(dy)) > swipeTravel) {
            fired = true;
            TrackpadGesture::Kind kind{};
            if (std::fabs(dy) < std::fabs(dx)) {
                kind =
                    dx > 0 ? TrackpadGesture::Kind::swipeRight : TrackpadGesture::Kind::swipeLeft;
            } else {
                kind = dy > 0 ? TrackpadGesture::Kind::swipeUp : TrackpadGesture::Kind::swipeDown;
            }
            report(kind, n);
        }
        return;
    }
    if (const int64_t fingers = tapOnLift(time); fingers > 0) {
        report(TrackpadGesture::Kind::tap, fingers);
    }
    active = false;
}

int64_t GestureRecognizer::tapOnLift(double time) const {
    const bool tap = active && !fired && maxCount >= fewestFingers &&
                     time - startTime < longestTap && maxTravel < largestTapTravel;
    return tap ? maxCount : 0;
}

}  // namespace ombrel
