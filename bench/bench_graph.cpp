// bench-libs: kr_runtime kr_data kr_dictionary kr_xplore
// Counting a list column for the graph over 100,000 tasks of the real
// Schedule table (an encrypted data file), in the list's date order, next to
// a plain SQLite read of the same column in the same order, formatted with
// the same picture and counted the same way, in the same run.
//   category   the Category column (20 categories), every row read
//
//   bench_graph [records]
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
    const int n = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 100000;
    char tmpl[] = "/tmp/kr-bench-graph-XXXXXX";
    const std::string folder = ::mkdtemp(tmpl);
    Check(::chdir(folder.c_str()) == 0, "chdir");

    Table& t = TableOf(ScheduleDef());
    Check(t.Create() == 0 && t.Open() == 0, "create");
    const int32_t base = MakeDate(1, 1, 2024);
    Check(Logout({&t}) == 0, "logout");
    for (int i = 1; i <= n; ++i) {
        t.Clear();
        Schedule& s = t.Rec<Schedule>();
        s.ID = i;
        s.Date = base + static_cast<int32_t>((int64_t{i} * 37) % 730);
        s.Time = 1 + static_cast<int32_t>((int64_t{i} * 6000) % 8640000);
        s.Category = "Cat" + std::to_string(i % 20);
        s.Description = "Task " + std::to_string(i);
        s.TaskType = "Run Program";
        Check(t.Add() == 0, "add");
    }
    Check(Commit() == 0, "commit");

    const std::string file = ResolveFilePath(SplitTableName(ScheduleDef().storedAs).file);
    const std::string table = SplitTableName(ScheduleDef().storedAs).table;
    sqlite3* db = nullptr;
    Check(sqlite3_open(file.c_str(), &db) == SQLITE_OK, "sqlite open");
    sqlite3_key(db, kOwnerPassword, static_cast<int>(std::strlen(kOwnerPassword)));

    std::printf("%d records, encrypted data file\n%-10s %12s %12s %8s\n", n, "column", "graph (ms)", "SQLite (ms)",
                "ratio");
    auto run = [&](const char* what, const char* field, const char* column, const char* picture) {
        const int index = ScheduleDef().fieldIndex(field);
        ListQuery q(t);
        q.SetKeyOrder(ScheduleDef().key("SCH:KeyDate"));
        Check(q.Apply() == 0, "apply");
        std::size_t graphed = 0, plain = 0;
        const double a = Seconds([&] {
            xplore::GraphCategories g;
            xplore::GraphCounter counter(
                q, [&](const ListRow& r) { return Clip(Format(r.field(index), picture)); }, g);
            xplore::GraphCounter::State s;
            while ((s = counter.Step(50)) == xplore::GraphCounter::State::Counting) {
            }
            Check(s != xplore::GraphCounter::State::Failed, "count");
            graphed = g.Size();
        });
        const double b = Seconds([&] {
            xplore::GraphCategories g;
            sqlite3_stmt* st = nullptr;
            const std::string sql = std::string("SELECT ") + column + " FROM \"" + table + "\" ORDER BY Date, Time, rowid";
            Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK, "prepare");
            while (sqlite3_step(st) == SQLITE_ROW) {
                const Value v = sqlite3_column_type(st, 0) == SQLITE_TEXT
                                    ? Value(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))))
                                    : Value(static_cast<int64_t>(sqlite3_column_int64(st, 0)));
                if (!g.Add(Clip(Format(v, picture)))) break;
            }
            sqlite3_finalize(st);
            plain = g.Size();
        });
        Check(graphed == plain, "same categories");
        std::printf("%-10s %12.1f %12.1f %8.2f\n", what, a * 1000, b * 1000, b > 0 ? a / b : 0);
    };
    run("category", "SCH:Category", "Category", "@s20");

    sqlite3_close(db);
    t.Close();
    CloseIdleFiles();
    std::filesystem::remove_all(folder);
    return 0;
}
