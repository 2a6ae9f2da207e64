// OpenTable driven by real files: a missing table, a file another process
// holds locked, a table stored at a version above the program's and a
// damaged key; and the data files as the sqlcipher shell sees them.
#include "DictionaryFixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstring>

#include "dictionary/FileNames.h"
#include "dictionary/OpenTable.h"
#include "platform/data/Names.h"

using namespace kr;
using namespace kr::data;
using kr::test::DictionaryTest;

namespace {

constexpr int kHelperIterations = 64;

// The lock helper: another program holding the data file locked.
class LockHolder {
public:
    // seconds 0: holds until Stop(). exclusive: an open that denies all
    // others instead of a LOCK.
    LockHolder(const std::string& folder, int seconds, bool exclusive = false) {
        int out[2], in[2];
        if (pipe(out) != 0 || pipe(in) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            const std::string helper = std::string(KR_BIN_DIR) + "/dictionary_lock_helper";
            const std::string secs = std::to_string(seconds);
            const std::string iters = std::to_string(kHelperIterations);
            execl(helper.c_str(), helper.c_str(), folder.c_str(), secs.c_str(), iters.c_str(),
                  exclusive ? "exclusive" : "lock", nullptr);
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        char buf[16] = {};
        ssize_t n = read(out[0], buf, sizeof buf - 1);
        close(out[0]);
        locked_ = n > 0 && std::string(buf).rfind("locked", 0) == 0;
    }
    ~LockHolder() { Stop(); }
    bool locked() const { return locked_; }
    int Stop() {
        if (stdin_ >= 0) close(stdin_);
        stdin_ = -1;
        int status = 0;
        if (pid_ > 0) waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    bool locked_ = false;
};

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        std::array<char, 512> buf;
        while (fgets(buf.data(), buf.size(), p)) out += buf.data();
        pclose(p);
    }
    return out;
}

class OpenTableTest : public DictionaryTest {
protected:
    void SetUp() override {
        DictionaryTest::SetUp();
        ResetUpgradeRegistrations();
        for (const TableDef* d : {&ConfigurationDef(), &ScheduleDef(), &MsgLinkDef(), &HolidaysDef()})
            ds_UsingFile(d->prefix, d->label, *d, d->version);
    }
    void TearDown() override {
        for (const TableDef* d : {&ConfigurationDef(), &ScheduleDef(), &MsgLinkDef(), &HolidaysDef(), &KR_LogDef()})
            while (TableOf(*d).IsOpen()) TableOf(*d).Close();
        ResetUpgradeRegistrations();
        DictionaryTest::TearDown();
    }
};

}  // namespace

TEST_F(OpenTableTest, MissingTableIsCreatedWithoutAMessage) {
    EXPECT_EQ(OpenTable(ConfigurationDef()), 0);
    EXPECT_TRUE(TableOf(ConfigurationDef()).IsOpen());
    EXPECT_EQ(TableOf(ConfigurationDef()).OpenMode(), kReadWrite);
    EXPECT_TRUE(FileExists(kDataFileName));
    EXPECT_TRUE(responder_.shown().empty());
    // Open again: already open counts as open.
    EXPECT_EQ(OpenTable(ConfigurationDef()), 0);
    EXPECT_TRUE(responder_.shown().empty());

    // The event log and the hand-over file are made the same way.
    EXPECT_EQ(OpenTable(KR_LogDef()), 0);
    EXPECT_EQ(OpenTable(MsgLinkDef()), 0);
    EXPECT_TRUE(std::filesystem::exists("KR98Evnt.LOG"));
    EXPECT_TRUE(std::filesystem::exists("MSGLINK.TPS"));
    EXPECT_EQ(programEnds_, 0);
}

TEST_F(OpenTableTest, IgnoreMissingLeavesTheTableClosedQuietly) {
    EXPECT_EQ(OpenTable(ConfigurationDef(), 1, 1, 0, 1), kFileNotFound);
    EXPECT_FALSE(TableOf(ConfigurationDef()).IsOpen());
    EXPECT_TRUE(responder_.shown().empty());
    EXPECT_EQ(programEnds_, 0);
}

