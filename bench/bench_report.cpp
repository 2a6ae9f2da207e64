// bench-libs: kr_report kr_reports_windows
// Pages per second of a report of 1,000 task records written to PDF: the
// full task layout of the schedule report (two rows of fields, eighteen
// check boxes and a memo per record), grouped by category with counts.
// Lays the pages out and writes them, as a report printed to a file does.
//
//   bench_report [records] [runs] [keep.pdf]
//
// With "schedule" it runs two of the program's own reports over an
// encrypted data file, through the report view and the report run a batch
// at a time as the progress window drives them, and gives the longest
// batch (the progress window's slowest update):
//   - the full schedule report of `tasks` tasks (10,000) to PDF;
//   - the work file of `daily` daily tasks (1,000) over 30 days, then the
//     brief schedule from it to PDF.
//
//   bench_report schedule [tasks] [daily]
#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Expression.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/ReportPreviewStrings.h"
#include "platform/ui/report/ReportPages.h"
#include "platform/ui/report/ReportRun.h"
#include "platform/ui/report/ReportWriter.h"
#include "reports/ReportCriteria.h"
#include "reports/ReportView.h"
#include "reports/Workfile.h"
#include "reports/windows/ReportLayouts.h"

#include "BenchSupport.h"

using namespace kr;
using namespace kr::report;

