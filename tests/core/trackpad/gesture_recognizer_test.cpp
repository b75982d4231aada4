// Gesture recognizer: scripted frames in, reported gestures out.
#include "trackpad/gesture_recognizer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "config/model.h"

namespace ombrel {
namespace {

struct Frame {
    double time;
    std::vector<TouchPoint> points;
};

// Frames written as "0 0.3: R; 0.32: R L; 0.36: (0.5,0.6) O; 0.4: 3f+(0.1,0); 0.5: none".
// Several times before a colon give one frame each. "3f" is three fingers in a row at x = 0.3,
// 0.4, … and y = 0.5, moved by the optional "+(dx,dy)"; R, L and O stand for (0.5, 0.5),
// (0.3, 0.52) and (0, 0).
std::vector<Frame> frames(const char* s) {
    auto pair = [&s] {  // "(x,y)"
        char* end = nullptr;
        const float x = std::strtof(s + 1, &end);
        const float y = std::strtof(end + 1, &end);
        s = end + 1;
        return TouchPoint{x, y};
    };
    std::vector<Frame> out;
    while (*s != '\0') {
        std::vector<double> times;
        for (char* end = nullptr; *s != ':' && *s != '\0'; s = end > s ? end : s + 1) {
            times.push_back(std::strtod(s, &end));
        }
        std::vector<TouchPoint> points;
        for (s += *s == ':' ? 1 : 0; *s != ';' && *s != '\0';) {
            if (*s == 'R' || *s == 'L' || *s == 'O') {
                const char c = *s++;
                points.push_back(c == 'R'   ? TouchPoint{0.5F, 0.5F}
                                 : c == 'L' ? TouchPoint{0.3F, 0.52F}
                                            : TouchPoint{});
            } else if (*s == '(') {
                points.push_back(pair());
            } else if (*s >= '1' && *s <= '9' && s[1] == 'f') {
                const int n = *s - '0';
                const TouchPoint d = *(s += 2) == '+' ? (++s, pair()) : TouchPoint{};
                for (int k = 0; k < n; ++k) {
                    points.push_back({static_cast<float>(0.3 + 0.1 * k) + d.x, 0.5F + d.y});
                }
            } else {
                ++s;  // spaces and "none"
            }
        }
        s += *s == ';' ? 1 : 0;
        for (double t : times) {
            out.push_back({t, points});
        }
    }
    return out;
}

// Feeds the frames and lists what was reported as "kind/fingers@time, …".
std::string feed(GestureRecognizer& g, const std::vector<Frame>& script) {
    std::string seen;
    for (const Frame& f : script) {
        if (const std::optional<TrackpadGesture> k = g.feed(f.points, f.time)) {
            char at[24];
            std::snprintf(at, sizeof at, "@%g", f.time);
            seen += (seen.empty() ? "" : ", ") + std::string(rawValue(k->kind)) + "/" +
                    std::to_string(k->fingers) + at;
        }
    }
    return seen;
}

TEST(GestureRecognizer, ReportsExactlyTheseGestures) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        // Taps over whole touch sequences.
        {"0: 1f; 0.02: 2f; 0.04: 3f; 0.06: 4f; 0.1: 2f; 0.15: none", "tap/4@0.15"},
        {"0: 3f; 0.1: none; 0.2: 5f; 0.3: none", "tap/3@0.1, tap/5@0.3"},
        {"0: 3f; 0.02: 4f; 0.04: 4f+(0.05,0); 0.1: none", ""},
        {"0: 3f; 0.02: 3f+(0.05,0); 0.04: 3f; 0.1: none", ""},
        // Swipes fire once, at the first frame beyond the travel, with the most fingers only.
        {"0: 3f; 0.02: 3f+(-0.3,0.02); 0.1: none", "swipeLeft/3@0.02"},
        {"0: 4f; 0.02: 4f+(0.3,0); 0.1: none", "swipeRight/4@0.02"},
        {"0: 3f; 0.02: 3f+(0.01,0.3); 0.1: none", "swipeUp/3@0.02"},
        {"0: 5f; 0.02: 5f+(0,-0.3); 0.1: none", "swipeDown/5@0.02"},
        {"0: 3f; 0.02: 3f+(0.05,0); 0.04: 3f+(0.1,0); 0.06: 3f+(0.15,0); 0.08: 3f+(0.3,0)",
         "swipeRight/3@0.06"},
        {"0: 3f; 0.02: 3f+(0.2,0); 0.04: 3f+(0.2,0.3); 0.1: none", "swipeRight/3@0.02"},
        {"0: 4f; 0.02: 3f; 0.04: 3f+(0.2,0); 0.1: none", ""},
        {"0: 3f; 0.02: 3f+(0.1,0); 0.04: 4f+(0.1,0); 0.06: 4f+(0.2,0); 0.08: 4f+(0.25,0)",
         "swipeRight/4@0.08"},
        // A diagonal counts as vertical: the last of four fingers moves both axes by exactly 0.2.
        {"0: O O O O; 0.02: O O O (0.8,0.8); 0.1: none; 0.2: O O O (0,0.8); 0.22: O O O (0.8,0)",
         "swipeUp/4@0.02, swipeDown/4@0.22"},
        // Tip-taps: one finger resting, a second one tapping beside it.
        {"0 0.3: R; 0.32 0.38: R L; 0.4: R; 0.6: none", "tipTapLeft/2@0.4"},
        {"0 0.3: R; 0.32: R (0.5,0.58); 0.4: R", "tipTapRight/2@0.4"},
        {"0: R L; 0.1: R; 0.2: none", ""},
        {"0 0.3: R; 0.32: L R; 0.38: R", "tipTapLeft/2@0.38"},
        {"0 0.3: R; 0.32: (0.25,0.5) (0.75,0.5); 0.38: (0.25,0.5)", "tipTapRight/2@0.38"},
        {"0 0.3: R; 0.32: R L; 0.38: L", ""},
        {"0 0.3: R; 0.32: R L; 0.36: R (0.3,0.6); 0.38: R", ""},
        {"0: (0.1,0.5); 0.1: (0.3,0.5); 0.2: R; 0.25: R (0.7,0.5); 0.3: R", "tipTapRight/2@0.3"},
        {"0 0.3: R; 0.32: R L; 0.38: R; 0.4: R L; 0.45: R; 0.5: R L; 0.55: R",
         "tipTapLeft/2@0.38, tipTapLeft/2@0.45, tipTapLeft/2@0.55"},
        {"0 0.3: R; 0.32: R L; 0.9: R L; 0.92: R; 0.95: R L; 1.0: R", ""},
        {"0 0.3: R; 0.32: R L; 0.34: R L (0.7,0.5); 0.35: R L; 0.36: R", ""},
        // Thresholds met exactly, and just missed. With the last of four fingers at 4v the
        // centroid moves by exactly v; 0.6 - 0.3, 0.1f - 0.05f and 0.12f - 0.06f are exact.
        {"0: O O O O; 0.02: O O O (0.48,0); 0.3: none", ""},
        {"0: O O O O; 0.02: O O O (0.480000019,0); 0.3: none", "swipeRight/4@0.02"},
        {"0: O O O O; 0.02: O O O (0.16,0); 0.1: none", ""},
        {"0: O O O O; 0.02: O O O (0.159999982,0); 0.1: none", "tap/4@0.1"},
        {"0: 3f; 0.35: none", ""},
        {"0: 3f; 0.3499: none", "tap/3@0.3499"},
        {"0: R; 0.12: R L; 0.15: R", "tipTapLeft/2@0.15"},
        {"0: R; 0.1199: R L; 0.15: R", ""},
        {"0: R; 0.3: R L; 0.6: R", ""},
        {"0: R; 0.3: R L; 0.5999: R", "tipTapLeft/2@0.5999"},
        {"0: (0.1,0); 0.2: (0.1,0) (0.3,0); 0.25: (0.05,0) (0.3,0); 0.3: (0.05,0)",
         "tipTapRight/2@0.3"},
        {"0: (0.1,0); 0.2: (0.1,0) (0.3,0); 0.25: (0.0499999,0) (0.3,0); 0.3: (0.0499999,0)", ""},
        {"0: (0.12,0); 0.2: (0.12,0) (0.3,0); 0.25: (0.06,0)", ""},
        {"0: (0.12,0); 0.2: (0.12,0) (0.3,0); 0.25: (0.0600001,0)", "tipTapRight/2@0.25"},
    };
    for (const auto& [script, expected] : cases) {
        GestureRecognizer g;
        EXPECT_EQ(feed(g, frames(script)), expected) << script;
        // Without a callback the frames are taken all the same.
        GestureRecognizer silent;
        for (const Frame& f : frames(script)) {
            silent.feed(f.points, f.time);
        }
    }
}

