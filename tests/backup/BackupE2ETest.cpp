// VXWBack run as a program: an unattended backup while another process
// commits to the data file, restored into a fresh folder whole; and beside a
// running KR98: a backup, a restore refused with its message and exit code,
// and the scheduler's date-jump warning starting the real VXWBack with
// "KR97.TPS" (the system date moved by libfaketime).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "backup/Launcher.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"

namespace kr::backup {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

const std::string kBin = KR_BIN_DIR;
constexpr const char* kFakeTime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

template <typename F>
bool WaitFor(F f, int ms = 30000) {
    for (int i = 0; i < ms / 20; ++i) {
        if (f()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return f();
}

// Rows of t and whether they run 1..n without a gap; -1 when unreadable.
std::pair<int64_t, bool> Rows(const std::string& path) {
    sqlite3* db = nullptr;
    std::pair<int64_t, bool> r{-1, false};
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return r;
    }
    sqlite3_key(db, kOwnerPassword, static_cast<int>(strlen(kOwnerPassword)));
    sqlite3_busy_timeout(db, 10000);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT count(*), coalesce(max(id), 0) FROM t", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        r = {sqlite3_column_int64(st, 0), sqlite3_column_int64(st, 0) == sqlite3_column_int64(st, 1)};
    sqlite3_finalize(st);
    sqlite3_close(db);
    return r;
}

// Rows of the holidays table of a data file; -1 while it cannot be read.
int64_t HolidayRows(const std::string& path) {
    sqlite3* db = nullptr;
    int64_t rows = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_key(db, kOwnerPassword, static_cast<int>(strlen(kOwnerPassword)));
        sqlite3_busy_timeout(db, 10000);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM Hol", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            rows = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return rows;
}

class BackupE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kr-be2e-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::create_directories(dir_ / "home");
    }
    void TearDown() override {
        for (qint64 pid : started_) ::kill(static_cast<pid_t>(pid), SIGKILL);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    QProcessEnvironment Env(const fs::path& answers) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", QString::fromStdString((dir_ / "home").string()));
        env.insert("XDG_DATA_HOME", QString::fromStdString((dir_ / "xdg").string()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir_ / "config").string()));
        env.insert("KR_TEST_RESPONSES", QString::fromStdString(answers.string()));
        env.remove("LD_PRELOAD");
        return env;
    }
    // Runs VXWBack in a folder and waits for it; its exit code.
    int VXWBack(const fs::path& folder, const std::string& argument) {
        std::ofstream(dir_ / "vxw.txt", std::ios::trunc) << "";
        QProcess p;
        p.setProcessEnvironment(Env(dir_ / "vxw.txt"));
        p.setWorkingDirectory(QString::fromStdString(folder.string()));
        p.start(QString::fromStdString(kBin + "/VXWBack"), {QString::fromStdString(argument)});
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    std::string VXWLog() { return Slurp(dir_ / "vxw.txt.log"); }

    fs::path dir_;
    std::vector<qint64> started_;
};

