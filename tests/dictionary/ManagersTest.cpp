// The file and relation managers over real data files in a temporary
// folder: settings per program, keys, new-record values, the priority
// check, memo binding, open-error logging and the relations.
#include "DictionaryFixture.h"

#include "dictionary/FileNames.h"
#include "dictionary/Settings.h"
#include "platform/runtime/Expression.h"

using namespace kr;
using namespace kr::data;
using kr::test::DictionaryTest;

namespace {

class ManagersTest : public DictionaryTest {
protected:
    void SetUp() override {
        DictionaryTest::SetUp();
        DictionaryInit();
        // A procedure opens the tables it uses through their managers.
        for (RelationManager* r : std::vector<RelationManager*>{
                 &Schedule_Relations(), &Scripting_Relations(), &SysHotKeys_Relations(), &Categories_Relations(),
                 &Todo_Relations(), &SyncTodo_Relations(), &Messages_Relations(), &Holidays_Relations(),
                 &Configuration_Relations(), &ClipboardCategories_Relations(), &Clipboard_Relations(),
                 &ScriptTemplateDetails_Relations(), &SyncScripting_Relations()})
            ASSERT_EQ(r->Open(), kLevelBenign) << r->Me()->def().label;
    }
    // Adds a task with the category given; returns its ID.
    int32_t AddTask(const std::string& description, const std::string& category = {}) {
        ScheduleFileManager& f = Schedule_File();
        EXPECT_EQ(f.PrimeRecord(), kLevelBenign);
        f.rec().Description = description;
        f.rec().Category = category;
        EXPECT_EQ(f.Insert(), kLevelBenign);
        return f.rec().ID;
    }
    void AddItems(int32_t task, int count) {
        Schedule_File().rec().ID = task;
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(Scripting_File().PrimeRecord(), kLevelBenign);
            Scripting_File().rec().Action = "Wait";
            ASSERT_EQ(Scripting_File().Insert(), kLevelBenign);
        }
    }
    int64_t ItemsOf(int32_t task) {
        int64_t n = 0;
        TableOf(ScriptingDef()).ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")},
                                             {Value(task)}, [&](int64_t, const void*) {
                                                 ++n;
                                                 return true;
                                             });
        return n;
    }
    bool TaskExists(int32_t id) {
        Schedule_File().rec().ID = id;
        return Schedule_File().TryFetch("SCH:KeyID") == kLevelBenign;
    }
};

}  // namespace

TEST_F(ManagersTest, MainProgramSettings) {
    EXPECT_EQ(Schedule_File().openMode, 66);
    EXPECT_EQ(Scripting_File().openMode, 66);
    EXPECT_EQ(Messages_File().openMode, 66);
    EXPECT_EQ(Categories_File().openMode, 66);
    EXPECT_EQ(ScheduleWorkfile_File().openMode, 66);
    EXPECT_EQ(Configuration_File().openMode, 2);
    EXPECT_EQ(MsgLink_File().openMode, 2);
    EXPECT_EQ(SysHotKeys_File().openMode, 2);
    EXPECT_EQ(Todo_File().openMode, 2);
    EXPECT_EQ(Schedule_File().lockRecover, 3);
    EXPECT_TRUE(Schedule_File().create);
    EXPECT_TRUE(Schedule_File().lazyOpen);
    EXPECT_FALSE(KR_Log_File().lazyOpen);
    EXPECT_EQ(Schedule_File().GetName(), "kr97\\!s");
    EXPECT_EQ(SyncTodo_File().GetName(), "SyncTodo.syn");

    // Keys in the table's order with descriptions and auto-number marks.
    const auto& keys = Schedule_File().keys();
    ASSERT_EQ(keys.size(), 14u);
    EXPECT_EQ(keys[0].description, "By System ID");
    EXPECT_TRUE(keys[0].autoNumber);
    EXPECT_FALSE(keys[1].autoNumber);
    EXPECT_EQ(keys[9].description, "Only used to determine if task is waitin");
    EXPECT_TRUE(Scripting_File().keys()[0].autoNumber);

    // Relations: Schedule is the parent of Scripting and the child of
    // SysHotKeys and Categories.
    const auto& rel = Schedule_Relations().relations();
    ASSERT_EQ(rel.size(), 1u);
    EXPECT_EQ(rel[0].child, &Scripting_Relations());
    EXPECT_EQ(rel[0].updateMode, kRINone);
    EXPECT_EQ(rel[0].deleteMode, kRICascade);
    EXPECT_EQ(Schedule_Relations().parents().size(), 2u);
    ASSERT_EQ(Messages_Relations().relations().size(), 1u);
    EXPECT_EQ(Messages_Relations().parents().size(), 1u);  // ScriptTemplateDetails looks it up
    EXPECT_EQ(ClipboardCategories_Relations().relations()[0].updateMode, kRICascade);
    EXPECT_EQ(ClipboardCategories_Relations().relations()[0].deleteMode, kRIRestrict);
}

