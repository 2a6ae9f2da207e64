// The repair actions over real data files in a temporary folder: Build
// restores a dropped key, Pack shrinks a file after deletes, Release clears
// stale hold marks, Info reports counts and names, a file another program
// has open is refused with the exclusive-access message and left alone,
// Cancel abandons one table and moves on once, and Fix runs the helper once
// per physical file, one after the other.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "dictionary/Dictionary.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "repair/RepairFiles.h"
#include "repair/RepairRun.h"

namespace kr::repair {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr int kKdf = 64;

class RepairRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        char tmpl[] = "/tmp/kr-repair-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::current_path(dir_);
        InstallMessageService(&responder_);
        data::SetKeyDerivationIterations(kKdf);
        DictionaryInitRepairProgram();  // the files' spellings
        RegisterRepairTables();
        rows_ = MakeRepairRows();
    }
    void TearDown() override {
        for (const RepairTable& t : RepairTables()) {
            data::Table& table = data::TableOf(t.def());
            while (table.IsOpen()) table.Close();
        }
        DictionaryKill();
        data::CloseIdleFiles();
        InstallMessageService(nullptr);
        data::SetKeyDerivationIterations(0);
        fs::current_path(previous_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    int Row(const std::string& label) {
        for (std::size_t i = 0; i < rows_.size(); ++i)
            if (rows_[i].fileName == label) return static_cast<int>(i);
        return -1;
    }
    void Tag(const std::string& label) { rows_[static_cast<std::size_t>(Row(label))].tag = "1"; }

    ProcessState Run(const std::string& action, int highlighted = -1) {
        RepairRun run(action, rows_, highlighted);
        return RunToEnd(run);
    }

    static void FillSchedule(int n, int textSize = 40) {
        data::Table& t = data::TableOf(ScheduleDef());
        ASSERT_EQ(t.Create(), 0);
        ASSERT_EQ(t.Open(), 0);
        auto& r = t.Rec<Schedule>();
        ASSERT_EQ(data::Logout({&t}), 0);
        for (int i = 1; i <= n; ++i) {
            t.Clear();
            r.ID = i;
            r.Description = "Task " + std::to_string(i);
            r.Command = std::string(static_cast<std::size_t>(textSize), static_cast<char>('a' + i % 26));
            ASSERT_EQ(t.Add(), 0);
        }
        ASSERT_EQ(data::Commit(), 0);
        t.Close();
    }
    static void FillTodo(int n) {
        data::Table& t = data::TableOf(TodoDef());
        ASSERT_EQ(t.Create(), 0);
        ASSERT_EQ(t.Open(), 0);
        auto& r = t.Rec<Todo>();
        for (int i = 1; i <= n; ++i) {
            t.Clear();
            r.ToDo = "Item " + std::to_string(i);
            r.Priority = 1;
            ASSERT_EQ(t.Add(), 0);
        }
        t.Close();
    }

    // Runs SQL on the data file as another connection would.
    static void Sql(const std::string& sql, const char* file = "KR97.TPS") {
        data::CloseIdleFiles();
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file, &db), SQLITE_OK);
        sqlite3_key(db, kOwnerPassword, static_cast<int>(strlen(kOwnerPassword)));
        sqlite3_exec(db, ("PRAGMA kdf_iter = " + std::to_string(kKdf)).c_str(), nullptr, nullptr, nullptr);
        char* err = nullptr;
        const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
        EXPECT_EQ(rc, SQLITE_OK) << (err ? err : "");
        sqlite3_free(err);
        sqlite3_close(db);
    }
    // The name of the first index of a table.
    static std::string FirstIndexOf(const std::string& table) {
        return table + "$" + data::TableOf(ScheduleDef()).def().keys.front().name.substr(4);
    }

    int OpenCode(const data::TableDef& def) {
        data::Table& t = data::TableOf(def);
        const int code = t.Open(data::kModeShared);
        if (code == 0) t.Close();
        return code;
    }

    // A helper program on the data folder; it answers with one line.
    struct Helper {
        int pid = 0;
        int in = -1;
        FILE* out = nullptr;
        std::string line;
        Helper(const std::string& mode, const fs::path& dir, int kdf = kKdf) {
            int toChild[2], fromChild[2];
            EXPECT_EQ(pipe(toChild), 0);
            EXPECT_EQ(pipe(fromChild), 0);
            pid = fork();
            if (pid == 0) {
                dup2(toChild[0], 0);
                dup2(fromChild[1], 1);
                close(toChild[1]);
                close(fromChild[0]);
                const std::string exe = std::string(KR_BIN_DIR) + "/repair_test_helper";
                execl(exe.c_str(), exe.c_str(), mode.c_str(), dir.c_str(), std::to_string(kdf).c_str(), nullptr);
                _exit(127);
            }
            close(toChild[0]);
            close(fromChild[1]);
            in = toChild[1];
            out = fdopen(fromChild[0], "r");
            char buf[64] = {};
            if (fgets(buf, sizeof buf, out)) line = buf;
        }
        int End() {
            if (in >= 0) close(in);
            in = -1;
            int status = 0;
            waitpid(pid, &status, 0);
            if (out) fclose(out);
            out = nullptr;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        ~Helper() {
            if (out) End();
        }
    };

    fs::path dir_, previous_;
    ScriptedResponder responder_;
    std::vector<RepairRow> rows_;
};

