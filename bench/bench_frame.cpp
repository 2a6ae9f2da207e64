// Timing of the timer cycle over a real data file of 10,000 tasks: the
// next-task check as it runs every fourth second (nothing due: one read), the
// same check when the first 1000 tasks in the key have neither date nor time
// (the read limit), each of the four ticks of the rotation on its own (the
// third runs the next-task check), and the run
// of a due task (reschedule and history copy).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "scheduler/TableScheduleStore.h"
#include "scheduler/TimerCycle.h"

using namespace kr;

namespace {

class QuietMessages : public MessageService {
public:
    int Show(const MessageRequest& r) override { return r.defaultButton ? r.defaultButton : kButtonOk; }
};

constexpr int kTasks = 10000;

struct World {
    std::filesystem::path dir;
    QuietMessages messages;
    ManualClock clock{MakeDate(7, 1, 2024), MakeTime(8, 0)};
    std::unique_ptr<TableScheduleStore> store;
    TimerCycle cycle;
    int32_t nextID = 1;

    World() {
        char tmpl[] = "/tmp/kr-bench-frame-XXXXXX";
        dir = mkdtemp(tmpl);
        std::filesystem::current_path(dir);
        InstallMessageService(&messages);
        InstallClock(&clock);
        DictionaryInit();
        store = std::make_unique<TableScheduleStore>();
        store->BeginBatch();
        for (int i = 0; i < kTasks; ++i) {
            Schedule s;
            s.ID = nextID++;
            s.ScheduleType = "Custom";
            s.Every = 1;
            s.EveryType = "day(s)";
            s.TaskType = "Run Program";
            s.Description = "Task " + std::to_string(i);
            s.Date = clock.Today() + 1 + i % 365;
            s.Time = MakeTime(i % 24, i % 60);
            store->Add(s);
        }
        store->EndBatch();
        cycle.Start();
    }
    ~World() {
        cycle.Stop();
        store.reset();
        DictionaryKill();
        data::CloseIdleFiles();
        InstallClock(nullptr);
        InstallMessageService(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    void AddUndated(int n) {
        store->BeginBatch();
        for (int i = 0; i < n; ++i) {
            Schedule s;
            s.ID = nextID++;
            s.ScheduleType = "Custom";
            s.Every = 1;
            s.EveryType = "day(s)";
            s.Description = "Undated";
            store->Add(s);
        }
        store->EndBatch();
    }
};

World& TheWorld() {
    static World w;
    return w;
}

void BM_FindNextTask_NothingDue(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state) w.cycle.FindNextTask();
    state.SetLabel(w.cycle.nextTaskText());
}
BENCHMARK(BM_FindNextTask_NothingDue)->Unit(benchmark::kMicrosecond);

// The tick of one place in the rotation (the argument, 1 to 4), timed on its
// own: the ticks between are run untimed.
void BM_TimerTick(benchmark::State& state) {
    World& w = TheWorld();
    const int phase = static_cast<int>(state.range(0));
    for (auto _ : state) {
        while (w.cycle.phase() % 4 + 1 != phase) w.cycle.TimerTick();
        auto start = std::chrono::steady_clock::now();
        w.cycle.TimerTick();
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_TimerTick)->DenseRange(1, 4)->UseManualTime()->Iterations(4000)->Unit(benchmark::kMicrosecond);

void BM_ExecuteDueTask(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state) {
        state.PauseTiming();
        Schedule s;
        s.ID = w.nextID++;
        s.ScheduleType = "Custom";
        s.Every = 1;
        s.EveryType = "day(s)";
        s.TaskType = "Run Program";
        s.Description = "Due now";
        s.Date = w.clock.Today();
        s.Time = w.clock.ClockTime();
        w.store->Add(s);
        state.ResumeTiming();
        w.cycle.FindNextTask();  // finds it due and runs it
    }
}
BENCHMARK(BM_ExecuteDueTask)->Unit(benchmark::kMicrosecond);

void BM_FindNextTask_1000Undated(benchmark::State& state) {
    World& w = TheWorld();
    static bool added = false;
    if (!added) {
        w.AddUndated(kNextTaskReadLimit);
        added = true;
    }
    for (auto _ : state) w.cycle.FindNextTask();
}
BENCHMARK(BM_FindNextTask_1000Undated)->Unit(benchmark::kMicrosecond);

}  // namespace
