// A desktop for the keystroke tests: a private session bus (with the
// accessibility bus it starts on demand), openbox as window manager, and our
// text-entry window (kr_key_target) started as a real program.
#pragma once

// Qt before Xlib, whose macros (Status, Bool) break Qt's headers.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kr::test {

// Runs the event loop (timers of the send loop) until cond holds or ms pass.
inline bool Pump(const std::function<bool()>& cond, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms) return cond();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A child process with extra environment; ended (SIGTERM, then SIGKILL) by its pid.
class Child {
public:
    Child() = default;
    Child(std::vector<std::string> argv, const std::map<std::string, std::string>& env, int stdoutFd = -1) {
        std::vector<std::string> envs;
        for (char** e = environ; *e; ++e) {
            std::string s(*e);
            if (!env.count(s.substr(0, s.find('=')))) envs.push_back(s);
        }
        for (const auto& [k, v] : env) envs.push_back(k + "=" + v);
        std::vector<char*> a, en;
        for (auto& s : argv) a.push_back(s.data());
        a.push_back(nullptr);
        for (auto& s : envs) en.push_back(s.data());
        en.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&fa, stdoutFd, 1);
        if (posix_spawnp(&pid_, a[0], &fa, nullptr, a.data(), en.data()) != 0) pid_ = 0;
        posix_spawn_file_actions_destroy(&fa);
    }
    Child(Child&& o) noexcept : pid_(o.pid_) { o.pid_ = 0; }
    Child& operator=(Child&& o) noexcept {
        Stop();
        pid_ = o.pid_;
        o.pid_ = 0;
        return *this;
    }
    ~Child() { Stop(); }
    pid_t pid() const { return pid_; }
    bool Exited(int ms) {
        if (!pid_) return true;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return true;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void Stop() {
        if (!pid_) return;
        kill(pid_, SIGTERM);
        if (!Exited(2000)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = 0;
    }

private:
    pid_t pid_ = 0;
};

inline void ResetFocus() {
    if (Display* d = XOpenDisplay(nullptr)) {
        XSetInputFocus(d, PointerRoot, RevertToPointerRoot, CurrentTime);
        XSync(d, False);
        XCloseDisplay(d);
    }
}

// True when the input focus is on window w or a window inside it.
inline bool InputFocusIn(unsigned long w) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    bool in = false;
    for (int depth = 0; focus && focus != PointerRoot && depth < 32; ++depth) {
        if (focus == w) {
            in = true;
            break;
        }
        Window root = 0, parent = 0, *kids = nullptr;
        unsigned n = 0;
        if (!XQueryTree(d, focus, &root, &parent, &kids, &n)) break;
        if (kids) XFree(kids);
        if (parent == root) break;
        focus = parent;
    }
    XCloseDisplay(d);
    return in;
}

class DesktopSession {
public:
    DesktopSession() {
        ResetFocus();
        // The session bus prints its address on the pipe.
        int fds[2];
        if (pipe(fds) == 0) {
            bus_ = Child({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}, fds[1]);
            close(fds[1]);
            std::string address;
            char c;
            while (read(fds[0], &c, 1) == 1 && c != '\n') address += c;
            close(fds[0]);
            if (!address.empty()) setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        }
        // openbox keeps its files under HOME.
        manager_ = Child({"openbox", "--sm-disable"}, {{"HOME", home_.path().toStdString()}});
        Pump([] { return false; }, 700);
    }
    ~DesktopSession() {
        manager_.Stop();
        bus_.Stop();
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ResetFocus();
    }
    std::string Path(const std::string& name) const { return home_.filePath(QString::fromStdString(name)).toStdString(); }

    // Our text-entry window, titled title, with a label of labelText; the
    // window's text goes to the returned file.
    Child StartTarget(const std::string& title, const std::string& labelText, std::string* output) {
        *output = Path("typed-" + std::to_string(++targets_) + ".txt");
        return Child({std::string(KR_BIN_DIR) + "/kr_key_target", title, labelText, *output},
                     {{"QT_QPA_PLATFORM", "xcb"}, {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}});
    }

private:
    QTemporaryDir home_;
    Child bus_;
    Child manager_;
    int targets_ = 0;
};

}  // namespace kr::test
