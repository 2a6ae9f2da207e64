#include "platform/desktop/XHotKeys.h"

#include <QSocketNotifier>
#include <QTimer>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "platform/desktop/VirtualKeys.h"

namespace kr {

namespace {

// The server's refusals of our grabs. Xlib's error handler is one for the
// process: ours is put in only around our own requests and hands errors of
// other connections to the handler that was there.
std::mutex g_errorMutex;
Display* g_grabDisplay = nullptr;
bool g_refused = false;
XErrorHandler g_previous = nullptr;

int OnError(Display* dpy, XErrorEvent* e) {
    if (dpy == g_grabDisplay) {
        if (e->error_code == BadAccess) g_refused = true;
        return 0;
    }
    return g_previous ? g_previous(dpy, e) : 0;
}

constexpr unsigned kRelevant = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

}  // namespace

struct XHotKeys::Impl {
    Display* dpy = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void(int)> pressed;
    std::map<std::pair<unsigned, unsigned>, int> ids;  // (keycode, modifiers) -> id
    std::set<unsigned> down;                           // grabbed keys held now

    unsigned Mods(const GrabbedKey& k) const {
        return (k.alt ? Mod1Mask : 0u) | (k.ctrl ? ControlMask : 0u) | (k.shift ? ShiftMask : 0u) |
               (k.win ? Mod4Mask : 0u);
    }
    unsigned Code(const GrabbedKey& k) const {
        const KeySym sym = VirtualKeyToKeysym(k.virtualKey);
        return sym ? XKeysymToKeycode(dpy, sym) : 0u;
    }
    // The four lock variants of one grab, or of one ungrab; true when the
    // server refused none.
    bool Apply(unsigned code, unsigned mods, bool grab) {
        std::lock_guard<std::mutex> l(g_errorMutex);
        XSync(dpy, False);
        g_grabDisplay = dpy;
        g_refused = false;
        g_previous = XSetErrorHandler(OnError);
        const Window root = DefaultRootWindow(dpy);
        for (unsigned lock : {0u, unsigned(LockMask), unsigned(Mod2Mask), unsigned(LockMask | Mod2Mask)}) {
            if (grab)
                XGrabKey(dpy, static_cast<int>(code), mods | lock, root, False, GrabModeAsync, GrabModeAsync);
            else
                XUngrabKey(dpy, static_cast<int>(code), mods | lock, root);
        }
        XSync(dpy, False);
        XSetErrorHandler(g_previous);
        g_grabDisplay = nullptr;
        return !g_refused;
    }
    void Drain() {
        while (dpy && XPending(dpy) > 0) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type == KeyPress) {
                const unsigned code = ev.xkey.keycode;
                if (!down.insert(code).second) continue;  // a repeat of a held key
                const auto it = ids.find({code, ev.xkey.state & kRelevant});
                if (it != ids.end() && pressed) pressed(it->second);
            } else if (ev.type == KeyRelease) {
                down.erase(ev.xkey.keycode);
            }
        }
    }
};

XHotKeys::XHotKeys() : d_(std::make_unique<Impl>()) {
    d_->dpy = XOpenDisplay(nullptr);
    if (!d_->dpy) return;
    Bool supported = False;
    XkbSetDetectableAutoRepeat(d_->dpy, True, &supported);
    d_->notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(d_->dpy), QSocketNotifier::Read);
    QObject::connect(d_->notifier.get(), &QSocketNotifier::activated, [this] { d_->Drain(); });
}

XHotKeys::~XHotKeys() {
    d_->notifier.reset();
    if (d_->dpy) XCloseDisplay(d_->dpy);
}

bool XHotKeys::Available() const { return d_->dpy != nullptr; }

bool XHotKeys::Grab(int id, const GrabbedKey& key) {
    if (!d_->dpy) return false;
    const unsigned code = d_->Code(key);
    if (code == 0) return false;
    const unsigned mods = d_->Mods(key);
    if (!d_->Apply(code, mods, true)) {
        // Variants the server did give us are let go: the key is not ours.
        d_->Apply(code, mods, false);
        return false;
    }
    d_->ids[{code, mods}] = id;
    // Events read into Xlib's queue while waiting for the server are handled
    // from the event loop.
    QTimer::singleShot(0, d_->notifier.get(), [this] { d_->Drain(); });
    return true;
}

bool XHotKeys::Ungrab(int, const GrabbedKey& key) {
    if (!d_->dpy) return false;
    const unsigned code = d_->Code(key);
    if (code == 0) return false;
    const unsigned mods = d_->Mods(key);
    if (d_->ids.erase({code, mods}) == 0) return false;  // not ours to let go
    return d_->Apply(code, mods, false);
}

void XHotKeys::SetPressedHandler(std::function<void(int id)> handler) { d_->pressed = std::move(handler); }

bool XHotKeys::KeysDown(const GrabbedKey& key) {
    if (!d_->dpy) return false;
    char keys[32];
    XQueryKeymap(d_->dpy, keys);
    auto isDown = [&](unsigned code) { return code < 256 && (keys[code / 8] & (1 << (code % 8))) != 0; };
    if (const unsigned code = d_->Code(key); code && isDown(code)) return true;
    XModifierKeymap* map = XGetModifierMapping(d_->dpy);
    bool held = false;
    if (map) {
        for (int mod : {ShiftMapIndex, ControlMapIndex, Mod1MapIndex, Mod4MapIndex})
            for (int i = 0; i < map->max_keypermod; ++i)
                if (const KeyCode c = map->modifiermap[mod * map->max_keypermod + i]; c && isDown(c)) held = true;
        XFreeModifiermap(map);
    }
    return held;
}

}  // namespace kr
