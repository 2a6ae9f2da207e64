#include "platform/desktop/X11Windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>

namespace kr {

namespace {

constexpr int kMaxDepth = 32;
constexpr std::size_t kMaxWindows = 10000;
constexpr std::size_t kMaxText = 254;

std::recursive_mutex g_m;
Display* g_display = nullptr;
bool g_tried = false;

// Windows come and go while they are read; errors about them are expected
// and must not end the program (Xlib's default handler exits).
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

// Holds the lock and swaps in the quiet error handler for one use of the
// connection; the previous handler (Qt's, if any) comes back afterwards.
class Session {
public:
    Session() : lock_(g_m) {
        if (!g_display && !g_tried) {
            g_tried = true;
            g_display = XOpenDisplay(nullptr);
        }
        previous_ = XSetErrorHandler(IgnoreErrors);
    }
    ~Session() {
        if (g_display) XSync(g_display, False);
        XSetErrorHandler(previous_);
    }
    Display* d() const { return g_display; }
    Window Root() const { return DefaultRootWindow(g_display); }
    Atom A(const char* name) const { return XInternAtom(g_display, name, False); }

private:
    std::lock_guard<std::recursive_mutex> lock_;
    int (*previous_)(Display*, XErrorEvent*) = nullptr;
};

std::string Cut(std::string s) {
    if (s.size() > kMaxText) s.resize(kMaxText);
    return s;
}

// A property as raw items; format 32 items come as longs.
bool GetProperty(const Session& s, Window w, Atom property, Atom type, std::vector<unsigned char>* bytes,
                 int* format, unsigned long* count) {
    Atom actualType = 0;
    int actualFormat = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(s.d(), w, property, 0, 1 << 20, False, type, &actualType, &actualFormat, &n, &after,
                           &data) != Success ||
        !data || actualType == None) {
        if (data) XFree(data);
        return false;
    }
    std::size_t itemSize = actualFormat == 32 ? sizeof(long) : actualFormat / 8;
    bytes->assign(data, data + n * itemSize);
    *format = actualFormat;
    *count = n;
    XFree(data);
    return true;
}

std::vector<Window> GetWindowsProperty(const Session& s, Window w, const char* name) {
    std::vector<unsigned char> b;
    int format = 0;
    unsigned long n = 0;
    std::vector<Window> out;
    if (!GetProperty(s, w, s.A(name), XA_WINDOW, &b, &format, &n) || format != 32) return out;
    const long* items = reinterpret_cast<const long*>(b.data());
    for (unsigned long i = 0; i < n && out.size() < kMaxWindows; ++i) out.push_back(static_cast<Window>(items[i]));
    return out;
}

bool GetCardinal(const Session& s, Window w, const char* name, long* value) {
    std::vector<unsigned char> b;
    int format = 0;
    unsigned long n = 0;
    if (!GetProperty(s, w, s.A(name), XA_CARDINAL, &b, &format, &n) || format != 32 || n < 1) return false;
    *value = *reinterpret_cast<const long*>(b.data());
    return true;
}

std::string GetUtf8(const Session& s, Window w, const char* name) {
    std::vector<unsigned char> b;
    int format = 0;
    unsigned long n = 0;
    if (!GetProperty(s, w, s.A(name), s.A("UTF8_STRING"), &b, &format, &n) || format != 8) return {};
    return std::string(b.begin(), b.end());
}

// WM_NAME or WM_ICON_NAME in whatever encoding the client used.
std::string GetTextProperty(const Session& s, Window w, Atom property) {
    XTextProperty tp{};
    if (!XGetTextProperty(s.d(), w, &tp, property) || !tp.value) return {};
    std::string out;
    char** list = nullptr;
    int count = 0;
    if (Xutf8TextPropertyToTextList(s.d(), &tp, &list, &count) >= Success && list) {
        if (count > 0 && list[0]) out = list[0];
        XFreeStringList(list);
    } else {
        out.assign(reinterpret_cast<const char*>(tp.value), tp.nitems);
    }
    XFree(tp.value);
    return out;
}

bool HasWmState(const Session& s, Window w, long* state = nullptr) {
    std::vector<unsigned char> b;
    int format = 0;
    unsigned long n = 0;
    Atom wmState = s.A("WM_STATE");
    if (!GetProperty(s, w, wmState, wmState, &b, &format, &n)) return false;
    if (state) *state = (format == 32 && n >= 1) ? *reinterpret_cast<const long*>(b.data()) : 0;
    return true;
}

std::vector<Window> Children(const Session& s, Window w) {
    Window root = 0, parent = 0;
    Window* kids = nullptr;
    unsigned int n = 0;
    std::vector<Window> out;
    if (!XQueryTree(s.d(), w, &root, &parent, &kids, &n)) return out;
    if (kids) {
        out.assign(kids, kids + std::min<unsigned int>(n, kMaxWindows));
        XFree(kids);
    }
    return out;
}

// The client window at or below a top window (the one carrying WM_STATE),
// searched breadth-first; 0 when there is none.
Window FindClient(const Session& s, Window top) {
    std::vector<Window> level{top};
    for (int depth = 0; depth < 4 && !level.empty(); ++depth) {
        std::vector<Window> next;
        for (Window w : level) {
            if (HasWmState(s, w)) return w;
            for (Window c : Children(s, w)) {
                next.push_back(c);
                if (next.size() > kMaxWindows) break;
            }
        }
        level = std::move(next);
    }
    return 0;
}

bool Viewable(const Session& s, Window w) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(s.d(), w, &a)) return false;
    return a.map_state == IsViewable;
}

