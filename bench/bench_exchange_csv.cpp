// bench-libs: kr_reports_core
// Comma-delimited export and import of 100,000 tasks with every one of the
// 49 exchanged fields, against the sqlcipher shell on the same table in the
// same run: its ".mode csv" export of the table (the SELECT timed by the
// shell's own ".timer on") and its ".import" into a copy of the table (timed
// as the shell run with the import less the same run without it, so neither
// its start-up nor its key derivation counts). "max_slice_ms" is the longest
// piece of work between two timer events of the progress window: how long
// the window can go without answering.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "reports/ImexProcesses.h"

using namespace kr;
using namespace kr::reports;

namespace {

constexpr int kTasks = 100000;
constexpr int kKdfIter = 64;

int32_t Minutes(int m) { return (m % 1440) * 6000 + 1; }

Schedule MakeTask(int i) {
    Schedule s;
    s.ID = i;
    s.TaskType = i % 2 ? "Run Program" : "Display Message";
    s.Category = "Category " + std::to_string(i % 17);
    s.Description = "Task number " + std::to_string(i) + ", \"quoted\"";
    s.Command = "/usr/bin/tool --name=\"a, b\" --index " + std::to_string(i);
    s.Path = "/home/user/work/folder " + std::to_string(i % 100);
    s.ScheduleType = "Weekly";
    s.Sunday = s.Tuesday = s.Thursday = s.Saturday = 1;
    s.Monday = s.Wednesday = s.Friday = static_cast<uint8_t>(i % 2);
    s.MonthRepeat = "First Monday";
    s.Offset = -(i % 5);
    s.Every = i % 90 + 1;
    s.Every1st = s.Every2nd = s.Every3rd = s.Every4th = s.EveryLast = 1;
    s.LastDayofMonth = 1;
    s.EveryType = "Days";
    s.Date = MakeDate(7, 1 + i % 28, 2024 + i % 3);
    s.Time = Minutes(i * 37);
    s.LastRunDate = s.Date - 7;
    s.LastRunTime = Minutes(i * 11);
    s.SkipNextTime = s.Alarm = 1;
    s.AlarmFile = "/usr/share/sounds/alarm " + std::to_string(i % 10) + ".wav";
    s.AdvanceWarnDate = s.Date - 1;
    s.AdvanceWarnTime = Minutes(i * 5);
    s.AdvanceWarned = s.Warn = s.SkipIfMissed = s.SkipIfScriptActive = s.NoHistory = s.UserSkip = 1;
    s.Disabled = static_cast<uint8_t>(i % 2);
    s.Skipped = 1;
    s.ExpiryDate = MakeDate(12, 31, 2030) + i % 365;
    s.ExpiryTime = Minutes(600 + i);
    s.ShiftType = "Forward";
    s.ExceptWeekends = s.ExceptWeekdays = s.ExceptHolidays = s.ExceptTime = 1;
    s.ExceptTimeBegin = Minutes(60 + i % 300);
    s.ExceptTimeEnd = Minutes(1200 - i % 300);
    return s;
}

struct World {
    std::filesystem::path dir;
    ManualClock clock{MakeDate(7, 1, 2024), MakeTime(8, 0)};
    std::string exported;

