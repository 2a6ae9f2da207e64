// The key codes that scripts and hot keys store are Windows virtual-key
// codes (65 is A, 13 Enter, 112 F1). X names keys by keysym; this is the one
// table between them, shared by the keystroke engine and the hot keys.
#pragma once

#include <cstdint>

namespace kr {

// Virtual keys of the modifiers and of CapsLock.
inline constexpr int kVkShift = 16;
inline constexpr int kVkControl = 17;
inline constexpr int kVkMenu = 18;  // Alt
inline constexpr int kVkPause = 19;
inline constexpr int kVkCapital = 20;  // CapsLock
inline constexpr int kVkLeftWin = 91;

// The keysym of a virtual key, 0 for a code that names no key here (the
// mouse buttons 1 to 7 among them).
std::uint32_t VirtualKeyToKeysym(int vk);
// The virtual key of a keysym, 0 when the table has none (upper- and
// lower-case letters give the same key).
int KeysymToVirtualKey(std::uint32_t keysym);

}  // namespace kr
