// A small X program for the window-mode tests: one titled top-level window
// that says whose it is (_NET_WM_PID), shown until the program is ended.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "kr_test_window: no X display\n");
        return 1;
    }
    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 40, 40, 240, 120, 0, 0, 0xffffff);
    XStoreName(d, w, argc > 1 ? argv[1] : "Kairoll test window");
    long pid = getpid();
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
    Atom del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, w, &del, 1);
    XMapWindow(d, w);
    XFlush(d);
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == del) break;
    }
    XCloseDisplay(d);
    return 0;
}
