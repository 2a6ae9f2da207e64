// bench-libs: kr_runtime kr_data kr_dictionary kr_xplore
// Timing of a list over 100,000 tasks of the real Schedule table (an
// encrypted data file), next to plain SQLite queries of the same rows on the
// same file in the same run:
//   open       the count and the first page of 64 rows in date order
//   page all   every row, 64 at a time by keyset pages, to the end
//              (plain SQLite: one statement stepped to the end)
//   jump end   the last page by position (a scroll bar dragged down)
//   sort       a column that is no key (UPPER(Command)): count and first
//              page, then the page after a row in the middle
//   sort desc  the same column descending, the first page
//   keep       the position of a highlighted record after a refresh
//   filter     a filter with an SQL form (MONTH(SCH:Date)=3), counted
//   xor        a filter with XOR (an SQL form), counted, next to a scan of
//              the same columns with the condition in SQL
//   evaluator  a filter that stays with the evaluator, record by record
//              (LEN(CLIP(SCH:Description)) > SCH:ID % 10 + 8: a function
//              the SQL form does not say, over a text and a number field),
//              counted, next to the same scan
//   export     every row under the header popup's filter (SCH:ID > 0, an
//              SQL form) written to a comma-separated file, five columns
//              formatted with their pictures (plain SQLite: one statement,
//              the same formatting and quoting, the same kind of file)
//
//   bench_list [records]
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
#include <vector>

#include "dictionary/SchedulingTables.h"
#include "platform/data/ListQuery.h"
#include "platform/data/Names.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "xplore/Export.h"
#include "xplore/Filter.h"

using namespace kr;
using namespace kr::data;

namespace {

double Seconds(const std::function<void()>& fn, int repeat = 1) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < repeat; ++i) fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / repeat;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "bench_list: %s failed\n", what);
        std::exit(1);
    }
}

const char* kWords[] = {"Backup", "Call", "Pay", "Water plants", "Report", "Meeting", "Renew", "Check mail"};

int64_t PlainCount(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK, "prepare count");
    Check(sqlite3_step(st) == SQLITE_ROW, "count");
    int64_t n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
}

