// Keystrokes typed into a real text-entry window of ours under Xvfb with
// openbox, window matching over real windows, and a window found by the
// accessible text of one of its controls.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "scheduler/DesktopScriptServices.h"
#include "scheduler/SendKeys.h"
#include "scheduler/WindowMatch.h"
#include "DesktopSession.h"
#include "platform/desktop/X11Windows.h"
#include "platform/desktop/XKeyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/keysym.h>

namespace kr {
namespace {

using test::Child;
using test::Pump;
using test::ReadFile;

class Keystrokes : public ::testing::Test {
protected:
    static void SetUpTestSuite() { session_ = new test::DesktopSession; }
    static void TearDownTestSuite() {
        delete session_;
        session_ = nullptr;
    }
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        ASSERT_TRUE(keyboard_.Available());
    }

    // Starts the target and waits until it has the focus.
    WindowHandle Open(const std::string& title, const std::string& label = "Ready to type") {
        target_ = session_->StartTarget(title, label, &output_);
        WindowHandle w = 0;
        EXPECT_TRUE(Pump([&] { return (w = FindWindowByTitle(title, "")) != 0; }, 10000)) << title;
        EXPECT_TRUE(Pump([&] { return ActiveWindow() == w || (ActivateWindow(w), false); }, 5000));
        // Keys go where the input focus is, which follows the manager's choice.
        EXPECT_TRUE(Pump([&] { return test::InputFocusIn(w); }, 5000));
        Pump([] { return false; }, 200);
        return w;
    }

    // Types a text through the send loop and waits for it to end.
    void Type(const std::string& text, int burst = 50) {
        KeystrokeSender sender(keyboard_);
        bool done = false;
        sender.Start(text, 2, burst, [&] { done = true; });
        ASSERT_TRUE(Pump([&] { return done; }, 20000));
    }

    bool Typed(const std::string& expected) {
        return Pump([&] { return ReadFile(output_) == expected; }, 5000);
    }

    static test::DesktopSession* session_;
    XKeyboard keyboard_;
    Child target_;
    std::string output_;
};

test::DesktopSession* Keystrokes::session_ = nullptr;

TEST_F(Keystrokes, TextArrivesExactlyWithShiftedCharactersAndKeys) {
    Open("Key target plain");
    const std::string text = "Hello, World! 1+1=2 ~`@#$%^&*()_{}|:\"<>? [ENTER]tab[TAB]end";
    Type(text, 7);
    EXPECT_TRUE(Typed("Hello, World! 1+1=2 ~`@#$%^&*()_{}|:\"<>? \ntab\tend")) << ReadFile(output_);
}

TEST_F(Keystrokes, MixedCaseWithCapsLockOnKeepsItsCaseAndCapsLock) {
    Open("Key target caps");
    keyboard_.KeyDown(20);
    keyboard_.KeyUp(20);
    keyboard_.Flush();
    ASSERT_TRUE(Pump([&] { return keyboard_.CapsLockOn(); }, 2000));
    Type("MiXed Case abc");
    EXPECT_TRUE(Typed("MiXed Case abc")) << ReadFile(output_);
    EXPECT_TRUE(keyboard_.CapsLockOn());
    keyboard_.KeyDown(20);
    keyboard_.KeyUp(20);
    keyboard_.Flush();
    EXPECT_TRUE(Pump([&] { return !keyboard_.CapsLockOn(); }, 2000));
}

// Every example of the key list that says what a text types (a line "    <text>
// types <characters>") types just that through the send loop: the list is
// how a user learns to write a "[" and a "]".
TEST_F(Keystrokes, TheKeyListsTypingExamplesTypeWhatTheySay) {
    std::ifstream in(std::string(KR_BIN_DIR) + "/KEYCODES.TXT");
    ASSERT_TRUE(in) << "KEYCODES.TXT is not beside the programs";
    const std::regex example(R"(^    (\S+) +types (\S+)\r?$)");
    std::vector<std::pair<std::string, std::string>> examples;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_match(line, m, example)) examples.emplace_back(m[1], m[2]);
    }
    bool open = false, close = false;
    for (const auto& [text, typed] : examples) {
        open = open || typed == "[";
        close = close || typed == "]";
    }
    ASSERT_TRUE(open && close) << "the list does not say how to type a \"[\" and a \"]\"";
    Open("Key target brackets");
    std::string expected;
    for (const auto& [text, typed] : examples) {
        Type(text, 3);
        expected += typed;
        EXPECT_TRUE(Typed(expected)) << text << " should type " << typed << "; typed so far: " << ReadFile(output_);
        expected = ReadFile(output_);
    }
}

