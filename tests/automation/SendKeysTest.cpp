// The keystroke engine without a display: key tokens, the pieces a text is
// sent in, and what the send loop presses, against a recording keyboard.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <string>
#include <vector>

#include "platform/runtime/DateTime.h"
#include "scheduler/DesktopScriptServices.h"
#include "scheduler/ScriptValues.h"
#include "scheduler/SendKeys.h"

namespace kr {
namespace {

using Kind = KeystrokePiece::Kind;

// Writes what it is asked to press as readable events: "v17" key down,
// "^17" key up, "click1x2", and typed characters as themselves.
class RecordingKeyboard : public KeyboardOutput {
public:
    void BeginSend() override { events.push_back("begin"); }
    void KeyDown(int vk) override {
        events.push_back("v" + std::to_string(vk));
        if (vk == 20) caps = !caps;
    }
    void KeyUp(int vk) override { events.push_back("^" + std::to_string(vk)); }
    void MouseClick(int button, int clicks) override {
        events.push_back("click" + std::to_string(button) + "x" + std::to_string(clicks));
    }
    bool TypeCharacter(char32_t c) override {
        if (c == U'Ω' && !spare) return false;  // a character no key can give
        if (c == U'Ω') temporary = true;
        typed += QString::fromUcs4(&c, 1).toStdString();
        return true;
    }
    bool CapsLockOn() override { return caps; }
    void Flush() override { events.push_back("flush:" + typed); }
    bool HasTemporaryKeys() const override { return temporary; }
    void RestoreTemporaryKeys() override {
        temporary = false;
        events.push_back("restore");
    }

