// Whether VXWBack can show a window at all. Apart from main.cpp, as Xlib's
// macros clash with Qt's headers.
#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

bool HaveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform && std::string(platform).rfind("xcb", 0) != 0) return true;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    Display* d = XOpenDisplay(display);
    if (!d) return false;
    XCloseDisplay(d);
    return true;
}
