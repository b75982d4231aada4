// Recorded touchpad event streams replayed through the frame builder. Each line is one event,
// "E: <time> <code> <value>" as evemu records them (codes by name); a SYN_REPORT line ends with
// "=>" and the frame it must make, "(x,y)" per finger. "E: <time> ENODEV" is the device leaving.
#include <gtest/gtest.h>
#include <libevdev/libevdev.h>

#include <climits>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/touch_frames.h"

namespace ombrel::linux_platform {
namespace {

struct Recording {
    const char* name;
    TouchpadCapabilities caps;
    std::string events;
    TouchpadState state = {};
};

// The frames made and the frames expected, one "<time> <points>" string each.
std::pair<std::vector<std::string>, std::vector<std::string>> replay(const Recording& r) {
    TouchFrameBuilder builder(r.caps, r.state);
    std::vector<std::string> made;
    std::vector<std::string> expected;
    const auto note = [&](double time) {
        std::ostringstream out;
        out << time << " ";
        for (const auto& p : builder.frame()) {
            out << "(" << p.x << "," << p.y << ")";
        }
        made.push_back(out.str());
    };
    std::istringstream lines(r.events);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string code;
        double time = 0;
        input_event e{};
        if (!(in >> code >> time >> code)) {
            continue;
        }
        if (const auto arrow = line.find("=>"); arrow != std::string::npos) {
            std::string points = line.substr(arrow + 2);
            std::erase(points, ' ');
            expected.push_back((std::ostringstream() << time << " " << points).str());
        }
        if (code == "ENODEV") {
            builder.end(time);
            note(builder.time());
            continue;
        }
        const int type = libevdev_event_type_from_code_name(code.c_str());
        EXPECT_GE(type, 0) << line;
        e.type = static_cast<uint16_t>(type);
        e.code = static_cast<uint16_t>(libevdev_event_code_from_code_name(code.c_str()));
        in >> e.value;
        e.input_event_sec = static_cast<long>(time);
        e.input_event_usec = std::lround((time - std::floor(time)) * 1e6);
        if (builder.feed(e)) {
            note(builder.time());
        }
    }
    return {made, expected};
}

// Three fingers land at once on a precision pad.
const std::string threeLand = R"(
E: 0.00 ABS_MT_SLOT 0
E: 0.00 ABS_MT_TRACKING_ID 10
E: 0.00 ABS_MT_POSITION_X 100
E: 0.00 ABS_MT_POSITION_Y 500
E: 0.00 ABS_MT_SLOT 1
E: 0.00 ABS_MT_TRACKING_ID 11
E: 0.00 ABS_MT_POSITION_X 300
E: 0.00 ABS_MT_POSITION_Y 500
E: 0.00 ABS_MT_SLOT 2
E: 0.00 ABS_MT_TRACKING_ID 12
E: 0.00 ABS_MT_POSITION_X 500
E: 0.00 ABS_MT_POSITION_Y 250
E: 0.00 BTN_TOOL_TRIPLETAP 1
E: 0.00 SYN_REPORT 0 => (0.1,0.5)(0.3,0.5)(0.5,0.75)
)";

// hid-multitouch: protocol B, five slots, a buttonpad with keys for up to five fingers.
constexpr TouchpadCapabilities precision{5, {0, 1000}, {0, 1000}, false, true, 0b111110};

