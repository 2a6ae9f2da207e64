// The query wizard's core: its string table, the field list the lists hand
// over, conditions to filter expressions and back, saved queries, and the
// filters it makes applied to a real table.
#include <set>

#include "../ListFixture.h"
#include "platform/data/ListQuery.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/QueryWizardCore.h"

namespace kr::test {
namespace {

std::string Entry(const std::vector<std::string>& cols) {
    std::string s;
    for (std::size_t i = 0; i < cols.size(); ++i) s += (i ? "\xA6" : "") + cols[i];
    return s;
}

FieldsQueue ScheduleFields() {
    std::string text = Entry({"Basic - Task Category", "0", "SCH:Category", "@s20", "20", "1", "1", ""}) + "\xAB" +
                       Entry({"Basic - Task Description", "0", "SCH:Description", "@s40", "40", "1", "1", ""}) +
                       "\xAB" +
                       Entry({"Basic - Next Date", "0", "SCH:Date", "@d2", "4", "2", "1", ""}) + "\xAB" +
                       Entry({"Status - Disabled", "0", "SCH:Disabled", "@n3", "1", "2", "2", "", "Disabled"}) +
                       "\xAB" +
                       Entry({"Basic - Task Type", "0", "SCH:TaskType", "@s20", "20", "1", "3", "",
                              "Run Program|Display Message|Both|Reminder Only"}) +
                       "\xAB" + Entry({"Script - Action", "0", "SCR:Action", "@s27", "27", "1", "3", ""});
    FieldsQueue q;
    int error = -1;
    TC_ADDFIELDSQUEUEDATA(text, q, error);
    EXPECT_EQ(error, 0);
    TC_INITFIELDSQUEUE("SCHEDULE", q);
    return q;
}

TEST(QueryWizardTexts, StartUpSetsTheTableInAscendingBlocksNineBeforeEight) {
    SetQueryWizardTexts();
    EXPECT_EQ(QueryWizardText(9), "Does NOT Begin With");
    EXPECT_EQ(QueryWizardText(118), "&Finish");
    EXPECT_EQ(QueryWizardText(76), "8");
    EXPECT_EQ(QueryWizardText(303), "Custom Query...");
    std::vector<int> order = QueryWizardTextOrder();
    auto at = [&](int id) { return std::find(order.begin(), order.end(), id) - order.begin(); };
    EXPECT_LT(at(9), at(8));
    EXPECT_LT(at(8), at(10));
    EXPECT_LT(at(42), at(71));
    EXPECT_LT(at(171), at(200));
    EXPECT_EQ(QueryOpText(QueryOp::NotContain), "Does NOT Contain");
}

TEST(QueryWizardFields, TheFieldListTextIsReadAndMalformedEntriesReported) {
    FieldsQueue q = ScheduleFields();
    ASSERT_EQ(q.fields.size(), 6u);
    EXPECT_EQ(q.fileLabel, "SCHEDULE");
    EXPECT_EQ(q.fields[4].choices.size(), 4u);
    EXPECT_EQ(q.fields[3].entryKind, 2);
    EXPECT_EQ(QueryOpsFor(q.fields[3]).size(), 2u);   // a check box
    EXPECT_EQ(QueryOpsFor(q.fields[2]).size(), 6u);   // a date: comparisons only
    EXPECT_EQ(QueryOpsFor(q.fields[0]).size(), 10u);

    FieldsQueue bad;
    int error = 0;
    TC_ADDFIELDSQUEUEDATA(Entry({"ok", "0", "A:B", "@s1", "1", "1", "1"}) + "\xAB" + "garbage" + "\xAB" +
                              Entry({"x", "0", "A:C", "@s1", "one", "1", "1"}),
                          bad, error);
    EXPECT_EQ(error, 2);
    EXPECT_EQ(bad.fields.size(), 1u);
}

TEST(QueryWizardConditions, ConditionsBecomeExpressionsAndReadBack) {
    SetQueryWizardTexts();
    FieldsQueue q = ScheduleFields();
    std::vector<QueryCondition> c = {
        {false, "SCH:Category", QueryOp::Equal, "Work", false},
        {false, "SCH:Description", QueryOp::Contains, "O'Brien", false},
        {true, "SCH:Description", QueryOp::BeginsWith, "Pay", true},
        {false, "SCH:Disabled", QueryOp::NotChecked, "", false},
        {true, "SCH:Date", QueryOp::GreaterOrEqual, "3/15/24", false},
    };
    std::string expr = BuildQueryExpression(q, c);
    EXPECT_EQ(expr,
              "(UPPER(SCH:Category) = 'WORK') AND (INSTRING('O''BRIEN',UPPER(SCH:Description),1,1) > 0) OR "
              "(SUB(SCH:Description,1,3) = 'Pay') AND (SCH:Disabled = 0) OR (SCH:Date >= " +
                  std::to_string(MakeDate(3, 15, 2024)) + ")");
    auto back = ParseQueryExpression(q, expr);
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->size(), c.size());
    for (std::size_t i = 0; i < c.size(); ++i) {
        EXPECT_EQ((*back)[i].field, c[i].field);
        EXPECT_EQ((*back)[i].op, c[i].op);
        EXPECT_EQ((*back)[i].orJoin, c[i].orJoin) << i;
    }
    EXPECT_EQ((*back)[1].value, "O'BRIEN");
    EXPECT_EQ((*back)[4].value, Format(Value(int64_t{MakeDate(3, 15, 2024)}), "@d2"));
    EXPECT_EQ(DescribeCondition(q, c[1], false), "AND Basic - Task Description Contains 'O'Brien'");