TEST_F(RepairRunTest, ListIsSortedByDescriptionAndOneRuleDecidesTags) {
    std::vector<std::string> shown;
    for (const RepairRow& r : rows_) shown.push_back(r.fileDesc);
    EXPECT_THAT(shown, ElementsAre("Categories", "Clipboard Categories", "Clipboard Saver", "Contact Categories",
                                   "Contacts", "Hot Keys", "Messages", "Schedule", "Script Template Details",
                                   "Script Templates", "Scripting", "To Do List"));
    for (const RepairRow& r : rows_) {
        EXPECT_EQ(r.fileRecords, "?");
        EXPECT_EQ(r.owner, kOwnerPassword);
        ASSERT_NE(RepairTableDef(r.fileName), nullptr) << r.fileName;
    }
    EXPECT_EQ(RepairTableDef("SCHEDULE"), &ScheduleDef());
    EXPECT_EQ(RepairTableDef(""), nullptr);
    EXPECT_EQ(RepairTableDef("Holidays"), nullptr);

    RepairRow r;
    for (const char* yes : {"1", "*", "1.0", " 1"}) {
        r.tag = yes;
        EXPECT_TRUE(IsTagged(r)) << yes;
    }
    for (const char* no : {"", "0", "2", "x"}) {
        r.tag = no;
        EXPECT_FALSE(IsTagged(r)) << no;
    }

    // A row marked "*" shows the tick and is worked on.
    FillSchedule(3);
    rows_[static_cast<std::size_t>(Row("Schedule"))].tag = "*";
    RefreshTagIcons(rows_);
    EXPECT_EQ(rows_[static_cast<std::size_t>(Row("Schedule"))].tagIcon, 1);
    EXPECT_EQ(Run(kActionInfo), ProcessState::Finished);
    EXPECT_EQ(rows_[static_cast<std::size_t>(Row("Schedule"))].fileRecords, "3");

    // The upgrade library knows every table at its version.
    for (const RepairTable& t : RepairTables()) EXPECT_EQ(data::RegisteredVersion(t.def()), t.version) << t.label;
}

TEST_F(RepairRunTest, BuildRestoresADroppedKeyAndStoresTheCount) {
    FillSchedule(200);
    Sql("DROP INDEX " + std::string("\"") + FirstIndexOf("s") + "\"");
    ASSERT_EQ(OpenCode(ScheduleDef()), kKeyMustBeRebuilt);

    // Nothing tagged: the highlighted row alone.
    EXPECT_EQ(Run(kActionBuild, Row("Schedule")), ProcessState::Finished);
    EXPECT_EQ(OpenCode(ScheduleDef()), 0);
    data::TableStatistics s = data::TableOf(ScheduleDef()).Statistics();
    EXPECT_EQ(s.keysPresent, s.keys);
    EXPECT_EQ(rows_[static_cast<std::size_t>(Row("Schedule"))].fileRecords, "200");
    EXPECT_TRUE(responder_.shown().empty());

    // A table whose file is missing is passed over without a word.
    Tag("ScriptTemplates");
    Tag("Schedule");
    EXPECT_EQ(Run(kActionBuild), ProcessState::Finished);
    EXPECT_TRUE(responder_.shown().empty());
    EXPECT_EQ(rows_[static_cast<std::size_t>(Row("ScriptTemplates"))].fileRecords, "?");
}

