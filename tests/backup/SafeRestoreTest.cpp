// Backups and restores that never replace a good copy, on data files made by
// the program's own table layer: a damaged data file fails the backup and
// leaves the earlier archive alone; a restore refuses members that are no
// data file of the program (empty, unencrypted, foreign tables), unsafe or
// clashing member names, keeps what it replaces as "<name>.old", and gives
// restored files the mode of the file they replace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "backup/Launcher.h"
#include "backup/ZipLibrary.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/data/WorkCopies.h"
#include "platform/runtime/Services.h"

namespace kr::backup {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A data file of the current folder with `rows` settings, written by the
// table layer as the program writes it.
void MakeSettings(int rows, const std::string& tag = "v") {
    data::Table& t = data::TableOf(ConfigurationDef());
    if (!fs::exists("KR97.TPS")) {
        ASSERT_EQ(t.Create(), 0);
    }
    ASSERT_EQ(t.Open(data::kModeShared), 0);
    ASSERT_EQ(data::Logout({&t}), 0);
    for (int i = 0; i < rows; ++i) {
        t.Rec<Configuration>().DataType = tag + std::to_string(i);
        t.Rec<Configuration>().DataValue = std::string(250, static_cast<char>('a' + i % 26));
        ASSERT_EQ(t.Add(), 0);
    }
    ASSERT_EQ(data::Commit(), 0);
    t.Close();
    data::CloseIdleFiles();
}

int64_t Settings(const std::string& path = "KR97.TPS") {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_key(db, kOwnerPassword, static_cast<int>(strlen(kOwnerPassword)));
    sqlite3_stmt* st = nullptr;
    int64_t n = -1;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM CF", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

// An archive written by libzip with members of our choosing: name, bytes
// and the Unix mode stored with them.
struct Member {
    std::string name, bytes;
    mode_t mode = 0644;
};
void WriteArchive(const std::string& path, const std::vector<Member>& members) {
    int ze = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &ze);
    ASSERT_NE(za, nullptr);
    for (const Member& m : members) {
        char* copy = static_cast<char*>(malloc(m.bytes.size() + 1));
        memcpy(copy, m.bytes.data(), m.bytes.size());
        zip_source_t* src = zip_source_buffer(za, copy, m.bytes.size(), 1);
        zip_int64_t idx = zip_file_add(za, m.name.c_str(), src, ZIP_FL_ENC_RAW);
        ASSERT_GE(idx, 0) << m.name;
        zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(idx), 0, ZIP_OPSYS_UNIX,
                                         static_cast<zip_uint32_t>(S_IFREG | m.mode) << 16);
    }
    ASSERT_EQ(zip_close(za), 0);
}

class SafeRestoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kr-safe-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        previous_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        data::CloseIdleFiles();
        fs::current_path(previous_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    int Restore(const std::string& archive) {
        LauncherRun run;
        run.archiveName = archive;
        return DoRestore(run, true);
    }
    void ExpectNoStrayCopies() {
        for (const auto& e : fs::directory_iterator("."))
            EXPECT_EQ(e.path().filename().string().rfind(".vxw", 0), std::string::npos) << "left " << e.path();
    }
    fs::path dir_, previous_;
    ScriptedResponder responder_;
    ScopedMessageService scoped_{&responder_};
};

TEST_F(SafeRestoreTest, DamagedDataFileFailsTheBackupAndKeepsTheGoodArchive) {
    MakeSettings(2000);
    LauncherRun run;
    run.archiveName = "Nightly.zip";
    ASSERT_EQ(DoBackup(run, true), 0);
    const std::string good = Slurp("Nightly.zip");

    // A page in the middle of the data file turns to noise.
    {
        std::fstream f("KR97.TPS", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(fs::file_size("KR97.TPS") / 2 / 4096 * 4096));
        f << std::string(4096, '\x5a');
    }
    EXPECT_NE(DoBackup(run, true), 0);
    ASSERT_EQ(responder_.shown().size(), 1u);
    const MessageRequest box = responder_.shown()[0].request;
    EXPECT_EQ(box.title, "Operation Failed");
    EXPECT_THAT(box.text, HasSubstr("Could not create backup."));
    EXPECT_THAT(box.text, HasSubstr("The data file KR97.TPS: "));
    EXPECT_THAT(box.text, HasSubstr("Error -9:  Open file error"));
    EXPECT_EQ(Slurp("Nightly.zip"), good) << "the last good archive was replaced";
    ExpectNoStrayCopies();

    // That archive still restores the good data file.
    fs::create_directories("elsewhere");
    fs::copy_file("Nightly.zip", "elsewhere/Nightly.zip");
    fs::current_path("elsewhere");
    responder_.clear();
    EXPECT_EQ(Restore("Nightly.zip"), 0);
    EXPECT_TRUE(responder_.shown().empty());
    EXPECT_EQ(Settings(), 2000);
}

