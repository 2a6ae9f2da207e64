// The repair helper against damaged copies of real data files: a page of
// random bytes in the middle, a truncated file, an unreadable file and a
// file in use; and the helper program itself on a healthy encrypted file.
// Every reachable row is saved, the counts match what the new file holds,
// the new file passes integrity_check and the original is kept.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "ShareLock.h"
#include "SmallDisk.h"
#include "dictionary/Dictionary.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/Process.h"
#include "repair/RepairRun.h"
#include "repair/Salvage.h"

namespace kr::repair {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kPage = 4096;

std::string Text(int64_t row) { return "row " + std::to_string(row) + " " + std::string(90, static_cast<char>('a' + row % 26)); }

sqlite3* Open(const std::string& path, const std::string& password) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    if (!password.empty()) sqlite3_key(db, password.data(), static_cast<int>(password.size()));
    return db;
}

void Exec(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
}

// A data file as the engine lays one out: two tables with indexes and the
// catalogue.
void MakeFile(const std::string& path, const std::string& password, int rows, int small = 20, int pageSize = 4096) {
    sqlite3* db = Open(path, password);
    if (password.empty()) Exec(db, "PRAGMA page_size = " + std::to_string(pageSize));
    Exec(db, "PRAGMA journal_mode = DELETE");
    Exec(db, "BEGIN");
    Exec(db, "CREATE TABLE __tables(name TEXT PRIMARY KEY COLLATE NOCASE, version INTEGER NOT NULL DEFAULT 0, "
             "layout TEXT NOT NULL DEFAULT '')");
    Exec(db, "CREATE TABLE s(ID INTEGER NOT NULL DEFAULT 0, Description TEXT NOT NULL DEFAULT '')");
    Exec(db, "CREATE UNIQUE INDEX \"s$KeyID\" ON s(ID)");
    Exec(db, "CREATE INDEX \"s$KeyDescription\" ON s(Description COLLATE NOCASE)");
    Exec(db, "CREATE TABLE ToDo(Item TEXT NOT NULL DEFAULT '')");
    Exec(db, "CREATE INDEX \"ToDo$KeyItem\" ON ToDo(Item COLLATE NOCASE) WHERE Item <> ''");
    Exec(db, "INSERT INTO __tables VALUES('s', 11, ''), ('ToDo', 4, '')");
    for (int i = 1; i <= rows; ++i)
        Exec(db, "INSERT INTO s(rowid, ID, Description) VALUES(" + std::to_string(i) + ", " + std::to_string(i) + ", '" +
                     Text(i) + "')");
    for (int i = 1; i <= small; ++i) Exec(db, "INSERT INTO ToDo(Item) VALUES('item " + std::to_string(i) + "')");
    Exec(db, "COMMIT");
    sqlite3_close(db);
}

std::string Integrity(const std::string& path, const std::string& password) {
    sqlite3* db = Open(path, password);
    sqlite3_stmt* st = nullptr;
    std::string out = "cannot read";
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

// The rows of s in a file: rowid -> Description, all checked against what
// was written.
std::set<int64_t> RowsOf(const std::string& path, const std::string& password) {
    std::set<int64_t> rows;
    sqlite3* db = Open(path, password);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT rowid, ID, Description FROM s", -1, &st, nullptr);
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        const int64_t row = sqlite3_column_int64(st, 0);
        EXPECT_EQ(sqlite3_column_int64(st, 1), row);
        EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 2)), Text(row));
        rows.insert(row);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

uint64_t Varint(const unsigned char* p, int& used) {
    uint64_t v = 0;
    for (used = 1; used <= 9; ++used, ++p) {
        if (used == 9) return (v << 8) | *p;
        v = (v << 7) | (*p & 0x7f);
        if (!(*p & 0x80)) return v;
    }
    return v;
}

