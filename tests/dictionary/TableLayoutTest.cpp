// The table definitions against the layouts the suite's files rely on:
// entry counts, record bytes, keys with their components, kinds and
// descriptions, memos, stored-as names and versions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"

using namespace kr;
using namespace kr::data;

namespace {

struct Layout {
    const TableDef& def;
    const char* label;
    const char* prefix;
    int entries;
    int bytes;  // 0: not checked
    int keys;
    int version;
    const char* storedAs;
    bool owner;
};

std::vector<std::string> KeyFieldNames(const TableDef& d, const KeyDef& k) {
    std::vector<std::string> out;
    for (const KeyComponent& c : k.components)
        out.push_back((c.descending ? "-" : "") + d.fieldByNumber(c.field)->name);
    return out;
}

}  // namespace

TEST(TableLayout, EveryTableHasItsCountsBytesVersionAndName) {
    const Layout all[] = {
        {ScheduleDef(), "Schedule", "SCH", 66, 1104, 14, 11, "kr97\\!s", true},
        {ScheduleWorkfileDef(), "ScheduleWorkfile", "SCW", 66, 1104, 13, 3, "", true},
        {SyncScheduleDef(), "SyncSchedule", "SSch", 67, 1105, 14, 7, "SyncSch.syn", true},
        {ScriptingDef(), "Scripting", "SCR", 24, 2528, 2, 8, "KR97\\!Script", true},
        {SyncScriptingDef(), "SyncScripting", "SScr", 24, 2528, 1, 5, "SyncScr.syn", true},
        {ScriptTemplatesDef(), "ScriptTemplates", "KRT", 3, 319, 3, 2, "KRTpl\\!ScriptTemplates", true},
        {ScriptTemplateDetailsDef(), "ScriptTemplateDetails", "KRD", 24, 2528, 1, 3,
         "KRTpl\\!ScriptTemplateDetails", true},
        {MsgLinkDef(), "MsgLink", "ML", 4, 4415, 1, 1, "MSGLINK", false},
        {HolidaysDef(), "Holidays", "HOL", 3, 54, 1, 4, "KR97\\!Hol", true},
        {ConfigurationDef(), "Configuration", "CF", 2, 295, 1, 2, "KR97\\!CF", true},
        {KR_LogDef(), "KR_Log", "KRL", 4, 182, 0, 0, "KR98Evnt.LOG", false},
        {ExportDef(), "Export", "EXP", 7, 1550, 0, 0, "", false},
        {TodoDef(), "Todo", "TDO", 10, 152, 4, 4, "KR97\\!ToDo", true},
        {SyncTodoDef(), "SyncTodo", "STdo", 10, 152, 4, 1, "SyncTodo.syn", true},
        {CategoriesDef(), "Categories", "CAT", 1, 20, 1, 4, "KR97\\!Categories", true},
        {ContactDef(), "Contact", "C_", 15, 394, 9, 2, "Kr97.TPS\\!Contact", true},
        {ContactCategoriesDef(), "ContactCategories", "CC", 1, 20, 1, 3, "kr97\\!ConCat", true},
        {MessagesDef(), "Messages", "M_", 16, 2214, 4, 3, "KR97\\!Messages", true},
        {ClipboardDef(), "Clipboard", "CLI", 6, 169, 5, 8, "KR97\\!Clipboard", true},
        {ClipboardCategoriesDef(), "ClipboardCategories", "CLC", 1, 20, 1, 3, "KR97\\!ClipboardCategories", true},
        {SysHotKeysDef(), "SysHotKeys", "HOT", 7, 139, 4, 2, "KR97\\!Hotkeys", true},
    };
    for (const Layout& l : all) {
        SCOPED_TRACE(l.label);
        EXPECT_EQ(l.def.label, l.label);
        EXPECT_EQ(l.def.prefix, l.prefix);
        EXPECT_EQ(l.def.fieldCount(), l.entries);
        EXPECT_EQ(l.def.recordBytes(), l.bytes);
        EXPECT_EQ(static_cast<int>(l.def.keys.size()), l.keys);
        EXPECT_EQ(l.def.version, l.version);
        EXPECT_EQ(l.def.storedAs, l.storedAs);
        EXPECT_EQ(l.def.ownerPassword, l.owner ? "pmxr7@tnw" : "");
        // Every entry carries the table's prefix.
        for (const FieldDef& f : l.def.fields) EXPECT_EQ(f.name.rfind(std::string(l.prefix) + ":", 0), 0u) << f.name;
        // The error name is a description, a blank and the label in brackets.
        EXPECT_NE(l.def.errorName.find(std::string(" [") + l.label + "]"), std::string::npos);
    }
}

