// The built-in checks of the recognisers and the window geometry, run by --selftest.
#include "app/selftest_checks.h"

#include <cmath>
#include <initializer_list>
#include <numbers>
#include <optional>
#include <vector>

#include "config/model.h"
#include "drawing/shape_matcher.h"
#include "placement/snap_zone.h"
#include "placement/target_frames.h"
#include "trackpad/gesture_recognizer.h"

namespace ombrel::selftest {
namespace {

using Kind = TrackpadGesture::Kind;

// ---- Gestures --------------------------------------------------------------------------------

struct Frame {
    double time;
    std::vector<TouchPoint> points;
};

// n fingers in a row at x = 0.3, 0.4, … and y = 0.5, moved by (dx, dy).
std::vector<TouchPoint> fingers(int n, double dx = 0, double dy = 0) {
    std::vector<TouchPoint> points;
    points.reserve(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        points.push_back({static_cast<float>(0.3 + 0.1 * k + dx), static_cast<float>(0.5 + dy)});
    }
    return points;
}

std::vector<TrackpadGesture> run(const std::vector<Frame>& frames) {
    GestureRecognizer recognizer;
    std::vector<TrackpadGesture> seen;
    for (const Frame& f : frames) {
        if (const std::optional<TrackpadGesture> g = recognizer.feed(f.points, f.time)) {
            seen.push_back(*g);
        }
    }
    return seen;
}

bool expect(const std::vector<Frame>& frames, std::initializer_list<TrackpadGesture> expected) {
    return run(frames) == std::vector<TrackpadGesture>(expected);
}

// n fingers at 0, then ten frames 0.02 s apart moving by a tenth of (dx, dy) each, then none.
std::vector<Frame> swipe(int n, double dx, double dy) {
    std::vector<Frame> frames{{0, fingers(n)}};
    for (int i = 1; i <= 10; ++i) {
        frames.push_back({0.02 * i, fingers(n, dx * i / 10, dy * i / 10)});
    }
    frames.push_back({0.3, {}});
    return frames;
}

constexpr TouchPoint R{0.5F, 0.5F};
constexpr TouchPoint L{0.3F, 0.52F};

std::vector<Frame> tipTap(TouchPoint other) {
    return {{0, {R}}, {0.3, {R}}, {0.32, {R, other}}, {0.38, {R, other}}, {0.4, {R}}, {0.6, {}}};
}

bool threeFingerTap() {
    return expect({{0, fingers(1)}, {0.01, fingers(3)}, {0.05, fingers(3)}, {0.1, {}}},
                  {{Kind::tap, 3}});
}
bool twoFingerTapIgnored() {
    return expect({{0, fingers(2)}, {0.05, fingers(2)}, {0.1, {}}}, {});
}
bool longRestIsNotATap() {
    return expect({{0, fingers(4)}, {0.3, fingers(4)}, {0.6, {}}}, {});
}
bool staggeredLift() {
    return expect(
        {{0, fingers(4)}, {0.04, fingers(4)}, {0.08, fingers(2)}, {0.1, fingers(2)}, {0.12, {}}},
        {{Kind::tap, 4}});
}
bool swipeLeft() {
    return expect(swipe(3, -0.3, 0.02), {{Kind::swipeLeft, 3}});
}
bool swipeRight() {
    return expect(swipe(4, 0.3, 0), {{Kind::swipeRight, 4}});
}
bool swipeUp() {
    return expect(swipe(3, 0.01, 0.3), {{Kind::swipeUp, 3}});
}
bool swipeDown() {
    return expect(swipe(5, 0, -0.3), {{Kind::swipeDown, 5}});
}
bool twoFingerScroll() {
    return expect(swipe(2, 0, 0.4), {});
}
bool smallDrift() {
    return expect(swipe(3, 0.08, 0), {});
}
bool tipTapLeft() {
    return expect(tipTap(L), {{Kind::tipTapLeft, 2}});
}
bool tipTapRight() {
    return expect(tipTap({0.7F, 0.52F}), {{Kind::tipTapRight, 2}});
}
bool plainTwoFingerTap() {
    return expect({{0, {R}}, {0.02, {R, L}}, {0.08, {R, L}}, {0.1, {R}}, {0.12, {}}}, {});
}
bool heldSecondFinger() {
    return expect({{0, {R}}, {0.3, {R}}, {0.32, {R, L}}, {0.9, {R, L}}, {0.92, {R}}, {1.0, {}}},
                  {});
}
bool scrollAfterRest() {
    return expect({{0, {R}},
                   {0.3, {R}},
                   {0.32, {R, L}},
                   {0.36, {{0.5F, 0.6F}, {0.3F, 0.62F}}},
                   {0.4, {{0.5F, 0.7F}}},
                   {0.5, {}}},
                  {});
}

// ---- Drawings --------------------------------------------------------------------------------

constexpr double pi = std::numbers::pi;

// 41 points around (500, 400); the radius may vary with the index, the direction is ±1.
std::vector<Pt> circle(double (*radius)(int), double direction) {
    std::vector<Pt> points;
    for (int i = 0; i <= 40; ++i) {
        const double angle = direction * 2 * pi * i / 40;
        points.push_back({500 + radius(i) * std::cos(angle), 400 + radius(i) * std::sin(angle)});
    }
    return points;
}

std::vector<Pt> letterL() {
    std::vector<Pt> points;
    for (int y = 100; y <= 300; y += 20) {
        points.push_back({200, static_cast<double>(y)});
    }
    for (int x = 220; x <= 400; x += 20) {
        points.push_back({static_cast<double>(x), 300});
    }
    return points;
}

std::vector<Drawing> storedDrawings() {
    return {{"circle", ShapeMatcher::normalize(circle([](int) { return 100.0; }, 1))},
            {"L", ShapeMatcher::normalize(letterL())}};
}

bool matchesName(const std::vector<Pt>& stroke, std::optional<std::string_view> name) {
    const auto drawings = storedDrawings();
    const auto found = ShapeMatcher::match(stroke, drawings);
    if (!name) {
        return !found;
    }
    return found && found->name == *name;
}

bool wobblyCircle() {
    return matchesName(circle([](int i) { return 60 + 6 * std::sin(1.7 * i); }, 1), "circle");
}
bool stretchedL() {
    auto points = letterL();
    for (Pt& p : points) {
        p = {1.5 * p.x + 9, 1.4 * p.y};
    }
    return matchesName(points, "L");
}
bool lineMatchesNothing() {
    std::vector<Pt> points;
    for (int k = 0; k <= 20; ++k) {
        points.push_back({100.0 + 15 * k, 300.0 + k});
    }
    return matchesName(points, std::nullopt);
}
bool reversedCircle() {
    return matchesName(circle([](int) { return 100.0; }, -1), std::nullopt);
}
bool tinyStroke() {
    return matchesName(circle([](int) { return 5.0; }, 1), std::nullopt);
}

// ---- Window frames ---------------------------------------------------------------------------

constexpr Rect visibleFrame{0, 25, 1440, 800};

bool frameIs(WindowAction action, Rect current, Rect expected) {
    return targetFrame(action, visibleFrame, current) == expected;
}

bool leftHalf() {
    return frameIs(WindowAction::leftHalf, {}, {0, 25, 720, 800});
}
bool bottomRight() {
    return frameIs(WindowAction::bottomRight, {}, {720, 425, 720, 400});
}
bool maximize() {
    return frameIs(WindowAction::maximize, {}, {0, 25, 1440, 800});
}
bool center() {
    return frameIs(WindowAction::center, {10, 40, 600, 400}, {420, 225, 600, 400});
}
bool rightThird() {
    return frameIs(WindowAction::rightThird, {}, {960, 25, 480, 800});
}

// ---- Snap zones ------------------------------------------------------------------------------

constexpr Rect display{0, 0, 1440, 900};

bool zoneIs(Point p, std::optional<WindowAction> expected) {
    return snapZone(p, display) == expected;
}

bool snapLeft() {
    return zoneIs({0, 450}, WindowAction::leftHalf);
}
bool snapTopRight() {
    return zoneIs({1439, 20}, WindowAction::topRight);
}
bool snapBottomLeft() {
    return zoneIs({2, 880}, WindowAction::bottomLeft);
}
bool snapTop() {
    return zoneIs({700, 1}, WindowAction::maximize);
}
bool noSnapMidScreen() {
    return zoneIs({700, 450}, std::nullopt);
}

}  // namespace

const std::array<CoreCheck, 30> coreChecks = {{
    {1, "3-finger tap", threeFingerTap},
    {2, "2-finger tap ignored", twoFingerTapIgnored},
    {3, "long rest is not a tap", longRestIsNotATap},
    {4, "staggered lift still one tap", staggeredLift},
    {5, "swipe left", swipeLeft},
    {6, "swipe right", swipeRight},
    {7, "swipe up", swipeUp},
    {8, "swipe down", swipeDown},
    {9, "2-finger scroll ignored", twoFingerScroll},
    {10, "small drift is neither", smallDrift},
    {11, "tip-tap left", tipTapLeft},
    {12, "tip-tap right", tipTapRight},
    {13, "plain 2-finger tap is not a tip-tap", plainTwoFingerTap},
    {14, "held second finger is not a tip-tap", heldSecondFinger},
    {15, "2-finger scroll after rest is not a tip-tap", scrollAfterRest},
    {16, "drawing: wobbly small circle matches", wobblyCircle},
    {17, "drawing: L matches", stretchedL},
    {18, "drawing: line matches nothing", lineMatchesNothing},
    {19, "drawing: reversed circle matches nothing", reversedCircle},
    {20, "drawing: tiny stroke ignored", tinyStroke},
    {22, "left half", leftHalf},
    {23, "bottom right", bottomRight},
    {24, "maximize", maximize},
    {25, "center", center},
    {26, "right third", rightThird},
    {27, "snap left", snapLeft},
    {28, "snap top-right", snapTopRight},
    {29, "snap bottom-left", snapBottomLeft},
    {30, "snap top", snapTop},
    {31, "no snap mid-screen", noSnapMidScreen},
}};

}  // namespace ombrel::selftest