// "<unnamed>", or "<unnamed> <2>" for the second such window: what matchbox
// writes into WM_NAME of a client that has no title.
bool IsManagerPlaceholder(const std::string& t) {
    const std::string base = "<unnamed>";
    if (t.compare(0, base.size(), base) != 0) return false;
    if (t.size() == base.size()) return true;
    if (t.size() < base.size() + 4 || t[base.size()] != ' ' || t[base.size() + 1] != '<' || t.back() != '>')
        return false;
    for (std::size_t i = base.size() + 2; i + 1 < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9') return false;
    return true;
}

DesktopWindow Describe(const Session& s, Window w) {
    DesktopWindow d;
    d.handle = static_cast<WindowHandle>(w);
    d.title = GetUtf8(s, w, "_NET_WM_NAME");
    if (d.title.empty()) {
        d.title = GetTextProperty(s, w, XA_WM_NAME);
        // Some managers (matchbox) write this into WM_NAME of a client that
        // has no title; it is theirs, not the program's.
        if (IsManagerPlaceholder(d.title)) d.title.clear();
    }
    d.title = Cut(d.title);
    d.iconTitle = GetUtf8(s, w, "_NET_WM_ICON_NAME");
    if (d.iconTitle.empty()) {
        d.iconTitle = GetTextProperty(s, w, XA_WM_ICON_NAME);
        if (IsManagerPlaceholder(d.iconTitle)) d.iconTitle.clear();
    }
    d.iconTitle = Cut(d.iconTitle);
    XClassHint hint{};
    if (XGetClassHint(s.d(), w, &hint)) {
        if (hint.res_class) d.className = Cut(hint.res_class);
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
    }
    long state = 0;
    if (HasWmState(s, w, &state))
        d.visible = state == NormalState || state == IconicState;
    else
        d.visible = Viewable(s, w);
    return d;
}

bool WindowAlive(const Session& s, Window w) {
    XWindowAttributes a{};
    return w && XGetWindowAttributes(s.d(), w, &a);
}

// A window manager is running when _NET_SUPPORTING_WM_CHECK names a live
// window that names itself; the root's other EWMH properties outlive a
// manager that has gone.
bool WmAlive(const Session& s) {
    std::vector<Window> check = GetWindowsProperty(s, s.Root(), "_NET_SUPPORTING_WM_CHECK");
    if (check.empty() || !check.front()) return false;
    std::vector<Window> self = GetWindowsProperty(s, check.front(), "_NET_SUPPORTING_WM_CHECK");
    return !self.empty() && self.front() == check.front();
}

bool WmSupports(const Session& s, const char* atom) {
    if (!WmAlive(s)) return false;
    Atom a = s.A(atom);
    std::vector<unsigned char> b;
    int format = 0;
    unsigned long n = 0;
    if (!GetProperty(s, s.Root(), s.A("_NET_SUPPORTED"), XA_ATOM, &b, &format, &n) || format != 32) return false;
    const long* items = reinterpret_cast<const long*>(b.data());
    for (unsigned long i = 0; i < n; ++i)
        if (static_cast<Atom>(items[i]) == a) return true;
    return false;
}

// The top-level window (a root child or a client) that holds a window.
Window TopOf(const Session& s, Window w) {
    Window root = s.Root();
    for (int depth = 0; w && w != root && depth < kMaxDepth; ++depth) {
        if (HasWmState(s, w)) return w;
        Window r = 0, parent = 0;
        Window* kids = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(s.d(), w, &r, &parent, &kids, &n)) return 0;
        if (kids) XFree(kids);
        if (parent == root) return FindClient(s, w) ? FindClient(s, w) : w;
        w = parent;
    }
    return 0;
}

void SendToRoot(const Session& s, Window w, Atom type, long l0, long l1, long l2) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = l0;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    XSendEvent(s.d(), s.Root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(s.d());
}

}  // namespace

bool HaveX11Display() {
    Session s;
    return s.d() != nullptr;
}

void CloseX11Connection() {
    std::lock_guard<std::recursive_mutex> l(g_m);
    if (g_display) XCloseDisplay(g_display);
    g_display = nullptr;
    g_tried = false;
}

