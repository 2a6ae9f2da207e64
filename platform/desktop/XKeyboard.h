// The keyboard and mouse of the X display, driven through XTest on a
// connection of its own. Characters are looked up in the keyboard map
// (XKB, current group): the key and the shift level that produce them, the
// level's modifiers pressed with it (Shift; AltGr through the key that gives
// the level-three modifier, ISO_Level3_Shift). A character no key produces
// is typed through a spare key code (one without symbols) mapped to it, which
// RestoreTemporaryKeys puts back.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/Keyboard.h"

namespace kr {

class XKeyboard final : public KeyboardOutput {
public:
    // Opens a connection to $DISPLAY; Available() is false without one or
    // without the XTest extension, and then every call does nothing.
    XKeyboard();
    ~XKeyboard() override;
    XKeyboard(const XKeyboard&) = delete;
    XKeyboard& operator=(const XKeyboard&) = delete;

    bool Available() const;

    void BeginSend() override;
    void KeyDown(int vk) override;
    void KeyUp(int vk) override;
    void MouseClick(int button, int clicks) override;
    bool TypeCharacter(char32_t c) override;
    void PrepareCharacters(std::u32string_view text) override;
    bool CapsLockOn() override;
    void Flush() override;
    bool HasTemporaryKeys() const override;
    void RestoreTemporaryKeys() override;

    // The key code and modifier mask that type a character with the current
    // map, without typing it; false when no key produces it (tests).
    bool Lookup(char32_t c, unsigned* keycode, unsigned* mods);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace kr
