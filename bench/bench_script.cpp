// bench-libs: kr_script_engine
// Timing of the script interpreter over the real run queue: 10,000 queued
// items (value sets, true tests with their End If, waits of a second)
// stepped through one per tick with the clock moved on, with the event log
// written as the program writes it and with logging off; and the tick that
// finds the head not yet due.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/Settings.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "scheduler/DateValues.h"
#include "scheduler/ScriptInterpreter.h"
#include "scheduler/ScriptQueue.h"
#include "scheduler/ScriptValues.h"

using namespace kr;

namespace {

constexpr int kItems = 10000;

struct World {
    std::filesystem::path dir;
    ManualClock clock{MakeDate(7, 1, 2024), MakeTime(8, 0)};
    ScriptInterpreter interpreter;

    World() {
        char tmpl[] = "/tmp/kr-bench-script-XXXXXX";
        dir = mkdtemp(tmpl);
        std::filesystem::current_path(dir);
        InstallClock(&clock);
        DictionaryInit();
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
    // 10,000 items due one hundredth apart from now on, the task runner's
    // "**End**" last.
    void Fill() {
        std::vector<ScriptQueueEntry> entries;
        entries.reserve(kItems + 1);
        int32_t date = clock.Today(), time = clock.ClockTime();
        for (int i = 0; i < kItems; ++i) {
            ScriptQueueEntry e;
            e.Record.ID = 1;
            e.Record.Sequence = i + 1;
            switch (i % 4) {
                case 0:
                    e.Record.Action = "Set Value";
                    e.Record.Path = "COUNT";
                    e.Record.Command = std::to_string(i);
                    break;
                case 1:
                    e.Record.Action = "If Value...";
                    e.Record.Command = "COUNT";
                    e.Record.WindowTitleToCheckFor = ">";
                    e.Record.WaitForWindow = "-1";
                    break;
                case 2:
                    e.Record.Action = "Wait";
                    e.Record.SecondsToWait = 1;
                    break;
                default:
                    e.Record.Action = "...End If";
                    break;
            }
            SplitMoment(MomentOf(date, time) + 1, date, time);
            e.Date = date;
            e.Time = time;
            entries.push_back(e);
        }
        ScriptQueueEntry end;
        end.Record.Action = kEndOfScriptAction;
        end.Date = date;
        end.Time = time;
        entries.push_back(end);
        ScriptQueue().Append(entries);
    }
    // Ticks with the clock moved a second each until the queue is empty.
    int64_t RunAll() {
        int64_t steps = 0;
        while (!ScriptQueue().Empty()) {
            clock.Advance(100);
            interpreter.Step();
            ++steps;
        }
        return steps;
    }
};

void StepThrough(benchmark::State& state, bool log) {
    World w;
    Options().GlobalUseLog = log ? 1 : 0;
    int64_t steps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.Fill();
        state.ResumeTiming();
        steps += w.RunAll();
    }
    state.counters["steps"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kAvgIterations);
    state.counters["per_step_us"] = benchmark::Counter(
        static_cast<double>(steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
        benchmark::Counter::OneK::kIs1000);
}

void BM_StepThroughQueueLogged(benchmark::State& state) { StepThrough(state, true); }
void BM_StepThroughQueueUnlogged(benchmark::State& state) { StepThrough(state, false); }
BENCHMARK(BM_StepThroughQueueLogged)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StepThroughQueueUnlogged)->Unit(benchmark::kMillisecond)->Iterations(3);

// The tick while a long queue waits for its head to fall due.
void BM_TickHeadNotDue(benchmark::State& state) {
    World w;
    w.Fill();
    w.clock.Advance(-100);
    for (auto _ : state) w.interpreter.Step();
    ScriptQueue().Free();
}
BENCHMARK(BM_TickHeadNotDue);

}  // namespace
