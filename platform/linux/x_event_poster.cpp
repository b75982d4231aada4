// Posts key, button and media-key events with XTEST, with exactly the modifiers asked for.
#include "platform/linux/x_event_poster.h"

#include <X11/XF86keysym.h>
#include <X11/extensions/XTest.h>

#include <array>
#include <cmath>

#include "platform/linux/key_codes.h"
#include "platform/linux/x_event_tap.h"

namespace ombrel::linux_platform {

namespace {

struct Modifier {
    uint64_t flag;
    int row;           // row of the X modifier map
    unsigned keycode;  // the key pressed when the flag is wanted
};

constexpr std::array<Modifier, 4> modifiers = {{
    {eventflags::shift, ShiftMapIndex, xkey::shiftLeft},
    {eventflags::control, ControlMapIndex, xkey::controlLeft},
    {eventflags::option, Mod1MapIndex, xkey::altLeft},
    {eventflags::command, Mod4MapIndex, xkey::superLeft},
}};

bool keyDown(const std::array<char, 32>& keys, unsigned keycode) {
    return keycode < 256 && (keys[keycode / 8] & (1 << (keycode % 8))) != 0;
}

}  // namespace

std::optional<unsigned long> mediaKeysym(int64_t auxKey) {
    switch (auxKey) {
        case 16:
            return XF86XK_AudioPlay;
        case 17:
            return XF86XK_AudioNext;
        case 18:
            return XF86XK_AudioPrev;
        case 0:
            return XF86XK_AudioRaiseVolume;
        case 1:
            return XF86XK_AudioLowerVolume;
        case 7:
            return XF86XK_AudioMute;
        default:
            return std::nullopt;
    }
}

X11EventPoster::X11EventPoster(XConnection& connection) : x_(connection) {}

X11EventPoster::Changes X11EventPoster::applyFlags(uint64_t flags) {
    Changes changes;
    Display* d = x_.display();
    std::array<char, 32> keys{};
    XQueryKeymap(d, keys.data());
    XModifierKeymap* map = XGetModifierMapping(d);
    for (const auto& m : modifiers) {
        const bool wanted = (flags & m.flag) != 0;
        bool held = false;
        if (map != nullptr) {
            for (int i = 0; i < map->max_keypermod; ++i) {
                const unsigned keycode = map->modifiermap[m.row * map->max_keypermod + i];
                if (keycode != 0 && keyDown(keys, keycode)) {
                    held = true;
                    if (!wanted) {
                        // A modifier the user holds must not reach the target.
                        XTestFakeKeyEvent(d, keycode, False, CurrentTime);
                        changes.released.push_back(keycode);
                    }
                }
            }
        }
        if (wanted && !held) {
            // The XTEST device may still count the key as down from an earlier restore that
            // the user's own release has since undone; a press would then be a mere repeat,
            // which sets no modifier. Releasing first makes it a fresh press.
            XTestFakeKeyEvent(d, m.keycode, False, CurrentTime);
            XTestFakeKeyEvent(d, m.keycode, True, CurrentTime);
            changes.pressed.push_back(m.keycode);
        }
    }
    if (map != nullptr) {
        XFreeModifiermap(map);
    }
    return changes;
}

void X11EventPoster::undo(const Changes& changes) {
    Display* d = x_.display();
    for (auto it = changes.pressed.rbegin(); it != changes.pressed.rend(); ++it) {
        XTestFakeKeyEvent(d, *it, False, CurrentTime);
    }
    for (unsigned keycode : changes.released) {
        XTestFakeKeyEvent(d, keycode, True, CurrentTime);
    }
}

bool X11EventPoster::postKey(int64_t keyCode, bool down, uint64_t flags, int64_t /*userData*/) {
    if (!x_.connected() || !x_.hasXTest()) {
        return false;
    }
    const auto keycode = xKeyFromVirtual(keyCode);
    if (!keycode) {
        return false;
    }
    const Changes changes = applyFlags(flags);
    XTestFakeKeyEvent(x_.display(), *keycode, down ? True : False, CurrentTime);
    undo(changes);
    XFlush(x_.display());
    return true;
}

bool X11EventPoster::postMouseButton(int64_t button, bool down, Point at, int64_t /*userData*/) {
    if (!x_.connected() || !x_.hasXTest()) {
        return false;
    }
    const auto xButton = xButtonFromEngine(button);
    if (!xButton) {
        return false;
    }
    const auto now = pointerLocation();
    if (std::isfinite(at.x) && std::isfinite(at.y) &&
        (!now || std::lround(now->x) != std::lround(at.x) ||
         std::lround(now->y) != std::lround(at.y))) {
        XTestFakeMotionEvent(x_.display(), -1, static_cast<int>(std::lround(at.x)),
                             static_cast<int>(std::lround(at.y)), CurrentTime);
    }
    XTestFakeButtonEvent(x_.display(), *xButton, down ? True : False, CurrentTime);
    XFlush(x_.display());
    return true;
}

bool X11EventPoster::postAux(const AuxEvent& event) {
    constexpr int64_t auxControlButtons = 8;
    constexpr int64_t pressed = 0x0A;
    constexpr int64_t released = 0x0B;
    if (!x_.connected() || !x_.hasXTest() || event.subtype != auxControlButtons) {
        return false;
    }
    const int64_t key = (event.data1 >> 16) & 0xFFFF;
    const int64_t state = (event.data1 >> 8) & 0xFF;
    const auto keysym = mediaKeysym(key);
    if (!keysym || (state != pressed && state != released)) {
        return false;
    }
    const KeyCode keycode = XKeysymToKeycode(x_.display(), *keysym);
    if (keycode == 0) {
        return false;
    }
    XTestFakeKeyEvent(x_.display(), keycode, state == pressed ? True : False, CurrentTime);
    XFlush(x_.display());
    return true;
}

std::optional<Point> X11EventPoster::pointerLocation() {
    if (!x_.connected()) {
        return std::nullopt;
    }
    Window root = None;
    Window child = None;
    int rx = 0;
    int ry = 0;
    int wx = 0;
    int wy = 0;
    unsigned mask = 0;
    if (!XQueryPointer(x_.display(), x_.root(), &root, &child, &rx, &ry, &wx, &wy, &mask)) {
        return std::nullopt;
    }
    return Point{static_cast<double>(rx), static_cast<double>(ry)};
}

}  // namespace ombrel::linux_platform
