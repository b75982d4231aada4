// The fixed translations between X's input numbering and the program's: X key codes (kernel key
// code + 8) and the virtual key codes the bindings store (the Mac numbering), X modifier masks and
// modifier sets, X buttons and the engine's button numbers. One table each.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "config/model.h"

namespace ombrel::linux_platform {

// Keys with no Mac counterpart get a stable code of their own: this base plus the X key code.
inline constexpr int64_t unmappedKeyBase = 0x1000;

// Every X key code (8..255) has a virtual key code; codes outside that range give nothing.
std::optional<int64_t> virtualKeyFromX(unsigned xKeyCode);
// The reverse, for posting; nothing when no X key produces the virtual code.
std::optional<unsigned> xKeyFromVirtual(int64_t virtualKey);

// One of the four modifiers as X carries it: its bit in an X state mask, its row of the X modifier
// map, and the left-hand key that posting presses for it.
struct XModifier {
    int64_t mod;  // Mods::command, option, control or shift
    unsigned mask;
    int row;
    unsigned key;
};
std::span<const XModifier> xModifiers();

// The four modifiers of an X state mask; lock, num lock, AltGr and the rest are dropped.
Mods modsFromX(unsigned state);
// The X state mask of a modifier set; nothing when it holds other bits than the four.
std::optional<unsigned> xStateFromMods(Mods mods);

// Engine buttons (0 left, 1 right, 2 middle, 3 back, 4 forward, ...) and X buttons (1 left,
// 2 middle, 3 right, 4 to 7 the wheel, 8 back, 9 forward, ...); the wheel has no engine number.
std::optional<unsigned> xButtonFromEngine(int64_t button);
std::optional<int64_t> engineButtonFromX(unsigned button);

}  // namespace ombrel::linux_platform
