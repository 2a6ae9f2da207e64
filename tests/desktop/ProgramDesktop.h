// The suite's built programs on the test's X display: a desktop of the
// test's own (openbox, a tray host, a session bus when none runs), the
// programs' windows found in the window tree by title and process, and keys
// sent to them through XTest. Include after the Qt and project headers:
// Xlib's macros (None, Status, Bool) clash with them.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "../support/ProgramRun.h"
#include "X11TestSupport.h"
#include "Xdotool.h"
// After Xlib.
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace kr::test {

// The first viewable window whose title starts with the text (and, given a
// process, one of that process's); 0 when none.
inline Window FindTitled(Display* d, const std::string& title, long pid = 0) {
    Window found = 0;
    ForEachWindow(d, [&](Window w, bool) {
        if (!found && (!pid || WindowPid(d, w) == pid) && TitleOf(d, w).rfind(title, 0) == 0 && Viewable(d, w))
            found = w;
    });
    return found;
}

// A client window's rectangle on the screen with the window manager's frame
// (title bar and borders, _NET_FRAME_EXTENTS) around it; empty until the
// window manager has framed it.
inline QRect OuterRect(Display* d, Window w) {
    XWindowAttributes a;
    int x = 0, y = 0;
    Window child;
    if (!XGetWindowAttributes(d, w, &a) || !XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child))
        return {};
    Atom type;
    int format;
    unsigned long n = 0, after;
    unsigned char* data = nullptr;
    QRect r;
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_FRAME_EXTENTS", False), 0, 4, False, XA_CARDINAL, &type,
                           &format, &n, &after, &data) == Success &&
        data && n == 4) {
        const long* e = reinterpret_cast<long*>(data);  // left, right, top, bottom
        r = QRect(int(x - e[0]), int(y - e[2]), int(a.width + e[0] + e[1]), int(a.height + e[2] + e[3]));
    }
    if (data) XFree(data);
    return r;
}

// The popups a process shows (menus: viewable windows that openbox does
// not manage, directly under the root).
inline int PopupCount(Display* d, long pid) {
    int n = 0;
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, children[i], &a) && a.override_redirect && a.map_state == IsViewable &&
            WindowPid(d, children[i]) == pid)
            ++n;
    }
    if (children) XFree(children);
    return n;
}

// The window tree with each window's process, for a failure's message.
inline std::string WindowTree(Display* d) {
    std::ostringstream out;
    std::function<void(Window, int)> walk = [&](Window w, int depth) {
        if (depth > 12) return;
        XWindowAttributes a;
        XGetWindowAttributes(d, w, &a);
        out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << std::hex << w << std::dec << " pid "
            << WindowPid(d, w) << (a.map_state == IsViewable ? " viewable" : "") << " " << a.width << "x" << a.height
            << " \"" << TitleOf(d, w) << "\"\n";
        Window root, parent, *children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(d, w, &root, &parent, &children, &n)) return;
        for (unsigned int i = 0; i < n; ++i) walk(children[i], depth + 1);
        if (children) XFree(children);
    };
    walk(DefaultRootWindow(d), 0);
    return out.str();
}

// Gives a window the keyboard focus once it has settled after showing.
inline void GiveFocus(Display* d, Window w) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    XSetInputFocus(d, w, RevertToPointerRoot, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

// A key, with a modifier held when given, through XTest to the focus; then
// settleMs for the program to act on it.
inline void PressKey(Display* d, KeySym key, KeySym modifier = 0, int settleMs = 0) {
    if (modifier) XTestFakeKeyEvent(d, XKeysymToKeycode(d, modifier), True, 0);
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, key), True, 0);
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, key), False, 0);
    if (modifier) XTestFakeKeyEvent(d, XKeysymToKeycode(d, modifier), False, 0);
    XSync(d, False);
    if (settleMs) std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
}