TEST_F(OpenTableTest, MissingTableWithoutCreateEndsTheProgram) {
    EXPECT_EQ(OpenTable(ConfigurationDef(), 0, 0, 0, 1), kFileNotFound);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"File Creation Error", "File Creation Error"}));
    EXPECT_EQ(Texts().back(), "File Creation Error!");
    EXPECT_EQ(programEnds_, 1);
}

TEST_F(OpenTableTest, LockHeldByAnotherProcessEndsWithDiskError) {
    SetKeyDerivationIterations(kHelperIterations);
    LockHolder holder(dir_.string(), 0);
    ASSERT_TRUE(holder.locked());
    EXPECT_EQ(OpenTable(ConfigurationDef()), kFileLocked);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"File Access Error", "File Access Error"}));
    EXPECT_EQ(Texts().back(), "Disk Error");
    EXPECT_EQ(Texts()[0].rfind("File (", 0), 0u);
    EXPECT_NE(Texts()[0].find("KR97.TPS"), std::string::npos);
    EXPECT_NE(Texts()[0].find("(32)"), std::string::npos);
    EXPECT_EQ(programEnds_, 1);
    EXPECT_EQ(holder.Stop(), 0);
}

TEST_F(OpenTableTest, LockReleasedWithinTheRecoveryWaitOpens) {
    SetKeyDerivationIterations(kHelperIterations);
    LockHolder holder(dir_.string(), 1, true);  // opened exclusively; lets go after a second
    ASSERT_TRUE(holder.locked());
    EXPECT_EQ(OpenTable(ConfigurationDef()), 0);
    EXPECT_TRUE(responder_.shown().empty());
    EXPECT_TRUE(TableOf(ConfigurationDef()).IsOpen());
}

TEST_F(OpenTableTest, StoredVersionAboveTheProgramsShowsUpgradeErrorAndEnds) {
    // A newer program stored the table at version 3.
    ResetUpgradeRegistrations();
    ds_UsingFile("CF", "Configuration", ConfigurationDef(), 3);
    ASSERT_EQ(OpenTable(ConfigurationDef()), 0);
    TableOf(ConfigurationDef()).Close();
    CloseIdleFiles();
    ResetUpgradeRegistrations();
    ds_UsingFile("CF", "Configuration", ConfigurationDef(), 2);

    EXPECT_EQ(OpenTable(ConfigurationDef()), kInvalidRecordDeclaration);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"Upgrade Error", "Assistant", "Upgrade Error"}));
    EXPECT_EQ(Texts().back(), "Cannot proceed.");
    EXPECT_EQ(Texts()[0],
              "The databases must be upgraded before using this version or the version you are installing is not "
              "the latest.  Re-install this application, or contact Vexel Works.");
    const std::string expected = "\r\nError:  Invalid Record Declaration\r\nPath:  " +
                                 std::filesystem::current_path().string() + "\r\n";
    EXPECT_EQ(clipboard_.Text(), expected);
    // The clipboard empties when the program ends; the file keeps the text.
    EXPECT_EQ(ReadFile(kUpgradeErrorFileName), expected);
    EXPECT_EQ(Texts()[1].rfind("The error has been placed in the clipboard.  Press CTRL-V in your email message "
                               "to paste it.",
                               0),
              0u);
    EXPECT_NE(Texts()[1].find(kUpgradeErrorFileName), std::string::npos);
    EXPECT_EQ(programEnds_, 1);
    EXPECT_FALSE(TableOf(ConfigurationDef()).IsOpen());
}

