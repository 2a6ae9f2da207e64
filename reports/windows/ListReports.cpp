// The printed lists: contacts, the brief schedule and the checklist (from
// the schedule or, with future occurrences, from the work file), and the
// to-do list by priority or by category.
#include "dictionary/Dictionary.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Expression.h"
#include "platform/runtime/ReportPreviewStrings.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/ReportPreview.h"
#include "platform/ui/Requests.h"
#include "platform/ui/report/ReportRun.h"
#include "reports/ReportCriteria.h"
#include "reports/Workfile.h"
#include "reports/windows/PrintRun.h"
#include "reports/windows/ReportLayouts.h"
#include "reports/windows/ReportWindows.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::reports {

using namespace report;

namespace {

using Record = std::function<Schedule&()>;

Record ScheduleRecord() {
    return [] () -> Schedule& { return Schedule_File().rec(); };
}
Record WorkfileRecord() {
    return [] () -> Schedule& { return ScheduleWorkfile_File().rec(); };
}

std::function<Value()> Status(Record rec) {
    return [rec] { return Value(StatusText(rec().Disabled != 0, rec().Completed != 0)); };
}

// One run's end: the caller's callback, then the report's thread may go.
std::function<void(int)> Ending(std::function<void()> release, std::function<void(int)> done) {
    return [release, done](int r) {
        if (done) done(r);
        release();
    };
}

void RunScheduleList(bool checklist, std::function<void(int)> done) {
    const ReportVariables& v = Report();
    auto plan = std::make_shared<PrintPlan>();
    plan->procedure = checklist ? "PrintScheduleChecklist" : "PrintScheduleBrief";
    plan->layout = checklist ? ChecklistLayout("Schedule", false)
                             : BriefLayout("Schedule in Brief", false);
    plan->file = &Schedule_File();
    plan->tableName = "Schedule";
    plan->keyName = ReportKeyName(v.ReportOrder.str(), false);
    plan->filter = v.ReportFilter.str();
    plan->bindReportNames = true;
    RunPrint(plan, std::move(done));
}

void RunWorkfileList(bool checklist, std::function<void(int)> done) {
    const ReportVariables& v = Report();
    auto plan = std::make_shared<PrintPlan>();
    plan->procedure = checklist ? "PrintCompleteSchedule" : "PrintCompleteScheduleBrief";
    plan->layout = checklist ? ChecklistLayout("Complete Schedule", true)
                             : BriefLayout("Complete Schedule in Brief", true);
    plan->file = &ScheduleWorkfile_File();
    plan->tableName = "ScheduleWorkfile";
    plan->keyName = ReportKeyName(v.ReportOrder.str(), true);
    plan->filter = WorkfileFilter(v.ReportFilter.str());
    plan->bindReportNames = true;
    plan->batchSize = 50;
    RunPrint(plan, std::move(done));
}

// The brief schedule and the checklist: the criteria, the order warning of
// the checklist, then the schedule itself or, with future occurrences, the
// work file, which is deleted however the run ends.
void RunCriteriaReport(bool checklist, std::function<void(int)> done) {
    const char* procedure = checklist ? "PrintScheduleChecklist" : "PrintScheduleBrief";
    auto end = Ending(HoldReportThread(procedure), std::move(done));
    ReportParameters([checklist, end](int) {
        if (CriteriaCancelled(Report())) return end(kRequestCancelled);
        if (checklist && OrderLacksDate(Report().ReportOrder.str()))
            Message(kOrderWarningText, "Warning", MessageIcon::Exclamation, kButtonOk);
        if (!Report().RIFO) return RunScheduleList(checklist, end);
        SetWorkfileName(WorkfileNameFor(ClockTime()));
        CreateWorkfile([checklist, end](int response) {
            if (response != kRequestCompleted) {
                RemoveWorkfile();
                return end(kRequestCancelled);
            }
            RunWorkfileList(checklist, [end](int r) {
                RemoveWorkfile();
                end(r);
            });
        });
    });
}

// The preview question as the to-do reports ask it, before their title
// window; nullopt when the user cancelled.
std::optional<bool> AskToDoPreview() {
    const ReportJob defaults;
    LoadReportPreviewStrings(defaults.iniFile, defaults.progressUserText, defaults.askPreviewTitle,
                             defaults.askPreviewText);
    const Destination d = AskPreview(ReportPreviewStrings());
    if (d == Destination::Cancelled) return std::nullopt;
    return d == Destination::Preview;
}

Todo& TDO() { return Todo_File().rec(); }

void RunToDo(const char* procedure, const std::string& defaultTitle, std::function<Value()> notes,
             std::function<void(PrintPlan&)> view, std::function<void(int)> end) {
    const std::optional<bool> preview = AskToDoPreview();
    if (!preview) return end(kRequestCancelled);
    SetReportTitle([=](int response) {
        if (response != kRequestCompleted) return end(kRequestCancelled);
        const std::string typed = ClipRight(Report().ReportTitle.str());
        auto plan = std::make_shared<PrintPlan>();
        plan->procedure = procedure;
        plan->layout = ToDoLayout(typed.empty() ? defaultTitle : typed, notes);
        plan->file = &Todo_File();
        plan->tableName = "Todo";
        plan->preview = preview;
        view(*plan);
        RunPrint(plan, end);
    });
}

}  // namespace

