// bench-libs: kr_runtime kr_data kr_dictionary Qt6::Widgets X11::X11
// How long KR98 takes to reach the tray and to show its frame, on a large
// data file and on a small one, next to a bare Qt program that only puts an
// icon in the tray and shows a window, in one run on one display.
//
//   xvfb-run -a bench_startup [runs] [large tasks] [small tasks]
//
// The data files are made here with the program's own tables: the given
// number of scheduled tasks and as many saved clipboard entries of about
// 8 KB each (TrayBenchSupport.h).
// A tray host (trayer) is started on the display; each program is started
// `runs` times (5 by default) and the median of each time is printed. The
// clock runs from the moment before the program is spawned to the moment its
// icon window is inside the tray host's window tree, and to the moment its
// first window outside the tray is viewable (KR98's frame, which shows before
// its lists). The window tree is polled every millisecond.
//
// Run by hand; the tests never run it. With --bare-tray the program is the
// bare Qt tray program itself.
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/TrayBenchSupport.h"

using namespace kr;
using namespace kr::bench;
using namespace kr::test;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

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

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--bare-tray") return BareTray(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int large = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10000;
    const int small = argc > 3 ? std::max(1, std::atoi(argv[3])) : 400;

    TrayBench bench("startup");
    Display* d = bench.display();
    const pid_t trayer = bench.trayer();
    const fs::path self = bench.self(), root = bench.root();
    const std::string kr98 = bench.kr98();
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
    std::printf("%-18s %20s %20s\n", "program", "to tray (ms)", "to frame (ms)");
    std::printf("%-18s %20s %20s\n", "", "min / median", "min / median");
    for (const Subject& s : subjects)
        std::printf("%-18s %9.0f / %-8.0f %9.0f / %-8.0f\n", s.name.c_str(), Min(s.tray), Median(s.tray), Min(s.frame),
                    Median(s.frame));
    const double bare = Median(subjects[0].tray), smallTray = Median(subjects[1].tray),
                 largeTray = Median(subjects[2].tray);
    std::printf("to tray, of the medians: large / small %.2fx, small / bare %.2fx, large / bare %.2fx\n",
                largeTray / smallTray, smallTray / bare, largeTray / bare);
    // The same ratio run by run: the programs of one run met the same load.
    std::vector<double> smallRatio, largeRatio;
    for (int r = 0; r < runs; ++r) {
        smallRatio.push_back(subjects[1].tray[r] / subjects[0].tray[r]);
        largeRatio.push_back(subjects[2].tray[r] / subjects[0].tray[r]);
    }
    std::printf("to tray, run by run (min / median): small / bare %.2f / %.2fx, large / bare %.2f / %.2fx\n",
                Min(smallRatio), Median(smallRatio), Min(largeRatio), Median(largeRatio));
    return 0;
}
