// The whole input path on a real X server: the user's keyboard and mouse, xdotool, a touchpad's
// clicks and the program's own posted events, what the focused window and another client's
// media-key grab receive, with the keyboard and the pointer free again at the end of every
// script, and where the engine's actions put the window.
#include "input_scripts.h"
#include "platform/linux/x_event_tap.h"
#include "trackpad/trackpad_monitor.h"
// After gtest and Qt: Xlib's macros clash with their names.
#include <X11/Xatom.h>
#include <X11/extensions/XTest.h>

#include <ctime>

namespace ombrel::platform_test {
namespace {

TEST_F(InputScripts, WhatIsSwallowedFiredAndPassedOnAndNothingStaysFrozenOrHeld) {
    for (const auto& c : records("input.cases", "scripts")) {
        SCOPED_TRACE(c[0]);
        start();
        play(c[1]);
        std::string got;
        EXPECT_TRUE(received(got)) << "the keyboard or the pointer stayed frozen";
        EXPECT_EQ(got, c[2]);
        EXPECT_TRUE(pumpUntil([&] { return outer(window_) == frame(c[3]); }, 1s))
            << ::testing::PrintToString(outer(window_));
        EXPECT_TRUE(nothingHeld());
        TearDown();
    }
}

// The frontmost application follows the active window as it changes: a shortcut scoped to
// another application acts on its window while that is active, and passes once it is not.
TEST_F(InputScripts, AScopedShortcutFollowsTheActiveWindow) {
    start();
    const Window other =
        others_.emplace_back(session().createWindow("other", "OtherApp", 100, 100, 300, 200));
    ASSERT_TRUE(session().activate(other));
    play("+ctrl +alt +Up -Up -alt -ctrl");
    EXPECT_TRUE(pumpUntil([&] { return outer(other) == frame("max"); }, 1s));
    ASSERT_TRUE(session().activate(window_));
    play("+ctrl +alt +Up -Up -alt -ctrl");
    std::string got;
    EXPECT_TRUE(received(got));
    EXPECT_EQ(got, "ctrl+alt+Up");
}

// Nothing polls for them: a combination another program held is asked for again when it is
// pressed (or the active window changes).
TEST_F(InputScripts, CombinationsAnotherProgramHoldsAreReportedAndTriedAgain) {
    // Another program, here a second instance, holding every combination and button.
    auto other = std::make_unique<Program>(folder_ / "other", session().displayName());
    other->store.setConfig(inputRules());
    other->start();
    ASSERT_TRUE(pumpUntil([&] { return other->tapInstalled(); }));
    start();
    const app::InputState& status = program_->threads.state();
    EXPECT_TRUE(pumpUntil([&] {
        return takenNotice(status.takenTriggers()) ==
               "10 shortcuts and 2 mouse buttons are taken by other programs.";
    })) << takenNotice(status.takenTriggers());
    other.reset();
    // With the other program gone, a press of the combination reaches the window and makes the
    // program ask for it again; the next press is the program's.
    play("+ctrl +alt +t -t -alt -ctrl");
    std::string got;
    EXPECT_TRUE(received(got));
    EXPECT_EQ(got, "ctrl+alt+t");
    EXPECT_TRUE(pumpUntil([&] { return status.takenTriggers().empty(); }));
    play("+ctrl +alt +t -t -alt -ctrl");
    EXPECT_TRUE(received(got));
    EXPECT_EQ(got, "");
    EXPECT_TRUE(pumpUntil([&] { return outer(window_) == frame("left"); }, 1s));
}

// The touchpad's X device is stood in for by the XTEST device of a master pointer of its own,
// and its touches come through the reader as a real pad's would.
XDevice* pad() {
    static XDevice* const device = addPointer("ombrel-pad");
    return device;
}

void padClick(unsigned button, Point at) {
    Display* d = session().display();
    XIWarpPointer(d, deviceId("ombrel-pad pointer"), None, DefaultRootWindow(d), 0, 0, 0, 0, at.x,
                  at.y);
    for (const Bool down : {True, False}) {
        XTestFakeDeviceButtonEvent(d, pad(), button, down, nullptr, 0, CurrentTime);
    }
    XSync(d, False);
}

// An 8-bit property of the pad's device, as the driver sets it.
void padProperty(const char* name, std::vector<unsigned char> values) {
    Display* d = session().display();
    XIChangeProperty(d, static_cast<int>(pad()->device_id), XInternAtom(d, name, False), XA_INTEGER,
                     8, XIPropModeReplace, values.data(), static_cast<int>(values.size()));
    XSync(d, False);
}

// Contacts in slots 0 to 2, or every one lifted, stamped now on the monotonic clock.
std::vector<input_event> fingers(bool down) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const timeval at{now.tv_sec, now.tv_nsec / 1000};
    std::vector<input_event> events;
    for (int slot = 0; slot < 3; ++slot) {
        events.push_back({at, EV_ABS, ABS_MT_SLOT, slot});
        events.push_back({at, EV_ABS, ABS_MT_TRACKING_ID, down ? slot + 1 : -1});
        events.push_back({at, EV_ABS, ABS_MT_POSITION_X, 300 + 100 * slot});
    }
    events.push_back({at, EV_SYN, SYN_REPORT, 0});
    return events;
}

// The driver's own click of a tap that ran a rule never reaches the window, while the mouse's
// clicks do; the driver's settings are read, and followed as they change.
TEST_F(InputScripts, TheTouchpadDriversClickOfARuledTapIsTakenTheMousesPasses) {
    ASSERT_NE(pad(), nullptr);
    // The driver taps left, right, middle and clicks by the fingers resting.
    padProperty("libinput Tapping Enabled", {1});
    padProperty("libinput Tapping Button Mapping Enabled", {1, 0});
    padProperty("libinput Click Method Enabled", {0, 1});
    start();
    Program& program = *program_;
    program.threads.onTap([](linux_platform::X11EventTap& tap) {
        tap.setTouchpadMatcher([](int device, const std::string&) {
            return device == static_cast<int>(pad()->device_id);
        });
    });
    // As the input thread reads it, and as the GUI thread is told.
    const auto driverIs = [&](const TouchpadDriver& expected) {
        return pumpUntil([&] {
            TouchpadDriver driver;
            program.threads.onTap(
                [&](linux_platform::X11EventTap& tap) { driver = tap.touchpadDriver(); });
            return driver == expected && program.threads.state().touchpadDriver() == expected;
        });
    };
    using Driver = TouchpadDriver;
    EXPECT_TRUE(driverIs({true, Driver::Taps::leftRightMiddle, Driver::Clicks::clickfinger}));
    program.pads.announce(true, {"/fake/event5", "Pad"});
    ASSERT_TRUE(pumpUntil([&] { return program.threads.monitor().deviceCount() == 1; }));
    int64_t down = -1;  // fingers on the pad as the engine's recognizer counts them
    for (const int n : {3, 0}) {
        program.pads.send("/fake/event5", fingers(n > 0));
        ASSERT_TRUE(pumpUntil([&] {
            program.threads.onInput([&](Engine& engine) { down = engine.touch().fingersDown(); });
            return down == n;
        }));
    }

    // The tap has run its rule: the mouse's right click passes, the pad's middle click (the
    // driver's click of the tap) is taken, and the pad's next click is its own again.
    const Point middle{outer(window_).midX(), outer(window_).midY()};
    pointAtWindow();
    userClick(3);
    padClick(2, middle);
    padClick(3, middle);
    std::string got;
    EXPECT_TRUE(received(got)) << "the keyboard or the pointer stayed frozen";
    EXPECT_EQ(got, "b3 b3");
    EXPECT_TRUE(nothingHeld());

    padProperty("libinput Tapping Enabled", {0});
    EXPECT_TRUE(driverIs({true, Driver::Taps::off, Driver::Clicks::clickfinger}));
}

TEST_F(InputScripts, DraggedByItsTitleBarToTheLeftEdgeItSnapsBesideThePanel) {
    start();
    others_.push_back(createDock(0, 0, 40, 800, {40, 0, 0, 0, 0, 799, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(pumpUntil([&] {
        return program_->windows.screens()[0].visible == Rect{40, 0, 1240, 800};
    }));
    ASSERT_TRUE(session().activate(window_));
    // A point on the title bar: inside the frame, above the client.
    const Rect start = outer(window_);
    int clientX = 0;
    int clientY = 0;
    Window child = 0;
    XTranslateCoordinates(d_, window_, DefaultRootWindow(d_), 0, 0, &clientX, &clientY, &child);
    ASSERT_GT(clientY - start.y, 4) << "no title bar";
    const int grabX = int(start.x + start.width / 2);
    const int grabY = int(start.y + (clientY - start.y) / 2);
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
    EXPECT_TRUE(pumpUntil([&] { return program_->snapShown().has_value(); }));
    XTestFakeButtonEvent(d_, 1, False, CurrentTime);
    XFlush(d_);
    EXPECT_TRUE(pumpUntil([&] {
        return outer(window_) == Rect{40, 0, 620, 800};
    })) << ::testing::PrintToString(outer(window_));
    EXPECT_FALSE(program_->snapShown().has_value());
}

}  // namespace
}  // namespace ombrel::platform_test