// A key to a window of another program, on a connection of its own: the
// window raised and given the focus first; the focus goes back to the
// pointer afterwards, so that a window that closes on the key leaves no
// focus of None behind that would swallow the next.
inline void SendKeyTo(Window window, KeySym modifier, KeySym key) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return;
    XRaiseWindow(d, window);
    XSetInputFocus(d, window, RevertToPointerRoot, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const KeyCode m = modifier ? XKeysymToKeycode(d, modifier) : 0;
    const KeyCode k = XKeysymToKeycode(d, key);
    if (m) XTestFakeKeyEvent(d, m, True, 0);
    XTestFakeKeyEvent(d, k, True, 20);
    XTestFakeKeyEvent(d, k, False, 20);
    if (m) XTestFakeKeyEvent(d, m, False, 20);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    XSetInputFocus(d, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSync(d, False);
    XCloseDisplay(d);
}

// A session bus of the test's own (its address set in the environment, so
// that the programs started afterwards and the test's accessibility reads
// use it), for as long as the object lives.
class SessionBus {
public:
    SessionBus() {
        QProcess bus;
        bus.start("dbus-daemon", {"--session", "--fork", "--print-address=1", "--print-pid=1"});
        if (!bus.waitForFinished(10000)) return;
        const QStringList lines = QString::fromUtf8(bus.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        if (lines.size() < 2) return;
        pid_ = lines[1].trimmed().toInt();
        setenv("DBUS_SESSION_BUS_ADDRESS", lines[0].trimmed().toUtf8().constData(), 1);
    }
    ~SessionBus() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

private:
    pid_t pid_ = 0;
};

// The test's connection to the display with openbox managing the windows,
// as a user's desktop has them; ready once openbox takes windows over.
class OpenboxDesktop {
public:
    OpenboxDesktop() : display_(std::make_unique<TestDisplay>()) {
        if (display_->d()) wm_ = std::make_unique<WindowManagerProcess>(*display_, WindowManagerProcess::Openbox);
    }
    ~OpenboxDesktop() {
        wm_.reset();
        display_.reset();
    }
    Display* d() const { return display_->d(); }
    bool ready() const { return wm_ && wm_->ready(); }

private:
    std::unique_ptr<TestDisplay> display_;
    std::unique_ptr<WindowManagerProcess> wm_;
};

// The list KR98 opens at start-up, once it has shown and taken the focus
// ("" when it did not show): it comes up just after the frame, and keys
// sent to the frame before then would land in it.
inline std::string WaitForStartupList() {
    const std::string list = xdo::WindowNamed("^Scheduled Tasks");
    if (!list.empty()) WaitUntil([&] { return xdo::ActiveWindow() == list; }, 5000);
    return list;
}

// Setup, Task Categories in KR98's frame, a click into the task list (the
// right-hand part), then Insert: the new task form ("" when a step failed).
inline std::string OpenNewTaskForm(const std::string& frame) {
    WaitForStartupList();
    xdo::Keys(frame, {"alt+s", "t"});
    const std::string categories = xdo::WindowNamed("^Task Categories$");
    if (categories.empty()) return {};
    xdo::ClickAt(categories, 0.7, 0.5);
    xdo::Keys(categories, {"Insert"});
    return xdo::WindowNamed("^New Task");
}

// What an OpenboxKR98Test sets up beside openbox and KR98's folder.
enum KR98Harness : unsigned {
    kDrivenByXdotool = 1,  // the test drives KR98 through xdotool (skipped without it)
    kTrayHost = 2,         // a tray host runs, so KR98's icon has a tray
};

// KR98 under openbox on a temporary data folder of the test's own: an empty
// data file (the tables are made at start-up) and the given lines of the
// [Settings] section of its kr98.INI; with kTrayHost a tray host as well.
// KR98 is killed after the test, before the tray host and openbox end.
class OpenboxKR98Test : public ::testing::Test {
protected:
    OpenboxKR98Test(const std::string& prefix, std::string settings, unsigned harness = kDrivenByXdotool)
        : dir_(prefix), settings_(std::move(settings)), harness_(harness) {}

    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if ((harness_ & kDrivenByXdotool) && !xdo::Available()) GTEST_SKIP() << "needs xdotool";
        ASSERT_FALSE(dir_.path().empty());
        std::ofstream(dir_ / "KR97.TPS");
        std::ofstream(dir_ / "kr98.INI") << "[Settings]\r\n" << settings_;
        desktop_ = std::make_unique<OpenboxDesktop>();
        ASSERT_NE(desktop_->d(), nullptr);
        ASSERT_TRUE(desktop_->ready()) << "openbox did not start";
        if (harness_ & kTrayHost) {
            tray_ = std::make_unique<TrayHost>();
            ASSERT_TRUE(tray_->Start(desktop_->d())) << "trayer did not take the tray selection";
        }
    }
    void TearDown() override {
        kr98_.Kill();
        tray_.reset();
        desktop_.reset();
    }

    // KR98 started on the data folder with the test's responder (the
    // answers in "answers.txt" of the folder).
    bool LaunchKR98() {
        kr98_.Prepare(dir_.path());
        kr98_.SetResponses(dir_ / "answers.txt");
        return kr98_.Start();
    }
    // LaunchKR98, then its frame as xdotool finds it ("" when it did not show).
    std::string StartKR98() {
        if (!LaunchKR98()) return {};
        return xdo::WindowNamed("^Kairoll 2000");
    }
    // KR98's frame (its client window) once it shows, 0 when it does not
    // within 20 s.
    Window WaitForFrame() {
        Window frame = 0;
        WaitUntil([&] { return (frame = FindTitled(display(), "Kairoll 2000", kr98_.pid())) != 0; }, 20000);
        return frame;
    }
    Display* display() const { return desktop_->d(); }

    TemporaryFolder dir_;
    std::unique_ptr<OpenboxDesktop> desktop_;
    std::unique_ptr<TrayHost> tray_;
    ProgramRun kr98_;

private:
    std::string settings_;
    unsigned harness_;
};

}  // namespace kr::test
