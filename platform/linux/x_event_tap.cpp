// Turns grabbed and raw XInput 2 events into the engine's events and answers every grabbed one
// exactly once, so the keyboard and the pointer are never left frozen.
//
// What the X server does, and what follows from it:
// - A passive grab freezes its device until the grabbing client answers. The answer carries
//   CurrentTime: the event's own time may be older than a grab this client has since taken on
//   the other device, and the server ignores answers older than the client's latest grab.
// - A swallowed key ends its grab at once, so keys typed and posted while the trigger is still
//   held reach applications; the key-up of the trigger then reaches the application too.
// - A swallowed button keeps its grab (answered XISyncDevice) so its release is swallowed as
//   well; any other button meanwhile is replayed to the application, which ends the grab.
// - Raw events arrive before the grabbed event they belong to, and none arrive for a device this
//   client holds grabbed; either may therefore be the first to ask the poster's ledger.
// - Every client that selects the keyboards' raw keys wakes for every key typed. They are
//   selected only while something needs them: a stroke or a drag (a key ends a stroke), a
//   combination another program holds (its press asks for it again), a post in flight or a
//   modifier held for the user (the user's modifiers), a check for stuck keys or a key still down
//   once heard (which keys are down). When they are selected again, which keys are down is read
//   afresh, after the selection so that nothing falls in between; a grabbed key's repeat asks its
//   keyboard.
//   The XTEST keyboards' raw keys are always selected, one by one, for the ledger: while the
//   keyboards' are too, the copy that comes through the master device is dropped.
#include "platform/linux/x_event_tap.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XInput.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <string_view>
#include <tuple>
#include <utility>

#include "platform/linux/key_codes.h"
#include "platform/linux/udev_touchpads.h"
#include "platform/log.h"