TEST_F(OpenTableTest, TheUpgradeErrorFileIsTheOwnersAloneUnderAnyUmask) {
    ResetUpgradeRegistrations();
    ds_UsingFile("CF", "Configuration", ConfigurationDef(), 3);
    ASSERT_EQ(OpenTable(ConfigurationDef()), 0);
    TableOf(ConfigurationDef()).Close();
    CloseIdleFiles();
    ResetUpgradeRegistrations();
    ds_UsingFile("CF", "Configuration", ConfigurationDef(), 2);

    const mode_t umask = ::umask(022);
    EXPECT_EQ(OpenTable(ConfigurationDef()), kInvalidRecordDeclaration);
    ::umask(umask);
    struct stat st {};
    ASSERT_EQ(::stat(kUpgradeErrorFileName, &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "the file names the data folder and the error";
}

TEST_F(OpenTableTest, AReadOnlyDataFolderIsNamedAsTheCauseAndTheClosingBoxHasItsTitle) {
    // The data folder is a small disk, made read-only once the data file is on it.
    const auto disk = dir_ / "data";
    std::filesystem::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=4m,mode=0700") != 0) {
        const int err = errno;
        GTEST_SKIP()
            << "a read-only data folder is made as a tmpfs remounted read-only, and mounting one was "
               "refused here ("
            << std::strerror(err) << "): the read-only folder is not tested";
    }
    struct Unmount {
        std::filesystem::path at, back;
        ~Unmount() {
            std::filesystem::current_path(back);
            ::umount2(at.c_str(), MNT_DETACH);
        }
    } unmount{disk, dir_};
    std::filesystem::current_path(disk);
    ASSERT_EQ(OpenTable(ConfigurationDef()), 0);
    TableOf(ConfigurationDef()).Close();
    CloseIdleFiles();
    ASSERT_EQ(::mount(nullptr, disk.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    const std::string cause = "  The folder " + disk.string() + " is read-only.";

    // A table of the data file: case 30, then the closing box, titled.
    EXPECT_EQ(OpenTable(ConfigurationDef()), kAccessDenied);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"File Access Error", "File Access Error"}));
    ASSERT_EQ(Texts().size(), 2u);
    EXPECT_EQ(Texts()[0], "File (" + TableOf(ConfigurationDef()).DiskName() +
                              ") could not be opened.  Error: Access Denied (5)." + cause);
    EXPECT_EQ(Texts()[1], "Disk Error");
    EXPECT_EQ(programEnds_, 1);

    // A table not made yet: the creation fails for the same cause.
    responder_.clear();
    EXPECT_NE(OpenTable(ScheduleDef()), 0);
    ASSERT_EQ(Texts().size(), 2u);
    EXPECT_EQ(Titles()[0], "File Creation Error");
    EXPECT_EQ(Texts()[0].substr(Texts()[0].size() - cause.size()), cause) << Texts()[0];
    EXPECT_EQ(Titles()[1], "File Creation Error");
    CloseIdleFiles();
}

TEST_F(OpenTableTest, AReadOnlyDataFileIsNamedAsTheCause) {
    ASSERT_EQ(OpenTable(ConfigurationDef()), 0);
    const std::string file = TableOf(ConfigurationDef()).DiskName();
    const std::string path = (dir_ / "KR97.TPS").string();
    TableOf(ConfigurationDef()).Close();
    CloseIdleFiles();
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    // Root writes every file: the open runs as an ordinary user then.
    auto check = [&]() -> int {
        if (OpenTable(ConfigurationDef()) != kAccessDenied) return 10;
        if (Texts().empty()) return 11;
        const std::string expected = "File (" + file +
                                     ") could not be opened.  Error: Access Denied (5).  The file " + path +
                                     " is read-only.";
        return Texts()[0] == expected ? 0 : 12;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(check(), 0) << (Texts().empty() ? "" : Texts()[0]);
        return;
    }
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
        ::_exit(check());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

namespace {
// Drops the first index of a table of a plain (unencrypted) file.
void DropAnIndex(const std::string& file, const std::string& table) {
    std::string names = Shell("sqlcipher " + file + " \"SELECT name FROM sqlite_master WHERE type='index' AND "
                              "tbl_name='" + table + "' ORDER BY name\"");
    ASSERT_FALSE(names.empty());
    std::string first = names.substr(0, names.find('\n'));
    Shell("sqlcipher " + file + " 'DROP INDEX \"" + first + "\"'");
}
}  // namespace

TEST_F(OpenTableTest, DamagedKeyIsRebuiltOnYes) {
    ASSERT_EQ(OpenTable(MsgLinkDef()), 0);
    Table& t = TableOf(MsgLinkDef());
    t.Rec<MsgLink>().Title = "Hello";
    ASSERT_EQ(t.AddAutoNumbered(MsgLinkDef().key("ML:K_ID")), 0);
    t.Close();
    CloseIdleFiles();
    DropAnIndex("MSGLINK.TPS", "MSGLINK");

    responder_.Answer(kButtonYes);
    EXPECT_EQ(OpenTable(MsgLinkDef()), 0);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"Invalid Key"}));
    EXPECT_NE(Texts()[0].find(" key file is invalid.  Do you want to rebuild the key?"), std::string::npos);
    EXPECT_TRUE(t.IsOpen());
    EXPECT_EQ(t.Records(), 1);
    t.Rec<MsgLink>().ID = 1;
    EXPECT_EQ(t.Get(MsgLinkDef().key("ML:K_ID")), 0);
    EXPECT_EQ(programEnds_, 0);
}

