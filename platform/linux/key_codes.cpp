// Builds the key translation from one table of kernel key codes and Mac virtual key codes.
#include "platform/linux/key_codes.h"

#include <X11/X.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <array>
#include <utility>

namespace ombrel::linux_platform {

namespace {

constexpr unsigned xOffset = 8;  // X key code = kernel key code + 8 under the evdev rules
constexpr unsigned firstX = 8;
constexpr unsigned lastX = 255;

struct Pair {
    unsigned kernel;
    int64_t mac;
};

// Kernel key → Mac virtual key. Named keys first, then keypad, modifiers and function keys.
constexpr std::array table = std::to_array<Pair>({
    {KEY_A, 0},
    {KEY_S, 1},
    {KEY_D, 2},
    {KEY_F, 3},
    {KEY_H, 4},
    {KEY_G, 5},
    {KEY_Z, 6},
    {KEY_X, 7},
    {KEY_C, 8},
    {KEY_V, 9},
    {KEY_102ND, 10},
    {KEY_B, 11},
    {KEY_Q, 12},
    {KEY_W, 13},
    {KEY_E, 14},
    {KEY_R, 15},
    {KEY_Y, 16},
    {KEY_T, 17},
    {KEY_1, 18},
    {KEY_2, 19},
    {KEY_3, 20},
    {KEY_4, 21},
    {KEY_6, 22},
    {KEY_5, 23},
    {KEY_EQUAL, 24},
    {KEY_9, 25},
    {KEY_7, 26},
    {KEY_MINUS, 27},
    {KEY_8, 28},
    {KEY_0, 29},
    {KEY_RIGHTBRACE, 30},
    {KEY_O, 31},
    {KEY_U, 32},
    {KEY_LEFTBRACE, 33},
    {KEY_I, 34},
    {KEY_P, 35},
    {KEY_ENTER, 36},
    {KEY_L, 37},
    {KEY_J, 38},
    {KEY_APOSTROPHE, 39},
    {KEY_K, 40},
    {KEY_SEMICOLON, 41},
    {KEY_BACKSLASH, 42},
    {KEY_COMMA, 43},
    {KEY_SLASH, 44},
    {KEY_N, 45},
    {KEY_M, 46},
    {KEY_DOT, 47},
    {KEY_TAB, 48},
    {KEY_SPACE, 49},
    {KEY_GRAVE, 50},
    {KEY_BACKSPACE, 51},
    {KEY_ESC, 53},
    {KEY_F5, 96},
    {KEY_F6, 97},
    {KEY_F7, 98},
    {KEY_F3, 99},
    {KEY_F8, 100},
    {KEY_F9, 101},
    {KEY_F11, 103},
    {KEY_F13, 105},
    {KEY_F14, 107},
    {KEY_F10, 109},
    {KEY_F12, 111},
    {KEY_F15, 113},
    {KEY_HOME, 115},
    {KEY_PAGEUP, 116},
    {KEY_DELETE, 117},
    {KEY_F4, 118},
    {KEY_END, 119},
    {KEY_F2, 120},
    {KEY_PAGEDOWN, 121},
    {KEY_F1, 122},
    {KEY_LEFT, 123},
    {KEY_RIGHT, 124},
    {KEY_DOWN, 125},
    {KEY_UP, 126},
    // Keypad.
    {KEY_KPDOT, 65},
    {KEY_KPASTERISK, 67},
    {KEY_KPPLUS, 69},
    {KEY_NUMLOCK, 71},
    {KEY_KPSLASH, 75},
    {KEY_KPENTER, 76},
    {KEY_KPMINUS, 78},
    {KEY_KPEQUAL, 81},
    {KEY_KP0, 82},
    {KEY_KP1, 83},
    {KEY_KP2, 84},
    {KEY_KP3, 85},
    {KEY_KP4, 86},
    {KEY_KP5, 87},
    {KEY_KP6, 88},
    {KEY_KP7, 89},
    {KEY_KP8, 91},
    {KEY_KP9, 92},
    {KEY_KPCOMMA, 95},
    // Modifiers.
    {KEY_RIGHTMETA, 54},
    {KEY_LEFTMETA, 55},
    {KEY_LEFTSHIFT, 56},
    {KEY_CAPSLOCK, 57},
    {KEY_LEFTALT, 58},
    {KEY_LEFTCTRL, 59},
    {KEY_RIGHTSHIFT, 60},
    {KEY_RIGHTALT, 61},
    {KEY_RIGHTCTRL, 62},
    // Remaining function keys and the media keys the Mac numbering has.
    {KEY_F16, 106},
    {KEY_F17, 64},
    {KEY_F18, 79},
    {KEY_F19, 80},
    {KEY_F20, 90},
    {KEY_VOLUMEUP, 72},
    {KEY_VOLUMEDOWN, 73},
    {KEY_MUTE, 74},
    {KEY_INSERT, 114},
    {KEY_HELP, 114},
    {KEY_COMPOSE, 110},
    {KEY_YEN, 93},
    {KEY_RO, 94},
});

struct Tables {
    std::array<int64_t, lastX + 1> toVirtual{};
    std::array<int32_t, unmappedKeyBase> toX{};
};

constexpr Tables build() {
    Tables t{};
    for (unsigned x = 0; x <= lastX; ++x) {
        t.toVirtual[x] = unmappedKeyBase + x;
    }
    for (auto& x : t.toX) {
        x = -1;
    }
    for (const auto& p : table) {
        const unsigned x = p.kernel + xOffset;
        t.toVirtual[x] = p.mac;
        // The first X key listed for a virtual code posts it (Insert, where Mac keyboards put
        // Help).
        if (t.toX[static_cast<std::size_t>(p.mac)] < 0) {
            t.toX[static_cast<std::size_t>(p.mac)] = static_cast<int32_t>(x);
        }
    }
    return t;
}

constexpr Tables tables = build();

constexpr std::array<XModifier, 4> modifierTable = {{
    {Mods::command, Mod4Mask, Mod4MapIndex, KEY_LEFTMETA + xOffset},
    {Mods::option, Mod1Mask, Mod1MapIndex, KEY_LEFTALT + xOffset},
    {Mods::control, ControlMask, ControlMapIndex, KEY_LEFTCTRL + xOffset},
    {Mods::shift, ShiftMask, ShiftMapIndex, KEY_LEFTSHIFT + xOffset},
}};

// Engine button → X button for the named ones; further buttons follow on from 5 ↔ 10.
constexpr std::array<std::pair<int64_t, unsigned>, 5> buttonTable = {
    {{0, 1}, {1, 3}, {2, 2}, {3, 8}, {4, 9}}};
constexpr int64_t firstFurtherButton = 5;
constexpr unsigned furtherButtonOffset = 5;
constexpr unsigned lastXButton = 255;

}  // namespace

std::span<const XModifier> xModifiers() {
    return modifierTable;
}

Mods modsFromX(unsigned state) {
    Mods mods;
    for (const XModifier& m : modifierTable) {
        if ((state & m.mask) != 0) {
            mods.insert(m.mod);
        }
    }
    return mods;
}

std::optional<unsigned> xStateFromMods(Mods mods) {
    unsigned state = 0;
    int64_t rest = mods.rawValue;
    for (const XModifier& m : modifierTable) {
        if (mods.contains(m.mod)) {
            state |= m.mask;
            rest &= ~m.mod;
        }
    }
    // No event carries other bits, so a combination holding them can never match.
    return rest == 0 ? std::optional(state) : std::nullopt;
}

std::optional<unsigned> xButtonFromEngine(int64_t button) {
    const auto* it = std::find_if(buttonTable.begin(), buttonTable.end(),
                                  [&](const auto& p) { return p.first == button; });
    if (it != buttonTable.end()) {
        return it->second;
    }
    if (button >= firstFurtherButton && button + furtherButtonOffset <= lastXButton) {
        return static_cast<unsigned>(button) + furtherButtonOffset;
    }
    return std::nullopt;
}

std::optional<int64_t> engineButtonFromX(unsigned button) {
    const auto* it = std::find_if(buttonTable.begin(), buttonTable.end(),
                                  [&](const auto& p) { return p.second == button; });
    if (it != buttonTable.end()) {
        return it->first;
    }
    if (button >= firstFurtherButton + furtherButtonOffset && button <= lastXButton) {
        return static_cast<int64_t>(button - furtherButtonOffset);
    }
    return std::nullopt;  // the wheel (4 to 7) and nonsense
}

std::optional<int64_t> virtualKeyFromX(unsigned xKeyCode) {
    if (xKeyCode < firstX || xKeyCode > lastX) {
        return std::nullopt;
    }
    return tables.toVirtual[xKeyCode];
}

std::optional<unsigned> xKeyFromVirtual(int64_t virtualKey) {
    if (virtualKey >= unmappedKeyBase + firstX && virtualKey <= unmappedKeyBase + lastX) {
        const auto x = static_cast<unsigned>(virtualKey - unmappedKeyBase);
        // Only keys without a Mac code use the fallback numbering.
        return tables.toVirtual[x] == virtualKey ? std::optional<unsigned>(x) : std::nullopt;
    }
    if (virtualKey < 0 || virtualKey >= unmappedKeyBase) {
        return std::nullopt;
    }
    const int32_t x = tables.toX[static_cast<std::size_t>(virtualKey)];
    return x < 0 ? std::nullopt : std::optional<unsigned>(static_cast<unsigned>(x));
}

}  // namespace ombrel::linux_platform
