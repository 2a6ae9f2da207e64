// The keystroke engine of the "Send Keys" script action and of the hot keys
// that type a text. A keystroke text mixes characters with bracketed tokens:
//
//   Dear [NAME],[ENTER]     a value reference is typed as its value
//   [^S] [CTRL-S] [CTRLKEYS] Ctrl+S ("+" Shift, "^" Ctrl, "%" Alt)
//   [%F4] [ALT-F4]          Alt+F4
//   [MOUSELEFT2]            a double click of the left button
//   [Bogus]                 neither key nor value: typed as "Bogus"
//
// Key codes are virtual keys in the low byte with modifier bits above it:
// 256 Shift, 512 Ctrl, 1024 Alt, 2048 the Windows key. The keys go to a
// KeyboardOutput (platform/desktop/Keyboard.h): XTest on the display, or a
// recorder in tests.
//
// KeystrokeSender sends a text the way the script step does: one piece after
// each pause of ScriptingDelay, plain text before a token at most BurstSize
// characters at a time, the plain text after the last token in one piece,
// each key token alone. It runs on timer events of the thread
// that starts it, so the program stays responsive however long the text is.
#pragma once

#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop/Keyboard.h"

namespace kr {

inline constexpr int kKeyShift = 256;
inline constexpr int kKeyCtrl = 512;
inline constexpr int kKeyAlt = 1024;
inline constexpr int kKeyWin = 2048;
// The script step copies its keystrokes into a buffer of this many characters.
inline constexpr std::size_t kKeystrokeBufferSize = 10000;
// BurstSize 0 means this many characters per piece.
inline constexpr int kDefaultBurstSize = 7;
// The tray icons shown in turn while keys are sent.
inline constexpr const char* kBusyKeyIcons[8] = {"busykey.ico",  "busykey2.ico", "busykey3.ico", "busykey4.ico",
                                                 "busykey2.ico", "busykey4.ico", "busykey.ico",  "busykey3.ico"};

// A keystroke-engine code as a type of its own, so that it is never mixed
// with a hot-key code (HotKeys.h), whose modifier bits differ.
enum class SendKeyModifier : int { Shift = kKeyShift, Ctrl = kKeyCtrl, Alt = kKeyAlt, Win = kKeyWin };
struct SendKeyCode {
    constexpr explicit SendKeyCode(int virtualKey) : value(virtualKey) {}
    constexpr SendKeyCode With(SendKeyModifier m) const { return SendKeyCode(value | static_cast<int>(m)); }
    int value;
};

// The virtual key of a key name ("ENTER", "F4", "PAD7", "MOUSELEFT2"),
// without regard to case and trailing blanks; 0 for any other name.
int KeyNameToCode(std::string_view name);
// The key code of a token, modifiers included; 0 when the token names no
// key. Modifiers count only before a key name or alone ("CTRL"), so a value
// reference whose name merely begins like one ([ALTITUDE], [SHIPDATE]) is no
// key and is typed as its value.
int ParseKeyToken(std::string_view token);

// The modifier keys of a code's bits, pressed or released, in the order
// Shift, Ctrl, Alt, Windows.
void PressModifiers(KeyboardOutput& out, int code, bool release);
// The modifiers, the key (or a click of mouse code 1, 2, 3, a double click
// of 5, 6, 7), then the modifiers released.
void PressKey(KeyboardOutput& out, int code);
inline void PressKey(KeyboardOutput& out, SendKeyCode code) { PressKey(out, code.value); }
// Types a text (UTF-8) character by character; with CapsLock on, CapsLock is
// turned off for the text and on again after it. Returns the characters that
// could not be typed, each once.
std::u32string SendText(KeyboardOutput& out, std::string_view text);
// One bracketed token: a key, else the value it references, else the token
// itself as text. Returns the characters that could not be typed.
std::u32string SendKeyItem(KeyboardOutput& out, std::string_view token);

// What one step of the send loop sends.
struct KeystrokePiece {
    enum class Kind { Text, Key, Nothing };
    Kind kind = Kind::Nothing;
    std::string text;  // the characters, or the token without its brackets
    bool operator==(const KeystrokePiece&) const = default;
};

// Cuts a keystroke text into the pieces the loop sends after each pause:
// plain text before a "[" at most burstSize characters at a time, plain text
// with no "[" after it in one piece;
// a bracketed token alone; an opening bracket without a closing one is
// dropped (a step that sends nothing) and the rest is plain text. The text
// ends when what is left is blank.
class KeystrokeCursor {
public:
    KeystrokeCursor(std::string_view text, int burstSize);
    bool AtEnd() const;
    KeystrokePiece Next();

private:
    std::u32string text_;
    std::size_t pos_ = 0;
    int burst_;
};

// Every piece of a text, in order (tests, the benchmark).
std::vector<KeystrokePiece> SegmentKeystrokes(std::string_view text, int burstSize);

// The send loop, a state machine on a single-shot timer. Start begins it;
// `done` is called (from the event loop, never inside Start) when the last
// piece has gone and any keys mapped for missing characters are back. While
// it runs the tray icon steps through kBusyKeyIcons.
class KeystrokeSender {
public:
    explicit KeystrokeSender(KeyboardOutput& out);
    ~KeystrokeSender();
    KeystrokeSender(const KeystrokeSender&) = delete;
    KeystrokeSender& operator=(const KeystrokeSender&) = delete;

    // The icon hook (the tray); empty: none.
    void SetTrayIconHook(std::function<void(const std::string&)> hook) { trayIcon_ = std::move(hook); }

    // Sends text (cut to kKeystrokeBufferSize characters) with a pause of
    // delayHundredths before each piece and burstSize characters per piece
    // (0: kDefaultBurstSize). A send already running is stopped first.
    void Start(std::string_view text, int delayHundredths, int burstSize, std::function<void()> done);
    // Sends nothing more; `done` is not called.
    void Stop();
    bool Running() const { return running_; }
    // Pieces sent so far in this send.
    int PiecesSent() const { return pieces_; }

private:
    void Step();
    void Finish();

    KeyboardOutput& out_;
    QTimer timer_;
    std::unique_ptr<KeystrokeCursor> cursor_;
    std::function<void()> done_;
    std::function<void(const std::string&)> trayIcon_;
    std::u32string missing_;
    int intervalMs_ = 250;
    int iconStep_ = 0;
    int pieces_ = 0;
    bool running_ = false;
    bool restoring_ = false;
};

}  // namespace kr