// The rowids on a table leaf page of a plain file, or empty when the page
// is something else.
std::vector<int64_t> LeafRows(const std::string& path, int page) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> b(kPage);
    in.seekg(static_cast<std::streamoff>(page - 1) * kPage);
    in.read(reinterpret_cast<char*>(b.data()), kPage);
    std::vector<int64_t> rows;
    if (b[0] != 0x0D) return rows;
    const int cells = (b[3] << 8) | b[4];
    for (int c = 0; c < cells; ++c) {
        const int at = (b[static_cast<std::size_t>(8 + 2 * c)] << 8) | b[static_cast<std::size_t>(9 + 2 * c)];
        int used = 0;
        Varint(&b[static_cast<std::size_t>(at)], used);
        int used2 = 0;
        rows.push_back(static_cast<int64_t>(Varint(&b[static_cast<std::size_t>(at + used)], used2)));
    }
    return rows;
}

void Scribble(const std::string& path, int page, int pageSize = kPage) {
    std::mt19937 random(static_cast<unsigned>(page));
    std::vector<char> junk(static_cast<std::size_t>(pageSize));
    for (char& c : junk) c = static_cast<char>(random());
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(page - 1) * pageSize);
    f.write(junk.data(), pageSize);
}

class SalvageTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kr-salvage-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        file_ = (dir_ / "KR97.TPS").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    SalvageOptions Options(const std::string& password = "") {
        SalvageOptions o;
        o.source = file_;
        o.sourcePassword = o.targetPassword = password;
        return o;
    }
    fs::path dir_;
    std::string file_;
};

