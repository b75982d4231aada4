// The whole input path on a real X server: the user's keyboard and mouse, xdotool and the
// program's own posted events, and what the focused window and another client's media-key grab
// receive, with the keyboard and the pointer free again at the end of every script.
#include "input_scripts.h"

#include "platform/linux/x_event_tap.h"

#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

namespace ombrel::platform_test {
namespace {

TEST_F(InputScripts, WhatIsSwallowedFiredAndPassedOnAndNothingStaysFrozenOrHeld) {
    // What happens, the script, what the window and the grabber received, where the window is.
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"a bound shortcut held, its repeats swallowed", "+ctrl +alt +Left w400 -Left -alt -ctrl",
         "", "left"},
        {"caps lock, num lock and AltGr do not matter",
         "+caps -caps +num -num +altgr +ctrl +alt +Left -Left -alt -ctrl -altgr "
         "+caps -caps +num -num",
         "", "left"},
        {"other modifiers than bound", "+ctrl +Left -Left -ctrl", "ctrl+Left", "start"},
        {"a key grabbed whole passes its unbound mixes", "+Down -Down +alt +Down -Down -alt",
         "Down alt+Down", "start"},
        {"and fires its bound ones, with AltGr too",
         "+altgr +ctrl +alt +Down w120 -Down -alt -ctrl -altgr", "", "left"},
        {"xdotool fires a shortcut", "xdo:key:ctrl+alt+Left", "", "left"},
        {"and a button", "xdo:click:8", "", "right"},
        {"a keystroke sending its own trigger fires once", "+ctrl +alt +k w150 -k -alt -ctrl",
         "ctrl+alt+k", "start"},
        {"also from xdotool", "xdo:key:ctrl+alt+k", "ctrl+alt+k", "start"},
        {"while the trigger is held, the keystroke and typing arrive",
         "+ctrl +alt +j w150 +a -a w100 -j -alt -ctrl", "F5 ctrl+alt+a", "start"},
        {"and the keyboards change meanwhile", "+ctrl +alt +j w150 devices w100 -j -alt -ctrl",
         "F5", "start"},
        {"a media key reaches its grabber without modifiers", "+ctrl +alt +p w150 -p -alt -ctrl",
         "grab:172", "start"},
        {"a middle click arrives without modifiers, never fires",
         "+ctrl +alt +m w150 -m -alt -ctrl", "b2", "start"},
        {"key then button, back to back", "+ctrl +alt +Return s2 +b2 -b2 -Return -alt -ctrl", "F6",
         "max"},
        {"button then key, back to back", "+b2 s2 +ctrl +alt +Return -Return -alt -ctrl -b2", "F6",
         "max"},
        {"a button's keystroke, then typing with the modifier held",
         "+Shift_L +b2 -b2 w100 +a -a -Shift_L", "F6 shift+a", "start"},
        {"key held, then a button", "+ctrl +alt +Return w100 +b2 w50 -b2 -Return -alt -ctrl", "F6",
         "max"},
        {"button held, then a key", "+b2 w100 +ctrl +alt +Return w50 -Return -alt -ctrl -b2", "F6",
         "max"},
        {"another button while a bound one is held", "+b8 w100 +b3 -b3 w50 -b8", "b3", "right"},
        {"the right button is never grabbed", "+b3 -b3", "b3", "start"},
        // The frontmost application follows the active window.
        {"a shortcut scoped to another application passes, then acts once that is active",
         "+ctrl +alt +Up -Up -alt -ctrl app:OtherApp +ctrl +alt +Up -Up -alt -ctrl", "", "max"},
        {"and passes elsewhere", "+ctrl +alt +Up -Up -alt -ctrl", "ctrl+alt+Up", "start"},
    };
    for (const auto& [name, script, arrived, where] : cases) {
        SCOPED_TRACE(name);
        start();
        play(script);
        EXPECT_EQ(received(), arrived);
        const Rect target = frame(where);
        EXPECT_TRUE(pumpUntil([&] { return outer(window_) == target; }, 1s))
            << ::testing::PrintToString(outer(window_));
        EXPECT_TRUE(nothingHeld());
        TearDown();
    }
}

// Typing wakes the program only while something needs the keyboards; what it then hears, the
// rows above show.
TEST_F(InputScripts, TheKeyboardsAreHeardOnlyWhileSomethingNeedsThem) {
    start();
    const auto heard = [&] {
        uint64_t n = 0;
        program_->threads.onTap(
            [&](linux_platform::X11EventTap& tap) { n = tap.keyboardKeysHeard(); });
        return n;
    };
    // What needs them, what comes first, then whether "a" typed is heard.
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"nothing", "", false},
        {"a drag", "+b1 w50", true},
        {"a bound key held", "-b1 w50 +ctrl +alt +Left w50", false},
        {"the modifiers held again after a keystroke", "-Left w50 +j w150 -j w50", true},
        {"nothing any more", "-alt -ctrl w100", false},
    };
    for (const auto& [what, first, expected] : cases) {
        SCOPED_TRACE(what);
        play(first);
        const uint64_t before = heard();
        play("+a -a");
        EXPECT_EQ(pumpUntil([&] { return heard() > before; }, expected ? 2s : 200ms), expected);
    }
}

