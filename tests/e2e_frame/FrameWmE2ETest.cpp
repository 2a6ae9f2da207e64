// The built KR98 under openbox, as a user meets it on a desktop: Escape in
// the frame leaves it open and the program running, and a second KR98
// started on the same data folder brings the first one's frame back from
// the taskbar and ends without a frame of its own.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

// Xlib last: its macros (None, Status, Bool) clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "../desktop/X11TestSupport.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

long CardinalOf(Display* d, Window w, const char* name, Atom type) {
    Atom actual;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    long v = -1;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1, False, type, &actual, &format, &n, &after,
                           &data) == Success &&
        data && n == 1)
        v = *reinterpret_cast<long*>(data);
    if (data) XFree(data);
    return v;
}

bool Viewable(Display* d, Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

std::string TitleOf(Display* d, Window w) {
    char* name = nullptr;
    std::string t;
    if (XFetchName(d, w, &name) && name) t = name;
    if (name) XFree(name);
    return t;
}

class FrameWmE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        char tmpl[] = "/tmp/kr-e2e-wm-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::create_directories(dir_ / "home");
        std::ofstream(dir_ / "KR97.TPS");
        std::ofstream(dir_ / "kr98.INI") << "[Settings]\r\nLogEvents=1\r\n";
        display_ = std::make_unique<TestDisplay>();
        ASSERT_NE(display_->d(), nullptr);
        wm_ = std::make_unique<WindowManagerProcess>(*display_, WindowManagerProcess::Openbox);
        ASSERT_TRUE(wm_->ready()) << "openbox did not start";
    }
    void TearDown() override {
        for (QProcess* p : {&first_, &second_})
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
        wm_.reset();
        display_.reset();
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    void Start(QProcess& p) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("HOME", QString::fromStdString((dir_ / "home").string()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir_ / "home" / ".config").string()));
        env.remove("KR_TEST_EXIT_AFTER_STARTUP");
        env.remove("KR_TEST_RESPONSES");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(dir_.string()));
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(QString::fromStdString(std::string(KR_BIN_DIR) + "/KR98"), {});
        ASSERT_TRUE(p.waitForStarted(10000));
    }
    // The frame's own (client) window: the program's, titled by the product.
    Window FindFrame(QProcess& p) {
        Display* d = display_->d();
        Window found = 0;
        std::function<void(Window, int)> walk = [&](Window w, int depth) {
            if (found || depth > 16) return;
            if (CardinalOf(d, w, "_NET_WM_PID", XA_CARDINAL) == p.processId() &&
                TitleOf(d, w).rfind("Kairoll 2000", 0) == 0) {
                found = w;
                return;
            }
            Window root, parent, *children = nullptr;
            unsigned int n = 0;
            if (!XQueryTree(d, w, &root, &parent, &children, &n)) return;
            for (unsigned int i = 0; i < n; ++i) walk(children[i], depth + 1);
            if (children) XFree(children);
        };
        walk(DefaultRootWindow(d), 0);
        return found;
    }
    long WmState(Window w) {
        Display* d = display_->d();
        return CardinalOf(d, w, "WM_STATE", XInternAtom(d, "WM_STATE", False));
    }
    Window ShownFrame(QProcess& p) {
        Window frame = 0;
        EXPECT_TRUE(WaitUntil([&] { return (frame = FindFrame(p)) != 0 && Viewable(display_->d(), frame); }, 20000))
            << "the frame did not show";
        return frame;
    }

    fs::path dir_;
    std::unique_ptr<TestDisplay> display_;
    std::unique_ptr<WindowManagerProcess> wm_;
    QProcess first_, second_;
};

TEST_F(FrameWmE2ETest, EscapeInTheFrameLeavesItOpen) {
    Start(first_);
    const Window frame = ShownFrame(first_);
    ASSERT_NE(frame, 0u);
    Display* d = display_->d();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    XSetInputFocus(d, frame, RevertToPointerRoot, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int i = 0; i < 2; ++i) {
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_Escape), True, 0);
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_Escape), False, 0);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    // The program would have ended within this time had Escape closed it.
    EXPECT_FALSE(first_.waitForFinished(3000)) << "Escape ended KR98";
    EXPECT_TRUE(Viewable(d, frame));
}

TEST_F(FrameWmE2ETest, SecondCopyOnTheSameFolderShowsTheFirstAndEnds) {
    Start(first_);
    const Window frame = ShownFrame(first_);
    ASSERT_NE(frame, 0u);
    Display* d = display_->d();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    XIconifyWindow(d, frame, DefaultScreen(d));
    XSync(d, False);
    ASSERT_TRUE(WaitUntil([&] { return WmState(frame) == IconicState; }, 10000)) << "openbox did not minimise it";

    Start(second_);
    ASSERT_TRUE(second_.waitForFinished(20000)) << "the second copy stayed";
    EXPECT_EQ(second_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second_.exitCode(), 0);
    EXPECT_TRUE(WaitUntil([&] { return WmState(frame) == NormalState && Viewable(d, frame); }, 10000))
        << "the first copy's frame was not brought back";
    EXPECT_EQ(first_.state(), QProcess::Running);

    // Only one copy wrote its start to the log.
    first_.terminate();
    ASSERT_TRUE(first_.waitForFinished(20000));
    std::ifstream log(dir_ / "KR98Evnt.LOG");
    int started = 0;
    std::string line;
    while (std::getline(log, line))
        if (line.size() >= 54 && line.compare(22, 7, "Started") == 0) ++started;
    EXPECT_EQ(started, 1);
}

}  // namespace
}  // namespace kr::test
