// bench-libs: kr_runtime kr_data kr_dictionary Qt6::Widgets X11::X11
// How long KR98 takes to reach the tray and to show its frame, on a large
// data file and on a small one, next to a bare Qt program that only puts an
// icon in the tray and shows a window, in one run on one display.
//
//   xvfb-run -a bench_startup [runs] [large tasks] [small tasks]
//
// The data files are made here with the program's own tables: the given
// number of scheduled tasks and as many saved clipboard entries of about
// 8 KB each (10,000 of each make a file of about 88 MB; 400 about 3.7 MB).
// A tray host (trayer) is started on the display; each program is started
// `runs` times (5 by default) and the median of each time is printed. The
// clock runs from the moment before the program is spawned to the moment its
// icon window is inside the tray host's window tree, and to the moment its
// first window outside the tray is viewable (KR98's frame, which shows before
// its lists). The window tree is polled every millisecond.
//
// Run by hand; the tests never run it. With --bare-tray the program is the
// bare Qt tray program itself.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QMainWindow>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "dictionary/FileNames.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Names.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
// After Qt and the project's headers: Xlib's macros clash with them.
#include "tests/desktop/X11TestSupport.h"

using namespace kr;
using namespace kr::data;
using namespace kr::test;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "bench_startup: %s failed\n", what);
        std::exit(1);
    }
}

// A data folder holding KR97.TPS with `tasks` scheduled tasks and as many
// saved clipboard entries.
fs::path MakeDataFolder(const fs::path& folder, int tasks) {
    fs::create_directories(folder);
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    Table& s = TableOf(ScheduleDef());
    Table& c = TableOf(ClipboardDef());
    Check(s.Create() == 0 && s.Open() == 0, "create the schedule");
    Check(c.Create() == 0 && c.Open() == 0, "create the clipboard table");
    const int32_t base = MakeDate(1, 1, 2027);
    std::string text;
    for (int i = 0; i < 8000; ++i) text += static_cast<char>('a' + (i * 7) % 26);
    Check(Logout({&s, &c}) == 0, "logout");
    for (int i = 1; i <= tasks; ++i) {
        s.Clear();
        Schedule& r = s.Rec<Schedule>();
        r.ID = i;
        r.Date = base + static_cast<int32_t>((int64_t{i} * 37) % 730);
        r.Time = 1 + static_cast<int32_t>((int64_t{i} * 6000) % 8640000);
        r.Description = "Task " + std::to_string(i);
        r.TaskType = "Run Program";
        r.Command = "/usr/bin/true";
        Check(s.Add() == 0, "add a task");
        c.Clear();
        Clipboard& e = c.Rec<Clipboard>();
        e.ClipDate = base - 1 - i % 300;
        e.ClipTime = 1 + (i * 100) % 8640000;
        e.ClipHashKey = "bench" + std::to_string(i);
        e.ClipContents = std::to_string(i) + text;
        Check(c.Add() == 0, "add a clipboard entry");
    }
    Check(Commit() == 0, "commit");
    s.Close();
    c.Close();
    CloseIdleFiles();
    // The name as the tables spelt it.
    const fs::path file = fs::absolute(ResolveFilePath(kDataFileName));
    fs::current_path(before);
    return file;
}

pid_t Spawn(const std::vector<std::string>& args, const fs::path& folder) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : 0;
}

void Stop(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    int status;
    waitpid(pid, &status, 0);
}

struct Times {
    double tray = -1, frame = -1;  // milliseconds; -1: not seen
};

