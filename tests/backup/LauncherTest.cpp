// The launcher's backup and restore of real data files in a temporary
// folder: bare names in the archive, a consistent copy while another
// connection commits, restore in place by base names, refusal while a data
// file is open elsewhere or when a restored file is damaged.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ShareLock.h"
#include "SmallDisk.h"
#include "backup/Launcher.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/runtime/Services.h"

namespace kr::backup {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::string Shell(const std::string& cmd, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = ::pclose(p);
    if (status) *status = WEXITSTATUS(rc);
    return out;
}

sqlite3* OpenDb(const std::string& path, const char* password) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    if (password) sqlite3_key(db, password, static_cast<int>(strlen(password)));
    sqlite3_busy_timeout(db, 10000);
    sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    return db;
}

int64_t Count(const std::string& path, const char* password) {
    sqlite3* db = OpenDb(path, password);
    sqlite3_stmt* st = nullptr;
    int64_t n = -1;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM t", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

// A data file of the program (its settings table, or the message link's,
// made by the table layer) that also holds a table t of `rows` rows.
void MakeDataFile(const std::string& path, const char* password, int rows) {
    if (!fs::exists(path)) {
        fs::path here = fs::current_path();
        fs::path folder = fs::path(path).parent_path();
        if (!folder.empty()) fs::current_path(folder);
        ASSERT_EQ(data::TableOf(password ? ConfigurationDef() : MsgLinkDef()).Create(), 0);
        data::CloseIdleFiles();
        fs::current_path(here);
    }
    sqlite3* db = OpenDb(path, password);
    sqlite3_exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT)", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int i = 0; i < rows; ++i)
        sqlite3_exec(db, "INSERT INTO t(v) VALUES (hex(randomblob(200)))", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kr-back-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        previous_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(previous_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_, previous_;
    ScriptedResponder responder_;
    ScopedMessageService scoped_{&responder_};
};

TEST_F(LauncherTest, CommandLineDefaultsAndAdvancedStart) {
    LauncherRun run = ReadLauncherCommandLine({"KR97.TPS", "RESTORE=r.zip", "backup=b", "x y"});
    EXPECT_EQ(run.backupValue.value_or("-"), "b");
    EXPECT_EQ(run.restoreValue.value_or("-"), "r.zip");
    EXPECT_EQ(AdvancedCommandLine(run), "VXWBACKA.EXE KR97.TPS \"x y\" ");
    EXPECT_EQ(AdvancedCommandLine(LauncherRun{}), "VXWBACKA.EXE   ");

    LauncherRun empty;
    LoadPreserved(empty);
    ApplyDefaults(empty);
    EXPECT_EQ(empty.archiveName, "Backup.zip");
    EXPECT_EQ(empty.operation, "Backup to an archive");
    empty.archiveName = "Nightly";
    SavePreserved(empty);
    LauncherRun again;
    LoadPreserved(again);
    EXPECT_EQ(again.archiveName, "Nightly");

    LauncherLSZCLASS z;
    EXPECT_FALSE(z.SetFileSpec("*.TPS"));
    EXPECT_EQ(z.SetArchiveName("Nightly  "), "Nightly.ZIP");
    EXPECT_EQ(z.SetArchiveName("dir.v2/backup.bak"), "dir.v2/backup.bak");
    EXPECT_EQ(z.SetArchiveName("dir.v2/backup"), "dir.v2/backup.ZIP");
    EXPECT_TRUE(z.SetFileSpec("*.TPS "));
    EXPECT_EQ(z.FILESPEC, "*.TPS");
}

TEST_F(LauncherTest, BackupWhileAWriterCommitsThenRestoreInPlace) {
    MakeDataFile("KR97.TPS", kOwnerPassword, 2000);
    MakeDataFile("MSGLINK.TPS", nullptr, 10);
    int64_t before = Count("KR97.TPS", kOwnerPassword);
    ASSERT_EQ(before, 2000);

    // Another connection commits all through the backup.
    std::atomic<bool> stop{false};
    std::atomic<int> commits{0};
    std::thread writer([&] {
        sqlite3* db = OpenDb((dir_ / "KR97.TPS").string(), kOwnerPassword);
        while (!stop.load()) {
            if (sqlite3_exec(db, "BEGIN IMMEDIATE; INSERT INTO t(v) VALUES (hex(randomblob(3000))); "
                                 "INSERT INTO t(v) VALUES (hex(randomblob(3000))); COMMIT",
                             nullptr, nullptr, nullptr) == SQLITE_OK)
                ++commits;
            else
                sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        sqlite3_close(db);
    });
    while (commits.load() < 20) std::this_thread::yield();
    LauncherRun run;
    run.archiveName = "Safe";
    int rc = DoBackup(run, true);
    stop = true;
    writer.join();
    ASSERT_EQ(rc, 0) << LSZCLASS::ErrorText(rc);
    EXPECT_TRUE(responder_.shown().empty());

    int status = -1;
    std::string info = Shell("zipinfo -1 Safe.ZIP", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(info, "KR97.TPS\nMSGLINK.TPS\n");  // bare names, nothing else

    // Restore into a folder of its own: the copy is whole and holds at least
    // everything committed before the backup began.
    fs::create_directories("restored");
    fs::copy_file("Safe.ZIP", "restored/Safe.ZIP");
    fs::current_path("restored");
    std::ofstream("KR97.TPS-journal") << "stale";
    run.archiveName = "Safe.ZIP";
    EXPECT_EQ(DoRestore(run, true), 0);
    EXPECT_TRUE(responder_.shown().empty());
    EXPECT_FALSE(fs::exists("KR97.TPS-journal"));
    std::string problem;
    EXPECT_TRUE(CheckDataFile("KR97.TPS", &problem)) << problem;
    EXPECT_GE(Count("KR97.TPS", kOwnerPassword), before);
    EXPECT_EQ(Count("MSGLINK.TPS", nullptr), 10);
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_EQ(e.path().filename().string().rfind(".vxw", 0), std::string::npos) << "left " << e.path();

    // Interactive runs close with their information boxes.
    EXPECT_EQ(DoRestore(run, false), 0);
    EXPECT_TRUE(responder_.sawText("Files successfully restored."));
}

// An unattended backup into a read-only data folder, and a restore there:
// each failure names the folder once, after its own text.
TEST_F(LauncherTest, BackupAndRestoreInAReadOnlyFolderNameTheFolder) {
    test::SmallDisk disk(dir_ / "ro");
    if (!disk.refused().empty()) GTEST_SKIP() << disk.refused();
    struct Back {
        fs::path to;
        ~Back() { fs::current_path(to); }
    } back{dir_};
    fs::current_path(disk.path());
    MakeDataFile("KR97.TPS", kOwnerPassword, 5);
    ASSERT_EQ(::system("zip -q good.zip KR97.TPS"), 0);
    ASSERT_EQ(disk.MakeReadOnly(), "");
    const std::string cause = "The folder " + disk.path().string() + " is read-only.";
    auto once = [&](const std::string& text) {
        const std::size_t at = text.find(cause);
        return at != std::string::npos && text.find(cause, at + 1) == std::string::npos;
    };

    LauncherRun run;
    run.archiveName = "Nightly";
    EXPECT_NE(DoBackup(run, true), 0);
    ASSERT_EQ(responder_.shown().size(), 1u);
    const std::string backup = responder_.shown()[0].request.text;
    EXPECT_EQ(backup.rfind("Could not create backup.", 0), 0u) << backup;
    EXPECT_TRUE(once(backup)) << backup;

    run.archiveName = "good.zip";
    EXPECT_NE(DoRestore(run, true), 0);
    ASSERT_EQ(responder_.shown().size(), 2u);
    const std::string restore = responder_.shown()[1].request.text;
    EXPECT_EQ(responder_.shown()[1].request.title, "Restore Failed");
    EXPECT_EQ(restore.rfind("Could not restore from archive.", 0), 0u) << restore;
    EXPECT_TRUE(once(restore)) << restore;
    EXPECT_EQ(Count("KR97.TPS", kOwnerPassword), 5);
}

TEST_F(LauncherTest, RestoreTakesBaseNamesFromArchivesWithFolders) {
    fs::create_directories("old/KR");
    MakeDataFile("old/KR/KR97.TPS", kOwnerPassword, 5);
    ASSERT_EQ(::system("zip -q full.zip old/KR/KR97.TPS"), 0);
    MakeDataFile("KR97.TPS", kOwnerPassword, 1);
    LauncherRun run;
    run.archiveName = "full.zip";
    EXPECT_EQ(DoRestore(run, true), 0);
    EXPECT_EQ(Count("KR97.TPS", kOwnerPassword), 5);
    EXPECT_FALSE(fs::exists("old/KR/old"));
}

TEST_F(LauncherTest, RestoreRefusesDataFilesInUseAndDamagedOnes) {
    MakeDataFile("KR97.TPS", kOwnerPassword, 5);
    ASSERT_EQ(::system("zip -q good.zip KR97.TPS"), 0);
    MakeDataFile("KR97.TPS", kOwnerPassword, 2);  // now 7 rows

    // Another program holds the data file open (its share lock).
    int fd = ::open("KR97.TPS", O_RDWR);
    ASSERT_EQ(test::LockShareByte(fd), 0);
    EXPECT_TRUE(DataFileInUse("KR97.TPS"));
    LauncherRun run;
    run.archiveName = "good.zip";
    EXPECT_NE(DoRestore(run, true), 0);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Restore Failed");
    EXPECT_THAT(responder_.shown()[0].request.text, HasSubstr("Close Kairoll (KR98)"));
    ::close(fd);
    EXPECT_EQ(Count("KR97.TPS", kOwnerPassword), 7);
    EXPECT_FALSE(DataFileInUse("KR97.TPS"));

    // A damaged data file in the archive replaces nothing.
    {
        std::fstream f("KR97.TPS", std::ios::in | std::ios::out | std::ios::binary);
        std::string copy((std::istreambuf_iterator<char>(f)), {});
        fs::create_directories("bad");
        copy.replace(copy.size() / 2, 4096, std::string(4096, '\x5a'));
        std::ofstream("bad/KR97.TPS", std::ios::binary) << copy;
    }
    ASSERT_EQ(::system("cd bad && zip -q ../bad.zip KR97.TPS"), 0);
    responder_.clear();
    run.archiveName = "bad.zip";
    EXPECT_NE(DoRestore(run, true), 0);
    EXPECT_TRUE(responder_.sawTitle("Restore Failed"));
    EXPECT_EQ(Count("KR97.TPS", kOwnerPassword), 7);

    // A test failure stops the restore before anything is extracted.
    std::ofstream("broken.zip") << "not an archive";
    responder_.clear();
    run.archiveName = "broken.zip";
    EXPECT_NE(DoRestore(run, true), 0);
    ASSERT_FALSE(responder_.shown().empty());
    EXPECT_EQ(responder_.shown().back().request.title, "Test Failed");
    EXPECT_EQ(responder_.shown().back().request.text,
              "Archive test failed.\r\n\r\nArchive: broken.zip\r\nError -2:  ZIP format error\r\n");
    EXPECT_EQ(Count("KR97.TPS", kOwnerPassword), 7);
}

}  // namespace
}  // namespace kr::backup
