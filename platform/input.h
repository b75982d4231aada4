// Global input as the engine sees it: the event tap that may swallow events, and the poster that
// sends the program's own keystrokes, media keys and clicks. Both speak the engine's terms: key
// codes as the bindings store them, modifier sets, the engine's button numbers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "config/model.h"
#include "placement/geometry.h"

namespace ombrel {

enum class InputKind : uint8_t {
    keyDown,           // a key press, fresh or repeated; key releases always reach applications
    modifiersChanged,  // the set of held modifiers changed
    pointerMoved,      // the pointer moved with the left button up
    leftDown,
    leftDragged,  // the pointer moved with the left button down
    leftUp,
    buttonDown,  // a button other than the left and the right one
    buttonUp,
};

struct InputEvent {
    InputKind kind = InputKind::pointerMoved;
    int64_t keyCode = 0;  // as the bindings store it
    Mods mods;            // of command, option, control and shift, those held; nothing else
    bool autorepeat = false;
    int64_t button = 0;  // 2 centre, 3 back, 4 forward, 5 and up the further buttons
    bool own = false;    // posted by this program, so never a trigger
    Point location;      // global display coordinates
    // When it happened, in seconds on the monotonic clock: the clock of touchpad frames and of
    // the input thread's queue.
    double time = 0;
    // From the touchpad's own pointer device: its driver's taps and clicks. The right button
    // (1) is reported only for these.
    bool touchpad = false;
};

// What the touchpad's driver makes of taps and physical clicks, as far as it tells.
struct TouchpadDriver {
    enum class Taps : uint8_t {
        unknown,          // not told: any button may come of a tap
        off,              // taps make no click
        leftRightMiddle,  // one, two, three fingers: left, right, middle
        leftMiddleRight,  // one, two, three fingers: left, middle, right
    };
    enum class Clicks : uint8_t {
        unknown,
        buttonAreas,  // the button is where the pad is pressed
        clickfinger,  // the button is the number of fingers resting
        none,
    };
    // Some pointer device is known to be the touchpad's, so its events are marked `touchpad`.
    bool found = false;
    Taps taps = Taps::unknown;
    Clicks clicks = Clicks::unknown;

    friend bool operator==(const TouchpadDriver&, const TouchpadDriver&) = default;
};

// What the engine may need to swallow right now. A source that sees every event may ignore it; a
// source that must grab (X11) places exactly these grabs.
struct GrabRequest {
    std::vector<KeyCombo> hotkeys;  // enabled hotkey triggers
    std::vector<int64_t> buttons;   // enabled mouse-button triggers, 2 and up
    bool leftPress = false;         // a left press may be consumed by a trackpad click rule
    bool pointerMotion = false;     // a stroke or a drag needs pointer locations
    // The left, middle and right buttons, for a click the touchpad's driver makes of a touch
    // that runs a rule; presses from other devices are let through at once.
    bool touchpadButtons = false;
    // While a drawing rule may fire: the modifier set that starts a stroke, whose arrival must
    // carry the pointer's location. Other modifier changes may leave it out.
    std::optional<Mods> strokeMods;

    friend bool operator==(const GrabRequest&, const GrabRequest&) = default;
};

// Requested hotkeys and buttons that another program holds, so they cannot be swallowed here.
struct TakenGrabs {
    std::vector<KeyCombo> hotkeys;
    std::vector<int64_t> buttons;

    [[nodiscard]] bool empty() const { return hotkeys.empty() && buttons.empty(); }
    friend bool operator==(const TakenGrabs&, const TakenGrabs&) = default;
};

class EventTap {
  public:
    // Answers true to swallow the event, false to let it through unchanged.
    using Handler = std::function<bool(const InputEvent&)>;
    virtual ~EventTap() = default;

    // Whether global input can be seen, swallowed and posted now. Only asks; changes nothing.
    [[nodiscard]] virtual bool inputAvailable() const = 0;
    // Starts delivering events to the handler; false when that failed.
    virtual bool install(Handler handler) = 0;
    // Holds exactly these grabs; the ones another program held are tried again on every call.
    // Answers those still taken. A tap that places many grabs a few at a time, delivering events
    // in between, answers what it knows so far and tells the rest to onGrabsPlaced.
    virtual TakenGrabs setGrabs(const GrabRequest& request) = 0;
    // Whether asked-for grabs are still being placed.
    [[nodiscard]] virtual bool placingGrabs() const { return false; }
    // Called with the whole answer once grabs that took more than one go are all placed.
    virtual void onGrabsPlaced(std::function<void(TakenGrabs)> /*placed*/) {}
    // The touchpad's driver as last read; a source that cannot tell reports nothing found.
    [[nodiscard]] virtual TouchpadDriver touchpadDriver() const { return {}; }
};

enum class MediaKey { playPause, next, previous, volumeUp, volumeDown, mute };

// Everything posted is the program's own: the tap lets it through unmatched. Each call posts a
// press and a release with exactly the modifiers asked for: modifiers the user holds are released
// for the duration and held again afterwards. False when nothing could be posted.
class EventPoster {
  public:
    virtual ~EventPoster() = default;
    virtual bool postKeystroke(int64_t keyCode, Mods mods) = 0;
    virtual bool postMediaKey(MediaKey key) = 0;
    // A click of the button (the engine's numbering) at the point.
    virtual bool postClick(int64_t button, Point at) = 0;
    // The pointer position, or nothing when it cannot be read.
    virtual std::optional<Point> pointerLocation() = 0;
};

}  // namespace ombrel