TEST_F(ManagersTest, MessageAndRepairProgramsBuildTheirOwnSets) {
    DictionaryKill();
    DictionaryInitMessageProgram();
    for (FileManager* f : std::vector<FileManager*>{&Schedule_File(), &Configuration_File(), &MsgLink_File(),
                                                    &SysHotKeys_File(), &Todo_File()}) {
        EXPECT_EQ(f->openMode, 66) << f->def().label;
        EXPECT_EQ(f->lockRecover, 10) << f->def().label;
    }
    // Without ScriptTemplateDetails, Messages keeps only its script items.
    EXPECT_EQ(Messages_Relations().relations().size(), 1u);
    EXPECT_TRUE(Messages_Relations().parents().empty());
    EXPECT_EQ(Schedule_Relations().parents().size(), 2u);
    // A table outside the set is made ready alone, with the set's settings.
    EXPECT_EQ(Contact_File().lockRecover, 10);
    EXPECT_EQ(Contact_File().def().label, "Contact");

    DictionaryKill();
    DictionaryInitRepairProgram();
    EXPECT_EQ(Contact_File().lockRecover, 10);
    EXPECT_EQ(Contact_File().openMode, 66);
    EXPECT_EQ(Messages_Relations().parents().size(), 1u);

    // An accessor before any Init makes KR98's set ready.
    DictionaryKill();
    EXPECT_FALSE(DictionaryReady());
    EXPECT_EQ(Schedule_File().lockRecover, 3);
    EXPECT_TRUE(DictionaryReady());

    // Killing and making ready again does not double the relations.
    DictionaryKill();
    DictionaryInit();
    DictionaryKill();
    DictionaryInit();
    EXPECT_EQ(Schedule_Relations().relations().size(), 1u);
    EXPECT_EQ(Schedule_File().keys().size(), 14u);
}

TEST_F(ManagersTest, NewRecordValues) {
    clock_.Set(MakeDate(3, 1, 2027), MakeTime(14, 5, 30));
    ASSERT_EQ(Schedule_File().PrimeRecord(), kLevelBenign);
    const Schedule& s = Schedule_File().rec();
    EXPECT_EQ(s.Disabled, 1);
    EXPECT_EQ(s.LastChangeDate, MakeDate(3, 1, 2027));
    EXPECT_EQ(s.LastChangeTime, MakeTime(14, 5, 30));
    EXPECT_GT(s.ID, 0);  // reserved by its auto-numbered key
    const int32_t task = s.ID;

    ASSERT_EQ(Scripting_File().PrimeRecord(), kLevelBenign);
    EXPECT_EQ(Scripting_File().rec().ID, task);
    ASSERT_EQ(SyncScripting_File().PrimeRecord(), kLevelBenign);
    EXPECT_EQ(SyncScripting_File().rec().ID, task);

    // A new hot key types a text and links to no task, whatever is in memory.
    ASSERT_EQ(SysHotKeys_File().PrimeRecord(), kLevelBenign);
    const SysHotKeys& h = SysHotKeys_File().rec();
    EXPECT_EQ(h.ID, 0);
    EXPECT_EQ(h.HotKey, "CtrlShift");
    EXPECT_EQ(h.Active, 1);
    EXPECT_EQ(h.Action, "Text");
    EXPECT_EQ(h.TextType, "Type");

    ASSERT_EQ(Holidays_File().PrimeRecord(), kLevelBenign);
    EXPECT_EQ(Holidays_File().rec().HolidayDate, MakeDate(3, 1, 2027));
    EXPECT_EQ(Holidays_File().rec().HolidayType, "Annual");

    ASSERT_EQ(Messages_File().PrimeRecord(), kLevelBenign);
    EXPECT_EQ(Messages_File().rec().MailType, "Email");
    EXPECT_GT(Messages_File().rec().EmailID, 0);

    ScriptTemplates_File().rec().Wiz_ID = 7;
    ASSERT_EQ(ScriptTemplateDetails_File().PrimeRecord(), kLevelBenign);
    EXPECT_EQ(ScriptTemplateDetails_File().rec().Wiz_ID, 7);
    Schedule_File().CancelAutoInc();
    Messages_File().CancelAutoInc();
}

