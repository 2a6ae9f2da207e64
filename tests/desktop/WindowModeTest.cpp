// Desktop parts that the main program hands to the window manager, on a real
// X server: the window mode of a started program applied through its
// _NET_WM_PID under openbox (minimised ends iconic, maximised ends with both
// maximised states), and "[FOCUS]" reading the active window's title.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>

#include "platform/desktop/Focus.h"
#include "platform/desktop/WindowModes.h"
#include "platform/desktop/X11Windows.h"
#include "scheduler/TranslateValues.h"

// Xlib last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "X11TestSupport.h"

namespace kr::test {
namespace {

class StartedProgram {
public:
    explicit StartedProgram(const char* title) {
        const char* argv[] = {KR_TEST_WINDOW, title, nullptr};
        if (posix_spawn(&pid_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
    }
    ~StartedProgram() {
        if (!pid_) return;
        kill(pid_, SIGTERM);
        int status;
        waitpid(pid_, &status, 0);
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = 0;
};

Window WindowOfPid(Display* d, pid_t pid) {
    Atom type;
    int format;
    unsigned long n, after;
    for (Window w : [&] {
             std::vector<Window> out;
             unsigned char* data = nullptr;
             if (XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_CLIENT_LIST", False), 0, 4096, False,
                                    XA_WINDOW, &type, &format, &n, &after, &data) == Success && data) {
                 for (unsigned long i = 0; i < n; ++i) out.push_back(reinterpret_cast<long*>(data)[i]);
                 XFree(data);
             }
             return out;
         }()) {
        unsigned char* data = nullptr;
        long p = 0;
        if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL, &type, &format,
                               &n, &after, &data) == Success && data && n == 1)
            p = *reinterpret_cast<long*>(data);
        if (data) XFree(data);
        if (p == pid) return w;
    }
    return 0;
}

long WmState(Display* d, Window w) {
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    long state = -1;
    const Atom wmState = XInternAtom(d, "WM_STATE", False);
    if (XGetWindowProperty(d, w, wmState, 0, 2, False, wmState, &type, &format, &n, &after, &data) == Success && data &&
        n >= 1)
        state = *reinterpret_cast<long*>(data);
    if (data) XFree(data);
    return state;
}

bool HasNetState(Display* d, Window w, const char* state) {
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    bool found = false;
    const Atom wanted = XInternAtom(d, state, False);
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_STATE", False), 0, 64, False, XA_ATOM, &type, &format, &n,
                           &after, &data) == Success && data)
        for (unsigned long i = 0; i < n; ++i)
            if (static_cast<Atom>(reinterpret_cast<long*>(data)[i]) == wanted) found = true;
    if (data) XFree(data);
    return found;
}

class WindowModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        ASSERT_NE(display_.d(), nullptr);
        CloseX11Connection();
    }
    void TearDown() override {
        WaitForWindowModeWatchers();
        CloseX11Connection();
    }
    TestDisplay display_;
};

TEST_F(WindowModeTest, MinimisedAndMaximisedReachTheStartedProgramsWindow) {
    WindowManagerProcess wm(display_, WindowManagerProcess::Openbox);
    ASSERT_TRUE(wm.ready()) << "openbox did not start";
    Display* d = display_.d();

    StartedProgram minimised("Started minimised");
    ASSERT_NE(minimised.pid(), 0);
    ApplyWindowModeWhenShown(minimised.pid(), StartedWindowMode::Minimised);
    Window w = 0;
    ASSERT_TRUE(WaitUntil([&] { return (w = WindowOfPid(d, minimised.pid())) != 0; }, 10000))
        << "the started program's window was not managed";
    EXPECT_TRUE(WaitUntil([&] { return WmState(d, w) == IconicState; }, 10000)) << "WM_STATE " << WmState(d, w);

    StartedProgram maximised("Started maximised");
    ASSERT_NE(maximised.pid(), 0);
    ApplyWindowModeWhenShown(maximised.pid(), StartedWindowMode::Maximised);
    ASSERT_TRUE(WaitUntil([&] { return (w = WindowOfPid(d, maximised.pid())) != 0; }, 10000));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return HasNetState(d, w, "_NET_WM_STATE_MAXIMIZED_VERT") && HasNetState(d, w, "_NET_WM_STATE_MAXIMIZED_HORZ");
        },
        10000));
    EXPECT_EQ(WmState(d, w), NormalState);
}

TEST_F(WindowModeTest, FocusValueIsTheActiveWindowsTitle) {
    WindowManagerProcess wm(display_, WindowManagerProcess::Openbox);
    ASSERT_TRUE(wm.ready()) << "openbox did not start";
    SetFocusTextSource([] { return FocusedWindowTitle(); });
    const std::string longTitle = "Invoice " + std::string(300, 'x');
    Window w = display_.Make(longTitle, "", "Editor", true);
    ASSERT_TRUE(WaitUntil([&] { return ActivateWindow(w) && ActiveWindow() == w; }, 10000));
    EXPECT_EQ(TranslateValues("[FOCUS]"), longTitle.substr(0, 254));
    Window other = display_.Make("Ledger", "", "Editor", true);
    ASSERT_TRUE(WaitUntil([&] { return ActivateWindow(other) && ActiveWindow() == other; }, 10000));
    EXPECT_EQ(TranslateValues("[FOCUS]"), "Ledger");
    SetFocusTextSource(nullptr);
}

}  // namespace
}  // namespace kr::test
