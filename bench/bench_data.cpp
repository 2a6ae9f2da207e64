// bench-libs: kr_runtime kr_data
// Timing of the table engine next to the same work done with the SQLite C
// API directly, in one run: inserting N records (in one transaction), N
// keyed gets in random order, and a full scan in the order of a text key.
// The engine and plain SQLite take turns, each on a fresh file, for a few
// rounds; the best time of each counts, so that a moment of load on a shared
// machine does not decide a ratio.
//
//   bench_data [records] [--encrypted] [--rounds=n]
//
// Prints the seconds of each and the ratio engine / plain SQLite.
// SQLCipher's header, with its key functions.
#ifndef SQLITE_HAS_CODEC
#define SQLITE_HAS_CODEC 1
#endif
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/data/TableDef.h"

using namespace kr;
using namespace kr::data;

namespace {

struct Person {
    int32_t ID = 0;
    FString<20> Name;
    FString<20> City;
    int32_t Born = 0;
    FString<10> Code;
};

TableDef MakeDef(const std::string& owner) {
    return TableBuilder<Person>("Person", "PER")
        .storedAs("Bench\\!Person")
        .owner(owner)
        .version(1)
        .field("PER:ID", &Person::ID)
        .field("PER:Name", &Person::Name)
        .field("PER:City", &Person::City)
        .field("PER:Born", &Person::Born)
        .field("PER:Code", &Person::Code)
        .key("PER:KeyID", "ID", {"PER:ID"}, kPrimary)
        .key("PER:KeyName", "Name", {"PER:Name"})
        .key("PER:KeyBorn", "Born", {"-PER:Born", "PER:Name"})
        .build();
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string NameOf(int i) {
    static const char* const first[] = {"anna", "Bert", "cleo", "Dora", "emil", "Fay", "gus", "Hana"};
    return std::string(first[i % 8]) + std::to_string((i * 7919) % 100003);
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "bench_data: %s failed (%s)\n", what, LastErrorDisplay().c_str());
        std::exit(1);
    }
}

struct Times {
    double insert = 0, get = 0, scan = 0;
};

Times RunEngine(const TableDef& def, int n, const std::vector<int>& order) {
    Times t;
    Table table(def);
    ::unlink("Bench.TPS");
    Check(table.Create() == 0, "create");
    Check(table.Open() == 0, "open");
    auto start = std::chrono::steady_clock::now();
    Check(Logout({&table}) == 0, "logout");
    for (int i = 1; i <= n; ++i) {
        table.Clear();
        Person& p = table.Rec<Person>();
        p.ID = i;
        p.Name = NameOf(i);
        p.City = "City" + std::to_string(i % 50);
        p.Born = 1900 + i % 100;
        p.Code = std::to_string(i);
        Check(table.Add() == 0, "add");
    }
    Check(Commit() == 0, "commit");
    t.insert = Seconds(start);

    const KeyDef* id = def.key("PER:KeyID");
    start = std::chrono::steady_clock::now();
    for (int i : order) {
        table.Rec<Person>().ID = i;
        Check(table.Get(id) == 0, "get");
    }
    t.get = Seconds(start);

    start = std::chrono::steady_clock::now();
    int count = 0;
    table.Set(def.key("PER:KeyName"));
    while (table.Next() == 0) ++count;
    t.scan = Seconds(start);
    Check(count == n, "scan");
    table.Close();
    return t;
}