// "Schedule" as a daily checklist: a page per date under its day heading,
// and empty columns to write the actual start, end and initials in.
std::shared_ptr<ReportLayout> ChecklistLayout(const char* title, bool workfile) {
    const Record rec = workfile ? WorkfileRecord() : ScheduleRecord();
    auto l = std::make_shared<ReportLayout>();
    l->title = title;
    l->pageHeader = Band(750, {WithFont(report::Text(0, 0, 7500, 300, title), TitleFont()),
                               Heading(0, 450, 650, "Time"), Heading(700, 450, 1300, "Category"),
                               Heading(2050, 450, 2050, "Description"), Heading(4150, 450, 500, "Done"),
                               Heading(4700, 450, 1050, "Actual Start"), Heading(5800, 450, 950, "Actual End"),
                               Heading(6800, 450, 700, "Initials"), Line(0, 690, 7500, 690)});
    Group day;
    day.key = [rec] { return IntToText(rec().Date); };
    day.newPage = true;
    day.header = Band(350, {WithFont(Field(0, 60, 7500, 220, [rec] { return Value(DayHeading(rec().Date)); }, "@S60"),
                                     Bold(11))});
    l->groups.push_back(std::move(day));
    l->detail = Band(260, {Field(0, 0, 650, 180, [rec] { return Value(static_cast<int64_t>(rec().Time)); }, "@T1"),
                           Field(700, 0, 1300, 180, [rec] { return Value(rec().Category.str()); }, "@s20"),
                           Field(2050, 0, 2050, 180, [rec] { return Value(rec().Description.str()); }, "@s40"),
                           Field(4150, 0, 500, 180, Status(rec), ""), Line(4700, 200, 5700, 200, 5),
                           Line(5800, 200, 6700, 200, 5), Line(6800, 200, 7500, 200, 5)});
    l->pageFooter = PageFooter(l->pageWidth);
    return l;
}

// The to-do layout: done, priority, category, the item and its completion
// date, the notes below, and the date of the run in the page header.
std::shared_ptr<ReportLayout> ToDoLayout(const std::string& title, std::function<Value()> notes) {
    auto l = std::make_shared<ReportLayout>();
    l->title = title;
    const int32_t runDate = Today();
    l->pageHeader = Band(750, {WithFont(report::Text(0, 0, 5400, 300, title), TitleFont()),
                               Field(5500, 50, 2000, 200, [runDate] { return Value(static_cast<int64_t>(runDate)); },
                                     "@D18", Align::Right),
                               Heading(0, 450, 500, "Done"), Heading(550, 450, 750, "Priority"),
                               Heading(1350, 450, 1400, "Category"), Heading(2800, 450, 3600, "To Do"),
                               Line(0, 690, 7500, 690)});
    l->detail = Band(640, {Check(100, 0, 300, 180, "", [] { return Value(static_cast<int64_t>(TDO().Done)); }),
                           Field(550, 0, 750, 180, [] { return Value(static_cast<int64_t>(TDO().Priority)); }, "@n2"),
                           Field(1350, 0, 1400, 180, [] { return Value(TDO().Category.str()); }, "@s20"),
                           Field(2800, 0, 3600, 180, [] { return Value(TDO().ToDo.str()); }, "@s80"),
                           Field(6500, 0, 1000, 180, [] { return Value(static_cast<int64_t>(TDO().CompletionDate)); },
                                 "@d3b"),
                           Memo(550, 200, 6950, 400, std::move(notes))});
    l->pageFooter = PageFooter(l->pageWidth);
    return l;
}

// "Schedule in Brief": date, time, category, description and status.
std::shared_ptr<ReportLayout> BriefLayout(const char* title, bool workfile) {
    const Record rec = workfile ? WorkfileRecord() : ScheduleRecord();
    auto l = std::make_shared<ReportLayout>();
    l->title = title;
    l->pageHeader = Band(750, {WithFont(report::Text(0, 0, 7500, 300, title), TitleFont()),
                               Heading(0, 450, 1100, "Date"), Heading(1200, 450, 900, "Time"),
                               Heading(2200, 450, 1600, "Category"), Heading(3900, 450, 3000, "Description"),
                               Heading(7000, 450, 500, "Done"), Line(0, 690, 7500, 690)});
    l->detail = Band(220, {Field(0, 0, 1100, 180, [rec] { return Value(static_cast<int64_t>(rec().Date)); }, "@d3"),
                           Field(1200, 0, 900, 180, [rec] { return Value(static_cast<int64_t>(rec().Time)); }, "@t3"),
                           Field(2200, 0, 1600, 180, [rec] { return Value(rec().Category.str()); }, "@s20"),
                           Field(3900, 0, 3000, 180, [rec] { return Value(rec().Description.str()); }, "@s40"),
                           Field(7000, 0, 500, 180, Status(rec), "")});
    l->pageFooter = PageFooter(l->pageWidth);
    return l;
}

