// bench-libs: kr_automation
//
// Keystrokes typed into our text-entry window (kr_key_target, built beside
// this program) under X: characters per second through the send loop at
// ScriptingDelay 25 with BurstSize 0 (7 a piece) and 50, against
// `xdotool type` on the same window in the same run; and the latency of
// this thread's event loop (the thread the loop runs on, thread 1 in KR98)
// while a 10,000-character text is typed. Every text is checked to have
// arrived whole. Run it on a display with a window manager, for example:
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" sh -c 'openbox & sleep 1; build/bin/bench_sendkeys'
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/X11Windows.h"
#include "platform/desktop/XKeyboard.h"
#include "scheduler/SendKeys.h"
#include "scheduler/WindowMatch.h"

extern char** environ;

using namespace kr;

namespace {

void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

pid_t Spawn(std::vector<std::string> argv) {
    std::vector<char*> a;
    for (auto& s : argv) a.push_back(s.data());
    a.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, a[0], nullptr, nullptr, a.data(), environ) != 0) return 0;
    return pid;
}

// Waits for a text to arrive whole; the time it took is measured from start.
bool Arrived(const std::string& file, const std::string& text, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (Read(file) == text) return true;
        Pump(5);
    }
    return false;
}

std::string Sample(std::size_t n) {
    const std::string words = "The quick brown fox jumps over the lazy dog, 1234567890! ";
    std::string s;
    while (s.size() < n) s += words;
    s.resize(n);
    if (s.back() == ' ') s.back() = '.';
    return s;
}

struct Target {
    pid_t pid = 0;
    std::string file;
    WindowHandle window = 0;
};

Target Open(const std::string& dir, const std::string& title) {
    Target t;
    t.file = dir + "/" + title + ".txt";
    std::filesystem::remove(t.file);
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    t.pid = Spawn({self + "/kr_key_target", title, "Benchmark", t.file});
    for (int i = 0; i < 500 && !t.window; ++i) {
        Pump(20);
        t.window = FindWindowByTitle(title, "");
    }
    for (int i = 0; i < 100 && ActiveWindow() != t.window; ++i) {
        ActivateWindow(t.window);
        Pump(20);
    }
    Pump(300);
    return t;
}

void Close(Target& t) {
    if (!t.pid) return;
    kill(t.pid, SIGTERM);
    waitpid(t.pid, nullptr, 0);
    t.pid = 0;
}

// The send loop's rate: characters per second from the start to the last
// character's arrival.
double SendLoopRate(XKeyboard& keyboard, const std::string& dir, const std::string& text, int delay, int burst) {
    Target t = Open(dir, "bench-loop-" + std::to_string(burst));
    KeystrokeSender sender(keyboard);
    bool done = false;
    QElapsedTimer clock;
    clock.start();
    sender.Start(text, delay, burst, [&] { done = true; });
    while (!done) Pump(5);
    const bool whole = Arrived(t.file, text, 10000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    Close(t);
    if (!whole) std::printf("  (text did not arrive whole)\n");
    return text.size() / seconds;
}

double XdotoolRate(const std::string& dir, const std::string& text) {
    Target t = Open(dir, "bench-xdotool");
    QElapsedTimer clock;
    clock.start();
    pid_t pid = Spawn({"xdotool", "type", "--", text});
    int status = 0;
    waitpid(pid, &status, 0);
    const bool whole = Arrived(t.file, text, 10000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    Close(t);
    if (!whole) std::printf("  (xdotool: text did not arrive whole)\n");
    return text.size() / seconds;
}

// Event-loop latency while a long text is typed: a 10 ms timer measures how
// late each of its events comes.
void Latency(XKeyboard& keyboard, const std::string& dir, int delay, int burst) {
    const std::string text = Sample(kKeystrokeBufferSize);
    Target t = Open(dir, "bench-latency-" + std::to_string(burst));
    std::vector<double> late;
    QElapsedTimer clock;
    QTimer probe;
    qint64 expected = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        late.push_back(std::max<qint64>(0, now - expected) / 1e6);
        expected = now + 10'000'000;
    });
    KeystrokeSender sender(keyboard);
    bool done = false;
    clock.start();
    expected = 10'000'000;
    probe.start(10);
    sender.Start(text, delay, burst, [&] { done = true; });
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    probe.stop();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const bool whole = Arrived(t.file, text, 20000);
    Close(t);
    std::sort(late.begin(), late.end());
    const auto at = [&](double q) { return late.empty() ? 0.0 : late[static_cast<std::size_t>(q * (late.size() - 1))]; };
    std::printf("10,000 characters, delay %d, burst %d: %.1f s, %s; event-loop lateness median %.2f ms, "
                "99th percentile %.2f ms, max %.2f ms over %zu timer events\n",
                delay, burst, seconds, whole ? "arrived whole" : "NOT WHOLE", at(0.5), at(0.99), at(1.0), late.size());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    XKeyboard keyboard;
    if (!keyboard.Available()) {
        std::fprintf(stderr, "bench_sendkeys: needs an X display with XTest\n");
        return 1;
    }
    char tmpl[] = "/tmp/bench_sendkeys.XXXXXX";
    const std::string dir = mkdtemp(tmpl);

    const std::string shortText = Sample(140);
    const std::string longText = Sample(1000);
    std::printf("send loop, delay 25, burst 0 (7):  %7.1f characters/s (%zu characters)\n",
                SendLoopRate(keyboard, dir, shortText, 25, 0), shortText.size());
    std::printf("send loop, delay 25, burst 50:     %7.1f characters/s (%zu characters)\n",
                SendLoopRate(keyboard, dir, longText, 25, 50), longText.size());
    std::printf("xdotool type (12 ms a key):       %7.1f characters/s (%zu characters)\n",
                XdotoolRate(dir, longText), longText.size());
    std::printf("send loop, delay 25, burst 999:    %7.1f characters/s (%zu characters)\n",
                SendLoopRate(keyboard, dir, longText, 25, 999), longText.size());
    Latency(keyboard, dir, 25, 999);
    Latency(keyboard, dir, 25, 50);
    std::filesystem::remove_all(dir);
    return 0;
}
