// bench-libs: kr_runtime kr_data kr_dictionary Qt6::Widgets X11::X11
// The memory KR98 holds when it sits idle in the tray, next to a bare Qt
// program that only puts an icon in the tray and shows a window.
//
//   xvfb-run -a bench_idle_memory [runs] [tasks] [seconds]
//
// The data file is made with the program's own tables: `tasks` scheduled
// tasks (10,000 by default) and as many saved clipboard entries of about
// 8 KB each (TrayBenchSupport.h). A tray host (trayer) is started on the
// display. After one start that is not measured, each run starts KR98 and
// the bare tray program side by side, waits until both icons are in the
// tray and then until `seconds` (30 by default) have passed since the
// start, and reads Rss and Pss of each from
// /proc/PID/smaps_rollup (Pss shares each shared page among the processes
// mapping it). Min and median over `runs` (5 by default) are printed, then
// the mappings where KR98 holds more than the bare program in the last run,
// by file (anonymous memory, the heap and the stacks under their own names;
// all of them with KR_BENCH_ALL_MAPPINGS set).
//
// Run by hand; the tests never run it. With --bare-tray the program is the
// bare Qt tray program itself.
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/TrayBenchSupport.h"

using namespace kr;
using namespace kr::bench;
using namespace kr::test;
namespace fs = std::filesystem;

namespace {

using SteadyClock = std::chrono::steady_clock;

// A field of /proc/PID/smaps_rollup in kB; -1 when missing.
long RollupKb(pid_t pid, const std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    const std::string key = name + ":";
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
    return -1;
}

// Rss in kB of each mapped file (or "[heap]", "[anon]", "[stack]" ...) of the process.
std::map<std::string, long> RssByMapping(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps");
    std::map<std::string, long> rss;
    std::string current;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        const bool header = std::isxdigit(static_cast<unsigned char>(line[0])) && line.find('-') < line.find(' ');
        if (header) {
            std::istringstream fields(line);
            std::string range, perms, offset, dev, inode, path;
            fields >> range >> perms >> offset >> dev >> inode;
            std::getline(fields >> std::ws, path);
            current = path.empty() ? "[anon]" : path;
        } else if (line.compare(0, 4, "Rss:") == 0) {
            rss[current] += std::atol(line.c_str() + 4);
        }
    }
    return rss;
}

bool InTray(Display* d, pid_t trayer, pid_t pid) {
    bool in = false;
    ForEachWindow(
        d, [&](Window w, bool inside) { in = in || (inside && WindowPid(d, w) == pid && Viewable(d, w)); }, trayer);
    return in;
}

struct Figures {
    std::vector<double> rss, pss;  // MB
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--bare-tray") return BareTray(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int tasks = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10000;
    const int seconds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 30;

    TrayBench bench("idle");
    Display* d = bench.display();
    const pid_t trayer = bench.trayer();
    const fs::path self = bench.self(), root = bench.root();
    const std::string kr98 = bench.kr98();
    const fs::path folder = root / "data";
    const fs::path file = MakeDataFolder(folder, tasks);

    Figures bare, kr;
    std::map<std::string, long> lastMaps, lastBareMaps;
    // One start first, not measured: the first start on a new data file does
    // work of its own, and the programs' libraries come into the page cache.
    for (int r = -1; r < runs; ++r) {
        const SteadyClock::time_point start = SteadyClock::now();
        const pid_t barePid = Spawn({self.string(), "--bare-tray"}, root);
        const pid_t krPid = Spawn({kr98}, folder);
        Check(barePid != 0 && krPid != 0, "start the programs");
        bool bothIn = false;
        while (!bothIn && SteadyClock::now() < start + std::chrono::seconds(seconds)) {
            bothIn = InTray(d, trayer, barePid) && InTray(d, trayer, krPid);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Check(bothIn, "see both icons in the tray");
        std::this_thread::sleep_for(start + std::chrono::seconds(seconds) - SteadyClock::now());
        for (pid_t pid : {barePid, krPid}) {
            int status;
            Check(waitpid(pid, &status, WNOHANG) == 0, "find the program still running");
        }
        if (r >= 0) {
            bare.rss.push_back(RollupKb(barePid, "Rss") / 1024.0);
            bare.pss.push_back(RollupKb(barePid, "Pss") / 1024.0);
            kr.rss.push_back(RollupKb(krPid, "Rss") / 1024.0);
            kr.pss.push_back(RollupKb(krPid, "Pss") / 1024.0);
        }
        if (r == runs - 1) {
            lastMaps = RssByMapping(krPid);
            lastBareMaps = RssByMapping(barePid);
        }
        Stop(krPid);
        Stop(barePid);
    }

    std::printf("KR97.TPS: %d tasks and clipboard entries, %.1f MB; %d runs, measured %d s after the start\n", tasks,
                fs::file_size(file) / 1048576.0, runs, seconds);
    std::printf("%-14s %22s %22s\n", "program", "RSS MB min / median", "PSS MB min / median");
    std::printf("%-14s %10.1f / %-10.1f %10.1f / %-10.1f\n", "bare Qt tray", Min(bare.rss), Median(bare.rss),
                Min(bare.pss), Median(bare.pss));
    std::printf("%-14s %10.1f / %-10.1f %10.1f / %-10.1f\n", "KR98", Min(kr.rss), Median(kr.rss), Min(kr.pss),
                Median(kr.pss));
    std::printf("KR98 RSS run by run (MB):");
    for (double v : kr.rss) std::printf(" %.1f", v);
    std::printf("\nKR98 - bare (medians): RSS %+.1f MB, PSS %+.1f MB\n", Median(kr.rss) - Median(bare.rss),
                Median(kr.pss) - Median(bare.pss));

    // What KR98 holds beyond the bare program, mapping by mapping: the
    // bench's own executable counts as KR98's.
    struct Row {
        long more, kr, bare;
        std::string name;
    };
    std::vector<Row> rows;
    int libraries = 0, bareLibraries = 0;
    auto shortName = [&](const std::string& name) {
        if (name == self.string() || name == kr98) return std::string("(the program)");
        return name;
    };
    std::map<std::string, std::pair<long, long>> both;
    for (const auto& [name, kb] : lastMaps) {
        both[shortName(name)].first += kb;
        if (name.find(".so") != std::string::npos) ++libraries;
    }
    for (const auto& [name, kb] : lastBareMaps) {
        both[shortName(name)].second += kb;
        if (name.find(".so") != std::string::npos) ++bareLibraries;
    }
    for (const auto& [name, kb] : both) rows.push_back({kb.first - kb.second, kb.first, kb.second, name});
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.more > b.more; });
    std::printf("Shared libraries mapped: KR98 %d, bare %d. Where KR98 holds more (last run, RSS kB):\n", libraries,
                bareLibraries);
    std::printf("%8s %8s %8s  %s\n", "more", "KR98", "bare", "mapping");
    const bool all = std::getenv("KR_BENCH_ALL_MAPPINGS") != nullptr;
    for (size_t i = 0; i < rows.size(); ++i)
        if (all || (i < 30 && rows[i].more > 0))
            std::printf("%8ld %8ld %8ld  %s\n", rows[i].more, rows[i].kr, rows[i].bare, rows[i].name.c_str());
    return 0;
}