namespace ombrel::linux_platform {

namespace {

constexpr unsigned fourModifiers = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

struct Mask {
    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
    XIEventMask mask{};
    Mask(int device, std::initializer_list<int> events) {
        for (int e : events) {
            XISetMask(bits.data(), e);
        }
        mask.deviceid = device;
        mask.mask_len = static_cast<int>(bits.size());
        mask.mask = bits.data();
    }
};

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Whether a button other than this one is down, from the state a device event carries.
bool otherButtonDown(const XIButtonState& buttons, unsigned button) {
    for (int i = 0; i < buttons.mask_len * 8; ++i) {
        if (static_cast<unsigned>(i) != button && XIMaskIsSet(buttons.mask, i)) {
            return true;
        }
    }
    return false;
}

}  // namespace

X11EventTap::X11EventTap(XConnection& connection, X11EventPoster& poster)
    : x_(connection),
      poster_(poster),
      touchpadMatcher_([](int, const std::string& node) { return isTouchpadNode(node); }) {
    // A change of the active window is when a grab another program held is asked for again.
    x_.selectRootInput(PropertyChangeMask);
    x_.addListener([this](XEvent& e) { onEvent(e); });
    x_.addIdleListener([this] {
        if (checkStuckKeys_ && live()) {
            releaseStuckKeys();
            updateListening();
        }
    });
    x_.addConnectedListener([this] {
        // A new connection holds none of the old grabs, nor selects anything.
        if (live()) {
            listening_ = false;
            findDevices();
            selectEvents();
            readKeymap();
            grabAll();
            updateListening();
        }
    });
    // The user's modifiers are read before the poster's requests are made.
    poster_.beforePosting([this] {
        if (live() && !listening_) {
            listen();
        }
    });
    // Many bindings take many round trips: events are answered between them.
    x_.addStep([this] {
        if (!live() || !backlog_) {
            return false;
        }
        if (placeSome()) {
            return true;
        }
        backlog_ = false;
        updateListening();
        if (placed_) {
            placed_(taken());
        }
        return false;
    });
}

bool X11EventTap::placingGrabs() const {
    return live() && backlog_;
}

void X11EventTap::onGrabsPlaced(std::function<void(TakenGrabs)> placed) {
    placed_ = std::move(placed);
}

X11EventTap::~X11EventTap() {
    if (live()) {
        ungrabAll();
        XFlush(x_.display());
    }
}

bool X11EventTap::inputAvailable() const {
    return x_.connected() && x_.hasXInput22() && x_.hasXTest();
}

std::string X11EventTap::unavailableReason() const {
    const std::string start = "Shortcuts, mouse buttons and drawings do nothing: ";
    if (!x_.connected()) {
        return start + "there is no connection to the X server.";
    }
    if (!x_.hasXInput22()) {
        return start + "the X server does not offer XInput 2.2.";
    }
    if (!x_.hasXTest()) {
        return start + "the X server does not offer the XTEST extension.";
    }
    return {};
}

bool X11EventTap::install(Handler handler) {
    if (!inputAvailable()) {
        return false;
    }
    handler_ = std::move(handler);
    installed_ = true;
    findDevices();
    selectEvents();
    readKeymap();
    grabAll();
    updateListening();
    return true;
}

TakenGrabs X11EventTap::setGrabs(const GrabRequest& request) {
    const bool motionChanged = request.pointerMotion != request_.pointerMotion;
    request_ = request;
    if (motionChanged && live()) {
        selectEvents();
    }
    std::vector<ButtonGrab> buttons;
    auto addButton = [&buttons](int64_t button, bool rule) {
        const auto x = xButtonFromEngine(button);
        if (x && std::none_of(buttons.begin(), buttons.end(),
                              [&](const ButtonGrab& g) { return g.xButton == *x; })) {
            buttons.push_back({button, *x, false, false, rule});
        }
    };
    for (int64_t b : request.buttons) {
        // The left and the right button only for the touchpad's clicks.
        if (b >= 2) {
            addButton(b, true);
        }
    }
    if (request.leftPress || request.touchpadButtons) {
        addButton(0, false);
    }
    if (request.touchpadButtons) {
        addButton(1, false);
        addButton(2, false);
    }
    // What is held and not refused stays; what is new, and what another program held, is placed
    // (again) over the next turns.
    adoptKeys(wantedKeys());
    for (auto& g : buttons) {
        const auto old = std::find_if(buttonGrabs_.begin(), buttonGrabs_.end(),
                                      [&](const ButtonGrab& o) { return o.xButton == g.xButton; });
        g.placed = old != buttonGrabs_.end() && old->placed && !old->taken;
    }
    if (live()) {
        for (const auto& old : buttonGrabs_) {
            if (old.placed &&
                std::none_of(buttons.begin(), buttons.end(),
                             [&](const ButtonGrab& g) { return g.xButton == old.xButton; })) {
                ungrab(old);
            }
        }
        XFlush(x_.display());
    }
    buttonGrabs_ = std::move(buttons);
    if (live()) {
        backlog_ = placeSome();
        updateListening();
    }
    return taken();
}

bool X11EventTap::keyBefore(const KeyGrab& a, const KeyGrab& b) {
    return std::tie(a.keycode, a.state) < std::tie(b.keycode, b.state);
}

const X11EventTap::KeyGrab* X11EventTap::findKey(const std::vector<KeyGrab>& in, const KeyGrab& g) {
    const auto it = std::lower_bound(in.begin(), in.end(), g, keyBefore);
    return it != in.end() && it->keycode == g.keycode && it->state == g.state ? &*it : nullptr;
}

std::vector<X11EventTap::KeyGrab> X11EventTap::wantedKeys() const {
    std::vector<KeyGrab> keys;
    keys.reserve(request_.hotkeys.size());
    for (const auto& combo : request_.hotkeys) {
        const auto keycode = xKeyFromVirtual(combo.keyCode);
        const auto state = xStateFromMods(combo.mods);
        if (keycode && state) {
            keys.push_back({combo, *keycode, *state, false, false, {}});
        }
    }
    // Sorted, so that thousands of bindings are matched against the grabs held by search.
    std::stable_sort(keys.begin(), keys.end(), keyBefore);
    keys.erase(std::unique(keys.begin(), keys.end(),
                           [](const KeyGrab& a, const KeyGrab& b) {
                               return !keyBefore(a, b) && !keyBefore(b, a);
                           }),
               keys.end());
    // A key bound with most mixes of the four is grabbed whole, with any modifiers: one grab
    // instead of one per mix and lock, and the X server compares each new grab with all it
    // holds. Its presses that match nothing are replayed to the application.
    std::vector<KeyGrab> out;
    out.reserve(keys.size());
    for (auto first = keys.begin(); first != keys.end();) {
        const auto last = std::find_if(
            first, keys.end(), [&](const KeyGrab& g) { return g.keycode != first->keycode; });
        if (last - first >= wholeKeyMixes && first->keycode < splitKeys_.size() &&
            !splitKeys_[first->keycode]) {
            KeyGrab whole{first->combo, first->keycode, KeyGrab::anyState, false, false, {}};
            for (auto it = first; it != last; ++it) {
                whole.wholeCombos.push_back(it->combo);
            }
            out.push_back(std::move(whole));
        } else {
            std::move(first, last, std::back_inserter(out));
        }
        first = last;
    }
    return out;
}

void X11EventTap::adoptKeys(std::vector<KeyGrab> keys) {
    for (auto& g : keys) {
        const KeyGrab* old = findKey(keyGrabs_, g);
        g.placed = old != nullptr && old->placed && !old->taken;
    }
    if (live()) {
        // Let go of what is no longer wanted at once: that needs no answer. A whole key goes
        // first, as letting it go lets go of every grab of the key.
        for (const bool whole : {true, false}) {
            for (const auto& old : keyGrabs_) {
                if (old.placed && (old.state == KeyGrab::anyState) == whole &&
                    findKey(keys, old) == nullptr) {
                    ungrab(old);
                }
            }
        }
        XFlush(x_.display());
    }
    keyGrabs_ = std::move(keys);
    grabbedKeys_.reset();
    for (const auto& g : keyGrabs_) {
        if (g.keycode < grabbedKeys_.size()) {
            grabbedKeys_.set(g.keycode);
        }
    }
}

TakenGrabs X11EventTap::taken() const {
    TakenGrabs out;
    for (const auto& g : keyGrabs_) {
        if (g.placed && g.taken) {
            if (g.state == KeyGrab::anyState) {
                out.hotkeys.insert(out.hotkeys.end(), g.wholeCombos.begin(), g.wholeCombos.end());
            } else {
                out.hotkeys.push_back(g.combo);
            }
        }
    }
    for (const auto& g : buttonGrabs_) {
        if (g.placed && g.taken && g.rule) {
            out.buttons.push_back(g.button);
        }
    }
    return out;
}

bool X11EventTap::placeSome() {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::duration<double>(placingSeconds);
    XConnection::ErrorTrap trap(x_);  // errors of the lot, collected with one sync
    bool left = false;
    const auto place = [&](auto& grabs) {
        for (auto& g : grabs) {
            if (g.placed) {
                continue;
            }
            if (left || Clock::now() >= end) {
                left = true;
                return;
            }
            grab(g);
            g.placed = true;
        }
    };
    // Buttons first: the left one follows the fingers resting on the touchpad and must not wait
    // behind a long list of keys.
    place(buttonGrabs_);
    place(keyGrabs_);
    if (trap.failed() && x_.connected()) {
        log::note("The X server refused some of the grabs for the bindings.");
    }
    // A key another program holds with some modifiers cannot be had whole: grab its mixes one
    // by one, so that only the ones the other program holds are reported taken.
    bool split = false;
    for (const auto& g : keyGrabs_) {
        if (g.placed && g.taken && g.state == KeyGrab::anyState && g.keycode < splitKeys_.size()) {
            splitKeys_.set(g.keycode);
            split = true;
        }
    }
    if (split) {
        adoptKeys(wantedKeys());
        return true;
    }
    // Until every grab is placed, one may still turn out taken; one that was stays so meanwhile.
    if (!left) {
        keysTaken_ = std::any_of(keyGrabs_.begin(), keyGrabs_.end(),
                                 [](const KeyGrab& g) { return g.placed && g.taken; });
    }
    return left;
}

void X11EventTap::grabAll() {
    for (auto& g : keyGrabs_) {
        g.placed = false;
    }
    for (auto& g : buttonGrabs_) {
        g.placed = false;
    }
    backlog_ = placeSome();
}

void X11EventTap::ungrabAll() {
    for (auto& g : keyGrabs_) {
        if (std::exchange(g.placed, false)) {
            ungrab(g);
        }
    }
    for (auto& g : buttonGrabs_) {
        if (std::exchange(g.placed, false)) {
            ungrab(g);
        }
    }
}

std::vector<XIGrabModifiers> X11EventTap::variantsOf(const KeyGrab& g) const {
    std::vector<XIGrabModifiers> variants;
    if (g.state == KeyGrab::anyState) {
        variants.push_back({static_cast<int>(XIAnyModifier), 0});
        return variants;
    }
    for (unsigned v : ignoredVariants_) {
        variants.push_back({static_cast<int>(g.state | v), 0});
    }
    return variants;
}

void X11EventTap::grab(KeyGrab& g) {
    Display* d = x_.display();
    const Mask keys(0, {XI_KeyPress});
    std::vector<XIGrabModifiers> variants = variantsOf(g);
    g.taken = false;
    // Grabs go on each master device itself: with the all-masters pseudo-device a replayed event
    // would not reach the focused client.
    for (int device : masterKeyboards_) {
        XIEventMask mask = keys.mask;
        mask.deviceid = device;
        // The answer lists the variants that another client holds already (and rewrites them).
        auto asked = variants;
        g.taken |= XIGrabKeycode(d, device, static_cast<int>(g.keycode), x_.root(), XIGrabModeSync,
                                 XIGrabModeAsync, False, &mask, static_cast<int>(asked.size()),
                                 asked.data()) != 0;
    }
}

void X11EventTap::ungrab(const KeyGrab& g) {
    std::vector<XIGrabModifiers> variants = variantsOf(g);
    for (int device : masterKeyboards_) {
        XIUngrabKeycode(x_.display(), device, static_cast<int>(g.keycode), x_.root(),
                        static_cast<int>(variants.size()), variants.data());
    }
}

void X11EventTap::grab(ButtonGrab& g) {
    const Mask buttons(0, {XI_ButtonPress, XI_ButtonRelease});
    g.taken = false;
    for (int device : masterPointers_) {
        XIEventMask mask = buttons.mask;
        mask.deviceid = device;
        XIGrabModifiers any{static_cast<int>(XIAnyModifier), 0};
        g.taken |= XIGrabButton(x_.display(), device, static_cast<int>(g.xButton), x_.root(), None,
                                XIGrabModeSync, XIGrabModeAsync, False, &mask, 1, &any) != 0;
    }
}

void X11EventTap::ungrab(const ButtonGrab& g) {
    for (int device : masterPointers_) {
        XIGrabModifiers any{static_cast<int>(XIAnyModifier), 0};
        XIUngrabButton(x_.display(), device, static_cast<int>(g.xButton), x_.root(), 1, &any);
    }
}

void X11EventTap::retryTaken() {
    bool any = false;
    const auto again = [&any](auto& grabs) {
        for (auto& g : grabs) {
            if (g.placed && g.taken) {
                g.placed = false;
                any = true;
            }
        }
    };
    again(keyGrabs_);
    again(buttonGrabs_);
    // Placed over the next turns; placed_ hears the answer.
    backlog_ = backlog_ || any;
}

void X11EventTap::findDevices() {
    activeWindowAtom_ = x_.atom("_NET_ACTIVE_WINDOW");
    masterKeyboards_.clear();
    masterPointers_.clear();
    xtestDevices_.reset();
    xtestKeyboards_.clear();
    slaveKeyboards_.clear();
    modifierKeys_.reset();
    Display* d = x_.display();
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(d, XIAllDevices, &count);
    std::vector<int> pointers;
    for (int i = 0; i < count; ++i) {
        const XIDeviceInfo& info = devices[i];
        const std::string_view name = info.name != nullptr ? info.name : "";
        if (info.use == XISlavePointer) {
            pointers.push_back(info.deviceid);
        } else if (info.use == XISlaveKeyboard) {
            slaveKeyboards_.push_back(info.deviceid);
        }
        if (info.use == XIMasterKeyboard) {
            masterKeyboards_.push_back(info.deviceid);
        } else if (info.use == XIMasterPointer) {
            masterPointers_.push_back(info.deviceid);
        } else if ((endsWith(name, " XTEST keyboard") || endsWith(name, " XTEST pointer")) &&
                   info.deviceid >= 0 && info.deviceid < 256) {
            xtestDevices_.set(static_cast<std::size_t>(info.deviceid));
            if (info.use == XISlaveKeyboard) {
                xtestKeyboards_.push_back(info.deviceid);
            }
        }
    }
    if (devices != nullptr) {
        XIFreeDeviceInfo(devices);
    }
    findTouchpads(pointers);
    // Every modifier the keymap uses besides the four is one that must not matter.
    ignoredMask_ = LockMask;
    if (XModifierKeymap* map = XGetModifierMapping(d)) {
        for (int i = 0; i < 8 * map->max_keypermod; ++i) {
            if (map->modifiermap[i] != 0) {
                modifierKeys_.set(map->modifiermap[i]);
                ignoredMask_ |= (1U << (i / map->max_keypermod)) & ~fourModifiers;
            }
        }
        XFreeModifiermap(map);
    }
    ignoredVariants_.clear();
    for (unsigned v = 0; v <= ignoredMask_; ++v) {
        if ((v & ~ignoredMask_) == 0) {
            ignoredVariants_.push_back(v);
        }
    }
    // Keys held for the user are let go of: what tells when the user lets go is read afresh.
    for (unsigned k = 0; k < heldForUser_.size(); ++k) {
        if (heldForUser_[k]) {
            poster_.releaseKey(k);
        }
    }
    heldForUser_.reset();
    XkbStateRec state{};
    if (XkbGetState(d, XkbUseCoreKbd, &state) == Success) {
        state_ = state.mods;
        reported_ = modsFromX(state_);
    }
}

void X11EventTap::setTouchpadMatcher(TouchpadMatcher matcher) {
    touchpadMatcher_ = std::move(matcher);
    if (live()) {
        rebuild();
    }
}

void X11EventTap::findTouchpads(const std::vector<int>& pointers) {
    touchpadDevices_.reset();
    properties_ = std::make_unique<LibinputProperties>(x_.display());
    XConnection::ErrorTrap trap(x_);  // a device may leave while it is looked at
    for (const int device : pointers) {
        if (device >= 0 && device < static_cast<int>(touchpadDevices_.size()) && touchpadMatcher_ &&
            touchpadMatcher_(device, properties_->deviceNode(device).value_or(""))) {
            touchpadDevices_.set(static_cast<std::size_t>(device));
        }
    }
    trap.failed();
    readTouchpadDriver();
}

void X11EventTap::readTouchpadDriver() {
    TouchpadDriver driver;
    if (properties_) {
        XConnection::ErrorTrap trap(x_);
        for (std::size_t device = 0; device < touchpadDevices_.size(); ++device) {
            if (touchpadDevices_[device]) {
                TouchpadDriver one = driverFrom(properties_->read(static_cast<int>(device)));
                one.found = true;
                driver = driver.found ? combine(driver, one) : one;
            }
        }
        trap.failed();
    }
    if (driver != driver_) {
        driver_ = driver;
        if (driverObserver_) {
            driverObserver_();
        }
    }
}

void X11EventTap::selectEvents() {
    selectRaw();
    XkbSelectEventDetails(x_.display(), XkbUseCoreKbd, XkbStateNotify, XkbModifierStateMask,
                          XkbModifierStateMask);
    XFlush(x_.display());
}

void X11EventTap::selectRaw() {
    Mask raw(XIAllMasterDevices, {XI_RawButtonPress, XI_RawButtonRelease});
    if (listening_) {
        XISetMask(raw.bits.data(), XI_RawKeyPress);
        XISetMask(raw.bits.data(), XI_RawKeyRelease);
    }
    // Pointer motion is only listened to while a stroke or a drag needs it.
    if (request_.pointerMotion) {
        XISetMask(raw.bits.data(), XI_RawMotion);
    }
    // Property changes tell when the touchpad's driver settings change.
    Mask hierarchy(XIAllDevices, {XI_HierarchyChanged, XI_PropertyEvent});
    std::vector<XIEventMask> masks = {raw.mask, hierarchy.mask};
    const Mask xtest(0, {XI_RawKeyPress, XI_RawKeyRelease});
    for (const int device : xtestKeyboards_) {
        masks.push_back(xtest.mask);
        masks.back().deviceid = device;
    }
    XISelectEvents(x_.display(), x_.root(), masks.data(), static_cast<int>(masks.size()));
    XFlush(x_.display());
}

bool X11EventTap::needKeyboards() const {
    return request_.pointerMotion || keysTaken_ || backlog_ || heldForUser_.any() ||
           checkStuckKeys_ || (listening_ && (keyDown_ & ~modifierKeys_).any()) ||
           poster_.postingKeys();
}

void X11EventTap::updateListening() {
    if (needKeyboards() != listening_) {
        if (listening_) {
            listening_ = false;
            selectRaw();
        } else {
            listen();
        }
    }
}

void X11EventTap::listen() {
    listening_ = true;
    selectRaw();
    readKeymap();
}

void X11EventTap::readKeymap() {
    Display* d = x_.display();
    std::bitset<256> down;
    std::bitset<256> user;
    // Read from each keyboard, as the raw events tell of it: a keyboard frozen by a grab holds its
    // master's keys as they were while raw events already tell of what came after. The server is
    // grabbed so that no other client's XTEST key comes between the answers. Raw events queued
    // meanwhile were made after the selection: handled next, they change nothing the answers do
    // not already show, or come later.
    XGrabServer(d);
    for (const int id : slaveKeyboards_) {
        const bool fake =
            std::find(xtestKeyboards_.begin(), xtestKeyboards_.end(), id) != xtestKeyboards_.end();
        XDevice* device = XOpenDevice(d, static_cast<XID>(id));
        XDeviceState* state = device != nullptr ? XQueryDeviceState(d, device) : nullptr;
        auto* cls = state != nullptr ? state->data : nullptr;
        for (int i = 0; cls != nullptr && i < state->num_classes; ++i) {
            if (cls->c_class == KeyClass) {
                const auto* held = reinterpret_cast<const XKeyState*>(cls);
                for (std::size_t k = 0; k < down.size() && k / 8 < sizeof(held->keys); ++k) {
                    if ((held->keys[k / 8] & (1 << (k % 8))) != 0) {
                        down.set(k);
                        user[k] = user[k] || !fake;
                    }
                }
            }
            cls = reinterpret_cast<XInputClass*>(reinterpret_cast<char*>(cls) + cls->length);
        }
        if (state != nullptr) {
            XFreeDeviceState(state);
        }
        if (device != nullptr) {
            XCloseDevice(d, device);
        }
    }
    XUngrabServer(d);
    XFlush(d);
    keyDown_ = down;
    userDown_ = user & modifierKeys_;
}

void X11EventTap::rebuild() {
    // Devices came or went, or the modifier map changed: every grab is placed afresh.
    if (!live()) {
        return;
    }
    ungrabAll();
    findDevices();
    selectEvents();
    readKeymap();
    grabAll();
}

void X11EventTap::onEvent(XEvent& event) {
    if (!installed_) {
        return;
    }
    handle(event);
    if (live()) {
        updateListening();
    }
}

void X11EventTap::handle(XEvent& event) {
    if (x_.xkbEventBase() >= 0 && event.type == x_.xkbEventBase()) {
        const auto* xkb = reinterpret_cast<const XkbEvent*>(&event);
        if (xkb->any.xkb_type == XkbStateNotify) {
            onModifierState(xkb->state.mods, xkb->state.keycode, xkb->state.time);
        }
        return;
    }
    if (event.type == PropertyNotify) {
        if (event.xproperty.window == x_.root() && event.xproperty.atom == activeWindowAtom_) {
            retryTaken();
        }
        return;
    }
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        if (event.xmapping.request == MappingModifier) {
            rebuild();
        }
        return;
    }
    XGenericEventCookie& cookie = event.xcookie;
    if (event.type != GenericEvent || cookie.extension != x_.xiOpcode() || cookie.data == nullptr) {
        return;
    }
    switch (cookie.evtype) {
        case XI_KeyPress:
            onGrabbedKey(*static_cast<const XIDeviceEvent*>(cookie.data));
            break;
        case XI_ButtonPress:
        case XI_ButtonRelease:
            onGrabbedButton(*static_cast<const XIDeviceEvent*>(cookie.data),
                            cookie.evtype == XI_ButtonPress);
            break;
        case XI_RawKeyPress:
        case XI_RawKeyRelease:
            onRawKey(*static_cast<const XIRawEvent*>(cookie.data), cookie.evtype == XI_RawKeyPress);
            break;
        case XI_RawButtonPress:
        case XI_RawButtonRelease:
            onRawButton(*static_cast<const XIRawEvent*>(cookie.data),
                        cookie.evtype == XI_RawButtonPress);
            break;
        case XI_RawMotion:
            onRawMotion(*static_cast<const XIRawEvent*>(cookie.data));
            break;
        case XI_HierarchyChanged:
            rebuild();
            break;
        case XI_PropertyEvent: {
            const auto& e = *static_cast<const XIPropertyEvent*>(cookie.data);
            if (isTouchpad(e.deviceid) && properties_ && properties_->concerns(e.property)) {
                readTouchpadDriver();
            }
            break;
        }
        default:
            break;
    }
}

bool X11EventTap::decide(const InputEvent& event) noexcept {
    if (!handler_) {
        return false;
    }
    try {
        return handler_(event);
    } catch (...) {
        return false;
    }
}

std::optional<PostLedger::Entry> X11EventTap::ownEntry(PostLedger::Kind kind, unsigned code,
                                                       bool press, int source, Time time,
                                                       bool raw) {
    Verdict& last = kind == PostLedger::Kind::key ? lastRawKey_ : lastRawButton_;
    if (!raw && last.valid && last.code == code && last.press == press && last.time == time &&
        last.source == source) {
        last.valid = false;
        return last.own;
    }
    poster_.sawEvent(time);
    // Only XTEST events can be the program's own, and only the one it posted next.
    std::optional<PostLedger::Entry> entry;
    if (isXTest(source)) {
        entry = poster_.ownEvent({kind, code, press}, time);
    }
    if (raw) {
        last = {true, code, press, time, source, entry};
    }
    return entry;
}

void X11EventTap::trackModifier(unsigned keycode, bool press, bool xtest,
                                const std::optional<PostLedger::Entry>& own) {
    // The modifier state change that follows is the program's own exactly when this was.
    ownModifierChange_[keycode] = own.has_value();
    // A modifier the poster held again for the user is let go once the user lets go of it, also
    // when the user did so before the poster's press was made. Only keyboards count: another
    // XTEST client lets go of its keys at once, and its events can pass for the poster's.
    if (!own && !xtest) {
        userDown_[keycode] = press;
        if (!press && heldForUser_[keycode]) {
            heldForUser_[keycode] = false;
            poster_.releaseKey(keycode);
        }
    } else if (!press) {
        heldForUser_[keycode] = false;
    } else if (own && own->restore) {  // another XTEST client's press is not ours to undo
        heldForUser_[keycode] = userDown_[keycode];
        if (!userDown_[keycode]) {
            poster_.releaseKey(keycode);
        }
    }
}

