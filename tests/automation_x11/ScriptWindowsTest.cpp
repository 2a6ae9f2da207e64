// The script steps that use windows, run by the interpreter one item per
// tick against real windows under Xvfb with openbox: a wait completes on the
// first tick after its window appears (or, with "~", after it closes); Set
// Focus, If Window..., Close Program with a blank program, and Send Keys
// staying in progress until its last key.
#include <gtest/gtest.h>

#include "dictionary/Settings.h"
#include "scheduler/DesktopScriptServices.h"
#include "scheduler/ScriptInterpreter.h"
#include "scheduler/ScriptQueue.h"
#include "scheduler/WindowMatch.h"
#include "DesktopSession.h"
#include "platform/desktop/X11Windows.h"
#include "platform/runtime/DateTime.h"

#include <X11/Xatom.h>

namespace kr {
namespace {

using test::Child;
using test::Pump;

class ScriptWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() { session_ = new test::DesktopSession; }
    static void TearDownTestSuite() {
        delete session_;
        session_ = nullptr;
    }
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        InstallScriptWindowService(&windows_);
        ScriptQueue().Free();
    }
    void TearDown() override {
        ScriptQueue().Free();
        InstallScriptWindowService(nullptr);
    }

    // An item due a second ago.
    static ScriptQueueEntry Item(const std::string& action) {
        ScriptQueueEntry e;
        e.Record.Action = action;
        e.Date = Today();
        e.Time = ClockTime() - 100;
        return e;
    }
    static std::string Head() {
        auto h = ScriptQueue().First();
        return h ? h->Record.Action.str() + ":" + h->Record.WaitForWindow.str() : "";
    }

    Child Start(const std::string& title, WindowHandle* window) {
        std::string file;
        Child c = session_->StartTarget(title, "Ready", &file);
        EXPECT_TRUE(Pump([&] { return (*window = FindWindowByTitle(title, "")) != 0; }, 10000));
        return c;
    }

    static test::DesktopSession* session_;
    DesktopWindowService windows_;
    ScriptInterpreter interpreter_;
};

test::DesktopSession* ScriptWindows::session_ = nullptr;

TEST_F(ScriptWindows, WaitCompletesOnTheTickAfterTheWindowAppearsAndTildeAfterItCloses) {
    ScriptQueueEntry wait = Item("Wait");
    wait.Record.WaitForWindow = "Script target wait";
    ScriptQueueEntry gone = Item("Wait");
    gone.Record.WaitForWindow = "~Script target*";
    ScriptQueue().Append({wait, gone, Item("**End**")});

    interpreter_.Step();
    interpreter_.Step();
    EXPECT_EQ(Head(), "Wait:Script target wait");

    WindowHandle w = 0;
    Child target = Start("Script target wait", &w);
    interpreter_.Step();  // the first tick that can see it
    EXPECT_EQ(Head(), "Wait:~Script target*");
    // The window found gets the focus.
    EXPECT_TRUE(Pump([&] { return ActiveWindow() == w; }, 5000));

    interpreter_.Step();
    EXPECT_EQ(Head(), "Wait:~Script target*");
    target.Stop();
    ASSERT_TRUE(Pump([&] { return FindWindowByTitle("Script target wait", "") == 0; }, 5000));
    interpreter_.Step();
    EXPECT_EQ(Head(), "**End**:");
}

TEST_F(ScriptWindows, SetFocusAndIfWindow) {
    WindowHandle a = 0, b = 0;
    Child first = Start("Script target A", &a);
    Child second = Start("Script target B", &b);
    ASSERT_TRUE(Pump([&] { return ActiveWindow() == b; }, 5000));

    ScriptQueueEntry focus = Item("Set Focus");
    focus.Record.FocusOnWindow = "script TARGET a";
    ScriptQueueEntry ifMissing = Item("If Window...");
    ifMissing.Record.WindowTitleToCheckFor = "*target C";
    ifMissing.Record.WindowExistance = "Window exists";
    ScriptQueueEntry skipped = Item("Set Focus");
    skipped.Record.FocusOnWindow = "Script target B";
    ScriptQueueEntry ifThere = Item("If Window...");
    ifThere.Record.WindowTitleToCheckFor = "*target B";
    ifThere.Record.WindowExistance = "Window exists";
    ScriptQueue().Append({focus, ifMissing, skipped, Item("...End If"), ifThere, Item("**End**")});

    interpreter_.Step();
    EXPECT_TRUE(Pump([&] { return ActiveWindow() == a; }, 5000));
    interpreter_.Step();  // no such window: the block is skipped, its end included
    ASSERT_EQ(ScriptQueue().Count(), 2u);
    EXPECT_EQ(ScriptQueue().First()->Record.WindowTitleToCheckFor.str(), "*target B");
    interpreter_.Step();  // the window is there: the next item follows
    EXPECT_EQ(Head(), "**End**:");
    EXPECT_EQ(ActiveWindow(), a);
}

