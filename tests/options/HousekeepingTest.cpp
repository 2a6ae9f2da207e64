// Housekeeping over a real data file: which tasks go with their script
// items and which stay (completed but enabled, a hot key's task, a task an
// editor holds), a failure half-way that must leave everything as it was,
// the to-do list, and the saved window positions.
#include "../startup/StartupFixture.h"
#include "dictionary/Housekeeping.h"
#include "dictionary/OrganiserTables.h"
#include "platform/data/Database.h"
#include "platform/data/TableImpl.h"
#include "platform/runtime/IniFile.h"

#include <set>

namespace kr::test {
namespace {

class HousekeepingTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        ASSERT_EQ(Schedule_File().Open(), data::kLevelBenign);
        ASSERT_EQ(Scripting_File().Open(), data::kLevelBenign);
        ASSERT_EQ(SysHotKeys_File().Open(), data::kLevelBenign);
        ASSERT_EQ(Todo_File().Open(), data::kLevelBenign);
        for (data::FileManager* m : std::initializer_list<data::FileManager*>{
                 &Schedule_File(), &Scripting_File(), &SysHotKeys_File(), &Todo_File()})
            ASSERT_EQ(m->UseFile(), data::kLevelBenign);
    }
    void TearDown() override {
        for (data::FileManager* m : std::initializer_list<data::FileManager*>{
                 &Todo_File(), &SysHotKeys_File(), &Scripting_File(), &Schedule_File()})
            m->Close();
        StartupTest::TearDown();
    }

    void Task(int32_t id, bool disabled, bool completed, int items) {
        data::Table& t = Schedule_File().File();
        t.Clear();
        Schedule& s = t.Rec<Schedule>();
        s.ID = id;
        s.Description = "task " + std::to_string(id);
        s.Disabled = disabled;
        s.Completed = completed;
        s.Date = 70000 + id;
        ASSERT_EQ(t.Add(), 0) << id;
        data::Table& scr = Scripting_File().File();
        for (int i = 1; i <= items; ++i) {
            scr.Clear();
            scr.Rec<Scripting>().ID = id;
            scr.Rec<Scripting>().Sequence = i;
            scr.Rec<Scripting>().Action = "Send Keys";
            ASSERT_EQ(scr.Add(), 0);
        }
    }
    void HotKey(int32_t task, const char* key) {
        data::Table& t = SysHotKeys_File().File();
        t.Clear();
        t.Rec<SysHotKeys>().ID = task;
        t.Rec<SysHotKeys>().HotKey = key;
        t.Rec<SysHotKeys>().Action = kHotKeyActionTask;
        ASSERT_EQ(t.Add(), 0);
    }
    static std::set<int32_t> Tasks() {
        std::set<int32_t> ids;
        data::Table& t = Schedule_File().File();
        t.Set(ScheduleDef().key("SCH:KeyID"));
        while (t.Next() == 0) ids.insert(t.Rec<Schedule>().ID);
        return ids;
    }
    // Script items per task.
    static std::map<int32_t, int> Items() {
        std::map<int32_t, int> n;
        data::Table& t = Scripting_File().File();
        t.Set(ScriptingDef().key("SCR:KeyID"));
        while (t.Next() == 0) ++n[t.Rec<Scripting>().ID];
        return n;
    }
    // The connection of the data file, for a trigger that makes a delete fail.
    static void FailDeletesOfScriptItemsOf(int32_t task) {
        auto db = Scripting_File().File().impl().database();
        ASSERT_TRUE(db);
        // The SQL table is the part of the stored-as name after "\\!".
        const std::string stored = ScriptingDef().storedAs;
        const std::string table = stored.substr(stored.find("\\!") + 2);
        ASSERT_EQ(db->Exec("CREATE TEMP TRIGGER fail_delete BEFORE DELETE ON main.\"" + table + "\" WHEN old.ID = " + std::to_string(task) +
                           " BEGIN SELECT RAISE(ABORT, 'injected failure'); END"),
                  0);
    }
};