void X11EventTap::onGrabbedKey(const XIDeviceEvent& e) {
    const auto keycode = static_cast<unsigned>(e.detail);
    InputEvent event;
    event.kind = InputKind::keyDown;
    event.keyCode = virtualKeyFromX(keycode).value_or(unmappedKeyBase);
    event.mods = modsFromX(static_cast<unsigned>(e.mods.effective));
    event.autorepeat = (e.flags & XIKeyRepeat) != 0;
    event.own =
        ownEntry(PostLedger::Kind::key, keycode, true, e.sourceid, e.time, false).has_value();
    event.location = {e.root_x, e.root_y};
    event.time = poster_.localTime(e.time);
    // Exactly one answer per grabbed press, at a time the server accepts.
    if (decide(event)) {
        XIUngrabDevice(x_.display(), e.deviceid, CurrentTime);
    } else {
        XIAllowEvents(x_.display(), e.deviceid, XIReplayDevice, CurrentTime);
    }
    XFlush(x_.display());
    // A key released while its grab held the keyboard frozen may still repeat: the server's
    // repeat can come after the queued release and leave the key down for good, repeating in the
    // focused application. One is let go at once (its keyboard is asked unless the keyboards are
    // heard: nothing else about the key is needed); after a long freeze all keys are looked at.
    if (event.autorepeat && keycode < keyDown_.size()) {
        if (!listening_) {
            readKeymap();
        }
        if (!keyDown_[keycode]) {
            poster_.releaseKey(keycode);
        }
    }
    constexpr int64_t longFreeze = 50;  // milliseconds, well below any repeat delay
    checkStuckKeys_ |= poster_.serverNow() - static_cast<int64_t>(e.time) > longFreeze;
}

