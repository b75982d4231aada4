// The one fixed translation between X key codes (kernel key code + 8) and the virtual key codes
// the rest of the program uses (the Mac numbering).
#pragma once

#include <cstdint>
#include <optional>

namespace ombrel::linux_platform {

// Keys with no Mac counterpart get a stable code of their own: this base plus the X key code.
inline constexpr int64_t unmappedKeyBase = 0x1000;

// Every X key code (8..255) has a virtual key code; codes outside that range give nothing.
std::optional<int64_t> virtualKeyFromX(unsigned xKeyCode);
// The reverse, for posting; nothing when no X key produces the virtual code.
std::optional<unsigned> xKeyFromVirtual(int64_t virtualKey);

// The X key codes of the left-hand modifier keys that posting presses.
namespace xkey {
inline constexpr unsigned controlLeft = 29 + 8;
inline constexpr unsigned shiftLeft = 42 + 8;
inline constexpr unsigned altLeft = 56 + 8;
inline constexpr unsigned superLeft = 125 + 8;
}  // namespace xkey

}  // namespace ombrel::linux_platform
