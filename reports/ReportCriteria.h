// The report variables and the rules of the criteria window, display-free.
//
// The schedule reports ask for a date range, one category or all, an order
// and whether future occurrences are wanted. The answers live in
// program-wide report variables that keep their values from one report to
// the next until the program ends; the criteria window's own entries are
// kept the same way, so the window shows them again. Only "RIFO" (future
// occurrences) is also stored as a setting.
//
// The filter texts are expressions over Schedule's fields and the names
// GLO:Category, GLO:DateFrom and GLO:DateTo, which BindReportNames makes
// known to the evaluator of the report's thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/runtime/FixedString.h"

namespace kr {
class Bindings;
}

namespace kr::reports {

struct ReportVariables {
    FString<20> GLO_Category;
    int32_t GLO_DateFrom = 0;
    int32_t GLO_DateTo = 0;
    FString<255> ReportFilter;
    FString<125> ReportOrder;
    FString<80> ReportTitle;
    uint8_t RIFO = 0;  // list future occurrences in this run
};

// What the criteria window shows and leaves behind for the next time.
struct CriteriaEntries {
    int32_t from = 0;
    int32_t to = 0;
    FString<9> dateRange;  // "All" or "Selected"
    FString<9> category;   // "All" or "Selected"
    FString<20> categoryEntry;
    FString<20> order;     // "Date", "Category", "Category/Date", "Description", "Task Type", "Adv. Warn"
};

// The program-wide sets (one program, one set; the last window to close wins).
ReportVariables& Report();
CriteriaEntries& Criteria();

// Texts of the options.
inline constexpr const char* kAll = "All";
inline constexpr const char* kSelected = "Selected";
inline constexpr const char* kOrderChoices[] = {"Date", "Category", "Description", "Task Type", "Adv. Warn",
                                                "Category/Date"};

// The defaults the window applies when it opens: From 0 becomes today, To 0
// today plus 30 days, a blank order "Date", blank options "All".
void ApplyCriteriaDefaults(CriteriaEntries& e, int32_t today);

// The enabling rule: the dates (with their buttons and the future
// occurrences box) only with a selected date range; the category list only
// with a selected category.
struct CriteriaEnabling {
    bool dates = false;
    bool category = false;
};
CriteriaEnabling EnablingOf(const CriteriaEntries& e);

// The key name an order choice stands for ("Sch:KeyDate" ...).
std::string OrderKeyText(const std::string& choice);

// OK: sets the filter, the order and the GLO: names from the entries.
// RIFO in `v` becomes the box as ticked, or 0 for this run when no date
// range is selected; the caller stores the ticked box as the "RIFO" setting.
void ApplyCriteriaOk(const CriteriaEntries& e, bool futureOccurrences, ReportVariables& v);
// Cancel: empty filter and order, which the reports take as "stop".
void ApplyCriteriaCancel(ReportVariables& v);
inline bool CriteriaCancelled(const ReportVariables& v) {
    return v.ReportFilter.str().empty() && v.ReportOrder.str().empty();
}

// Binds GLO:Category, GLO:DateFrom and GLO:DateTo (read at each evaluation
// from Report()) into the set.
void BindReportNames(Bindings& b);
void UnbindReportNames(Bindings& b);

// ---- The member rules of the reports.

// The Schedule key a ReportOrder text names, without regard to case
// ("Sch:KeyCategory" -> "SCH:KeyCategory"); anything else is SCH:KeyDate.
// With workfile set, the ScheduleWorkfile key of the same name (SCW:...).
std::string ReportKeyName(const std::string& reportOrder, bool workfile);
// The filter for the work file: upper case, every "SCH:" turned into "SCW:".
std::string WorkfileFilter(const std::string& filter);
// The checklist warns when the order has no date in it.
bool OrderLacksDate(const std::string& reportOrder);
inline constexpr const char* kOrderWarningText =
    "You have selected an order that does not contain a key by date.  Since a page break is issued when the "
    "date of a scheduled tasks changes, the report may be long.";
// The "Done" column: "Done" for a completed task (also when disabled),
// "Off" for a disabled one, else empty.
std::string StatusText(bool disabled, bool completed);
// The checklist's day heading: the weekday's name, a blank and the date as
// "d4" shows it ("Wednesday December 9, 2026").
std::string DayHeading(int32_t date);
// The to-do notes with trailing blanks removed, a carriage return and the
// resolution; the notes alone when the resolution is blank. At most 10000
// characters.
std::string ToDoNotesText(const std::string& notes, const std::string& resolution);
// The to-do by category's default title.
std::string ToDoCategoryTitle(const std::string& category);

}  // namespace kr::reports
