// Turns grabbed and raw XInput 2 events into the engine's events and answers every grabbed one
// exactly once, so the keyboard and pointer are never left frozen.
#include "platform/linux/x_event_tap.h"

#include <X11/XKBlib.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/linux/key_codes.h"

namespace ombrel::linux_platform {

namespace {

// Lock (Caps Lock) and Mod2 (Num Lock) never affect matching, so each grab comes in four.
constexpr std::array<unsigned, 4> lockVariants = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};

std::array<XIGrabModifiers, lockVariants.size()> lockVariantsOf(unsigned mods) {
    std::array<XIGrabModifiers, lockVariants.size()> out{};
    for (std::size_t i = 0; i < lockVariants.size(); ++i) {
        out[i].modifiers = static_cast<int>(mods | lockVariants[i]);
    }
    return out;
}

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

}  // namespace

std::optional<unsigned> xButtonFromEngine(int64_t button) {
    switch (button) {
        case 0:
            return 1;
        case 1:
            return 3;
        case 2:
            return 2;
        case 3:
            return 8;
        case 4:
            return 9;
        default:
            break;
    }
    if (button >= 5 && button <= 250) {
        return static_cast<unsigned>(button + 5);
    }
    return std::nullopt;
}

std::optional<int64_t> engineButtonFromX(unsigned button) {
    switch (button) {
        case 1:
            return 0;
        case 2:
            return 2;
        case 3:
            return 1;
        case 8:
            return 3;
        case 9:
            return 4;
        default:
            break;
    }
    if (button >= 10 && button <= 255) {
        return static_cast<int64_t>(button) - 5;
    }
    return std::nullopt;  // the wheel (4 to 7) and nonsense
}

uint64_t flagsFromXMods(unsigned mods) {
    uint64_t flags = 0;
    if (mods & Mod4Mask) {
        flags |= eventflags::command;
    }
    if (mods & Mod1Mask) {
        flags |= eventflags::option;
    }
    if (mods & ControlMask) {
        flags |= eventflags::control;
    }
    if (mods & ShiftMask) {
        flags |= eventflags::shift;
    }
    return flags;
}

std::optional<unsigned> xModsFromMods(Mods mods) {
    constexpr int64_t known = Mods::command | Mods::option | Mods::control | Mods::shift;
    if ((mods.rawValue & ~known) != 0) {
        return std::nullopt;  // no event ever carries other bits, so nothing can match
    }
    unsigned x = 0;
    if (mods.contains(Mods::command)) {
        x |= Mod4Mask;
    }
    if (mods.contains(Mods::option)) {
        x |= Mod1Mask;
    }
    if (mods.contains(Mods::control)) {
        x |= ControlMask;
    }
    if (mods.contains(Mods::shift)) {
        x |= ShiftMask;
    }
    return x;
}

X11EventTap::X11EventTap(XConnection& connection) : x_(connection) {
    x_.addListener([this](XEvent& e) { onEvent(e); });
    x_.addConnectedListener([this] {
        if (!installed_) {
            return;
        }
        // A new connection holds none of the old grabs.
        grabsPlaced_ = false;
        findDevices();
        selectEvents();
        placeGrabs();
        InputEvent off;
        off.type = EventType::tapDisabledByUserInput;
        decide(off);
    });
}

X11EventTap::~X11EventTap() {
    if (installed_ && x_.connected()) {
        removeGrabs();
        XFlush(x_.display());
    }
}

bool X11EventTap::trusted() {
    if (!x_.connected()) {
        x_.reconnect();
    }
    return x_.connected() && x_.hasXInput22() && x_.hasXTest();
}

bool X11EventTap::install(Handler handler) {
    if (!trusted()) {
        return false;
    }
    handler_ = std::move(handler);
    installed_ = true;
    findDevices();
    selectEvents();
    placeGrabs();
    return true;
}

void X11EventTap::reenable() {
    if (!installed_ || !trusted()) {
        return;
    }
    removeGrabs();
    findDevices();
    selectEvents();
    placeGrabs();
}

