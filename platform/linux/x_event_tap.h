// Global keyboard and mouse input on X11: synchronous passive grabs for what may be swallowed,
// raw events for everything else, translated into the events the engine decides on. The
// keyboards' raw keys are heard only while something needs them; the XTEST keyboards' always.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/linux/libinput_props.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_event_poster.h"

namespace ombrel::linux_platform {

class X11EventTap : public EventTap {
  public:
    // The poster's ledger tells the program's own XTEST events from everybody else's.
    X11EventTap(XConnection& connection, X11EventPoster& poster);
    ~X11EventTap() override;
    X11EventTap(const X11EventTap&) = delete;
    X11EventTap& operator=(const X11EventTap&) = delete;

    // A connection with XInput 2.2 and XTEST.
    [[nodiscard]] bool inputAvailable() const override;
    // Why input is not available, as a sentence for the settings window; empty when it is.
    [[nodiscard]] std::string unavailableReason() const;
    bool install(Handler handler) override;
    TakenGrabs setGrabs(const GrabRequest& request) override;
    [[nodiscard]] bool placingGrabs() const override;
    void onGrabsPlaced(std::function<void(TakenGrabs)> placed) override;

    // Whether a pointer device is the touchpad's, from its id and its "Device Node" (empty when
    // it has none). By default: a node that udev counts among the touchpads.
    using TouchpadMatcher = std::function<bool(int device, const std::string& node)>;
    void setTouchpadMatcher(TouchpadMatcher matcher);
    [[nodiscard]] TouchpadDriver touchpadDriver() const override { return driver_; }
    // Runs after touchpadDriver() changed: a touchpad came or went, or its settings changed.
    void observeTouchpadDriver(std::function<void()> observer) {
        driverObserver_ = std::move(observer);
    }
    // How many raw key events of keyboards (not XTEST) the tap has handled (tests).
    [[nodiscard]] uint64_t keyboardKeysHeard() const { return keyboardKeysHeard_; }

  private:
    struct KeyGrab {
        static constexpr unsigned anyState = ~0U;  // the key whole, with any modifiers
        KeyCombo combo;
        unsigned keycode = 0;
        unsigned state = 0;   // X modifier mask, or anyState
        bool placed = false;  // asked of the server (taken says whether it refused)
        bool taken = false;
        std::vector<KeyCombo> wholeCombos;  // what a whole key's grab stands for
    };
    struct ButtonGrab {
        int64_t button = 0;
        unsigned xButton = 0;
        bool placed = false;
        bool taken = false;
        bool rule = true;  // asked for by a button rule, so reported when taken
    };
    // How long one turn may spend placing grabs before the events that came meanwhile are handed
    // out; each grab is a round trip the server answers more slowly the more grabs it holds.
    static constexpr double placingSeconds = 0.0005;
    // A key bound with at least this many of the 16 mixes of the four modifiers is grabbed whole.
    static constexpr std::ptrdiff_t wholeKeyMixes = 8;
    // Who sent the last raw event: the grabbed event that may follow it reuses the verdict.
    struct Verdict {
        bool valid = false;
        unsigned code = 0;
        bool press = false;
        Time time = 0;
        int source = 0;
        std::optional<PostLedger::Entry> own;
    };

