// bench-libs: kr_script_engine
// Timing of script exchange files with 10,000 items: reading a file (decode
// and parse), importing it into a task and exporting the task over a real
// data file (25 items a batch, one transaction each), and a Start Script step that queues the whole file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "scheduler/ScriptQueue.h"
#include "scheduler/StartScript.h"
#include "scriptedit/ScriptExchange.h"

using namespace kr;

namespace {

constexpr int kItems = 10000;

struct World {
    std::filesystem::path dir;
    ManualClock clock{MakeDate(7, 1, 2024), MakeTime(8, 0)};

    World() {
        char tmpl[] = "/tmp/kr-bench-exchange-XXXXXX";
        dir = mkdtemp(tmpl);
        std::filesystem::current_path(dir);
        InstallClock(&clock);
        DictionaryInit();
        std::ofstream out("big.krs", std::ios::binary);
        for (int i = 0; i < kItems; ++i) {
            Export row;
            if (i % 2 == 0) {
                row.Type = "Send Keys";
                row.Field1 = "line " + std::to_string(i) + " with \"quotes\", commas[ENTER]";
            } else {
                row.Type = "Set Value";
                row.Field1 = "COUNT";
                row.Field2 = std::to_string(i);
            }
            out << FormatExchangeLine(row);
        }
    }
    ~World() {
        ScriptQueue().Free();
        CloseEventLog();
        DictionaryKill();
        data::CloseIdleFiles();
        InstallClock(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

void BM_ReadExchangeFile(benchmark::State& state) {
    World w;
    for (auto _ : state) {
        std::vector<Export> rows;
        int error = 0;
        std::string text;
        ReadExchangeFile("big.krs", rows, error, text);
        benchmark::DoNotOptimize(rows.size());
    }
}
BENCHMARK(BM_ReadExchangeFile)->Unit(benchmark::kMillisecond);

void BM_Import(benchmark::State& state) {
    World w;
    int32_t task = 0;
    for (auto _ : state) ImportScript(++task, "big.krs");
}
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Export(benchmark::State& state) {
    World w;
    ImportScript(1, "big.krs");
    for (auto _ : state) ExportScript(1, "out.krs");
}
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_StartScriptQueuesTheFile(benchmark::State& state) {
    World w;
    for (auto _ : state) {
        state.PauseTiming();
        ScriptQueue().Free();
        ScriptQueueEntry head;
        head.Record.ID = 1;
        head.Record.Action = "Start Script";
        ScriptQueue().Append(head);
        state.ResumeTiming();
        StartScript("big.krs", "Insert");
    }
}
BENCHMARK(BM_StartScriptQueuesTheFile)->Unit(benchmark::kMillisecond);

}  // namespace