void X11EventTap::onGrabbedButton(const XIDeviceEvent& e, bool press) {
    const auto xButton = static_cast<unsigned>(e.detail);
    const auto button = engineButtonFromX(xButton);
    const bool mine =
        ownEntry(PostLedger::Kind::button, xButton, press, e.sourceid, e.time, false).has_value();
    bool swallow = false;
    const bool touchpad = isTouchpad(e.sourceid);
    // The right button is grabbed only for the touchpad's clicks.
    if (button && (*button != 1 || touchpad)) {
        InputEvent event;
        event.button = *button;
        event.mods = modsFromX(static_cast<unsigned>(e.mods.effective));
        event.own = mine;
        event.location = {e.root_x, e.root_y};
        event.time = poster_.localTime(e.time);
        event.touchpad = touchpad;
        if (*button == 0) {
            leftDown_ = press;
            event.kind = press ? InputKind::leftDown : InputKind::leftUp;
        } else {
            event.kind = press ? InputKind::buttonDown : InputKind::buttonUp;
        }
        swallow = decide(event);
    }
    if (!press && !otherButtonDown(e.buttons, xButton)) {
        return;  // the grab ended with the last button: nothing is frozen
    }
    XIAllowEvents(x_.display(), e.deviceid, swallow ? XISyncDevice : XIReplayDevice, CurrentTime);
    XFlush(x_.display());
}