TEST(TableLayout, ScheduleGroupsNumbersAndKeys) {
    const TableDef& d = ScheduleDef();
    // Groups take a field number of their own; keys name fields by number.
    EXPECT_EQ(d.field("SCH:DayOfWeekGroup")->number, 9);
    EXPECT_EQ(d.field("SCH:DayOfWeekGroup")->size, 7);
    EXPECT_EQ(d.field("SCH:Saturday")->group, 9);
    EXPECT_EQ(d.field("SCH:ScheduleDateAndTime")->size, 17);
    EXPECT_EQ(d.field("SCH:Date")->number, 29);
    EXPECT_EQ(d.field("SCH:AlarmGroup")->size, 256);
    EXPECT_EQ(d.field("SCH:AlarmFile")->type, FieldType::CString);
    EXPECT_EQ(d.field("SCH:Exceptions")->size, 56);
    EXPECT_EQ(d.field("SCH:Synchonization")->size, 42);
    EXPECT_EQ(d.field("SCH:OriginalID")->number, 66);
    EXPECT_EQ(d.nameVariableSize, 255);

    const KeyDef* id = d.key("SCH:KeyID");
    ASSERT_TRUE(id);
    EXPECT_TRUE(id->primary() && id->unique() && id->autoNumber());
    EXPECT_EQ(id->description, "By System ID");
    const KeyDef* enabled = d.key("SCH:KeyDateEnabled");
    EXPECT_EQ(KeyFieldNames(d, *enabled), (std::vector<std::string>{"SCH:Disabled", "SCH:Date", "SCH:Time"}));
    EXPECT_EQ(enabled->description, "Only used to determine if task is waitin");
    EXPECT_FALSE(enabled->unique());
    EXPECT_EQ(d.keys[10].name, "SCH:KeyAdvanced");
    EXPECT_EQ(d.keys[13].name, "SCH:KeyOriginalID");
    ASSERT_EQ(d.memos.size(), 1u);
    EXPECT_EQ(d.memos[0].name, "SCH:Message");
    EXPECT_EQ(d.memos[0].size, 4096);

    // The memo is cut to its size on assignment through the definition.
    Schedule s;
    d.memos[0].set(&s, std::string(5000, 'x'));
    EXPECT_EQ(s.Message.size(), 4096u);
}

TEST(TableLayout, CopiesOfScheduleDifferWhereTheyShould) {
    const TableDef& w = ScheduleWorkfileDef();
    EXPECT_EQ(w.nameVariableSize, 20);
    EXPECT_EQ(w.keys.back().name, "SCW:KeyExpiryDate");
    EXPECT_EQ(w.keys[1].description, "SCW:KeyUser");
    EXPECT_EQ(w.keys[10].description, "SCW:KeyAdvanced");
    EXPECT_EQ(w.memos[0].size, 1000);
    EXPECT_TRUE(w.key("SCW:KeyID")->autoNumber());

    const TableDef& s = SyncScheduleDef();
    EXPECT_EQ(s.field("SSch:BiMonthly")->number, 27);
    EXPECT_EQ(s.field("SSch:BiMonthly")->group, 20);
    EXPECT_EQ(s.field("SSch:EveryOrdinal")->size, 7);
    EXPECT_EQ(s.field("SSch:Date")->number, ScheduleDef().field("SCH:Date")->number + 1);
    EXPECT_EQ(s.keys[13].description, "SSch:KeyOriginalID");
    EXPECT_EQ(KeyFieldNames(s, *s.key("SSch:KeyDate")), (std::vector<std::string>{"SSch:Date", "SSch:Time"}));
}

