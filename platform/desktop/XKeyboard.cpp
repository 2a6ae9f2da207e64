#include "platform/desktop/XKeyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

#include <bit>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "platform/desktop/VirtualKeys.h"

namespace kr {

namespace {
// How long a freshly mapped spare key is left before it is typed.
constexpr int kMapSettleMs = 50;
}  // namespace

namespace {

int QuietErrors(Display*, XErrorEvent*) { return 0; }

// A key that produces something at a shift level, and the modifiers that
// select that level.
struct Place {
    unsigned keycode = 0;
    unsigned mods = 0;
};

// The number pad's digit and decimal keys: NumLock switches them to
// cursor keys (KP_5 to KP_Begin), but a key name such as PAD5 stands for the
// digit whatever the lock's state.
bool IsNumberPadDigit(KeySym s) { return (s >= XK_KP_0 && s <= XK_KP_9) || s == XK_KP_Decimal; }

bool IsLockKey(KeySym s) {
    return s == XK_Caps_Lock || s == XK_Shift_Lock || s == XK_Num_Lock || s == XK_Scroll_Lock ||
           s == XK_Mode_switch || s == XK_ISO_Lock;
}

// The modifiers that select `level` of a key type: the map entry with the
// fewest modifiers, never one that needs Lock (CapsLock is off while typing).
bool LevelMods(XkbKeyTypePtr type, int level, unsigned* mods) {
    if (level == 0) {
        *mods = 0;
        return true;
    }
    bool found = false;
    for (int i = 0; i < type->map_count; ++i) {
        const XkbKTMapEntryRec& e = type->map[i];
        if (!e.active || e.level != level || (e.mods.mask & LockMask)) continue;
        if (!found || std::popcount(e.mods.mask) < std::popcount(*mods)) *mods = e.mods.mask;
        found = true;
    }
    return found;
}

}  // namespace

struct XKeyboard::Impl {
    Display* dpy = nullptr;
    bool xtest = false;
    std::recursive_mutex m;

    std::map<char32_t, Place> chars;        // character -> key and level
    std::map<KeySym, unsigned> keys;        // keysym -> key (level one preferred)
    unsigned modKey[8] = {};                // modifier bit -> a key that sets it
    std::vector<unsigned> modifierKeys;     // every key that sets a modifier (locks left out)
    std::vector<unsigned> spares;           // keys without symbols
    std::map<KeySym, unsigned> temporary;   // keysyms mapped onto spare keys for now
    std::set<unsigned> numLockRaised;       // number pad keys down with NumLock locked for them
    bool loaded = false;

    // The errors of one use of the connection are the connection's own
    // (a mapping request refused); they must not end the program.
    struct Quiet {
        int (*previous)(Display*, XErrorEvent*);
        Quiet() : previous(XSetErrorHandler(QuietErrors)) {}
        ~Quiet() { XSetErrorHandler(previous); }
    };

    void Load() {
        chars.clear();
        keys.clear();
        modifierKeys.clear();
        spares.clear();
        for (unsigned& k : modKey) k = 0;
        XkbDescPtr xkb = XkbGetMap(dpy, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
        if (!xkb) return;
        XkbStateRec state{};
        XkbGetState(dpy, XkbUseCoreKbd, &state);
        std::map<KeySym, int> keyLevel;
        for (int kc = xkb->min_key_code; kc <= xkb->max_key_code; ++kc) {
            const int groups = XkbKeyNumGroups(xkb, kc);
            if (groups == 0) {
                if (XkbKeyNumSyms(xkb, kc) == 0 && !IsTemporary(kc)) spares.push_back(kc);
                continue;
            }
            const int g = state.group < groups ? state.group : 0;
            XkbKeyTypePtr type = XkbKeyKeyType(xkb, kc, g);
            for (int level = 0; level < type->num_levels; ++level) {
                const KeySym sym = XkbKeySymEntry(xkb, kc, level, g);
                if (sym == NoSymbol) continue;
                auto k = keyLevel.find(sym);
                if (k == keyLevel.end() || level < k->second) {
                    keys[sym] = kc;
                    keyLevel[sym] = level;
                }
                const char32_t uc = xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(sym));
                unsigned mods = 0;
                if (!uc || !LevelMods(type, level, &mods)) continue;
                auto c = chars.find(uc);
                if (c == chars.end() || std::popcount(mods) < std::popcount(c->second.mods))
                    chars[uc] = Place{static_cast<unsigned>(kc), mods};
            }
        }
        XkbFreeKeyboard(xkb, 0, True);

        if (XModifierKeymap* mm = XGetModifierMapping(dpy)) {
            for (int bit = 0; bit < 8; ++bit) {
                for (int j = 0; j < mm->max_keypermod; ++j) {
                    const unsigned kc = mm->modifiermap[bit * mm->max_keypermod + j];
                    if (!kc) continue;
                    const KeySym sym = XkbKeycodeToKeysym(dpy, static_cast<KeyCode>(kc), 0, 0);
                    if (IsLockKey(sym)) continue;
                    modifierKeys.push_back(kc);
                    if (!modKey[bit]) modKey[bit] = kc;
                }
            }
            XFreeModifiermap(mm);
        }
        // A level whose modifiers no key sets (a layout's Mode_switch group,
        // NumLock) cannot be reached: such characters go through a spare key.
        for (auto i = chars.begin(); i != chars.end();) {
            bool reachable = true;
            for (int bit = 0; bit < 8; ++bit)
                if ((i->second.mods & (1u << bit)) && !modKey[bit]) reachable = false;
            i = reachable ? std::next(i) : chars.erase(i);
        }
        loaded = true;
    }

