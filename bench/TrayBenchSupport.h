// What the benches that start KR98 beside a bare Qt tray program share: the
// set-up (the display with a tray host, KR98 found beside the bench, a
// temporary home), the data folder they run on, starting and stopping a
// program, and the bare tray program itself (the bench's own executable with
// --bare-tray).
#pragma once

#include <errno.h>
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
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dictionary/FileNames.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Names.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"

extern char** environ;

namespace kr::bench {

inline void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s: %s failed\n", program_invocation_short_name, what);
        std::exit(1);
    }
}

// A data folder holding KR97.TPS with `tasks` scheduled tasks and as many
// saved clipboard entries of about 8 KB each (10,000 of each make a file of
// about 88 MB; 400 about 3.7 MB). Answers the data file's path.
inline std::filesystem::path MakeDataFolder(const std::filesystem::path& folder, int tasks) {
    namespace fs = std::filesystem;
    using namespace kr::data;
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

// Starts a program in `folder` with its output thrown away; 0 when it fails.
inline pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& folder) {
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

// SIGTERM, then SIGKILL after 3 s.
inline void Stop(pid_t pid) {
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

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

inline double Min(const std::vector<double>& v) { return v.empty() ? -1 : *std::min_element(v.begin(), v.end()); }

// The program KR98 is measured against: an icon in the tray and a window.
inline int BareTray(int argc, char** argv) {
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

}  // namespace kr::bench

// After Qt and the project's headers: Xlib's macros clash with them.
#include "tests/desktop/X11TestSupport.h"

namespace kr::bench {

// The display with a tray host (trayer) holding the tray, KR98 beside the
// bench's own executable, and a temporary folder made the programs' home so
// that they keep their settings there, not in the user's; the folder is
// removed and the display closed at the end. Ends the bench with a message
// when any of it cannot be had.
class TrayBench {
public:
    // `name` names the temporary folder ("/tmp/kr-bench-<name>-XXXXXX").
    explicit TrayBench(const std::string& name) {
        display_ = XOpenDisplay(nullptr);
        Check(display_ != nullptr, "open the display (run under xvfb-run)");
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // windows vanish while walked
        self_ = std::filesystem::canonical("/proc/self/exe");
        kr98_ = (self_.parent_path() / "KR98").string();
        Check(std::filesystem::exists(kr98_), "find KR98 beside the benchmark");
        std::string tmpl = "/tmp/kr-bench-" + name + "-XXXXXX";
        Check(::mkdtemp(tmpl.data()) != nullptr, "make a temporary folder");
        root_ = tmpl;
        setenv("HOME", root_.c_str(), 1);
        tray_.emplace();
        Check(tray_->Start(display_), "start trayer and see it take the tray");
    }
    ~TrayBench() {
        tray_.reset();  // trayer ends before the display closes
        XCloseDisplay(display_);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TrayBench(const TrayBench&) = delete;
    TrayBench& operator=(const TrayBench&) = delete;

    Display* display() const { return display_; }
    pid_t trayer() const { return tray_->pid(); }
    const std::filesystem::path& self() const { return self_; }
    const std::string& kr98() const { return kr98_; }
    const std::filesystem::path& root() const { return root_; }

private:
    Display* display_ = nullptr;
    std::filesystem::path self_, root_;
    std::string kr98_;
    std::optional<kr::test::TrayHost> tray_;
};

}  // namespace kr::bench