TEST_F(RepairRunTest, BuildUpgradesAnOlderTemplatesTableUnderItsEarlierFieldName) {
    // The templates' file as an earlier version wrote it: version 1, the
    // file-name field still called Filename.
    Sql("CREATE TABLE __tables(name TEXT PRIMARY KEY COLLATE NOCASE, version INTEGER NOT NULL DEFAULT 0, "
        "layout TEXT NOT NULL DEFAULT '');"
        "CREATE TABLE ScriptTemplates(Wiz_ID INTEGER NOT NULL DEFAULT 0, Description TEXT NOT NULL DEFAULT '', "
        "Filename TEXT NOT NULL DEFAULT '');"
        "INSERT INTO __tables VALUES('ScriptTemplates', 1, '');"
        "INSERT INTO ScriptTemplates VALUES(1, 'Backup', 'backup.krs'), (2, 'Mail', 'mail.krs');",
        "KRTpl.TPS");
    Tag("ScriptTemplates");
    EXPECT_EQ(Run(kActionBuild), ProcessState::Finished);
    EXPECT_TRUE(responder_.shown().empty());
    EXPECT_EQ(rows_[static_cast<std::size_t>(Row("ScriptTemplates"))].fileRecords, "2");
    data::Table& t = data::TableOf(ScriptTemplatesDef());
    ASSERT_EQ(t.Open(), 0);
    EXPECT_EQ(t.StoredVersion(), 2);
    t.Set(nullptr);
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<ScriptTemplates>().DOSFilename.str(), "backup.krs");
    t.Close();
}

TEST_F(RepairRunTest, CancelAbandonsOneTableAndMovesOnOnce) {
    FillSchedule(20000, 8);
    FillTodo(50);
    Sql("DROP INDEX \"" + FirstIndexOf("s") + "\"");
    Sql("DROP INDEX \"ToDo$" + TodoDef().keys.front().name.substr(4) + "\"");
    Tag("Schedule");
    Tag("Todo");
    // List order: Schedule comes before To Do List.
    RepairRun run(kActionBuild, rows_, -1);
    ASSERT_TRUE(run.Step(1));  // Schedule's build starts
    EXPECT_EQ(run.FilesLeft(), 2);
    run.RequestCancel();
    ASSERT_TRUE(run.Step(1));  // one move: Schedule abandoned
    EXPECT_EQ(run.FilesLeft(), 1);
    EXPECT_THAT(run.abandoned(), ElementsAre("Schedule"));
    EXPECT_EQ(RunToEnd(run), ProcessState::Finished);
    EXPECT_EQ(run.FilesLeft(), 0);
    EXPECT_THAT(run.abandoned(), ElementsAre("Schedule"));
    // To Do List was built; Schedule's keys are as they were or wholly
    // rebuilt (if its build ended before the cancel was seen), never fewer.
    EXPECT_EQ(OpenCode(TodoDef()), 0);
    const data::TableStatistics s = data::TableOf(ScheduleDef()).Statistics();
    EXPECT_GE(s.keysPresent, s.keys - 1);
    EXPECT_EQ(s.records, 20000);
}

TEST_F(RepairRunTest, PackShrinksTheFileOnceForAllItsTables) {
    FillSchedule(3000, 200);
    FillTodo(10);
    Sql("DELETE FROM s WHERE ID > 100");
    const auto before = fs::file_size("KR97.TPS");
    Tag("Schedule");
    Tag("Todo");
    EXPECT_EQ(Run(kActionPack), ProcessState::Finished);
    EXPECT_LT(fs::file_size("KR97.TPS"), before / 4);
    EXPECT_EQ(rows_[static_cast<std::size_t>(Row("Schedule"))].fileRecords, "100");
    EXPECT_EQ(rows_[static_cast<std::size_t>(Row("Todo"))].fileRecords, "10");
    EXPECT_EQ(OpenCode(ScheduleDef()), 0);
}

