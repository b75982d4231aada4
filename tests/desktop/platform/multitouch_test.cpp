// Touchpad frames from recorded input_event streams, and which devices count as touchpads.
#include <gtest/gtest.h>

#include "platform/linux/evdev_multitouch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace ombrel::linux_platform {
namespace {

struct Frame {
    std::vector<TouchPoint> points;
    double time = 0;
    // Positions within float rounding, times exactly.
    friend bool operator==(const Frame& a, const Frame& b) {
        if (a.time != b.time || a.points.size() != b.points.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.points.size(); ++i) {
            if (std::abs(a.points[i].x - b.points[i].x) > 1e-6F ||
                std::abs(a.points[i].y - b.points[i].y) > 1e-6F) {
                return false;
            }
        }
        return true;
    }
};

void PrintTo(const Frame& f, std::ostream* os) {
    *os << "{t=" << f.time << ":";
    for (const auto& p : f.points) {
        *os << " (" << p.x << "," << p.y << ")";
    }
    *os << "}";
}

input_event ev(uint16_t type, uint16_t code, int32_t value, long usec = 0) {
    input_event e{};
    e.input_event_sec = usec / 1000000;
    e.input_event_usec = usec % 1000000;
    e.type = type;
    e.code = code;
    e.value = value;
    return e;
}
input_event syn(long usec) {
    return ev(EV_SYN, SYN_REPORT, 0, usec);
}
input_event slot(int s) {
    return ev(EV_ABS, ABS_MT_SLOT, s);
}
input_event track(int id) {
    return ev(EV_ABS, ABS_MT_TRACKING_ID, id);
}
input_event x(int v) {
    return ev(EV_ABS, ABS_MT_POSITION_X, v);
}
input_event y(int v) {
    return ev(EV_ABS, ABS_MT_POSITION_Y, v);
}

// Writes the events into a pipe from another thread and reads the frames back.
std::vector<Frame> framesOf(const std::vector<input_event>& events, AxisRange range,
                            std::size_t trailingBytes = 0) {
    int fds[2];
    if (pipe(fds) != 0) {
        return {};
    }
    std::thread writer([&] {
        for (const auto& e : events) {
            [[maybe_unused]] auto n = write(fds[1], &e, sizeof e);
        }
        const char junk[sizeof(input_event)] = {};
        [[maybe_unused]] auto n = write(fds[1], junk, trailingBytes);
        close(fds[1]);
    });
    std::vector<Frame> frames;
    readFrames(fds[0], range, [&](std::span<const TouchPoint> points, double time) {
        frames.push_back({{points.begin(), points.end()}, time});
    });
    writer.join();
    close(fds[0]);
    return frames;
}

TEST(TouchFrames, EventStreamsBecomeFrames) {
    const AxisRange pad{0, 1000, 0, 500};
    struct Case {
        const char* name;
        std::vector<input_event> events;
        std::vector<Frame> frames;
        AxisRange range;
    };
    const std::vector<Case> cases = {
        {"one finger, y flipped toward the far edge",
         {slot(0), track(7), x(250), y(500), syn(1500000), x(1000), y(0), syn(1600000)},
         {{{{0.25F, 0.0F}}, 1.5}, {{{1.0F, 1.0F}}, 1.6}},
         pad},
        {"second finger joins, first lifts, then all lift",
         {slot(0), track(1), x(0), y(250), slot(1), track(2), x(500), y(250), syn(1000000), slot(0),
          track(-1), syn(2000000), slot(1), track(-1), syn(3000000)},
         {{{{0.0F, 0.5F}, {0.5F, 0.5F}}, 1.0}, {{{0.5F, 0.5F}}, 2.0}, {{}, 3.0}},
         pad},
        {"a slot reused by a new contact keeps only the new one",
         {slot(3), track(5), x(100), y(100), syn(1000000), track(-1), syn(1100000), track(6),
          x(900), y(400), syn(1200000)},
         {{{{0.1F, 0.8F}}, 1.0}, {{}, 1.1}, {{{0.9F, 0.2F}}, 1.2}},
         pad},
        {"a report without contacts is an empty frame",
         {syn(500000), ev(EV_KEY, BTN_LEFT, 1), syn(600000)},
         {{{}, 0.5}, {{}, 0.6}},
         pad},
        {"partial updates keep the other axis",
         {slot(0), track(1), x(200), y(100), syn(1000000), x(400), syn(1100000)},
         {{{{0.2F, 0.8F}}, 1.0}, {{{0.4F, 0.8F}}, 1.1}},
         pad},
        {"lost events are skipped to the next report and contacts forgotten",
         {slot(0), track(1), x(200), y(100), syn(1000000), ev(EV_SYN, SYN_DROPPED, 0), x(999),
          syn(1100000), syn(1200000)},
         {{{{0.2F, 0.8F}}, 1.0}, {{}, 1.2}},
         pad},
        {"negative axis minimum and values out of range",
         {slot(0), track(1), x(0), y(-100), slot(1), track(2), x(5000), y(-900), syn(2000000)},
         {{{{0.5F, 1.0F}, {1.0F, 1.0F}}, 2.0}},
         {-100, 100, -100, 100}},
        {"slots beyond the supported count are ignored",
         {slot(40), track(1), x(10), y(10), syn(1000000)},
         {{{}, 1.0}},
         pad},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(framesOf(c.events, c.range), c.frames) << c.name;
    }
}

TEST(TouchFrames, TrailingPartialRecordIsIgnored) {
    const auto frames =
        framesOf({slot(0), track(1), x(500), y(250), syn(1000000)}, {0, 1000, 0, 500}, 7);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0].points.size(), 1U);
}

TEST(TouchDevices, OnlyTouchpadsAreChosenInNumberOrder) {
    const TouchCapabilities touchpad{true, true, true, false};
    const TouchCapabilities touchscreen{true, true, false, true};
    const TouchCapabilities tablet{true, true, true, true};
    const TouchCapabilities mouse{false, false, true, false};
    const TouchCapabilities singleAxis{true, false, true, false};
    EXPECT_TRUE(isTouchpad(touchpad));
    for (const auto& caps : {touchscreen, tablet, mouse, singleAxis, TouchCapabilities{}}) {
        EXPECT_FALSE(isTouchpad(caps));
    }

    const auto folder = std::filesystem::temp_directory_path() / "ombrel-input-test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::map<std::string, std::optional<TouchCapabilities>> devices = {
        {"event0", mouse},       {"event2", touchpad},     {"event10", touchpad},
        {"event3", touchscreen}, {"event4", std::nullopt}, {"mouse0", touchpad},
        {"event", touchpad},     {"eventX1", touchpad},    {"event5", tablet},
    };
    for (const auto& [name, caps] : devices) {
        std::ofstream(folder / name) << "";
    }
    const auto paths = touchpadPaths(folder.string(), [&](const std::string& path) {
        return devices.at(std::filesystem::path(path).filename().string());
    });
    EXPECT_EQ(paths, (std::vector<std::string>{(folder / "event2").string(),
                                               (folder / "event10").string()}));

    // Files that are not input devices are not listed by the real source either.
    EvdevMultitouch source(folder.string());
    EXPECT_TRUE(source.deviceList().empty());
    EvdevMultitouch missing((folder / "nothing-here").string());
    EXPECT_TRUE(missing.deviceList().empty());
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace ombrel::linux_platform
