// Gesture recognizer: scripted frames in, reported gestures out.
#include "trackpad/gesture_recognizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace ombrel {
namespace {

using Kind = TrackpadGesture::Kind;

struct Frame {
    double time;
    std::vector<TouchPoint> points;
};

// Frames written as "0 0.3: R; 0.32: R L; 0.36: (0.5,0.6) (0.3,0.62); 0.4: 3f+(0.1,0); 0.5: none".
// Several times before a colon give one frame each. "3f" is three fingers in a row at x = 0.3,
// 0.4, … and y = 0.5, moved by the optional "+(dx,dy)"; R = (0.5, 0.5) and L = (0.3, 0.52).
std::vector<Frame> frames(const std::string& script) {
    std::vector<Frame> out;
    const char* s = script.c_str();
    auto skip = [&] {
        while (*s == ' ') {
            ++s;
        }
    };
    auto number = [&] {
        char* end = nullptr;
        const float v = std::strtof(s, &end);
        s = end;
        return v;
    };
    auto pair = [&] {
        ++s;  // (
        const float x = number();
        ++s;  // ,
        const float y = number();
        ++s;  // )
        return TouchPoint{x, y};
    };
    while (*s != '\0') {
        std::vector<double> times;
        for (skip(); *s != ':'; skip()) {
            char* end = nullptr;
            times.push_back(std::strtod(s, &end));
            s = end;
        }
        ++s;
        skip();
        std::vector<TouchPoint> points;
        if (std::strncmp(s, "none", 4) == 0) {
            s += 4;
        } else if (*s >= '1' && *s <= '9') {
            const int n = *s - '0';
            s += 2;  // "3f"
            TouchPoint shift;
            if (*s == '+') {
                ++s;
                shift = pair();
            }
            for (int k = 0; k < n; ++k) {
                points.push_back({static_cast<float>(0.3 + 0.1 * k) + shift.x, 0.5F + shift.y});
            }
        } else {
            for (; *s != ';' && *s != '\0'; skip()) {
                if (*s == 'R') {
                    points.push_back({0.5F, 0.5F});
                    ++s;
                } else if (*s == 'L') {
                    points.push_back({0.3F, 0.52F});
                    ++s;
                } else {
                    points.push_back(pair());
                }
            }
        }
        for (double t : times) {
            out.push_back({t, points});
        }
        skip();
        if (*s == ';') {
            ++s;
        }
    }
    return out;
}

// n fingers at 0, then ten frames 0.02 s apart moving by a tenth of (dx, dy) each, then none at
// 0.3.
std::vector<Frame> swipe(int n, double dx, double dy) {
    std::vector<Frame> out;
    for (int i = 0; i <= 10; ++i) {
        std::vector<TouchPoint> points;
        points.reserve(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k) {
            points.push_back({static_cast<float>(0.3 + 0.1 * k + dx * i / 10),
                              static_cast<float>(0.5 + dy * i / 10)});
        }
        out.push_back({0.02 * i, points});
    }
    out.push_back({0.3, {}});
    return out;
}

const char* name(Kind kind) {
    switch (kind) {
        case Kind::tap:
            return "tap";
        case Kind::swipeUp:
            return "swipeUp";
        case Kind::swipeDown:
            return "swipeDown";
        case Kind::swipeLeft:
            return "swipeLeft";
        case Kind::swipeRight:
            return "swipeRight";
        case Kind::click:
            return "click";
        case Kind::tipTapLeft:
            return "tipTapLeft";
        case Kind::tipTapRight:
            return "tipTapRight";
    }
    return "?";
}

// Feeds frames and writes what was reported as "kind/fingers@time, …".
class Recorder {
  public:
    Recorder() {
        recognizer.onGesture = [this](const TrackpadGesture& g) {
            char at[32];
            std::snprintf(at, sizeof at, "@%g", now_);
            seen_ += (seen_.empty() ? "" : ", ") + std::string(name(g.kind)) + "/" +
                     std::to_string(g.fingers) + at;
        };
    }
    void feed(const std::vector<Frame>& script) {
        for (const Frame& f : script) {
            now_ = f.time;
            recognizer.feed(f.points, f.time);
        }
    }
    [[nodiscard]] const std::string& seen() const { return seen_; }

    GestureRecognizer recognizer;

