// The touchpad monitor: devices are started as they come, and every device frame reaches its
// consumer once, in order, on the frames' queue, and nothing after the monitor has gone.
#include <gtest/gtest.h>

#include <vector>

#include "fakes/fake_platform.h"
#include "trackpad/trackpad_monitor.h"

namespace ombrel {
namespace {

TEST(TrackpadMonitor, FeedsEveryFrameOnceOnTheFramesQueueAndNothingAfterItHasGone) {
    fake::FakeMultitouch source;
    fake::FakeTaskQueue frames;   // the input thread's
    fake::FakeTaskQueue devices;  // the GUI thread's
    std::vector<std::size_t> counts;
    {
        TrackpadMonitor monitor{source, frames, devices};
        source.devices = {1};
        monitor.start();
        monitor.setFrameHandler([&](std::span<const TouchPoint> touching, double) {
            counts.push_back(touching.size());
        });
        source.devices = {1, 2};
        source.onChange();
        devices.runDue();
        // Each frame is one task, the empty one included, and keeps at most maxContacts points.
        source.frame(1, std::vector<TouchPoint>(TrackpadMonitor::maxContacts + 4, {0.5F, 0.5F}), 0);
        source.frame(2, {{0.5F, 0.5F}}, 0.01);
        source.frame(1, {}, 0.02);
        devices.runDue();
        EXPECT_TRUE(counts.empty()) << "fed on a device's thread or on the devices' queue";
        frames.runDue();
        EXPECT_EQ(counts, (std::vector<std::size_t>{TrackpadMonitor::maxContacts, 1, 0}));
        EXPECT_EQ(source.started, (std::vector<TouchDevice>{1, 2}));
        source.frame(2, {}, 0.03);
        source.onChange();
    }
    EXPECT_TRUE(source.stopped);
    frames.runDue();
    devices.runDue();
    EXPECT_EQ(counts.size(), 3U) << "fed after the monitor has gone";
}

}  // namespace
}  // namespace ombrel
