// The criteria window's rules, the member rules of the printed reports, and
// the report view's filter over a real data file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Expression.h"
#include "platform/runtime/Services.h"
#include "reports/ReportCriteria.h"
#include "reports/ReportView.h"
#include "tests/reports/core/ReportDataFolder.h"

namespace kr::reports {
namespace {

CriteriaEntries Entries(const char* dates, const char* category, const char* order = "Date") {
    CriteriaEntries e;
    ApplyCriteriaDefaults(e, MakeDate(12, 9, 2026));
    e.dateRange = dates;
    e.category = category;
    e.categoryEntry = "Work";
    e.order = order;
    return e;
}

TEST(ReportCriteria, DefaultsFillOnlyWhatIsBlank) {
    const int32_t today = MakeDate(12, 9, 2026);
    CriteriaEntries e;
    ApplyCriteriaDefaults(e, today);
    EXPECT_EQ(e.from, today);
    EXPECT_EQ(e.to, today + 30);
    EXPECT_EQ(e.order.str(), "Date");
    EXPECT_EQ(e.dateRange.str(), "All");
    EXPECT_EQ(e.category.str(), "All");
    EXPECT_FALSE(EnablingOf(e).dates);
    EXPECT_FALSE(EnablingOf(e).category);

    // Remembered entries stay as they were.
    e.from = today - 3;
    e.to = today + 2;
    e.order = "Task Type";
    e.dateRange = "Selected";
    ApplyCriteriaDefaults(e, today + 100);
    EXPECT_EQ(e.from, today - 3);
    EXPECT_EQ(e.to, today + 2);
    EXPECT_EQ(e.order.str(), "Task Type");
    EXPECT_TRUE(EnablingOf(e).dates);
    EXPECT_FALSE(EnablingOf(e).category);
}

TEST(ReportCriteria, FilterAndOrderForEachOptionPair) {
    struct Case {
        const char* dates;
        const char* category;
        const char* filter;
    } cases[] = {
        {"All", "All", ""},
        {"All", "Selected", "Sch:Category=Glo:Category"},
        {"Selected", "All", "Sch:Date>=GLO:DateFrom AND Sch:Date<=GLO:DateTo"},
        {"Selected", "Selected", "Sch:Category=Glo:Category AND Sch:Date>=GLO:DateFrom AND Sch:Date<=GLO:DateTo"},
    };
    for (const Case& c : cases) {
        ReportVariables v;
        const CriteriaEntries e = Entries(c.dates, c.category);
        ApplyCriteriaOk(e, true, v);
        EXPECT_EQ(v.ReportFilter.str(), c.filter) << c.dates << "/" << c.category;
        EXPECT_EQ(v.ReportOrder.str(), "Sch:KeyDate");
        const bool dates = std::string(c.dates) == "Selected";
        // Future occurrences only with a date range, which then bounds them.
        EXPECT_EQ(v.RIFO, dates ? 1 : 0);
        EXPECT_EQ(v.GLO_DateFrom, dates ? e.from : 0);
        EXPECT_EQ(v.GLO_DateTo, dates ? e.to : 0);
        EXPECT_EQ(v.GLO_Category.str(), std::string(c.category) == "Selected" ? "Work" : "");
        EXPECT_FALSE(CriteriaCancelled(v));
    }
}

TEST(ReportCriteria, OrderChoicesAndCancel) {
    const std::pair<const char*, const char*> orders[] = {
        {"Date", "Sch:KeyDate"},           {"Category", "Sch:KeyCategory"},
        {"Category/Date", "Sch:KeyCategoryDate"}, {"Description", "Sch:KeyTaskName"},
        {"Task Type", "Sch:KeyTaskType"},  {"Adv. Warn", "Sch:KeyAdvanced"},
        {"Priority", "Sch:KeyDate"},
    };
    for (const auto& [choice, key] : orders) {
        ReportVariables v;
        ApplyCriteriaOk(Entries("All", "All", choice), false, v);
        EXPECT_EQ(v.ReportOrder.str(), key) << choice;
    }
    ReportVariables v;
    ApplyCriteriaOk(Entries("Selected", "Selected"), true, v);
    ApplyCriteriaCancel(v);
    EXPECT_EQ(v.ReportFilter.str(), "");
    EXPECT_EQ(v.ReportOrder.str(), "");
    EXPECT_TRUE(CriteriaCancelled(v));
}

TEST(ReportMemberRules, KeysFiltersAndTexts) {
    EXPECT_EQ(ReportKeyName("Sch:KeyCategoryDate", false), "SCH:KeyCategoryDate");
    EXPECT_EQ(ReportKeyName("SCH:KEYTASKNAME", true), "SCW:KeyTaskName");
    EXPECT_EQ(ReportKeyName("Sch:KeyAdvanced", true), "SCW:KeyAdvanced");
    EXPECT_EQ(ReportKeyName("Sch:KeyID", false), "SCH:KeyDate");
    EXPECT_EQ(ReportKeyName("", true), "SCW:KeyDate");

    EXPECT_EQ(WorkfileFilter("Sch:Category=Glo:Category AND Sch:Date>=GLO:DateFrom AND Sch:Date<=GLO:DateTo"),
              "SCW:CATEGORY=GLO:CATEGORY AND SCW:DATE>=GLO:DATEFROM AND SCW:DATE<=GLO:DATETO");
    EXPECT_EQ(WorkfileFilter(""), "");

    EXPECT_TRUE(OrderLacksDate("Sch:KeyCategory"));
    EXPECT_TRUE(OrderLacksDate("Sch:KeyTaskName"));
    EXPECT_FALSE(OrderLacksDate("Sch:KeyDate"));
    EXPECT_FALSE(OrderLacksDate("Sch:KeyCategoryDate"));

    EXPECT_EQ(StatusText(false, false), "");
    EXPECT_EQ(StatusText(true, false), "Off");
    EXPECT_EQ(StatusText(false, true), "Done");
    EXPECT_EQ(StatusText(true, true), "Done");

    const int32_t sunday = MakeDate(12, 6, 2026);
    ASSERT_EQ(sunday % 7, 0);
    EXPECT_EQ(DayHeading(sunday), "Sunday December 6, 2026");
    EXPECT_EQ(DayHeading(sunday + 3), "Wednesday December 9, 2026");

    EXPECT_EQ(ToDoNotesText("Call back   ", "   "), "Call back");
    EXPECT_EQ(ToDoNotesText("Call back  ", "Called"), "Call back\rCalled");
    EXPECT_EQ(ToDoNotesText(std::string(12000, 'n'), "r").size(), 10000u);
    EXPECT_EQ(ToDoCategoryTitle("Home      "), "To Do List - Home");
}

// ---- The view over a real data file.

class ReportViewTest : public ReportDataFolderTest {
protected:
    void AddTask(int32_t id, const char* category, int32_t date) {
        auto& f = Schedule_File();
        ASSERT_EQ(f.Open(), 0);
        f.rec() = Schedule();
        f.rec().ID = id;
        f.rec().Category = category;
        f.rec().Description = "Task " + std::to_string(id);
        f.rec().ScheduleType = "Once";
        f.rec().Date = date;
        ASSERT_EQ(f.Insert(), 0);
        f.Close();
    }
    std::vector<int32_t> Read(ReportView& view) {
        std::vector<int32_t> ids;
        EXPECT_TRUE(view.Open());
        for (int i = 0; i < 100; ++i) {
            RecordStep r = view.Next();
            if (r.kind != RecordStep::kDone) break;
            ids.push_back(Schedule_File().rec().ID);
        }
        view.Close();
        return ids;
    }

};

TEST_F(ReportViewTest, CriteriaFilterSelectsByCategoryAndDateInKeyOrder) {
    const int32_t d = MakeDate(12, 9, 2026);
    AddTask(1, "Work", d + 5);
    AddTask(2, "Home", d + 1);
    AddTask(3, "work", d + 2);  // the category compares with case
    AddTask(4, "Work", d - 1);  // before the range
    AddTask(5, "Work", d + 3);
    AddTask(6, "Work", d + 31);  // after the range

    ReportVariables& v = Report();
    ApplyCriteriaOk(Entries("Selected", "Selected"), false, v);
    BindReportNames(CurrentBindings());
    ReportView view(Schedule_File(), "Schedule");
    view.keyName = ReportKeyName(v.ReportOrder.str(), false);
    view.filter = v.ReportFilter.str();
    EXPECT_EQ(Read(view), (std::vector<int32_t>{5, 1}));
    EXPECT_EQ(responder_.shown().size(), 0u);

    // The category order with no filter reads every task.
    ReportView all(Schedule_File(), "Schedule");
    all.keyName = "SCH:KeyCategory";
    EXPECT_EQ(Read(all).size(), 6u);
    UnbindReportNames(CurrentBindings());
}

TEST_F(ReportViewTest, BadFilterWarnsAndReadsEverything) {
    const int32_t d = MakeDate(12, 9, 2026);
    AddTask(1, "Work", d);
    AddTask(2, "Home", d + 1);
    responder_.Answer(kButtonOk);
    ReportView view(Schedule_File(), "Schedule");
    view.keyName = "SCH:KeyDate";
    view.filter = "Sch:Category = = 'Work'";
    EXPECT_EQ(Read(view), (std::vector<int32_t>{1, 2}));
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "View Open Error");
}

}  // namespace
}  // namespace kr::reports