namespace {

struct Task {
    std::string type, category, description, command, message, schedule;
    int date = 0, time = 0, every = 1;
    int days[7] = {};
};

std::vector<Task> Tasks(int n) {
    const char* categories[] = {"Backups", "Errands", "Home", "Work"};
    std::vector<Task> out;
    for (int i = 0; i < n; ++i) {
        Task t;
        t.type = i % 3 ? "Run Program" : "Display Message";
        t.category = categories[i * 4 / n];
        t.description = "Task number " + std::to_string(i + 1);
        t.command = "/usr/bin/backup --target /srv/archive/" + std::to_string(i);
        t.message = "Remember to check the result of the nightly run and file the log.";
        t.schedule = "Day of Week";
        t.date = 81000 + i;
        t.time = 3600001 + i * 6000;
        for (int d = 0; d < 7; ++d) t.days[d] = (i + d) % 2;
        out.push_back(t);
    }
    return out;
}

std::shared_ptr<ReportLayout> Layout(const Task& T) {
    auto l = std::make_shared<ReportLayout>();
    l->title = "Schedule";
    l->font.points = 8;
    l->pageHeader = Band(650, {WithFont(Text(0, 0, 7500, 300, "Schedule", Align::Center), Bold(14)),
                               Text(0, 350, 1200, 150, "Task Type"), Text(1250, 350, 1200, 150, "Category"),
                               Text(2500, 350, 2500, 150, "Description"), Text(5050, 350, 2400, 150, "Command"),
                               Text(0, 500, 2500, 150, "Message"), Text(2500, 500, 1200, 150, "Schedule Type"),
                               Text(5050, 500, 800, 150, "Date"), Text(5900, 500, 700, 150, "Time"),
                               Line(0, 640, 7500, 640)});
    l->groups.push_back(Group{[&T] { return T.category; },
                              Band(250, {WithFont(GroupKey(0, 50, 3000, 180), Bold(9))}),
                              Band(250, {Text(0, 50, 1500, 150, "Tasks in"), GroupKey(1500, 50, 2000, 150),
                                         Count(3500, 50, 800, 150, "@n6")}),
                              false});
    std::vector<Control> detail = {
        Field(0, 0, 1200, 150, [&T] { return Value(T.type); }, "@s20"),
        Field(1250, 0, 1200, 150, [&T] { return Value(T.category); }, "@s20"),
        Field(2500, 0, 2500, 150, [&T] { return Value(T.description); }, "@s40"),
        Field(5050, 0, 2400, 150, [&T] { return Value(T.command); }, "@s80"),
        Memo(0, 170, 2450, 300, [&T] { return Value(T.message); }),
        Field(2500, 170, 1200, 150, [&T] { return Value(T.schedule); }, "@s20"),
        Field(5050, 170, 800, 150, [&T] { return Value(T.date); }, "@d3"),
        Field(5900, 170, 700, 150, [&T] { return Value(T.time); }, "@t3"),
    };
    const char* days[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    for (int d = 0; d < 7; ++d)
        detail.push_back(Check(2500 + (d % 4) * 1250, 340 + (d / 4) * 160, 1200, 150, days[d],
                               [&T, d] { return Value(T.days[d]); }));
    for (int k = 0; k < 11; ++k)
        detail.push_back(Check(k * 680, 680, 650, 150, "Flag " + std::to_string(k + 1),
                               [&T, k] { return Value((T.every + k) % 2); }));
    detail.push_back(Line(0, 850, 7500, 850, 5));
    l->detail = Band(880, detail);
    l->pageFooter = Band(250, {PageNumber(6000, 50, 1500, 150)});
    return l;
}

using Clock = std::chrono::steady_clock;
double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Steps a process a batch at a time; answers the longest batch in ms, and
// the first one (which opens the tables) in *first.
double StepThrough(BatchProcess& p, int batch, double* first = nullptr) {
    double longest = 0;
    for (int n = 0;; ++n) {
        const auto t = Clock::now();
        const bool more = p.Step(batch);
        const double ms = Ms(Clock::now() - t);
        if (n == 0 && first) *first = ms;
        else longest = std::max(longest, ms);
        if (!more) return longest;
    }
}

// Runs the report over the view to PDF; prints its figures.
void PrintToPdf(const char* name, std::shared_ptr<ReportLayout> layout, reports::ReportView& view, int batch,
                const std::string& file) {
    const auto t0 = Clock::now();
    view.Open();
    report::ReportRun run(layout, view.Total(), [&view] { return view.Next(); }, false, ReportPreviewStrings(), batch);
    const double longest = StepThrough(run, batch);
    RenderedReport pages = run.TakePages();
    const int count = static_cast<int>(pages.pages.size());
    WritePdf(pages, file);
    view.Close();
    const double total = Ms(Clock::now() - t0) / 1000;
    std::printf("%-34s %6d pages %8.2f s  (%.0f pages/s), longest batch %.1f ms\n", name, count, total,
                count / total, longest);
}

int Schedules(int tasks, int daily) {
    const std::filesystem::path previous = std::filesystem::current_path();
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("bench_report." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    const std::string pdf = (dir / "out.pdf").string();
    const int32_t today = Today();
    {
        bench::AddTasks(tasks, today, false);
        reports::ReportView view(Schedule_File(), "Schedule");
        view.keyName = "SCH:KeyDate";
        PrintToPdf("full schedule, tasks in date order", reports::FullTaskLayout(), view, 25, pdf);
    }
    DictionaryKill();
    data::CloseIdleFiles();
    std::filesystem::remove(dir / "KR97.TPS");
    {
        bench::AddTasks(daily, today, true);
        reports::ReportVariables& v = reports::Report();
        reports::CriteriaEntries e;
        reports::ApplyCriteriaDefaults(e, today);
        e.dateRange = reports::kSelected;
        e.to = today + 29;
        reports::ApplyCriteriaOk(e, true, v);
        const auto t0 = Clock::now();
        reports::SetWorkfileName(reports::WorkfileNameFor(ClockTime()));
        reports::EmptyWorkfileRun empty;
        StepThrough(empty, 25);
        reports::CreateWorkfileRun build(v.GLO_DateFrom, v.GLO_DateTo);
        double first = 0;
        const double longest = StepThrough(build, build.batchSize(), &first);
        std::printf("work file of %d daily tasks         %6d rows  %8.2f s, first batch %.1f ms, longest other %.1f ms\n",
                    daily, build.rows(), Ms(Clock::now() - t0) / 1000, first, longest);
        reports::BindReportNames(CurrentBindings());
        reports::ReportView view(ScheduleWorkfile_File(), "ScheduleWorkfile");
        view.keyName = reports::ReportKeyName(v.ReportOrder.str(), true);
        view.filter = reports::WorkfileFilter(v.ReportFilter.str());
        PrintToPdf("brief schedule from the work file", reports::BriefLayout("Complete Schedule in Brief", true),
                   view, 50, pdf);
        reports::RemoveWorkfile();
    }
    DictionaryKill();
    data::CloseIdleFiles();
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "schedule")
        return Schedules(argc > 2 ? std::atoi(argv[2]) : 10000, argc > 3 ? std::atoi(argv[3]) : 1000);
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string keep = argc > 3 ? argv[3] : "";
    const std::vector<Task> tasks = Tasks(records);
    const std::string file = keep.empty() ? (std::filesystem::temp_directory_path() / "bench_report.pdf").string() : keep;

    double bestLayout = 1e9, bestTotal = 1e9;
    int pages = 0;
    for (int r = 0; r < runs; ++r) {
        Task current;
        auto layout = Layout(current);
        const auto t0 = std::chrono::steady_clock::now();
        ReportWriter w(*layout);
        for (const Task& t : tasks) {
            current = t;
            w.PrintDetail();
        }
        w.Close();
        const auto t1 = std::chrono::steady_clock::now();
        RenderedReport out = w.TakePages();
        pages = static_cast<int>(out.pages.size());
        if (!WritePdf(out, file)) {
            std::fprintf(stderr, "cannot write %s\n", file.c_str());
            return 1;
        }
        const auto t2 = std::chrono::steady_clock::now();
        bestLayout = std::min(bestLayout, std::chrono::duration<double>(t1 - t0).count());
        bestTotal = std::min(bestTotal, std::chrono::duration<double>(t2 - t0).count());
    }
    const auto size = std::filesystem::file_size(file);
    std::printf("records %d, pages %d, PDF %.0f KB\n", records, pages, size / 1024.0);
    std::printf("layout            %8.1f ms  (%.0f pages/s)\n", bestLayout * 1000, pages / bestLayout);
    std::printf("layout + PDF      %8.1f ms  (%.0f pages/s)\n", bestTotal * 1000, pages / bestTotal);
    if (keep.empty()) std::filesystem::remove(file);
    return 0;
}