void X11EventTap::setGrabs(const GrabRequest& request) {
    if (request == request_ && grabsPlaced_) {
        return;
    }
    const bool motionChanged = request.pointerMotion != request_.pointerMotion;
    request_ = request;
    if (motionChanged && installed_ && x_.connected()) {
        selectEvents();
    }
    std::vector<KeyGrab> keys;
    for (const auto& combo : request.hotkeys) {
        const auto keycode = xKeyFromVirtual(combo.keyCode);
        const auto mods = xModsFromMods(combo.mods);
        if (!keycode || !mods) {
            continue;
        }
        const KeyGrab grab{*keycode, *mods};
        if (std::find(keys.begin(), keys.end(), grab) == keys.end()) {
            keys.push_back(grab);
        }
    }
    std::vector<unsigned> buttons;
    auto addButton = [&buttons](int64_t button) {
        const auto b = xButtonFromEngine(button);
        if (b && std::find(buttons.begin(), buttons.end(), *b) == buttons.end()) {
            buttons.push_back(*b);
        }
    };
    for (int64_t b : request.buttons) {
        addButton(b);
    }
    if (request.leftPress) {
        addButton(0);
    }
    // Only what changed is regrabbed: the pointer-motion flag flips at every drag, and the
    // hotkeys must not be let go meanwhile.
    const bool live = installed_ && x_.connected() && grabsPlaced_;
    if (keys != keyGrabs_ || !live) {
        if (live) {
            removeKeyGrabs();
        }
        keyGrabs_ = std::move(keys);
        if (installed_ && x_.connected()) {
            placeKeyGrabs();
        }
    }
    if (buttons != buttonGrabs_ || !live) {
        if (live) {
            removeButtonGrabs();
        }
        buttonGrabs_ = std::move(buttons);
        if (installed_ && x_.connected()) {
            placeButtonGrabs();
        }
    }
    grabsPlaced_ = installed_ && x_.connected();
    if (x_.connected()) {
        XFlush(x_.display());
    }
}

void X11EventTap::findDevices() {
    masterKeyboards_.clear();
    masterPointers_.clear();
    xtestKeyboard_ = -1;
    xtestPointer_ = -1;
    modifierKeys_.reset();
    if (!x_.connected()) {
        return;
    }
    Display* d = x_.display();
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(d, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        const XIDeviceInfo& info = devices[i];
        if (info.use == XIMasterKeyboard) {
            masterKeyboards_.push_back(info.deviceid);
        } else if (info.use == XIMasterPointer) {
            masterPointers_.push_back(info.deviceid);
        } else if (info.name != nullptr &&
                   std::strcmp(info.name, "Virtual core XTEST keyboard") == 0) {
            xtestKeyboard_ = info.deviceid;
        } else if (info.name != nullptr &&
                   std::strcmp(info.name, "Virtual core XTEST pointer") == 0) {
            xtestPointer_ = info.deviceid;
        }
    }
    if (devices != nullptr) {
        XIFreeDeviceInfo(devices);
    }
    if (XModifierKeymap* map = XGetModifierMapping(d)) {
        for (int i = 0; i < 8 * map->max_keypermod; ++i) {
            if (map->modifiermap[i] != 0) {
                modifierKeys_.set(map->modifiermap[i]);
            }
        }
        XFreeModifiermap(map);
    }
    XkbStateRec state{};
    if (XkbGetState(d, XkbUseCoreKbd, &state) == Success) {
        mods_ = state.mods;
        flags_ = flagsFromXMods(mods_);
    }
}

void X11EventTap::selectEvents() {
    Display* d = x_.display();
    Mask raw(XIAllMasterDevices, {XI_RawKeyPress, XI_RawButtonPress, XI_RawButtonRelease});
    // Pointer motion is only listened to while a stroke or a drag needs it.
    if (request_.pointerMotion) {
        XISetMask(raw.bits.data(), XI_RawMotion);
    }
    Mask hierarchy(XIAllDevices, {XI_HierarchyChanged});
    std::array<XIEventMask, 2> masks = {raw.mask, hierarchy.mask};
    XISelectEvents(d, x_.root(), masks.data(), static_cast<int>(masks.size()));
    XkbSelectEventDetails(d, XkbUseCoreKbd, XkbStateNotify, XkbModifierStateMask,
                          XkbModifierStateMask);
    XFlush(d);
}

void X11EventTap::placeGrabs() {
    placeKeyGrabs();
    placeButtonGrabs();
    grabsPlaced_ = true;
}

void X11EventTap::removeGrabs() {
    removeKeyGrabs();
    removeButtonGrabs();
    grabsPlaced_ = false;
}

