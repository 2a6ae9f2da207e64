// The controls inside other programs' windows. Today's toolkits draw their
// buttons and labels themselves, so they are no X windows; a program that
// exposes an accessibility tree (AT-SPI over D-Bus: GTK, Qt, browsers) names
// them there. This reads that tree for a top-level window: its program is
// found by process (_NET_WM_PID) and the window by its title.
//
// Only used while a session bus is known ($DBUS_SESSION_BUS_ADDRESS,
// $AT_SPI_BUS_ADDRESS or $XDG_RUNTIME_DIR/bus), so that nothing is started
// on a machine without one. Calls to a program that does not answer give up
// after a second. The program's own windows are never asked (it would be
// asking itself while it waits).
#pragma once

#include <string>
#include <vector>

#include "platform/desktop/X11Windows.h"

namespace kr {

struct AccessibleText {
    std::string text;  // the object's name, or the text it holds (entries, text views)
    std::string role;  // "label", "push button", "text", ...
};

// True when an accessibility bus may be reached.
bool AccessibilityAvailable();

// The texts inside a top-level window, in tree order, at most 5000 objects
// read; empty when its program exposes no tree.
std::vector<AccessibleText> AccessibleTextsOf(WindowHandle window);

}  // namespace kr
