// The touchpad monitor and the contact-record decoding: which devices are started as they come,
// that every device frame reaches the recognizer once, in order, on the main queue, and nothing
// after the monitor has gone.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <vector>

#include "fakes/fake_platform.h"
#include "trackpad/contact_records.h"
#include "trackpad/trackpad_monitor.h"

namespace ombrel {
namespace {

struct Record {
    int32_t state;
    float x;
    float y;
};

// Contact records as the device lays them out: 96 bytes each, little-endian, with every byte
// that is not read set to a pattern that must not leak into the result.
std::vector<std::byte> records(const std::vector<Record>& contacts) {
    std::vector<std::byte> bytes(contacts.size() * contact_records::stride, std::byte{0xA5});
    auto put = [&](std::size_t at, uint32_t v) {
        for (std::size_t i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
        }
    };
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        const std::size_t base = i * contact_records::stride;
        put(base + contact_records::stateOffset, static_cast<uint32_t>(contacts[i].state));
        put(base + contact_records::xOffset, std::bit_cast<uint32_t>(contacts[i].x));
        put(base + contact_records::yOffset, std::bit_cast<uint32_t>(contacts[i].y));
    }
    return bytes;
}

TEST(ContactRecords, KeepsTouchingContactsInRecordOrder) {
    const struct {
        std::vector<Record> contacts;
        std::vector<TouchPoint> expected;
    } cases[] = {
        {{{4, 0.25f, 0.5f}, {7, 0.9f, 0.9f}, {5, 0.75f, 0.125f}}, {{0.25f, 0.5f}, {0.75f, 0.125f}}},
        {{{0, 0.1f, 0.1f}, {3, 0.2f, 0.2f}, {6, 0.3f, 0.3f}, {-4, 0.4f, 0.4f}}, {}},
        {{{5, 0.1f, 1.0f / 3.0f}}, {{0.1f, 1.0f / 3.0f}}},  // exact float bits
        {{{0x104, 0.5f, 0.5f}}, {}},                        // 4 in a higher byte is not 4
    };
    for (const auto& c : cases) {
        const std::vector<std::byte> bytes = records(c.contacts);
        EXPECT_EQ(contact_records::decode(bytes.data(), static_cast<int32_t>(c.contacts.size())),
                  c.expected);
    }
    const std::vector<std::byte> three =
        records({{4, 0.1f, 0.1f}, {4, 0.2f, 0.2f}, {4, 0.3f, 0.3f}});
    EXPECT_TRUE(contact_records::decode(nullptr, 3).empty());
    EXPECT_TRUE(contact_records::decode(three.data(), 0).empty());
    EXPECT_TRUE(contact_records::decode(three.data(), -1).empty());
    std::array<TouchPoint, 2> out{};
    EXPECT_EQ(contact_records::decode(three.data(), 3, out), 2u);
    EXPECT_EQ(out[1], (TouchPoint{0.2f, 0.2f}));
}

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
    monitor.afterFrame = [&] { counts.push_back(monitor.recognizer().fingersDown); };
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
        monitor.afterFrame = [&] { ++fed; };
        source.frame(1, {{0.5f, 0.5f}}, 0);
        source.onChange();
    }
    EXPECT_TRUE(source.stopped);
    queue.runDue();
    EXPECT_EQ(fed, 0);
}

TEST_F(Monitor, FramesMakeGesturesWithTheirOwnTimestamps) {
    source.devices = {1};
    monitor.start();
    std::vector<TrackpadGesture> seen;
    monitor.recognizer().onGesture = [&](const TrackpadGesture& g) { seen.push_back(g); };
    const std::vector<TouchPoint> three = {{0.3f, 0.5f}, {0.4f, 0.5f}, {0.5f, 0.5f}};
    source.frame(1, three, 10.0);  // held too long for a tap
    source.frame(1, {}, 11.0);
    source.frame(1, three, 20.0);
    source.frame(1, {}, 20.1);
    queue.runDue();  // the queue's clock stays at 0: only frame times count
    EXPECT_EQ(seen, (std::vector<TrackpadGesture>{{TrackpadGesture::Kind::tap, 3}}));
}

}  // namespace
}  // namespace ombrel
