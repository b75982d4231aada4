// Recorded touchpad event streams replayed through the frame builder. Each line is one event,
// "E: <time> <name> <value>", as evemu records them but with names for codes; a SYN_REPORT line
// ends with "=>" and the frame it must make, "(x,y)" per finger. "E: <time> ENODEV" is the
// device leaving.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/touch_frames.h"

namespace ombrel::linux_platform {
namespace {

struct Code {
    const char* name;
    uint16_t type;
    uint16_t code;
};
constexpr Code codes[] = {
    {"SYN_REPORT", EV_SYN, SYN_REPORT},
    {"SYN_DROPPED", EV_SYN, SYN_DROPPED},
    {"ABS_X", EV_ABS, ABS_X},
    {"ABS_Y", EV_ABS, ABS_Y},
    {"ABS_MT_SLOT", EV_ABS, ABS_MT_SLOT},
    {"ABS_MT_TRACKING_ID", EV_ABS, ABS_MT_TRACKING_ID},
    {"ABS_MT_POSITION_X", EV_ABS, ABS_MT_POSITION_X},
    {"ABS_MT_POSITION_Y", EV_ABS, ABS_MT_POSITION_Y},
    {"ABS_MT_TOOL_TYPE", EV_ABS, ABS_MT_TOOL_TYPE},
    {"BTN_LEFT", EV_KEY, BTN_LEFT},
    {"BTN_TOUCH", EV_KEY, BTN_TOUCH},
    {"BTN_TOOL_FINGER", EV_KEY, BTN_TOOL_FINGER},
    {"BTN_TOOL_DOUBLETAP", EV_KEY, BTN_TOOL_DOUBLETAP},
    {"BTN_TOOL_TRIPLETAP", EV_KEY, BTN_TOOL_TRIPLETAP},
    {"BTN_TOOL_QUADTAP", EV_KEY, BTN_TOOL_QUADTAP},
};

std::string text(std::span<const TouchPoint> frame) {
    std::ostringstream out;
    for (const auto& p : frame) {
        out << "(" << p.x << "," << p.y << ")";
    }
    return out.str();
}

struct Recording {
    const char* name;
    TouchpadCapabilities caps;
    std::string events;
    TouchpadState state = {};
};

// Frames made and frames expected, as "<time> <points>" lines.
std::pair<std::vector<std::string>, std::vector<std::string>> replay(const Recording& r) {
    TouchFrameBuilder builder(r.caps, r.state);
    std::vector<std::string> made;
    std::vector<std::string> expected;
    std::istringstream lines(r.events);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string tag;
        std::string name;
        double time = 0;
        if (!(in >> tag >> time >> name)) {
            continue;
        }
        std::ostringstream stamp;
        stamp << time << " ";
        if (const auto arrow = line.find("=>"); arrow != std::string::npos) {
            std::string points = line.substr(arrow + 2);
            std::erase(points, ' ');
            expected.push_back(stamp.str() + points);
        }
        if (name == "ENODEV") {
            builder.end(time);
            made.push_back(stamp.str() + text(builder.frame()));
            continue;
        }
        input_event e{};
        const auto* c = std::find_if(std::begin(codes), std::end(codes),
                                     [&](const Code& k) { return name == k.name; });
        EXPECT_NE(c, std::end(codes)) << line;
        e.type = c->type;
        e.code = c->code;
        in >> e.value;
        e.input_event_sec = static_cast<long>(std::floor(time));
        e.input_event_usec = std::lround((time - std::floor(time)) * 1e6);
        if (builder.feed(e)) {
            std::ostringstream frame;
            frame << builder.time() << " " << text(builder.frame());
            made.push_back(frame.str());
        }
    }
    return {made, expected};
}

// Three fingers land at once on a five-slot pad.
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

constexpr TouchpadCapabilities precision{5, {0, 1000}, {0, 1000}, false, true, 0b111110};
constexpr TouchpadCapabilities semiMt{2, {0, 1000}, {0, 1000}, true, true, 0b11110};

TEST(TouchFrames, RecordedStreamsMakeTheRightFrames) {
    TouchpadState resting;  // a finger already down in slot 2 when the pad was opened
    resting.currentSlot = 2;
    resting.slotValues[2].trackingId = 7;
    const Recording recordings[] = {
        {"precision pad: keys and the click add no finger; lifts one by one", precision,
         threeLand + R"(
E: 0.01 ABS_MT_POSITION_X 600
E: 0.01 BTN_LEFT 1
E: 0.01 SYN_REPORT 0 => (0.1,0.5)(0.3,0.5)(0.6,0.75)
E: 0.02 ABS_MT_SLOT 0
E: 0.02 ABS_MT_TRACKING_ID -1
E: 0.02 BTN_TOOL_TRIPLETAP 0
E: 0.02 BTN_TOOL_DOUBLETAP 1
E: 0.02 SYN_REPORT 0 => (0.3,0.5)(0.6,0.75)
E: 0.03 ABS_MT_SLOT 1
E: 0.03 ABS_MT_TRACKING_ID -1
E: 0.03 ABS_MT_SLOT 2
E: 0.03 ABS_MT_TRACKING_ID -1
E: 0.03 BTN_TOOL_DOUBLETAP 0
E: 0.03 SYN_REPORT 0 =>
)"},
        {"semi-mt pad: third and fourth finger from the keys, at the tracked positions", semiMt,
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
E: 0.04 ABS_MT_SLOT 0
E: 0.04 ABS_MT_TRACKING_ID -1
E: 0.04 BTN_TOOL_FINGER 0
E: 0.04 SYN_REPORT 0 =>
)"},
        {"a palm is no finger, a new contact in its slot is, a finger turned palm is not",
         precision, R"(
E: 0.00 ABS_MT_SLOT 0
E: 0.00 ABS_MT_TRACKING_ID 1
E: 0.00 ABS_MT_POSITION_X 200
E: 0.00 ABS_MT_POSITION_Y 500
E: 0.00 ABS_MT_SLOT 1
E: 0.00 ABS_MT_TRACKING_ID 2
E: 0.00 ABS_MT_TOOL_TYPE 2
E: 0.00 ABS_MT_POSITION_X 800
E: 0.00 ABS_MT_POSITION_Y 900
E: 0.00 BTN_TOOL_DOUBLETAP 1
E: 0.00 SYN_REPORT 0 => (0.2,0.5)
E: 0.01 ABS_MT_TRACKING_ID -1
E: 0.01 SYN_REPORT 0 => (0.2,0.5)
E: 0.02 ABS_MT_TRACKING_ID 3
E: 0.02 ABS_MT_TOOL_TYPE 0
E: 0.02 SYN_REPORT 0 => (0.2,0.5)(0.8,0.1)
E: 0.03 ABS_MT_SLOT 0
E: 0.03 ABS_MT_TOOL_TYPE 2
E: 0.03 SYN_REPORT 0 => (0.8,0.1)
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
        {"the device leaves mid-gesture: one empty frame", precision, threeLand + R"(
E: 0.50 ENODEV => 
)"},
        {"state at opening, the widest axis, an unannounced slot",
         {3, {INT32_MIN, INT32_MAX}, {5, 5}, false, false, 0},
         R"(
E: 0.00 ABS_MT_POSITION_X 2147483647
E: 0.00 SYN_REPORT 0 => (1,1)
E: 0.01 ABS_MT_SLOT 3
E: 0.01 ABS_MT_TRACKING_ID 4
E: 0.01 ABS_MT_POSITION_X 0
E: 0.01 SYN_REPORT 0 => (1,1)
E: 0.02 ABS_MT_SLOT 2
E: 0.02 ABS_MT_POSITION_X -2147483648
E: 0.02 SYN_REPORT 0 => (0,1)
)",
         resting},
        {"a pad without slots: its fingers stand at the pointer while it touches",
         {0, {0, 1000}, {0, 1000}, false, false, 0b1110},
         R"(
E: 0.00 ABS_X 500
E: 0.00 ABS_Y 500
E: 0.00 BTN_TOOL_FINGER 1
E: 0.00 SYN_REPORT 0 =>
E: 0.01 BTN_TOUCH 1
E: 0.01 BTN_TOOL_FINGER 0
E: 0.01 BTN_TOOL_TRIPLETAP 1
E: 0.01 SYN_REPORT 0 => (0.5,0.5)(0.5,0.5)(0.5,0.5)
E: 0.02 BTN_TOUCH 0
E: 0.02 SYN_REPORT 0 =>
)"},
    };
    for (const auto& r : recordings) {
        const auto [made, expected] = replay(r);
        EXPECT_EQ(made, expected) << r.name;
    }
}

}  // namespace
}  // namespace ombrel::linux_platform
