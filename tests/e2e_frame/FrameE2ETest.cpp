// The built KR98 on a real X server with a tray host:
// its icon is embedded in the tray, the close box hides the frame to the
// tray, a double click on the icon brings it back, and File → Exit (with the
// question answered Yes) ends the program with "Exit Kairoll" in the log.
// The program's memory while it sits idle in the tray is printed.
//
// No window manager runs: matchbox now and then takes trayer's panel for an
// application window and unmaps it once the frame maps, which hides the
// icon. The test gives the frame the keyboard focus itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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

long WindowPidOf(Display* d, Window w) {
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    long pid = 0;
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL, &type, &format, &n,
                           &after, &data) == Success &&
        data && n == 1)
        pid = *reinterpret_cast<long*>(data);
    if (data) XFree(data);
    return pid;
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

// Walks the window tree; fn sees each window with whether it lies inside a
// window of the tray host.
void Walk(Display* d, Window w, long trayPid, bool insideTray, int depth,
          const std::function<void(Window, bool)>& fn) {
    if (depth > 32) return;
    const bool inside = insideTray || (trayPid && WindowPidOf(d, w) == trayPid);
    fn(w, inside);
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return;
    for (unsigned int i = 0; i < n; ++i) Walk(d, children[i], trayPid, inside, depth + 1, fn);
    if (children) XFree(children);
}

long RssKiB(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

class FrameE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        char tmpl[] = "/tmp/kr-e2e-frame-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::create_directories(dir_ / "home");
    }
    void TearDown() override {
        if (kr98_.state() != QProcess::NotRunning) {
            kr98_.kill();
            kr98_.waitForFinished();
        }
        if (trayer_) {
            kill(trayer_, SIGTERM);
            int status;
            waitpid(trayer_, &status, 0);
        }
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    // trayer, once it holds the tray selection and its panel shows; a host
    // whose panel does not show is replaced.
    bool StartTrayHost(Display* d) {
        const char* argv[] = {"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                              "--width", "200", "--height", "24", nullptr};
        const Atom selection = XInternAtom(d, "_NET_SYSTEM_TRAY_S0", False);
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (posix_spawnp(&trayer_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return false;
            if (WaitUntil([&] { return XGetSelectionOwner(d, selection) != None && PanelShows(d); }, 5000)) return true;
            kill(trayer_, SIGTERM);
            int status;
            waitpid(trayer_, &status, 0);
            trayer_ = 0;
        }
        return false;
    }
    bool PanelShows(Display* d) {
        bool shows = false;
        Walk(d, DefaultRootWindow(d), 0, false, 0, [&](Window w, bool) {
            if (!shows && WindowPidOf(d, w) == trayer_ && Viewable(d, w)) shows = true;
        });
        return shows;
    }

    Window FindFrame(Display* d) {
        Window found = 0;
        Walk(d, DefaultRootWindow(d), 0, false, 0, [&](Window w, bool) {
            if (!found && WindowPidOf(d, w) == kr98_.processId() && TitleOf(d, w).rfind("Kairoll 2000", 0) == 0)
                found = w;
        });
        return found;
    }
    // The program's window inside the tray host: its icon.
    Window FindTrayIcon(Display* d) {
        Window found = 0;
        Walk(d, DefaultRootWindow(d), trayer_, false, 0, [&](Window w, bool inside) {
            if (!found && inside && WindowPidOf(d, w) == kr98_.processId() && Viewable(d, w)) found = w;
        });
        return found;
    }

    // The window tree with each window's process, for a failure's message.
    std::string Tree(Display* d) {
        std::ostringstream out;
        out << "KR98 " << kr98_.processId() << ", trayer " << trayer_ << "\n";
        std::function<void(Window, int)> walk = [&](Window w, int depth) {
            if (depth > 12) return;
            XWindowAttributes a;
            XGetWindowAttributes(d, w, &a);
            out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << std::hex << w << std::dec << " pid "
                << WindowPidOf(d, w) << (a.map_state == IsViewable ? " viewable" : "") << " " << a.width << "x"
                << a.height << " \"" << TitleOf(d, w) << "\"\n";
            Window root, parent, *children = nullptr;
            unsigned int n = 0;
            if (!XQueryTree(d, w, &root, &parent, &children, &n)) return;
            for (unsigned int i = 0; i < n; ++i) walk(children[i], depth + 1);
            if (children) XFree(children);
        };
        walk(DefaultRootWindow(d), 0);
        return out.str();
    }

    static void Key(Display* d, KeySym sym, KeySym modifier = 0) {
        if (modifier) XTestFakeKeyEvent(d, XKeysymToKeycode(d, modifier), True, 0);
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), True, 0);
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), False, 0);
        if (modifier) XTestFakeKeyEvent(d, XKeysymToKeycode(d, modifier), False, 0);
        XSync(d, False);
    }

    fs::path dir_;
    pid_t trayer_ = 0;
    QProcess kr98_;
};