TEST(GestureRecognizer, PendingTipSurvivesBothDownExactly0_3AfterTheLanding) {
    GestureRecognizer g;
    feed(g, frames("0: R; 0.3: R L; 0.6: R L"));
    EXPECT_TRUE(g.tipPending());
    feed(g, frames("0.6000001: R L"));
    EXPECT_FALSE(g.tipPending());
}

// A sequence handled as a click reports nothing more, a pending tip-tap included.
TEST(GestureRecognizer, HandledClickSuppressesTheTapTheSwipeAndThePendingTip) {
    for (const auto& [before, fingers, after] :
         std::vector<std::tuple<const char*, int64_t, const char*>>{
             {"0: 3f; 0.05: 3f", 3, "0.1: 3f+(0.3,0); 0.15: none"},
             {"0: 3f; 0.05: 3f", 3, "0.15: none"},
             {"0 0.3: R; 0.32: R L", 2, "0.38: R; 0.6: none"}}) {
        GestureRecognizer g;
        feed(g, frames(before));
        EXPECT_EQ(g.fingersDown(), fingers);  // what the engine reports the click with
        g.handledAsClick();
        EXPECT_EQ(feed(g, frames(after)), "") << after;
        EXPECT_EQ(feed(g, frames("1: 3f; 1.05: none")), "tap/3@1.05") << "the next sequence";
    }
}

}  // namespace
}  // namespace ombrel