    std::vector<std::string> events;
    std::string typed;
    bool caps = false;
    bool spare = true;
    bool temporary = false;
};

bool PumpUntil(const bool& flag, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!flag && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return flag;
}

TEST(SendKeys, KeyNamesAndTokens) {
    EXPECT_EQ(KeyNameToCode("enter "), 13);
    EXPECT_EQ(KeyNameToCode("f12"), 123);
    EXPECT_EQ(KeyNameToCode("F13"), 0);
    EXPECT_EQ(KeyNameToCode("pad7"), 103);
    EXPECT_EQ(KeyNameToCode("MouseCenter2"), 7);
    EXPECT_EQ(KeyNameToCode("q"), 'Q');
    EXPECT_EQ(KeyNameToCode("Bogus"), 0);

    // Every spelling of Ctrl+S, and the other modifiers.
    for (const char* t : {"^S", "CTRL-S", "CTRLS", "CTRLKEYS", "ctrl-s", "KeyS^"})
        EXPECT_EQ(ParseKeyToken(t), t == std::string("KeyS^") ? 0 : kKeyCtrl + 'S') << t;
    EXPECT_EQ(ParseKeyToken("%F4"), kKeyAlt + 115);
    EXPECT_EQ(ParseKeyToken("ALT-F4"), kKeyAlt + 115);
    EXPECT_EQ(ParseKeyToken("+TAB"), kKeyShift + 9);
    EXPECT_EQ(ParseKeyToken("^+%HOME"), kKeyCtrl + kKeyShift + kKeyAlt + 36);
    EXPECT_EQ(ParseKeyToken("SHIFT-CTRL-END"), kKeyShift + kKeyCtrl + 35);
    EXPECT_EQ(ParseKeyToken("CTRL"), kKeyCtrl);  // modifiers alone
    // Neither key nor modifier: a value or plain text.
    EXPECT_EQ(ParseKeyToken("DATE"), 0);
    EXPECT_EQ(ParseKeyToken("Bogus"), 0);
    EXPECT_EQ(ParseKeyToken(""), 0);
    // Names that only begin like a modifier are values, not keys.
    EXPECT_EQ(ParseKeyToken("ALTITUDE"), 0);
    EXPECT_EQ(ParseKeyToken("SHIPDATE"), 0);
    EXPECT_EQ(ParseKeyToken("+Total"), 0);
}

TEST(SendKeys, TextIsCutIntoPiecesByBurstAndBrackets) {
    using P = KeystrokePiece;
    EXPECT_EQ(SegmentKeystrokes("abc[ENTER]", 2),
              (std::vector<P>{{Kind::Text, "ab"}, {Kind::Text, "c"}, {Kind::Key, "ENTER"}}));
    EXPECT_EQ(SegmentKeystrokes("[%F4]", 7), (std::vector<P>{{Kind::Key, "%F4"}}));
    EXPECT_EQ(SegmentKeystrokes("[CTRLKEYS][^S][CTRL-S][+TAB][DATE][Bogus]", 0),
              (std::vector<P>{{Kind::Key, "CTRLKEYS"},
                              {Kind::Key, "^S"},
                              {Kind::Key, "CTRL-S"},
                              {Kind::Key, "+TAB"},
                              {Kind::Key, "DATE"},
                              {Kind::Key, "Bogus"}}));
    // An opening bracket without its closing one is dropped, in a step of its own.
    EXPECT_EQ(SegmentKeystrokes("ab[cd", 7),
              (std::vector<P>{{Kind::Text, "ab"}, {Kind::Nothing, ""}, {Kind::Text, "cd"}}));
    // Text before a token keeps to the burst (0 means 7), counted in
    // characters; text with no token after it goes in one piece, without its
    // trailing blanks; blanks before a token are typed.
    EXPECT_EQ(SegmentKeystrokes("ÄÖÜäöüßxyz[TAB]", 0),
              (std::vector<P>{{Kind::Text, "ÄÖÜäöüß"}, {Kind::Text, "xyz"}, {Kind::Key, "TAB"}}));
    EXPECT_EQ(SegmentKeystrokes("ÄÖÜäöüßxyz  ", 0), (std::vector<P>{{Kind::Text, "ÄÖÜäöüßxyz"}}));
    EXPECT_EQ(SegmentKeystrokes("[TAB]abcdefghij", 2), (std::vector<P>{{Kind::Key, "TAB"}, {Kind::Text, "abcdefghij"}}));
    EXPECT_EQ(SegmentKeystrokes("a [TAB]  ", 7), (std::vector<P>{{Kind::Text, "a "}, {Kind::Key, "TAB"}}));
    EXPECT_TRUE(SegmentKeystrokes("   ", 7).empty());
}

TEST(SendKeys, KeysModifiersAndMouseClicks) {
    RecordingKeyboard k;
    PressKey(k, ParseKeyToken("^+%F4"));
    // Pressed and released in the order Shift, Ctrl, Alt.
    EXPECT_EQ(k.events, (std::vector<std::string>{"v16", "v17", "v18", "v115", "^115", "^16", "^17", "^18"}));
    k.events.clear();
    PressKey(k, KeyNameToCode("MOUSERIGHT2"));
    PressKey(k, kKeyCtrl + KeyNameToCode("MOUSELEFT"));
    PressKey(k, KeyNameToCode("MOUSECENTER"));
    EXPECT_EQ(k.events, (std::vector<std::string>{"click2x2", "v17", "click1x1", "^17", "click3x1"}));
}

TEST(SendKeys, CapsLockIsTurnedOffForTheTextAndOnAgain) {
    RecordingKeyboard k;
    k.caps = true;
    SendText(k, "MiXed");
    EXPECT_EQ(k.typed, "MiXed");
    EXPECT_EQ(k.events, (std::vector<std::string>{"v20", "^20", "v20", "^20"}));
    EXPECT_TRUE(k.caps);
    k.events.clear();
    k.caps = false;
    SendText(k, "a\r\nb");  // CR LF is one Enter
    EXPECT_EQ(k.typed, "MiXeda\rb");
    EXPECT_TRUE(k.events.empty());
}

TEST(SendKeys, TokensTypeValuesOrThemselves) {
    ManualClock clock(MakeDate(12, 9, 2026), 100);
    InstallClock(&clock);
    ScriptValues().Clear();
    ScriptValues().Put("Customer", "ACME Ltd");
    RecordingKeyboard k;
    SendKeyItem(k, "DATE");
    SendKeyItem(k, "|");
    SendKeyItem(k, "customer");
    SendKeyItem(k, "|");
    SendKeyItem(k, "Bogus");
    EXPECT_EQ(k.typed, "20261209|ACME Ltd|Bogus");
    InstallClock(nullptr);
    ScriptValues().Clear();
}

TEST(SendKeys, SendLoopPacesPiecesAndEndsFromTheEventLoop) {
    RecordingKeyboard k;
    std::vector<std::string> icons;
    KeystrokeSender sender(k);
    sender.SetTrayIconHook([&](const std::string& i) { icons.push_back(i); });
    bool done = false;
    sender.Start("abc[ENTER]", 1, 2, [&] { done = true; });
    EXPECT_FALSE(done);  // never inside Start
    EXPECT_EQ(k.events, (std::vector<std::string>{"begin"}));
    ASSERT_TRUE(PumpUntil(done));
    EXPECT_EQ(k.events, (std::vector<std::string>{"begin", "flush:ab", "flush:abc", "v13", "^13", "flush:abc"}));
    EXPECT_EQ(icons, (std::vector<std::string>{"busykey.ico", "busykey2.ico", "busykey3.ico"}));
    EXPECT_FALSE(sender.Running());

    // A blank text ends at once, still from the event loop.
    done = false;
    sender.Start("  ", 1, 2, [&] { done = true; });
    EXPECT_FALSE(done);
    EXPECT_TRUE(PumpUntil(done));
}

TEST(SendKeys, SendLoopTypesALongPlainTextInOnePiece) {
    RecordingKeyboard k;
    KeystrokeSender sender(k);
    bool done = false;
    const std::string text(2000, 'x');
    sender.Start(text, 1, 0, [&] { done = true; });
    ASSERT_TRUE(PumpUntil(done));
    EXPECT_EQ(sender.PiecesSent(), 1);
    EXPECT_EQ(k.typed, text);
}

TEST(SendKeys, SpareKeysAreRestoredOnlyAfterAPauseAndStopEndsQuietly) {
    RecordingKeyboard k;
    KeystrokeSender sender(k);
    bool done = false;
    sender.Start("xΩ", 1, 7, [&] { done = true; });
    ASSERT_TRUE(PumpUntil(done));
    EXPECT_EQ(k.typed, "xΩ");
    // The restore comes in the pause after the last piece, before `done`.
    EXPECT_EQ(k.events, (std::vector<std::string>{"begin", "flush:xΩ", "restore"}));

    // Stopped: nothing more is typed and `done` is not called.
    k.events.clear();
    done = false;
    sender.Start("one[ENTER]two", 1, 7, [&] { done = true; });
    sender.Stop();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 100) QCoreApplication::processEvents();
    EXPECT_FALSE(done);
    EXPECT_EQ(k.events, (std::vector<std::string>{"begin"}));
}

TEST(SendKeys, KeystrokeServiceReportsTheEndAndCancels) {
    RecordingKeyboard k;
    DesktopKeystrokeService service(&k);
    bool ok = false, done = false;
    ASSERT_TRUE(service.Send("hi", [&](bool result) {
        ok = result;
        done = true;
    }));
    EXPECT_TRUE(service.Sending());
    ASSERT_TRUE(PumpUntil(done, 5000));
    EXPECT_TRUE(ok);
    EXPECT_EQ(k.typed, "hi");
    done = false;
    ASSERT_TRUE(service.Send("more", [&](bool) { done = true; }));
    service.Cancel();
    EXPECT_FALSE(service.Sending());
}

}  // namespace
}  // namespace kr