TEST_F(OpenTableTest, DamagedKeyEndsTheProgramOnNo) {
    ASSERT_EQ(OpenTable(MsgLinkDef()), 0);
    TableOf(MsgLinkDef()).Close();
    CloseIdleFiles();
    DropAnIndex("MSGLINK.TPS", "MSGLINK");
    responder_.Answer(kButtonNo);
    EXPECT_EQ(OpenTable(MsgLinkDef()), kKeyMustBeRebuilt);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"Invalid Key", "Invalid Key"}));
    EXPECT_EQ(Texts().back(), "Invalid Key!");
    EXPECT_EQ(programEnds_, 1);
}

TEST_F(OpenTableTest, DataFilesAsTheSqlcipherShellSeesThem) {
    SetKeyDerivationIterations(0);  // the shell's own key derivation
    DictionaryInit();
    for (FileManager* f : std::vector<FileManager*>{&Schedule_File(), &Todo_File(), &Messages_File()}) {
        ASSERT_EQ(f->Open(), kLevelBenign) << f->def().label;
        ASSERT_EQ(f->UseFile(), kLevelBenign) << f->def().label;
    }
    ASSERT_EQ(OpenTable(MsgLinkDef()), 0);
    Schedule_File().Close();
    Todo_File().Close();
    Messages_File().Close();
    TableOf(MsgLinkDef()).Close();
    DictionaryKill();
    CloseIdleFiles();

    const std::string keyed = "sqlcipher -cmd \"PRAGMA key='pmxr7@tnw';\" KR97.TPS ";
    const std::string tables = Shell(keyed + "\"SELECT name FROM sqlite_master WHERE type='table' ORDER BY name\"");
    for (const char* t : {"s\n", "ToDo\n", "Messages\n"}) EXPECT_NE(tables.find(t), std::string::npos) << tables;
    const std::string columns = Shell(keyed + "\"PRAGMA table_info('s')\"");
    for (const char* c : {"|User|", "|ID|", "|Date|", "|AlarmFile|", "|OriginalID|"})
        EXPECT_NE(columns.find(c), std::string::npos) << c;
    EXPECT_EQ(columns.find("|DayOfWeekGroup|"), std::string::npos);  // groups have no column
    const std::string mail = Shell(keyed + "\"PRAGMA table_info('Messages')\"");
    EXPECT_NE(mail.find("|EmailID|"), std::string::npos);
    // Without the password the data file is unreadable.
    EXPECT_EQ(Shell("sqlcipher KR97.TPS \"SELECT count(*) FROM sqlite_master\" 2>/dev/null"), "");
    // The hand-over file has no password.
    EXPECT_NE(Shell("sqlcipher MSGLINK.TPS \"PRAGMA table_info('MSGLINK')\"").find("|Title|"), std::string::npos);
}