TEST_F(BackupE2ETest, BackupWhileAnotherProcessCommitsRestoresWhole) {
    fs::path data = dir_ / "data";
    fs::create_directories(data);
    // A data file of the program (its settings table)...
    {
        fs::path here = fs::current_path();
        fs::current_path(data);
        ASSERT_EQ(data::TableOf(ConfigurationDef()).Create(), 0);
        data::CloseIdleFiles();
        fs::current_path(here);
    }
    // ...and the writer: the sqlcipher shell committing two rows at a time.
    {
        std::ofstream sql(dir_ / "writer.sql");
        sql << "PRAGMA key = '" << kOwnerPassword << "';\n.timeout 20000\nPRAGMA journal_mode = DELETE;\n"
            << "CREATE TABLE IF NOT EXISTS t(id INTEGER PRIMARY KEY, v TEXT);\n";
        for (int i = 0; i < 40000; ++i)
            sql << "BEGIN IMMEDIATE; INSERT INTO t(v) VALUES (hex(randomblob(1500))); "
                   "INSERT INTO t(v) VALUES (hex(randomblob(1500))); COMMIT;\n";
    }
    QProcess writer;
    writer.setWorkingDirectory(QString::fromStdString(data.string()));
    writer.setStandardInputFile(QString::fromStdString((dir_ / "writer.sql").string()));
    writer.setStandardOutputFile(QProcess::nullDevice());
    writer.start("sqlcipher", {"KR97.TPS"});
    ASSERT_TRUE(writer.waitForStarted());
    started_.push_back(writer.processId());
    ASSERT_TRUE(WaitFor([&] { return Rows((data / "KR97.TPS").string()).first >= 400; }));

    int64_t before = Rows((data / "KR97.TPS").string()).first;
    EXPECT_EQ(VXWBack(data, "BACKUP=Backup"), 0) << VXWLog();
    EXPECT_EQ(VXWLog(), "") << "no message in an unattended backup that worked";
    EXPECT_EQ(writer.state(), QProcess::Running) << "the writer was still committing";
    writer.kill();
    writer.waitForFinished();

    fs::path restored = dir_ / "restored";
    fs::create_directories(restored);
    fs::copy_file(data / "Backup.ZIP", restored / "Backup.ZIP");
    EXPECT_EQ(VXWBack(restored, "RESTORE=Backup.ZIP"), 0) << VXWLog();
    EXPECT_TRUE(CheckDataFile((restored / "KR97.TPS").string()));
    auto [rows, whole] = Rows((restored / "KR97.TPS").string());
    EXPECT_GE(rows, before);
    EXPECT_TRUE(whole) << "rows 1.." << rows << " without a gap";
    // The unattended run's archive name is the next default.
    EXPECT_THAT(Slurp(restored / "VXWBack.INI"), HasSubstr("GLO:ArchiveName=Backup.ZIP"));
}

// An unattended run that fails ends by itself, with exit code 1 and the
// messages on standard error: with no display at all, and with one, where
// its boxes close by themselves (after a second here, a minute in use). In
// a folder without data files (the wrong folder) it leaves nothing behind.
TEST_F(BackupE2ETest, UnattendedFailuresEndInOneMessageAndLeaveAFolderWithoutDataFilesAsItWas) {
    fs::path empty = dir_ / "empty";
    fs::create_directories(empty);
    struct Run {
        int code = -1;
        std::string err;
    };
    auto run = [&](bool display, const std::string& argument) {
        QProcessEnvironment env = Env(dir_ / "unused.txt");
        env.remove("KR_TEST_RESPONSES");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        if (display) env.insert("VXWBACK_BOX_SECONDS", "1");
        else env.remove("QT_QPA_PLATFORM");
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(empty.string()));
        p.start(QString::fromStdString(kBin + "/VXWBack"), {QString::fromStdString(argument)});
        Run r;
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            r.err = "still waiting after 30 s";
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : 128 + p.exitCode();
        r.err += p.readAllStandardError().toStdString();
        return r;
    };
    for (bool display : {false, true}) {
        // Nothing to back up: "Nothing to process" is the one message (each
        // message is printed as its box opens), and the run fails.
        Run backup = run(display, "BACKUP=Nightly");
        EXPECT_EQ(backup.code, 1) << display << backup.err;
        EXPECT_THAT(backup.err, HasSubstr("Nothing to process:  *.TPS."));
        std::size_t messages = 0;
        for (std::size_t at = backup.err.find("VXWBack: "); at != std::string::npos;
             at = backup.err.find("VXWBack: ", at + 1))
            ++messages;
        EXPECT_EQ(messages, 1u) << backup.err;
        EXPECT_FALSE(fs::exists(empty / "Nightly.ZIP"));
        // No archive to restore from.
        Run restore = run(display, "RESTORE=Missing.zip");
        EXPECT_EQ(restore.code, 1) << display << restore.err;
        EXPECT_THAT(restore.err, HasSubstr("Archive: Missing.zip"));
        EXPECT_TRUE(fs::is_empty(empty)) << display << ": no VXWBack.INI or anything else";
    }
}

