#include "platform/desktop/WindowModes.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Xlib last: its macros clash with the standard headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace kr {

namespace {

std::mutex g_mutex;
std::condition_variable g_done;
int g_running = 0;

long CardinalOf(Display* d, Window w, Atom property, Atom type) {
    Atom actual;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    long v = -1;
    if (XGetWindowProperty(d, w, property, 0, 1, False, type, &actual, &format, &n, &after, &data) == Success &&
        data && n == 1 && format == 32)
        v = *reinterpret_cast<long*>(data);
    if (data) XFree(data);
    return v;
}

std::vector<Window> WindowsOf(Display* d, Window w, const char* property) {
    std::vector<Window> out;
    Atom actual;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, XInternAtom(d, property, False), 0, 4096, False, XA_WINDOW, &actual, &format, &n,
                           &after, &data) == Success &&
        data && format == 32) {
        auto* items = reinterpret_cast<long*>(data);
        for (unsigned long i = 0; i < n; ++i) out.push_back(static_cast<Window>(items[i]));
    }
    if (data) XFree(data);
    return out;
}

// The program's top-level client window: among the window manager's clients,
// else (no manager) among the windows at the top of the tree and their
// children that carry WM_STATE or are mapped.
Window FindWindowOf(Display* d, long pid) {
    const Window root = DefaultRootWindow(d);
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    for (Window w : WindowsOf(d, root, "_NET_CLIENT_LIST"))
        if (CardinalOf(d, w, pidAtom, XA_CARDINAL) == pid) return w;
    Window r, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, root, &r, &parent, &children, &n)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < n && !found; ++i) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, children[i], &a) || a.override_redirect || a.map_state != IsViewable) continue;
        if (CardinalOf(d, children[i], pidAtom, XA_CARDINAL) == pid) found = children[i];
    }
    if (children) XFree(children);
    return found;
}

Window ActiveWindowOf(Display* d) {
    std::vector<Window> active = WindowsOf(d, DefaultRootWindow(d), "_NET_ACTIVE_WINDOW");
    return active.empty() ? 0 : active.front();
}

void SendToRoot(Display* d, Window w, const char* message, long a0, long a1, long a2, long a3) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, message, False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = a0;
    e.xclient.data.l[1] = a1;
    e.xclient.data.l[2] = a2;
    e.xclient.data.l[3] = a3;
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

void Apply(Display* d, Window w, StartedWindowMode mode, Window activeBefore) {
    const int screen = DefaultScreen(d);
    switch (mode) {
        case StartedWindowMode::Hidden:
            XWithdrawWindow(d, w, screen);
            break;
        case StartedWindowMode::Minimised:
        case StartedWindowMode::MinimisedNoActivate:
            XIconifyWindow(d, w, screen);
            break;
        case StartedWindowMode::Maximised:
            // _NET_WM_STATE_ADD of both maximised states, as a pager would ask.
            SendToRoot(d, w, "_NET_WM_STATE", 1, static_cast<long>(XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_VERT", False)),
                       static_cast<long>(XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_HORZ", False)), 2);
            break;
        case StartedWindowMode::NoActivate:
        case StartedWindowMode::Normal:
            break;
    }
    if ((mode == StartedWindowMode::NoActivate || mode == StartedWindowMode::MinimisedNoActivate) && activeBefore &&
        activeBefore != w) {
        // The new window took the focus on mapping: give it back.
        SendToRoot(d, activeBefore, "_NET_ACTIVE_WINDOW", 2, CurrentTime, 0, 0);
    }
    XSync(d, False);
}

void Watch(int pid, StartedWindowMode mode) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return;
    const Window activeBefore = ActiveWindowOf(d);
    const auto end = std::chrono::steady_clock::now() + kWindowModeWatch;
    while (std::chrono::steady_clock::now() < end) {
        if (Window w = FindWindowOf(d, pid)) {
            XWindowAttributes a;
            // Once it shows: a request made before the manager took the
            // window over would be lost.
            if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) {
                Apply(d, w, mode, activeBefore);
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    XCloseDisplay(d);
}

}  // namespace

void ApplyWindowModeWhenShown(int pid, StartedWindowMode mode) {
    if (mode == StartedWindowMode::Normal || pid <= 0) return;
    {
        std::lock_guard<std::mutex> l(g_mutex);
        ++g_running;
    }
    std::thread([pid, mode] {
        Watch(pid, mode);
        std::lock_guard<std::mutex> l(g_mutex);
        --g_running;
        g_done.notify_all();
    }).detach();
}

void WaitForWindowModeWatchers() {
    std::unique_lock<std::mutex> l(g_mutex);
    g_done.wait(l, [] { return g_running == 0; });
}

}  // namespace kr