    [[nodiscard]] bool live() const { return installed_ && x_.connected(); }
    void onEvent(XEvent& event);
    void handle(XEvent& event);
    void findDevices();
    void findTouchpads(const std::vector<int>& pointers);
    void readTouchpadDriver();
    [[nodiscard]] bool isTouchpad(int device) const {
        return device >= 0 && device < static_cast<int>(touchpadDevices_.size()) &&
               touchpadDevices_[static_cast<std::size_t>(device)];
    }
    void selectEvents();
    void selectRaw();
    // Whether the keyboards' raw keys are needed now; and starting or stopping to hear them.
    [[nodiscard]] bool needKeyboards() const;
    void updateListening();
    // Selecting them, and reading which keys are down.
    void listen();
    // Which keys each keyboard holds, once the keyboards are heard.
    void readKeymap();
    void rebuild();
    // Places grabs not placed yet for a short while; true when some are left for the next turn.
    bool placeSome();
    void grabAll();
    void ungrabAll();
    void grab(KeyGrab& g);
    void ungrab(const KeyGrab& g);
    void grab(ButtonGrab& g);
    void ungrab(const ButtonGrab& g);
    [[nodiscard]] TakenGrabs taken() const;
    void onGrabbedKey(const XIDeviceEvent& e);
    void onGrabbedButton(const XIDeviceEvent& e, bool press);
    void onRawKey(const XIRawEvent& e, bool press);
    void onRawButton(const XIRawEvent& e, bool press);
    void onRawMotion(const XIRawEvent& e);
    void onModifierState(unsigned state, unsigned keycode, Time time);
    void releaseStuckKeys();
    // The posted entry the event is, or nothing when it is the user's.
    std::optional<PostLedger::Entry> ownEntry(PostLedger::Kind kind, unsigned code, bool press,
                                              int source, Time time, bool raw);
    void trackModifier(unsigned keycode, bool press, bool xtest,
                       const std::optional<PostLedger::Entry>& own);
    [[nodiscard]] bool isXTest(int device) const {
        return device >= 0 && device < static_cast<int>(xtestDevices_.size()) &&
               xtestDevices_[static_cast<std::size_t>(device)];
    }
    // The grab placed for the combination or button, held or taken; null for none.
    [[nodiscard]] const KeyGrab* grabFor(unsigned keycode, unsigned state) const;
    // The key grabs the bindings ask for, by key code and state; and taking them over, letting
    // go of those no longer asked for.
    [[nodiscard]] std::vector<KeyGrab> wantedKeys() const;
    static bool keyBefore(const KeyGrab& a, const KeyGrab& b);
    static const KeyGrab* findKey(const std::vector<KeyGrab>& in, const KeyGrab& g);
    void adoptKeys(std::vector<KeyGrab> keys);
    [[nodiscard]] std::vector<XIGrabModifiers> variantsOf(const KeyGrab& g) const;
    [[nodiscard]] const ButtonGrab* grabFor(unsigned button) const;
    // Grabs another program held are placed again over the next turns.
    void retryTaken();
    Point pointer();
    // Hands the event to the handler; an exception counts as "let it through".
    bool decide(const InputEvent& event) noexcept;

    XConnection& x_;
    X11EventPoster& poster_;
    Handler handler_;
    std::function<void(TakenGrabs)> placed_;
    bool backlog_ = false;  // grabs were left for later turns; placed_ is told when they are done
    bool installed_ = false;
    GrabRequest request_;
    std::vector<KeyGrab> keyGrabs_;  // by key code, then state
    std::bitset<256> grabbedKeys_;   // the key codes of keyGrabs_: most keys typed are not
    std::bitset<256> splitKeys_;     // keys another program holds part of: never grabbed whole
    std::vector<ButtonGrab> buttonGrabs_;
    std::vector<int> masterKeyboards_;
    std::vector<int> masterPointers_;
    std::bitset<256> xtestDevices_;
    std::vector<int> xtestKeyboards_;
    std::vector<int> slaveKeyboards_;  // every keyboard attached to a master, XTEST's too
    std::bitset<256> touchpadDevices_;
    TouchpadMatcher touchpadMatcher_;
    std::unique_ptr<LibinputProperties> properties_;
    TouchpadDriver driver_;
    std::function<void()> driverObserver_;
    std::bitset<256> modifierKeys_;
    std::bitset<256> ownModifierChange_;  // the last raw event of this modifier key was ours
    std::bitset<256> userDown_;           // modifier keys held on keyboards (not XTEST)
    std::bitset<256> keyDown_;            // keys some device holds, by their raw events
    std::bitset<256> heldForUser_;        // modifier keys the poster holds for the user
    // The keyboards' raw keys are selected: keyDown_ and userDown_ are only kept up while they are.
    bool listening_ = false;
    bool keysTaken_ = false;  // another program holds some key grab
    uint64_t keyboardKeysHeard_ = 0;
    // Masks of the modifiers that must not matter (lock, num lock, AltGr, ...), every mix of them.
    std::vector<unsigned> ignoredVariants_{0};
    unsigned ignoredMask_ = 0;
    Verdict lastRawKey_;
    Verdict lastRawButton_;
    bool checkStuckKeys_ = false;
    Atom activeWindowAtom_ = None;
    bool leftDown_ = false;
    unsigned state_ = 0;  // the X modifier state
    Mods reported_;       // the modifier set the engine last heard of
};

}  // namespace ombrel::linux_platform
