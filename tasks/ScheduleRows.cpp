#include "tasks/ScheduleRows.h"

#include "platform/runtime/DateTime.h"
#include "platform/runtime/Strings.h"

namespace kr::tasks {

const std::vector<std::string>& ScheduleIconNames() {
    static const std::vector<std::string> names = {"~blank.ico",   "~bothtask.ico", "~disabled.ico",
                                                   "~done.ico",    "~msgtask.ico",  "~notdone.ico",
                                                   "~progtsk2.ico", "~skip.ico",    "~skipped.ico"};
    return names;
}

int ScheduleStateIcon(const Schedule& SCH) {
    if (SCH.Completed == 1 && SCH.Skipped != 1) return kIconDone;
    if (SCH.SkipNextTime == 1 && SCH.Completed == 0) return kIconSkip;
    if (SCH.Disabled != 0 && SCH.Completed == 0) return kIconDisabled;
    if (SCH.Completed == 1 && SCH.Skipped == 1) return kIconSkipped;
    return kIconNotDone;
}

int ScheduleTypeIcon(std::string_view taskType) {
    const std::string t = Trim(taskType);
    if (t == "Run Program") return kIconProgram;
    if (t == "Display Message") return kIconMessage;
    if (t == "Both") return kIconBoth;
    return kIconBlank;
}

DateColours ScheduleDateColours(const Schedule& SCH, bool explore) {
    const int32_t selected = explore ? static_cast<int32_t>(0xFF7FFF7F) : 0xFFFFFF;
    if (SCH.Disabled == 1) return {0x808080, selected};
    if (SCH.SkipNextTime == 1) return {0xFF0000, explore ? selected : 0xFFFFFF};
    return {};
}

bool ShownInList(const Schedule& SCH, bool activeOnly) {
    return !activeOnly || (SCH.Disabled == 0 && SCH.Completed == 0);
}

bool TaskTypeHasScript(std::string_view taskType) {
    const std::string t = Trim(taskType);
    return !t.empty() && (t[0] == 'R' || t[0] == 'B');
}

bool SelectedDayFollower::Tick(int32_t today) {
    bool moved = false;
    if (today != lastSeenDay && selectedDay == lastSeenDay) {
        selectedDay = today;
        moved = true;
    }
    lastSeenDay = today;
    return moved;
}

ExploreFilters MakeExploreFilters(const std::string& status, const std::string& day, const std::string& category,
                                  int32_t today, int32_t from, int32_t to,
                                  const std::function<std::string(int32_t)>& formatDate) {
    ExploreFilters f;
    f.from = from;
    f.to = to;
    // Hot-key tasks belong to their hot keys, never to this list.
    f.filters.emplace_back("3TaskType", "NOT(SCH:TaskType='Hot Key')");
    std::string st;
    if (status == "Active") st = "NOT(SCH:Disabled OR SCH:Completed)";
    else if (status == "Completed") st = "SCH:Completed";
    else if (status == "Disabled") st = "SCH:Disabled";
    f.filters.emplace_back("3Status", st);
    std::string date;
    bool range = false;
    f.selectedDay = today;
    if (day == "Today") {
        date = "SCH:Date=TODAY()";
    } else if (day == "Tomorrow") {
        date = "SCH:Date=TODAY()+1";
        f.selectedDay = today + 1;
    } else if (day == "Yesterday") {
        date = "SCH:Date=TODAY()-1";
        f.selectedDay = today - 1;
    } else if (day == "This Week") {
        date = "SCH:Date>=TODAY() AND SCH:Date<TODAY()+7";
        f.from = today;
        f.to = today + 6;
        range = true;
    } else if (day == "This Month") {
        // This month of this year (a month number alone would match every year).
        date = "MONTH(SCH:Date)=MONTH(TODAY()) AND YEAR(SCH:Date)=YEAR(TODAY())";
        const int m = DateMonth(today), y = DateYear(today);
        f.from = MakeDate(m, 1, y);
        f.to = MakeDate(m, DaysInMonth(m, y), y);
        range = true;
    } else if (day == "Custom") {
        if (f.to == 0) f.to = MakeDate(1, 1, 2099);
        if (f.from == 0) f.from = MakeDate(1, 1, 1995);
        date = "SCH:Date>=" + std::to_string(f.from) + " AND SCH:Date<=" + std::to_string(f.to);
        f.selectedDay = f.from;
        range = f.to != f.from;
    }
    f.filters.emplace_back("2Date", date);
    f.filters.emplace_back("5Cat", category.empty() || category == "All" ? "" : "SCH:Category=Filter:Category");
    if (day != "All" && !day.empty())
        f.label = range ? formatDate(f.from) + "-" + formatDate(f.to) : formatDate(f.selectedDay);
    return f;
}

namespace {

struct QueryEntry {
    const char* label;
    const char* field;
    const char* picture;
    int length;
    int dataKind;   // 1 text, 2 number
    int entryKind;  // 1 free entry, 2 check box, 3 drop list
    const char* choices;
};

// Flags are check boxes of one character; dates, times and numbers are
// numbers read through their picture.
#define KR_FLAG(label, field, caption) {label, field, "@n3", 1, 2, 2, caption}
#define KR_DATE(label, field) {label, field, "@d17b", 4, 2, 1, ""}
#define KR_TIME(label, field, pic) {label, field, pic, 4, 2, 1, ""}
#define KR_NUM(label, field) {label, field, "@n-13", 4, 2, 1, ""}
#define KR_TEXT(label, field, len) {label, field, "@s" #len, len, 1, 1, ""}
#define KR_LIST(label, field, len, choices) {label, field, "@s" #len, len, 1, 3, choices}

const QueryEntry kEntries[] = {
    KR_TEXT("Category - Category Name", "CAT:Category", 20),
    KR_LIST("Basic - Task Type (Message/Program/Both/Reminder)", "SCH:TaskType", 20,
            "Run Program|Display Message|Both|Reminder Only"),
    KR_TEXT("Basic - Task Category", "SCH:Category", 20),
    KR_TEXT("Basic - Task Description/Title", "SCH:Description", 40),
    KR_TEXT("Basic - Program to Run", "SCH:Command", 255),
    KR_TEXT("Basic - Start In Folder", "SCH:Path", 255),
    KR_LIST("Schedule - Schedule Type", "SCH:ScheduleType", 15,
            "Once|Day of Week|Day of Month|Semi-Monthly|Monthly|Yearly|Custom"),
    KR_FLAG("Day - Sunday", "SCH:Sunday", "Sunday"),
    KR_FLAG("Day - Monday", "SCH:Monday", "Monday"),
    KR_FLAG("Day - Tuesday", "SCH:Tuesday", "Tuesday"),
    KR_FLAG("Day - Wednesday", "SCH:Wednesday", "Wednesday"),
    KR_FLAG("Day - Thursday", "SCH:Thursday", "Thursday"),
    KR_FLAG("Day - Friday", "SCH:Friday", "Friday"),
    KR_FLAG("Day - Saturday", "SCH:Saturday", "Saturday"),
    KR_LIST("Schedule - Monthly Repeat", "SCH:MonthRepeat", 18, "Once|Twice - 1st, 15th|Twice - 15th, Last"),
    KR_NUM("Schedule - Offset (days)", "SCH:Offset"),
    KR_NUM("Schedule - Every (count)", "SCH:Every"),
    KR_FLAG("Schedule - Every 1st", "SCH:Every1st", "1st"),
    KR_FLAG("Schedule - Every 2nd", "SCH:Every2nd", "2nd"),
    KR_FLAG("Schedule - Every 3rd", "SCH:Every3rd", "3rd"),
    KR_FLAG("Schedule - Every 4th", "SCH:Every4th", "4th"),
    KR_FLAG("Schedule - Every Last", "SCH:EveryLast", "Last"),
    KR_FLAG("Schedule - Last Day of Month", "SCH:LastDayofMonth", "Last Day of Month"),
    KR_TEXT("Schedule - Every Type", "SCH:EveryType", 20),
    KR_DATE("Basic - Next Date to Perform Task", "SCH:Date"),
    KR_TIME("Basic - Next Time to Perform Task", "SCH:Time", "@t7b"),
    KR_DATE("Basic - Last performed on this date", "SCH:LastRunDate"),
    KR_TIME("Basic - Last performed at this time", "SCH:LastRunTime", "@t7b"),
    KR_FLAG("Status - Skip Next Time", "SCH:SkipNextTime", "Skip Next Time"),
    KR_FLAG("Alarm - Sound Alarm", "SCH:Alarm", "Alarm"),
    KR_TEXT("Alarm - Alarm File", "SCH:AlarmFile", 255),
    KR_DATE("Warning - Advance Warning Date", "SCH:AdvanceWarnDate"),
    KR_TIME("Warning - Advance Warning Time", "SCH:AdvanceWarnTime", "@t7b"),
    KR_FLAG("Warning - Advance Warning Given", "SCH:AdvanceWarned", "Warned"),
    KR_FLAG("Warning - Warn in Advance", "SCH:Warn", "Warn"),
    KR_FLAG("Advanced - Skip if Missed", "SCH:SkipIfMissed", "Skip if Missed"),
    KR_FLAG("Advanced - Skip if Script Active", "SCH:SkipIfScriptActive", "Skip if Script Active"),
    KR_FLAG("Advanced - No History", "SCH:NoHistory", "No History"),
    KR_FLAG("Status - User Skip", "SCH:UserSkip", "User Skip"),
    KR_FLAG("Status - Task Disabled (True/False)", "SCH:Disabled", "Disabled"),
    KR_FLAG("Status - Task skipped (True/False)", "SCH:Skipped", "Skipped"),
    KR_DATE("Expiry - Expiry Date", "SCH:ExpiryDate"),
    KR_TIME("Expiry - Expiry Time", "SCH:ExpiryTime", "@t7b"),
    KR_LIST("Exceptions - Shift Type", "SCH:ShiftType", 20, "Skip (to Next Valid Day)|Previous Day|Next Day"),
    KR_FLAG("Exceptions - Except Weekends", "SCH:ExceptWeekends", "Weekends"),
    KR_FLAG("Exceptions - Except Weekdays", "SCH:ExceptWeekdays", "Weekdays"),
    KR_FLAG("Exceptions - Except Holidays", "SCH:ExceptHolidays", "Holidays"),
    KR_FLAG("Exceptions - Except Time", "SCH:ExceptTime", "Time"),
    KR_TIME("Exceptions - Except Time Begin", "SCH:ExceptTimeBegin", "@t3"),
    KR_TIME("Exceptions - Except Time End", "SCH:ExceptTimeEnd", "@t3"),
    KR_LIST("Script - Action", "SCR:Action", 27,
            "Send Keys|Set Focus|Wait|Display Message|If Window...|If Time Elapsed...|If Value...|...End If|"
            "Start Program|Close Program|Start Script|DDE|Send Email|Set Value|Exit Script|File Actions"),
    KR_TEXT("Script - Keystrokes", "SCR:Keystrokes", 255),
    KR_NUM("Script - Seconds to Wait", "SCR:SecondsToWait"),
    KR_TEXT("Script - Wait for Window", "SCR:WaitForWindow", 255),
    KR_TEXT("Script - Focus on Window", "SCR:FocusOnWindow", 255),
    KR_LIST("Script - Window Existence", "SCR:WindowExistance", 20, "Window Exists|Window Doesn't Exist"),
    KR_TEXT("Script - Window Title to Check For", "SCR:WindowTitleToCheckFor", 255),
    KR_LIST("Script - If Time Elapsed", "SCR:IfTimeElapsed", 20, "Is Greater Than|Is Less Than"),
    KR_NUM("Script - Time Elapsed", "SCR:TimeElapsed"),
    KR_NUM("Script - Next Task ID", "SCR:NextTaskID"),
    KR_NUM("Script - E-mail ID", "SCR:EmailID"),
    KR_TEXT("Script - Program", "SCR:Command", 255),
    KR_TEXT("Script - Start In Folder", "SCR:Path", 255),
    KR_LIST("Script - DDE Type", "SCR:DDEType", 20, "Request|Execute"),
    KR_TEXT("Script - DDE Application Name", "SCR:DDEApplicationName", 255),
    KR_TEXT("Script - DDE Application Topic", "SCR:DDEApplicationTopic", 255),
    KR_TEXT("Script - DDE Link Item", "SCR:DDELinkItem", 80),
    KR_TEXT("Script - DDE Command", "SCR:DDECommand", 255),
};

}  // namespace

const std::string& ScheduleQueryFields() {
    static const std::string text = [] {
        std::string t;
        const char entrySep = static_cast<char>(0xAB), col = static_cast<char>(0xA6);
        for (const QueryEntry& e : kEntries) {
            if (!t.empty()) t += entrySep;
            t += e.label;
            t += col;
            t += '0';
            t += col;
            t += e.field;
            t += col;
            t += e.picture;
            t += col;
            t += std::to_string(e.length);
            t += col;
            t += std::to_string(e.dataKind);
            t += col;
            t += std::to_string(e.entryKind);
            t += col;
            t += col;
            t += e.choices;
        }
        return t;
    }();
    return text;
}

}  // namespace kr::tasks