// The number pad's digits and decimal point type their character with
// NumLock off as with it on, and the lock is left as it was.
TEST_F(Keystrokes, NumberPadDigitsTypeTheirDigitWhateverTheNumLockState) {
    Display* dpy = XOpenDisplay(nullptr);
    ASSERT_NE(dpy, nullptr);
    const unsigned mask = XkbKeysymToModifiers(dpy, XK_Num_Lock);
    ASSERT_NE(mask, 0u) << "the keymap has no NumLock";
    auto setNumLock = [&](bool on) {
        XkbLockModifiers(dpy, XkbUseCoreKbd, mask, on ? mask : 0);
        XSync(dpy, False);
    };
    auto numLockOn = [&] {
        XkbStateRec state{};
        XkbGetState(dpy, XkbUseCoreKbd, &state);
        return (state.locked_mods & mask) != 0;
    };
    for (bool on : {false, true}) {
        setNumLock(on);
        Open(on ? "Key target pad on" : "Key target pad off");
        Type("[PAD0][PAD5]x[PAD9][DECIMAL]");
        EXPECT_TRUE(Typed("05x9.")) << "NumLock " << on << ": " << ReadFile(output_);
        EXPECT_EQ(numLockOn(), on);
        target_ = Child();
    }
    setNumLock(false);
    XCloseDisplay(dpy);
}

TEST_F(Keystrokes, CharacterMissingFromTheKeymapIsTypedAndTheSpareKeyRestored) {
    Open("Key target missing");
    unsigned kc = 0, mods = 0;
    ASSERT_FALSE(keyboard_.Lookup(U'Ω', &kc, &mods)) << "the layout has Omega";
    Type("aΩb→c");
    EXPECT_TRUE(Typed("aΩb→c")) << ReadFile(output_);
    EXPECT_FALSE(keyboard_.HasTemporaryKeys());
    EXPECT_FALSE(keyboard_.Lookup(U'Ω', &kc, &mods)) << "the spare key still carries Omega";
}

TEST_F(Keystrokes, AltGrCharactersOfAGermanLayout) {
    Child layout({"setxkbmap", "-layout", "de"}, {});
    ASSERT_TRUE(layout.Exited(10000));
    struct Restore {
        ~Restore() {
            Child us({"setxkbmap", "-layout", "us"}, {});
            us.Exited(10000);
        }
    } restore;
    unsigned kc = 0, mods = 0;
    ASSERT_TRUE(keyboard_.Lookup(U'@', &kc, &mods));
    EXPECT_NE(mods & Mod5Mask, 0u) << "@ is on the third level (AltGr) in the German layout";
    Open("Key target AltGr");
    Type("@€{zy}\"");
    EXPECT_TRUE(Typed("@€{zy}\"")) << ReadFile(output_);
}

TEST_F(Keystrokes, AltF4ClosesTheFocusedWindow) {
    Open("Key target close");
    Type("[%F4]");
    EXPECT_TRUE(target_.Exited(5000));
}

TEST_F(Keystrokes, WindowServiceFindsFocusesAndClosesOtherProgramsWindowsOnly) {
    DesktopWindowService windows;
    EXPECT_EQ(windows.FindWindowByTitle("Key target service", ""), 0u);
    const WindowHandle w = Open("Key target service");
    EXPECT_EQ(windows.FindWindowByTitle("key TARGET service", ""), w);
    EXPECT_EQ(windows.FindWindowByTitle("~Key target*", ""), w);
    EXPECT_EQ(windows.FindWindowByTitle("*target serv", ""), w);
    ScriptWindowInfo fg = windows.ForegroundWindow();
    EXPECT_EQ(fg.handle, w);
    EXPECT_FALSE(fg.own);
    EXPECT_TRUE(windows.CloseWindow(fg.handle));
    EXPECT_TRUE(target_.Exited(5000));
    EXPECT_TRUE(Pump([&] { return windows.FindWindowByTitle("~Key target service", "") == 0; }, 3000));

    // A window of this process is its own.
    Display* d = XOpenDisplay(nullptr);
    Window mine = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 100, 100, 0, 0, 0);
    XStoreName(d, mine, "Own window");
    long pid = getpid();
    XChangeProperty(d, mine, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
    XMapWindow(d, mine);
    XSync(d, False);
    ASSERT_TRUE(Pump([&] { return windows.FindWindowByTitle("Own window", "") != 0; }, 5000));
    windows.SetFocus(static_cast<ScriptWindow>(mine));
    EXPECT_TRUE(Pump([&] { return windows.ForegroundWindow().own; }, 5000));
    XDestroyWindow(d, mine);
    XCloseDisplay(d);
}

TEST_F(Keystrokes, WindowFoundByTheAccessibleTextOfItsControl) {
    Open("Key target accessible", "Ready to type");
    Child first = std::move(target_);
    Open("Key target accessible", "Another label");  // a second window of that title, on top
    // Qt registers its tree with the accessibility bus shortly after it starts.
    std::uint32_t found = 0;
    EXPECT_TRUE(Pump([&] { return (found = FindWindowByTitle("Key target accessible", "ready TO")) != 0; }, 15000));

    EXPECT_NE(found, FindWindowByTitle("Key target accessible", ""));
    EXPECT_EQ(FindWindowByTitle("Key target accessible", "not a label"), 0u);
}

}  // namespace
}  // namespace kr