TEST_F(SafeRestoreTest, OnlyTheProgramsOwnDataFilesAreRestored) {
    MakeSettings(5);
    const std::string own = Slurp("KR97.TPS");

    // An SQLite file without the key, and one with the key but not a table
    // of the program.
    std::string plain, foreign;
    for (auto [name, key] : {std::pair<const char*, const char*>{"plain.db", nullptr}, {"foreign.db", kOwnerPassword}}) {
        sqlite3* db = nullptr;
        sqlite3_open(name, &db);
        if (key) sqlite3_key(db, key, static_cast<int>(strlen(key)));
        sqlite3_exec(db, "CREATE TABLE CF(DataType TEXT, DataValue TEXT); CREATE TABLE t(x)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    {
        sqlite3* db = nullptr;
        sqlite3_open("foreign.db", &db);
        sqlite3_key(db, kOwnerPassword, static_cast<int>(strlen(kOwnerPassword)));
        sqlite3_exec(db, "DROP TABLE CF", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    plain = Slurp("plain.db");
    foreign = Slurp("foreign.db");

    const std::pair<std::string, std::string> bad[] = {
        {"", "is empty"},
        {plain, "does not open with the program's key"},
        {foreign, "holds none of the program's tables"},
    };
    for (const auto& [bytes, why] : bad) {
        WriteArchive("bad.zip", {{"KR97.TPS", bytes}});
        responder_.clear();
        EXPECT_NE(Restore("bad.zip"), 0) << why;
        ASSERT_FALSE(responder_.shown().empty()) << why;
        EXPECT_EQ(responder_.shown().back().request.title, "Restore Failed");
        EXPECT_THAT(responder_.shown().back().request.text, HasSubstr("KR97.TPS " + why));
        EXPECT_EQ(Slurp("KR97.TPS"), own) << why;
        EXPECT_FALSE(fs::exists("KR97.TPS.old")) << why;
        ExpectNoStrayCopies();
    }
}

TEST_F(SafeRestoreTest, ReplacedDataFileIsKeptAsOldUntilTheNextRestore) {
    MakeSettings(3, "a");
    ASSERT_EQ(::chmod("KR97.TPS", 0640), 0);
    const std::string three = Slurp("KR97.TPS");
    ASSERT_EQ(::system("zip -q three.zip KR97.TPS"), 0);
    MakeSettings(4, "b");
    const std::string seven = Slurp("KR97.TPS");
    ASSERT_EQ(::system("zip -q seven.zip KR97.TPS"), 0);

    // The archive stores a mode of 0777; the file keeps the one it had.
    WriteArchive("loose.zip", {{"KR97.TPS", three, 0777}});
    EXPECT_EQ(Restore("loose.zip"), 0);
    EXPECT_EQ(Slurp("KR97.TPS"), three);
    EXPECT_EQ(Slurp("KR97.TPS.old"), seven);
    struct stat st {};
    ASSERT_EQ(::stat("KR97.TPS", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // The next restore keeps what it replaces, and only that.
    EXPECT_EQ(Restore("seven.zip"), 0);
    EXPECT_EQ(Settings(), 7);
    EXPECT_EQ(Slurp("KR97.TPS.old"), three);

    // A data file that is new here is its owner's alone, whatever mode the
    // archive stored (0000 would lock the owner out).
    fs::create_directories("new");
    WriteArchive("new/locked.zip", {{"KR97.TPS", three, 0000}});
    fs::current_path("new");
    EXPECT_EQ(Restore("locked.zip"), 0);
    ASSERT_EQ(::stat("KR97.TPS", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(Settings(), 3);
    EXPECT_FALSE(fs::exists("KR97.TPS.old"));
}

TEST_F(SafeRestoreTest, UnsafeOrClashingMemberNamesRefuseTheWholeRestore) {
    MakeSettings(2);
    const std::string own = Slurp("KR97.TPS");
    MakeSettings(1, "x");
    const std::string other = Slurp("KR97.TPS");
    std::ofstream("KR97.TPS", std::ios::binary | std::ios::trunc) << own;

    const std::vector<std::vector<Member>> archives = {
        {{"../KR97.TPS", other}},
        {{"/tmp/KR97.TPS", other}},
        {{"C:\\KR\\KR97.TPS", other}},
        {{"KR/../../KR97.TPS", other}},
        {{"a/KR97.TPS", other}, {"b/kr97.tps", own}},
    };
    for (const auto& members : archives) {
        WriteArchive("names.zip", members);
        responder_.clear();
        EXPECT_EQ(Restore("names.zip"), -51) << members[0].name;
        ASSERT_FALSE(responder_.shown().empty());
        EXPECT_THAT(responder_.shown().back().request.text, HasSubstr("cannot be restored"));
        EXPECT_THAT(responder_.shown().back().request.text, HasSubstr("ZIP archive structure error"));
        EXPECT_EQ(Slurp("KR97.TPS"), own) << members[0].name;
        EXPECT_FALSE(fs::exists(dir_.parent_path() / "KR97.TPS"));
        ExpectNoStrayCopies();
    }
}

// What programs killed at work leave: copies that no process holds go at
// the next start; those of a program still at work stay.
TEST_F(SafeRestoreTest, StrayWorkCopiesGoWhenTheirProgramHasGone) {
    MakeSettings(1);
    auto make = [](const std::string& name) { std::ofstream(name) << "copy"; };
    const std::vector<std::string> stray = {".vxwcopy-Ab12Cd", "Nightly.ZIP.x9Y8z7", "KR97.TPS.tpsfix-new",
                                            "KR97.TPS.tpsfix-new-journal", "KR97.TPS.tpsfix-pages", ".KR97.TPS.vxwQw3Er5"};
    for (const std::string& n : stray) make(n);
    fs::create_directories(".vxwrestore-Zz11Yy/sub");
    make(".vxwrestore-Zz11Yy/sub/KR97.TPS");
    // Not ours, or the only copy of a data file that is gone.
    const std::vector<std::string> kept = {"Nightly.ZIP", "notes.vxwcopy", "MSGLINK.TPS.tpsfix-new", "a.zip.toolong"};
    for (const std::string& n : kept) make(n);

    // Another process at work: one copy locked, one only open (the zip
    // library's new archive is not locked, only open).
    make(".vxwcopy-Busy01");
    make("Other.zip.Busy02");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t worker = ::fork();
    if (worker == 0) {
        data::HoldWorkCopy(".vxwcopy-Busy01");
        const int open = ::open("Other.zip.Busy02", O_RDONLY);
        (void)open;
        ::write(ready[1], "x", 1);
        ::pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);

    EXPECT_EQ(data::RemoveStrayWorkCopies("."), static_cast<int>(stray.size()) + 1);
    for (const std::string& n : stray) EXPECT_FALSE(fs::exists(n)) << n;
    EXPECT_FALSE(fs::exists(".vxwrestore-Zz11Yy"));
    for (const std::string& n : kept) EXPECT_TRUE(fs::exists(n)) << n;
    EXPECT_TRUE(fs::exists(".vxwcopy-Busy01"));
    EXPECT_TRUE(fs::exists("Other.zip.Busy02"));

    // Killed, the worker's copies are strays too.
    ::kill(worker, SIGKILL);
    ::waitpid(worker, nullptr, 0);
    EXPECT_EQ(data::RemoveStrayWorkCopies("."), 2);
    EXPECT_FALSE(fs::exists(".vxwcopy-Busy01") || fs::exists("Other.zip.Busy02"));
    EXPECT_EQ(Settings(), 1);
}

// A report's work file is a table file of the data folder while the report
// runs; the backup leaves it out, as it does its journal.
TEST_F(SafeRestoreTest, BackupLeavesOutTheWorkFilesOfRunningReports) {
    MakeSettings(3);
    fs::copy_file("KR97.TPS", "4567890.TPS");
    std::ofstream("4567890.TPS-journal") << "journal";
    data::TemporaryNote note;
    ASSERT_TRUE(note.Add("4567890.TPS"));
    LauncherRun run;
    run.archiveName = "Nightly.zip";
    ASSERT_EQ(DoBackup(run, true), 0);
    int ze = 0;
    zip_t* za = zip_open("Nightly.zip", ZIP_RDONLY, &ze);
    ASSERT_NE(za, nullptr);
    std::vector<std::string> names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) names.push_back(zip_get_name(za, i, 0));
    zip_discard(za);
    EXPECT_EQ(names, std::vector<std::string>{"KR97.TPS"});
}

TEST_F(SafeRestoreTest, ABackupClearsCopiesKilledBackupsLeftBesideItsArchiveAndInTheTemporaryFolder) {
    MakeSettings(1);
    fs::create_directories("media");
    fs::create_directories("temp");
    auto make = [](const std::string& name) { std::ofstream(name) << "copy"; };
    const std::vector<std::string> stray = {"media/.vxwcopy-Ab12Cd", "media/Nightly.zip.x9Y8z7",
                                            "media/.Nightly.zip.vxwQw3Er5", "media/Weekly.bak.Zz9Yy8",
                                            "temp/.vxwcopy-Cd34Ef", "temp/.Weekly.bak.vxwAa1Bb2"};
    const std::vector<std::string> kept = {"media/Nightly.zip.notes", "media/Other.bak.Ab12Cd", "temp/notes.txt"};
    for (const std::string& n : stray) make(n);
    for (const std::string& n : kept) make(n);
    // A backup at work in another process holds its copy.
    make("media/.vxwcopy-Busy01");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t worker = ::fork();
    if (worker == 0) {
        data::HoldWorkCopy("media/.vxwcopy-Busy01");
        ::write(ready[1], "x", 1);
        ::pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);

    // The launcher's backup to an archive in another folder.
    LauncherRun run;
    run.archiveName = "media/Nightly.zip";
    EXPECT_EQ(DoBackup(run, true), 0);
    // The library's, to an archive of another extension built in the
    // temporary folder.
    ZipLibrary lib;
    ASSERT_EQ(lib.LSZIP_INCLUDE("KR97.TPS"), 1);
    ASSERT_NE(lib.LSZIP_SETTEMPATH((dir_ / "temp").string()), 0);
    EXPECT_EQ(lib.LSZIP_EXECUTE("media/Weekly.bak", kZipAdd, 6, kZipTempPath), 0);

    for (const std::string& n : stray) EXPECT_FALSE(fs::exists(n)) << n;
    for (const std::string& n : kept) EXPECT_TRUE(fs::exists(n)) << n;
    EXPECT_TRUE(fs::exists("media/.vxwcopy-Busy01"));
    EXPECT_TRUE(fs::exists("media/Nightly.zip") && fs::exists("media/Weekly.bak"));
    ::kill(worker, SIGKILL);
    ::waitpid(worker, nullptr, 0);
}

TEST_F(SafeRestoreTest, DataFilesAndArchivesAreMadeForTheirOwnerAlone) {
    const mode_t before = ::umask(022);
    MakeSettings(3);
    EXPECT_EQ(fs::status("KR97.TPS").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    LauncherRun run;
    run.archiveName = "Nightly.zip";
    EXPECT_EQ(DoBackup(run, true), 0);
    EXPECT_EQ(fs::status("Nightly.zip").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    // Built in a temporary folder and moved into place, too.
    ZipLibrary lib;
    fs::create_directories("temp");
    ASSERT_EQ(lib.LSZIP_INCLUDE("KR97.TPS"), 1);
    ASSERT_NE(lib.LSZIP_SETTEMPATH((dir_ / "temp").string()), 0);
    EXPECT_EQ(lib.LSZIP_EXECUTE("Weekly.zip", kZipAdd, 6, kZipTempPath), 0);
    EXPECT_EQ(fs::status("Weekly.zip").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    // An archive the user opened to others keeps its mode when rewritten.
    fs::permissions("Nightly.zip", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(DoBackup(run, true), 0);
    EXPECT_EQ(fs::status("Nightly.zip").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ::umask(before);
}

// What a run killed at any moment can leave at the archive's name: nothing,
// while the first backup is written (the library's own file, already the
// owner's alone, is renamed there whole at the end).
TEST_F(SafeRestoreTest, AFirstBackupPutsNothingAtTheArchiveNameUntilItIsWhole) {
    const mode_t before = ::umask(022);
    MakeSettings(200);
    std::ofstream("Notes.TPS") << std::string(100000, 'n');
    ZipLibrary lib;
    std::vector<std::string> seen;
    lib.LSZIP_INIT({[&](const std::string& member) {
                        std::string what = member + ":";
                        if (fs::exists("Nightly.zip")) what += " archive there";
                        for (const auto& e : fs::directory_iterator("."))
                            if (e.path().filename().string().rfind("Nightly.zip.", 0) == 0)
                                what += " work " + std::to_string(e.status().permissions() == (fs::perms::owner_read | fs::perms::owner_write));
                        seen.push_back(what);
                    },
                    nullptr});
    ASSERT_EQ(lib.LSZIP_INCLUDE("*.TPS"), 1);
    EXPECT_EQ(lib.LSZIP_EXECUTE("Nightly.zip", kZipAdd, 6, 0), 0);
    EXPECT_EQ(seen, (std::vector<std::string>{"KR97.TPS: work 1", "Notes.TPS: work 1"}));
    EXPECT_EQ(fs::status("Nightly.zip").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(::system("unzip -tqq Nightly.zip >/dev/null 2>&1"), 0);
    ::umask(before);
}

// An empty file at the archive's name (a killed run of an earlier version
// left one) is no archive: a backup writes a whole one over it, a restore
// from it is refused with its message and changes nothing. One that a
// program has open is left alone.
TEST_F(SafeRestoreTest, AnEmptyFileAtTheArchiveNameIsBackedUpOverAndNeverRestored) {
    MakeSettings(30);
    std::ofstream("Nightly.ZIP").close();
    fs::permissions("Nightly.ZIP", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    LauncherRun run;
    run.archiveName = "Nightly";
    EXPECT_EQ(DoBackup(run, true), 0);
    EXPECT_TRUE(responder_.shown().empty()) << responder_.shown()[0].request.text;
    EXPECT_EQ(::system("unzip -tqq Nightly.ZIP >/dev/null 2>&1"), 0);
    EXPECT_EQ(fs::status("Nightly.ZIP").permissions(), fs::perms::owner_read | fs::perms::owner_write);

    std::ofstream("Empty.zip").close();
    const std::string data = Slurp("KR97.TPS");
    responder_.clear();
    EXPECT_NE(Restore("Empty.zip"), 0);
    ASSERT_FALSE(responder_.shown().empty());
    EXPECT_THAT(responder_.shown().back().request.text, HasSubstr("Archive: Empty.zip"));
    EXPECT_THAT(responder_.shown().back().request.text, HasSubstr("Error -2:  ZIP format error"));
    EXPECT_EQ(Slurp("KR97.TPS"), data);
    EXPECT_EQ(fs::file_size("Empty.zip"), 0u);

    // Held open by a program (one that is writing it, say): not ours to replace.
    const int held = ::open("Empty.zip", O_RDONLY);
    responder_.clear();
    run.archiveName = "Empty.zip";
    EXPECT_NE(DoBackup(run, true), 0);
    EXPECT_EQ(fs::file_size("Empty.zip"), 0u);
    ::close(held);
}

// A small file system of its own, mounted for the test (root only).
class FullDiskTest : public SafeRestoreTest {
protected:
    void SetUp() override {
        SafeRestoreTest::SetUp();
        fs::create_directories("media");
        media_ = (dir_ / "media").string();
        const std::string mount = "mount -t tmpfs -o size=512k kr-full " + media_ + " 2>&1";
        if (::geteuid() != 0 || ::system(mount.c_str()) != 0)
            GTEST_SKIP() << "cannot mount a small tmpfs at " << media_ << " (needs root and mount rights)";
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) ::system(("umount " + media_).c_str());
        SafeRestoreTest::TearDown();
    }
    std::string media_;
    bool mounted_ = false;
};

// The disk of the archive fills up, while the data file is copied there or
// while the library writes: the box names the cause, the earlier archive
// stays as it was, and no copy is left.
TEST_F(FullDiskTest, ABackupToAFullDiskSaysSoAndKeepsTheEarlierArchive) {
    std::ofstream("Notes.TPS") << "small notes";
    LauncherRun run;
    run.archiveName = "media/Nightly.zip";
    ASSERT_EQ(DoBackup(run, true), 0);
    const std::string earlier = Slurp("media/Nightly.zip");

    MakeSettings(3000);  // a data file of about a megabyte: its copy does not fit
    ASSERT_GT(fs::file_size("KR97.TPS"), 700000u);
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            // Not a database: read as it is, so the library's writing fills the disk.
            fs::rename("KR97.TPS", "Data.bin");
            std::ofstream out("Notes.TPS", std::ios::binary);
            for (int i = 0; i < 800000; ++i) out.put(static_cast<char>(std::rand()));
        }
        responder_.clear();
        EXPECT_EQ(DoBackup(run, true), -50) << round;
        ASSERT_EQ(responder_.shown().size(), 1u) << round;
        const std::string text = responder_.shown()[0].request.text;
        EXPECT_THAT(text, HasSubstr("Could not create backup.\r\nNo space left on the disk holding " + media_ + "."));
        EXPECT_THAT(text, HasSubstr("Archive: media/Nightly.zip"));
        EXPECT_THAT(text, HasSubstr("Error -50:  Disk full error"));
        EXPECT_EQ(Slurp("media/Nightly.zip"), earlier) << round;
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(media_)) left.push_back(e.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"Nightly.zip"}) << round;
    }
}

}  // namespace
}  // namespace kr::backup
