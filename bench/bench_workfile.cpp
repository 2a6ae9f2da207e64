// bench-libs: kr_reports_core
// The future-occurrences work file and the export over the data file of the
// current folder, run to their end without a window:
//   bench_workfile seed N        adds N daily tasks to the schedule
//   bench_workfile build         builds the work file of the next 30 days
//                                (and deletes it, as the report does)
//   bench_workfile export FILE   exports the schedule to FILE
// The kill loop (tests/killloop) kills the last two at random moments.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/RecordProcess.h"
#include "reports/ImexFields.h"
#include "reports/ImexProcesses.h"
#include "reports/Workfile.h"

using namespace kr;

namespace {

int Seed(int tasks) {
    auto& f = Schedule_File();
    if (f.Open() != 0) return 1;
    std::vector<data::Table*> files{&f.File()};
    data::Logout(files);
    const int32_t today = Today();
    for (int i = 0; i < tasks; ++i) {
        Schedule& s = f.rec();
        s = Schedule();
        s.Description = "Daily task " + std::to_string(i);
        s.Category = "Work";
        s.TaskType = "Display Message";
        s.ScheduleType = "Custom";
        s.Every = 1;
        s.EveryType = "Days";
        s.Date = today;
        s.Time = (i % 1440) * 6000;
        s.Message = "Message of task " + std::to_string(i);
        if (f.Insert() != 0) return 1;
    }
    data::Commit();
    f.Close();
    return 0;
}

int Build() {
    reports::SetWorkfileName(reports::WorkfileNameFor(ClockTime()));
    reports::EmptyWorkfileRun empty;
    if (RunToEnd(empty) != ProcessState::Finished) return 1;
    reports::CreateWorkfileRun build(Today(), Today() + 29);
    const ProcessState s = RunToEnd(build);
    std::printf("%d rows\n", build.rows());
    reports::RemoveWorkfile();
    return s == ProcessState::Finished ? 0 : 1;
}

int ExportTo(const std::string& file) {
    const reports::ImexMember& m = reports::Member(reports::ImexKind::Schedule);
    reports::ExportRun run(m, m.fields, true, file);
    if (!run.Start()) return 1;
    return RunToEnd(run) == ProcessState::Finished ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    DictionaryInit();
    int rc = 2;
    if (what == "seed") rc = Seed(argc > 2 ? std::atoi(argv[2]) : 1000);
    else if (what == "build") rc = Build();
    else if (what == "export" && argc > 2) rc = ExportTo(argv[2]);
    else std::fprintf(stderr, "usage: bench_workfile seed N | build | export FILE\n");
    DictionaryKill();
    data::CloseIdleFiles();
    return rc;
}
