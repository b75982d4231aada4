// Touchpad frames from recorded input_event streams, and which devices count as touchpads.
#include <gtest/gtest.h>

#include "platform/linux/evdev_multitouch.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace ombrel::linux_platform {
namespace {

input_event ev(uint16_t type, uint16_t code, int32_t value, long usec = 0) {
    return input_event{{usec / 1000000, usec % 1000000}, type, code, value};
}

// Writes the events (and some trailing bytes) into a pipe from another thread and reads the
// frames back as "time:(x,y)(x,y) time:...".
std::string framesOf(const std::vector<input_event>& events, AxisRange range,
                     std::size_t trailing) {
    std::array<int, 2> fds{};
    if (pipe(fds.data()) != 0) {
        return "no pipe";
    }
    std::thread writer([&] {
        for (const auto& e : events) {
            [[maybe_unused]] auto n = write(fds[1], &e, sizeof e);
        }
        const std::array<char, sizeof(input_event)> junk{};
        [[maybe_unused]] auto n = write(fds[1], junk.data(), trailing);
        close(fds[1]);
    });
    std::ostringstream out;
    readFrames(fds[0], range, [&](std::span<const TouchPoint> points, double time) {
        out << (out.tellp() > 0 ? " " : "") << time << ":";
        for (const auto& p : points) {
            out << "(" << p.x << "," << p.y << ")";
        }
    });
    writer.join();
    close(fds[0]);
    return out.str();
}

TEST(TouchFrames, EventStreamsBecomeFrames) {
    const auto slot = [](int s) { return ev(EV_ABS, ABS_MT_SLOT, s); };
    const auto id = [](int v) { return ev(EV_ABS, ABS_MT_TRACKING_ID, v); };
    const auto x = [](int v) { return ev(EV_ABS, ABS_MT_POSITION_X, v); };
    const auto y = [](int v) { return ev(EV_ABS, ABS_MT_POSITION_Y, v); };
    const auto syn = [](long usec) { return ev(EV_SYN, SYN_REPORT, 0, usec); };
    const AxisRange pad{0, 1000, 0, 500};
    struct Case {
        const char* name;
        std::vector<input_event> events;
        const char* frames;
        AxisRange range;
        std::size_t trailing = 0;
    };
    const std::vector<Case> cases = {
        {"one finger, y flipped toward the far edge",
         {slot(0), id(7), x(250), y(500), syn(1500000), x(1000), y(0), syn(1600000)},
         "1.5:(0.25,0) 1.6:(1,1)",
         pad},
        {"second finger joins, first lifts, then all lift",
         {slot(0), id(1), x(0), y(250), slot(1), id(2), x(500), y(250), syn(1000000), slot(0),
          id(-1), syn(2000000), slot(1), id(-1), syn(3000000)},
         "1:(0,0.5)(0.5,0.5) 2:(0.5,0.5) 3:",
         pad},
        {"a slot reused by a new contact keeps only the new one",
         {slot(3), id(5), x(100), y(100), syn(1000000), id(-1), syn(1100000), id(6), x(900), y(400),
          syn(1200000)},
         "1:(0.1,0.8) 1.1: 1.2:(0.9,0.2)",
         pad},
        {"a report without contacts is an empty frame",
         {syn(500000), ev(EV_KEY, BTN_LEFT, 1), syn(600000)},
         "0.5: 0.6:",
         pad},
        {"partial updates keep the other axis",
         {slot(0), id(1), x(200), y(100), syn(1000000), x(400), syn(1100000)},
         "1:(0.2,0.8) 1.1:(0.4,0.8)",
         pad},
        {"lost events are skipped to the next report and contacts forgotten",
         {slot(0), id(1), x(200), y(100), syn(1000000), ev(EV_SYN, SYN_DROPPED, 0), x(999),
          syn(1100000), syn(1200000)},
         "1:(0.2,0.8) 1.2:",
         pad},
        {"negative axis minimum and values out of range",
         {slot(0), id(1), x(0), y(-100), slot(1), id(2), x(5000), y(-900), syn(2000000)},
         "2:(0.5,1)(1,1)",
         {-100, 100, -100, 100}},
        {"slots beyond the supported count are ignored",
         {slot(40), id(1), x(10), y(10), syn(1000000)},
         "1:",
         pad},
        {"a trailing partial record is ignored",
         {slot(0), id(1), x(500), y(250), syn(1000000)},
         "1:(0.5,0.5)",
         pad,
         7},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(framesOf(c.events, c.range, c.trailing), c.frames) << c.name;
    }
}

TEST(TouchDevices, OnlyTouchpadsAreChosenInNumberOrder) {
    const TouchCapabilities touchpad{true, true, true, false};
    const TouchCapabilities touchscreen{true, true, false, true};
    const TouchCapabilities tablet{true, true, true, true};
    const TouchCapabilities mouse{false, false, true, false};
    const TouchCapabilities oneAxis{true, false, true, false};
    const auto folder =
        std::filesystem::temp_directory_path() / ("ombrel-input-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::map<std::string, std::optional<TouchCapabilities>> devices = {
        {"event0", mouse},     {"event2", touchpad},
        {"event10", touchpad}, {"event3", touchscreen},
        {"event5", tablet},    {"event4", std::nullopt},
        {"event6", oneAxis},   {"event7", TouchCapabilities{}},
        {"mouse0", touchpad},  {"event", touchpad},
        {"eventX1", touchpad}, {"event8", std::nullopt}};
    for (const auto& [name, caps] : devices) {
        std::ofstream(folder / name) << "";
    }
    EXPECT_EQ(touchpadPaths(folder.string(),
                            [&](const std::string& path) {
                                return devices.at(std::filesystem::path(path).filename().string());
                            }),
              (std::vector<std::string>{folder / "event2", folder / "event10"}));
    // Files that are not input devices are not listed by the real source either.
    EXPECT_TRUE(EvdevMultitouch(folder.string()).deviceList().empty());
    EXPECT_TRUE(EvdevMultitouch((folder / "nothing-here").string()).deviceList().empty());
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace ombrel::linux_platform