TEST_F(FrameE2ETest, TrayIconCloseToTrayAndExitThroughTheMenu) {
    TestDisplay display;
    Display* d = display.d();
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(StartTrayHost(d)) << "trayer did not take the tray selection";

    // An empty data file (the tables are made in it) and the user's settings.
    std::ofstream(dir_ / "KR97.TPS");
    std::ofstream(dir_ / "kr98.INI") << "[Settings]\r\nLogEvents=1\r\nMinimizeOnCloseRequest=1\r\n";
    std::ofstream(dir_ / "answers.txt") << "button 2\n";  // Yes to the Exit question

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("HOME", QString::fromStdString((dir_ / "home").string()));
    env.insert("KR_TEST_RESPONSES", QString::fromStdString((dir_ / "answers.txt").string()));
    env.remove("KR_TEST_EXIT_AFTER_STARTUP");
    kr98_.setProcessEnvironment(env);
    kr98_.setWorkingDirectory(QString::fromStdString(dir_.string()));
    kr98_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    kr98_.start(QString::fromStdString(std::string(KR_BIN_DIR) + "/KR98"), {});
    ASSERT_TRUE(kr98_.waitForStarted(10000));

    Window frame = 0;
    ASSERT_TRUE(WaitUntil([&] { return (frame = FindFrame(d)) != 0 && Viewable(d, frame); }, 20000))
        << "the frame did not show";
    Window icon = 0;
    ASSERT_TRUE(WaitUntil([&] { return (icon = FindTrayIcon(d)) != 0; }, 10000)) << "no icon in the tray\n"
                                                                                << Tree(d);

    // The close box hides the frame to the tray; the program runs on.
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = frame;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, frame, False, NoEventMask, &e);
    XSync(d, False);
    ASSERT_TRUE(WaitUntil([&] { return !Viewable(d, frame); }, 10000)) << "the frame did not go to the tray";
    std::this_thread::sleep_for(std::chrono::seconds(3));  // a few ticks idle in the tray
    EXPECT_EQ(kr98_.state(), QProcess::Running);
    const long rss = RssKiB(kr98_.processId());
    std::printf("KR98 idle in the tray: VmRSS %ld KiB\n", rss);
    RecordProperty("IdleRssKiB", static_cast<int>(rss));
    ASSERT_NE(FindTrayIcon(d), 0u) << "the icon stays while the frame is hidden";

    // A double click on the icon brings the frame back.
    icon = FindTrayIcon(d);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(d, icon, DefaultRootWindow(d), 5, 5, &x, &y, &child);
    XTestFakeMotionEvent(d, -1, x, y, 0);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int i = 0; i < 2; ++i) {
        XTestFakeButtonEvent(d, 1, True, 0);
        XTestFakeButtonEvent(d, 1, False, 0);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    ASSERT_TRUE(WaitUntil([&] { return Viewable(d, frame); }, 10000)) << "the double click did not restore";

    // File → Exit through the menu's keys; the question is answered Yes.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    XSetInputFocus(d, frame, RevertToPointerRoot, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Key(d, XK_f, XK_Alt_L);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Key(d, XK_x);
    ASSERT_TRUE(kr98_.waitForFinished(20000)) << "File → Exit did not end the program";
    EXPECT_EQ(kr98_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kr98_.exitCode(), 0);

    std::ifstream answers(dir_ / "answers.txt.log");
    std::stringstream asked;
    asked << answers.rdbuf();
    EXPECT_NE(asked.str().find("message\tWarning\tNo tasks will execute while Kairoll is not active."),
              std::string::npos)
        << asked.str();
    std::ifstream log(dir_ / "KR98Evnt.LOG");
    std::vector<std::string> labels;
    std::string line;
    while (std::getline(log, line))
        if (line.size() >= 54) labels.push_back(line.substr(22, 32).substr(0, line.substr(22, 32).find_last_not_of(' ') + 1));
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.front(), "Started");
    EXPECT_EQ(labels.back(), "Exit Kairoll");
}

}  // namespace
}  // namespace kr::test