TEST(TableLayout, ScriptTablesAndTheirSequenceKeys) {
    for (const TableDef* d : {&ScriptingDef(), &SyncScriptingDef(), &ScriptTemplateDetailsDef()}) {
        SCOPED_TRACE(d->label);
        const KeyDef& k = d->keys[0];
        EXPECT_EQ(k.description, "Sequence");
        EXPECT_TRUE(k.primary());
        EXPECT_TRUE(k.flags & kAutoWithinFirst);
        EXPECT_EQ(k.components.size(), 2u);
        EXPECT_EQ(d->fields[2].shortName(), "Action");
        EXPECT_EQ(d->fields[2].size, 27);
    }
    EXPECT_EQ(ScriptTemplateDetailsDef().fields[0].name, "KRD:Wiz_ID");
    EXPECT_EQ(ScriptingDef().keys[1].name, "SCR:KeyEmail");
    const TableDef& t = ScriptTemplatesDef();
    EXPECT_TRUE(t.key("KRT:K_Description")->unique());
    EXPECT_FALSE(t.key("KRT:K_Description")->primary());
    EXPECT_EQ(t.key("KRT:K_DOSFilename")->description, "Import/Export Filename");
}

TEST(TableLayout, SmallTablesDriversAndFlatFiles) {
    EXPECT_EQ(MsgLinkDef().field("ML:Message")->size, 4096);
    EXPECT_TRUE(MsgLinkDef().memos.empty());
    EXPECT_EQ(HolidaysDef().keys[0].description, "HOL:KeyHolidayDate");
    EXPECT_TRUE(HolidaysDef().keys[0].unique());
    EXPECT_FALSE(HolidaysDef().keys[0].primary());
    EXPECT_EQ(KR_LogDef().driver, Driver::Ascii);
    EXPECT_EQ(ExportDef().driver, Driver::Basic);
    EXPECT_EQ(ExportDef().nameVariableSize, 255);
    EXPECT_EQ(ScheduleDef().driver, Driver::MultiTable);
}

TEST(TableLayout, OrganiserKeys) {
    const TableDef& t = TodoDef();
    EXPECT_EQ(KeyFieldNames(t, t.keys[0]), (std::vector<std::string>{"TDO:Done", "TDO:Priority", "TDO:ToDo"}));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(t.keys[i].caseSensitive()) << i;
    EXPECT_FALSE(t.keys[3].caseSensitive());
    EXPECT_EQ(t.memo("TDO:Resolution")->size, 1000);
    EXPECT_EQ(SyncTodoDef().keys[3].description, "Category");

    const TableDef& c = ClipboardDef();
    EXPECT_EQ(KeyFieldNames(c, c.keys[0]), (std::vector<std::string>{"-CLI:ClipDate", "-CLI:ClipTime"}));
    EXPECT_EQ(c.keys[4].name, "CLI:KeyClipHash");
    EXPECT_TRUE(c.keys[4].primary());
    EXPECT_EQ(c.memo("CLI:ClipContents")->size, 8192);

    const TableDef& m = MessagesDef();
    EXPECT_EQ(m.fields[11].name, "M_:Mail:Server");
    EXPECT_EQ(m.fields[11].shortName(), "Mail:Server");
    EXPECT_EQ(m.memo("M_:Message")->size, 10000);
    EXPECT_EQ(ContactDef().keys[0].description, "C_:KeyClientID");
    EXPECT_TRUE(ContactDef().keys[0].autoNumber());

    const TableDef& h = SysHotKeysDef();
    const KeyDef* id = h.key("HOT:K_ID");
    EXPECT_TRUE(id->unique());
    EXPECT_TRUE(id->flags & kExcludeNulls);
    EXPECT_EQ(h.key("HOT:K_HotKey")->description, "Hot Keys");
    EXPECT_EQ(h.memo("HOT:Text")->size, 10000);
}

TEST(TableLayout, FieldsReadAndWriteThroughTheDefinition) {
    const TableDef& d = ScheduleWorkfileDef();
    ScheduleWorkfile w;
    d.field("SCW:Date")->set(&w, Value(80000));
    d.field("Description")->set(&w, Value(std::string(50, 'a')));
    EXPECT_EQ(w.Date, 80000);
    EXPECT_EQ(w.Description.size(), 40u);
    EXPECT_EQ(d.field("SCW:Date")->get(&w).toInt(), 80000);

    AnyRecord r(MessagesDef());
    MessagesDef().field("M_:Mail:Server")->set(r.get(), Value("smtp.example.org"));
    EXPECT_EQ(r.as<MessagesRecord>().Mail_Server.str(), "smtp.example.org");
}
