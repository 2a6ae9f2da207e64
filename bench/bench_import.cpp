// bench-libs: kr_reports_core
// Comma-delimited import of 20,000 contacts and of 100,000 tasks through the
// display-free entry points (OpenImportFile, ScanImportColumns, AutoAssign,
// ImportRun, stepped as the progress window steps it), against the sqlcipher
// shell's ".import" of the same rows in the same order into a copy of the
// same encrypted data file (same keys, same key), committed; the shell is
// timed as its run with the import less the same run without it, so neither
// its start nor its key derivation counts. The two sides take turns, three
// pairs; medians.
//   bench_import [contacts] [tasks]
//   bench_import file PATH      imports PATH as contacts in the current folder
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "reports/ImexFields.h"
#include "reports/ImexProcesses.h"

using namespace kr;
using namespace kr::reports;

namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;
constexpr int kKdfIter = 64;

double Seconds(Steady::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void FillContacts(int n) {
    data::Table& t = data::TableOf(ContactDef());
    t.Create();
    t.Open();
    data::Logout({&t});
    for (int i = 1; i <= n; ++i) {
        Contact& c = t.Rec<Contact>();
        c = Contact();
        c.ClientID = i;
        c.User = "user" + std::to_string(i % 7);
        c.LastName = "Last" + std::to_string(i % 1999) + ", \"Jr\"";
        c.FirstName = "First" + std::to_string(i % 977);
        c.AddressLine1 = std::to_string(i) + " Long Street";
        c.AddressLine2 = "Suite " + std::to_string(i % 400);
        c.AddressLine3 = "City " + std::to_string(i % 101);
        c.PostalCode = std::to_string(10000 + i % 89999);
        c.WorkDayPhone = "555-" + std::to_string(1000 + i % 8999);
        c.HomeEveningPhone = "556-" + std::to_string(1000 + i % 8999);
        c.Email = "person" + std::to_string(i) + "@example.org";
        c.WebSite = "https://example.org/" + std::to_string(i);
        c.ContactCategory = "Category " + std::to_string(i % 13);
        c.Notes = "Notes on contact " + std::to_string(i);
        t.Add();
    }
    data::Commit();
    t.Close();
}

void FillTasks(int n) {
    data::Table& t = data::TableOf(ScheduleDef());
    t.Create();
    t.Open();
    data::Logout({&t});
    for (int i = 1; i <= n; ++i) {
        Schedule& s = t.Rec<Schedule>();
        s = Schedule();
        s.ID = i;
        s.TaskType = i % 2 ? "Run Program" : "Display Message";
        s.Category = "Category " + std::to_string(i % 17);
        s.Description = "Task number " + std::to_string(i) + ", \"quoted\"";
        s.Command = "/usr/bin/tool --index " + std::to_string(i);
        s.ScheduleType = "Custom";
        s.Every = i % 90 + 1;
        s.EveryType = "Days";
        s.Date = MakeDate(7, 1 + i % 28, 2024 + i % 3);
        s.Time = (i * 37 % 1440) * 6000 + 1;
        s.Message = "Message of task " + std::to_string(i);
        t.Add();
    }
    data::Commit();
    t.Close();
}

std::string Shell(const std::string& file, const std::string& script) {
    std::ofstream("script.sql") << "PRAGMA key='" << kOwnerPassword << "';\nPRAGMA kdf_iter=" << kKdfIter
                                << ";\nSELECT count(*) FROM sqlite_master;\n"
                                << script;
    const std::string cmd = "sqlcipher " + file + " < script.sql 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    if (p) pclose(p);
    return out;
}

double Ours(ImexKind kind, const std::string& csv, int expected, double* longest) {
    fs::copy_file("base.TPS", "KR97.TPS", fs::copy_options::overwrite_existing);
    DictionaryInit();
    const auto t0 = Steady::now();
    auto reader = std::make_shared<Imex>();
    ImexError e;
    OpenImportFile(*reader, csv, e);
    const ImportColumns cols = ScanImportColumns(*reader);
    ImportMapping m{cols.pictures, {}};
    AutoAssign(Member(kind), cols.values, m);
    ImportRun run(Member(kind), reader, m, true);
    run.Start();
    *longest = 0;
    while (run.Running()) {
        const auto a = Steady::now();
        run.Step(run.batchSize());
        *longest = std::max(*longest, Seconds(Steady::now() - a));
    }
    const double t = Seconds(Steady::now() - t0);
    if (run.added() != expected) std::printf("  only %d of %d added\n", run.added(), expected);
    DictionaryKill();
    data::CloseIdleFiles();
    return t;
}

double Reference(const std::string& table, int expected) {
    const auto run = [&](bool import) {
        fs::copy_file("base.TPS", "ref.TPS", fs::copy_options::overwrite_existing);
        const auto t0 = Steady::now();
        const std::string out =
            Shell("ref.TPS", std::string(".mode csv\n") + (import ? ".import shell.csv " + table + "\n" : "") +
                                 "SELECT 'rows=' || count(*) FROM " + table + ";\n");
        const double t = Seconds(Steady::now() - t0);
        if (import && out.find("rows=" + std::to_string(expected)) == std::string::npos)
            std::printf("  shell import incomplete: %s\n", out.c_str());
        return t;
    };
    const double without = run(false);
    const double with = run(true);
    fs::remove("ref.TPS");
    return std::max(0.0, with - without);
}

void Measure(const char* name, ImexKind kind, const char* table, int rows, void (*fill)(int)) {
    DictionaryInit();
    fill(rows);
    const ImexMember& member = Member(kind);
    {
        ExportRun ex(member, member.fields, true, "ours.csv");
        ex.Start();
        RunToEnd(ex);
    }
    DictionaryKill();
    data::CloseIdleFiles();
    // The shell's rows in the table's own columns, then the table emptied:
    // the copy both sides start from.
    Shell("KR97.TPS", std::string(".mode csv\n.headers off\n.output shell.csv\nSELECT * FROM ") + table +
                          ";\n.output stdout\nDELETE FROM " + table + ";\nVACUUM;\n");
    fs::copy_file("KR97.TPS", "base.TPS", fs::copy_options::overwrite_existing);
    std::vector<double> ours, ref;
    double longest = 0;
    for (int p = 0; p < 3; ++p) {
        double step = 0;
        ours.push_back(Ours(kind, "ours.csv", rows, &step));
        longest = std::max(longest, step);
        ref.push_back(Reference(table, rows));
    }
    const double o = Median(ours), r = Median(ref);
    std::printf("%-9s %7d rows  ours %7.2f s  shell %7.2f s  %5.2fx  longest step %.0f ms  (ours:", name, rows, o, r,
                o / r, longest * 1000);
    for (double x : ours) std::printf(" %.2f", x);
    std::printf("; shell:");
    for (double x : ref) std::printf(" %.2f", x);
    std::printf(")\n");
    std::fflush(stdout);
}

}  // namespace