    bool IsTemporary(int kc) const {
        for (const auto& [sym, key] : temporary)
            if (static_cast<int>(key) == kc) return true;
        return false;
    }

    void Ensure() {
        if (!loaded) Load();
    }

    void Fake(unsigned kc, bool down) { XTestFakeKeyEvent(dpy, kc, down ? True : False, CurrentTime); }

    // A spare key mapped to the keysym for now; 0 when none is left.
    unsigned Temporary(KeySym sym) {
        auto t = temporary.find(sym);
        if (t != temporary.end()) return t->second;
        if (spares.empty()) return 0;
        const unsigned kc = spares.back();
        spares.pop_back();
        KeySym syms[2] = {sym, sym};
        Quiet q;
        XChangeKeyboardMapping(dpy, static_cast<int>(kc), 2, syms, 1);
        XSync(dpy, False);
        temporary[sym] = kc;
        return kc;
    }

    unsigned KeyOf(KeySym sym) {
        Ensure();
        auto k = keys.find(sym);
        if (k != keys.end()) return k->second;
        return Temporary(sym);
    }

    // The real modifier NumLock sets, 0 when the map has none.
    unsigned NumLockMask() { return XkbKeysymToModifiers(dpy, XK_Num_Lock); }

    bool NumLockLocked(unsigned mask) {
        XkbStateRec state{};
        return XkbGetState(dpy, XkbUseCoreKbd, &state) == Success && (state.locked_mods & mask) != 0;
    }

    void Press(Place p) {
        for (int bit = 0; bit < 8; ++bit)
            if (p.mods & (1u << bit)) Fake(modKey[bit], true);
        Fake(p.keycode, true);
        Fake(p.keycode, false);
        for (int bit = 7; bit >= 0; --bit)
            if (p.mods & (1u << bit)) Fake(modKey[bit], false);
    }
};

XKeyboard::XKeyboard() : d_(std::make_unique<Impl>()) {
    d_->dpy = XOpenDisplay(nullptr);
    if (!d_->dpy) return;
    int event = 0, error = 0, major = 0, minor = 0;
    d_->xtest = XTestQueryExtension(d_->dpy, &event, &error, &major, &minor);
    int opcode = 0, xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion;
    XkbQueryExtension(d_->dpy, &opcode, &event, &error, &xkbMajor, &xkbMinor);
}

XKeyboard::~XKeyboard() {
    if (!d_->dpy) return;
    RestoreTemporaryKeys();
    XCloseDisplay(d_->dpy);
}

bool XKeyboard::Available() const { return d_->dpy && d_->xtest; }

void XKeyboard::BeginSend() {
    if (!Available()) return;
    std::lock_guard<std::recursive_mutex> l(d_->m);
    d_->Load();
    char down[32] = {};
    XQueryKeymap(d_->dpy, down);
    for (unsigned kc : d_->modifierKeys)
        if (kc < 256 && (down[kc / 8] & (1 << (kc % 8)))) d_->Fake(kc, false);
    XFlush(d_->dpy);
}

void XKeyboard::KeyDown(int vk) {
    if (!Available()) return;
    std::lock_guard<std::recursive_mutex> l(d_->m);
    const KeySym sym = VirtualKeyToKeysym(vk);
    const unsigned kc = sym ? d_->KeyOf(sym) : 0;
    if (!kc) return;
    // A number pad digit with NumLock off: the lock is set for the key's
    // press and cleared again after its release, as CapsLock is for a text.
    if (IsNumberPadDigit(sym) && !d_->numLockRaised.count(kc)) {
        const unsigned mask = d_->NumLockMask();
        if (mask && !d_->NumLockLocked(mask)) {
            XkbLockModifiers(d_->dpy, XkbUseCoreKbd, mask, mask);
            d_->numLockRaised.insert(kc);
        }
    }
    d_->Fake(kc, true);
}

void XKeyboard::KeyUp(int vk) {
    if (!Available()) return;
    std::lock_guard<std::recursive_mutex> l(d_->m);
    const KeySym sym = VirtualKeyToKeysym(vk);
    const unsigned kc = sym ? d_->KeyOf(sym) : 0;
    if (!kc) return;
    d_->Fake(kc, false);
    if (d_->numLockRaised.erase(kc)) XkbLockModifiers(d_->dpy, XkbUseCoreKbd, d_->NumLockMask(), 0);
}

void XKeyboard::MouseClick(int button, int clicks) {
    if (!Available()) return;
    // Left, right, middle are X buttons 1, 3, 2.
    const unsigned xButton = button == 2 ? 3 : button == 3 ? 2 : 1;
    std::lock_guard<std::recursive_mutex> l(d_->m);
    for (int i = 0; i < clicks; ++i) {
        XTestFakeButtonEvent(d_->dpy, xButton, True, CurrentTime);
        XTestFakeButtonEvent(d_->dpy, xButton, False, CurrentTime);
    }
    XFlush(d_->dpy);
}

bool XKeyboard::TypeCharacter(char32_t c) {
    if (!Available()) return false;
    std::lock_guard<std::recursive_mutex> l(d_->m);
    d_->Ensure();
    // Control characters that stand for keys.
    KeySym control = NoSymbol;
    switch (c) {
        case U'\r':
        case U'\n': control = XK_Return; break;
        case U'\t': control = XK_Tab; break;
        case U'\b': control = XK_BackSpace; break;
        case 0x1B: control = XK_Escape; break;
        default: break;
    }
    if (control != NoSymbol) {
        const unsigned kc = d_->KeyOf(control);
        if (!kc) return false;
        d_->Press(Place{kc, 0});
        return true;
    }
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c > 0x10FFFF) return false;
    auto p = d_->chars.find(c);
    if (p != d_->chars.end()) {
        d_->Press(p->second);
        return true;
    }
    const KeySym sym = xkb_utf32_to_keysym(static_cast<uint32_t>(c));
    if (sym == NoSymbol) return false;
    const unsigned kc = d_->Temporary(sym);
    if (!kc) return false;
    d_->Press(Place{kc, 0});
    return true;
}

