// bench-libs: kr_repair_core
// The repair program's work on a Schedule of 100,000 records in an
// encrypted data file: Build (every key), Release (every record read and
// asked for its hold mark, as the window's steps do it) and the repair
// helper's rebuild of the whole file.
//
//   bench_repair [--benchmark_...]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "dictionary/Dictionary.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/runtime/RecordProcess.h"
#include "repair/RepairFiles.h"
#include "repair/RepairRun.h"
#include "repair/Salvage.h"

using namespace kr;

namespace {

constexpr int kRecords = 100000;

// Removes the run's folder when the program ends.
struct RemovedAtExit {
    std::filesystem::path dir;
    ~RemovedAtExit() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

// A folder with the data file, made once per run.
const std::filesystem::path& Folder() {
    static std::filesystem::path dir = [] {
        char tmpl[] = "/tmp/kr-bench-repair-XXXXXX";
        std::filesystem::path d = mkdtemp(tmpl);
        static RemovedAtExit removed{d};
        std::filesystem::current_path(d);
        DictionaryInitRepairProgram();
        repair::RegisterRepairTables();
        data::Table& t = data::TableOf(ScheduleDef());
        t.Create();
        t.Open();
        data::Logout({&t});
        auto& r = t.Rec<Schedule>();
        for (int i = 1; i <= kRecords; ++i) {
            t.Clear();
            r.ID = i;
            r.Description = "Task " + std::to_string(i);
            r.Command = "program" + std::to_string(i % 100);
            t.Add();
        }
        data::Commit();
        t.Close();
        return d;
    }();
    return dir;
}

void RunAction(benchmark::State& state, const char* action) {
    Folder();
    std::vector<repair::RepairRow> rows = repair::MakeRepairRows();
    for (repair::RepairRow& r : rows)
        if (r.fileName == "Schedule") r.tag = "1";
    for (auto _ : state) {
        repair::RepairRun run(action, rows, -1);
        RunToEnd(run);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_Build(benchmark::State& state) { RunAction(state, repair::kActionBuild); }
void BM_Release(benchmark::State& state) { RunAction(state, repair::kActionRelease); }

void BM_Salvage(benchmark::State& state) {
    const std::string file = (Folder() / "KR97.TPS").string();
    data::CloseIdleFiles();
    for (auto _ : state) {
        repair::SalvageOptions o;
        o.source = file;
        o.sourcePassword = o.targetPassword = kOwnerPassword;
        const repair::SalvageResult r = repair::SalvageDataFile(o);
        if (r.code != repair::kSalvageComplete) state.SkipWithError(r.error.c_str());
        std::filesystem::remove(r.keptAs);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

}  // namespace

BENCHMARK(BM_Build)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Release)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Salvage)->Unit(benchmark::kMillisecond)->Iterations(3);