// Starts the program and times it to its tray icon and its first window.
Times TimeStart(Display* d, pid_t trayer, const std::vector<std::string>& args, const fs::path& folder) {
    Times t;
    const Clock::time_point start = Clock::now();
    const pid_t pid = Spawn(args, folder);
    Check(pid != 0, "start the program");
    const Clock::time_point until = start + std::chrono::seconds(30);
    while ((t.tray < 0 || t.frame < 0) && Clock::now() < until) {
        bool inTray = false, shown = false;
        ForEachWindow(
            d,
            [&](Window w, bool in) {
                if (WindowPid(d, w) != pid || !Viewable(d, w)) return;
                if (in)
                    inTray = true;
                else
                    shown = true;
            },
            trayer);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (inTray && t.tray < 0) t.tray = ms;
        if (shown && t.frame < 0) t.frame = ms;
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "bench_startup: %s ended at its start (status %d)\n", args[0].c_str(), status);
            return t;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Stop(pid);
    return t;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

int BareTray(int argc, char** argv) {
    QApplication app(argc, argv);
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::darkBlue);
    QSystemTrayIcon tray{QIcon(pixmap)};
    tray.show();
    QMainWindow window;
    window.resize(400, 300);
    window.show();
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--bare-tray") return BareTray(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int large = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10000;
    const int small = argc > 3 ? std::max(1, std::atoi(argv[3])) : 400;

    Display* d = XOpenDisplay(nullptr);
    Check(d != nullptr, "open the display (run under xvfb-run)");
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // windows vanish while walked

    const fs::path self = fs::canonical("/proc/self/exe");
    const std::string kr98 = (self.parent_path() / "KR98").string();
    Check(fs::exists(kr98), "find KR98 beside the benchmark");

    char tmpl[] = "/tmp/kr-bench-startup-XXXXXX";
    const fs::path root = ::mkdtemp(tmpl);
    // The programs keep their settings under this home, not the user's.
    setenv("HOME", root.c_str(), 1);
    const fs::path largeFolder = root / "large", smallFolder = root / "small";
    const fs::path largeFile = MakeDataFolder(largeFolder, large), smallFile = MakeDataFolder(smallFolder, small);
    const auto largeSize = fs::file_size(largeFile), smallSize = fs::file_size(smallFile);
    // Both files read once, so that the runs time the program, not the disk.
    for (const fs::path& f : {largeFile, smallFile}) {
        std::ifstream in(f, std::ios::binary);
        std::vector<char> buffer(1 << 20);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
        }
    }

    TrayHost tray;
    Check(tray.Start(d), "start trayer and see it take the tray");
    const pid_t trayer = tray.pid();

    struct Subject {
        std::string name;
        std::vector<std::string> args;
        fs::path folder;
        std::vector<double> tray, frame;
    };
    std::vector<Subject> subjects = {
        {"bare Qt tray", {self.string(), "--bare-tray"}, root, {}, {}},
        {"KR98 small file", {kr98}, smallFolder, {}, {}},
        {"KR98 large file", {kr98}, largeFolder, {}, {}},
    };
    // One untimed start of each first (library loading, font caches), then
    // the runs in turn, so that a change in the machine's load meets all.
    for (Subject& s : subjects) TimeStart(d, trayer, s.args, s.folder);
    for (int r = 0; r < runs; ++r)
        for (Subject& s : subjects) {
            const Times t = TimeStart(d, trayer, s.args, s.folder);
            s.tray.push_back(t.tray);
            s.frame.push_back(t.frame);
        }

    std::printf("KR97.TPS: large %d tasks and clipboard entries, %.1f MB; small %d, %.1f MB; %d runs\n", large,
                largeSize / 1048576.0, small, smallSize / 1048576.0, runs);
    std::printf("%-18s %14s %14s\n", "program", "to tray (ms)", "to frame (ms)");
    for (const Subject& s : subjects) std::printf("%-18s %14.0f %14.0f\n", s.name.c_str(), Median(s.tray), Median(s.frame));
    const double bare = Median(subjects[0].tray), smallTray = Median(subjects[1].tray),
                 largeTray = Median(subjects[2].tray);
    std::printf("to tray: large / small %.2fx, small / bare %.2fx, large / bare %.2fx\n", largeTray / smallTray,
                smallTray / bare, largeTray / bare);

    XCloseDisplay(d);
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