void X11EventTap::placeKeyGrabs() {
    Display* d = x_.display();
    XConnection::ErrorTrap trap(x_);
    Mask keys(0, {XI_KeyPress, XI_KeyRelease});
    // Grabs go on each master device itself: with the all-masters pseudo-device a replayed
    // event would not reach the focused client.
    for (int device : masterKeyboards_) {
        keys.mask.deviceid = device;
        for (const auto& grab : keyGrabs_) {
            auto mods = lockVariantsOf(grab.mods);
            XIGrabKeycode(d, device, static_cast<int>(grab.keycode), x_.root(), XIGrabModeSync,
                          XIGrabModeAsync, False, &keys.mask, static_cast<int>(mods.size()),
                          mods.data());
        }
    }
    trap.failed();  // a combination another client holds simply stays unswallowable
}

void X11EventTap::placeButtonGrabs() {
    Display* d = x_.display();
    XConnection::ErrorTrap trap(x_);
    Mask buttons(0, {XI_ButtonPress, XI_ButtonRelease});
    for (int device : masterPointers_) {
        buttons.mask.deviceid = device;
        for (unsigned button : buttonGrabs_) {
            XIGrabModifiers any{static_cast<int>(XIAnyModifier), 0};
            XIGrabButton(d, device, static_cast<int>(button), x_.root(), None, XIGrabModeSync,
                         XIGrabModeAsync, False, &buttons.mask, 1, &any);
        }
    }
    trap.failed();
}

void X11EventTap::removeKeyGrabs() {
    Display* d = x_.display();
    XConnection::ErrorTrap trap(x_);
    for (int device : masterKeyboards_) {
        for (const auto& grab : keyGrabs_) {
            auto mods = lockVariantsOf(grab.mods);
            XIUngrabKeycode(d, device, static_cast<int>(grab.keycode), x_.root(),
                            static_cast<int>(mods.size()), mods.data());
        }
    }
    trap.failed();
}

void X11EventTap::removeButtonGrabs() {
    Display* d = x_.display();
    XConnection::ErrorTrap trap(x_);
    for (int device : masterPointers_) {
        for (unsigned button : buttonGrabs_) {
            XIGrabModifiers any{static_cast<int>(XIAnyModifier), 0};
            XIUngrabButton(d, device, static_cast<int>(button), x_.root(), 1, &any);
        }
    }
    trap.failed();
}