TEST_F(ManagersTest, PriorityOutsideOneToTenIsRejectedWithRangeError) {
    for (int p : {0, 1, 10, 11}) {
        responder_.clear();
        Todo_File().rec().Priority = static_cast<uint8_t>(p);
        const int level = Todo_File().ValidateField(2);
        if (p == 1 || p == 10) {
            EXPECT_EQ(level, kLevelBenign) << p;
            EXPECT_TRUE(responder_.shown().empty()) << p;
        } else {
            EXPECT_NE(level, kLevelBenign) << p;
            ASSERT_EQ(responder_.shown().size(), 1u) << p;
            EXPECT_EQ(responder_.shown()[0].request.title, "Range Error");
            EXPECT_EQ(responder_.shown()[0].request.text, "The value of Priority must be between 1 and 10.");
        }
    }
    // The other fields pass; the copy names its field with the prefix.
    Todo_File().rec().Priority = 0;
    EXPECT_EQ(Todo_File().ValidateField(3), kLevelBenign);
    responder_.clear();
    SyncTodo_File().rec().Priority = 11;
    EXPECT_NE(SyncTodo_File().ValidateField(2), kLevelBenign);
    EXPECT_EQ(responder_.shown().at(0).request.text, "The value of STdo:Priority must be between 1 and 10.");
}

TEST_F(ManagersTest, MemosAreKnownToExpressionsOnceFieldsAreBound) {
    Schedule_File().BindFields();
    Schedule_File().rec().Message = "Call the dentist";
    Schedule_File().rec().Description = "Dentist";
    EvalResult r = Evaluate("SCH:Message & '/' & SCH:Description");
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.value.toText(), "Call the dentist/Dentist");
    Todo_File().BindFields();
    Todo_File().rec().Resolution = "done";
    EXPECT_EQ(Evaluate("TDO:Resolution").value.toText(), "done");
}

TEST_F(ManagersTest, DuplicateKeysAreRefused) {
    Holidays_File().PrimeRecord();
    Holidays_File().rec().HolidayDate = MakeDate(12, 25, 2026);
    ASSERT_EQ(Holidays_File().TryInsert(), kLevelBenign);
    Holidays_File().PrimeRecord();
    Holidays_File().rec().HolidayDate = MakeDate(12, 25, 2026);
    EXPECT_NE(Holidays_File().TryInsert(), kLevelBenign);
    EXPECT_EQ(LastErrorCode(), kDuplicateKey);

    Configuration_File().rec().DataType = "UseKRMsg";
    ASSERT_EQ(Configuration_File().TryInsert(), kLevelBenign);
    Configuration_File().rec().DataType = "usekrmsg";  // keys compare without regard to case
    EXPECT_NE(Configuration_File().TryInsert(), kLevelBenign);
}

TEST_F(ManagersTest, TextHotKeysMayShareIdZeroButTaskLinksAreUnique) {
    const int32_t task = AddTask("Hot key task");
    auto add = [&](const char* key, int32_t id, const char* action) {
        SysHotKeys_File().PrimeRecord();
        SysHotKeys_File().rec().HotKey = key;
        SysHotKeys_File().rec().ID = id;
        SysHotKeys_File().rec().Action = action;
        return SysHotKeys_File().TryInsert();
    };
    EXPECT_EQ(add("Ctrl+Shift+A", 0, "Text"), kLevelBenign);
    EXPECT_EQ(add("Ctrl+Shift+B", 0, "Text"), kLevelBenign);
    EXPECT_EQ(add("Ctrl+Shift+C", task, "Task"), kLevelBenign);
    EXPECT_NE(add("Ctrl+Shift+D", task, "Task"), kLevelBenign);
    EXPECT_EQ(LastErrorCode(), kDuplicateKey);
    EXPECT_NE(add("Ctrl+Shift+A", 0, "Text"), kLevelBenign);  // the hot key itself is unique
    EXPECT_EQ(SysHotKeys_File().Records(), 3);
}