void X11EventTap::onRawKey(const XIRawEvent& e, bool press) {
    const auto keycode = static_cast<unsigned>(e.detail);
    const bool xtest = isXTest(e.sourceid);
    // An XTEST key comes through its own device, and also through the master while keyboards are
    // heard.
    if (keycode >= modifierKeys_.size() || (xtest && e.deviceid != e.sourceid)) {
        return;
    }
    if (!xtest) {
        ++keyboardKeysHeard_;
    }
    const auto entry = ownEntry(PostLedger::Kind::key, keycode, press, e.sourceid, e.time, true);
    keyDown_[keycode] = press;
    if (modifierKeys_[keycode]) {
        trackModifier(keycode, press, xtest, entry);
    }
    if (!press) {
        return;
    }
    // Modifier keys show as modifier changes; grabbed combinations arrive through their grab,
    // and one another program holds is asked for again: that program may have let go.
    if (modifierKeys_[keycode]) {
        return;
    }
    if (const KeyGrab* grab = grabFor(keycode, state_)) {
        if (grab->taken) {
            retryTaken();
        }
        return;
    }
    InputEvent event;
    event.kind = InputKind::keyDown;
    event.keyCode = virtualKeyFromX(keycode).value_or(unmappedKeyBase);
    event.mods = modsFromX(state_);
    event.autorepeat = (e.flags & XIKeyRepeat) != 0;
    event.own = entry.has_value();
    event.time = poster_.localTime(e.time);
    decide(event);  // seen, not grabbed: the application gets it whatever the answer
}