TEST_F(RepairRunTest, ReleaseClearsStaleHoldsAndChangesNothingElse) {
    FillSchedule(30);
    {
        Helper crashed("hold", dir_);
        ASSERT_EQ(crashed.line, "held\n");
        crashed.End();
    }
    // A mark whose process number now belongs to a live program that does
    // not have the file open (a reused number) is just as stale.
    Sql("INSERT INTO __holds(tbl, rid, pid, thread) VALUES('s', 2, " + std::to_string(getppid()) + ", 1)");
    data::Table& t = data::TableOf(ScheduleDef());
    auto heldRows = [&] {
        std::vector<int> held;
        EXPECT_EQ(t.Open(), 0);
        t.Set(nullptr);
        while (t.Next() == 0)
            if (t.Send("HELD") == "ON") held.push_back(t.Rec<Schedule>().ID);
        t.Close();
        return held;
    };
    ASSERT_THAT(heldRows(), ElementsAre(1, 2));

    Tag("Schedule");
    EXPECT_EQ(Run(kActionRelease), ProcessState::Finished);
    EXPECT_TRUE(heldRows().empty());
    EXPECT_EQ(rows_[static_cast<std::size_t>(Row("Schedule"))].fileRecords, "30");
    // Nothing held: every record read, nothing changed.
    const auto stamp = fs::last_write_time("KR97.TPS");
    EXPECT_EQ(Run(kActionRelease), ProcessState::Finished);
    EXPECT_EQ(fs::last_write_time("KR97.TPS"), stamp);
    EXPECT_TRUE(responder_.shown().empty());
}

TEST_F(RepairRunTest, InfoShowsCountsAndNamesAndErrorsInTheRow) {
    FillSchedule(12);
    FillTodo(4);
    data::Table& open = data::TableOf(TodoDef());
    ASSERT_EQ(open.Open(), 0);  // Info on a table already open still counts
    Tag("Schedule");
    Tag("Todo");
    Tag("ScriptTemplates");
    EXPECT_EQ(Run(kActionInfo), ProcessState::Finished);
    EXPECT_TRUE(open.IsOpen());
    open.Close();
    const RepairRow& s = rows_[static_cast<std::size_t>(Row("Schedule"))];
    EXPECT_EQ(s.fileRecords, "12");
    EXPECT_EQ(s.diskName, (fs::current_path() / "KR97.TPS").string() + "\\!s");
    EXPECT_EQ(rows_[static_cast<std::size_t>(Row("Todo"))].fileRecords, "4");
    const RepairRow& missing = rows_[static_cast<std::size_t>(Row("ScriptTemplates"))];
    EXPECT_EQ(missing.fileRecords, "?");
    EXPECT_THAT(missing.diskName, HasSubstr("Error : "));
}

TEST_F(RepairRunTest, FileOpenElsewhereGivesTheLockedMessageAndIsLeftAlone) {
    FillSchedule(20);
    FillTodo(5);
    Sql("DROP INDEX \"ToDo$" + TodoDef().keys.front().name.substr(4) + "\"");
    Helper other("open", dir_);
    ASSERT_EQ(other.line, "open\n");
    const auto stamp = fs::last_write_time("KR97.TPS");
    for (const char* action : {kActionBuild, kActionPack, kActionRelease}) {
        responder_.clear();
        Tag("Schedule");
        Tag("Todo");
        EXPECT_EQ(Run(action), ProcessState::Finished);
        // One message per table, and the run went on to the next.
        ASSERT_EQ(responder_.shown().size(), 2u) << action;
        EXPECT_EQ(responder_.shown()[0].request.title, "File Access Error");
        EXPECT_THAT(responder_.shown()[0].request.text,
                    HasSubstr("This option requires exclusive file access.|Please ensure no other users are in the "
                              "system. |An error occured trying to open the file : Error "));
        EXPECT_EQ(rows_[static_cast<std::size_t>(Row("Schedule"))].fileRecords, "?");
    }
    EXPECT_EQ(fs::last_write_time("KR97.TPS"), stamp);
    EXPECT_EQ(other.End(), 0);
    EXPECT_EQ(OpenCode(TodoDef()), kKeyMustBeRebuilt);
}