TEST_F(ManagersTest, DeletingATaskHotKeyDeletesItsTaskAndItemsTogether) {
    const int32_t task = AddTask("Run backup");
    const int32_t other = AddTask("Other");
    AddItems(task, 3);
    AddItems(other, 2);
    EXPECT_EQ(ItemsOf(task), 3);

    SysHotKeys_File().PrimeRecord();
    SysHotKeys_File().rec().HotKey = "Ctrl+Alt+B";
    SysHotKeys_File().rec().ID = task;
    SysHotKeys_File().rec().Action = "Task";
    ASSERT_EQ(SysHotKeys_File().Insert(), kLevelBenign);

    SysHotKeys_File().rec().HotKey = "Ctrl+Alt+B";
    ASSERT_EQ(SysHotKeys_File().Fetch("HOT:K_HotKey"), kLevelBenign);
    EXPECT_EQ(SysHotKeys_Relations().Delete(false), kLevelBenign);
    EXPECT_FALSE(TaskExists(task));
    EXPECT_EQ(ItemsOf(task), 0);
    EXPECT_TRUE(TaskExists(other));
    EXPECT_EQ(ItemsOf(other), 2);
    EXPECT_EQ(SysHotKeys_File().Records(), 0);
}

TEST_F(ManagersTest, DeletingATextHotKeyLeavesTheTaskItsIdNames) {
    // Written by an earlier version: a text hot key carrying a task's ID.
    const int32_t task = AddTask("Unrelated");
    AddItems(task, 2);
    SysHotKeys_File().PrimeRecord();
    SysHotKeys_File().rec().HotKey = "Ctrl+Alt+T";
    SysHotKeys_File().rec().ID = task;
    SysHotKeys_File().rec().Action = "Text";
    ASSERT_EQ(SysHotKeys_File().Insert(), kLevelBenign);

    responder_.Answer(kButtonOk);
    EXPECT_EQ(SysHotKeys_Relations().Delete(true), kLevelBenign);
    EXPECT_TRUE(responder_.sawTitle("Confirm Delete"));
    EXPECT_EQ(SysHotKeys_File().Records(), 0);
    EXPECT_TRUE(TaskExists(task));
    EXPECT_EQ(ItemsOf(task), 2);
}

TEST_F(ManagersTest, CategoriesRestrictScheduleButNotTodo) {
    auto addCategory = [](const char* name) {
        Categories_File().rec().Category = name;
        return Categories_File().TryInsert();
    };
    ASSERT_EQ(addCategory("Work"), kLevelBenign);
    ASSERT_EQ(addCategory("Home"), kLevelBenign);
    AddTask("Report", "Work");
    Todo_File().PrimeRecord();
    Todo_File().rec().Category = "Home";
    Todo_File().rec().Priority = 5;
    ASSERT_EQ(Todo_File().Insert(), kLevelBenign);

    // Used by a task: neither renamed nor deleted.
    Categories_File().rec().Category = "Work";
    ASSERT_EQ(Categories_File().Fetch("CAT:KeyCategory"), kLevelBenign);
    Categories_File().rec().Category = "Office";
    EXPECT_NE(Categories_Relations().Update(), kLevelBenign);
    EXPECT_TRUE(responder_.sawTitle("Referential Integrity Update Error"));
    EXPECT_EQ(Categories_File().rec().Category, "Work");  // linking field put back
    Categories_File().rec().Category = "Work";
    ASSERT_EQ(Categories_File().Fetch("CAT:KeyCategory"), kLevelBenign);
    EXPECT_NE(Categories_Relations().Delete(false), kLevelBenign);
    EXPECT_TRUE(responder_.sawTitle("Referential Integrity Delete Error"));

    // Used by a to-do item only: renamed and deleted freely.
    Categories_File().rec().Category = "Home";
    ASSERT_EQ(Categories_File().Fetch("CAT:KeyCategory"), kLevelBenign);
    Categories_File().rec().Category = "House";
    EXPECT_EQ(Categories_Relations().Update(), kLevelBenign);
    EXPECT_EQ(Categories_Relations().Delete(false), kLevelBenign);
    EXPECT_EQ(Categories_File().Records(), 1);
}

