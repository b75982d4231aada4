// The touchpad reader on its own thread, fed by pipes that stand in for devices and a stand-in
// for udev: pads that arrive, leave (unplugged mid-touch or removed) or cannot be opened, as the
// monitor and the main queue of the program see them.
#include <gtest/gtest.h>

#include "config/notices.h"
#include "env.h"
#include "fakes/fake_touchpads.h"
#include "platform/linux/evdev_multitouch.h"
#include "platform/linux/qt_main_queue.h"
#include "trackpad/trackpad_monitor.h"

namespace ombrel::linux_platform {
namespace {

using platform_test::pumpUntil;

constexpr TouchpadCapabilities pad{5, {0, 1000}, {0, 1000}, false, true, 0b111110};

// One finger landing in slot 0.
std::vector<input_event> oneFinger() {
    std::vector<input_event> events;
    for (auto [type, code, value] : {std::tuple{EV_ABS, ABS_MT_SLOT, 0},
                                     {EV_ABS, ABS_MT_TRACKING_ID, 1},
                                     {EV_ABS, ABS_MT_POSITION_X, 500},
                                     {EV_ABS, ABS_MT_POSITION_Y, 500},
                                     {EV_SYN, SYN_REPORT, 0}}) {
        input_event e{};
        e.type = static_cast<uint16_t>(type);
        e.code = static_cast<uint16_t>(code);
        e.value = value;
        events.push_back(e);
    }
    return events;
}

struct Touchpads : ::testing::Test {
    explicit Touchpads(std::vector<TouchpadNode> present = {}) {
        auto fakeWatch = std::make_unique<fake::FakeTouchpadWatch>(std::move(present));
        watch = fakeWatch.get();
        source = std::make_unique<EvdevMultitouch>(std::move(fakeWatch), opener.opener());
        monitor = std::make_unique<TrackpadMonitor>(*source, queue, &notices);
    }
    fake::FakeOpener opener{pad};
    fake::FakeTouchpadWatch* watch = nullptr;
    QtMainQueue queue;
    Notices notices;
    std::unique_ptr<EvdevMultitouch> source;
    std::unique_ptr<TrackpadMonitor> monitor;
};

TEST_F(Touchpads, ArrivalsAndDeparturesReachTheCountAndNoFingerStaysBehind) {
    monitor->start();
    EXPECT_EQ(monitor->deviceCount(), 0);
    watch->announce(true, {"/fake/event3", "Pad"});
    ASSERT_TRUE(pumpUntil([&] { return monitor->deviceCount() == 1; }));
    opener.send("/fake/event3", oneFinger());
    ASSERT_TRUE(pumpUntil([&] { return monitor->recognizer().fingersDown == 1; }));
    // Unplugged with the finger down: an empty frame, and the device leaves the count.
    opener.unplug("/fake/event3");
    ASSERT_TRUE(pumpUntil(
        [&] { return monitor->deviceCount() == 0 && monitor->recognizer().fingersDown == 0; }));
    watch->announce(true, {"/fake/event4", "Pad"});
    ASSERT_TRUE(pumpUntil([&] { return monitor->deviceCount() == 1; }));
    watch->announce(false, {"/fake/event4", ""});
    ASSERT_TRUE(pumpUntil([&] { return monitor->deviceCount() == 0; }));
    // Stopped with frames on the way: nothing runs against the monitor once it is gone.
    watch->announce(true, {"/fake/event5", "Pad"});
    ASSERT_TRUE(pumpUntil([&] { return monitor->deviceCount() == 1; }));
    opener.send("/fake/event5", oneFinger());
    monitor.reset();
    platform_test::pump();
}

struct LockedTouchpad : Touchpads {
    LockedTouchpad() : Touchpads({{"/fake/event7", "Locked Pad"}}) {}
};

TEST_F(LockedTouchpad, IsNamedWithItsFixAndReadOnceTheRuleIsApplied) {
    opener.refuse("/fake/event7", true);
    monitor->start();
    EXPECT_EQ(monitor->deviceCount(), 0);
    EXPECT_EQ(monitor->unreadableCount(), 1);
    ASSERT_EQ(notices.current().size(), 1u);
    const std::string text = notices.current()[0].text;
    EXPECT_NE(text.find("\u201CLocked Pad\u201D"), std::string::npos) << text;
    EXPECT_NE(text.find("70-ombrel-touchpad.rules"), std::string::npos) << text;
    // udevadm trigger sends a change; the pad is readable now.
    opener.refuse("/fake/event7", false);
    watch->announce(true, {"/fake/event7", "Locked Pad"});
    ASSERT_TRUE(pumpUntil([&] { return monitor->deviceCount() == 1; }));
    EXPECT_EQ(monitor->unreadableCount(), 0);
    EXPECT_TRUE(notices.current().empty());
}

}  // namespace
}  // namespace ombrel::linux_platform
