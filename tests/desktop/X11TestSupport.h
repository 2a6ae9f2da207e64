// Real X11 windows for the desktop tests: made with Xlib on a connection of
// the test's own, and a window manager started and stopped by the test.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../support/WaitUntil.h"

extern char** environ;

namespace kr::test {

class TestDisplay {
public:
    TestDisplay() {
        // A server that xvfb-run has only just started may refuse the first
        // connection.
        if (std::getenv("DISPLAY")) WaitUntil([this] { return (d_ = XOpenDisplay(nullptr)) != nullptr; }, 5000, 100);
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        if (d_) {
            // A focus of None after an earlier test's window went would swallow every key.
            XSetInputFocus(d_, PointerRoot, RevertToPointerRoot, CurrentTime);
            XSync(d_, False);
        }
    }
    ~TestDisplay() {
        if (!d_) return;
        for (Window w : made_) XDestroyWindow(d_, w);
        XSync(d_, False);
        XCloseDisplay(d_);
    }
    Display* d() const { return d_; }
    Window root() const { return DefaultRootWindow(d_); }

    // A top-level (or child) window; empty texts leave the property unset.
    Window Make(const std::string& title, const std::string& iconName, const std::string& cls, bool map,
                Window parent = 0) {
        Window w = XCreateSimpleWindow(d_, parent ? parent : root(), 10, 10, 200, 100, 0, 0, 0xffffff);
        if (!title.empty()) {
            XStoreName(d_, w, title.c_str());
            XChangeProperty(d_, w, XInternAtom(d_, "_NET_WM_NAME", False), XInternAtom(d_, "UTF8_STRING", False), 8,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                            static_cast<int>(title.size()));
        }
        if (!iconName.empty()) XSetIconName(d_, w, iconName.c_str());
        if (!cls.empty()) {
            std::string name = "krtest";
            XClassHint hint{name.data(), const_cast<char*>(cls.c_str())};
            XSetClassHint(d_, w, &hint);
        }
        Atom del = XInternAtom(d_, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(d_, w, &del, 1);
        long pid = getpid();
        XChangeProperty(d_, w, XInternAtom(d_, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&pid), 1);
        XSelectInput(d_, w, StructureNotifyMask | FocusChangeMask);
        if (map) XMapWindow(d_, w);
        XSync(d_, False);
        if (!parent) made_.push_back(w);
        return w;
    }

    // True when a WM_DELETE_WINDOW message for w arrived within ms.
    bool GotDeleteRequest(Window w, int ms = 3000) {
        Atom protocols = XInternAtom(d_, "WM_PROTOCOLS", False);
        Atom del = XInternAtom(d_, "WM_DELETE_WINDOW", False);
        return WaitUntil(
            [&] {
                while (XPending(d_)) {
                    XEvent e;
                    XNextEvent(d_, &e);
                    if (e.type == ClientMessage && e.xclient.window == w && e.xclient.message_type == protocols &&
                        static_cast<Atom>(e.xclient.data.l[0]) == del)
                        return true;
                }
                return false;
            },
            ms);
    }

    std::vector<Window> ClientList() {
        std::vector<Window> out;
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d_, root(), XInternAtom(d_, "_NET_CLIENT_LIST", False), 0, 4096, False, XA_WINDOW,
                               &type, &format, &n, &after, &data) == Success &&
            data) {
            auto* items = reinterpret_cast<long*>(data);
            for (unsigned long i = 0; i < n; ++i) out.push_back(static_cast<Window>(items[i]));
            XFree(data);
        }
        return out;
    }

private:
    Display* d_ = nullptr;
    std::vector<Window> made_;
};