void X11EventTap::onRawButton(const XIRawEvent& e, bool press) {
    const auto xButton = static_cast<unsigned>(e.detail);
    const auto button = engineButtonFromX(xButton);
    const bool mine =
        ownEntry(PostLedger::Kind::button, xButton, press, e.sourceid, e.time, true).has_value();
    if (!button || *button == 1) {
        return;  // the wheel and the right button are never the engine's
    }
    if (*button == 0) {
        leftDown_ = press;
    }
    if (press) {
        if (const ButtonGrab* grab = grabFor(xButton)) {
            if (grab->taken) {
                retryTaken();
            }
            return;  // the grab reports this one
        }
    }
    InputEvent event;
    event.button = *button;
    event.mods = modsFromX(state_);
    event.own = mine;
    event.location = pointer();
    event.time = poster_.localTime(e.time);
    event.touchpad = isTouchpad(e.sourceid);
    if (*button == 0) {
        event.kind = press ? InputKind::leftDown : InputKind::leftUp;
    } else {
        event.kind = press ? InputKind::buttonDown : InputKind::buttonUp;
    }
    decide(event);
}

void X11EventTap::onRawMotion(const XIRawEvent& e) {
    // Raw motion carries no position: ask for it only while someone needs it.
    if (!request_.pointerMotion) {
        return;
    }
    poster_.sawEvent(e.time);
    InputEvent event;
    event.time = poster_.localTime(e.time);
    event.kind = leftDown_ ? InputKind::leftDragged : InputKind::pointerMoved;
    event.mods = reported_;
    event.location = pointer();
    decide(event);
}

