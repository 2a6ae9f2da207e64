// Other programs' windows on X11, through the EWMH properties that window
// managers keep (_NET_CLIENT_LIST, _NET_WM_NAME, _NET_WM_PID,
// _NET_ACTIVE_WINDOW, _NET_CLOSE_WINDOW) and the ICCCM ones (WM_NAME,
// WM_CLASS, WM_STATE). Without a window manager the window tree is searched.
//
// The layer keeps a Display connection of its own (opened on first use from
// $DISPLAY), serialised by a lock, so any thread may call it. Windows that
// vanish while they are read are passed over. Without an X display every
// call answers "nothing": empty lists, 0 handles, false.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kr {

using WindowHandle = std::uint32_t;

struct DesktopWindow {
    WindowHandle handle = 0;
    std::string title;      // _NET_WM_NAME, else WM_NAME
    std::string iconTitle;  // _NET_WM_ICON_NAME, else WM_ICON_NAME
    std::string className;  // the class part of WM_CLASS
    bool visible = false;   // shown or minimised, as opposed to never shown or withdrawn
};

// True when an X display can be reached.
bool HaveX11Display();
// Closes the layer's connection; the next call opens a new one (tests that
// change $DISPLAY).
void CloseX11Connection();

// The top-level windows of the desktop, topmost first: the window manager's
// clients (_NET_CLIENT_LIST_STACKING, else _NET_CLIENT_LIST), then every
// other window at the top of the tree (unmapped windows, windows of programs
// the manager does not manage). Without a window manager the tree is
// searched for client windows (those with WM_STATE) below each top window.
std::vector<DesktopWindow> TopLevelWindows();
// Every window below a window, in tree order (at most 10000).
std::vector<DesktopWindow> ChildWindowsOf(WindowHandle window);
DesktopWindow DescribeWindow(WindowHandle window);
bool WindowExists(WindowHandle window);

// The process that owns a window (_NET_WM_PID), 0 when it does not say.
int WindowPid(WindowHandle window);
// The program name of that process (/proc/<pid>/comm), empty when unknown.
std::string WindowProgram(WindowHandle window);

// The active top-level window (_NET_ACTIVE_WINDOW, else the input focus); 0 for none.
WindowHandle ActiveWindow();
// Brings a window to the front and gives it the focus: through the window
// manager when it supports _NET_ACTIVE_WINDOW, else by raising and focusing it.
bool ActivateWindow(WindowHandle window);
// Asks a window to close: through the window manager (_NET_CLOSE_WINDOW),
// else with WM_DELETE_WINDOW when the window takes it. False when neither
// way is open (the window is not killed).
bool CloseWindow(WindowHandle window);
// True when a window manager keeps _NET_CLIENT_LIST.
bool HaveWindowManager();

// Sounds the display's bell.
void Bell();

}  // namespace kr
