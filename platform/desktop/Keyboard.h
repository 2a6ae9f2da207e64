// The keyboard and mouse that the keystroke engine drives: key presses by
// virtual-key code, characters typed as themselves, mouse clicks. The X11
// implementation (XKeyboard.h) synthesises them through XTest; tests of the
// engine without a display record them.
#pragma once

#include <string>
#include <string_view>

namespace kr {

class KeyboardOutput {
public:
    virtual ~KeyboardOutput() = default;
    // Before a text is sent: the keyboard map is read afresh and every
    // modifier key still held down (Shift, Ctrl, Alt, the Windows key,
    // AltGr) is released, so keys the user holds do not change what is typed.
    virtual void BeginSend() {}
    // One key event for a virtual key (VirtualKeys.h).
    virtual void KeyDown(int vk) = 0;
    virtual void KeyUp(int vk) = 0;
    // Clicks a mouse button (1 left, 2 right, 3 middle) once or twice.
    virtual void MouseClick(int button, int clicks) = 0;
    // Types one character with whatever Shift or AltGr it needs; a character
    // the keyboard map cannot produce goes through a spare key mapped to it
    // for the time being. False when it could not be typed at all.
    virtual bool TypeCharacter(char32_t c) = 0;
    // Makes ready what typing these characters needs before the first of
    // them is typed (spare keys mapped for characters the layout lacks).
    virtual void PrepareCharacters(std::u32string_view) {}
    // True while CapsLock is on.
    virtual bool CapsLockOn() = 0;
    // Sends what was produced to the display.
    virtual void Flush() {}
    // True while keys are mapped for characters the map lacks.
    virtual bool HasTemporaryKeys() const { return false; }
    // Puts the keys mapped for missing characters back. Called only once the
    // receiving program has had time to read the typed keys with that map.
    virtual void RestoreTemporaryKeys() {}
};

}  // namespace kr
