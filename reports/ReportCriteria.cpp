#include "reports/ReportCriteria.h"

#include "platform/runtime/DateTime.h"
#include "platform/runtime/Expression.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/Value.h"

namespace kr::reports {

namespace {
constexpr const char* kDateFilter = "Sch:Date>=GLO:DateFrom AND Sch:Date<=GLO:DateTo";
constexpr const char* kCategoryFilter = "Sch:Category=Glo:Category";

struct OrderKey {
    const char* choice;
    const char* key;
};
constexpr OrderKey kOrders[] = {
    {"Date", "Sch:KeyDate"},          {"Category", "Sch:KeyCategory"},     {"Category/Date", "Sch:KeyCategoryDate"},
    {"Description", "Sch:KeyTaskName"}, {"Task Type", "Sch:KeyTaskType"}, {"Adv. Warn", "Sch:KeyAdvanced"},
};
// The keys a ReportOrder text may name; anything else orders by date.
constexpr const char* kReportKeys[] = {"KeyDate", "KeyTaskType", "KeyCategoryDate", "KeyCategory", "KeyTaskName",
                                       "KeyAdvanced"};
}  // namespace

ReportVariables& Report() {
    static ReportVariables v;
    return v;
}

CriteriaEntries& Criteria() {
    static CriteriaEntries e;
    return e;
}

void ApplyCriteriaDefaults(CriteriaEntries& e, int32_t today) {
    if (e.from == 0) e.from = today;
    if (e.to == 0) e.to = today + 30;
    if (e.order.str().empty()) e.order = "Date";
    if (e.dateRange.str().empty()) e.dateRange = kAll;
    if (e.category.str().empty()) e.category = kAll;
}

CriteriaEnabling EnablingOf(const CriteriaEntries& e) {
    return {e.dateRange.str() == kSelected, e.category.str() == kSelected};
}

std::string OrderKeyText(const std::string& choice) {
    for (const OrderKey& o : kOrders)
        if (choice == o.choice) return o.key;
    return "Sch:KeyDate";
}

void ApplyCriteriaOk(const CriteriaEntries& e, bool futureOccurrences, ReportVariables& v) {
    v.RIFO = futureOccurrences ? 1 : 0;
    v.ReportFilter = "";
    v.ReportOrder = "Sch:KeyDate";
    bool byCategory = false;
    if (e.category.str() == kSelected) {
        v.ReportFilter = kCategoryFilter;
        v.GLO_Category = e.categoryEntry.str();
        byCategory = true;
    }
    if (e.dateRange.str() != kSelected) {
        v.RIFO = 0;
    } else {
        std::string filter = kDateFilter;
        if (byCategory) filter.insert(0, std::string(kCategoryFilter).append(" AND "));
        v.ReportFilter = filter;
        v.GLO_DateFrom = e.from;
        v.GLO_DateTo = e.to;
    }
    v.ReportOrder = OrderKeyText(e.order.str());
}

void ApplyCriteriaCancel(ReportVariables& v) {
    v.ReportFilter = "";
    v.ReportOrder = "";
}

void BindReportNames(Bindings& b) {
    b.Bind("GLO:Category", [] { return Value(Report().GLO_Category.str()); });
    b.Bind("GLO:DateFrom", [] { return Value(static_cast<int64_t>(Report().GLO_DateFrom)); });
    b.Bind("GLO:DateTo", [] { return Value(static_cast<int64_t>(Report().GLO_DateTo)); });
}

void UnbindReportNames(Bindings& b) {
    for (const char* n : {"GLO:Category", "GLO:DateFrom", "GLO:DateTo"}) b.Unbind(n);
}

std::string ReportKeyName(const std::string& reportOrder, bool workfile) {
    const std::string prefix = workfile ? "SCW:" : "SCH:";
    for (const char* k : kReportKeys)
        if (EqualNoCase(Trim(reportOrder), std::string("Sch:") + k)) return prefix + k;
    return prefix + "KeyDate";
}

std::string WorkfileFilter(const std::string& filter) { return ReplaceAll(Upper(filter), "SCH:", "SCW:"); }

bool OrderLacksDate(const std::string& reportOrder) { return Upper(reportOrder).find("DATE") == std::string::npos; }

std::string StatusText(bool disabled, bool completed) {
    if (completed) return "Done";
    if (disabled) return "Off";
    return {};
}

std::string DayHeading(int32_t date) {
    static const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    const int day = ((date % 7) + 7) % 7;
    return std::string(kDays[day]) + " " + Trim(Format(Value(static_cast<int64_t>(date)), "@d4"));
}

std::string ToDoNotesText(const std::string& notes, const std::string& resolution) {
    std::string text = ClipRight(notes);
    if (!ClipRight(resolution).empty()) text += "\r" + resolution;
    if (text.size() > 10000) text.resize(10000);
    return text;
}

std::string ToDoCategoryTitle(const std::string& category) { return "To Do List - " + ClipRight(category); }

}  // namespace kr::reports
