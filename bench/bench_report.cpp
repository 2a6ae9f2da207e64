// bench-libs: kr_report
// Pages per second of a report of 1,000 task records written to PDF: the
// full task layout of the schedule report (two rows of fields, eighteen
// check boxes and a memo per record), grouped by category with counts.
// Lays the pages out and writes them, as a report printed to a file does.
//
//   bench_report [records] [runs] [keep.pdf]
#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/runtime/Picture.h"
#include "platform/ui/report/ReportPages.h"
#include "platform/ui/report/ReportWriter.h"

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

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
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
