// The touchpad reader on its own thread with pipes in place of devices and the test in place of
// udev: pads that arrive, leave (unplugged mid-touch or removed) or cannot be opened, as the
// monitor and the program's queues see them.
#include <gtest/gtest.h>

#include "config/notices.h"
#include "env.h"
#include "fakes/fake_touchpads.h"
#include "platform/linux/evdev_multitouch.h"
#include "platform/linux/qt_task_queue.h"
#include "trackpad/trackpad_monitor.h"

namespace ombrel::linux_platform {
namespace {

using platform_test::pumpUntil;

const std::vector<input_event> oneFinger = {{{}, EV_ABS, ABS_MT_SLOT, 0},
                                            {{}, EV_ABS, ABS_MT_TRACKING_ID, 1},
                                            {{}, EV_ABS, ABS_MT_POSITION_X, 500},
                                            {{}, EV_SYN, SYN_REPORT, 0}};

struct Touchpads : ::testing::Test {
    Touchpads() {
        monitor->setFrameHandler(
            [this](std::span<const TouchPoint> t, double) { fingers = t.size(); });
    }
    // One pad present from the start, which cannot be opened until its rule is applied.
    fake::FakeTouchpads pads{{5, {0, 1000}, {0, 1000}, false, true, 0b111110},
                             {{"/fake/event7", "Locked Pad"}}};
    QtTaskQueue queue;
    Notices notices;
    EvdevMultitouch source{pads.watch(), pads.opener()};
    std::unique_ptr<TrackpadMonitor> monitor =
        std::make_unique<TrackpadMonitor>(source, queue, queue, &notices);
    int heard = 0;
    Subscription sub = monitor->observeDevices([this] { ++heard; });
    // Contacts in the last frame handed out.
    std::size_t fingers = 0;
};

TEST_F(Touchpads, ArrivalsDeparturesAndALockedPadReachTheCountAndNoFingerStaysBehind) {
    pads.refuse("/fake/event7", true);
    monitor->start();
    EXPECT_EQ(monitor->deviceCount(), 0);
    EXPECT_EQ(monitor->unreadableCount(), 1);
    ASSERT_EQ(notices.current().size(), 1u);
    const std::string text = notices.current()[0].text;
    EXPECT_NE(text.find("\u201CLocked Pad\u201D"), std::string::npos) << text;
    EXPECT_NE(text.find("70-ombrel-touchpad.rules"), std::string::npos) << text;
    pads.announce(true, {"/fake/event3", "Pad"});
    ASSERT_TRUE(pumpUntil([&] { return monitor->deviceCount() == 1; }));
    pads.send("/fake/event3", oneFinger);
    ASSERT_TRUE(pumpUntil([&] { return fingers == 1; }));
    // Unplugged with the finger down: an empty frame, and the device leaves the count.
    pads.unplug("/fake/event3");
    ASSERT_TRUE(pumpUntil([&] { return monitor->deviceCount() == 0 && fingers == 0; }));
    pads.announce(true, {"/fake/event4", "Pad"});
    ASSERT_TRUE(pumpUntil([&] { return monitor->deviceCount() == 1; }));
    pads.announce(false, {"/fake/event4", ""});
    ASSERT_TRUE(pumpUntil([&] { return monitor->deviceCount() == 0; }));
    // udevadm trigger sends a change; the locked pad is readable now.
    pads.refuse("/fake/event7", false);
    pads.announce(true, {"/fake/event7", "Locked Pad"});
    ASSERT_TRUE(pumpUntil([&] { return monitor->deviceCount() == 1; }));
    EXPECT_EQ(monitor->unreadableCount(), 0);
    EXPECT_TRUE(notices.current().empty());
    EXPECT_EQ(heard, 6);
}

}  // namespace
}  // namespace ombrel::linux_platform
