// The built KR98 on a real X server: File → Support Tools → File Manager
// through the menu's keys ends KR98 and starts KR_DBASE with the data folder
// as its current folder; KR_DBASE shows its warning, then "Repair Files",
// and ends when that window is closed.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

// Xlib last: its macros clash with the headers above.
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

// The first viewable window whose title starts with the text.
Window FindTitled(Display* d, Window w, const std::string& title, int depth = 0) {
    if (depth > 32) return 0;
    if (TitleOf(d, w).rfind(title, 0) == 0 && Viewable(d, w)) return w;
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    Window found = 0;
    if (XQueryTree(d, w, &root, &parent, &children, &n))
        for (unsigned int i = 0; i < n && !found; ++i) found = FindTitled(d, children[i], title, depth + 1);
    if (children) XFree(children);
    return found;
}

// Ended: no process, or one only waiting to be reaped.
bool Gone(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return true;
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

void Key(Display* d, KeySym sym, KeySym modifier = 0) {
    if (modifier) XTestFakeKeyEvent(d, XKeysymToKeycode(d, modifier), True, 0);
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), True, 0);
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), False, 0);
    if (modifier) XTestFakeKeyEvent(d, XKeysymToKeycode(d, modifier), False, 0);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
}

class FileManagerE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        char tmpl[] = "/tmp/kr-e2e-repair-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::create_directories(dir_ / "home");
    }
    void TearDown() override {
        if (kr98_.state() != QProcess::NotRunning) {
            kr98_.kill();
            kr98_.waitForFinished();
        }
        if (repairPid_ > 0 && !Gone(repairPid_)) kill(static_cast<pid_t>(repairPid_), SIGKILL);
        if (trayer_) {
            kill(trayer_, SIGTERM);
            int status;
            waitpid(trayer_, &status, 0);
        }
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    bool StartTrayHost(Display* d) {
        const char* argv[] = {"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                              "--width", "200", "--height", "24", nullptr};
        const Atom selection = XInternAtom(d, "_NET_SYSTEM_TRAY_S0", False);
        if (posix_spawnp(&trayer_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return false;
        return WaitUntil([&] { return XGetSelectionOwner(d, selection) != None; }, 5000);
    }

    fs::path dir_;
    pid_t trayer_ = 0;
    long repairPid_ = 0;
    QProcess kr98_;
};

TEST_F(FileManagerE2ETest, FileManagerEndsKR98AndStartsTheRepairProgramInTheDataFolder) {
    TestDisplay display;
    Display* d = display.d();
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(StartTrayHost(d));

    std::ofstream(dir_ / "KR97.TPS");
    std::ofstream(dir_ / "answers.txt") << "";
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
    ASSERT_TRUE(WaitUntil([&] { return (frame = FindTitled(d, DefaultRootWindow(d), "Kairoll 2000")) != 0; }, 20000))
        << "the frame did not show";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    XSetInputFocus(d, frame, RevertToPointerRoot, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // File → Support Tools → File Manager.
    Key(d, XK_f, XK_Alt_L);
    Key(d, XK_t);
    Key(d, XK_f);
    ASSERT_TRUE(kr98_.waitForFinished(20000)) << "KR98 did not end after starting the repair program";
    EXPECT_EQ(kr98_.exitCode(), 0);

    Window repair = 0;
    ASSERT_TRUE(WaitUntil([&] { return (repair = FindTitled(d, DefaultRootWindow(d), "Repair Files")) != 0; }, 20000))
        << "the repair program's window did not show";
    repairPid_ = WindowPidOf(d, repair);
    ASSERT_GT(repairPid_, 0);
    // Started in the data folder.
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(repairPid_) + "/cwd"), dir_);
    std::ifstream exe("/proc/" + std::to_string(repairPid_) + "/comm");
    std::string name;
    std::getline(exe, name);
    EXPECT_EQ(name, "KR_DBASE");

    // Its warning came first (answered by the test's responder).
    std::ifstream answers(dir_ / "answers.txt.log");
    std::stringstream asked;
    asked << answers.rdbuf();
    EXPECT_NE(asked.str().find("message\tWarning\tYou should ensure that all other Kairoll applications and services "
                               "are closed before repairing the databases."),
              std::string::npos)
        << asked.str();

    // Cl&ose ends it.
    XSetInputFocus(d, repair, RevertToPointerRoot, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Key(d, XK_o, XK_Alt_L);
    EXPECT_TRUE(WaitUntil([&] { return Gone(repairPid_); }, 10000))
        << "Close did not end the repair program";
}

}  // namespace
}  // namespace kr::test