TEST_F(ScriptWindows, SendKeysStaysAtTheHeadUntilItsLastKeyIsTyped) {
    DesktopKeystrokeService keys;
    InstallKeystrokeService(&keys);
    Options().GlobalDelay = 25;
    Options().BurstSize = 50;
    std::string file;
    Child target = session_->StartTarget("Script target keys", "Ready", &file);
    WindowHandle w = 0;
    ASSERT_TRUE(Pump([&] { return (w = FindWindowByTitle("Script target keys", "")) != 0; }, 10000));
    ASSERT_TRUE(Pump([&] { return test::InputFocusIn(w) || (ActivateWindow(w), false); }, 5000));
    Pump([] { return false; }, 200);

    ScriptQueueEntry send = Item("Send Keys");
    send.Record.Keystrokes = "Typed by a script[ENTER]done";
    ScriptQueue().Append({send, Item("**End**")});
    interpreter_.Step();
    EXPECT_TRUE(interpreter_.stepInProgress());
    interpreter_.Step();  // a tick while it types: the item stays
    EXPECT_EQ(Head(), "Send Keys:");
    ASSERT_TRUE(Pump([&] { return !keys.Sending(); }, 10000));
    interpreter_.Step();
    EXPECT_EQ(Head(), "**End**:");
    EXPECT_TRUE(Pump([&] { return test::ReadFile(file) == "Typed by a script\ndone"; }, 5000)) << test::ReadFile(file);
    InstallKeystrokeService(nullptr);
}

TEST_F(ScriptWindows, CloseProgramWithoutAProgramClosesTheForegroundWindowButNeverOurOwn) {
    WindowHandle w = 0;
    Child target = Start("Script target close", &w);
    ASSERT_TRUE(Pump([&] { return ActiveWindow() == w || (ActivateWindow(w), false); }, 5000));
    // The program reads its window-manager messages once it has the focus.
    ASSERT_TRUE(Pump([&] { return test::InputFocusIn(w); }, 5000));
    Pump([] { return false; }, 200);
    ScriptQueue().Append({Item("Close Program"), Item("**End**")});
    interpreter_.Step();
    EXPECT_TRUE(target.Exited(5000));

    // Our own window in front: nothing is closed.
    Display* d = XOpenDisplay(nullptr);
    Window mine = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 100, 100, 0, 0, 0);
    XStoreName(d, mine, "Script own window");
    long pid = getpid();
    XChangeProperty(d, mine, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
    Atom del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, mine, &del, 1);
    XMapWindow(d, mine);
    XSync(d, False);
    ASSERT_TRUE(Pump([&] { return FindWindowByTitle("Script own window", "") != 0; }, 5000));
    ActivateWindow(static_cast<WindowHandle>(mine));
    ASSERT_TRUE(Pump([&] { return windows_.ForegroundWindow().own; }, 5000));
    ScriptQueue().Free();
    ScriptQueue().Append({Item("Close Program"), Item("**End**")});
    interpreter_.Step();
    Pump([] { return false; }, 500);
    bool asked = false;
    while (XPending(d)) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == del) asked = true;
    }
    EXPECT_FALSE(asked);
    EXPECT_NE(FindWindowByTitle("Script own window", ""), 0u);
    XDestroyWindow(d, mine);
    XCloseDisplay(d);
}

}  // namespace
}  // namespace kr