std::vector<DesktopWindow> TopLevelWindows() {
    Session s;
    std::vector<DesktopWindow> out;
    if (!s.d()) return out;
    std::vector<Window> order;
    std::set<Window> seen;
    std::vector<Window> clients;
    if (WmAlive(s)) {
        clients = GetWindowsProperty(s, s.Root(), "_NET_CLIENT_LIST_STACKING");
        if (!clients.empty())
            std::reverse(clients.begin(), clients.end());
        else
            clients = GetWindowsProperty(s, s.Root(), "_NET_CLIENT_LIST");
    }
    for (Window w : clients)
        if (seen.insert(w).second) order.push_back(w);
    // Then the rest of the top of the tree, topmost first: frames lead to
    // their clients (without a window manager that keeps a client list), the
    // other windows stand for themselves.
    std::vector<Window> tops = Children(s, s.Root());
    std::reverse(tops.begin(), tops.end());
    for (Window t : tops) {
        Window client = FindClient(s, t);
        Window w = client ? client : t;
        if (seen.insert(w).second) order.push_back(w);
        if (order.size() >= kMaxWindows) break;
    }
    for (Window w : order)
        if (WindowAlive(s, w)) out.push_back(Describe(s, w));
    return out;
}

std::vector<DesktopWindow> ChildWindowsOf(WindowHandle window) {
    Session s;
    std::vector<DesktopWindow> out;
    if (!s.d() || !WindowAlive(s, window)) return out;
    // Depth-first in tree order, without recursion.
    std::vector<std::pair<Window, int>> stack;
    std::vector<Window> kids = Children(s, window);
    for (auto i = kids.rbegin(); i != kids.rend(); ++i) stack.push_back({*i, 1});
    while (!stack.empty() && out.size() < kMaxWindows) {
        auto [w, depth] = stack.back();
        stack.pop_back();
        out.push_back(Describe(s, w));
        if (depth >= kMaxDepth) continue;
        kids = Children(s, w);
        for (auto i = kids.rbegin(); i != kids.rend(); ++i) stack.push_back({*i, depth + 1});
    }
    return out;
}

DesktopWindow DescribeWindow(WindowHandle window) {
    Session s;
    if (!s.d() || !WindowAlive(s, window)) return {};
    return Describe(s, window);
}

bool WindowExists(WindowHandle window) {
    Session s;
    return s.d() && WindowAlive(s, window);
}

int WindowPid(WindowHandle window) {
    Session s;
    long pid = 0;
    if (!s.d() || !GetCardinal(s, window, "_NET_WM_PID", &pid)) return 0;
    return static_cast<int>(pid);
}

std::string WindowProgram(WindowHandle window) {
    int pid = WindowPid(window);
    if (pid <= 0) return {};
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

WindowHandle ActiveWindow() {
    Session s;
    if (!s.d()) return 0;
    if (WmAlive(s)) {
        std::vector<Window> active = GetWindowsProperty(s, s.Root(), "_NET_ACTIVE_WINDOW");
        if (!active.empty() && active.front()) return static_cast<WindowHandle>(active.front());
    }
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(s.d(), &focus, &revert);
    if (focus == None || focus == PointerRoot) return 0;
    return static_cast<WindowHandle>(TopOf(s, focus));
}

bool ActivateWindow(WindowHandle window) {
    Session s;
    if (!s.d() || !WindowAlive(s, window)) return false;
    if (WmSupports(s, "_NET_ACTIVE_WINDOW")) {
        // Source 2: a pager or other tool acting for the user, which window
        // managers obey rather than treat as a program stealing the focus.
        SendToRoot(s, window, s.A("_NET_ACTIVE_WINDOW"), 2, CurrentTime, 0);
        return true;
    }
    XMapRaised(s.d(), window);
    XSync(s.d(), False);
    if (Viewable(s, window)) XSetInputFocus(s.d(), window, RevertToPointerRoot, CurrentTime);
    XFlush(s.d());
    return true;
}

bool CloseWindow(WindowHandle window) {
    Session s;
    if (!s.d() || !WindowAlive(s, window)) return false;
    if (WmSupports(s, "_NET_CLOSE_WINDOW")) {
        SendToRoot(s, window, s.A("_NET_CLOSE_WINDOW"), CurrentTime, 2, 0);
        return true;
    }
    Atom* protocols = nullptr;
    int n = 0;
    bool takesDelete = false;
    Atom del = s.A("WM_DELETE_WINDOW");
    if (XGetWMProtocols(s.d(), window, &protocols, &n)) {
        for (int i = 0; i < n; ++i) takesDelete = takesDelete || protocols[i] == del;
        XFree(protocols);
    }
    if (!takesDelete) return false;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = s.A("WM_PROTOCOLS");
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(del);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(s.d(), window, False, NoEventMask, &e);
    XFlush(s.d());
    return true;
}

bool HaveWindowManager() {
    Session s;
    if (!s.d()) return false;
    std::vector<unsigned char> b;
    int format = 0;
    unsigned long n = 0;
    return WmAlive(s) && GetProperty(s, s.Root(), s.A("_NET_CLIENT_LIST"), XA_WINDOW, &b, &format, &n);
}

void Bell() {
    Session s;
    if (!s.d()) return;
    XBell(s.d(), 0);
    XFlush(s.d());
}

}  // namespace kr