// A window manager for as long as the object lives: matchbox-window-manager
// without title bars, or openbox (which honours the EWMH window states).
class WindowManagerProcess {
public:
    enum Kind { Matchbox, Openbox };
    explicit WindowManagerProcess(TestDisplay& display, Kind kind = Matchbox) : display_(display) {
        // A manager that ran before leaves its check property behind; the new
        // one is ready when it has put its own there.
        XDeleteProperty(display_.d(), display_.root(), XInternAtom(display_.d(), "_NET_SUPPORTING_WM_CHECK", False));
        XSync(display_.d(), False);
        const char* matchbox[] = {"matchbox-window-manager", "-use_titlebar", "no", nullptr};
        const char* openbox[] = {"openbox", "--sm-disable", nullptr};
        const char** argv = kind == Openbox ? openbox : matchbox;
        if (posix_spawnp(&pid_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
        if (pid_) ready_ = WaitUntil([this] { return HasCheckWindow(); }, 5000);
        // openbox puts its check window up before it takes windows over: a
        // window mapped in between stays unmanaged. Ready once a probe window
        // is among its clients.
        if (ready_ && kind == Openbox) {
            Display* d = display_.d();
            Window probe = XCreateSimpleWindow(d, display_.root(), 0, 0, 10, 10, 0, 0, 0);
            auto managed = [&] {
                for (Window w : display_.ClientList())
                    if (w == probe) return true;
                return false;
            };
            ready_ = false;
            for (int attempt = 0; attempt < 20 && !ready_; ++attempt) {
                // A map made while it was still starting is not seen again.
                XUnmapWindow(d, probe);
                XMapWindow(d, probe);
                XSync(d, False);
                ready_ = WaitUntil(managed, 500);
            }
            XDestroyWindow(d, probe);
            XSync(d, False);
        }
    }
    ~WindowManagerProcess() {
        if (!pid_) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        XSetInputFocus(display_.d(), PointerRoot, RevertToPointerRoot, CurrentTime);
        XSync(display_.d(), False);
    }
    bool ready() const { return ready_; }

private:
    bool HasCheckWindow() {
        Display* d = display_.d();
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        bool ok = XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False), 0, 1,
                                     False, XA_WINDOW, &type, &format, &n, &after, &data) == Success &&
                  data && n == 1;
        if (data) XFree(data);
        return ok;
    }

    TestDisplay& display_;
    pid_t pid_ = 0;
    bool ready_ = false;
};

// A 32-bit property of a window (-1 when it has none).
inline long CardinalProperty(Display* d, Window w, const char* name, Atom type) {
    Atom actual;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    long v = -1;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1, False, type, &actual, &format, &n, &after,
                           &data) == Success &&
        data && n == 1)
        v = *reinterpret_cast<long*>(data);
    if (data) XFree(data);
    return v;
}

// The process that owns a window (0 when it does not say).
inline long WindowPid(Display* d, Window w) {
    const long pid = CardinalProperty(d, w, "_NET_WM_PID", XA_CARDINAL);
    return pid < 0 ? 0 : pid;
}

// The window manager's state of a client window (WM_STATE: NormalState,
// IconicState; -1 when unmanaged).
inline long WmState(Display* d, Window w) { return CardinalProperty(d, w, "WM_STATE", XInternAtom(d, "WM_STATE", False)); }

inline bool Viewable(Display* d, Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

inline std::string TitleOf(Display* d, Window w) {
    char* name = nullptr;
    std::string t;
    if (XFetchName(d, w, &name) && name) t = name;
    if (name) XFree(name);
    return t;
}

// Walks the window tree from the root; fn sees each window with whether it
// lies inside a window of the process insidePid (a tray host's panel).
inline void ForEachWindow(Display* d, const std::function<void(Window, bool)>& fn, long insidePid = 0) {
    std::function<void(Window, bool, int)> walk = [&](Window w, bool inside, int depth) {
        if (depth > 32) return;
        inside = inside || (insidePid && WindowPid(d, w) == insidePid);
        fn(w, inside);
        Window root, parent, *children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(d, w, &root, &parent, &children, &n)) return;
        for (unsigned int i = 0; i < n; ++i) walk(children[i], inside, depth + 1);
        if (children) XFree(children);
    };
    walk(DefaultRootWindow(d), false, 0);
}

// trayer as the tray host, for as long as the object lives.
class TrayHost {
public:
    ~TrayHost() { Stop(); }
    // Started once it holds the tray selection and its panel shows; a host
    // whose panel does not show is replaced.
    bool Start(Display* d) {
        const char* argv[] = {"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                              "--width", "200", "--height", "24", nullptr};
        const Atom selection = XInternAtom(d, "_NET_SYSTEM_TRAY_S0", False);
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (posix_spawnp(&pid_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
                pid_ = 0;
                return false;
            }
            if (WaitUntil([&] { return XGetSelectionOwner(d, selection) != None && PanelShows(d); }, 5000))
                return true;
            Stop();
        }
        return false;
    }
    pid_t pid() const { return pid_; }

private:
    bool PanelShows(Display* d) const {
        bool shows = false;
        ForEachWindow(d, [&](Window w, bool) {
            if (!shows && WindowPid(d, w) == pid_ && Viewable(d, w)) shows = true;
        });
        return shows;
    }
    void Stop() {
        if (!pid_) return;
        kill(pid_, SIGTERM);
        int status;
        waitpid(pid_, &status, 0);
        pid_ = 0;
    }
    pid_t pid_ = 0;
};

}  // namespace kr::test
