// Drawing capture as event tables: each step feeds one input and says what holds after it.
#include <gtest/gtest.h>

#include "engine/stroke_capture.h"
#include "event_words.h"
#include "fakes/fake_platform.h"

namespace ombrel {
namespace {

// The draw modifiers are control+option. Inputs are events (event_words.h): flags starts or ends
// a stroke ("own" there stands for no drawing rule that may fire), move follows the pointer, a
// key drops the stroke. What holds: "drawing" or "idle", then "ended n" when the step ended a
// stroke of n points, then "shown x,y x,y ..." while the overlay shows a path.
TEST(StrokeCapture, Table) {
    const std::pair<const char*, const char*> scenarios[] = {
        {"OnlyTheExactDrawModifiersStart",
         "flags ctrl+opt+shift 1,1 => idle; flags ctrl 1,1 => idle; flags ctrl+opt 1,1 own => "
         "idle; flags ctrl+opt 1,1 => drawing; flags ctrl+opt 1,1 => drawing; "
         "flags ctrl 1,1 => idle ended 1"},
        {"JitterIsDroppedAndTheOverlayAppearsPastTwelvePoints",
         "flags ctrl+opt 100,100; move 102,102; move 103,100; move 104,100; move 108,100; "
         "move 110,101; move 112,100 => drawing; move 116,100; "
         "move 120,100 => drawing shown 100,100 104,100 108,100 112,100 116,100 120,100; "
         "flags ctrl+opt+shift 120,100 => idle ended 6"},
        {"AKeyDropsTheStroke",
         "flags ctrl+opt 0,0; move 20,0 => drawing shown 0,0 20,0; keyDown 1 => idle; "
         "flags none 20,0 => idle; move 40,0 => idle"},
        {"ANewStrokeStartsAfresh",
         "flags ctrl+opt 0,0; move 20,0; flags none 0,0 => idle ended 2; flags ctrl+opt 5,5; "
         "flags none 5,5 => idle ended 1"},
    };
    for (const auto& [name, script] : scenarios) {
        SCOPED_TRACE(name);
        fake::FakeStrokeOverlay overlay;
        StrokeCapture capture(overlay);
        test::playTable(script, [&](const std::vector<std::string>& w) {
            const InputEvent e = *test::eventOf(w);
            bool ended = false;
            if (e.kind == InputKind::modifiersChanged) {
                ended = capture.modifiers(e.mods, e.location, Mods(Mods::control | Mods::option),
                                          !e.own);
            } else if (e.kind == InputKind::pointerMoved) {
                capture.move(e.location);
            } else {
                capture.cancel();
            }
            std::ostringstream holds;
            holds << (capture.drawing() ? "drawing" : "idle");
            if (ended) {
                holds << " ended " << capture.points().size();
            }
            if (overlay.visible) {
                holds << " shown";
                for (const Point& q : overlay.path) {
                    holds << ' ' << q.x << ',' << q.y;
                }
            }
            return holds.str();
        });
    }
}

}  // namespace
}  // namespace ombrel
