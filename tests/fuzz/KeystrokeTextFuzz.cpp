// Keystroke texts come from scripts, files and value references: the
// parser must cut any text into pieces that end, never reach past the text,
// and read any token without harm; the typing routines must take any piece.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "platform/desktop/Keyboard.h"
#include "scheduler/SendKeys.h"

namespace {
// A keyboard that types everything and presses nothing.
class NullKeyboard : public kr::KeyboardOutput {
public:
    void KeyDown(int) override {}
    void KeyUp(int) override {}
    void MouseClick(int, int) override {}
    bool TypeCharacter(char32_t c) override { return c != 0xFFFD; }
    bool CapsLockOn() override { return false; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int burst = in.ConsumeIntegralInRange(0, 1000);
    const std::string text = in.ConsumeRemainingBytesAsString();
    NullKeyboard keyboard;
    kr::KeystrokeCursor cursor(text, burst);
    std::size_t pieces = 0;
    while (!cursor.AtEnd()) {
        const kr::KeystrokePiece piece = cursor.Next();
        // Each step consumes at least one character of the text.
        if (++pieces > text.size() + 1) __builtin_trap();
        if (piece.kind == kr::KeystrokePiece::Kind::Key) {
            kr::ParseKeyToken(piece.text);
            kr::SendKeyItem(keyboard, piece.text);
        } else if (piece.kind == kr::KeystrokePiece::Kind::Text) {
            kr::SendText(keyboard, piece.text);
        }
    }
    return 0;
}
