// The end of the session for the window programs: SIGTERM (what a session or
// service manager sends at the end), SIGINT and SIGHUP end a program in an
// orderly way, whatever it is showing.
//
// The signal handler only notes the request and writes a byte to a pipe; a
// notifier on the GUI thread reads the byte and does the work there, in
// whichever event loop runs at the time (the program's own, a message box's,
// a modal dialog's). From the first request on:
// - the message box service opens no box: each is answered at once as its
//   Cancel would answer it (CancelAnswer), and a folder question is cancelled;
// - every few hundredths of a second, until the program has ended, the
//   innermost modal window is cancelled (a message box with its Cancel, No
//   or Abort button, a window with its Cancel button or its manager's cancel
//   control, another dialog as Escape would); the others wait their turn. A
//   progress window's Cancel cancels its work the way the button does, and
//   the window goes when the work has stopped. With no modal window left,
//   the open windows with a Cancel are cancelled, then the program's end
//   action runs (SetSessionEndAction): by default every window is closed
//   and the event loop left.
// - a second request while ending ends the process at once, as does a
//   request not done within 2.5 s: nothing is left waiting for a kill. The
//   data file's writes are transactions, so an end there leaves it whole.
#pragma once

#include <functional>

#include "platform/runtime/Services.h"

namespace kr {

// Installs the signal handlers and the notifier (on the GUI thread, once the
// application object is made); StopWatchingSessionEnding puts the previous
// handling back and forgets a request. SessionEndingWatch does both for a
// scope (a program's main).
void WatchSessionEnding();
void StopWatchingSessionEnding();
bool WatchingSessionEnding();

class SessionEndingWatch {
public:
    SessionEndingWatch() { WatchSessionEnding(); }
    ~SessionEndingWatch() { StopWatchingSessionEnding(); }
    SessionEndingWatch(const SessionEndingWatch&) = delete;
    SessionEndingWatch& operator=(const SessionEndingWatch&) = delete;
};

// True from the first request on (any thread).
bool SessionEnding();
// Starts the ending as a request does (GUI thread), without the time limit.
void BeginSessionEnding();

// What ends the program once its boxes and modal windows are gone (the main
// program's frame closes without its question). Empty: the default. Returns
// the action set before.
std::function<void()> SetSessionEndAction(std::function<void()> action);

// The answer of a box cancelled at the end: Cancel, else No, else Abort,
// else its only button, else its default (1 for a box of captions).
int CancelAnswer(const MessageRequest& request);

}  // namespace kr
