// Recorded touchpad event streams replayed through the frame builder. A line holds what the kernel
// sends up to one SYN_REPORT, "<time> <code> <value> ...", then "=>" (the SYN_REPORT) and the
// frame it must make, "(x,y)" per finger; a line without "=>" must make no frame. Codes are evdev
// names without their prefix: X, Y, ID and SLOT are ABS_MT_POSITION_X, ABS_MT_POSITION_Y,
// ABS_MT_TRACKING_ID and ABS_MT_SLOT, TRIPLETAP is BTN_TOOL_TRIPLETAP, LEFT BTN_LEFT, DROPPED
// SYN_DROPPED. "ENODEV" is the device leaving.
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

// The event named by the first of these prefixes followed by the short name that evdev knows.
input_event eventOf(const std::string& name, int32_t value, double time) {
    input_event e{};
    for (const char* prefix :
         {"ABS_MT_", "ABS_MT_POSITION_", "ABS_MT_TRACKING_", "BTN_TOOL_", "BTN_", "SYN_"}) {
        const std::string full = prefix + name;
        if (const int type = libevdev_event_type_from_code_name(full.c_str()); type >= 0) {
            e.type = static_cast<uint16_t>(type);
            e.code = static_cast<uint16_t>(libevdev_event_code_from_code_name(full.c_str()));
            e.value = value;
            e.input_event_sec = static_cast<long>(time);
            e.input_event_usec = std::lround((time - std::floor(time)) * 1e6);
            return e;
        }
    }
    ADD_FAILURE() << "no event code " << name;
    return e;
}

struct Recording {
    const char* name;
    TouchpadCapabilities caps;
    std::vector<std::string> lines;
    TouchpadState state = {};
};

TEST(TouchFrames, RecordedStreamsMakeTheRightFrames) {
    TouchpadState resting;  // a finger already down in slot 2 when the pad was opened
    resting.currentSlot = 2;
    resting.slotValues[2].trackingId = 7;
    const Recording recordings[] = {
        // hid-multitouch: protocol B, five slots, a buttonpad with keys for up to five fingers.
        {"precision pad: neither the keys nor the click add a finger, a palm is none, "
         "positions beyond the axis are at its edge, lost events are libevdev's to mend",
         {5, {0, 1000}, {0, 1000}, false, true, 0b111110},
         {// Three fingers land at once (one line, split).
          // NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
          "0 SLOT 0 ID 10 X 100 Y 500 SLOT 1 ID 11 X 300 Y 500 SLOT 2 ID 12 X 500 Y 250 "
          "TRIPLETAP 1 => (0.1,0.5)(0.3,0.5)(0.5,0.75)",
          "0.01 X 1200 LEFT 1 => (0.1,0.5)(0.3,0.5)(1,0.75)",
          "0.02 SLOT 0 ID -1 TRIPLETAP 0 DOUBLETAP 1 => (0.3,0.5)(1,0.75)",
          "0.03 SLOT 1 TOOL_TYPE 2 => (1,0.75)", "0.04 ID 30 TOOL_TYPE 0 => (0.3,0.5)(1,0.75)",
          "0.05 X 550 DROPPED 0", "0.06 SLOT 2 ID -1 SLOT 1 X 150 => (0.15,0.5)", "0.5 ENODEV =>"}},
        {"semi-mt pad: a third and fourth finger from the keys, at the tracked positions",
         {2, {0, 1000}, {0, 1000}, true, true, 0b11110},
         {"0 SLOT 0 ID 1 X 200 Y 500 SLOT 1 ID 2 X 600 Y 500 DOUBLETAP 1 => (0.2,0.5)(0.6,0.5)",
          "0.01 DOUBLETAP 0 TRIPLETAP 1 => (0.2,0.5)(0.6,0.5)(0.2,0.5)",
          "0.02 TRIPLETAP 0 QUADTAP 1 X 700 => (0.2,0.5)(0.7,0.5)(0.2,0.5)(0.7,0.5)",
          "0.03 ID -1 QUADTAP 0 FINGER 1 => (0.2,0.5)",
          // A palm is among the contacts the keys count, but no finger.
          "0.04 ID 3 SLOT 0 TOOL_TYPE 2 FINGER 0 TRIPLETAP 1 => (0.7,0.5)(0.7,0.5)"}},
        {"state at opening, the widest axis, a slot beyond the pad's",
         {16, {INT32_MIN, INT32_MAX}, {5, 5}, false, false, 0},
         {"0 X 2147483647 => (1,1)", "0.01 SLOT 16 ID 4 X 500 => (1,1)"},
         resting},
    };
    for (const auto& r : recordings) {
        TouchFrameBuilder builder(r.caps, r.state);
        for (const std::string& line : r.lines) {
            std::istringstream in(line);
            double time = 0;
            in >> time;
            std::ostringstream made;
            const auto note = [&] {
                made << "=>";
                for (const auto& p : builder.frame()) {
                    made << "(" << p.x << "," << p.y << ")";
                }
                EXPECT_NEAR(builder.time(), time, 1e-9) << line;
            };
            for (std::string code; in >> code;) {
                if (code == "ENODEV") {
                    builder.end(time);
                    note();
                    break;
                }
                const bool report = code == "=>";
                int32_t value = 0;
                if (!report) {
                    in >> value;
                }
                if (builder.feed(eventOf(report ? "REPORT" : code, value, time))) {
                    note();
                }
                if (report) {
                    break;
                }
            }
            std::string expected = line.substr(std::min(line.find("=>"), line.size()));
            std::erase(expected, ' ');
            EXPECT_EQ(made.str(), expected) << r.name << ": " << line;
        }
    }
}

}  // namespace
}  // namespace ombrel::linux_platform