void XKeyboard::PrepareCharacters(std::u32string_view text) {
    // Every spare key a text needs is mapped before its first key is typed: a
    // program that reads a key just after a map change made between two typed
    // keys may read it with the old map, and the character is lost.
    if (!Available()) return;
    std::lock_guard<std::recursive_mutex> l(d_->m);
    d_->Ensure();
    bool mapped = false;
    for (char32_t c : text) {
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c > 0x10FFFF) continue;
        if (d_->chars.count(c)) continue;
        const KeySym sym = xkb_utf32_to_keysym(static_cast<uint32_t>(c));
        if (sym == NoSymbol || d_->temporary.count(sym)) continue;
        if (d_->Temporary(sym)) mapped = true;
    }
    // Programs read a changed map when its notice reaches them; a key sent
    // in the same moment can overtake that reading.
    if (mapped) std::this_thread::sleep_for(std::chrono::milliseconds(kMapSettleMs));
}

bool XKeyboard::CapsLockOn() {
    if (!Available()) return false;
    std::lock_guard<std::recursive_mutex> l(d_->m);
    XkbStateRec state{};
    if (XkbGetState(d_->dpy, XkbUseCoreKbd, &state) != Success) return false;
    return (state.locked_mods & LockMask) != 0;
}

void XKeyboard::Flush() {
    if (!Available()) return;
    std::lock_guard<std::recursive_mutex> l(d_->m);
    XFlush(d_->dpy);
}

bool XKeyboard::HasTemporaryKeys() const { return !d_->temporary.empty(); }

void XKeyboard::RestoreTemporaryKeys() {
    if (!d_->dpy) return;
    std::lock_guard<std::recursive_mutex> l(d_->m);
    if (d_->temporary.empty()) return;
    Impl::Quiet q;
    for (const auto& [sym, kc] : d_->temporary) {
        KeySym none = NoSymbol;
        XChangeKeyboardMapping(d_->dpy, static_cast<int>(kc), 1, &none, 1);
        // Back in line behind the other spares: a key mapped again at once
        // can reach a program before it has read the mapping that cleared it,
        // and the character typed through it is lost.
        d_->spares.insert(d_->spares.begin(), kc);
    }
    d_->temporary.clear();
    XSync(d_->dpy, False);
}

bool XKeyboard::Lookup(char32_t c, unsigned* keycode, unsigned* mods) {
    if (!d_->dpy) return false;
    std::lock_guard<std::recursive_mutex> l(d_->m);
    d_->Load();
    auto p = d_->chars.find(c);
    if (p == d_->chars.end()) return false;
    *keycode = p->second.keycode;
    *mods = p->second.mods;
    return true;
}

}  // namespace kr
