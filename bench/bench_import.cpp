// bench-libs: kr_reports_core
// Comma-delimited import of 20,000 contacts and of 100,000 tasks through the
// display-free entry points (OpenImportFile, ScanImportColumns, AutoAssign,
// ImportRun, stepped as the progress window steps it), against the sqlcipher
// shell's ".import" of the same rows into a copy of the same encrypted data
// file (same keys, same key), in one transaction. The shell is given the
// rows exactly as the engine stores them: a first import by the engine is
// dumped in its insertion order, so the shell inserts them in the file's
// order (tasks by Category, Date, Time) numbered as the engine numbers
// them. It is timed as its run with the import less the same run without
// it, so neither its start nor its key derivation counts. The two sides take
// turns, five pairs (or PAIRS); min / median of each side and of the ratios
// within a pair, with the load average before and after.
//
// While the engine imports, a worker thread of its own reads the table
// again and again through the same data layer (as another window's thread
// would): its longest wait for a read is the import's longest hold of the
// data file, against the bound of kImportCommitEvery plus one slice. So does
// another program (a process forked before the import opens the file): every
// 2 ms it reads the table's first record and adds a to-do item, each through
// its own connection; its longest wait for each is how long the import keeps
// other programs out.
//
// The memory an import takes: files of about 35.7 MB and four times that
// (the exported rows repeated), contacts and tasks, each imported three
// times, each time in a process of its own started for that one import;
// the peak resident size is reset just before the import (clear_refs) and
// the growth is the peak after it less the resident size before it.
//   bench_import [contacts] [tasks] [pairs]
//   bench_import memory [MB]    the memory figures (files of MB and 4 x MB)
//   bench_import file PATH [S]  imports PATH as contacts in the current folder,
//                               cancelled after S seconds when given
#include <malloc.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ProcedureContext.h"
#include "reports/ImexFields.h"
#include "reports/ImexProcesses.h"

#include "BenchSupport.h"

using namespace kr;
using namespace kr::reports;
using kr::bench::ResetPeak;
using kr::bench::StatusKb;

namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;
constexpr int kKdfIter = 64;

