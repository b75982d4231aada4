// Global input as the engine sees it: the event tap that may swallow events, and the poster that
// injects the program's own keyboard, mouse and media-key events.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "config/model.h"
#include "platform/geometry.h"

namespace ombrel {

// Every keyboard and mouse event the program posts carries this in its source-user-data field, so
// the tap lets it through unmatched.
inline constexpr int64_t syntheticEventMarker = 0x4F4D42;

// Event types keep their Quartz numbers; the two pseudo-events say the tap was switched off.
enum class EventType : int32_t {
    leftMouseDown = 1,
    leftMouseUp = 2,
    mouseMoved = 5,
    leftMouseDragged = 6,
    keyDown = 10,
    flagsChanged = 12,
    otherMouseDown = 25,
    otherMouseUp = 26,
    tapDisabledByTimeout = -2,
    tapDisabledByUserInput = -1,
};

// The four modifier bits of the flags word; every other bit is ignored by matching.
namespace eventflags {
inline constexpr uint64_t command = 0x100000;
inline constexpr uint64_t option = 0x80000;
inline constexpr uint64_t control = 0x40000;
inline constexpr uint64_t shift = 0x20000;
}  // namespace eventflags

struct InputEvent {
    EventType type = EventType::mouseMoved;
    int64_t keyCode = 0;         // virtual key code (the macOS numbering, whatever the platform)
    uint64_t flags = 0;          // modifier flags word
    bool autorepeat = false;     // a key-down produced by holding the key
    int64_t button = 0;          // 0 left, 1 right, 2 centre, 3 and up the extra buttons
    int64_t sourceUserData = 0;  // syntheticEventMarker when the program posted it itself
    Point location;              // global display coordinates
};

// What the engine may need to swallow right now. A source that sees every event may ignore it; a
// source that must grab (X11) places exactly these grabs.
struct GrabRequest {
    std::vector<KeyCombo> hotkeys;  // enabled hotkey triggers
    std::vector<int64_t> buttons;   // enabled mouse-button triggers
    bool leftPress = false;         // a left press may be consumed by a trackpad click rule
    bool pointerMotion = false;     // a stroke or a drag needs pointer locations

    friend bool operator==(const GrabRequest&, const GrabRequest&) = default;
};

class EventTap {
  public:
    // Answers true to swallow the event, false to let it through unchanged.
    using Handler = std::function<bool(const InputEvent&)>;
    virtual ~EventTap() = default;

    // Whether the program may see and swallow global input now.
    virtual bool trusted() = 0;
    // Starts delivering events to the handler on the main thread; false when that failed.
    virtual bool install(Handler handler) = 0;
    // Switches a tap that the system switched off back on.
    virtual void reenable() = 0;
    virtual void setGrabs(const GrabRequest& request) = 0;
};

// A system-defined (media key) event: modifier flags word, subtype, data1 and data2.
struct AuxEvent {
    uint64_t modifierFlags = 0;
    int64_t subtype = 0;
    int64_t data1 = 0;
    int64_t data2 = 0;
    friend bool operator==(const AuxEvent&, const AuxEvent&) = default;
};

class EventPoster {
  public:
    virtual ~EventPoster() = default;
    // One half of a keystroke with exactly these flags; false when the event could not be made.
    virtual bool postKey(int64_t keyCode, bool down, uint64_t flags, int64_t userData) = 0;
    virtual bool postMouseButton(int64_t button, bool down, Point at, int64_t userData) = 0;
    virtual bool postAux(const AuxEvent& event) = 0;
    // The pointer position, or nothing when it cannot be read.
    virtual std::optional<Point> pointerLocation() = 0;
};

}  // namespace ombrel