  private:
    double now_ = 0;
    std::string seen_;
};

std::string run(const std::vector<Frame>& script) {
    Recorder r;
    r.feed(script);
    return r.seen();
}

struct Scenario {
    const char* name;
    std::vector<Frame> frames;
    const char* expected;
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

class Scenarios : public testing::TestWithParam<Scenario> {};

// Expectations without "@time" leave out when each gesture was reported.
std::string withoutTimes(std::string s) {
    for (auto at = s.find('@'); at != std::string::npos; at = s.find('@')) {
        s.erase(at,
                s.find(',', at) == std::string::npos ? std::string::npos : s.find(',', at) - at);
    }
    return s;
}

TEST_P(Scenarios, ReportExactlyTheseGestures) {
    const std::string expected = GetParam().expected;
    const std::string seen = run(GetParam().frames);
    EXPECT_EQ(expected.find('@') == std::string::npos ? withoutTimes(seen) : seen, expected);
}

// Taps and swipes over whole touch sequences.
INSTANTIATE_TEST_SUITE_P(
    TapsAndSwipes, Scenarios,
    testing::Values(
        Scenario{"threeFingerTap", frames("0: 1f; 0.01 0.05: 3f; 0.1: none"), "tap/3@0.1"},
        Scenario{"twoFingerTapIgnored", frames("0 0.05: 2f; 0.1: none"), ""},
        Scenario{"longRestIsNoTap", frames("0 0.3: 4f; 0.6: none"), ""},
        Scenario{"staggeredLiftIsOneTap", frames("0 0.04: 4f; 0.08 0.1: 2f; 0.12: none"),
                 "tap/4@0.12"},
        Scenario{"fingersLandingOneByOne",
                 frames("0: 1f; 0.02: 2f; 0.04: 3f; 0.06: 4f; 0.1: 2f; 0.15: none"), "tap/4@0.15"},
        Scenario{"tapWithoutRepeatedFrame", frames("0: 3f; 0.1: none"), "tap/3@0.1"},
        Scenario{"twoTapsInTwoSequences", frames("0: 3f; 0.1: none; 0.2: 5f; 0.3: none"),
                 "tap/3@0.1, tap/5@0.3"},
        Scenario{"swipeLeft", swipe(3, -0.3, 0.02), "swipeLeft/3"},
        Scenario{"swipeRight", swipe(4, 0.3, 0), "swipeRight/4"},
        Scenario{"swipeUp", swipe(3, 0.01, 0.3), "swipeUp/3"},
        Scenario{"swipeDown", swipe(5, 0, -0.3), "swipeDown/5"},
        Scenario{"twoFingerScroll", swipe(2, 0, 0.4), ""},
        Scenario{"smallDriftIsNeither", swipe(3, 0.08, 0), ""},
        Scenario{"swipeFiresAtFirstFrameBeyondTravel",
                 frames("0: 3f; 0.02: 3f+(0.05,0); 0.04: 3f+(0.1,0); 0.06: 3f+(0.15,0); "
                        "0.08: 3f+(0.3,0); 0.1: none"),
                 "swipeRight/3@0.06"},
        // Four fingers with the moving one last, so that both axes move by exactly 0.2.
        Scenario{"diagonalCountsAsVertical",
                 frames("0: (0,0) (0,0) (0,0) (0,0); 0.02: (0,0) (0,0) (0,0) (0.8,0.8); "
                        "0.1: none; 0.2: (0,0) (0,0) (0,0) (0,0.8); "
                        "0.22: (0,0) (0,0) (0,0) (0.8,0); 0.3: none"),
                 "swipeUp/4@0.02, swipeDown/4@0.22"},
        Scenario{"fewerThanTheMostFingersCannotSwipe",
                 frames("0: 4f; 0.02: 3f; 0.04: 3f+(0.2,0); 0.1: none"), ""},
        Scenario{"travelIsMeasuredFromTheLastCountChange",
                 frames("0: 3f; 0.02: 3f+(0.1,0); 0.04: 4f+(0.1,0); 0.06: 4f+(0.2,0); "
                        "0.08: 4f+(0.25,0); 0.1: none"),
                 "swipeRight/4@0.08"},
        Scenario{"oneSwipePerSequence",
                 frames("0: 3f; 0.02: 3f+(0.2,0); 0.04: 3f+(0.2,0.3); 0.1: none"),
                 "swipeRight/3@0.02"},
        Scenario{"travelAfterALandingSpoilsTheTap",
                 frames("0: 3f; 0.02: 4f; 0.04: 4f+(0.05,0); 0.1: none"), ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Tip-taps: one finger resting, a second one tapping beside it.
INSTANTIATE_TEST_SUITE_P(
    TipTaps, Scenarios,
    testing::Values(
        Scenario{"left", frames("0 0.3: R; 0.32 0.38: R L; 0.4: R; 0.6: none"), "tipTapLeft/2@0.4"},
        Scenario{"right", frames("0 0.3: R; 0.32 0.38: R (0.7,0.52); 0.4: R; 0.6: none"),
                 "tipTapRight/2@0.4"},
        Scenario{"equalXCountsAsRight", frames("0 0.3: R; 0.32: R (0.5,0.58); 0.4: R"),
                 "tipTapRight/2@0.4"},
        Scenario{"secondFingerTooSoon", frames("0: R; 0.02 0.08: R L; 0.1: R; 0.12: none"), ""},
        Scenario{"secondFingerHeldTooLong", frames("0 0.3: R; 0.32 0.9: R L; 0.92: R; 1.0: none"),
                 ""},
        Scenario{"bothFingersMovedAway",
                 frames("0 0.3: R; 0.32: R L; 0.36: (0.5,0.6) (0.3,0.62); 0.4: (0.5,0.7); "
                        "0.5: none"),
                 ""},
        Scenario{"twoFingersLandingTogether", frames("0: R L; 0.1: R; 0.2: none"), ""},
        Scenario{"restingFingerListedSecond", frames("0 0.3: R; 0.32: L R; 0.38: R"),
                 "tipTapLeft/2@0.38"},
        Scenario{"equalDistancesTakeTheFirstAsResting",
                 frames("0 0.3: R; 0.32: (0.25,0.5) (0.75,0.5); 0.38: (0.25,0.5)"),
                 "tipTapRight/2@0.38"},
        Scenario{"tappingFingerStaysDown", frames("0 0.3: R; 0.32: R L; 0.38: L"), ""},
        Scenario{"restDriftsBeforeTheTap",
                 frames("0: (0.1,0.5); 0.1: (0.3,0.5); 0.2: R; 0.25: R (0.7,0.5); 0.3: R"),
                 "tipTapRight/2@0.3"},
        Scenario{"repeatedWithoutNewRest",
                 frames("0 0.3: R; 0.32: R L; 0.38: R; 0.4: R L; 0.45: R; 0.5: R L; 0.55: R; "
                        "0.7: none"),
                 "tipTapLeft/2@0.38, tipTapLeft/2@0.45, tipTapLeft/2@0.55"},
        Scenario{"twoFingerFrameWithoutTipRestartsTheRest",
                 frames("0 0.3: R; 0.32: R L; 0.9: R L; 0.92: R; 0.95: R L; 1.0: R"), ""},
        Scenario{"threeFingersCancelThePendingTip",
                 frames("0 0.3: R; 0.32: R L; 0.34: R L (0.7,0.5); 0.35: R L; 0.36: R"), ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Four fingers all at x = 0, then the same four with the last one at x = 4·v: the centroid moves
// by exactly v (a sum with zeros and a division by four are exact in binary floating point).
std::vector<Frame> centroidMovesBy(float v, double lift) {
    const std::vector<TouchPoint> still = {{0, 0.5F}, {0, 0.5F}, {0, 0.5F}, {0, 0.5F}};
    std::vector<TouchPoint> moved = still;
    moved[3].x = 4 * v;
    return {{0, still}, {0.02, moved}, {lift, {}}};
}

float below(float v) {
    return std::nextafter(v, 0.0F);
}
float above(float v) {
    return std::nextafter(v, 1.0F);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, Scenarios,
    testing::Values(
        Scenario{"swipeTravelOfExactly0_12IsNoSwipe", centroidMovesBy(0.12F, 0.3), ""},
        Scenario{"swipeTravelJustOver0_12", centroidMovesBy(above(0.12F), 0.3),
                 "swipeRight/4@0.02"},
        Scenario{"tapTravelOfExactly0_04IsNoTap", centroidMovesBy(0.04F, 0.1), ""},
        Scenario{"tapTravelJustUnder0_04", centroidMovesBy(below(0.04F), 0.1), "tap/4@0.1"},
        Scenario{"tapLastingExactly0_35IsNoTap", frames("0: 3f; 0.35: none"), ""},
        Scenario{"tapJustUnder0_35", frames("0: 3f; 0.3499: none"), "tap/3@0.3499"},
        Scenario{"restOfExactly0_12", frames("0: R; 0.12: R L; 0.15: R"), "tipTapLeft/2@0.15"},
        Scenario{"restJustUnder0_12", frames("0: R; 0.1199: R L; 0.15: R"), ""},
        // 0.6 − 0.3 is exactly the double nearest 0.3.
        Scenario{"liftExactly0_3AfterTheLanding", frames("0: R; 0.3: R L; 0.6: R"), ""},
        Scenario{"liftJustUnder0_3AfterTheLanding", frames("0: R; 0.3: R L; 0.5999: R"),
                 "tipTapLeft/2@0.5999"},
        // 0.1 − 0.05 is exactly 0.05 in single precision (0.1f is twice 0.05f).
        Scenario{"restingFingerMovedExactly0_05",
                 frames("0: (0.1,0.5); 0.2: (0.1,0.5) (0.3,0.5); 0.25: (0.05,0.5) (0.3,0.5); "
                        "0.3: (0.05,0.5)"),
                 "tipTapRight/2@0.3"},
        Scenario{"restingFingerMovedJustOver0_05",
                 frames("0: (0.1,0.5); 0.2: (0.1,0.5) (0.3,0.5); 0.25: (0.0499999,0.5) "
                        "(0.3,0.5); 0.3: (0.0499999,0.5)"),
                 ""},
        Scenario{"liftExactly0_06FromTheRest",
                 frames("0: (0.12,0.5); 0.2: (0.12,0.5) (0.3,0.5); 0.25: (0.06,0.5)"), ""},
        Scenario{"liftJustUnder0_06FromTheRest",
                 frames("0: (0.12,0.5); 0.2: (0.12,0.5) (0.3,0.5); 0.25: (0.0600001,0.5)"),
                 "tipTapRight/2@0.25"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GestureRecognizerBoundaries, ScriptedValuesHitTheThresholdsExactly) {
    // The boundary scenarios above only mean something if their inputs land on the thresholds.
    EXPECT_EQ(4 * 0.12F / 4, 0.12F);
    EXPECT_EQ(std::sqrt(0.04F * 0.04F), 0.04F);
    EXPECT_EQ(0.6 - 0.3, 0.3);
    EXPECT_EQ(0.1F - 0.05F, 0.05F);
    EXPECT_EQ(0.12F - 0.06F, 0.06F);
    EXPECT_GT(0.1F - 0.0499999F, 0.05F);
    EXPECT_LT(0.12F - 0.0600001F, 0.06F);
}

TEST(GestureRecognizerBoundaries, PendingTipSurvivesBothDownExactly0_3AfterTheLanding) {
    Recorder r;
    r.feed(frames("0: R; 0.3: R L; 0.6: R L"));
    EXPECT_TRUE(r.recognizer.tip.has_value());
    r.feed(frames("0.6000001: R L"));
    EXPECT_FALSE(r.recognizer.tip.has_value());
}

TEST(GestureRecognizerClicks, FingerCountIsTheLatestFrame) {
    Recorder r;
    for (const auto& [script, count] : std::vector<std::pair<const char*, int64_t>>{
             {"0: 3f", 3}, {"0.01: 5f", 5}, {"0.02: 1f", 1}, {"0.03: none", 0}}) {
        r.feed(frames(script));
        EXPECT_EQ(r.recognizer.fingersDown, count) << script;
    }
}

// The engine's side of a handled click: fired set and any pending tip dropped.
void handleClick(GestureRecognizer& g) {
    g.fired = true;
    g.tip.reset();
}

TEST(GestureRecognizerClicks, HandledClickSuppressesTheTapAndTheSwipe) {
    Recorder r;
    r.feed(frames("0: 3f; 0.05: 3f"));
    handleClick(r.recognizer);
    r.feed(frames("0.1: 3f+(0.3,0); 0.15: none"));
    EXPECT_EQ(r.seen(), "");
    // The next sequence is not affected.
    r.feed(frames("0.5: 3f; 0.55: none"));
    EXPECT_EQ(r.seen(), "tap/3@0.55");
}

TEST(GestureRecognizerClicks, HandledClickSuppressesThePendingTipTap) {
    Recorder r;
    r.feed(frames("0 0.3: R; 0.32: R L"));
    handleClick(r.recognizer);
    r.feed(frames("0.38: R; 0.6: none"));
    EXPECT_EQ(r.seen(), "");
}

TEST(GestureRecognizerCallback, GesturesAreRecognisedWithoutACallback) {
    GestureRecognizer g;
    for (const Frame& f : frames("0: 3f; 0.02: 3f+(0.2,0)")) {
        g.feed(f.points, f.time);
    }
    EXPECT_TRUE(g.fired);
    g.feed({}, 0.1);
    EXPECT_FALSE(g.active);
}

}  // namespace
}  // namespace ombrel
