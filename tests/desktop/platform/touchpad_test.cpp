// Touchpads: the reader on its own thread with pipes in place of devices and the test in place of
// udev, and the driver's own click of a tap that ran a rule, which never reaches the window while
// the mouse's clicks do. The touchpad's X device is stood in for by the XTEST device of a master
// pointer of its own, and its touches come through the reader as a real pad's would.
#include "config/notices.h"
#include "input_scripts.h"
#include "platform/linux/evdev_multitouch.h"
#include "platform/linux/qt_task_queue.h"
#include "platform/linux/x_event_tap.h"
#include "trackpad/trackpad_monitor.h"
// After gtest and Qt: Xlib's macros clash with their names.
#include <X11/Xatom.h>
#include <X11/extensions/XTest.h>

#include <ctime>

namespace ombrel::platform_test {
namespace {

const Pointer& pad() {
    static const Pointer p = addPointer("ombrel-pad");
    return p;
}

// An 8-bit property of the pad's device, as the driver sets it.
void padProperty(const char* name, std::vector<unsigned char> values) {
    Display* d = session().display();
    XIChangeProperty(d, static_cast<int>(pad().device->device_id), XInternAtom(d, name, False),
                     XA_INTEGER, 8, XIPropModeReplace, values.data(),
                     static_cast<int>(values.size()));
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

// Fingers on the pad as the engine's recognizer counts them, on the input thread.
int64_t fingersDown(Program& program) {
    int64_t n = -1;
    program.threads.onInput([&](Engine& engine) { n = engine.touch().fingersDown(); });
    return n;
}

// Pads that arrive, leave (unplugged mid-touch or removed) or cannot be opened, as the monitor
// and the program's queues see them.
TEST(Touchpads, ArrivalsDeparturesAndALockedPadReachTheCountAndNoFingerStaysBehind) {
    // One pad present from the start, which cannot be opened until its rule is applied.
    fake::FakeTouchpads pads{{5, {0, 1000}, {0, 1000}, false, true, 0b111110},
                             {{"/fake/event7", "Locked Pad"}}};
    linux_platform::QtTaskQueue queue;
    Notices notices;
    linux_platform::EvdevMultitouch source{pads.watch(), pads.opener()};
    TrackpadMonitor monitor(source, queue, queue, &notices);
    int heard = 0;
    const Subscription sub = monitor.observeDevices([&heard] { ++heard; });
    // Contacts in the last frame handed out.
    std::size_t contacts = 0;
    monitor.setFrameHandler([&](std::span<const TouchPoint> t, double) { contacts = t.size(); });
    pads.refuse("/fake/event7", true);
    monitor.start();
    EXPECT_EQ(monitor.deviceCount(), 0);
    EXPECT_EQ(monitor.unreadableCount(), 1);
    ASSERT_EQ(notices.current().size(), 1U);
    EXPECT_NE(notices.current()[0].text.find("Locked Pad"), std::string::npos);
    pads.announce(true, {"/fake/event3", "Pad"});
    ASSERT_TRUE(pumpUntil([&] { return monitor.deviceCount() == 1; }));
    pads.send("/fake/event3", fingers(true));
    ASSERT_TRUE(pumpUntil([&] { return contacts == 3; }));
    // Unplugged with the fingers down: an empty frame, and the device leaves the count.
    pads.unplug("/fake/event3");
    ASSERT_TRUE(pumpUntil([&] { return monitor.deviceCount() == 0 && contacts == 0; }));
    pads.announce(true, {"/fake/event4", "Pad"});
    ASSERT_TRUE(pumpUntil([&] { return monitor.deviceCount() == 1; }));
    pads.announce(false, {"/fake/event4", ""});
    ASSERT_TRUE(pumpUntil([&] { return monitor.deviceCount() == 0; }));
    // udevadm trigger sends a change; the locked pad is readable now.
    pads.refuse("/fake/event7", false);
    pads.announce(true, {"/fake/event7", "Locked Pad"});
    ASSERT_TRUE(pumpUntil([&] { return monitor.deviceCount() == 1; }));
    EXPECT_EQ(monitor.unreadableCount(), 0);
    EXPECT_TRUE(notices.current().empty());
    EXPECT_EQ(heard, 6);
}

TEST_F(InputScripts, TheTouchpadDriversClickOfARuledTapIsTakenTheMousesPasses) {
    ASSERT_NE(pad().device, nullptr);
    // The driver taps left, right, middle and clicks by the fingers resting.
    padProperty("libinput Tapping Enabled", {1});
    padProperty("libinput Tapping Button Mapping Enabled", {1, 0});
    padProperty("libinput Click Method Enabled", {0, 1});
    start();
    Program& program = *program_;
    program.threads.onTap([](linux_platform::X11EventTap& tap) {
        tap.setTouchpadMatcher([](int device, const std::string&) {
            return device == static_cast<int>(pad().device->device_id);
        });
    });
    using Driver = TouchpadDriver;
    const Driver read{true, Driver::Taps::leftRightMiddle, Driver::Clicks::clickfinger};
    // As the tap read it, told to the GUI thread.
    EXPECT_TRUE(pumpUntil([&] { return program.threads.state().touchpadDriver() == read; }));
    // The middle button sends F6 (inputRules); a three-finger tap runs a command.
    Config config = inputRules();
    config.bindings.push_back(Rule::make(Trigger::trackpad({TrackpadGesture::Kind::tap, 3}),
                                         Action::shell("true"), std::nullopt, true));
    program.store.setConfig(config);
    program.pads.announce(true, {"/fake/event5", "Pad"});
    ASSERT_TRUE(pumpUntil([&] { return program.threads.monitor().deviceCount() == 1; }));
    program.pads.send("/fake/event5", fingers(true));
    ASSERT_TRUE(pumpUntil([&] { return fingersDown(program) == 3; }));
    program.pads.send("/fake/event5", fingers(false));
    ASSERT_TRUE(pumpUntil([&] { return fingersDown(program) == 0; }));

    // The tap has run its rule: the mouse's right click passes, the pad's middle click (the
    // driver's click of the tap) is taken, and the pad's next click is its own again.
    play("+b3 -b3");
    userPointer(int(outer(window_).midX()), int(outer(window_).midY()), pad());
    for (const unsigned button : {2U, 3U}) {
        userButton(button, true, pad());
        userButton(button, false, pad());
    }
    EXPECT_EQ(received(), "b3 b3");

    // Settings changed while the program runs are followed.
    padProperty("libinput Tapping Enabled", {0});
    EXPECT_TRUE(pumpUntil(
        [&] { return program.threads.state().touchpadDriver().taps == Driver::Taps::off; }));
}

}  // namespace
}  // namespace ombrel::platform_test
