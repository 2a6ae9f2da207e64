// bench-libs: kr_runtime kr_data kr_dictionary kr_xplore
// Counting a list column for the graph over the real Schedule table (an
// encrypted data file) at 1,000, 10,000 and 100,000 tasks, next to
// SQLite's own "SELECT col, COUNT(*) ... GROUP BY col" on the same file in
// the same run:
//   category   the Category column (20 categories) of a list in date order
//   filtered   the same under a filter with an SQL form (MONTH(SCH:Date)=3)
//   evaluated  the same under a filter left to the evaluator, record by
//              record (LEN(CLIP(SCH:Description)) > 9)
// The graph reads the rows in file order, only the column's field and the
// fields the filter reads; both sides must find the same categories and
// counts.
//
//   bench_graph [largest]
#ifndef SQLITE_HAS_CODEC
#define SQLITE_HAS_CODEC 1
#endif
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "dictionary/SchedulingTables.h"
#include "platform/data/ListQuery.h"
#include "platform/data/Names.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "xplore/Graph.h"

using namespace kr;
using namespace kr::data;

namespace {

double Seconds(const std::function<void()>& fn, int repeat = 3) {
    double best = 1e9;
    for (int i = 0; i < repeat; ++i) {
        auto start = std::chrono::steady_clock::now();
        fn();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "bench_graph: %s failed\n", what);
        std::exit(1);
    }
}

std::string Clip(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const int largest = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 100000;
    char tmpl[] = "/tmp/kr-bench-graph-XXXXXX";
    const std::string folder = ::mkdtemp(tmpl);
    Check(::chdir(folder.c_str()) == 0, "chdir");

    Table& t = TableOf(ScheduleDef());
    Check(t.Create() == 0 && t.Open() == 0, "create");
    const int32_t base = MakeDate(1, 1, 2024);
    int added = 0;
    auto grow = [&](int n) {
        Check(Logout({&t}) == 0, "logout");
        for (int i = added + 1; i <= n; ++i) {
            t.Clear();
            Schedule& s = t.Rec<Schedule>();
            s.ID = i;
            s.Date = base + static_cast<int32_t>((int64_t{i} * 37) % 730);
            s.Time = 1 + static_cast<int32_t>((int64_t{i} * 6000) % 8640000);
            s.Category = "Cat" + std::to_string(i % 20);
            s.Description = "Task " + std::to_string(i);
            s.TaskType = "Run Program";
            s.Command = "/usr/bin/prog" + std::to_string(i);
            Check(t.Add() == 0, "add");
        }
        Check(Commit() == 0, "commit");
        added = n;
    };

    const std::string file = ResolveFilePath(SplitTableName(ScheduleDef().storedAs).file);
    const std::string table = SplitTableName(ScheduleDef().storedAs).table;
    sqlite3* db = nullptr;
    Check(sqlite3_open(file.c_str(), &db) == SQLITE_OK, "sqlite open");
    sqlite3_key(db, kOwnerPassword, static_cast<int>(std::strlen(kOwnerPassword)));

    std::printf("encrypted data file\n%-10s %8s %12s %14s %8s %12s\n", "column", "records", "graph (ms)",
                "GROUP BY (ms)", "ratio", "graph ns/row");
    const int index = ScheduleDef().fieldIndex("SCH:Category");
    auto run = [&](const char* what, const char* filter, const char* where, int n) {
        ListQuery q(t);
        q.SetKeyOrder(ScheduleDef().key("SCH:KeyDate"));
        if (*filter) q.SetFilter(filter);
        Check(q.Apply() == 0, "apply");
        std::map<std::string, int64_t> graphed, grouped;
        const double a = Seconds([&] {
            xplore::GraphCategories g;
            xplore::GraphCounter counter(
                q, [&](const ListRow& r) { return Clip(Format(r.field(index), "@s20")); }, g,
                std::vector<int>{index});
            xplore::GraphCounter::State s;
            while ((s = counter.Step(50)) == xplore::GraphCounter::State::Counting) {
            }
            Check(s == xplore::GraphCounter::State::Done, "count");
            graphed.clear();
            for (const auto& c : g.Items()) graphed[c.name] = c.count;
        });
        const double b = Seconds([&] {
            sqlite3_stmt* st = nullptr;
            const std::string sql = "SELECT Category, COUNT(*) FROM \"" + table + "\"" +
                                    (*where ? std::string(" WHERE ") + where : std::string()) + " GROUP BY Category";
            Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK, "prepare");
            grouped.clear();
            while (sqlite3_step(st) == SQLITE_ROW)
                grouped[reinterpret_cast<const char*>(sqlite3_column_text(st, 0))] = sqlite3_column_int64(st, 1);
            sqlite3_finalize(st);
        });
        Check(graphed == grouped, "same categories and counts");
        std::printf("%-10s %8d %12.1f %14.1f %8.2f %12.0f\n", what, n, a * 1000, b * 1000, b > 0 ? a / b : 0,
                    a * 1e9 / n);
    };
    for (int n : {1000, 10000, 100000}) {
        if (n > largest) break;
        grow(n);
        run("category", "", "", n);
        run("filtered", "MONTH(SCH:Date)=3", "CAST(strftime('%m', Date + 2378858.0) AS INTEGER) = 3", n);
        run("evaluated", "LEN(CLIP(SCH:Description)) > 9", "length(rtrim(Description)) > 9", n);
    }

    sqlite3_close(db);
    t.Close();
    CloseIdleFiles();
    std::filesystem::remove_all(folder);
    return 0;
}