// Steps a query, reading every column of every row as text or number.
int PlainRows(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK, "prepare rows");
    int rows = 0, cols = sqlite3_column_count(st);
    std::string sink;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < cols; ++c) {
            if (sqlite3_column_type(st, c) == SQLITE_TEXT)
                sink.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
            else
                (void)sqlite3_column_int64(st, c);
        }
        ++rows;
    }
    sqlite3_finalize(st);
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    int n = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 100000;
    char tmpl[] = "/tmp/kr-bench-list-XXXXXX";
    std::string folder = ::mkdtemp(tmpl);
    Check(::chdir(folder.c_str()) == 0, "chdir");

    Table& t = TableOf(ScheduleDef());
    Check(t.Create() == 0 && t.Open() == 0, "create");
    int32_t base = MakeDate(1, 1, 2024);
    Check(Logout({&t}) == 0, "logout");
    for (int i = 1; i <= n; ++i) {
        t.Clear();
        Schedule& s = t.Rec<Schedule>();
        s.ID = i;
        s.Date = base + static_cast<int32_t>((int64_t{i} * 37) % 730);
        s.Time = 1 + static_cast<int32_t>((int64_t{i} * 6000) % 8640000);
        s.Category = "Cat" + std::to_string(i % 20);
        s.Description = std::string(kWords[(i * 7) % 8]) + " " + std::to_string((int64_t{i} * 7919) % n);
        s.TaskType = "Run Program";
        s.Command = "/usr/bin/prog" + std::to_string((int64_t{i} * 104729) % n);
        Check(t.Add() == 0, "add");
    }
    Check(Commit() == 0, "commit");

    // The plain connection on the same file.
    std::string file = ResolveFilePath(SplitTableName(ScheduleDef().storedAs).file);
    std::string table = SplitTableName(ScheduleDef().storedAs).table;
    sqlite3* db = nullptr;
    Check(sqlite3_open(file.c_str(), &db) == SQLITE_OK, "sqlite open");
    sqlite3_key(db, kOwnerPassword, static_cast<int>(std::strlen(kOwnerPassword)));
    std::string cols = "rowid, *";
    std::string from = " FROM \"" + table + "\"";

    ListQuery q(t);
    q.SetKeyOrder(ScheduleDef().key("SCH:KeyDate"));
    std::vector<ListRow> rows;
    int64_t count = 0;

    std::printf("%d records, encrypted data file\n%-12s %12s %12s %8s\n", n, "work", "list (ms)", "SQLite (ms)",
                "ratio");
    auto line = [](const char* what, double list, double plain) {
        std::printf("%-12s %12.2f %12.2f %8.1f\n", what, list * 1000, plain * 1000, plain > 0 ? list / plain : 0);
    };

    double a = Seconds([&] {
        Check(q.Apply() == 0, "apply");
        count = q.Count();
        Check(q.Page(nullptr, true, 64, rows) == 0 && rows.size() == 64, "first page");
    }, 5);
    double b = Seconds([&] {
        PlainCount(db, "SELECT COUNT(*)" + from);
        PlainRows(db, "SELECT " + cols + from + " ORDER BY Date, Time, rowid LIMIT 64");
    }, 5);
    Check(count == n, "count");
    line("open", a, b);

    a = Seconds([&] {
        std::vector<ListRow> page;
        Check(q.Page(nullptr, true, 64, page) == 0, "page");
        int64_t seen = static_cast<int64_t>(page.size());
        while (page.size() == 64) {
            ListRow last = page.back();
            Check(q.Page(&last, true, 64, page) == 0, "page");
            seen += static_cast<int64_t>(page.size());
        }
        Check(seen == n, "paged every row");
    });
    b = Seconds([&] { Check(PlainRows(db, "SELECT " + cols + from + " ORDER BY Date, Time, rowid") == n, "rows"); });
    line("page all", a, b);

    a = Seconds([&] { Check(q.PageAt(n - 64, 64, rows) == 0 && rows.size() == 64, "jump"); }, 5);
    b = Seconds([&] {
        PlainRows(db, "SELECT " + cols + from + " ORDER BY Date, Time, rowid LIMIT 64 OFFSET " + std::to_string(n - 64));
    }, 5);
    line("jump end", a, b);

    ListQuery s(t);
    Check(s.SetOrderText("UPPER(SCH:Command),SCH:Date"), "order");
    ListRow middle;
    a = Seconds([&] {
        Check(s.Apply() == 0, "apply");
        count = s.Count();
        Check(s.Page(nullptr, true, 64, rows) == 0 && rows.size() == 64, "sorted first page");
    }, 3);
    b = Seconds([&] {
        PlainCount(db, "SELECT COUNT(*)" + from);
        PlainRows(db, "SELECT " + cols + from + " ORDER BY Command COLLATE NOCASE, Date, rowid LIMIT 64");
    }, 3);
    line("sort", a, b);
    Check(s.PageAt(n / 2, 1, rows) == 0 && rows.size() == 1, "middle");
    middle = rows[0];
    a = Seconds([&] { Check(s.Page(&middle, true, 64, rows) == 0 && rows.size() == 64, "sorted page"); }, 3);
    b = Seconds([&] {
        PlainRows(db, "SELECT " + cols + from + " ORDER BY Command COLLATE NOCASE, Date, rowid LIMIT 64 OFFSET " +
                          std::to_string(n / 2 + 1));
    }, 3);
    line("sort page", a, b);

    ListQuery sd(t);
    Check(sd.SetOrderText("-UPPER(SCH:Command),-SCH:Date"), "order desc");
    a = Seconds([&] {
        Check(sd.Apply() == 0, "apply");
        Check(sd.Page(nullptr, true, 64, rows) == 0 && rows.size() == 64, "desc page");
    }, 3);
    b = Seconds([&] {
        PlainRows(db, "SELECT " + cols + from + " ORDER BY Command COLLATE NOCASE DESC, Date DESC, rowid DESC LIMIT 64");
    }, 3);
    line("sort desc", a, b);

    a = Seconds([&] { Check(s.RowsBefore(middle) == n / 2, "keep"); }, 3);
    b = Seconds([&] {
        PlainCount(db, "SELECT COUNT(*)" + from + " WHERE Command < '" +
                           middle.field(ScheduleDef().fieldIndex("SCH:Command")).toText() + "' COLLATE NOCASE");
    }, 3);
    line("keep", a, b);

    ListQuery f(t);
    f.SetKeyOrder(ScheduleDef().key("SCH:KeyDate"));
    f.SetFilter("MONTH(SCH:Date)=3");
    int64_t fc = 0;
    a = Seconds([&] {
        Check(f.Apply() == 0, "apply");
        fc = f.Count();
    }, 3);
    b = Seconds([&] {
        PlainCount(db, "SELECT COUNT(*)" + from + " WHERE CAST(strftime('%m', Date + 2378858.0) AS INTEGER) = 3");
    }, 3);
    line("filter", a, b);

    // Texts joined with "&" have an SQL form ("||").
    ListQuery j(t);
    j.SetKeyOrder(ScheduleDef().key("SCH:KeyDate"));
    j.SetFilter("SCH:Category & '' = 'Cat5'");
    int64_t jc = 0;
    a = Seconds([&] {
        Check(j.Apply() == 0 && !j.HasResidue(), "apply join");
        jc = j.Count();
    }, 3);
    b = Seconds([&] { PlainCount(db, "SELECT COUNT(*)" + from + " WHERE Category || '' = 'Cat5'"); }, 3);
    line("join", a, b);

    // Plain SQLite reads the columns a filter names, of every row in file
    // order, with the condition in SQL.
    auto scan = [&](const std::string& columns, const std::string& condition) {
        sqlite3_stmt* st = nullptr;
        Check(sqlite3_prepare_v2(db, ("SELECT rowid, " + columns + from + " WHERE " + condition).c_str(), -1, &st,
                                 nullptr) == SQLITE_OK,
              "prepare scan");
        int64_t count = 0;
        std::string sink;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 1; c < sqlite3_column_count(st); ++c) {
                if (sqlite3_column_type(st, c) == SQLITE_TEXT)
                    sink.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
                else
                    (void)sqlite3_column_int64(st, c);
            }
            ++count;
        }
        sqlite3_finalize(st);
        return count;
    };
    // XOR has an SQL form: a count.
    ListQuery r(t);
    r.SetKeyOrder(ScheduleDef().key("SCH:KeyDate"));
    r.SetFilter("SCH:Category = 'Cat5' XOR SCH:Description = 'Pay 7'");
    int64_t rc = 0, prc = 0;
    a = Seconds([&] {
        Check(r.Apply() == 0 && !r.HasResidue(), "apply xor");
        rc = r.Count();
    }, 3);
    b = Seconds([&] { prc = scan("Category, Description", "(Category = 'Cat5') <> (Description = 'Pay 7')"); }, 3);
    Check(rc == prc, "xor count");
    line("xor", a, b);
    // A filter that stays with the evaluator: rows in file order, only the
    // fields it names, each record's values handed to the evaluator.
    ListQuery ev(t);
    ev.SetKeyOrder(ScheduleDef().key("SCH:KeyDate"));
    ev.SetFilter("LEN(CLIP(SCH:Description)) > SCH:ID % 10 + 8");
    int64_t evc = 0, pevc = 0;
    a = Seconds([&] {
        Check(ev.Apply() == 0 && ev.HasResidue(), "apply evaluator");
        evc = ev.Count();
    }, 3);
    b = Seconds([&] { pevc = scan("Description, ID", "length(rtrim(Description)) > ID % 10 + 8"); }, 3);
    Check(evc == pevc, "evaluator count");
    line("evaluator", a, b);
    // The schedule lists' own conditions: the day tab with "Show Active
    // Only", and Explore Schedule's hot-key, status and month filters.
    auto listOpen = [&](const std::string& filter, int64_t& matched) {
        ListQuery l(t);
        l.SetKeyOrder(ScheduleDef().key("SCH:KeyDate"));
        l.SetFilter(filter);
        return Seconds([&] {
            std::vector<ListRow> page;
            Check(l.Apply() == 0, "apply");
            matched = l.Count();
            Check(l.Page(nullptr, true, 64, page) == 0, "page");
        }, 3);
    };
    int64_t dayc = 0, expc = 0;
    a = listOpen("(SCH:Date=" + std::to_string(base + 37) + ") AND (SCH:Disabled=0 AND SCH:Completed=0)", dayc);
    b = Seconds([&] {
        PlainCount(db, "SELECT COUNT(*)" + from + " WHERE Date = " + std::to_string(base + 37) +
                           " AND Disabled = 0 AND Completed = 0");
    }, 3);
    line("day tab", a, b);
    a = listOpen("NOT(SCH:TaskType='Hot Key') AND NOT(SCH:Disabled OR SCH:Completed) AND "
                 "MONTH(SCH:Date)=3 AND YEAR(SCH:Date)=2024",
                 expc);
    b = Seconds([&] {
        PlainCount(db, "SELECT COUNT(*)" + from +
                           " WHERE TaskType <> 'Hot Key' AND Disabled = 0 AND Completed = 0 AND "
                           "CAST(strftime('%m', Date + 2378858.0) AS INTEGER) = 3 AND "
                           "CAST(strftime('%Y', Date + 2378858.0) AS INTEGER) = 2024");
    }, 3);
    line("explore", a, b);
    std::printf("(day tab matched %lld, explore month matched %lld)\n", static_cast<long long>(dayc),
                static_cast<long long>(expc));
    std::printf("(filter matched %lld, join matched %lld, xor matched %lld, evaluator matched %lld)\n",
                static_cast<long long>(fc), static_cast<long long>(jc), static_cast<long long>(rc),
                static_cast<long long>(evc));

    // Export: the list's writer against the same rows read and written by hand.
    {
        xplore::XploreQuery xq;
        xq.SetValue("SCH:ID", xplore::FilterSlot::Low, "0", false);
        ListQuery e(t);
        e.SetKeyOrder(ScheduleDef().key("SCH:KeyDate"));
        e.SetFilter(xq.Expression(), "Xplore");
        Check(e.Apply() == 0, "apply export");
        const std::vector<std::pair<const char*, const char*>> columns = {
            {"SCH:Date", "@d6"}, {"SCH:Time", "@t3"}, {"SCH:Category", "@s20"}, {"SCH:Description", "@s40"},
            {"SCH:ID", "@n13"}};
        int64_t written = 0;
        a = Seconds([&] {
            std::vector<std::function<std::string(const ListRow&)>> cells;
            for (const auto& [field, picture] : columns) {
                const int i = ScheduleDef().fieldIndex(field);
                const std::string p = picture;
                cells.push_back([i, p](const ListRow& r) { return Format(r.field(i), p); });
            }
            xplore::ListExport::Options o;
            o.file = "XPort.CSV";
            o.headerTexts = {"Date", "Time", "Category", "Description", "ID"};
            xplore::ListExport x(e, std::move(cells), o);
            Check(x.Open(), "export open");
            // Slices of 50 ms, as the progress window runs them.
            while (x.Step(50) == xplore::ListExport::State::Writing) {
            }
            Check(x.state() == xplore::ListExport::State::Done, "export");
            written = x.Rows();
        }, 3);
        int64_t plainRows = 0;
        b = Seconds([&] {
            std::FILE* f = std::fopen("Plain.CSV", "w+b");
            Check(f != nullptr, "plain file");
            std::fputs("# Records=9999999\nDate,Time,Category,Description,ID\n", f);
            sqlite3_stmt* st = nullptr;
            Check(sqlite3_prepare_v2(db, ("SELECT Date, Time, Category, Description, ID" + from +
                                          " WHERE ID > ? ORDER BY Date, Time, rowid").c_str(),
                                     -1, &st, nullptr) == SQLITE_OK,
                  "prepare export");
            sqlite3_bind_int(st, 1, 0);
            plainRows = 0;
            std::string text;
            while (sqlite3_step(st) == SQLITE_ROW) {
                text.clear();
                for (int c = 0; c < 5; ++c) {
                    const Value v = sqlite3_column_type(st, c) == SQLITE_TEXT
                                        ? Value(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, c))))
                                        : Value(static_cast<int64_t>(sqlite3_column_int64(st, c)));
                    if (c) text += ',';
                    text += xplore::CsvCell(xplore::ExportValue(Format(v, columns[static_cast<std::size_t>(c)].second)), ',');
                }
                text += '\n';
                std::fwrite(text.data(), 1, text.size(), f);
                ++plainRows;
            }
            sqlite3_finalize(st);
            std::fseek(f, 10, SEEK_SET);
            std::fprintf(f, "%07lld", static_cast<long long>(plainRows));
            std::fclose(f);
        }, 3);
        Check(written == plainRows && written == n, "same rows");
        line("export", a, b);
    }

    sqlite3_close(db);
    t.Close();
    CloseIdleFiles();
    std::filesystem::remove_all(folder);
    return 0;
}
