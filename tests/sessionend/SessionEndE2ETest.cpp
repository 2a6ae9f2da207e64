// The five window programs and tpsfix asked to end (SIGTERM, what the end
// of the session sends) in the states it finds them in: a box open, a window
// open, work under way. Each must be gone within 3 s of the request, by its
// own hand (not killed by a signal), using little CPU meanwhile (a program
// that spins instead of ending burns a whole core), and leave its data file
// whole. A program still there after 3 s fails the test and is then killed
// by its pid.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QStringList>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "dictionary/SchedulingTables.h"
#include "../support/ProgramRun.h"
#include "../support/SmallDisk.h"
#include "../desktop/KR98DataFile.h"
#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The CPU ticks a process has used (user and system), and whether it is a
// zombie (ended, not yet reaped: its times are final); -1 when it is gone.
struct ProcStat {
    long long ticks = -1;
    bool zombie = false;
};

ProcStat ReadStat(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    ProcStat s;
    if (!std::getline(in, line)) return s;
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) return s;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    std::vector<std::string> f;
    while (rest >> field) f.push_back(field);
    // After the name: state (3), ..., utime (14), stime (15).
    if (f.size() < 13) return s;
    s.zombie = f[0] == "Z";
    s.ticks = std::stoll(f[11]) + std::stoll(f[12]);
    return s;
}

struct Ending {
    bool ended = false;     // gone within the time allowed
    double seconds = 0;     // from the request to the end
    double cpuSeconds = 0;  // CPU used meanwhile
    bool ownHand = false;   // ended by itself, not by a signal
    int exitCode = -1;
    std::string Describe() const {
        std::ostringstream o;
        o << (ended ? "ended" : "still running") << " after " << seconds << " s, " << cpuSeconds << " s of CPU, "
          << (ownHand ? "exit code " + std::to_string(exitCode) : std::string("ended by a signal"));
        return o.str();
    }
};

constexpr double kAllowedSeconds = 3.0;
// A tenth of a core over the time allowed.
constexpr double kAllowedCpuSeconds = 0.1 * kAllowedSeconds;

