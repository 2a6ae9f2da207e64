// The session unlock of the system password: set when the user has given the
// password once, so that the windows it guards open without asking again;
// cleared when the frame is minimised or hidden to the tray, so that a
// program left unattended asks again. Safe to read and set from any thread.
#pragma once

namespace kr {

bool sessionUnlocked();
void setSessionUnlocked(bool on);

}  // namespace kr
