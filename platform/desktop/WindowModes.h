// The window mode of a program we started: its first top-level window, found
// through _NET_WM_PID, is minimised, maximised or hidden, or kept from taking
// the focus, through the window manager's EWMH and ICCCM requests.
//
// X11 has no way to start a program with a window mode: the request is made
// once the window exists. A watcher thread with its own display connection
// looks for the window for a few seconds after the start and gives up
// quietly after that, or when there is no X display.
#pragma once

#include <chrono>

namespace kr {

enum class StartedWindowMode {
    Normal,
    Hidden,
    Minimised,
    Maximised,
    MinimisedNoActivate,
    NoActivate,
};

// How long the watcher looks for the window.
inline constexpr std::chrono::seconds kWindowModeWatch{10};

// Starts watching for the window of process pid and applies the mode to it.
// Returns at once; Normal does nothing.
void ApplyWindowModeWhenShown(int pid, StartedWindowMode mode);

// Waits until the watchers started so far have finished (tests, shutdown).
void WaitForWindowModeWatchers();

}  // namespace kr
