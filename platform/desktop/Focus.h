// The title of the window that has the focus on the desktop, as value
// references ("[FOCUS]") read it.
#pragma once

#include <string>

namespace kr {

inline constexpr std::size_t kFocusTitleLength = 254;

// The active window's title (_NET_ACTIVE_WINDOW, else the input focus), cut
// to 254 characters; empty without one or without an X display.
std::string FocusedWindowTitle();

}  // namespace kr