Times RunPlain(const std::string& file, const std::string& key, int n, const std::vector<int>& order) {
    Times t;
    sqlite3* db = nullptr;
    ::unlink(file.c_str());
    Check(sqlite3_open(file.c_str(), &db) == SQLITE_OK, "sqlite open");
#ifdef SQLITE_HAS_CODEC
    if (!key.empty()) sqlite3_key(db, key.data(), static_cast<int>(key.size()));
#else
    (void)key;
#endif
    sqlite3_exec(db,
                 "CREATE TABLE Person(ID INTEGER NOT NULL DEFAULT 0, Name TEXT NOT NULL DEFAULT '', "
                 "City TEXT NOT NULL DEFAULT '', Born INTEGER NOT NULL DEFAULT 0, Code TEXT NOT NULL DEFAULT '');"
                 "CREATE UNIQUE INDEX ix_id ON Person(ID);"
                 "CREATE INDEX ix_name ON Person(Name COLLATE NOCASE);"
                 "CREATE INDEX ix_born ON Person(Born DESC, Name COLLATE NOCASE);",
                 nullptr, nullptr, nullptr);
    auto start = std::chrono::steady_clock::now();
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Person(ID, Name, City, Born, Code) VALUES(?1, ?2, ?3, ?4, ?5)", -1, &ins,
                       nullptr);
    for (int i = 1; i <= n; ++i) {
        std::string name = NameOf(i), city = "City" + std::to_string(i % 50), code = std::to_string(i);
        sqlite3_bind_int(ins, 1, i);
        sqlite3_bind_text(ins, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 3, city.data(), static_cast<int>(city.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(ins, 4, 1900 + i % 100);
        sqlite3_bind_text(ins, 5, code.data(), static_cast<int>(code.size()), SQLITE_TRANSIENT);
        Check(sqlite3_step(ins) == SQLITE_DONE, "sqlite insert");
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    t.insert = Seconds(start);

    // Rows are read into the same record struct, as the engine does.
    auto read = [](sqlite3_stmt* st, Person& p) {
        p.ID = sqlite3_column_int(st, 0);
        p.Name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        p.City = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
        p.Born = sqlite3_column_int(st, 3);
        p.Code = reinterpret_cast<const char*>(sqlite3_column_text(st, 4));
    };
    Person p;
    sqlite3_stmt* get = nullptr;
    sqlite3_prepare_v2(db, "SELECT ID, Name, City, Born, Code FROM Person WHERE ID = ?1", -1, &get, nullptr);
    start = std::chrono::steady_clock::now();
    for (int i : order) {
        sqlite3_bind_int(get, 1, i);
        Check(sqlite3_step(get) == SQLITE_ROW, "sqlite get");
        read(get, p);
        sqlite3_reset(get);
    }
    t.get = Seconds(start);
    sqlite3_finalize(get);

    sqlite3_stmt* scan = nullptr;
    sqlite3_prepare_v2(db, "SELECT ID, Name, City, Born, Code FROM Person ORDER BY Name COLLATE NOCASE, rowid", -1,
                       &scan, nullptr);
    start = std::chrono::steady_clock::now();
    int count = 0;
    while (sqlite3_step(scan) == SQLITE_ROW) {
        read(scan, p);
        ++count;
    }
    t.scan = Seconds(start);
    sqlite3_finalize(scan);
    Check(count == n, "sqlite scan");
    sqlite3_close(db);
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    int n = 100000;
    int rounds = 5;
    bool encrypted = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--encrypted") == 0) encrypted = true;
        else if (std::strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::max(1, std::atoi(argv[i] + 9));
        else n = std::max(1, std::atoi(argv[i]));
    }
    char tmpl[] = "/tmp/kr-bench-XXXXXX";
    std::string folder = ::mkdtemp(tmpl);
    if (::chdir(folder.c_str()) != 0) return 1;
    std::string key = encrypted ? "bench-pw" : "";

    std::vector<int> order(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = i + 1;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));

    TableDef def = MakeDef(key);
    const double kNone = 1e30;
    Times engine{kNone, kNone, kNone}, plain{kNone, kNone, kNone};
    auto best = [](Times& b, const Times& t) {
        b.insert = std::min(b.insert, t.insert);
        b.get = std::min(b.get, t.get);
        b.scan = std::min(b.scan, t.scan);
    };
    for (int r = 0; r < rounds; ++r) {
        best(engine, RunEngine(def, n, order));
        CloseIdleFiles();
        best(plain, RunPlain(folder + "/plain.db", key, n, order));
    }

    std::printf("%d records%s, best of %d rounds\n", n, encrypted ? ", encrypted" : "", rounds);
    std::printf("%-22s %10s %10s %8s\n", "", "engine s", "sqlite s", "ratio");
    auto row = [](const char* what, double e, double s) {
        std::printf("%-22s %10.3f %10.3f %8.2f\n", what, e, s, s > 0 ? e / s : 0.0);
    };
    row("insert (1 transaction)", engine.insert, plain.insert);
    row("keyed get", engine.get, plain.get);
    row("scan in key order", engine.scan, plain.scan);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