// Imports one file as contacts into the data file of the current folder
// and says how it ended (the check of a huge file under a memory limit).
int ImportFile(const std::string& file) {
    DictionaryInit();
    auto reader = std::make_shared<Imex>();
    ImexError e;
    if (OpenImportFile(*reader, file, e) == 0) {
        std::printf("Cannot OPEN %s: %s\n", file.c_str(), e.Message().c_str());
    } else {
        const ImportColumns cols = ScanImportColumns(*reader);
        ImportMapping m{cols.pictures, {}};
        AutoAssign(Member(ImexKind::Contacts), cols.values, m);
        ImportRun run(Member(ImexKind::Contacts), reader, m, true);
        if (run.Start()) RunToEnd(run);
        std::printf("%s\n", run.Summary().c_str());
    }
    DictionaryKill();
    data::CloseIdleFiles();
    std::printf("still running\n");
    return 0;
}

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "file") return ImportFile(argv[2]);
    const int contacts = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int tasks = argc > 2 ? std::atoi(argv[2]) : 100000;
    const fs::path previous = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / ("bench_import." + std::to_string(getpid()));
    ManualClock clock{MakeDate(7, 1, 2024), MakeTime(8, 0)};
    InstallClock(&clock);
    data::SetKeyDerivationIterations(kKdfIter);
    for (int k = 0; k < 2; ++k) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::current_path(dir);
        if (k == 0 && contacts > 0) Measure("contacts", ImexKind::Contacts, "Contact", contacts, FillContacts);
        if (k == 1 && tasks > 0) Measure("tasks", ImexKind::Schedule, "s", tasks, FillTasks);
        fs::current_path(previous);
    }
    fs::remove_all(dir);
    InstallClock(nullptr);
    return 0;
}
