// Gesture recognizer: scripted frames in, reported gestures out.
#include "trackpad/gesture_recognizer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "config/model.h"

namespace ombrel {
namespace {

// Frames written "0 0.3: R; 0.32: R L; 0.36: 0.5/0.6 O; 0.4: 3f+0.1/0; 0.5: none; click" through
// a fresh recognizer: several times before a colon give one frame each; x/y is a finger at x, y;
// "3f" is three fingers in a row at x = 0.3, 0.4, ... and y = 0.5, moved by the optional
// "+dx/dy"; R, L and O stand for 0.5/0.5, 0.3/0.52 and 0/0. "click" tells the recognizer that
// the sequence was handled as a click. Each script must report exactly this, "kind/fingers@time,
// ...", and "click/<fingers down>" for each click.
TEST(GestureRecognizer, ReportsExactlyTheseGestures) {
    const std::pair<const char*, const char*> cases[] = {
        // Taps over whole touch sequences: fingers landing one after another are no travel, and
        // travel is the most the fingers went away.
        {"0: 1f; 0.02: 2f; 0.04: 3f; 0.06: 4f; 0.1: 2f; 0.15: none", "tap/4@0.15"},
        {"0: 3f; 0.02: 3f+0.05/0; 0.04: 3f; 0.1: none", ""},
        // Swipes fire once, at the first frame beyond the travel, with the most fingers only.
        {"0: 3f; 0.02: 3f+-0.3/0.02; 0.1: none", "swipeLeft/3@0.02"},
        {"0: 3f; 0.02: 3f+0.01/0.3; 0.1: none", "swipeUp/3@0.02"},
        {"0: 5f; 0.02: 5f+0/-0.3; 0.1: none", "swipeDown/5@0.02"},
        {"0: 3f; 0.02: 3f+0.05/0; 0.04: 3f+0.1/0; 0.06: 3f+0.15/0; 0.08: 3f+0.3/0",
         "swipeRight/3@0.06"},
        {"0: 4f; 0.02: 3f; 0.04: 3f+0.2/0; 0.1: none", ""},
        // A diagonal counts as vertical: the last of four fingers moves both axes by exactly 0.2.
        {"0: O O O O; 0.02: O O O 0.8/0.8; 0.1: none; 0.2: O O O 0/0.8; 0.22: O O O 0.8/0",
         "swipeUp/4@0.02, swipeDown/4@0.22"},
        // Tip-taps: one finger resting, a second one tapping beside it; the finger nearer to the
        // rest is the resting one, a third finger or one moving ends the tip.
        {"0 0.3: R; 0.32 0.38: R L; 0.4: R; 0.6: none", "tipTapLeft/2@0.4"},
        {"0: R L; 0.1: R; 0.2: none", ""},
        {"0 0.3: R; 0.32: L R; 0.38: R", "tipTapLeft/2@0.38"},
        {"0 0.3: R; 0.32: R L; 0.38: L", ""},
        {"0 0.3: R; 0.32: R L; 0.36: R 0.3/0.6; 0.38: R", ""},
        {"0 0.3: R; 0.32: R L; 0.34: R L 0.7/0.5; 0.35: R L; 0.36: R", ""},
        {"0 0.3: R; 0.32: R L; 0.38: R; 0.4: R L; 0.45: R; 0.5: R L; 0.55: R",
         "tipTapLeft/2@0.38, tipTapLeft/2@0.45, tipTapLeft/2@0.55"},
        // A tip still pending as it lifts keeps the rest going: both fingers down exactly 0.3 s
        // after the landing keep it pending.
        {"0: R; 0.3: R L; 0.6: R L; 0.61: R; 0.62: R L; 0.65: R", "tipTapLeft/2@0.65"},
        // Thresholds met exactly. With the last of four fingers at 4v the centroid moves by
        // exactly v; 0.6 - 0.3, 0.1f - 0.05f and 0.12f - 0.06f are exact.
        {"0: O O O O; 0.02: O O O 0.48/0; 0.3: none", ""},
        {"0: O O O O; 0.02: O O O 0.16/0; 0.1: none", ""},
        {"0: 3f; 0.35: none", ""},
        {"0: R; 0.12: R L; 0.15: R", "tipTapLeft/2@0.15"},
        {"0: R; 0.3: R L; 0.6: R", ""},
        {"0: 0.1/0; 0.2: 0.1/0 0.3/0; 0.25: 0.05/0 0.3/0; 0.3: 0.05/0", "tipTapRight/2@0.3"},
        {"0: 0.12/0; 0.2: 0.12/0 0.3/0; 0.25: 0.06/0", ""},
        // A sequence handled as a click reports nothing more, a pending tip-tap included; the
        // next sequence does.
        {"0: 3f; 0.05: 3f; click; 0.1: 3f+0.3/0; 0.15: none; 1: 3f; 1.05: none",
         "click/3, tap/3@1.05"},
        {"0 0.3: R; 0.32: R L; click; 0.38: R; 0.6: none", "click/2"},
    };
    for (const auto& [script, expected] : cases) {
        GestureRecognizer g;
        std::string seen;
        const auto note = [&seen](const std::string& what) {
            seen += (seen.empty() ? "" : ", ") + what;
        };
        std::istringstream frames(script);
        for (std::string frame; std::getline(frames, frame, ';');) {
            const std::size_t colon = frame.find(':');
            if (colon == std::string::npos) {
                g.handledAsClick();
                note("click/" + std::to_string(g.fingersDown()));
                continue;
            }
            std::vector<TouchPoint> points;
            std::istringstream in(frame.substr(colon + 1));
            for (std::string p; in >> p && p != "none";) {
                const bool row = p.size() > 1 && p[1] == 'f';
                const std::string xy = p == "R"                    ? "0.5/0.5"
                                       : p == "L"                  ? "0.3/0.52"
                                       : p == "O" || p.size() == 2 ? "0/0"
                                       : row                       ? p.substr(3)
                                                                   : p;
                const TouchPoint at{std::stof(xy), std::stof(xy.substr(xy.find('/') + 1))};
                for (int k = 0; k < (row ? p[0] - '0' : 1); ++k) {
                    points.push_back(
                        row ? TouchPoint{static_cast<float>(0.3 + 0.1 * k) + at.x, 0.5F + at.y}
                            : at);
                }
            }
            std::istringstream times(frame.substr(0, colon));
            for (std::string t; times >> t;) {
                if (const std::optional<TrackpadGesture> k = g.feed(points, std::stod(t))) {
                    note(std::string(rawValue(k->kind)) + "/" + std::to_string(k->fingers) + "@" +
                         t);
                }
            }
        }
        EXPECT_EQ(seen, expected) << script;
    }
}

}  // namespace
}  // namespace ombrel
