// The touchpad monitor: which devices are started as they come, that every device frame reaches
// its consumer once, in order, on the frames' queue, and nothing after the monitor has gone.
#include <gtest/gtest.h>

#include <vector>

#include "fakes/fake_platform.h"
#include "trackpad/trackpad_monitor.h"

namespace ombrel {
namespace {

struct Monitor : ::testing::Test {
    fake::FakeMultitouch source;
    fake::FakeTaskQueue queue;    // the frames' (the input thread's)
    fake::FakeTaskQueue devices;  // the GUI thread's
    TrackpadMonitor monitor{source, queue, devices};
};

// Each frame is one task, the empty one included, and keeps at most maxContacts points.
TEST_F(Monitor, FeedsEveryFrameOnceOnTheTaskQueue) {
    source.devices = {1, 2};
    monitor.start();
    std::vector<int64_t> counts;
    monitor.setFrameHandler([&](std::span<const TouchPoint> touching, double) {
        counts.push_back(static_cast<int64_t>(touching.size()));
    });
    source.frame(1, std::vector<TouchPoint>(TrackpadMonitor::maxContacts + 4, {0.5f, 0.5f}), 0);
    source.frame(2, {{0.5f, 0.5f}}, 0.01);
    source.frame(1, {}, 0.02);
    EXPECT_TRUE(counts.empty()) << "nothing is fed on the device's thread";
    devices.runDue();
    EXPECT_TRUE(counts.empty()) << "nor on the devices' queue";
    queue.runDue();
    EXPECT_EQ(counts, (std::vector<int64_t>{TrackpadMonitor::maxContacts, 1, 0}));
}

// Frames and changes still queued when the monitor goes reach nothing; the source is stopped.
TEST(MonitorShutdown, StopsTheSourceAndDropsWhatIsStillQueued) {
    fake::FakeMultitouch source;
    fake::FakeTaskQueue queue;
    source.devices = {1};
    int fed = 0;
    {
        TrackpadMonitor monitor{source, queue, queue};
        monitor.start();
        monitor.setFrameHandler([&](std::span<const TouchPoint>, double) { ++fed; });
        source.frame(1, {{0.5f, 0.5f}}, 0);
        source.onChange();
    }
    EXPECT_TRUE(source.stopped);
    queue.runDue();
    EXPECT_EQ(fed, 0);
}

}  // namespace
}  // namespace ombrel