    // A date that is no date is refused; a hand-written query is not read as conditions.
    std::string error;
    EXPECT_EQ(BuildQueryExpression(q, {{false, "SCH:Date", QueryOp::Equal, "soon", false}}, &error), "");
    EXPECT_NE(error, "");
    EXPECT_FALSE(ParseQueryExpression(q, "SCH:Date = TODAY()").has_value());
    EXPECT_FALSE(ParseQueryExpression(q, "(SCH:Nothing = 1)").has_value());
    EXPECT_TRUE(ParseQueryExpression(q, "")->empty());
}

class QueryFilterTest : public ListFixture {};

TEST_F(QueryFilterTest, WizardQueriesFilterTheListThroughBoundParameters) {
    SetQueryWizardTexts();
    FieldsQueue q = ScheduleFields();
    AddTask(1, 100, "Work", "Call O'Brien");
    AddTask(2, 200, "work", "Pay rent", 1);
    AddTask(3, 300, "Home", "call mum");
    AddTask(4, 400, "x'; DROP TABLE s;--", "x");
    AddItem(3, 1, "Send Keys");
    AddItem(3, 2, "Wait");
    auto ids = [&](const std::vector<QueryCondition>& c) {
        data::ListQuery l(sch());
        l.AddChild({&ScriptingDef(), "SCR:ID", "SCH:ID"});
        l.SetKeyOrder(ScheduleDef().key("SCH:KeyID"));
        l.SetFilter(BuildQueryExpression(q, c), "6 Query");
        EXPECT_EQ(l.Apply(), 0) << l.Message();
        EXPECT_FALSE(l.HasResidue()) << l.WhereSql();
        std::vector<data::ListRow> rows;
        l.Page(nullptr, true, 100, rows);
        std::set<int> out;
        for (auto& r : rows) out.insert(static_cast<int>(r.field(ScheduleDef().fieldIndex("SCH:ID")).toInt()));
        return out;
    };
    EXPECT_EQ(ids({{false, "SCH:Category", QueryOp::Equal, "WORK", false}}), (std::set<int>{1, 2}));
    EXPECT_EQ(ids({{false, "SCH:Category", QueryOp::Equal, "work", true}}), (std::set<int>{2}));
    EXPECT_EQ(ids({{false, "SCH:Description", QueryOp::BeginsWith, "call", false},
                   {false, "SCH:Disabled", QueryOp::NotChecked, "", false}}),
              (std::set<int>{1, 3}));
    EXPECT_EQ(ids({{false, "SCH:Description", QueryOp::NotContain, "'", false}}), (std::set<int>{2, 3, 4}));
    EXPECT_EQ(ids({{false, "SCH:Category", QueryOp::Equal, "x'; DROP TABLE s;--", true}}), (std::set<int>{4}));
    EXPECT_EQ(sch().Records(), 4);
    // A condition on a script field holds when any item of the task matches.
    EXPECT_EQ(ids({{false, "SCR:Action", QueryOp::Equal, "wait", false}}), (std::set<int>{3}));
    EXPECT_EQ(ids({{false, "SCH:Category", QueryOp::Equal, "Work", false},
                   {true, "SCR:Action", QueryOp::Contains, "keys", false}}),
              (std::set<int>{1, 2, 3}));
}

TEST_F(QueryFilterTest, SavedQueriesAreKeptByDescriptionInTheDataFolder) {
    EXPECT_TRUE(LoadSavedQueries("SCHEDULE").empty());
    ASSERT_TRUE(SaveQuery("SCHEDULE", {"Work", "(SCH:Category = 'Work')"}));
    ASSERT_TRUE(SaveQuery("SCHEDULE", {"Home = mine", "(SCH:Category = 'Home')"}));
    ASSERT_TRUE(SaveQuery("CLIPBOARD", {"Long", "(CLI:Text <> '')"}));
    ASSERT_TRUE(SaveQuery("SCHEDULE", {"WORK", "(SCH:Category = 'work')"}));  // replaces
    auto all = LoadSavedQueries("SCHEDULE");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].expression, "(SCH:Category = 'work')");
    EXPECT_EQ(all[1].description, "Home = mine");
    ASSERT_TRUE(DeleteSavedQuery("schedule", "work"));
    all = LoadSavedQueries("SCHEDULE");
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].description, "Home = mine");
    EXPECT_EQ(LoadSavedQueries("CLIPBOARD").size(), 1u);
    EXPECT_EQ(GetIniValue(kQueryIniFile, "SCHEDULE", "Query1"), "(SCH:Category = 'Home')");
}

}  // namespace
}  // namespace kr::test
