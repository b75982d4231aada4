// Drag-to-snap as event tables: each step feeds one input and says what holds after it.
#include <gtest/gtest.h>

#include "engine/drag_snapper.h"
#include "event_words.h"
#include "fakes/fake_platform.h"

namespace ombrel {
namespace {

// One display (0,0,1440,900) usable from y 25; window 1 focused at (300,300,400,300). Inputs are
// left-button events (event_words.h) and: cancel | snap off | focus none | window x,y,w,h |
// window unreadable (window 1 changed by its application). What holds: the state, then
// "preview x,y,w,h" while one is shown, "snap x,y,w,h" for what a release answered.
struct Rig {
    std::string operator()(const std::vector<std::string>& w) {
        std::optional<DragSnapper::Snap> snap;
        const auto e = test::eventOf(w);
        const auto n = [&w](std::size_t i) { return std::stod(w.at(i)); };
        if (e && e->kind == InputKind::leftDown) {
            snapper.press(e->location);
        } else if (e && e->kind == InputKind::leftDragged) {
            snapper.drag(e->location, e->time, enabled);
        } else if (e) {
            snap = snapper.release();
        } else if (w[0] == "cancel") {
            snapper.cancel();
        } else if (w[0] == "focus") {
            windowSystem.focused.reset();
        } else if (w[0] == "snap" || w.at(1) == "unreadable") {
            (w[0] == "snap" ? enabled : windowSystem.windows.at(1).readable) = false;
        } else {
            windowSystem.windows.at(1).frame = {n(1), n(2), n(3), n(4)};
        }
        const auto text = [](const Rect& r) {
            std::ostringstream out;
            out << r.x << ',' << r.y << ',' << r.width << ',' << r.height;
            return out.str();
        };
        const char* const names[] = {"idle", "armed", "probing", "moving", "ignored"};
        return names[static_cast<int>(snapper.state())] +
               (overlay.shown ? " preview " + text(*overlay.shown) : "") +
               (snap ? " snap " + text(snap->frame) : "");
    }

    fake::FakeWindowSystem windowSystem = [] {
        fake::FakeWindowSystem s;
        s.displays = {Screen{{0, 0, 1440, 900}, {0, 25, 1440, 875}}};
        s.open(1, {300, 300, 400, 300});
        return s;
    }();
    WindowManager windows{windowSystem};
    fake::FakeSnapOverlay overlay;
    DragSnapper snapper{windows, overlay};
    bool enabled = true;
};

// Press, arm, probe, see the window move: the drag is a window move from here on, and the left
// edge previews the left half.
const std::string moving =
    "leftDown 400,310 => armed; drag 420,320 @0 => probing; window 320,310,400,300; "
    "drag 440,330 @0.05 => moving; drag 0,450 @0.06 => moving preview 0,25,720,875; ";

TEST(DragSnapper, Table) {
    const std::pair<const char*, std::string> scenarios[] = {
        {"LeftEdgeSnapsToTheLeftHalf", moving + "leftUp => idle snap 0,25,720,875"},
        {"PreviewFollowsTheZone", moving + "drag 1439,20 @0.07 => moving preview 720,25,720,438; "
                                           "drag 700,1 @0.08 => moving preview 0,25,1440,875; "
                                           "leftUp => idle snap 0,25,1440,875"},
        {"LeavingTheZoneSnapsNothing", moving + "drag 700,450 @0.07 => moving; leftUp => idle"},
        {"PressWithoutReleaseStartsOver", moving + "leftDown 500,500 => armed; leftUp => idle"},
        {"ADragTakenForAClickSnapsNothing", moving + "cancel => idle; leftUp => idle"},
        {"DragOfEightPointsOrLessNeverProbes",
         "leftDown 400,310; drag 408,310 => armed; drag 400,318 => armed; "
         "drag 405.7,315.7 => probing"},
        {"ResizeIsIgnoredForTheRestOfTheDrag",
         "leftDown 400,310; drag 420,320; window 290,300,410,300; drag 440,330 @0.05 => ignored; "
         "window 290,300,400,300; drag 0,450 @0.1 => ignored; leftUp => idle"},
        {"UnmovedWindowIsGivenUpAfterTheProbePeriod",
         "leftDown 400,310; drag 420,320; drag 430,320 @1.0 => probing; "
         "drag 440,320 @1.49 => probing; drag 450,320 @1.54 => ignored; "
         "window 320,310,400,300; drag 460,320 @1.6 => ignored"},
        {"ProbesAtMostOncePerInterval",
         "leftDown 400,310; drag 420,320; window 320,310,400,300; drag 430,320 @0.03 => probing; "
         "drag 440,320 @0.05 => moving"},
        {"SnapOffStaysArmed",
         "snap off; leftDown 400,310; drag 420,320; window 320,310,400,300; "
         "drag 0,450 @0.05 => armed; leftUp => idle"},
        {"UnreadableOrNoFocusedWindowIgnoresTheDrag",
         "leftDown 400,310; drag 420,320 => probing; window unreadable; drag 430,320 @0.05 => "
         "ignored; leftUp; focus none; leftDown 400,310; drag 420,320 @0.1 => ignored"},
    };
    for (const auto& [name, script] : scenarios) {
        SCOPED_TRACE(name);
        Rig rig;
        test::playTable(script, rig);
    }
}

}  // namespace
}  // namespace ombrel
