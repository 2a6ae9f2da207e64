// The schedule and category reports that print straight from their table:
// every task in date order or in category order with the full task layout,
// the tasks of one category, and the list of categories.
#include "dictionary/Dictionary.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "reports/windows/PrintRun.h"
#include "reports/windows/ReportLayouts.h"
#include "reports/windows/ReportWindows.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::reports {

using namespace report;

namespace {

Schedule& SCH() { return Schedule_File().rec(); }

void RunAllTasks(const char* procedure, const char* key, std::function<void(int)> done) {
    auto release = HoldReportThread(procedure);
    auto plan = std::make_shared<PrintPlan>();
    plan->procedure = procedure;
    plan->layout = FullTaskLayout();
    plan->file = &Schedule_File();
    plan->tableName = "Schedule";
    plan->keyName = key;
    plan->direct = true;
    RunPrint(plan, [release, done](int r) {
        if (done) done(r);
        release();
    });
}

}  // namespace

// The full task layout of the two lists of every task: two rows of
// headings, and per task its fields, day and week checks, last run, alarm
// and warning options.
std::shared_ptr<ReportLayout> FullTaskLayout() {
    auto l = std::make_shared<ReportLayout>();
    l->title = "Schedule";
    l->font.points = 8;
    l->pageHeader = Band(900, {WithFont(report::Text(0, 0, 7500, 300, "Schedule"), TitleFont()),
                               Heading(0, 400, 1500, "Task Type"), Heading(1600, 400, 1500, "Category"),
                               Heading(3200, 400, 2300, "Description"), Heading(5600, 400, 1900, "Command"),
                               Heading(0, 600, 3000, "Message"), Heading(3200, 600, 1300, "Schedule Type"),
                               Heading(4550, 600, 900, "Date"), Heading(5500, 600, 700, "Time"),
                               Heading(6250, 600, 1250, "Advance Warning"), Line(0, 840, 7500, 840)});
    auto str = [](auto member) {
        return [member] { return Value(std::string((SCH().*member).str())); };
    };
    auto num = [](auto member) {
        return [member] { return Value(static_cast<int64_t>(SCH().*member)); };
    };
    std::vector<Control> d = {
        Field(0, 0, 1500, 180, str(&Schedule::TaskType), "@s20"),
        Field(1600, 0, 1500, 180, str(&Schedule::Category), "@s20"),
        Field(3200, 0, 2300, 180, str(&Schedule::Description), "@s40"),
        Field(5600, 0, 1900, 180, str(&Schedule::Command), "@s80"),
        Memo(0, 200, 3100, 380, [] { return Value(SCH().Message); }),
        Field(3200, 200, 1300, 180, str(&Schedule::ScheduleType), "@s20"),
        Field(4550, 200, 900, 180, num(&Schedule::Date), "@d3"),
        Field(5500, 200, 700, 180, num(&Schedule::Time), "@t3"),
        Field(6250, 200, 1250, 180, num(&Schedule::AdvanceWarnDate), "@d3"),
        Field(6250, 400, 1250, 180, num(&Schedule::AdvanceWarnTime), "@t3"),
    };
    const std::pair<const char*, uint8_t Schedule::*> days[] = {
        {"Sunday", &Schedule::Sunday},     {"Monday", &Schedule::Monday}, {"Tuesday", &Schedule::Tuesday},
        {"Wednesday", &Schedule::Wednesday}, {"Thursday", &Schedule::Thursday}, {"Friday", &Schedule::Friday},
        {"Saturday", &Schedule::Saturday}};
    int x = 0;
    for (const auto& [label, member] : days) {
        d.push_back(Check(x, 620, 1000, 180, label, num(member)));
        x += 1050;
    }
    d.push_back(report::Text(0, 820, 400, 180, "Every"));
    d.push_back(Field(400, 820, 500, 180, num(&Schedule::Every), "@n6"));
    const std::pair<const char*, uint8_t Schedule::*> weeks[] = {{"1st", &Schedule::Every1st},
                                                                {"2nd", &Schedule::Every2nd},
                                                                {"3rd", &Schedule::Every3rd},
                                                                {"4th", &Schedule::Every4th},
                                                                {"Last", &Schedule::EveryLast}};
    x = 1000;
    for (const auto& [label, member] : weeks) {
        d.push_back(Check(x, 820, 550, 180, label, num(member)));
        x += 560;
    }
    d.push_back(Field(3850, 820, 1300, 180, str(&Schedule::EveryType), "@s20"));
    d.push_back(report::Text(5200, 820, 650, 180, "Last Run:"));
    d.push_back(Field(5850, 820, 950, 180, num(&Schedule::LastRunDate), "@d3"));
    d.push_back(Field(6850, 820, 650, 180, num(&Schedule::LastRunTime), "@t3"));
    d.push_back(Check(0, 1020, 1400, 180, "Skip Next Time", num(&Schedule::SkipNextTime)));
    d.push_back(Check(1450, 1020, 800, 180, "Alarm", num(&Schedule::Alarm)));
    d.push_back(Field(2300, 1020, 5200, 180, [] { return Value(std::string(SCH().AlarmFile.str())); }, "@s80"));
    d.push_back(Check(0, 1220, 2700, 180, "Warn if not run on specified date", num(&Schedule::Warn)));
    d.push_back(Check(2750, 1220, 3000, 180, "Give option to skip before performing", num(&Schedule::UserSkip)));
    d.push_back(Check(5800, 1220, 1000, 180, "Disabled", num(&Schedule::Disabled)));
    d.push_back(Line(0, 1440, 7500, 1440, 5));
    l->detail = Band(1480, std::move(d));
    l->pageFooter = PageFooter(l->pageWidth);
    return l;
}

