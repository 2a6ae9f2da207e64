// Files: names, encryption, open modes across programs, and every kind of
// bad input the engine meets, each an error code and nothing lost.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <sqlite3.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <future>
#include <set>
#include <thread>

#include "DataFixture.h"
#include "platform/data/DataFileCheck.h"
#include "platform/data/Names.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr::test {
namespace {

class FilesTest : public DataTest {
protected:
    void Fill(Table& t, int n) {
        for (int i = 1; i <= n; ++i) {
            t.Clear();
            Person& p = t.Rec<Person>();
            p.ID = i;
            p.Name = "n" + std::to_string(i);
            p.City = p.Name.str();
            p.Code = p.Name.str();
            ASSERT_EQ(t.Add(), 0);
        }
    }
    std::string Helper() const { return std::string(KR_BIN_DIR) + "/kr_data_helper"; }
    std::string Sqlcipher(const std::string& file, const std::string& sql) {
        return Shell("sqlcipher " + path(file) + " \"" + sql + "\" 2>&1");
    }
};

TEST_F(FilesTest, NamesSplitAndResolveWithoutRegardToCase) {
    TableName a = SplitTableName("kr97\\!s");
    EXPECT_EQ(a.file, "kr97.TPS");
    EXPECT_EQ(a.table, "s");
    EXPECT_TRUE(a.multiTable);
    TableName b = SplitTableName("Kr97.TPS\\!Contact");
    EXPECT_EQ(b.file, "Kr97.TPS");
    EXPECT_EQ(b.table, "Contact");
    TableName c = SplitTableName("MSGLINK");
    EXPECT_EQ(c.file, "MSGLINK.TPS");
    EXPECT_EQ(c.table, "MSGLINK");
    EXPECT_FALSE(c.multiTable);
    EXPECT_EQ(SplitTableName("SyncSch.syn").table, "SyncSch");
    EXPECT_EQ(SplitTableName(".\\sub\\KR98Evnt.LOG", Driver::Ascii).file, "sub/KR98Evnt.LOG");

    // New files take the registered spelling; existing ones are found
    // whatever the case of the name asked for.
    RegisterFileSpelling("KRTpl");
    EXPECT_EQ(ResolveFilePath("krtpl.tps"), "KRTpl.TPS");
    std::ofstream("kR97.tPs") << "x";
    EXPECT_EQ(ResolveFilePath("KR97.TPS"), "kR97.tPs");
    EXPECT_EQ(ResolveFilePath("kr97.tps"), "kR97.tPs");
    EXPECT_TRUE(FileExists("Kr97.TPS"));
}

TEST_F(FilesTest, TablesOfOneFileShareItAndFindItInAnyCase) {
    Table& people = Fresh(PersonDef());
    Table& items = Fresh(ItemDef());
    Fill(people, 3);
    EXPECT_EQ(people.FilePath(), items.FilePath());
    people.Close();
    people.SetName("PEOPLE\\!PERSON");
    ASSERT_EQ(people.Open(), 0);
    EXPECT_EQ(people.Records(), 3);
    EXPECT_NE(people.DiskName().find("People.TPS\\!PERSON"), std::string::npos);
    // A second open of an open table: 52, counted.
    EXPECT_EQ(people.Open(), kFileAlreadyOpen);
    people.Close();
    EXPECT_TRUE(people.IsOpen());
    people.Close();
    EXPECT_FALSE(people.IsOpen());
    EXPECT_EQ(people.Next(), kFileNotOpen);
}

TEST_F(FilesTest, RemovingATableKeepsTheFilesOtherTablesAndTheLastTakesTheFile) {
    Table& people = Fresh(PersonDef());
    Table& items = Fresh(ItemDef());
    Fill(people, 3);
    items.Rec<Item>().Owner = 1;
    items.Rec<Item>().Text = "first";
    ASSERT_EQ(items.Add(), 0);
    EXPECT_EQ(items.Remove(), kFileAlreadyOpen);
    items.Close();
    people.Close();

    ASSERT_EQ(items.Remove(), 0) << LastFileErrorText();
    ASSERT_TRUE(std::filesystem::exists(path("People.TPS")));
    ASSERT_EQ(people.Open(), 0);
    EXPECT_EQ(people.Records(), 3);
    people.Close();
    EXPECT_NE(items.Open(), 0) << "the removed table is gone from the file";
    ASSERT_EQ(items.Create(), 0);
    ASSERT_EQ(items.Open(), 0);
    EXPECT_EQ(items.Records(), 0);
    items.Close();
    ASSERT_EQ(items.Remove(), 0);

    // The last table, named in another case: the file and its journal go.
    people.SetName("PEOPLE\\!PERSON");
    ASSERT_EQ(people.Remove(), 0) << LastFileErrorText();
    EXPECT_FALSE(std::filesystem::exists(path("People.TPS")));
    EXPECT_FALSE(std::filesystem::exists(path("People.TPS-journal")));
    EXPECT_EQ(people.Remove(), kFileNotFound);
    ASSERT_EQ(people.Create(), 0);
    ASSERT_EQ(people.Open(), 0);
    EXPECT_EQ(people.Records(), 0) << "a file made again starts empty";
}

TEST_F(FilesTest, AFileRenamedOverAnOpenOneIsNamedAndTakenOnlyOnceNoTableHoldsTheOld) {
    Table& people = Fresh(PersonDef());
    Table& items = Fresh(ItemDef());
    Fill(people, 3);
    items.Close();
    // A copy of three people renamed over the file, as a sync tool puts
    // one back; the file the process has open gets a fourth meanwhile.
    std::filesystem::copy_file(path("People.TPS"), path("People.new"));
    people.Clear();
    people.Rec<Person>().ID = 4;
    people.Rec<Person>().Name = "n4";
    ASSERT_EQ(people.Add(), 0);
    ASSERT_EQ(::rename(path("People.new").c_str(), path("People.TPS").c_str()), 0);
    const std::string before = Shell("cat " + path("People.TPS") + " | md5sum");
    auto named = [] {
        for (const std::string& f : ReplacedDataFiles())
            if (f.size() >= 11 && f.compare(f.size() - 11, 11, "/People.TPS") == 0) return true;
        return false;
    };
    EXPECT_TRUE(named());

    // While a table has the old file open, every table stays on it: a
    // second table opened now, and its write goes to neither file.
    ASSERT_EQ(items.Open(), 0);
    EXPECT_EQ(items.Records(), 0);
    items.Rec<Item>().Owner = 1;
    items.Rec<Item>().Text = "lost";
    EXPECT_EQ(items.Add(), kAccessDenied);
    EXPECT_EQ(people.Records(), 4);
    items.Close();
    people.Close();
    EXPECT_EQ(Shell("cat " + path("People.TPS") + " | md5sum"), before) << "the new file was written to";

    // With no table on the old file, the next open takes the new one; it
    // stays named as replaced.
    ASSERT_EQ(people.Open(), 0);
    EXPECT_EQ(people.Records(), 3);
    people.Clear();
    people.Rec<Person>().ID = 5;
    people.Rec<Person>().Name = "n5";
    EXPECT_EQ(people.Add(), 0) << LastFileErrorText();
    EXPECT_TRUE(named());
}

TEST_F(FilesTest, OwnerPasswordEncryptsAndPlainFilesOpenWithout) {
    SetKeyDerivationIterations(0);  // the shell uses SQLCipher's default
    Table& people = Fresh(PersonDef());
    Fill(people, 2);
    people.Close();
    // Without the password the file is unreadable; with it, the tables,
    // columns and catalogue are there.
    EXPECT_NE(Sqlcipher("People.TPS", "SELECT count(*) FROM Person;").find("not a database"), std::string::npos);
    std::string out = Sqlcipher("People.TPS", "PRAGMA key='s3cret!pw'; SELECT Name, City FROM Person ORDER BY ID; "
                                              "SELECT name, version FROM __tables;");
    EXPECT_NE(out.find("n1|n1"), std::string::npos) << out;
    EXPECT_NE(out.find("Person|1"), std::string::npos) << out;
    std::ifstream raw(path("People.TPS"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(raw)), {});
    EXPECT_EQ(bytes.find("SQLite format 3"), std::string::npos);
    EXPECT_EQ(bytes.find("CREATE TABLE"), std::string::npos);

    // A table without an owner is a plain file.
    Table& cat = Fresh(CategoryDef());
    cat.Rec<Category>().Name = "Home";
    ASSERT_EQ(cat.Add(), 0);
    cat.Close();
    EXPECT_NE(Sqlcipher("Work.TPS", "SELECT Name FROM Cat;").find("Home"), std::string::npos);
}

TEST_F(FilesTest, WrongPasswordAndNonDataFilesAreErrorsNotCrashes) {
    Table& people = Fresh(PersonDef());
    Fill(people, 2);
    people.Close();
    CloseIdleFiles();
    // The same file read as a table with another owner password.
    TableDef other = PersonDef();
    other.ownerPassword = "wrong";
    Table wrong(other);
    EXPECT_EQ(wrong.Open(), kDriverError);
    EXPECT_NE(LastFileErrorText().find("password"), std::string::npos);
    // A text file under a data file's name.
    std::ofstream("Text.TPS") << "this is not a data file\r\n";
    TableDef text = PersonDef();
    text.storedAs = "Text\\!Person";
    Table t(text);
    EXPECT_EQ(t.Open(), kNotADataFile);
    EXPECT_EQ(LastErrorText(), ErrorText(kNotADataFile));
    // A missing table in an existing file, and a missing file.
    TableDef missing = PersonDef();
    missing.storedAs = "People\\!Nobody";
    Table m(missing);
    EXPECT_EQ(m.Open(), kFileNotFound);
    TableDef nofile = PersonDef();
    nofile.storedAs = "Absent\\!Person";
    Table n(nofile);
    EXPECT_EQ(n.Open(), kFileNotFound);
    // The good file is untouched by all of this.
    ASSERT_EQ(people.Open(), 0);
    EXPECT_EQ(people.Records(), 2);
}

TEST_F(FilesTest, DamagedFileAndDamagedKeyGiveTheirCodes) {
    Table& cat = Fresh(CategoryDef());
    cat.Rec<Category>().Name = "a";
    cat.Add();
    cat.Close();
    CloseIdleFiles();
    // A key whose index is gone must be rebuilt; BUILD mends it.
    Sqlcipher("Work.TPS", "DROP INDEX \\\"Cat\\$KeyName\\\";");
    EXPECT_EQ(cat.Open(), kKeyMustBeRebuilt);
    ASSERT_EQ(cat.Build(), 0);
    ASSERT_EQ(cat.Open(), 0);
    EXPECT_EQ(cat.Records(), 1);
    cat.Close();
    CloseIdleFiles();
    // Garbage over the file's pages: an error code, not a crash.
    {
        int fd = ::open(path("Work.TPS").c_str(), O_WRONLY);
        std::string junk(4096, '\x5a');
        ASSERT_EQ(::pwrite(fd, junk.data(), junk.size(), 0), 4096);
        ::close(fd);
    }
    int e = cat.Open();
    EXPECT_TRUE(e == kNotADataFile || e == kDriverError) << e;
}

TEST_F(FilesTest, PermissionDeniedAndReadOnly) {
    Table& cat = Fresh(CategoryDef());
    cat.Close();
    CloseIdleFiles();
    ::chmod(folder_.c_str(), 0777);
    ::chmod(path("Work.TPS").c_str(), 0444);
    // Root reads every file: the checks run as an ordinary user then.
    auto checks = [&]() -> int {
        Table& t = TableOf(CategoryDef());
        if (t.Open(kModeShared) != kAccessDenied) return 10;
        if (t.Open(kModeReadShared) != 0) return 11;
        if (t.Records() != 0) return 12;
        if (t.Add() != kAccessDenied) return 13;
        t.Close();
        CloseIdleFiles();
        ::chmod(path("Work.TPS").c_str(), 0);
        if (t.Open(kModeReadShared) != kAccessDenied) return 14;
        return 0;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(checks(), 0);
    } else {
        ::chown(path("Work.TPS").c_str(), 65534, 65534);
        pid_t pid = ::fork();
        if (pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
            ::_exit(checks());
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    ::chmod(path("Work.TPS").c_str(), 0644);
}

TEST_F(FilesTest, FullDiskRollsTheWriteBack) {
    Table& people = Fresh(PersonDef());
    Fill(people, 5);
    people.Close();
    CloseIdleFiles();
    // A child process whose files may not grow: its big write fails.
    pid_t pid = ::fork();
    if (pid == 0) {
        struct rlimit rl {};
        struct stat st {};
        ::stat("People.TPS", &st);
        rl.rlim_cur = rl.rlim_max = static_cast<rlim_t>(st.st_size);
        ::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &rl);
        Table& t = TableOf(PersonDef());
        if (t.Open()) ::_exit(1);
        if (Logout({&t})) ::_exit(2);
        for (int i = 100; i < 600; ++i) {
            t.Clear();
            t.Rec<Person>().ID = i;
            t.Rec<Person>().Name = std::string(20, 'x');
            t.Rec<Person>().City = std::to_string(i);
            t.Rec<Person>().Code = std::to_string(i);
            t.Rec<Person>().Notes = std::string(100, 'y');
            if (t.Add()) ::_exit(3);
        }
        int e = Commit();
        ::_exit(e ? 10 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0) << "the writes should not fit";
    EXPECT_NE(WEXITSTATUS(status), 1);
    ASSERT_EQ(people.Open(), 0);
    EXPECT_EQ(people.Records(), 5);
}

TEST_F(FilesTest, ExclusiveOpenLocksOtherProgramsOutUntilClosed) {
    Table& people = Fresh(PersonDef());
    Fill(people, 1);
    people.Close();
    // The helper opens the file exclusively and waits.
    int toChild[2], fromChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(fromChild), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(toChild[0], 0);
        ::dup2(fromChild[1], 1);
        ::close(toChild[1]);
        ::close(fromChild[0]);
        ::execl(Helper().c_str(), "kr_data_helper", "hold-exclusive", folder_.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    char buf[16] = {};
    ASSERT_GT(::read(fromChild[0], buf, sizeof buf), 0);
    ASSERT_EQ(std::string(buf, 5), "ready");
    EXPECT_EQ(people.Open(), kFileLocked);
    EXPECT_EQ(people.Open(kModeExclusive), kFileLocked);
    // With "Recover=" the open waits for the other program to let go.
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::close(toChild[1]);
    });
    people.Send("RECOVER=5");
    EXPECT_EQ(people.Open(), 0);
    release.join();
    people.Send("RECOVER=0");
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(fromChild[0]);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Open shared here, an exclusive open elsewhere is refused.
    std::string out = Shell(Helper() + " hold-exclusive " + folder_ + " </dev/null; echo rc=$?");
    EXPECT_NE(out.find("rc=32"), std::string::npos) << out;
}

TEST_F(FilesTest, TwoProgramsAddingAtOnceLoseNothing) {
    Table& people = Fresh(PersonDef());
    people.Close();
    std::string cmd = Helper() + " add " + folder_ + " 300 a & " + Helper() + " add " + folder_ +
                      " 300 b & wait %1; r1=$?; wait %2; echo rc=$r1,$?";
    std::string out = Shell(cmd);
    EXPECT_NE(out.find("rc=0,0"), std::string::npos) << out;
    ASSERT_EQ(people.Open(), 0);
    EXPECT_EQ(people.Records(), 600);
    // Every number given once, 1 to 600.
    std::set<int> ids;
    people.Set(PersonDef().key("PER:KeyID"));
    while (people.Next() == 0) ids.insert(people.Rec<Person>().ID);
    EXPECT_EQ(ids.size(), 600u);
    EXPECT_EQ(*ids.begin(), 1);
    EXPECT_EQ(*ids.rbegin(), 600);
}

TEST_F(FilesTest, WorkerThreadsShareTheConnectionSafely) {
    Table& people = Fresh(PersonDef());
    Fill(people, 10);
    // Two OS threads, each its own procedure thread, writing and reading the
    // one connection at once; then a transaction on one while the other
    // writes (it waits for the commit).
    std::vector<std::thread> workers;
    std::atomic<int> failures{0};
    for (int w = 0; w < 2; ++w) {
        workers.emplace_back([&, w] {
            int thread = NewProcedureThreadNumber();
            ProcedureThreadScope scope(thread);
            if (w == 0 && Logout({&people})) ++failures;
            for (int i = 0; i < 100; ++i) {
                people.Clear();
                Person& p = people.Rec<Person>();
                p.Name = "w" + std::to_string(w);
                p.City = p.Code = "w" + std::to_string(w) + "-" + std::to_string(i);
                if (people.AddAutoNumbered(PersonDef().key("PER:KeyID"))) ++failures;
                people.Set(PersonDef().key("PER:KeyName"));
                if (people.Next()) ++failures;
            }
            if (w == 0 && Commit()) ++failures;
            EndProcedureThread(thread);
        });
    }
    for (auto& t : workers) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(people.Records(), 210);
}

TEST_F(FilesTest, HoldsAreSeenByOtherHoldersAndReleased) {
    Table& people = Fresh(PersonDef());
    Fill(people, 2);
    people.Set(nullptr);
    ASSERT_EQ(people.Next(), 0);
    ASSERT_EQ(people.Hold(), 0);
    EXPECT_EQ(people.Send("HELD"), "ON");
    {
        ProcedureThreadScope other(77);
        people.Set(nullptr);
        ASSERT_EQ(people.Next(), 0);
        EXPECT_EQ(people.Hold(), kRecordHeld);
    }
    ASSERT_EQ(people.Release(), 0);
    EXPECT_EQ(people.Send("HELD"), "OFF");
    {
        ProcedureThreadScope other(77);
        EXPECT_EQ(people.Hold(), 0);
    }
    // A hold left by a program that ended stops counting, and reading with
    // RECOVER set clears its mark.
    EndProcedureThread(77);
    ASSERT_EQ(people.Hold(), 0);
    people.Close();
    CloseIdleFiles();
    pid_t pid = ::fork();
    if (pid == 0) {
        Table& t = TableOf(PersonDef());
        t.Open();
        t.Set(nullptr);
        t.Next();
        ::_exit(t.Hold() == 0 ? 0 : 1);  // ends without releasing
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(people.Open(), 0);
    people.Set(nullptr);
    ASSERT_EQ(people.Next(), 0);
    EXPECT_EQ(people.Send("HELD"), "ON");
    EXPECT_EQ(people.Hold(), 0);
    people.Release();
    people.Send("RECOVER=1");
    ASSERT_EQ(people.Reget(people.GetPosition()), 0);
    EXPECT_EQ(people.Send("HELD"), "OFF");
    people.Send("RECOVER=0");
}

TEST_F(FilesTest, CachedPagesAreGivenBackReadAgainAndAWriterIsNotWaitedFor) {
    Table& people = Fresh(PersonDef());
    ASSERT_EQ(Logout({&people}), 0);
    Fill(people, 3000);
    ASSERT_EQ(Commit(), 0);
    auto readAll = [&] {
        int n = 0;
        people.Set(PersonDef().key("PER:KeyName"));
        while (people.Next() == 0) ++n;
        return n;
    };
    ASSERT_EQ(readAll(), 3000);
    const sqlite3_int64 cached = sqlite3_memory_used();
    // The first call sees the rows just written: the connection is busy.
    ReleaseCachedPages();
    EXPECT_GT(sqlite3_memory_used(), cached - 100 * 1024) << "a busy connection gave back its pages";
    ReleaseCachedPages();
    EXPECT_LT(sqlite3_memory_used(), cached - 100 * 1024) << "the pages read stay cached";
    EXPECT_EQ(readAll(), 3000);
    // A write between two calls (an import between its commits) keeps them.
    people.Clear();
    people.Rec<Person>().ID = 3002;
    people.Rec<Person>().Code = people.Rec<Person>().City = "3002";
    ASSERT_EQ(people.Add(), 0);
    ASSERT_EQ(readAll(), 3001);
    const sqlite3_int64 reread = sqlite3_memory_used();
    ReleaseCachedPages();
    EXPECT_GT(sqlite3_memory_used(), reread - 100 * 1024) << "a connection that wrote gave back its pages";

    // A writer on another thread holds the connection for its transaction:
    // the release passes it by at once instead of waiting for the commit.
    std::promise<void> inTransaction, released;
    std::thread writer([&] {
        int thread = NewProcedureThreadNumber();
        ProcedureThreadScope scope(thread);
        Logout({&people});
        people.Clear();
        people.Rec<Person>().ID = 3001;
        people.Rec<Person>().Code = people.Rec<Person>().City = "3001";
        people.Add();
        inTransaction.set_value();
        released.get_future().wait();
        Commit();
        EndProcedureThread(thread);
    });
    inTransaction.get_future().wait();
    auto release = std::async(std::launch::async, [] { ReleaseCachedPages(); });
    const bool returned = release.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    released.set_value();
    writer.join();
    EXPECT_TRUE(returned) << "the release waited for the writer's commit";
    EXPECT_EQ(people.Records(), 3002);
}

TEST_F(FilesTest, TransactionsCommitOrLeaveEverythingAsItWas) {
    Table& people = Fresh(PersonDef());
    Table& items = Fresh(ItemDef());
    Fill(people, 1);
    ASSERT_EQ(Logout({&people, &items}), 0);
    EXPECT_EQ(Logout({&people}), kTransactionActive);
    people.Clear();
    people.Rec<Person>().ID = 2;
    people.Rec<Person>().Code = "2";
    people.Rec<Person>().City = "2";
    ASSERT_EQ(people.Add(), 0);
    items.Rec<Item>().Owner = 1;
    ASSERT_EQ(items.AddAutoNumbered(ItemDef().key("ITM:KeySeq")), 0);
    ASSERT_EQ(Rollback(), 0);
    EXPECT_EQ(people.Records(), 1);
    EXPECT_EQ(items.Records(), 0);
    EXPECT_EQ(Commit(), kNoTransaction);
    ASSERT_EQ(Logout({&people}), 0);
    ASSERT_EQ(people.Add(), 0);
    ASSERT_EQ(Commit(), 0);
    EXPECT_EQ(people.Records(), 2);
}

TEST_F(FilesTest, BuildPackStatisticsAndTheExampleFile) {
    Table& people = Fresh(PersonDef());
    Fill(people, 50);
    people.Set(nullptr);
    for (int i = 0; i < 25 && people.Next() == 0; ++i) people.Delete();
    people.Close();
    std::vector<int> percents;
    ASSERT_EQ(people.Build([&](int pct, const KeyDef*) {
        percents.push_back(pct);
        return true;
    }), 0);
    EXPECT_EQ(percents.back(), 100);
    EXPECT_GE(percents.size(), PersonDef().keys.size());
    // A cancelled build leaves the keys as they were.
    EXPECT_NE(people.Build([](int, const KeyDef* k) { return k == nullptr || k->name != "PER:KeyCode"; }), 0);
    ASSERT_EQ(people.Open(), 0);
    ASSERT_EQ(people.Pack(), 0);
    TableStatistics s = people.Statistics();
    EXPECT_EQ(s.records, 25);
    EXPECT_EQ(s.keysPresent, s.keys);
    EXPECT_EQ(s.storedVersion, 1);
    EXPECT_GT(s.fileBytes, 0);
    EXPECT_EQ(ds_MakeTPE(people), "0");
    EXPECT_TRUE(std::ifstream(path("People.tpe")).good());
    std::string out = Sqlcipher("People.tpe", "PRAGMA key='s3cret!pw'; PRAGMA kdf_iter=4; SELECT count(*) FROM Person; "
                                              "SELECT version FROM __tables WHERE name='Person';");
    EXPECT_EQ(out, "0\n1\n");
    Table& log = T(LogDef());
    EXPECT_EQ(ds_MakeTPE(log), "2");
}

}  // namespace
}  // namespace kr::test