    World() {
        char tmpl[] = "/tmp/kr-bench-exchange-csv-XXXXXX";
        dir = mkdtemp(tmpl);
        std::filesystem::current_path(dir);
        InstallClock(&clock);
        data::SetKeyDerivationIterations(kKdfIter);
        DictionaryInit();
        Fill();
        exported = (dir / "tasks.csv").string();
    }
    ~World() {
        DictionaryKill();
        data::CloseIdleFiles();
        InstallClock(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    void Fill() {
        data::Table& t = data::TableOf(ScheduleDef());
        t.Create();
        t.Open();
        data::Logout({&t});
        for (int i = 1; i <= kTasks; ++i) {
            t.Rec<Schedule>() = MakeTask(i);
            t.Add();
        }
        data::Commit();
        t.Close();
    }
};

World& TheWorld() {
    static World w;
    return w;
}

// Steps a process as its window would, timing the longest step.
double RunSlices(BatchProcess& p) {
    double longest = 0;
    while (p.Running()) {
        const auto a = std::chrono::steady_clock::now();
        p.Step(p.batchSize());
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count();
        if (ms > longest) longest = ms;
    }
    return longest;
}

void BM_ExportCsv(benchmark::State& state) {
    World& w = TheWorld();
    double longest = 0;
    for (auto _ : state) {
        ExportRun run(Member(ImexKind::Schedule), Member(ImexKind::Schedule).fields, true, w.exported);
        run.Start();
        longest = std::max(longest, RunSlices(run));
        if (run.written() != kTasks) state.SkipWithError("not every task was written");
    }
    state.counters["max_slice_ms"] = longest;
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(w.exported));
}
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ImportCsv(benchmark::State& state) {
    World& w = TheWorld();
    if (!std::filesystem::exists(w.exported)) {
        ExportRun run(Member(ImexKind::Schedule), Member(ImexKind::Schedule).fields, true, w.exported);
        run.Start();
        RunToEnd(run);
    }
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        data::TableOf(ScheduleDef()).Create();
        state.ResumeTiming();
        auto reader = std::make_shared<Imex>();
        ImexError e;
        OpenImportFile(*reader, w.exported, e);
        const ImportColumns cols = ScanImportColumns(*reader);
        ImportMapping m{cols.pictures, {}};
        AutoAssign(Member(ImexKind::Schedule), cols.values, m);
        ImportRun run(Member(ImexKind::Schedule), reader, m, true);
        run.Start();
        longest = std::max(longest, RunSlices(run));
        if (run.added() != kTasks) state.SkipWithError("not every line was added");
    }
    state.counters["max_slice_ms"] = longest;
    // Leave the table as the shell benchmarks expect it.
    w.Fill();
}
BENCHMARK(BM_ImportCsv)->Unit(benchmark::kMillisecond)->Iterations(3);

// Runs the shell on the data file with the script; its standard output.
std::string Shell(const std::string& script, double* wallSeconds = nullptr) {
    World& w = TheWorld();
    const std::string scriptFile = (w.dir / "script.sql").string();
    std::ofstream(scriptFile) << "PRAGMA key='" << kOwnerPassword << "';\nPRAGMA kdf_iter=" << kKdfIter
                              << ";\nSELECT count(*) FROM s;\n"
                              << script;
    const std::string cmd = "sqlcipher " + (w.dir / "KR97.TPS").string() + " < " + scriptFile + " 2>&1";
    const auto a = std::chrono::steady_clock::now();
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    if (p) pclose(p);
    if (wallSeconds) *wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
    return out;
}

void BM_ShellExportCsv(benchmark::State& state) {
    TheWorld();
    for (auto _ : state) {
        const std::string out = Shell(".mode csv\n.headers on\n.output shell.csv\n.timer on\nSELECT * FROM s;\n");
        const std::size_t at = out.find("Run Time: real ");
        if (at == std::string::npos) {
            state.SkipWithError(("no timer line: " + out).c_str());
            break;
        }
        state.SetIterationTime(std::stod(out.substr(at + 15)));
    }
}
BENCHMARK(BM_ShellExportCsv)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_ShellImportCsv(benchmark::State& state) {
    World& w = TheWorld();
    Shell(".mode csv\n.headers off\n.output shell-data.csv\nSELECT * FROM s;\n");
    // Into the table itself, with its keys, emptied first; rolled back, so
    // the table stays as it was. The run without the import is subtracted.
    const std::string begin = "BEGIN;\nDELETE FROM s;\n.mode csv\n";
    for (auto _ : state) {
        double without = 0, with = 0;
        Shell(begin + "ROLLBACK;\n", &without);
        const std::string out = Shell(begin + ".import " + (w.dir / "shell-data.csv").string() +
                                          " s\nSELECT count(*) FROM s;\nROLLBACK;\n",
                                      &with);
        if (out.find(std::to_string(kTasks)) == std::string::npos) {
            state.SkipWithError(("import incomplete: " + out).c_str());
            break;
        }
        state.SetIterationTime(std::max(0.0, with - without));
    }
}
BENCHMARK(BM_ShellImportCsv)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace
