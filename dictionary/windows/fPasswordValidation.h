// fPasswordValidation: the gate of the system password. Returns 1 when the
// caller may go on; 0 when it must stop (not open its window, not make its
// change). While the system is locked and not unlocked for the session it
// shows the window "Password Required" over the current procedure thread's
// window and waits for it, as a message box does.
#pragma once

#include <cstdint>

namespace kr {

uint8_t fPasswordValidation();

}  // namespace kr