// Nothing polls for them: a combination another program held is asked for again when it is
// pressed (or the active window changes).
TEST_F(InputScripts, CombinationsAnotherProgramHoldsAreReportedAndTriedAgain) {
    // Another program, here a second instance, holding every combination and button.
    auto other = std::make_unique<Program>(folder_ / "other");
    other->store.setConfig(inputRules());
    other->start();
    ASSERT_TRUE(pumpUntil([&] { return other->tapInstalled(); }));
    start();
    const app::InputState& status = program_->threads.state();
    EXPECT_TRUE(pumpUntil([&] {
        return takenNotice(status.takenTriggers()) ==
               "17 shortcuts and 2 mouse buttons are taken by other programs.";
    })) << takenNotice(status.takenTriggers());
    other.reset();
    // Gone from the server too: it lets its grabs go one by one, the buttons' last, and those
    // still held would take the presses below. The last: button 8 on the last master pointer.
    ASSERT_TRUE(pumpUntil([&] {
        int count = 0;
        XIDeviceInfo* devices = XIQueryDevice(d_, XIAllMasterDevices, &count);
        int last = 0;
        for (int i = 0; i < count; ++i) {
            last = devices[i].use == XIMasterPointer ? devices[i].deviceid : last;
        }
        XIFreeDeviceInfo(devices);
        std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
        XISetMask(bits.data(), XI_ButtonPress);
        XIEventMask mask{last, static_cast<int>(bits.size()), bits.data()};
        XIGrabModifiers any{static_cast<int>(XIAnyModifier), 0};
        const Window root = DefaultRootWindow(d_);
        const bool free = XIGrabButton(d_, last, 8, root, None, XIGrabModeAsync, XIGrabModeAsync,
                                       False, &mask, 1, &any) == 0;
        XIUngrabButton(d_, last, 8, root, 1, &any);
        XSync(d_, False);
        return free;
    }));
    // With the other program gone, a press of the combination reaches the window and makes the
    // program ask for it again; the next press is the program's.
    play("+ctrl +alt +t -t -alt -ctrl");
    EXPECT_EQ(received(), "ctrl+alt+t");
    EXPECT_TRUE(pumpUntil([&] { return status.takenTriggers().empty(); }));
    play("+ctrl +alt +t -t -alt -ctrl");
    EXPECT_EQ(received(), "");
    EXPECT_TRUE(pumpUntil([&] { return outer(window_) == frame("left"); }, 1s));
}

// With a panel on the left: dragged by its title bar to the left edge, the window is shown its
// target while it moves and is placed beside the panel when it is let go.
TEST_F(InputScripts, DraggedByItsTitleBarToTheLeftEdgeItSnapsBesideThePanel) {
    start();
    others_.push_back(createDock(0, 0, 40, 800, {40, 0, 0, 0, 0, 799, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(pumpUntil([&] { return frame("max") == Rect{40, 0, 1240, 800}; }));
    ASSERT_TRUE(session().activate(window_));
    // A point on the title bar: inside the frame, just below its top edge.
    const int grabX = int(start_.midX());
    const int grabY = int(start_.y) + 5;
    XTestFakeMotionEvent(d_, -1, grabX, grabY, CurrentTime);
    XTestFakeButtonEvent(d_, 1, True, CurrentTime);
    XFlush(d_);
    // Move in steps toward the left edge, slowly enough for the engine to see the window move.
    constexpr int steps = 30;
    for (int i = 1; i <= steps; ++i) {
        XTestFakeMotionEvent(d_, -1, grabX - grabX * i / steps, grabY + (400 - grabY) * i / steps,
                             CurrentTime);
        XFlush(d_);
        pumpUntil([] { return false; }, 15ms);
    }
    EXPECT_TRUE(pumpUntil([&] { return program_->services.snapOverlay().shown().has_value(); }));
    XTestFakeButtonEvent(d_, 1, False, CurrentTime);
    XFlush(d_);
    EXPECT_TRUE(pumpUntil([&] {
        return outer(window_) == Rect{40, 0, 620, 800};
    })) << ::testing::PrintToString(outer(window_));
    EXPECT_FALSE(program_->services.snapOverlay().shown().has_value());
}

// A key bound in many mixes is grabbed whole, unless another program holds one of them: then the
// program takes the mixes one by one, and only the held one is reported.
TEST_F(InputScripts, AKeyAnotherProgramHoldsInOneMixIsGrabbedMixByMix) {
    const int down = XKeysymToKeycode(d_, XK_Down);
    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
    XISetMask(bits.data(), XI_KeyPress);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
    XIGrabModifiers held{ControlMask | ShiftMask, 0};
    ASSERT_EQ(XIGrabKeycode(d_, 3, down, DefaultRootWindow(d_), XIGrabModeAsync, XIGrabModeAsync,
                            False, &mask, 1, &held),
              0);
    XSync(d_, False);
    start();
    const app::InputState& status = program_->threads.state();
    EXPECT_TRUE(pumpUntil([&] { return status.takenTriggers().size() == 1; }))
        << status.takenTriggers().size();
    play("+ctrl +alt +Down -Down -alt -ctrl");
    EXPECT_TRUE(pumpUntil([&] { return outer(window_) == frame("left"); }, 1s));
    XIUngrabKeycode(d_, 3, down, DefaultRootWindow(d_), 1, &held);
}

}  // namespace
}  // namespace ombrel::platform_test
