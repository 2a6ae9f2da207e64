// What a pressed hot key does: type, copy or paste its text, or queue its
// task's script. The waits run as timers of the calling thread (thread 1),
// so the frame never blocks: a typed or pasted text starts only once the hot
// key and the modifiers held with it are released (the grab would otherwise
// take every key we send), and after a pause of 200 ms.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "dictionary/OrganiserTables.h"
#include "platform/desktop/Keyboard.h"
#include "platform/desktop/XHotKeys.h"
#include "scheduler/HotKeys.h"

namespace kr {

// The pause after the keys are released, and before a task is fetched.
inline constexpr int kHotKeyPauseMs = 200;

GrabbedKey ToGrabbedKey(HotKeyCode code);

// The manager's grabs on the X display.
class DesktopHotKeyGrabber final : public HotKeyGrabber {
public:
    explicit DesktopHotKeyGrabber(XHotKeys& keys) : keys_(keys) {}
    bool Grab(int id, HotKeyCode code) override { return keys_.Grab(id, ToGrabbedKey(code)); }
    bool Ungrab(int id, HotKeyCode code) override { return keys_.Ungrab(id, ToGrabbedKey(code)); }

private:
    XHotKeys& keys_;
};

class HotKeyActions {
public:
    // keysDown answers whether the key or a modifier is still held; keyboard
    // presses Ctrl+V for "Paste" (not owned).
    HotKeyActions(std::function<bool(HotKeyCode)> keysDown, KeyboardOutput* keyboard);
    ~HotKeyActions();

    // The action of a SysHotKeys record (a copy is kept until it is done).
    void RunHotKey(const SysHotKeys& record);
    void RunHotKeyText(const SysHotKeys& record);
    void RunHotKeyTask(const SysHotKeys& record);
    // Waiting for a key release or a pause, or typing (tests, the benchmark).
    bool Busy() const;

private:
    void AfterRelease(HotKeyCode code, std::function<void()> then);

    std::function<bool(HotKeyCode)> keysDown_;
    KeyboardOutput* keyboard_;
    QObject context_;
    int pending_ = 0;
};

// The hot keys of the program: the manager, its grabs on the display and the
// actions, on the thread that makes it. `pressed` is called after a press is
// queued (the frame posts its event there).
class DesktopHotKeys {
public:
    explicit DesktopHotKeys(std::function<void()> pressed);
    ~DesktopHotKeys();
    HotKeyManager& Manager() { return manager_; }
    HotKeyActions& Actions() { return *actions_; }
    XHotKeys& Display() { return x_; }

private:
    XHotKeys x_;
    DesktopHotKeyGrabber grabber_{x_};
    HotKeyManager manager_;
    std::unique_ptr<KeyboardOutput> keyboard_;
    std::unique_ptr<HotKeyActions> actions_;
};

}  // namespace kr