void X11EventTap::onModifierState(unsigned state, unsigned keycode, Time time) {
    state_ = state;
    const Mods mods = modsFromX(state);
    // The modifiers the poster lets go of and holds again around a post are not the user's. The
    // mark is used up: the next change of the key may be the user's, whose keys go unheard.
    const bool own = keycode < ownModifierChange_.size() && ownModifierChange_[keycode];
    if (own) {
        ownModifierChange_[keycode] = false;
    }
    if (mods == reported_ || own) {
        return;
    }
    reported_ = mods;
    InputEvent event;
    event.kind = InputKind::modifiersChanged;
    event.mods = mods;
    poster_.sawEvent(time);
    event.time = poster_.localTime(time);
    // Asking for the pointer is a round trip: only a stroke's start and a stroke need it.
    if (request_.pointerMotion || request_.strokeMods == mods) {
        event.location = pointer();
    }
    decide(event);
}

void X11EventTap::releaseStuckKeys() {
    Display* d = x_.display();
    std::array<char, 32> keys{};
    XQueryKeymap(d, keys.data());
    // Events made before the answer have not been seen yet: look again once they have.
    if (XEventsQueued(d, QueuedAlready) > 0) {
        return;
    }
    checkStuckKeys_ = false;
    for (unsigned k = 8; k < keyDown_.size(); ++k) {
        if ((keys[k / 8] & (1 << (k % 8))) != 0 && !keyDown_[k] && !modifierKeys_[k]) {
            poster_.releaseKey(k);  // down on the server, held by no device
        }
    }
}

const X11EventTap::KeyGrab* X11EventTap::grabFor(unsigned keycode, unsigned state) const {
    if (keycode >= grabbedKeys_.size() || !grabbedKeys_[keycode]) {
        return nullptr;  // most keys typed: no grab names them
    }
    // A key grabbed whole is its only grab, and takes every modifier.
    KeyGrab probe;
    probe.keycode = keycode;
    probe.state = KeyGrab::anyState;
    const KeyGrab* g = findKey(keyGrabs_, probe);
    if (g == nullptr) {
        if ((state & ~(fourModifiers | ignoredMask_)) != 0) {
            return nullptr;  // a modifier no grab variant covers
        }
        probe.state = state & fourModifiers;
        g = findKey(keyGrabs_, probe);
    }
    return g != nullptr && g->placed ? g : nullptr;
}

const X11EventTap::ButtonGrab* X11EventTap::grabFor(unsigned button) const {
    const auto it =
        std::find_if(buttonGrabs_.begin(), buttonGrabs_.end(),
                     [&](const ButtonGrab& g) { return g.placed && g.xButton == button; });
    return it != buttonGrabs_.end() ? &*it : nullptr;
}

Point X11EventTap::pointer() {
    Display* d = x_.display();
    Window root = None;
    Window child = None;
    int rx = 0;
    int ry = 0;
    int wx = 0;
    int wy = 0;
    unsigned mask = 0;
    if (d == nullptr || !XQueryPointer(d, x_.root(), &root, &child, &rx, &ry, &wx, &wy, &mask)) {
        return {};
    }
    return {static_cast<double>(rx), static_cast<double>(ry)};
}

}  // namespace ombrel::linux_platform
