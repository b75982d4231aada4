// The touchpad monitor and the contact-record decoding: which devices are started, and that every
// device frame reaches the recognizer once, in order, on the main queue.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
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
        for (int i = 0; i < 4; ++i) {
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
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
    struct Case {
        const char* name;
        std::vector<Record> contacts;
        std::vector<TouchPoint> expected;
    };
    const std::vector<Case> cases = {
        {"states 4, 7, 5 give the first and third",
         {{4, 0.25f, 0.5f}, {7, 0.9f, 0.9f}, {5, 0.75f, 0.125f}},
         {{0.25f, 0.5f}, {0.75f, 0.125f}}},
        {"no touching state gives an empty frame",
         {{0, 0.1f, 0.1f}, {3, 0.2f, 0.2f}, {6, 0.3f, 0.3f}, {-4, 0.4f, 0.4f}},
         {}},
        {"exact float bits survive", {{5, 0.1f, 1.0f / 3.0f}}, {{0.1f, 1.0f / 3.0f}}},
        {"a state of 4 in a higher byte is not 4", {{0x104, 0.5f, 0.5f}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::byte> bytes = records(c.contacts);
        EXPECT_EQ(contact_records::decode(bytes.data(), static_cast<int32_t>(c.contacts.size())),
                  c.expected);
    }
}

TEST(ContactRecords, NullPointerOrNoCountGivesAnEmptyFrame) {
    const std::vector<std::byte> bytes = records({{4, 0.5f, 0.5f}});
    EXPECT_TRUE(contact_records::decode(nullptr, 3).empty());
    EXPECT_TRUE(contact_records::decode(bytes.data(), 0).empty());
    EXPECT_TRUE(contact_records::decode(bytes.data(), -1).empty());
}

TEST(ContactRecords, FixedOutputTakesNoMoreThanItHolds) {
    const std::vector<std::byte> bytes =
        records({{4, 0.1f, 0.1f}, {4, 0.2f, 0.2f}, {4, 0.3f, 0.3f}});
    std::array<TouchPoint, 2> out{};
    EXPECT_EQ(contact_records::decode(bytes.data(), 3, out), 2u);
    EXPECT_EQ(out[1], (TouchPoint{0.2f, 0.2f}));
}

struct MonitorFixture : ::testing::Test {
    fake::FakeMultitouch source;
    fake::FakeMainQueue queue;
    TrackpadMonitor monitor{source, queue};
};

TEST_F(MonitorFixture, StartRegistersAndStartsEachDeviceOnce) {
    source.devices = {7, 9};
    monitor.start();
    monitor.start();
    EXPECT_EQ(source.listCalls, 1);
    EXPECT_EQ(source.started, (std::vector<TouchDevice>{7, 9}));
    EXPECT_EQ(source.callbacks.size(), 2u);
    EXPECT_EQ(monitor.deviceCount(), 2);
}

TEST_F(MonitorFixture, WithoutDevicesEachStartAsksAgain) {
    monitor.start();
    EXPECT_EQ(monitor.deviceCount(), 0);
    monitor.start();
    EXPECT_EQ(source.listCalls, 2);
    source.devices = {4};
    monitor.start();
    monitor.start();
    EXPECT_EQ(source.listCalls, 3);
    EXPECT_EQ(monitor.deviceCount(), 1);
}

TEST_F(MonitorFixture, EveryFrameReachesTheRecognizerOnceOnTheMainQueue) {
    source.devices = {1, 2};
    monitor.start();
    int after = 0;
    std::vector<int64_t> counts;
    monitor.afterFrame = [&] {
        ++after;
        counts.push_back(monitor.recognizer().fingersDown);
    };
    source.frame(1, {{0.1f, 0.1f}, {0.2f, 0.2f}, {0.3f, 0.3f}}, 0.0);
    source.frame(2, {{0.5f, 0.5f}}, 0.01);
    source.frame(1, {}, 0.02);
    EXPECT_EQ(monitor.recognizer().fingersDown, 0);
    EXPECT_EQ(after, 0) << "nothing is fed on the device's thread";
    EXPECT_EQ(queue.pendingCount(), 3u) << "one task per frame, the empty one included";
    queue.runDue();
    EXPECT_EQ(counts, (std::vector<int64_t>{3, 1, 0}));
}

TEST_F(MonitorFixture, FramesMakeGesturesWithTheirOwnTimestamps) {
    source.devices = {1};
    monitor.start();
    std::vector<TrackpadGesture> seen;
    monitor.recognizer().onGesture = [&](const TrackpadGesture& g) { seen.push_back(g); };
    const std::vector<TouchPoint> three = {{0.3f, 0.5f}, {0.4f, 0.5f}, {0.5f, 0.5f}};
    source.frame(1, three, 10.0);
    source.frame(1, three, 10.1);
    source.frame(1, {}, 10.2);
    // The queue's clock stays at 0: only frame times count.
    queue.runDue();
    EXPECT_EQ(seen, (std::vector<TrackpadGesture>{{TrackpadGesture::Kind::tap, 3}}));
}

TEST_F(MonitorFixture, CopyTakesAtMostMaxContacts) {
    source.devices = {1};
    monitor.start();
    std::vector<TouchPoint> many(TrackpadMonitor::maxContacts + 4, TouchPoint{0.5f, 0.5f});
    source.frame(1, many, 0);
    queue.runDue();
    EXPECT_EQ(monitor.recognizer().fingersDown, static_cast<int64_t>(TrackpadMonitor::maxContacts));
}

}  // namespace
}  // namespace ombrel