void X11EventTap::onEvent(XEvent& event) {
    if (!installed_) {
        return;
    }
    if (x_.xkbEventBase() >= 0 && event.type == x_.xkbEventBase()) {
        const auto* xkb = reinterpret_cast<const XkbEvent*>(&event);
        if (xkb->any.xkb_type == XkbStateNotify) {
            onModifierState(xkb->state.mods);
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
            onGrabbedButton(*static_cast<const XIDeviceEvent*>(cookie.data), true);
            break;
        case XI_ButtonRelease:
            onGrabbedButton(*static_cast<const XIDeviceEvent*>(cookie.data), false);
            break;
        case XI_RawKeyPress:
            onRawKey(*static_cast<const XIRawEvent*>(cookie.data), true);
            break;
        case XI_RawButtonPress:
            onRawButton(*static_cast<const XIRawEvent*>(cookie.data), true);
            break;
        case XI_RawButtonRelease:
            onRawButton(*static_cast<const XIRawEvent*>(cookie.data), false);
            break;
        case XI_RawMotion:
            onRawMotion(*static_cast<const XIRawEvent*>(cookie.data));
            break;
        case XI_HierarchyChanged:
            reenable();
            break;
        default:
            break;  // key releases of an active grab: never tapped
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

void X11EventTap::onGrabbedKey(const XIDeviceEvent& e) {
    const auto keycode = static_cast<unsigned>(e.detail);
    const bool repeat = (e.flags & XIKeyRepeat) != 0;
    if (!repeat && keycode < pressedByXTest_.size()) {
        pressedByXTest_[keycode] = e.sourceid == xtestKeyboard_;
    }
    InputEvent event;
    event.type = EventType::keyDown;
    event.keyCode = virtualKeyFromX(keycode).value_or(unmappedKeyBase);
    event.flags = flagsFromXMods(static_cast<unsigned>(e.mods.effective));
    event.autorepeat = repeat;
    event.sourceUserData =
        keycode < pressedByXTest_.size() && pressedByXTest_[keycode] ? syntheticEventMarker : 0;
    event.location = {e.root_x, e.root_y};
    const bool swallow = decide(event);
    // Exactly one answer per grabbed press: the device stays frozen until it is given.
    XIAllowEvents(x_.display(), e.deviceid, swallow ? XIAsyncDevice : XIReplayDevice, e.time);
    XFlush(x_.display());
}

void X11EventTap::onGrabbedButton(const XIDeviceEvent& e, bool press) {
    const auto xButton = static_cast<unsigned>(e.detail);
    const auto button = engineButtonFromX(xButton);
    bool swallow = false;
    if (button) {
        InputEvent event;
        event.button = *button;
        event.location = {e.root_x, e.root_y};
        event.flags = flagsFromXMods(static_cast<unsigned>(e.mods.effective));
        event.sourceUserData = e.sourceid == xtestPointer_ ? syntheticEventMarker : 0;
        if (*button == 0) {
            event.type = press ? EventType::leftMouseDown : EventType::leftMouseUp;
        } else {
            event.type = press ? EventType::otherMouseDown : EventType::otherMouseUp;
        }
        swallow = decide(event);
    }
    if (!press) {
        // The release of a kept press: it was ours already, whatever the answer.
        if (xButton < buttonsSwallowed_.size()) {
            buttonsSwallowed_[xButton] = false;
        }
        return;
    }
    if (swallow && xButton < buttonsSwallowed_.size()) {
        buttonsSwallowed_[xButton] = true;
    }
    XIAllowEvents(x_.display(), e.deviceid, swallow ? XIAsyncDevice : XIReplayDevice, e.time);
    XFlush(x_.display());
}

void X11EventTap::onRawKey(const XIRawEvent& e, bool press) {
    const auto keycode = static_cast<unsigned>(e.detail);
    if (!press || keycode >= pressedByXTest_.size()) {
        return;
    }
    const bool repeat = (e.flags & XIKeyRepeat) != 0;
    if (!repeat) {
        pressedByXTest_[keycode] = e.sourceid == xtestKeyboard_;
    }
    // Modifier keys show as flag changes; grabbed combinations arrive through their grab.
    if (modifierKeys_[keycode] || keyIsGrabbed(keycode, mods_)) {
        return;
    }
    InputEvent event;
    event.type = EventType::keyDown;
    event.keyCode = virtualKeyFromX(keycode).value_or(unmappedKeyBase);
    event.flags = flags_;
    event.autorepeat = repeat;
    event.sourceUserData = pressedByXTest_[keycode] ? syntheticEventMarker : 0;
    decide(event);  // seen, not grabbed: the application gets it whatever the answer
}

void X11EventTap::onRawButton(const XIRawEvent& e, bool press) {
    const auto xButton = static_cast<unsigned>(e.detail);
    const auto button = engineButtonFromX(xButton);
    if (!button) {
        return;
    }
    if (*button == 0) {
        leftDown_ = press;
    }
    if (press ? buttonIsGrabbed(xButton)
              : xButton < buttonsSwallowed_.size() && buttonsSwallowed_[xButton]) {
        return;  // the grab delivers this one
    }
    InputEvent event;
    event.button = *button;
    event.flags = flags_;
    event.sourceUserData = e.sourceid == xtestPointer_ ? syntheticEventMarker : 0;
    event.location = pointer();
    if (*button == 0) {
        event.type = press ? EventType::leftMouseDown : EventType::leftMouseUp;
    } else {
        event.type = press ? EventType::otherMouseDown : EventType::otherMouseUp;
    }
    decide(event);
}

void X11EventTap::onRawMotion(const XIRawEvent& e) {
    // Raw motion carries no position: ask for it only while someone needs it.
    if (!request_.pointerMotion) {
        return;
    }
    InputEvent event;
    event.type = leftDown_ ? EventType::leftMouseDragged : EventType::mouseMoved;
    event.flags = flags_;
    event.sourceUserData = e.sourceid == xtestPointer_ ? syntheticEventMarker : 0;
    event.location = pointer();
    decide(event);
}

void X11EventTap::onModifierState(unsigned mods) {
    mods_ = mods;
    const uint64_t flags = flagsFromXMods(mods);
    if (flags == flags_) {
        return;  // Caps Lock, Num Lock and the rest are not flags the engine sees
    }
    flags_ = flags;
    InputEvent event;
    event.type = EventType::flagsChanged;
    event.flags = flags;
    event.location = pointer();
    decide(event);
}

bool X11EventTap::keyIsGrabbed(unsigned keycode, unsigned mods) const {
    const unsigned relevant = mods & (ShiftMask | ControlMask | Mod1Mask | Mod4Mask);
    return std::any_of(keyGrabs_.begin(), keyGrabs_.end(), [&](const KeyGrab& g) {
        return g.keycode == keycode && g.mods == relevant;
    });
}

bool X11EventTap::buttonIsGrabbed(unsigned button) const {
    return std::find(buttonGrabs_.begin(), buttonGrabs_.end(), button) != buttonGrabs_.end();
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