TEST_F(HousekeepingTest, DisabledTasksGoWithTheirScriptsOthersStay) {
    Task(1, true, false, 3);
    Task(2, false, false, 2);
    Task(3, true, true, 1);
    Task(4, false, true, 2);  // completed, still enabled
    Task(5, true, false, 0);
    HousekeepingResult r = RemoveTasks(HousekeepingFlag::Disabled);
    ASSERT_TRUE(r.ok()) << r.errorText;
    EXPECT_EQ(r.removed, 3);
    EXPECT_EQ(r.scriptItems, 4);
    EXPECT_EQ(Tasks(), (std::set<int32_t>{2, 4}));
    EXPECT_EQ(Items(), (std::map<int32_t, int>{{2, 2}, {4, 2}}));
}

TEST_F(HousekeepingTest, CompletedTasksGoOnlyWhenAlsoDisabled) {
    Task(1, true, true, 2);
    Task(2, false, true, 2);  // completed, not disabled: stays
    Task(3, true, false, 1);  // disabled, not completed: stays
    Task(4, true, true, 0);
    HousekeepingResult r = RemoveTasks(HousekeepingFlag::Completed);
    ASSERT_TRUE(r.ok()) << r.errorText;
    EXPECT_EQ(r.removed, 2);
    EXPECT_EQ(Tasks(), (std::set<int32_t>{2, 3}));
    EXPECT_EQ(Items(), (std::map<int32_t, int>{{2, 2}, {3, 1}}));
}

TEST_F(HousekeepingTest, TasksOfHotKeysAndOpenEditorsArePassedOver) {
    Task(1, true, false, 1);
    Task(2, true, false, 1);
    Task(3, true, false, 1);
    HotKey(2, "CtrlShiftA");
    HousekeepingResult r = RemoveTasks(HousekeepingFlag::Disabled, [](int32_t id) { return id == 3; });
    ASSERT_TRUE(r.ok()) << r.errorText;
    EXPECT_EQ(r.removed, 1);
    EXPECT_EQ(r.passedOver, 2);
    EXPECT_EQ(Tasks(), (std::set<int32_t>{2, 3}));
    EXPECT_EQ(Items(), (std::map<int32_t, int>{{2, 1}, {3, 1}}));
}

TEST_F(HousekeepingTest, AFailureHalfWayRollsEverythingBack) {
    Task(1, true, false, 2);
    Task(2, true, false, 2);
    Task(3, true, false, 2);
    FailDeletesOfScriptItemsOf(2);
    HousekeepingResult r = RemoveTasks(HousekeepingFlag::Disabled);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.errorText.find("task 2"), std::string::npos) << r.errorText;
    EXPECT_FALSE(data::InTransaction());
    // Task 1 and its items, removed before the failure, are back.
    EXPECT_EQ(Tasks(), (std::set<int32_t>{1, 2, 3}));
    EXPECT_EQ(Items(), (std::map<int32_t, int>{{1, 2}, {2, 2}, {3, 2}}));
}

TEST_F(HousekeepingTest, ClearTodoListEmptiesTheTable) {
    data::Table& t = Todo_File().File();
    for (int i = 0; i < 25; ++i) {
        t.Clear();
        t.Rec<Todo>().Priority = 1 + i % 10;
        t.Rec<Todo>().ToDo = "item " + std::to_string(i);
        ASSERT_EQ(t.Add(), 0);
    }
    HousekeepingResult r = ClearTodoList();
    ASSERT_TRUE(r.ok()) << r.errorText;
    EXPECT_EQ(r.removed, 25);
    EXPECT_EQ(t.Records(), 0);
    EXPECT_TRUE(ClearTodoList().ok());
}

TEST_F(HousekeepingTest, ResetWindowSettingsDropsTheFileAndWhatIsHeldOfIt) {
    EXPECT_TRUE(ResetSavedWindowSettings());  // no file: success all the same
    {
        // Writes held back by a batch are dropped too, never written later.
        IniFile ini("POSITION.INI");
        ASSERT_TRUE(ini.Update("Main", "XPos", "10"));
        IniFile::Batch batch(ini);
        ASSERT_TRUE(ini.Update("Setup", "XPos", "20"));
        EXPECT_TRUE(std::filesystem::exists(dir_ / "POSITION.INI"));
        EXPECT_TRUE(ResetSavedWindowSettings());
        EXPECT_FALSE(std::filesystem::exists(dir_ / "POSITION.INI"));
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ / "POSITION.INI"));
    EXPECT_EQ(GetIniValue("POSITION.INI", "Main", "XPos"), "");
}

}  // namespace
}  // namespace kr::test