void PrintScheduleBrief(std::function<void(int)> done) { RunCriteriaReport(false, std::move(done)); }
void PrintScheduleChecklist(std::function<void(int)> done) { RunCriteriaReport(true, std::move(done)); }
void PrintCompleteScheduleBrief(std::function<void(int)> done) { RunWorkfileList(false, std::move(done)); }
void PrintCompleteSchedule(std::function<void(int)> done) { RunWorkfileList(true, std::move(done)); }

// "Report the Contact File": in reading order, the name, the address, the
// postal code and the four phones, then e-mail, web site and category.
std::shared_ptr<ReportLayout> ContactsLayout() {
    auto l = std::make_shared<ReportLayout>();
    l->title = "Report the Contact File";
    l->font.points = 8;
    l->pageHeader = Band(1250, {WithFont(report::Text(0, 0, 7500, 300, "Report the Contact File"), TitleFont()),
                                Heading(0, 400, 2400, "Last Name"), Heading(2500, 400, 2400, "First Name"),
                                Heading(0, 600, 2400, "Address Line 1"), Heading(2500, 600, 2400, "Address Line 2"),
                                Heading(5000, 600, 2500, "Address Line 3"), Heading(0, 800, 1000, "Postal Code"),
                                Heading(1100, 800, 1550, "Work/Day Phone"), Heading(2750, 800, 1650, "Home/Evening Phone"),
                                Heading(4500, 800, 1400, "Fax"), Heading(6000, 800, 1500, "Other Phone"),
                                Heading(0, 1000, 2900, "Email"), Heading(3000, 1000, 2900, "Web Site"),
                                Heading(6000, 1000, 1500, "Contact Category"), Line(0, 1210, 7500, 1210)});
    auto text = [](auto member) {
        return [member] { return Value(std::string((Contact_File().rec().*member).str())); };
    };
    l->detail = Band(880, {Field(0, 0, 2400, 180, text(&Contact::LastName), "@s30"),
                           Field(2500, 0, 2400, 180, text(&Contact::FirstName), "@s20"),
                           Field(0, 200, 2400, 180, text(&Contact::AddressLine1), "@s30"),
                           Field(2500, 200, 2400, 180, text(&Contact::AddressLine2), "@s30"),
                           Field(5000, 200, 2500, 180, text(&Contact::AddressLine3), "@s30"),
                           Field(0, 400, 1000, 180, text(&Contact::PostalCode), "@s10"),
                           Field(1100, 400, 1550, 180, text(&Contact::WorkDayPhone), "@s20"),
                           Field(2750, 400, 1650, 180, text(&Contact::HomeEveningPhone), "@s20"),
                           Field(4500, 400, 1400, 180, text(&Contact::Fax), "@s20"),
                           Field(6000, 400, 1500, 180, text(&Contact::OtherPhone), "@s20"),
                           Field(0, 600, 2900, 180, text(&Contact::Email), "@s40"),
                           Field(3000, 600, 2900, 180, text(&Contact::WebSite), "@s60"),
                           Field(6000, 600, 1500, 180, text(&Contact::ContactCategory), "@s20"),
                           Line(0, 840, 7500, 840, 5)});
    l->pageFooter = PageFooter(l->pageWidth);
    return l;
}

void PrintContacts(std::function<void(int)> done) {
    const char* procedure = "PrintContacts";
    auto end = Ending(HoldReportThread(procedure), std::move(done));
    auto l = ContactsLayout();
    auto plan = std::make_shared<PrintPlan>();
    plan->procedure = procedure;
    plan->layout = l;
    plan->file = &Contact_File();
    plan->tableName = "Contact";
    plan->keyName = "C_:KeyCategory";
    RunPrint(plan, end);
}

void PrintToDoByPriority(std::function<void(int)> done) {
    const char* procedure = "PrintToDoByPriority";
    auto end = Ending(HoldReportThread(procedure), std::move(done));
    Report().ReportTitle = "";
    RunToDo(procedure, "To Do List - By Priority", [] { return Value(TDO().Notes); },
            [](PrintPlan& s) { s.keyName = "TDO:KeyPriority"; }, end);
}

void PrintToDoByCategory(std::function<void(int)> done) {
    const char* procedure = "PrintToDoByCategory";
    auto end = Ending(HoldReportThread(procedure), std::move(done));
    Categories_File().rec() = Categories();
    Categories_File().rec().Category = "General";
    GlobalRequest() = kSelectRecord;
    tasks::SelectCategories([procedure, end](int response) {
        if (response != kRequestCompleted) return end(kRequestCancelled);
        const std::string category = Categories_File().rec().Category.str();
        const std::string title = ToDoCategoryTitle(category);
        Report().ReportTitle = title;
        // The filter reads the chosen category from the Categories buffer.
        Categories_File().BindFields();
        RunToDo(procedure, title, [] { return Value(ToDoNotesText(TDO().Notes, TDO().Resolution)); },
                [](PrintPlan& s) {
                    s.keyName = "TDO:KeyCategory";
                    s.filter = "UPPER(TDO:Category) = UPPER(CAT:Category)";
                },
                end);
    });
}

}  // namespace kr::reports
