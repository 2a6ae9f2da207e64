// bench-libs: kr_reports_core
// The future-occurrences work file and the export over the data file of the
// current folder, run to their end without a window:
//   bench_workfile seed N        adds N daily tasks to the schedule
//   bench_workfile build         builds the work file of the next 30 days
//                                (and deletes it, as the report does)
//   bench_workfile export FILE   exports the schedule to FILE
//   bench_workfile [SIZES...]     times the build in a folder of its own at
//                                each size (rows, default 10020 100020
//                                300000), against the same rows inserted by
//                                the C API into the same schema (13 indexes,
//                                same key) in one transaction, sides taking
//                                turns; then how long a Cancel takes to be
//                                answered in the middle of the largest build.
// The kill loop (tests/killloop) kills build and export at random moments.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/DataFileCheck.h"
#include "platform/data/Database.h"
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

using Steady = std::chrono::steady_clock;
double Seconds(Steady::duration d) { return std::chrono::duration<double>(d).count(); }

int PaddedCompare(void*, int na, const void* a, int nb, const void* b) {
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    for (int i = 0, n = std::max(na, nb); i < n; ++i) {
        const unsigned char cx = i < na ? x[i] : ' ', cy = i < nb ? y[i] : ' ';
        if (cx != cy) return cx < cy ? -1 : 1;
    }
    return 0;
}

sqlite3* Connect(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_create_collation_v2(db, data::kPaddedCollation, SQLITE_UTF8, nullptr, PaddedCompare, nullptr);
    data::KeyConnection(db, path, kOwnerPassword);
    return db;
}

// The schema and rows of a built work file, as the C API reads them.
struct Copy {
    std::vector<std::string> schema;
    std::string insert;
    std::vector<std::vector<std::string>> rows;  // text of each column (NULL as empty)
    std::vector<std::vector<int>> types;
};

Copy Read(const std::string& path) {
    Copy c;
    sqlite3* db = Connect(path);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE sql NOT NULL ORDER BY type DESC", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) c.schema.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    std::string table;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name <> '__tables'", -1, &st, nullptr);
    if (sqlite3_step(st) == SQLITE_ROW) table = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    sqlite3_prepare_v2(db, ("SELECT * FROM \"" + table + "\" ORDER BY rowid").c_str(), -1, &st, nullptr);
    const int n = sqlite3_column_count(st);
    c.insert = "INSERT INTO \"" + table + "\" VALUES(";
    for (int i = 0; i < n; ++i) c.insert += i ? ",?" : "?";
    c.insert += ")";
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<std::string> row(n);
        std::vector<int> types(n);
        for (int i = 0; i < n; ++i) {
            types[i] = sqlite3_column_type(st, i);
            if (const unsigned char* t = sqlite3_column_text(st, i)) row[i] = reinterpret_cast<const char*>(t);
        }
        c.rows.push_back(std::move(row));
        c.types.push_back(std::move(types));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return c;
}

// The same rows into a new file of the same schema and key, one transaction.
double Reference(const Copy& c, const std::string& path) {
    std::filesystem::remove(path);
    const auto t0 = Steady::now();
    sqlite3* db = Connect(path);
    sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    for (const std::string& sql : c.schema) sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, c.insert.c_str(), -1, &st, nullptr);
    for (std::size_t r = 0; r < c.rows.size(); ++r) {
        for (std::size_t i = 0; i < c.rows[r].size(); ++i) {
            const int col = static_cast<int>(i) + 1;
            switch (c.types[r][i]) {
                case SQLITE_INTEGER: sqlite3_bind_int64(st, col, std::atoll(c.rows[r][i].c_str())); break;
                case SQLITE_FLOAT: sqlite3_bind_double(st, col, std::atof(c.rows[r][i].c_str())); break;
                case SQLITE_NULL: sqlite3_bind_null(st, col); break;
                default: sqlite3_bind_text(st, col, c.rows[r][i].data(), static_cast<int>(c.rows[r][i].size()), SQLITE_STATIC);
            }
        }
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const double s = Seconds(Steady::now() - t0);
    std::filesystem::remove(path);
    return s;
}

// One build of the work file; its time, the longest step, and (when asked)
// the rows and schema as built.
double Ours(int* rows, double* longest, Copy* copy) {
    const auto t0 = Steady::now();
    reports::SetWorkfileName(reports::WorkfileNameFor(ClockTime()));
    reports::EmptyWorkfileRun empty;
    RunToEnd(empty);
    reports::CreateWorkfileRun build(Today(), Today() + 29);
    *longest = 0;
    for (;;) {
        const auto s = Steady::now();
        const bool more = build.Step(build.batchSize());
        *longest = std::max(*longest, Seconds(Steady::now() - s));
        if (!more) break;
    }
    const double t = Seconds(Steady::now() - t0);
    *rows = build.rows();
    if (copy) {
        const std::string path = ScheduleWorkfile_File().File().FilePath();
        DictionaryKill();
        *copy = Read(path);
        DictionaryInit();
    }
    reports::RemoveWorkfile();
    return t;
}

// A Cancel asked for half-way through: how long the step that answers takes.
double CancelAnswer() {
    reports::SetWorkfileName(reports::WorkfileNameFor(ClockTime()));
    reports::CreateWorkfileRun build(Today(), Today() + 29);
    while (build.Step(build.batchSize()) && build.Percent() < 50) {
    }
    build.Cancel();
    const auto t0 = Steady::now();
    build.Step(build.batchSize());
    const double t = Seconds(Steady::now() - t0);
    reports::RemoveWorkfile();
    return t;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int Compare(std::vector<int> sizes, int pairs) {
    const std::filesystem::path previous = std::filesystem::current_path();
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("bench_workfile." + std::to_string(getpid()));
    std::printf("%8s %8s %10s %10s %7s %9s %10s\n", "rows", "tasks", "ours s", "C API s", "ratio", "us/row", "step ms");
    double perRowFirst = 0;
    for (int size : sizes) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        DictionaryInit();
        const int tasks = (size + 29) / 30;  // 30 daily rows each
        Seed(tasks);
        std::vector<double> ours, ref;
        double longest = 0;
        int rows = 0;
        Copy copy;
        for (int p = 0; p < pairs; ++p) {
            double step = 0;
            ours.push_back(Ours(&rows, &step, p == 0 ? &copy : nullptr));
            longest = std::max(longest, step);
            ref.push_back(Reference(copy, (dir / "reference.TPS").string()));
        }
        const double o = Median(ours), r = Median(ref);
        const double perRow = o * 1e6 / rows;
        if (perRowFirst == 0) perRowFirst = perRow;
        std::printf("%8d %8d %10.2f %10.2f %6.2fx %9.2f %10.1f   (per row %.2fx the first size)\n", rows, tasks, o, r,
                    o / r, perRow, longest * 1000, perRow / perRowFirst);
        if (size == sizes.back()) std::printf("Cancel answered in %.1f ms half-way\n", CancelAnswer() * 1000);
        DictionaryKill();
        data::CloseIdleFiles();
        std::filesystem::current_path(previous);
    }
    std::filesystem::remove_all(dir);
    return 0;
}

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what.empty() || std::isdigit(static_cast<unsigned char>(what[0]))) {
        std::vector<int> sizes;
        for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
        if (sizes.empty()) sizes = {10020, 100020, 300000};
        return Compare(sizes, 3);
    }
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
