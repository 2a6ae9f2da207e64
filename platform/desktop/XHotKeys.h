// System-wide hot keys on X: passive grabs of key combinations on the root
// window, on a connection of our own read through a socket notifier of the
// thread that made it. A grab another client already holds is refused by
// the server with BadAccess; the grab waits for the server's answer, so the
// refusal is reported by Grab's result.
#pragma once

#include <functional>
#include <memory>

namespace kr {

// A key combination as X grabs it: a virtual key and the modifiers held.
struct GrabbedKey {
    int virtualKey = 0;
    bool alt = false;
    bool ctrl = false;
    bool shift = false;
    bool win = false;
};

class XHotKeys {
public:
    // Opens a connection to $DISPLAY; without one Available() is false and
    // every grab fails.
    XHotKeys();
    ~XHotKeys();
    XHotKeys(const XHotKeys&) = delete;
    XHotKeys& operator=(const XHotKeys&) = delete;

    bool Available() const;
    // Grabs the key with every combination of CapsLock and NumLock, so the
    // key works whatever their state. False when the key has no key code
    // here (mouse buttons, modifiers alone) or another client holds it; no
    // part of it stays grabbed then.
    bool Grab(int id, const GrabbedKey& key);
    bool Ungrab(int id, const GrabbedKey& key);
    // Called on the notifier's thread with the id of a grabbed key pressed
    // (a held key's repeats are not presses).
    void SetPressedHandler(std::function<void(int id)> handler);
    // True while the key or any Shift, Ctrl, Alt or Win key is held down.
    bool KeysDown(const GrabbedKey& key);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace kr
