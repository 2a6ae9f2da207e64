// What several benchmarks share: this process's memory figures from
// /proc/self/status, and a schedule of generated tasks.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"

namespace kr::bench {

// One field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when missing.
inline long StatusKb(const char* name) {
    std::ifstream in("/proc/self/status");
    const std::string key = std::string(name) + ":";
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
    return -1;
}

// Starts the peak over from the current resident size: the kernel resets
// VmHWM to VmRSS when "5" is written to clear_refs.
inline bool ResetPeak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

// `count` tasks in one transaction, dated from `first`: daily ones each
// day from `first`, the others spread over a year.
inline void AddTasks(int count, int32_t first, bool daily) {
    auto& f = Schedule_File();
    f.Open();
    f.UseFile();  // the table opens lazily; the transaction needs it open
    std::vector<data::Table*> files{&f.File()};
    data::Logout(files);
    for (int i = 0; i < count; ++i) {
        f.rec() = Schedule();
        f.rec().ID = i + 1;
        f.rec().TaskType = i % 3 ? "Run Program" : "Display Message";
        f.rec().Category = i % 2 ? "Work" : "Home";
        f.rec().Description = "Task number " + std::to_string(i + 1);
        f.rec().Command = "/usr/bin/backup --target /srv/archive/" + std::to_string(i);
        f.rec().Message = "Remember to check the result of the nightly run and file the log.";
        f.rec().ScheduleType = daily ? "Custom" : "Day of Week";
        f.rec().Every = 1;
        f.rec().EveryType = "Days";
        f.rec().Monday = 1;
        f.rec().Date = daily ? first : first + i % 365;
        f.rec().Time = MakeTime(6, 0) + (i % 600) * 6000;
        f.Insert();
    }
    data::Commit();
    f.Close();
}

}  // namespace kr::bench
