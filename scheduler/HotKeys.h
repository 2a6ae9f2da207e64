// System-wide hot keys: the key texts the user stores ("Ctrl-Shift-F1",
// "^+F1", "WinW"), their codes, and the manager that keeps the grabbed keys
// and the keys pressed but not yet handled by the frame.
//
// A hot-key code holds the virtual key in its low byte and the modifiers in
// the second: 256 Alt, 512 Ctrl, 1024 Shift, 2048 Win. The keystroke engine
// (SendKeys.h) and the window key codes put their modifiers on other bits,
// so a hot-key code is a type of its own and never converts to or from a
// plain int without saying so.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kr {

enum class HotKeyModifier : int32_t { Alt = 256, Ctrl = 512, Shift = 1024, Win = 2048 };

class HotKeyCode {
public:
    constexpr HotKeyCode() = default;
    constexpr explicit HotKeyCode(int32_t value) : value_(value) {}
    constexpr int32_t Value() const { return value_; }
    constexpr int VirtualKey() const { return value_ & 0xFF; }
    constexpr bool Has(HotKeyModifier m) const { return (value_ & static_cast<int32_t>(m)) != 0; }
    constexpr HotKeyCode With(HotKeyModifier m) const { return HotKeyCode(value_ | static_cast<int32_t>(m)); }
    constexpr bool IsNone() const { return value_ == 0; }
    constexpr auto operator<=>(const HotKeyCode&) const = default;

private:
    int32_t value_ = 0;
};

// One row of the key-name table.
struct HotKeyName {
    std::string name;
    int virtualKey = 0;
};
// The 92 key names the hot keys know, in table order (searched from the end).
const std::vector<HotKeyName>& HotKeyNames();

// The code of a key text; none (0) when the text names no key. A text of
// modifiers alone gives the modifiers with virtual key 0.
HotKeyCode ParseKey(std::string_view text, const std::vector<HotKeyName>& names = HotKeyNames());

// A key of the manager's queues: its code and its text (32 characters).
struct HotKeyRow {
    HotKeyCode code;
    std::string text;
    bool operator==(const HotKeyRow&) const = default;
};
using HotKeyQueue = std::vector<HotKeyRow>;

// Where the keys are grabbed: the X display in the program, a recorder in
// tests. Grab answers false when the key could not be had (taken by another
// client, or no such key on the keyboard).
class HotKeyGrabber {
public:
    virtual ~HotKeyGrabber() = default;
    virtual bool Grab(int id, HotKeyCode code) = 0;
    virtual bool Ungrab(int id, HotKeyCode code) = 0;
};

// The built-in key that restores the frame from the tray.
inline constexpr const char* kHotKeyRestore = "WinW";
// A key text is stored in 20 characters; a queue row keeps 32.
inline constexpr std::size_t kHotKeyTextSize = 20;
inline constexpr std::size_t kHotKeyRowTextSize = 32;

class HotKeyManager {
public:
    virtual ~HotKeyManager();

    uint8_t ACTIVE = 0;          // registration allowed
    uint8_t KEYSREGISTERED = 0;  // the keys are grabbed now
    HotKeyQueue KEYQ;            // ascending code; a key's id is its position (1-based)
    HotKeyQueue PRESSEDKEYQ;     // pressed, not yet taken by the frame
    HotKeyQueue FAILEDKEYQ;      // last grab or ungrab failed
    std::vector<HotKeyName> TRNQ;

    // Loads the key names and takes the grabber (not owned); `pressed` is
    // called after each press is queued (the frame posts its event there).
    void Init(HotKeyGrabber* grabber, std::function<void()> pressed = {});
    virtual void LoadKeyNames();
    virtual void HandleHotKey(const std::string& keyText, int id);
    virtual void HandleInvalidKey(const std::string& keyText);

    void Add(std::string_view text);
    void RegisterAll();
    void UnregisterAll();
    void Suspend();
    void Resume();
    void Kill();
    // The keys anew: the queue emptied, the restore key, then each of the
    // given texts (the active stored keys in file order). Keys no longer
    // stored are not grabbed again, so they are free for other programs.
    void Reload(const std::vector<std::string>& activeKeys);

    // A grabbed key with this id was pressed (the grabber's event).
    void Pressed(int id);
    // Takes the first pressed key off the queue.
    std::optional<HotKeyRow> TakePressed();

private:
    HotKeyGrabber* grabber_ = nullptr;
    std::function<void()> pressed_;
};

// The active keys of SysHotKeys in file order (the frame's reload).
std::vector<std::string> ActiveStoredHotKeys();

}  // namespace kr
