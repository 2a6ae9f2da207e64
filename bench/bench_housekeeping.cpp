// Timing of Housekeeping's task removal over a real data file: 10,000 tasks,
// half of them disabled, each with five script items; one removal of the
// disabled ones (one transaction) per iteration, the table refilled outside
// the timing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "dictionary/Dictionary.h"
#include "dictionary/Housekeeping.h"
#include "platform/data/Table.h"
#include "platform/runtime/Services.h"

using namespace kr;

namespace {

class QuietMessages : public MessageService {
public:
    int Show(const MessageRequest& r) override { return r.defaultButton ? r.defaultButton : kButtonOk; }
};

constexpr int kTasks = 10000;
constexpr int kItems = 5;

struct World {
    QuietMessages messages;
    std::filesystem::path dir;
    World() {
        char tmpl[] = "/tmp/kr-bench-hk-XXXXXX";
        dir = mkdtemp(tmpl);
        std::filesystem::current_path(dir);
        InstallMessageService(&messages);
        DictionaryInit();
        Schedule_File().Open();
        Scripting_File().Open();
        Schedule_File().UseFile();
        Scripting_File().UseFile();
    }
    // Puts back the tasks the last removal took.
    void Fill() {
        data::Table& sch = Schedule_File().File();
        data::Table& scr = Scripting_File().File();
        data::Logout({&sch, &scr});
        for (int id = 1; id <= kTasks; ++id) {
            sch.Clear();
            sch.Rec<Schedule>().ID = id;
            if (sch.Get(ScheduleDef().key("SCH:KeyID")) == 0) continue;
            sch.Clear();
            Schedule& s = sch.Rec<Schedule>();
            s.ID = id;
            s.Disabled = id % 2;
            s.Date = 80000 + id % 365;
            s.Description = "Task " + std::to_string(id);
            sch.Add();
            for (int i = 1; i <= kItems; ++i) {
                scr.Clear();
                scr.Rec<Scripting>().ID = id;
                scr.Rec<Scripting>().Sequence = i;
                scr.Rec<Scripting>().Action = "Send Keys";
                scr.Add();
            }
        }
        data::Commit();
    }
    // The run's data folder goes when the program ends.
    ~World() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

World& TheWorld() {
    static World w;
    return w;
}

void BM_RemoveDisabledTasks(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state) {
        state.PauseTiming();
        w.Fill();
        state.ResumeTiming();
        HousekeepingResult r = RemoveTasks(HousekeepingFlag::Disabled);
        if (!r.ok() || r.removed != kTasks / 2) state.SkipWithError("removal failed");
    }
    state.SetItemsProcessed(state.iterations() * kTasks / 2);
}
BENCHMARK(BM_RemoveDisabledTasks)->Unit(benchmark::kMillisecond);

}  // namespace
