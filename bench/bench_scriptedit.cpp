// bench-libs: kr_scriptedit_core
// Timing of the script list's operations on a long script over a real data
// file (10,000 items): a move to the top and back to the bottom (each one
// transaction that shifts every item by one place), one step up, a
// renumber after the first item is deleted, and a numbered insert.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "scriptedit/ScriptSequencer.h"

using namespace kr;

namespace {

constexpr int kItems = 10000;
constexpr int32_t kTask = 7;

struct World {
    std::filesystem::path dir;
    World() {
        char tmpl[] = "/tmp/kr-bench-scriptedit-XXXXXX";
        dir = mkdtemp(tmpl);
        std::filesystem::current_path(dir);
        DictionaryInit();
        Scripting_File().Open();
        Scripting_File().UseFile();
        data::Logout({&Scripting_File().File()});
        for (int i = 1; i <= kItems; ++i) {
            Scripting s;
            s.ID = kTask;
            s.Sequence = i;
            s.Action = "Send Keys";
            s.Keystrokes = "item " + std::to_string(i);
            InsertScriptItemAt(s);
        }
        data::Commit();
    }
    ~World() {
        Scripting_File().Close();
        DictionaryKill();
        data::CloseIdleFiles();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

void BM_MoveToTopAndBack(benchmark::State& state) {
    World w;
    ScriptSequencer s;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.MoveToTop(kTask, kItems));
        benchmark::DoNotOptimize(s.MoveToBottom(kTask, 1));
    }
    state.SetItemsProcessed(state.iterations() * 2 * kItems);
}
BENCHMARK(BM_MoveToTopAndBack)->Unit(benchmark::kMillisecond);

void BM_MoveUpOne(benchmark::State& state) {
    World w;
    ScriptSequencer s;
    // Exchanges the numbers of two neighbours in the middle, back and forth.
    for (auto _ : state) benchmark::DoNotOptimize(s.MoveUp(kTask, kItems / 2));
}
BENCHMARK(BM_MoveUpOne)->Unit(benchmark::kMillisecond);

void BM_RenumberAfterFirstDeleted(benchmark::State& state) {
    World w;
    ScriptSequencer s;
    for (auto _ : state) {
        state.PauseTiming();
        // Item 1 leaves the range (number -1), as if deleted: a gap at 1.
        Scripting_File().rec() = Scripting();
        Scripting_File().rec().ID = kTask;
        Scripting_File().rec().Sequence = 1;
        Scripting_File().TryFetch(ScriptingDef().key("SCR:KeyID"));
        Scripting_File().rec().Sequence = -1;
        Scripting_File().File().Put();
        state.ResumeTiming();
        s.renumberStart = 1;
        s.Renumber(kTask);  // -1 stays; 2..10000 become 1..9999
        state.PauseTiming();
        Scripting_File().rec() = Scripting();
        Scripting_File().rec().ID = kTask;
        Scripting_File().rec().Sequence = -1;
        Scripting_File().TryFetch(ScriptingDef().key("SCR:KeyID"));
        Scripting_File().rec().Sequence = kItems;
        Scripting_File().File().Put();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RenumberAfterFirstDeleted)->Unit(benchmark::kMillisecond);

void BM_NumberedInsert(benchmark::State& state) {
    World w;
    for (auto _ : state) {
        Scripting s;
        s.ID = kTask;
        s.Action = "Wait";
        InsertScriptItemNumbered(s);
    }
}
BENCHMARK(BM_NumberedInsert)->Unit(benchmark::kMillisecond);

}  // namespace