TEST_F(BackupE2ETest, BesideARunningKR98) {
    if (!fs::exists(kFakeTime)) GTEST_SKIP() << "libfaketime is not installed";
    fs::path start = dir_ / "start", data = dir_ / "data";
    fs::create_directories(start);
    fs::create_directories(data);
    std::ofstream(dir_ / "kr98.txt") << "folder " << data.string() << "\nbutton 1\n";
    std::ofstream(dir_ / "clock.txt") << "+0d\n";
    QProcess kr98;
    QProcessEnvironment env = Env(dir_ / "kr98.txt");
    // The system date as KR98 sees it moves when the file changes.
    env.insert("LD_PRELOAD", kFakeTime);
    env.insert("FAKETIME_TIMESTAMP_FILE", QString::fromStdString((dir_ / "clock.txt").string()));
    env.insert("FAKETIME_NO_CACHE", "1");
    kr98.setProcessEnvironment(env);
    kr98.setWorkingDirectory(QString::fromStdString(start.string()));
    kr98.start(QString::fromStdString(kBin + "/KR98"), {});
    ASSERT_TRUE(kr98.waitForStarted());
    started_.push_back(kr98.processId());
    ASSERT_TRUE(WaitFor([&] { return DataFileInUse((data / "KR97.TPS").string()); }))
        << kr98.readAllStandardError().toStdString();

    // A backup while KR98 has the data file open works; a restore is refused.
    EXPECT_EQ(VXWBack(data, "BACKUP=Nightly.zip"), 0) << VXWLog();
    EXPECT_EQ(VXWBack(data, "RESTORE=Nightly.zip"), 1);
    EXPECT_THAT(VXWLog(), HasSubstr("message\tRestore Failed\tThe data files are in use: KR97.TPS."));
    EXPECT_THAT(VXWLog(), HasSubstr("Close Kairoll (KR98)"));
    EXPECT_TRUE(DataFileInUse((data / "KR97.TPS").string()));

    // KR98 opens the data file before its timer starts, and the timer takes
    // the date it starts on as the last date it knew: a clock moved before
    // that start is no jump at all. The timer's first daily pass files the
    // default holidays of a new data file, so once they are there the
    // timer runs on the old date.
    ASSERT_TRUE(WaitFor([&] { return HolidayRows((data / "KR97.TPS").string()) > 0; }, 60000))
        << "KR98's timer did not start\n" << Slurp(dir_ / "kr98.txt.log");

    // Five days forward: the warning, and VXWBack started with the data file.
    std::ofstream(dir_ / "clock.txt", std::ios::trunc) << "+5d\n";
    pid_t child = 0;
    std::string cmdline;
    auto findChild = [&] {
        for (const auto& e : fs::directory_iterator("/proc")) {
            std::string name = e.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            std::string stat = Slurp(e.path() / "stat");
            auto close = stat.rfind(')');
            if (close == std::string::npos) continue;
            std::istringstream rest(stat.substr(close + 2));
            std::string state;
            long ppid = 0;
            rest >> state >> ppid;
            std::error_code ec;
            if (ppid == kr98.processId() && fs::read_symlink(e.path() / "exe", ec).filename() == "VXWBack") {
                // Read at once: a loaded machine may let the program end
                // before the next look, and an ended one has no command line.
                cmdline = Slurp(e.path() / "cmdline");
                child = static_cast<pid_t>(std::stol(name));
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(WaitFor(findChild, 60000)) << Slurp(dir_ / "kr98.txt.log") << Slurp(dir_ / "clock.txt");
    started_.push_back(child);
    // Started as "VXWBACK.EXE KR97.TPS"; the program runs under its desktop name.
    EXPECT_EQ(cmdline, std::string("VXWBack\0KR97.TPS\0", 17)) << Slurp(dir_ / "kr98.txt.log");
    std::error_code ec;
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(child) + "/cwd", ec), data);
    EXPECT_TRUE(WaitFor([&] { return Slurp(dir_ / "kr98.txt.log").find("You have set the system date forward") != std::string::npos; }));
}

}  // namespace
}  // namespace kr::backup