// Sends SIGTERM (count times, the later ones 0.3 s apart while the program
// still runs) and watches the program end; kills it by its pid when it is
// still there after the time allowed.
Ending Terminate(ProgramRun& run, int count = 1) {
    Ending e;
    const long pid = run.pid();
    const long long before = ReadStat(pid).ticks;
    const auto start = Clock::now();
    kill(static_cast<pid_t>(pid), SIGTERM);
    int sent = 1;
    ProcStat last = ReadStat(pid);
    while (last.ticks >= 0 && !last.zombie) {
        const double t = std::chrono::duration<double>(Clock::now() - start).count();
        if (t > kAllowedSeconds) break;
        if (sent < count && t > 0.3 * sent) {
            kill(static_cast<pid_t>(pid), SIGTERM);
            ++sent;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const ProcStat now = ReadStat(pid);
        if (now.ticks >= 0) last = now;
        else break;
    }
    e.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    e.cpuSeconds = static_cast<double>(last.ticks - before) / static_cast<double>(sysconf(_SC_CLK_TCK));
    e.ended = last.zombie || ReadStat(pid).ticks < 0;
    if (!e.ended) kill(static_cast<pid_t>(pid), SIGKILL);
    run.WaitForEnd(10000);
    e.ownHand = run.process().exitStatus() == QProcess::NormalExit;
    e.exitCode = run.ExitCode();
    return e;
}

void ExpectEndedWell(const Ending& e, const std::string& what) {
    std::printf("%s: %s\n", what.c_str(), e.Describe().c_str());
    EXPECT_TRUE(e.ended) << what << ": " << e.Describe();
    EXPECT_LE(e.seconds, kAllowedSeconds) << what << ": " << e.Describe();
    EXPECT_LT(e.cpuSeconds, kAllowedCpuSeconds) << what << ": " << e.Describe();
    EXPECT_TRUE(e.ownHand) << what << ": " << e.Describe();
}

// The result of PRAGMA integrity_check on a data file ("ok" when whole).
std::string Integrity(const fs::path& file) {
    sqlite3* db = nullptr;
    std::string out = "cannot be opened";
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_key(db, kOwnerPassword, static_cast<int>(std::strlen(kOwnerPassword)));
        sqlite3_busy_timeout(db, 10000);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        else
            out = sqlite3_errmsg(db);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

bool Sql(const fs::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK;
    if (ok) {
        sqlite3_key(db, kOwnerPassword, static_cast<int>(std::strlen(kOwnerPassword)));
        sqlite3_busy_timeout(db, 10000);
        ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    sqlite3_close(db);
    return ok;
}

class SessionEndE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        x_ = std::make_unique<TestDisplay>();
        if (!x_->d()) GTEST_SKIP() << "the X server did not answer";
    }

    // A data folder with a data file KR98 made, and extra rows so that work
    // on it takes a while.
    fs::path DataFolder(const std::string& name, int extraRows = 0) {
        const fs::path folder = tmp_ / name;
        fs::create_directories(folder);
        ProgramRun kr98;
        kr98.Prepare(tmp_.path(), "offscreen");
        kr98.SetWorkingFolder(folder);
        std::ofstream(tmp_ / (name + ".answers")) << "folder " << folder.string() << "\n";
        kr98.SetResponses(tmp_ / (name + ".answers"));
        kr98.SetEnv("KR_TEST_EXIT_AFTER_STARTUP", "1");
        EXPECT_TRUE(kr98.Start());
        EXPECT_TRUE(kr98.WaitForEnd(60000)) << kr98.Said();
        EXPECT_TRUE(fs::exists(folder / "KR97.TPS")) << kr98.Said();
        if (extraRows > 0) {
            EXPECT_TRUE(Sql(folder / "KR97.TPS",
                            "CREATE TABLE bulk(id INTEGER PRIMARY KEY, v TEXT);"
                            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                                std::to_string(extraRows) +
                                ") INSERT INTO bulk(v) SELECT hex(randomblob(1000)) FROM n;"));
        }
        return folder;
    }

    void Start(ProgramRun& run, const fs::path& folder, const QStringList& args = {}) {
        run.Prepare(tmp_.path(), "xcb");
        run.SetWorkingFolder(folder);
        ASSERT_TRUE(run.Start(args)) << run.Said();
    }

    // Waits for a shown window of the program whose title starts so.
    bool WaitForWindow(ProgramRun& run, const std::string& title, int ms = 30000) {
        return WaitUntil([&] { return FindTitled(x_->d(), title, run.pid()) != 0 || !run.Running(); }, ms) &&
               FindTitled(x_->d(), title, run.pid()) != 0;
    }
    std::string Windows() { return WindowTree(x_->d()); }

    TemporaryFolder tmp_{"kr-sessionend"};
    std::unique_ptr<TestDisplay> x_;
};

// KRMsg on a damaged message-link file shows its "File Access Error" box
// before its window; its message window otherwise.
TEST_F(SessionEndE2ETest, KRMsgEndsOnTermWithItsBoxOrItsWindowOpen) {
    const fs::path folder = DataFolder("msg");
    std::ofstream(folder / "MSGLINK.TPS", std::ios::binary) << std::string(8192, 'J');
    {
        ProgramRun run("KRMsg");
        Start(run, folder, {"ID=1"});
        ASSERT_TRUE(WaitForWindow(run, "File Access Error")) << run.Said() << Windows();
        ExpectEndedWell(Terminate(run), "KRMsg, its box open");
    }
    fs::remove(folder / "MSGLINK.TPS");
    InDataFolder(folder, [] {
        data::Table& t = data::TableOf(MsgLinkDef());
        ASSERT_EQ(t.Create(), 0);
        ASSERT_EQ(t.Open(), 0);
        t.Rec<MsgLink>() = MsgLink();
        t.Rec<MsgLink>().ID = 1;
        t.Rec<MsgLink>().Title = "Dentist";
        t.Rec<MsgLink>().Message = "At three";
        ASSERT_EQ(t.Add(), 0);
        t.Close();
    });
    {
        ProgramRun run("KRMsg");
        Start(run, folder, {"ID=1"});
        ASSERT_TRUE(WaitForWindow(run, "Message:  Dentist")) << run.Said() << Windows();
        ExpectEndedWell(Terminate(run), "KRMsg, its window open");
        EXPECT_EQ(run.ExitCode(), 0);
    }
    EXPECT_EQ(Integrity(folder / "KR97.TPS"), "ok");
}

// KR98 with its start-up box open: in a read-only data folder ("File Access
// Error", then its closing box) and on a damaged data file; a second
// SIGTERM while ending is not lost either. Then with its frame and the
// schedule list open.
TEST_F(SessionEndE2ETest, KR98EndsOnTermWithItsStartUpBoxOrItsWindowsOpen) {
    const fs::path source = DataFolder("kr98source");
    const fs::path damaged = tmp_ / "kr98damaged";
    fs::create_directories(damaged);
    std::ofstream(damaged / "KR97.TPS", std::ios::binary) << std::string(16384, 'J');
    SmallDisk disk(tmp_ / "kr98ro");
    std::vector<std::pair<fs::path, std::string>> folders{{damaged, "Damaged Data File"}};
    if (disk.refused().empty()) {
        fs::copy_file(source / "KR97.TPS", disk.path() / "KR97.TPS");
        ASSERT_EQ(disk.MakeReadOnly(), "");
        folders.push_back({disk.path(), "File Access Error"});
    } else {
        std::printf("%s\n", disk.refused().c_str());
    }
    for (const auto& [folder, box] : folders)
        for (int count : {1, 2}) {
            ProgramRun run("KR98");
            Start(run, folder);
            ASSERT_TRUE(WaitForWindow(run, box)) << run.Said() << Windows();
            ExpectEndedWell(Terminate(run, count), "KR98, its box \"" + box + "\" open, " + std::to_string(count) +
                                                       " SIGTERM");
        }
    // Nothing wrote over the damaged file.
    EXPECT_EQ(ReadText(damaged / "KR97.TPS"), std::string(16384, 'J'));

    ProgramRun run("KR98");
    Start(run, source);
    ASSERT_TRUE(WaitForWindow(run, "Scheduled Tasks")) << run.Said() << Windows();
    ExpectEndedWell(Terminate(run), "KR98, its windows open");
    EXPECT_EQ(Integrity(source / "KR97.TPS"), "ok");
}

// KR_DBASE: its start-up warning; then a build of every file under way.
TEST_F(SessionEndE2ETest, KR_DBASEEndsOnTermWithItsBoxOpenAndDuringARepair) {
    const fs::path folder = DataFolder("repair");
    {
        ProgramRun run("KR_DBASE");
        Start(run, folder);
        ASSERT_TRUE(WaitForWindow(run, "Warning")) << run.Said() << Windows();
        ExpectEndedWell(Terminate(run), "KR_DBASE, its warning open");
    }
    {
        ProgramRun run("KR_DBASE");
        Start(run, folder);
        const Window warning = WaitForWindow(run, "Warning") ? FindTitled(x_->d(), "Warning", run.pid()) : 0;
        ASSERT_NE(warning, 0u) << run.Said() << Windows();
        SendKeyTo(warning, 0, XK_Return);
        ASSERT_TRUE(WaitForWindow(run, "Repair Files")) << run.Said() << Windows();
        const Window window = FindTitled(x_->d(), "Repair Files", run.pid());
        SendKeyTo(window, XK_Alt_L, XK_t);  // Tag All
        SendKeyTo(window, XK_Alt_L, XK_b);  // Build
        ASSERT_TRUE(WaitForWindow(run, "Progress", 10000)) << run.Said() << Windows();
        ExpectEndedWell(Terminate(run), "KR_DBASE, a build under way");
    }
    EXPECT_EQ(Integrity(folder / "KR97.TPS"), "ok");
}

// VXWBack: its window; an unattended backup of a large data file under way
// (cancelled: no archive, or a whole one).
TEST_F(SessionEndE2ETest, VXWBackEndsOnTermWithItsWindowOpenAndDuringABackup) {
    const fs::path folder = DataFolder("backup", 20000);
    {
        ProgramRun run("VXWBack");
        Start(run, folder);
        ASSERT_TRUE(WaitForWindow(run, "Backup / Restore")) << run.Said() << Windows();
        ExpectEndedWell(Terminate(run), "VXWBack, its window open");
    }
    {
        ProgramRun run("VXWBack");
        Start(run, folder, {"BACKUP=Nightly"});
        ASSERT_TRUE(WaitForWindow(run, "Archiving")) << run.Said() << Windows();
        ExpectEndedWell(Terminate(run), "VXWBack, a backup under way");
    }
    EXPECT_EQ(Integrity(folder / "KR97.TPS"), "ok");
    // The cancelled backup took its work copies away with it.
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        EXPECT_FALSE(name.rfind(".vxwcopy-", 0) == 0 || name.rfind("Nightly.ZIP.", 0) == 0) << name;
    }
    if (fs::exists(folder / "Nightly.ZIP")) {
        QProcess unzip;
        unzip.start("unzip", {"-tqq", QString::fromStdString((folder / "Nightly.ZIP").string())});
        ASSERT_TRUE(unzip.waitForFinished(60000));
        EXPECT_EQ(unzip.exitCode(), 0) << "a half archive was left";
    }
    {
        // Asked twice at once: the second request ends it there and then.
        ProgramRun run("VXWBack");
        Start(run, folder, {"BACKUP=Nightly"});
        ASSERT_TRUE(WaitForWindow(run, "Archiving")) << run.Said() << Windows();
        kill(static_cast<pid_t>(run.pid()), SIGTERM);
        const Ending e = Terminate(run);
        std::printf("VXWBack, a backup under way, 2 SIGTERM: %s\n", e.Describe().c_str());
        EXPECT_TRUE(e.ended) << e.Describe();
        EXPECT_TRUE(e.ownHand || run.process().exitCode() == SIGTERM) << e.Describe();
    }
    EXPECT_EQ(Integrity(folder / "KR97.TPS"), "ok");
}

// VXWBackA: its recommendation box over its frame; then the frame alone.
TEST_F(SessionEndE2ETest, VXWBackAEndsOnTermWithItsBoxOrItsFrameOpen) {
    const fs::path folder = DataFolder("assistant");
    {
        ProgramRun run("VXWBackA");
        Start(run, folder, {"KR97.TPS"});
        ASSERT_TRUE(WaitForWindow(run, "VXW Backup Assistant")) << run.Said() << Windows();
        ExpectEndedWell(Terminate(run), "VXWBackA, its box open");
    }
    {
        ProgramRun run("VXWBackA");
        Start(run, folder);
        ASSERT_TRUE(WaitForWindow(run, "VXW Backup Module")) << run.Said() << Windows();
        ExpectEndedWell(Terminate(run), "VXWBackA, its frame open");
    }
    EXPECT_EQ(Integrity(folder / "KR97.TPS"), "ok");
}

}  // namespace
}  // namespace kr::test