TEST_F(RepairRunTest, FixArgumentsKeepNamesWholeAndChangeTheLastExtension) {
    EXPECT_THAT(FixArguments("/home/a b/my.data/KR97.TPS", "pw"),
                ElementsAre("/home/a b/my.data/KR97.TPS?pw", "?pw", "/E:/home/a b/my.data/KR97.tpe?pw", "/K"));
    EXPECT_THAT(FixArguments("/home/v1.2/KRTpl", "pw"),
                ElementsAre("/home/v1.2/KRTpl.tps?pw", "?pw", "/E:/home/v1.2/KRTpl.tpe?pw", "/K"));
    EXPECT_EQ(DataFileOfDiskName("/d/KR97.TPS\\!s"), "/d/KR97.TPS");
    EXPECT_EQ(DataFileOfDiskName("/d/MSGLINK.TPS"), "/d/MSGLINK.TPS");
}

TEST_F(RepairRunTest, FixAsksOnceAndRepairsEachPhysicalFileOnceInTurn) {
    data::SetKeyDerivationIterations(0);  // the helper opens files as the programs make them
    SetProgramFolder(KR_BIN_DIR);
    FillSchedule(40);
    FillTodo(7);
    {
        data::Table& t = data::TableOf(ScriptTemplatesDef());
        ASSERT_EQ(t.Create(), 0);
    }
    data::CloseIdleFiles();
    const mode_t umask = ::umask(022);
    Tag("Schedule");
    Tag("Todo");
    Tag("ScriptTemplates");
    Tag("ScriptTemplateDetails");
    // Yes for the data file, No for the templates' file.
    responder_.Answer(kButtonYes);
    responder_.Answer(kButtonOk);  // the report
    responder_.Answer(kButtonNo);
    EXPECT_EQ(Run(kActionFix), ProcessState::Finished);
    ::umask(umask);
    SetProgramFolder("");
    std::vector<std::string> titles;
    for (const auto& s : responder_.shown()) titles.push_back(s.request.title);
    EXPECT_THAT(titles, ElementsAre("Warning", "Repair", "Warning"));
    EXPECT_THAT(responder_.shown()[1].request.text, HasSubstr("Total: 47 records saved, 0 lost"));
    // One repair of the data file, none of the templates' file.
    EXPECT_TRUE(fs::exists("KR97.TPS.damaged"));
    EXPECT_FALSE(fs::exists("KR97.TPS.damaged-2"));
    ASSERT_TRUE(fs::exists("KR97.tpe"));
    // The example holds the schema under the owner password: the owner's
    // alone, whatever the umask.
    EXPECT_EQ(fs::status("KR97.tpe").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(fs::exists("KRTpl.TPS.damaged"));
    EXPECT_EQ(OpenCode(ScheduleDef()), 0);
    EXPECT_EQ(data::TableOf(ScheduleDef()).Statistics().records, 40);
}

// Every table tagged while another program has the data file open: the
// repair of the data file is refused as in use, the tables whose files do
// not exist (the message links, the templates) are passed over without a
// question or message, and no example file is left behind.
TEST_F(RepairRunTest, FixRefusedForAFileInUseAsksOnceAndLeavesNoExample) {
    data::SetKeyDerivationIterations(0);
    SetProgramFolder(KR_BIN_DIR);
    FillSchedule(5);
    data::CloseIdleFiles();
    ASSERT_FALSE(fs::exists("MSGLINK.TPS"));
    Helper other("open", dir_, 0);  // the files as the programs make them
    ASSERT_EQ(other.line, "open\n");
    for (RepairRow& r : rows_) r.tag = "1";
    responder_.Answer(kButtonYes);  // the multi-table question
    responder_.Answer(kButtonOk);   // the report
    EXPECT_EQ(Run(kActionFix), ProcessState::Finished);
    SetProgramFolder("");
    EXPECT_EQ(other.End(), 0);
    const auto shown = responder_.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].request.title, "Warning");
    EXPECT_THAT(shown[1].request.text, HasSubstr("in use"));
    EXPECT_FALSE(fs::exists("KR97.tpe"));
    EXPECT_FALSE(fs::exists("KR97.TPS.damaged"));
    EXPECT_EQ(OpenCode(ScheduleDef()), 0);
}

}  // namespace
}  // namespace kr::repair