TEST_F(ManagersTest, ClipboardCategoryRenameCarriesToEntriesAndDeleteIsRefused) {
    ClipboardCategories_File().rec().Category = "Links";
    ASSERT_EQ(ClipboardCategories_File().Insert(), kLevelBenign);
    for (const char* hash : {"h1", "h2"}) {
        Clipboard_File().PrimeRecord();
        Clipboard_File().rec().Category = "Links";
        Clipboard_File().rec().ClipHashKey = hash;
        ASSERT_EQ(Clipboard_File().Insert(), kLevelBenign);
    }
    ClipboardCategories_File().rec().Category = "Links";
    ASSERT_EQ(ClipboardCategories_File().Fetch("CLC:KeyCategory"), kLevelBenign);
    ClipboardCategories_File().rec().Category = "Web";
    ASSERT_EQ(ClipboardCategories_Relations().Update(), kLevelBenign);
    Clipboard_File().rec().ClipHashKey = "h2";
    ASSERT_EQ(Clipboard_File().Fetch("CLI:KeyClipHash"), kLevelBenign);
    EXPECT_EQ(Clipboard_File().rec().Category, "Web");

    EXPECT_NE(ClipboardCategories_Relations().TryDelete(), kLevelBenign);
    EXPECT_EQ(ClipboardCategories_File().Records(), 1);
}

TEST_F(ManagersTest, MessagesUsedByScriptItemsCannotBeDeleted) {
    Messages_File().PrimeRecord();
    Messages_File().rec().Subject = "Weekly";
    ASSERT_EQ(Messages_File().Insert(), kLevelBenign);
    const int32_t mail = Messages_File().rec().EmailID;
    const int32_t task = AddTask("Mail it");
    Schedule_File().rec().ID = task;
    Scripting_File().PrimeRecord();
    Scripting_File().rec().Action = "Send Email";
    Scripting_File().rec().EmailID = mail;
    ASSERT_EQ(Scripting_File().Insert(), kLevelBenign);

    Messages_File().rec().EmailID = mail;
    ASSERT_EQ(Messages_File().Fetch("M_:KeyEmailID"), kLevelBenign);
    EXPECT_NE(Messages_Relations().TryDelete(), kLevelBenign);
    Messages_File().rec().EmailID = mail + 100;
    EXPECT_NE(Messages_Relations().TryUpdate(), kLevelBenign);
    EXPECT_EQ(Messages_File().Records(), 1);
}

TEST_F(ManagersTest, ScriptItemsNumberWithinTheirTask) {
    const int32_t a = AddTask("A");
    const int32_t b = AddTask("B");
    AddItems(a, 2);
    AddItems(b, 1);
    std::vector<std::pair<int32_t, int32_t>> seen;
    TableOf(ScriptingDef()).ForEachMatch(ScriptingDef().key("SCR:KeyEmail"), {ScriptingDef().field("SCR:EmailID")},
                                         {Value(0)}, [&](int64_t, const void* r) {
                                             const auto& s = *static_cast<const Scripting*>(r);
                                             seen.emplace_back(s.ID, s.Sequence);
                                             return true;
                                         });
    EXPECT_EQ(seen, (std::vector<std::pair<int32_t, int32_t>>{{a, 1}, {a, 2}, {b, 1}}));
}

TEST_F(ManagersTest, ScheduleOpenErrorsGoToTheEventLog) {
    DictionaryKill();
    // A data file that is not a database.
    {
        std::ofstream bad("KR97.TPS", std::ios::binary);
        bad << std::string(8192, 'z');
    }
    DictionaryInit();
    Options().GlobalUseLog = 1;  // the event log is written while LogEvents is on
    Schedule_File().lazyOpen = false;
    EXPECT_NE(Schedule_File().Open(), kLevelBenign);
    Options().GlobalUseLog = 0;
    const std::string log = ReadFile(kEventLogFileName);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.substr(22, 32), std::string("Error") + std::string(27, ' '));
    EXPECT_EQ(log.substr(54, 19), "Opening Schedule:  ");
    EXPECT_NE(log.find(ClipRight(LastErrorText())), std::string::npos);
    // One line per failed open.
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
}