double Seconds(Steady::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Min(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// Another thread's reads of the table while the import runs: each read
// waits while the import holds the data file.
class HoldReader {
public:
    explicit HoldReader(const data::TableDef& def)
        : thread_([this, &def] {
              ProcedureThreadScope scope(NewProcedureThreadNumber());
              data::Table& t = data::TableOf(def);
              if (t.Open() != 0) return;
              started_ = true;
              while (!stop_) {
                  const auto a = Steady::now();
                  t.Set(nullptr);
                  t.Next();
                  longest_ = std::max(longest_, Seconds(Steady::now() - a));
                  ++reads_;
                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
              }
              t.Close();
              data::EndProcedureThread(CurrentProcedureThread());
          }) {
        while (!started_ && !stop_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~HoldReader() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    double longest() const { return longest_; }
    long reads() const { return reads_; }

private:
    std::atomic<bool> stop_{false}, started_{false};
    double longest_ = 0;
    long reads_ = 0;
    std::thread thread_;
};

// Another program's reads and writes of the data file while the import
// runs: a process of its own, forked before this one opens the file, which
// starts when told and reports when told to stop.
class OtherProgram {
public:
    explicit OtherProgram(const data::TableDef& def) {
        int commands[2], results[2];
        if (::pipe(commands) != 0 || ::pipe(results) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(commands[1]);
            ::close(results[0]);
            Run(def, commands[0], results[1]);
        }
        ::close(commands[0]);
        ::close(results[1]);
        commands_ = commands[1];
        results_ = results[0];
    }
    ~OtherProgram() { Stop(); }
    void Go() {
        if (commands_ >= 0) (void)!::write(commands_, "g", 1);
    }
    // Its longest read and write, in seconds, and its failures.
    void Stop() {
        if (pid_ <= 0) return;
        (void)!::write(commands_, "s", 1);
        char said[128] = {};
        if (::read(results_, said, sizeof said - 1) > 0)
            std::sscanf(said, "%lf %lf %d %ld", &longestRead, &longestWrite, &failures, &rounds);
        ::waitpid(pid_, nullptr, 0);
        ::close(commands_);
        ::close(results_);
        pid_ = 0;
    }
    double longestRead = 0, longestWrite = 0;
    int failures = 0;
    long rounds = 0;

private:
    [[noreturn]] static void Run(const data::TableDef& def, int commands, int results) {
        char c = 0;
        if (::read(commands, &c, 1) != 1) ::_exit(2);
        DictionaryInit();
        data::Table& table = data::TableOf(def);
        data::Table& todo = data::TableOf(TodoDef());
        if (table.Open() != 0 || todo.Open() != 0) ::_exit(3);
        double read = 0, write = 0;
        int failures = 0;
        long rounds = 0;
        for (pollfd p{commands, POLLIN, 0}; ::poll(&p, 1, 2) == 0; ++rounds) {
            auto a = Steady::now();
            table.Set(nullptr);
            if (const int e = table.Next(); e != 0 && e != 33) ++failures;
            read = std::max(read, Seconds(Steady::now() - a));
            a = Steady::now();
            todo.Rec<Todo>() = Todo();
            todo.Rec<Todo>().ToDo = "During the import " + std::to_string(rounds);
            if (todo.Add() != 0) ++failures;
            write = std::max(write, Seconds(Steady::now() - a));
        }
        char said[128];
        const int n = std::snprintf(said, sizeof said, "%f %f %d %ld", read, write, failures, rounds);
        (void)!::write(results, said, static_cast<size_t>(n));
        ::_exit(0);
    }

    pid_t pid_ = 0;
    int commands_ = -1, results_ = -1;
};

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

// The other program's figures over the engine's runs.
struct OtherWaits {
    double read = 0, write = 0;
    int failures = 0;
};

double Ours(ImexKind kind, const std::string& csv, int expected, double* longest, double* hold,
            OtherWaits* other = nullptr) {
    fs::copy_file("base.TPS", "KR97.TPS", fs::copy_options::overwrite_existing);
    std::unique_ptr<OtherProgram> program;
    if (other) program = std::make_unique<OtherProgram>(Member(kind).def());
    DictionaryInit();
    std::unique_ptr<HoldReader> reader2;
    if (hold) reader2 = std::make_unique<HoldReader>(Member(kind).def());
    const auto t0 = Steady::now();
    auto reader = std::make_shared<Imex>();
    ImexError e;
    OpenImportFile(*reader, csv, e);
    const ImportColumns cols = ScanImportColumns(*reader);
    ImportMapping m{cols.pictures, {}};
    AutoAssign(Member(kind), cols.values, m);
    ImportRun run(Member(kind), reader, m, true);
    run.Start();
    if (program) program->Go();
    *longest = 0;
    while (run.Running()) {
        const auto a = Steady::now();
        run.Step(run.batchSize());
        *longest = std::max(*longest, Seconds(Steady::now() - a));
    }
    const double t = Seconds(Steady::now() - t0);
    if (reader2) {
        reader2->Stop();
        *hold = reader2->longest();
    }
    if (program) {
        program->Stop();
        other->read = std::max(other->read, program->longestRead);
        other->write = std::max(other->write, program->longestWrite);
        other->failures += program->failures;
    }
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

void Measure(const char* name, ImexKind kind, const char* table, int rows, void (*fill)(int), int pairs) {
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
    // The table emptied: the copy both sides start from (with the to-do
    // table the other program adds to).
    {
        DictionaryInit();
        data::TableOf(TodoDef()).Create();
        DictionaryKill();
        data::CloseIdleFiles();
    }
    Shell("KR97.TPS", std::string("DELETE FROM ") + table + ";\nVACUUM;\n");
    fs::copy_file("KR97.TPS", "base.TPS", fs::copy_options::overwrite_existing);
    // The shell's rows: those of an import by the engine, in the order it
    // inserted them (the file's), numbered as it numbered them.
    double step = 0;
    Ours(kind, "ours.csv", rows, &step, nullptr);
    Shell("KR97.TPS", std::string(".mode csv\n.headers off\n.output shell.csv\nSELECT * FROM ") + table +
                          " ORDER BY rowid;\n.output stdout\n");
    const std::string loadBefore = LoadAverage();
    std::vector<double> ours, ref, ratio;
    double longest = 0, hold = 0;
    OtherWaits other;
    for (int p = 0; p < pairs; ++p) {
        double h = 0;
        ours.push_back(Ours(kind, "ours.csv", rows, &step, &h, &other));
        longest = std::max(longest, step);
        hold = std::max(hold, h);
        ref.push_back(Reference(table, rows));
        ratio.push_back(ours.back() / ref.back());
    }
    std::printf("%-9s %7d rows  ours %.2f / %.2f s  shell %.2f / %.2f s  ratio %.2f / %.2fx (min / median)  "
                "longest step %.0f ms  longest hold of a reader %.0f ms  load %s .. %s\n",
                name, rows, Min(ours), Median(ours), Min(ref), Median(ref), Min(ratio), Median(ratio),
                longest * 1000, hold * 1000, loadBefore.c_str(), LoadAverage().c_str());
    std::printf("  another program's longest wait: read %.0f ms, write %.0f ms, %d failed\n", other.read * 1000,
                other.write * 1000, other.failures);
    std::printf("  ours:");
    for (double x : ours) std::printf(" %.2f", x);
    std::printf("  shell:");
    for (double x : ref) std::printf(" %.2f", x);
    std::printf("  ratios:");
    for (double x : ratio) std::printf(" %.2f", x);
    std::printf("\n");
    std::fflush(stdout);
}

// A file of `bytes` bytes or a line more: the header and the rows of
// `seed`, its rows then repeated.
void GrowFile(const std::string& seed, const std::string& target, std::int64_t bytes) {
    std::ifstream in(seed, std::ios::binary);
    std::string header;
    std::vector<std::string> rows;
    std::getline(in, header);
    for (std::string line; std::getline(in, line);) rows.push_back(line + "\n");
    std::ofstream out(target, std::ios::binary);
    out << header << "\n";
    for (std::int64_t n = static_cast<std::int64_t>(header.size()) + 1; n < bytes;)
        for (const std::string& row : rows) {
            if (n >= bytes) break;
            out << row;
            n += static_cast<std::int64_t>(row.size());
        }
}

const char* KindName(ImexKind kind) { return kind == ImexKind::Schedule ? "tasks" : "contacts"; }

}  // namespace

// One import of FILE into the data file of the current folder, in a process
// started for it alone; prints "rss=<kB> peak=<kB> added=<n> seconds=<s>".
int ImportMemoryOnce(ImexKind kind, const std::string& file) {
    data::SetKeyDerivationIterations(kKdfIter);
    DictionaryInit();
    if (!ResetPeak()) {
        std::printf("cannot reset the peak (clear_refs)\n");
        return 1;
    }
    const long before = StatusKb("VmRSS");
    const auto t0 = Steady::now();
    auto reader = std::make_shared<Imex>();
    ImexError e;
    int added = -1;
    if (OpenImportFile(*reader, file, e) > 0) {
        const ImportColumns cols = ScanImportColumns(*reader);
        ImportMapping m{cols.pictures, {}};
        AutoAssign(Member(kind), cols.values, m);
        ImportRun run(Member(kind), reader, m, true);
        if (run.Start()) RunToEnd(run);
        added = run.added();
    }
    reader.reset();
    const double t = Seconds(Steady::now() - t0);
    const long peak = StatusKb("VmHWM");
    DictionaryKill();
    data::CloseIdleFiles();
    std::printf("rss=%ld peak=%ld added=%d seconds=%.2f\n", before, peak, added, t);
    return 0;
}

namespace {

// Runs this program again for one import and reads its figures.
bool MeasureOnce(const std::string& self, ImexKind kind, const std::string& file, long* growth, int* added,
                 double* seconds) {
    fs::copy_file("base.TPS", "KR97.TPS", fs::copy_options::overwrite_existing);
    const std::string cmd = self + " memory-once " + KindName(kind) + " " + file;
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    if (p) pclose(p);
    long rss = 0, peak = 0;
    if (std::sscanf(out.c_str(), "rss=%ld peak=%ld added=%d seconds=%lf", &rss, &peak, added, seconds) != 4) {
        std::printf("  %s", out.c_str());
        return false;
    }
    *growth = peak - rss;
    return true;
}

void MeasureMemory(const std::string& self, const char* name, ImexKind kind, const char* table, int seedRows,
                   void (*fill)(int), double megabytes) {
    DictionaryInit();
    fill(seedRows);
    const ImexMember& member = Member(kind);
    {
        ExportRun ex(member, member.fields, true, "seed.csv");
        ex.Start();
        RunToEnd(ex);
    }
    DictionaryKill();
    data::CloseIdleFiles();
    // The table emptied: the copy every run imports into.
    Shell("KR97.TPS", std::string("DELETE FROM ") + table + ";\nVACUUM;\n");
    fs::copy_file("KR97.TPS", "base.TPS", fs::copy_options::overwrite_existing);
    for (int times : {1, 4}) {
        const std::string file = std::string(name) + std::to_string(times) + ".csv";
        GrowFile("seed.csv", file, static_cast<std::int64_t>(megabytes * 1e6 * times));
        std::vector<double> growth, secs;
        int added = 0;
        for (int r = 0; r < 3; ++r) {
            long g = 0;
            double s = 0;
            if (!MeasureOnce(self, kind, file, &g, &added, &s)) return;
            growth.push_back(static_cast<double>(g) / 1024.0);
            secs.push_back(s);
        }
        std::printf("%-9s %6.1f MB file %8d rows  growth %5.2f MB (", name,
                    static_cast<double>(fs::file_size(file)) / 1e6, added, Median(growth));
        for (double g : growth) std::printf(" %.2f", g);
        std::printf(" MB)  import %.2f s\n", Median(secs));
        std::fflush(stdout);
        fs::remove(file);
    }
    fs::remove("seed.csv");
}

}  // namespace

// Imports one file as contacts into the data file of the current folder
// and says how it ended (the check of a huge file under a memory limit).
// Every 5 seconds it prints the resident size, its peak and how far the
// import has gone; after `seconds` (0: never) it cancels the import as the
// progress window's Cancel does.
int ImportFile(const std::string& file, double seconds) {
    DictionaryInit();
    auto reader = std::make_shared<Imex>();
    ImexError e;
    std::printf("opening: resident %ld kB\n", StatusKb("VmRSS"));
    std::fflush(stdout);
    if (OpenImportFile(*reader, file, e) == 0) {
        std::printf("Cannot OPEN %s: %s\n", file.c_str(), e.Message().c_str());
    } else {
        const ImportColumns cols = ScanImportColumns(*reader);
        ImportMapping m{cols.pictures, {}};
        AutoAssign(Member(ImexKind::Contacts), cols.values, m);
        ImportRun run(Member(ImexKind::Contacts), reader, m, true);
        if (run.Start()) {
            const auto t0 = Steady::now();
            double shown = 0;
            while (run.Running()) {
                run.Step(run.batchSize());
                const double t = Seconds(Steady::now() - t0);
                if (t - shown >= 5) {
                    shown = t;
                    // The heap's size against what is in use in it.
                    const struct mallinfo2 heap = mallinfo2();
                    std::printf("%6.0f s: resident %ld kB, peak %ld kB, heap %zu kB (%zu kB in use), %d records, "
                                "%.1f MB of the file\n",
                                t, StatusKb("VmRSS"), StatusKb("VmHWM"), heap.arena >> 10, heap.uordblks >> 10,
                                run.added(), static_cast<double>(reader->TextPosition()) / 1e6);
                    std::fflush(stdout);
                }
                if (seconds > 0 && t >= seconds && run.Running()) run.Cancel();
            }
        }
        std::printf("%s\n", run.Summary().c_str());
    }
    reader.reset();
    DictionaryKill();
    data::CloseIdleFiles();
    std::printf("still running: resident %ld kB, peak %ld kB\n", StatusKb("VmRSS"), StatusKb("VmHWM"));
    return 0;
}

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "file") return ImportFile(argv[2], argc > 3 ? std::atof(argv[3]) : 0);
    if (argc > 3 && std::string(argv[1]) == "memory-once")
        return ImportMemoryOnce(std::string(argv[2]) == "tasks" ? ImexKind::Schedule : ImexKind::Contacts, argv[3]);
    const bool memory = argc > 1 && std::string(argv[1]) == "memory";
    const double megabytes = memory && argc > 2 ? std::atof(argv[2]) : 35.7;
    const int contacts = memory ? 20000 : argc > 1 ? std::atoi(argv[1]) : 20000;
    const int tasks = memory ? 20000 : argc > 2 ? std::atoi(argv[2]) : 100000;
    const int pairs = !memory && argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    const std::string self = fs::canonical("/proc/self/exe").string();
    const fs::path previous = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / ("bench_import." + std::to_string(getpid()));
    ManualClock clock{MakeDate(7, 1, 2024), MakeTime(8, 0)};
    InstallClock(&clock);
    data::SetKeyDerivationIterations(kKdfIter);
    for (int k = 0; k < 2; ++k) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::current_path(dir);
        if (memory) {
            if (k == 0) MeasureMemory(self, "contacts", ImexKind::Contacts, "Contact", contacts, FillContacts, megabytes);
            if (k == 1) MeasureMemory(self, "tasks", ImexKind::Schedule, "s", tasks, FillTasks, megabytes);
        } else {
            if (k == 0 && contacts > 0)
                Measure("contacts", ImexKind::Contacts, "Contact", contacts, FillContacts, pairs);
            if (k == 1 && tasks > 0) Measure("tasks", ImexKind::Schedule, "s", tasks, FillTasks, pairs);
        }
        fs::current_path(previous);
    }
    fs::remove_all(dir);
    InstallClock(nullptr);
    return 0;
}
