// The schedule lists' row rules without a window: the state and type icons,
// the date cell's colours, active-only, the scripting check, the selected day
// that follows midnight, and the query wizard's field list.
#include <gtest/gtest.h>

#include <map>

#include "dictionary/Dictionary.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/QueryWizardCore.h"
#include "tasks/ScheduleRows.h"

namespace kr::tasks {
namespace {

Schedule Task(uint8_t completed, uint8_t skipped, uint8_t skipNext, uint8_t disabled) {
    Schedule s;
    s.Completed = completed;
    s.Skipped = skipped;
    s.SkipNextTime = skipNext;
    s.Disabled = disabled;
    return s;
}

TEST(ScheduleRows, StateIconTakesTheFirstRuleThatHolds) {
    EXPECT_EQ(ScheduleStateIcon(Task(0, 0, 0, 0)), kIconNotDone);
    // Completed wins over disabled and skip-next unless it was skipped.
    EXPECT_EQ(ScheduleStateIcon(Task(1, 0, 0, 0)), kIconDone);
    EXPECT_EQ(ScheduleStateIcon(Task(1, 0, 1, 1)), kIconDone);
    EXPECT_EQ(ScheduleStateIcon(Task(1, 1, 0, 0)), kIconSkipped);
    EXPECT_EQ(ScheduleStateIcon(Task(1, 1, 1, 1)), kIconSkipped);
    // Skip-next wins over disabled on a task not completed.
    EXPECT_EQ(ScheduleStateIcon(Task(0, 0, 1, 1)), kIconSkip);
    EXPECT_EQ(ScheduleStateIcon(Task(0, 0, 1, 0)), kIconSkip);
    EXPECT_EQ(ScheduleStateIcon(Task(0, 0, 0, 1)), kIconDisabled);
    // Skipped alone (not completed) is an ordinary task.
    EXPECT_EQ(ScheduleStateIcon(Task(0, 1, 0, 0)), kIconNotDone);
    EXPECT_EQ(ScheduleIconNames().size(), 9u);
    EXPECT_EQ(ScheduleIconNames()[kIconSkipped - 1], "~skipped.ico");
}

TEST(ScheduleRows, TypeIconAndScriptingFollowTheTaskType) {
    EXPECT_EQ(ScheduleTypeIcon("Run Program"), kIconProgram);
    EXPECT_EQ(ScheduleTypeIcon("Display Message"), kIconMessage);
    EXPECT_EQ(ScheduleTypeIcon("Both"), kIconBoth);
    EXPECT_EQ(ScheduleTypeIcon("Reminder Only"), kIconBlank);
    EXPECT_EQ(ScheduleTypeIcon(""), kIconBlank);
    EXPECT_TRUE(TaskTypeHasScript("Run Program"));
    EXPECT_TRUE(TaskTypeHasScript("Both"));
    EXPECT_TRUE(TaskTypeHasScript("Reminder Only"));
    EXPECT_FALSE(TaskTypeHasScript("Display Message"));
    EXPECT_FALSE(TaskTypeHasScript(""));
}

TEST(ScheduleRows, DateColoursAndActiveOnly) {
    const DateColours plain = ScheduleDateColours(Task(0, 0, 0, 0));
    EXPECT_EQ(plain.normalFg, -1);
    EXPECT_EQ(plain.selectedFg, -1);
    const DateColours disabled = ScheduleDateColours(Task(0, 0, 1, 1));
    EXPECT_EQ(disabled.normalFg, 0x808080);  // grey wins over blue
    EXPECT_EQ(disabled.selectedFg, 0xFFFFFF);
    const DateColours skip = ScheduleDateColours(Task(0, 0, 1, 0));
    EXPECT_EQ(skip.normalFg, 0xFF0000);
    EXPECT_EQ(ScheduleDateColours(Task(0, 0, 1, 0), true).selectedFg, static_cast<int32_t>(0xFF7FFF7F));
    EXPECT_EQ(ScheduleDateColours(Task(0, 0, 0, 1), true).selectedFg, static_cast<int32_t>(0xFF7FFF7F));

    EXPECT_TRUE(ShownInList(Task(1, 0, 0, 1), false));
    EXPECT_FALSE(ShownInList(Task(1, 0, 0, 0), true));
    EXPECT_FALSE(ShownInList(Task(0, 0, 0, 1), true));
    EXPECT_TRUE(ShownInList(Task(0, 1, 1, 0), true));
}

TEST(ScheduleRows, SelectedDayFollowsMidnightUntilAnotherDayIsPicked) {
    SelectedDayFollower d;
    d.Start(1000);
    EXPECT_FALSE(d.Tick(1000));
    EXPECT_TRUE(d.Tick(1001));
    EXPECT_EQ(d.selectedDay, 1001);
    EXPECT_EQ(d.lastSeenDay, 1001);
    // A day the user picked stays, across any number of midnights.
    d.selectedDay = 990;
    EXPECT_FALSE(d.Tick(1002));
    EXPECT_FALSE(d.Tick(1003));
    EXPECT_EQ(d.selectedDay, 990);
    EXPECT_EQ(d.lastSeenDay, 1003);
    // Picking today again joins the roll.
    d.selectedDay = 1003;
    EXPECT_TRUE(d.Tick(1004));
    EXPECT_EQ(d.selectedDay, 1004);
    // A clock set back is a day change too.
    EXPECT_TRUE(d.Tick(1000));
    EXPECT_EQ(d.selectedDay, 1000);
}

TEST(ScheduleRows, QueryFieldListLoadsAndNamesRealFields) {
    DictionaryInit();
    FieldsQueue q;
    int error = 0;
    TC_ADDFIELDSQUEUEDATA(ScheduleQueryFields(), q, error);
    TC_INITFIELDSQUEUE(kScheduleQueryLabel, q);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(q.fileLabel, "SCHEDULE");
    ASSERT_EQ(q.fields.size(), 68u);
    for (const QueryField& f : q.fields) {
        const data::TableDef& def = f.name.rfind("SCH:", 0) == 0   ? ScheduleDef()
                                    : f.name.rfind("SCR:", 0) == 0 ? ScriptingDef()
                                                                   : CategoriesDef();
        EXPECT_NE(def.field(f.name), nullptr) << f.name;
        if (f.entryKind == 3) { EXPECT_FALSE(f.choices.empty()) << f.name; }
    }
    const QueryField* type = q.Find("SCH:TaskType");
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->choices.size(), 4u);
    const QueryField* sunday = q.Find("SCH:Sunday");
    ASSERT_NE(sunday, nullptr);
    EXPECT_EQ(sunday->entryKind, 2);
    EXPECT_EQ(sunday->dataKind, 2);
    EXPECT_EQ(q.Find("SCR:Action")->choices.size(), 16u);
    DictionaryKill();
}

std::map<std::string, std::string> Conditions(const ExploreFilters& f) {
    return {f.filters.begin(), f.filters.end()};
}

TEST(ScheduleRows, ExploreFiltersAsConditions) {
    const int32_t today = MakeDate(3, 14, 2024);
    auto fmt = [](int32_t d) { return std::to_string(DateDay(d)) + "/" + std::to_string(DateMonth(d)); };
    ExploreFilters f = MakeExploreFilters("All", "All", "All", today, 0, 0, fmt);
    auto c = Conditions(f);
    // Hot-key tasks never show, whatever the other filters say.
    EXPECT_EQ(c["3TaskType"], "NOT(SCH:TaskType='Hot Key')");
    EXPECT_EQ(c["3Status"], "");
    EXPECT_EQ(c["2Date"], "");
    EXPECT_EQ(c["5Cat"], "");
    EXPECT_EQ(f.selectedDay, today);
    EXPECT_EQ(f.label, "");

    c = Conditions(MakeExploreFilters("Active", "Tomorrow", "Work", today, 0, 0, fmt));
    EXPECT_EQ(c["3Status"], "NOT(SCH:Disabled OR SCH:Completed)");
    EXPECT_EQ(c["2Date"], "SCH:Date=TODAY()+1");
    EXPECT_EQ(c["5Cat"], "SCH:Category=Filter:Category");
    EXPECT_EQ(Conditions(MakeExploreFilters("Completed", "All", "All", today, 0, 0, fmt))["3Status"], "SCH:Completed");
    EXPECT_EQ(Conditions(MakeExploreFilters("Disabled", "All", "All", today, 0, 0, fmt))["3Status"], "SCH:Disabled");

    f = MakeExploreFilters("All", "Yesterday", "All", today, 0, 0, fmt);
    EXPECT_EQ(f.selectedDay, today - 1);
    EXPECT_EQ(f.label, "13/3");

    f = MakeExploreFilters("All", "This Week", "All", today, 0, 0, fmt);
    EXPECT_EQ(f.from, today);
    EXPECT_EQ(f.to, today + 6);
    EXPECT_EQ(f.label, "14/3-20/3");

    // This month of this year only.
    f = MakeExploreFilters("All", "This Month", "All", today, 0, 0, fmt);
    EXPECT_EQ(Conditions(f)["2Date"], "MONTH(SCH:Date)=MONTH(TODAY()) AND YEAR(SCH:Date)=YEAR(TODAY())");
    EXPECT_EQ(f.from, MakeDate(3, 1, 2024));
    EXPECT_EQ(f.to, MakeDate(3, 31, 2024));

    // Custom: an unset range opens wide; a set one is kept.
    f = MakeExploreFilters("All", "Custom", "All", today, 0, 0, fmt);
    EXPECT_EQ(f.from, MakeDate(1, 1, 1995));
    EXPECT_EQ(f.to, MakeDate(1, 1, 2099));
    EXPECT_EQ(f.selectedDay, f.from);
    f = MakeExploreFilters("All", "Custom", "All", today, today - 2, today + 2, fmt);
    EXPECT_EQ(Conditions(f)["2Date"],
              "SCH:Date>=" + std::to_string(today - 2) + " AND SCH:Date<=" + std::to_string(today + 2));
    EXPECT_EQ(f.label, "12/3-16/3");
    EXPECT_EQ(MakeExploreFilters("All", "Custom", "All", today, today, today, fmt).label, "14/3");
}

}  // namespace
}  // namespace kr::tasks