std::shared_ptr<ReportLayout> OneCategoryLayout(const std::string& category) {
    auto l = std::make_shared<ReportLayout>();
    l->title = category;
    l->pageHeader = Band(750, {WithFont(Field(0, 0, 7500, 300, [category] { return Value(category); }, "@s20"),
                                        TitleFont()),
                               Heading(0, 450, 1200, "Date"), Heading(1300, 450, 900, "Time"),
                               Heading(2300, 450, 5000, "Description"), Line(0, 690, 7500, 690)});
    l->detail = Band(220, {Field(0, 0, 1200, 180, [] { return Value(static_cast<int64_t>(SCH().Date)); }, "@d3"),
                           Field(1300, 0, 900, 180, [] { return Value(static_cast<int64_t>(SCH().Time)); }, "@t3"),
                           Field(2300, 0, 5000, 180, [] { return Value(SCH().Description.str()); }, "@s40")});
    l->pageFooter = PageFooter(l->pageWidth);
    return l;
}

std::shared_ptr<ReportLayout> CategoryListLayout() {
    auto l = std::make_shared<ReportLayout>();
    l->title = "Category List";
    l->pageHeader = Band(750, {WithFont(report::Text(0, 0, 7500, 300, "Category List"), TitleFont()),
                               Heading(0, 450, 2500, "Category"), Line(0, 690, 7500, 690)});
    l->detail = Band(220, {Field(0, 0, 2500, 180, [] { return Value(Categories_File().rec().Category.str()); }, "@s20")});
    l->pageFooter = PageFooter(l->pageWidth);
    return l;
}

void Print_SCH_AllDateOrder(std::function<void(int)> done) {
    RunAllTasks("Print:SCH:AllDateOrder", "SCH:KeyDate", std::move(done));
}

void Print_SCH_AllCategoryOrder(std::function<void(int)> done) {
    RunAllTasks("Print:SCH:AllCategoryOrder", "SCH:KeyCategory", std::move(done));
}

void Print_SCH_OneCategory(std::function<void(int)> done) {
    const char* procedure = "Print:SCH:OneCategory";
    auto release = HoldReportThread(procedure);
    GlobalRequest() = kSelectRecord;
    tasks::SelectCategories([release, done, procedure](int response) {
        if (response != kRequestCompleted) {
            if (done) done(kRequestCancelled);
            return release();
        }
        const std::string category = Categories_File().rec().Category.str();
        auto l = OneCategoryLayout(category);
        auto plan = std::make_shared<PrintPlan>();
        plan->procedure = procedure;
        plan->layout = l;
        plan->file = &Schedule_File();
        plan->tableName = "Schedule";
        plan->keyName = "SCH:KeyCategoryDate";
        // The tasks of the category: a range over the key's first part,
        // which compares without regard to case as the key does.
        plan->rangeStart = [category] {
            SCH() = Schedule();
            SCH().Category = category;
        };
        plan->inRange = [category] { return EqualNoCase(ClipRight(SCH().Category.str()), ClipRight(category)); };
        plan->direct = true;
        RunPrint(plan, [release, done](int r) {
            if (done) done(r);
            release();
        });
    });
}

void PrintCAT_KeyCategory(std::function<void(int)> done) {
    const char* procedure = "PrintCAT:KeyCategory";
    auto release = HoldReportThread(procedure);
    auto l = CategoryListLayout();
    auto plan = std::make_shared<PrintPlan>();
    plan->procedure = procedure;
    plan->layout = l;
    plan->file = &Categories_File();
    plan->tableName = "Categories";
    plan->keyName = "CAT:KeyCategory";
    plan->direct = true;
    RunPrint(plan, [release, done](int r) {
        if (done) done(r);
        release();
    });
}

}  // namespace kr::reports