TEST_F(SalvageTest, RandomPageInTheMiddleLosesOnlyItsRows) {
    MakeFile(file_, "", 3000);
    const int pages = static_cast<int>(fs::file_size(file_) / kPage);
    int victim = 0;
    std::vector<int64_t> onPage;
    for (int p = pages / 2; p < pages && onPage.empty(); ++p)
        if (!(onPage = LeafRows(file_, p)).empty()) victim = p;
    ASSERT_GT(victim, 0);
    Scribble(file_, victim);
    const std::string original = [&] {
        std::ifstream in(file_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }();

    const SalvageResult r = SalvageDataFile(Options());
    ASSERT_EQ(r.code, kSalvagePartial) << r.error;
    ASSERT_EQ(r.tables.size(), 2u);
    EXPECT_EQ(r.tables[0].table, "s");
    EXPECT_EQ(r.tables[0].lost, static_cast<int64_t>(onPage.size()));
    EXPECT_EQ(r.tables[0].saved, 3000 - static_cast<int64_t>(onPage.size()));
    EXPECT_EQ(r.tables[1].saved, 20);
    EXPECT_EQ(r.tables[1].lost, 0);
    EXPECT_EQ(Integrity(file_, ""), "ok");
    // Exactly the rows of the damaged page are missing.
    const std::set<int64_t> rows = RowsOf(file_, "");
    EXPECT_EQ(static_cast<int64_t>(rows.size()), r.tables[0].saved);
    for (int64_t row : onPage) EXPECT_FALSE(rows.count(row)) << row;
    // The original is kept byte for byte.
    ASSERT_EQ(r.keptAs, file_ + ".damaged");
    std::ifstream kept(r.keptAs, std::ios::binary);
    std::stringstream ss;
    ss << kept.rdbuf();
    EXPECT_TRUE(ss.str() == original);
    EXPECT_THAT(r.Report(file_), HasSubstr("s: " + std::to_string(r.tables[0].saved) + " records saved, " +
                                           std::to_string(onPage.size()) + " lost"));
}

TEST_F(SalvageTest, ALinkedDataFileIsRepairedWhereItLivesAndTheLinkStays) {
    const fs::path elsewhere = dir_ / "elsewhere";
    fs::create_directories(elsewhere);
    const std::string real = (elsewhere / "KR97.TPS").string();
    MakeFile(real, "", 3000);
    fs::create_symlink(real, file_);
    const int pages = static_cast<int>(fs::file_size(real) / kPage);
    int victim = 0;
    for (int p = pages / 2; p < pages && !victim; ++p)
        if (!LeafRows(real, p).empty()) victim = p;
    ASSERT_GT(victim, 0);
    Scribble(real, victim);

    const SalvageResult r = SalvageDataFile(Options());
    ASSERT_EQ(r.code, kSalvagePartial) << r.error;
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_EQ(fs::read_symlink(file_), fs::path(real));
    EXPECT_EQ(Integrity(real, ""), "ok");
    EXPECT_EQ(static_cast<int64_t>(RowsOf(file_, "").size()), r.tables[0].saved);
    // The damaged file is kept beside the one repaired; nothing is left
    // beside the link.
    EXPECT_EQ(r.keptAs, real + ".damaged");
    EXPECT_TRUE(fs::exists(r.keptAs));
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_TRUE(e.path() == file_ || e.path() == elsewhere) << e.path();
}

TEST_F(SalvageTest, RowsUnderADamagedInnerPageAreFoundOnTheirOwnPages) {
    constexpr int kSmallPage = 1024;
    MakeFile(file_, "", 3000, 20, kSmallPage);
    int root = 0;
    {
        sqlite3* db = Open(file_, "");
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = 's'", -1, &st, nullptr);
        if (sqlite3_step(st) == SQLITE_ROW) root = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    // An inner page of the table below its root.
    const int pages = static_cast<int>(fs::file_size(file_) / kSmallPage);
    int inner = 0;
    for (int p = 2; p <= pages && !inner; ++p) {
        std::ifstream in(file_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(p - 1) * kSmallPage);
        if (in.get() == 0x05 && p != root) inner = p;
    }
    ASSERT_GT(inner, 0);
    Scribble(file_, inner, kSmallPage);
    const SalvageResult r = SalvageDataFile(Options());
    EXPECT_EQ(r.code, kSalvageComplete) << r.Report(file_);
    EXPECT_EQ(r.tables[0].saved, 3000);
    EXPECT_EQ(r.tables[0].lost, 0);
    EXPECT_EQ(RowsOf(file_, "").size(), 3000u);
    EXPECT_EQ(Integrity(file_, ""), "ok");
    EXPECT_FALSE(fs::exists(file_ + ".tpsfix-pages"));
}

TEST_F(SalvageTest, TruncatedFileKeepsWhatIsLeftAndCountsIt) {
    MakeFile(file_, "", 3000);
    fs::resize_file(file_, fs::file_size(file_) / 2 / kPage * kPage);
    const SalvageResult r = SalvageDataFile(Options());
    ASSERT_NE(r.code, kSalvageFailed) << r.error;
    EXPECT_EQ(Integrity(file_, ""), "ok");
    const std::set<int64_t> rows = RowsOf(file_, "");
    EXPECT_GT(rows.size(), 0u);
    EXPECT_LT(rows.size(), 3000u);
    EXPECT_EQ(r.tables[0].saved, static_cast<int64_t>(rows.size()));
    EXPECT_LE(r.tables[0].saved + r.tables[0].lost, 3000);
    EXPECT_TRUE(fs::exists(file_ + ".damaged"));
}

TEST_F(SalvageTest, EncryptedDamageIsCountedAndTheResultOpensWithThePassword) {
    MakeFile(file_, "pw", 2000);
    // Encrypted files keep the cipher's page size.
    constexpr int kCipherPage = 1024;
    const int pages = static_cast<int>(fs::file_size(file_) / kCipherPage);
    Scribble(file_, pages / 2, kCipherPage);
    const SalvageResult r = SalvageDataFile(Options("pw"));
    ASSERT_NE(r.code, kSalvageFailed) << r.error;
    EXPECT_EQ(Integrity(file_, "pw"), "ok");
    const std::set<int64_t> rows = RowsOf(file_, "pw");
    // One page went (an inner page of the table here, a leaf at worst):
    // what was saved is what the new file holds, the indexes account for
    // every row, and only rows on the damaged page itself can be lost.
    EXPECT_EQ(r.tables[0].saved, static_cast<int64_t>(rows.size()));
    EXPECT_EQ(r.tables[0].saved + r.tables[0].lost, 2000) << r.Report(file_);
    EXPECT_LE(r.tables[0].lost, 10) << r.Report(file_);
    EXPECT_EQ(r.tables[1].saved, 20);
}

TEST_F(SalvageTest, UnreadableOrBusyFilesAreLeftAsTheyWere) {
    MakeFile(file_, "pw", 50);
    // Wrong password: nothing decrypts.
    SalvageResult r = SalvageDataFile(Options("other"));
    EXPECT_EQ(r.code, kSalvageFailed);
    EXPECT_THAT(r.error, HasSubstr("cannot be read"));
    EXPECT_FALSE(fs::exists(file_ + ".damaged"));

    // Another program has the file open (its share lock).
    const int fd = ::open(file_.c_str(), O_RDWR);
    ASSERT_EQ(test::LockShareByte(fd), 0);
    r = SalvageDataFile(Options("pw"));
    EXPECT_EQ(r.code, kSalvageFailed);
    EXPECT_THAT(r.error, HasSubstr("in use"));
    ::close(fd);
    EXPECT_FALSE(fs::exists(file_ + ".damaged"));
    EXPECT_FALSE(fs::exists(file_ + ".tpsfix-new"));
    EXPECT_EQ(RowsOf(file_, "pw").size(), 50u);
}

// A data file in a read-only folder, and one on a disk too small for the
// new file: the failure names the folder, or the full disk, in words.
TEST_F(SalvageTest, AReadOnlyFolderOrAFullDiskIsNamedAsTheCause) {
    MakeFile(file_, "", 6000);
    const auto bytes = fs::file_size(file_);
    {
        test::SmallDisk disk(dir_ / "ro");
        if (!disk.refused().empty()) GTEST_SKIP() << disk.refused();
        const std::string file = (disk.path() / "KR97.TPS").string();
        fs::copy_file(file_, file);
        ASSERT_EQ(disk.MakeReadOnly(), "");
        SalvageOptions o = Options();
        o.source = file;
        const SalvageResult r = SalvageDataFile(o);
        EXPECT_EQ(r.code, kSalvageFailed);
        EXPECT_EQ(r.error, "the new file cannot be made.  The folder " + disk.path().string() + " is read-only.");
    }
    {
        // Room for the data file and half of its copy.
        test::SmallDisk disk(dir_ / "full", std::to_string(bytes * 3 / 2 / 1024 + 16) + "k");
        ASSERT_EQ(disk.refused(), "");
        const std::string file = (disk.path() / "KR97.TPS").string();
        fs::copy_file(file_, file);
        SalvageOptions o = Options();
        o.source = file;
        const SalvageResult r = SalvageDataFile(o);
        EXPECT_EQ(r.code, kSalvageFailed);
        EXPECT_EQ(r.error,
                  "the new file cannot be written.  The disk holding the folder " + disk.path().string() + " is full.");
        EXPECT_FALSE(fs::exists(file + ".tpsfix-new"));
        EXPECT_EQ(RowsOf(file, "").size(), 6000u);
    }
}

TEST_F(SalvageTest, HelperProgramOnAHealthyFileLosesNothing) {
    const fs::path folder = dir_ / "my data.v2";
    fs::create_directory(folder);
    file_ = (folder / "KR97.TPS").string();
    MakeFile(file_, "pw", 300, 7);
    // The example file with the schema, as the repair program writes it.
    fs::copy_file(file_, (folder / "KR97.tpe").string());
    std::vector<std::string> args = FixArguments(file_, "pw");
    args.insert(args.begin(), std::string(KR_BIN_DIR) + "/tpsfix");
    StartOptions o;
    o.wait = true;
    const StartResult started = StartProgramArgs(args, o);
    ASSERT_TRUE(started.ok()) << started.message;
    EXPECT_EQ(started.exitCode, kSalvageComplete);
    std::ifstream report(FixReportName(file_));
    std::stringstream text;
    text << report.rdbuf();
    EXPECT_THAT(text.str(), HasSubstr("Total: 307 records saved, 0 lost"));
    // Nothing was damaged: the kept copy is named for what it is.
    EXPECT_THAT(text.str(), HasSubstr("The file as it was before the repair is kept as " + file_ + ".damaged\n"));
    EXPECT_THAT(text.str(), Not(HasSubstr("damaged file")));
    EXPECT_EQ(Integrity(file_, "pw"), "ok");
    EXPECT_EQ(RowsOf(file_, "pw").size(), 300u);
    EXPECT_TRUE(fs::exists(file_ + ".damaged"));

    // The command line as the repair program writes it.
    std::string error;
    auto parsed = ParseFixCommandLine(FixArguments(file_, "pw"), &error);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->source, file_);
    EXPECT_EQ(parsed->sourcePassword, "pw");
    EXPECT_EQ(parsed->target, "");
    EXPECT_EQ(parsed->targetPassword, "pw");
    EXPECT_EQ(parsed->example, (folder / "KR97.tpe").string());
    EXPECT_TRUE(parsed->keep);
    EXPECT_FALSE(ParseFixCommandLine({"/K"}, &error));
}

TEST_F(SalvageTest, TheHelpersReportIsTheOwnersAloneUnderAnyUmask) {
    MakeFile(file_, "pw", 20);
    std::vector<std::string> args = FixArguments(file_, "pw");
    args.insert(args.begin(), std::string(KR_BIN_DIR) + "/tpsfix");
    StartOptions o;
    o.wait = true;
    const mode_t umask = ::umask(022);  // the helper inherits it
    const StartResult started = StartProgramArgs(args, o);
    ::umask(umask);
    ASSERT_TRUE(started.ok()) << started.message;
    ASSERT_EQ(started.exitCode, kSalvageComplete);
    struct stat st {};
    ASSERT_EQ(::stat(FixReportName(file_).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "the report names the data file's tables and folder";
}

TEST_F(SalvageTest, RowsNoIndexListsOnADamagedPageAreNotReportedAsSafe) {
    MakeFile(file_, "", 300);
    // To-do rows with an empty item: its only index leaves them out.
    {
        sqlite3* db = Open(file_, "");
        Exec(db, "BEGIN");
        for (int i = 0; i < 2000; ++i) Exec(db, "INSERT INTO ToDo(Item) VALUES('')");
        Exec(db, "COMMIT");
        sqlite3_close(db);
    }
    // The last table page of the file is one of the to-do table's.
    const int pages = static_cast<int>(fs::file_size(file_) / kPage);
    int victim = 0;
    for (int p = pages; p > 1 && !victim; --p)
        if (LeafRows(file_, p).size() > 100) victim = p;
    ASSERT_GT(victim, 0);
    Scribble(file_, victim);

    const SalvageResult r = SalvageDataFile(Options());
    EXPECT_EQ(r.code, kSalvagePartial) << r.Report(file_);
    EXPECT_GE(r.uncountedPages(), 1);
    EXPECT_THAT(r.Report(file_), HasSubstr(" damaged page"));
    EXPECT_THAT(r.Report(file_), HasSubstr("may be lost"));
    EXPECT_EQ(Integrity(file_, ""), "ok");
}

// Row IDs of a table in a file, read however far the file lets.
std::set<int64_t> RowIds(const std::string& path, const std::string& table) {
    std::set<int64_t> rows;
    sqlite3* db = Open(path, "");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, ("SELECT rowid FROM " + table).c_str(), -1, &st, nullptr);
    while (st && sqlite3_step(st) == SQLITE_ROW)
        rows.insert(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

TEST_F(SalvageTest, ReportNeverCountsBelowWhatDamagedPagesMayHaveTaken) {
    constexpr int kSmallPage = 1024;
    MakeFile(file_, "", 3001, 20, kSmallPage);
    const std::string undamaged = (dir_ / "undamaged.TPS").string();
    fs::copy_file(file_, undamaged);
    // 50 pages past the first third, of the table and of its indexes alike,
    // so the indexes cannot account for every row that went.
    const int pages = static_cast<int>(fs::file_size(file_) / kSmallPage);
    int scribbled = 0;
    for (int p = pages / 3; p < pages && scribbled < 50; p += 7, ++scribbled)
        Scribble(file_, p, kSmallPage);
    ASSERT_EQ(scribbled, 50);

    const SalvageResult r = SalvageDataFile(Options());
    ASSERT_EQ(r.code, kSalvagePartial) << r.error;
    ASSERT_EQ(Integrity(file_, ""), "ok");
    const std::string report = r.Report(file_);
    int64_t goneTotal = 0;
    for (const TableSalvage& t : r.tables) {
        const std::set<int64_t> before = RowIds(undamaged, t.table), after = RowIds(file_, t.table);
        const int64_t gone = static_cast<int64_t>(before.size()) - static_cast<int64_t>(after.size());
        goneTotal += gone;
        EXPECT_EQ(t.saved, static_cast<int64_t>(after.size())) << t.table;
        EXPECT_LE(t.lost, gone) << t.table;
        if (t.table == "s") {
            ASSERT_GT(gone, t.lost) << "the damage must take rows no index lists:\n" << report;
        }
        // More went than the indexes could count: the line must not read as the loss.
        if (gone > t.lost) {
            ASSERT_GT(t.uncountedPages, 0) << t.table << "\n" << report;
        }
        if (t.uncountedPages > 0) {
            EXPECT_THAT(report,
                        HasSubstr(t.table + ": " + std::to_string(t.saved) + " records saved, at least " +
                                  std::to_string(t.lost) + " lost; rows on " +
                                  std::to_string(t.uncountedPages) + " damaged page" +
                                  (t.uncountedPages == 1 ? "" : "s") + " of this table may be lost too\n"));
        } else {
            EXPECT_THAT(report, HasSubstr(t.table + ": " + std::to_string(t.saved) + " records saved, " +
                                          std::to_string(t.lost) + " lost\n"));
        }
    }
    EXPECT_GT(goneTotal, r.lost());
    EXPECT_THAT(report, HasSubstr("Total: " + std::to_string(r.saved()) + " records saved, at least " +
                                  std::to_string(r.lost()) + " lost; rows on " +
                                  std::to_string(r.uncountedPages()) + " damaged pages may be lost too\n"));
}

TEST_F(SalvageTest, RebuiltFileKeepsTheModeAndOnlyRegularFilesAreRead) {
    MakeFile(file_, "pw", 50);
    ASSERT_EQ(::chmod(file_.c_str(), 0600), 0);
    const mode_t umask = ::umask(022);
    SalvageResult r = SalvageDataFile(Options("pw"));
    ::umask(umask);
    ASSERT_EQ(r.code, kSalvageComplete) << r.error;
    struct stat st {};
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "others may not read the rebuilt data file";
    // The kept original is the original file itself, under a second name.
    struct stat kept {};
    ASSERT_EQ(::stat(r.keptAs.c_str(), &kept), 0);
    EXPECT_EQ(kept.st_mode & 07777, 0600u);

    // A pipe named like the data file is refused at once, not waited on.
    const std::string pipe = (dir_ / "pipe.TPS").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    auto done = std::make_shared<std::promise<SalvageResult>>();
    std::future<SalvageResult> answer = done->get_future();
    SalvageOptions o = Options("pw");
    o.source = pipe;
    std::thread([o, done] { done->set_value(SalvageDataFile(o)); }).detach();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "tpsfix waits on a pipe";
    r = answer.get();
    EXPECT_EQ(r.code, kSalvageFailed);
    EXPECT_THAT(r.error, HasSubstr("not a regular file"));
    // So is a folder.
    fs::create_directory(dir_ / "folder.TPS");
    o.source = (dir_ / "folder.TPS").string();
    EXPECT_EQ(SalvageDataFile(o).code, kSalvageFailed);
}


// A real data file of 3,000 tasks, some with messages longer than a page,
// and the example file the repair program writes for it.
class DamagedSchemaTest : public SalvageTest {
protected:
    void SetUp() override {
        SalvageTest::SetUp();
        previous_ = fs::current_path();
        fs::current_path(dir_);
        DictionaryInitRepairProgram();
        data::Table& t = data::TableOf(ScheduleDef());
        ASSERT_EQ(t.Create(), 0);
        ASSERT_EQ(t.Open(), 0);
        auto& r = t.Rec<Schedule>();
        ASSERT_EQ(data::Logout({&t}), 0);
        for (int i = 1; i <= kTasks; ++i) {
            t.Clear();
            r.ID = i;
            r.Description = "Task " + std::to_string(i);
            r.Command = "run-" + std::to_string(i * 7);
            r.Date = 80000 + i;
            r.Message = MessageOf(i);
            ASSERT_EQ(t.Add(), 0);
        }
        ASSERT_EQ(data::Commit(), 0);
        ASSERT_NE(data::ds_MakeTPE(t), "1");
        t.Close();
        DictionaryKill();
        data::CloseIdleFiles();
        example_ = (dir_ / "KR97.tpe").string();
        ASSERT_TRUE(fs::exists(example_));
    }
    void TearDown() override {
        fs::current_path(previous_);
        SalvageTest::TearDown();
    }
    static std::string MessageOf(int i) {
        return i % 10 == 0 ? std::string(1500 + i % 7, static_cast<char>('a' + i % 26)) : "note " + std::to_string(i);
    }
    // Writes random bytes over the file from `from` to the end of page `to`.
    void Overwrite(std::size_t from, int to) {
        std::mt19937 random(7);
        std::vector<char> junk(static_cast<std::size_t>(to) * 1024 - from);
        for (char& c : junk) c = static_cast<char>(random());
        std::fstream f(file_, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(static_cast<std::streamoff>(from));
        f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    SalvageOptions WithExample() {
        SalvageOptions o = Options(kOwnerPassword);
        o.example = example_;
        o.examplePassword = kOwnerPassword;
        return o;
    }
    static constexpr int kTasks = 3000;
    fs::path previous_;
    std::string example_;
};

TEST_F(DamagedSchemaTest, TheExampleFilesTablesTakeTheRowsReadFromTheDamagedPages) {
    Overwrite(16, 3);
    // SQLite itself can no longer read the file.
    EXPECT_EQ(Integrity(file_, kOwnerPassword), "cannot read");

    const SalvageResult r = SalvageDataFile(WithExample());
    ASSERT_NE(r.code, kSalvageFailed) << r.error;
    EXPECT_TRUE(r.fromPages);
    const std::string report = r.Report(file_);
    // The schedule's SQL table is "s".
    EXPECT_THAT(report, HasSubstr("s: 3000 records saved, 0 lost\n")) << report;
    EXPECT_EQ(r.code, kSalvageComplete) << report;
    EXPECT_THAT(report, HasSubstr("read page by page"));
    EXPECT_EQ(Integrity(file_, kOwnerPassword), "ok");
    EXPECT_TRUE(fs::exists(file_ + ".damaged"));

    // The engine opens the new file and reads every task as it was stored.
    DictionaryInitRepairProgram();
    data::Table& t = data::TableOf(ScheduleDef());
    ASSERT_EQ(t.Open(), 0) << data::LastErrorDisplay();
    EXPECT_EQ(t.Records(), kTasks);
    auto& rec = t.Rec<Schedule>();
    int seen = 0;
    ASSERT_EQ(t.Set(&ScheduleDef().keys.front()), 0);
    while (t.Next() == 0) {
        ++seen;
        const int i = rec.ID;
        ASSERT_EQ(rec.Description.str(), "Task " + std::to_string(i));
        ASSERT_EQ(rec.Command.str(), "run-" + std::to_string(i * 7));
        ASSERT_EQ(rec.Date, 80000 + i);
        ASSERT_EQ(rec.Message, MessageOf(i)) << i;
    }
    EXPECT_EQ(seen, kTasks);
    t.Close();
    DictionaryKill();
    data::CloseIdleFiles();
}

TEST_F(DamagedSchemaTest, LeavesUnderADamagedRootGoToTheTableTheirRowsFitAndLossIsCountedByTheIndexes) {
    int root = 0;
    {
        sqlite3* db = Open(file_, kOwnerPassword);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = 's'", -1, &st, nullptr);
        if (sqlite3_step(st) == SQLITE_ROW) root = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    ASSERT_GT(root, 3);
    Overwrite(16, 3);
    // The table's root, and one page in the middle of the file: a leaf, an
    // index page or a message's overflow page.
    const int pages = static_cast<int>(fs::file_size(file_) / 1024);
    Scribble(file_, root, 1024);
    Scribble(file_, pages / 2, 1024);

    const SalvageResult r = SalvageDataFile(WithExample());
    ASSERT_NE(r.code, kSalvageFailed) << r.error;
    ASSERT_EQ(r.tables.size(), 1u);
    const TableSalvage& t = r.tables[0];
    EXPECT_EQ(t.saved + t.lost, kTasks) << r.Report(file_);
    EXPECT_GT(t.saved, kTasks - 50);
    EXPECT_EQ(Integrity(file_, kOwnerPassword), "ok");
    sqlite3* db = Open(file_, kOwnerPassword);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*), count(DISTINCT ID), min(ID), max(ID) FROM s", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int64(st, 0), t.saved);
    EXPECT_EQ(sqlite3_column_int64(st, 1), t.saved);
    EXPECT_GE(sqlite3_column_int64(st, 2), 1);
    EXPECT_LE(sqlite3_column_int64(st, 3), kTasks);
    sqlite3_finalize(st);
    sqlite3_close(db);
    EXPECT_THAT(r.Report(file_), HasSubstr("s: " + std::to_string(t.saved) + " records saved, " +
                                           std::to_string(t.lost) + " lost\n"));
}

TEST_F(DamagedSchemaTest, WithoutAnExampleOrWithItsSaltGoneTheFileIsLeftAndTheReasonSaid) {
    Overwrite(16, 3);
    const auto before = fs::file_size(file_);
    SalvageResult r = SalvageDataFile(Options(kOwnerPassword));
    EXPECT_EQ(r.code, kSalvageFailed);
    EXPECT_THAT(r.Report(file_), HasSubstr("an example file of the data file is needed"));
    EXPECT_FALSE(fs::exists(file_ + ".damaged"));

    // The first 16 bytes hold the salt the key is made from.
    Overwrite(0, 1);
    r = SalvageDataFile(WithExample());
    EXPECT_EQ(r.code, kSalvageFailed);
    EXPECT_THAT(r.Report(file_), HasSubstr("the first 16 bytes of the file, which hold the salt"));
    EXPECT_FALSE(fs::exists(file_ + ".damaged"));
    EXPECT_FALSE(fs::exists(file_ + ".tpsfix-new"));
    EXPECT_EQ(fs::file_size(file_), before);
}

}  // namespace
}  // namespace kr::repair