TEST(TouchFrames, RecordedStreamsMakeTheRightFrames) {
    TouchpadState resting;  // a finger already down in slot 2 when the pad was opened
    resting.currentSlot = 2;
    resting.slotValues[2].trackingId = 7;
    const Recording recordings[] = {
        {"precision pad: neither the keys nor the click add a finger", precision, threeLand + R"(
E: 0.01 ABS_MT_POSITION_X 600
E: 0.01 BTN_LEFT 1
E: 0.01 SYN_REPORT 0 => (0.1,0.5)(0.3,0.5)(0.6,0.75)
E: 0.02 ABS_MT_SLOT 0
E: 0.02 ABS_MT_TRACKING_ID -1
E: 0.02 BTN_TOOL_TRIPLETAP 0
E: 0.02 BTN_TOOL_DOUBLETAP 1
E: 0.02 SYN_REPORT 0 => (0.3,0.5)(0.6,0.75)
)"},
        {"semi-mt pad: a third and fourth finger from the keys, at the tracked positions",
         {2, {0, 1000}, {0, 1000}, true, true, 0b11110},
         R"(
E: 0.00 ABS_MT_SLOT 0
E: 0.00 ABS_MT_TRACKING_ID 1
E: 0.00 ABS_MT_POSITION_X 200
E: 0.00 ABS_MT_POSITION_Y 500
E: 0.00 ABS_MT_SLOT 1
E: 0.00 ABS_MT_TRACKING_ID 2
E: 0.00 ABS_MT_POSITION_X 600
E: 0.00 ABS_MT_POSITION_Y 500
E: 0.00 BTN_TOOL_DOUBLETAP 1
E: 0.00 SYN_REPORT 0 => (0.2,0.5)(0.6,0.5)
E: 0.01 BTN_TOOL_DOUBLETAP 0
E: 0.01 BTN_TOOL_TRIPLETAP 1
E: 0.01 SYN_REPORT 0 => (0.2,0.5)(0.6,0.5)(0.2,0.5)
E: 0.02 BTN_TOOL_TRIPLETAP 0
E: 0.02 BTN_TOOL_QUADTAP 1
E: 0.02 ABS_MT_POSITION_X 700
E: 0.02 SYN_REPORT 0 => (0.2,0.5)(0.7,0.5)(0.2,0.5)(0.7,0.5)
E: 0.03 ABS_MT_TRACKING_ID -1
E: 0.03 BTN_TOOL_QUADTAP 0
E: 0.03 BTN_TOOL_FINGER 1
E: 0.03 SYN_REPORT 0 => (0.2,0.5)
)"},
        {"a palm is no finger; the next contact in its slot is", precision, threeLand + R"(
E: 0.01 ABS_MT_SLOT 1
E: 0.01 ABS_MT_TOOL_TYPE 2
E: 0.01 SYN_REPORT 0 => (0.1,0.5)(0.5,0.75)
E: 0.02 ABS_MT_TRACKING_ID -1
E: 0.02 SYN_REPORT 0 => (0.1,0.5)(0.5,0.75)
E: 0.03 ABS_MT_TRACKING_ID 30
E: 0.03 ABS_MT_TOOL_TYPE 0
E: 0.03 SYN_REPORT 0 => (0.1,0.5)(0.3,0.5)(0.5,0.75)
)"},
        {"lost events: libevdev's resync ends lifted contacts and keeps the others", precision,
         threeLand + R"(
E: 0.01 ABS_MT_POSITION_X 550
E: 0.01 SYN_DROPPED 0
E: 0.05 ABS_MT_SLOT 2
E: 0.05 ABS_MT_TRACKING_ID -1
E: 0.05 ABS_MT_SLOT 0
E: 0.05 ABS_MT_POSITION_X 150
E: 0.05 SYN_REPORT 0 => (0.15,0.5)(0.3,0.5)
E: 0.06 SYN_DROPPED 0
E: 0.07 ABS_MT_SLOT 1
E: 0.07 ABS_MT_TRACKING_ID -1
E: 0.07 SYN_REPORT 0 => (0.15,0.5)
E: 0.07 ABS_MT_SLOT 1
E: 0.07 ABS_MT_TRACKING_ID 20
E: 0.07 ABS_MT_POSITION_X 900
E: 0.07 SYN_REPORT 0 => (0.15,0.5)(0.9,0.5)
E: 0.08 SYN_DROPPED 0
E: 0.09 ABS_MT_SLOT 0
E: 0.09 ABS_MT_TRACKING_ID -1
E: 0.09 ABS_MT_SLOT 1
E: 0.09 ABS_MT_TRACKING_ID -1
E: 0.09 SYN_REPORT 0 =>
)"},
        {"the device leaves mid-gesture", precision, threeLand + "E: 0.5 ENODEV =>"},
        {"state at opening, the widest axis, a slot the pad does not have",
         {3, {INT32_MIN, INT32_MAX}, {5, 5}, false, false, 0},
         R"(
E: 0.00 ABS_MT_POSITION_X 2147483647
E: 0.00 SYN_REPORT 0 => (1,1)
E: 0.01 ABS_MT_SLOT 3
E: 0.01 ABS_MT_TRACKING_ID 4
E: 0.01 SYN_REPORT 0 => (1,1)
)",
         resting},
    };
    for (const auto& r : recordings) {
        const auto [made, expected] = replay(r);
        EXPECT_EQ(made, expected) << r.name;
    }
}

}  // namespace
}  // namespace ombrel::linux_platform
