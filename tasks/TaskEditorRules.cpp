#include "tasks/TaskEditorRules.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "scheduler/DateValues.h"
#include "scheduler/NextOccurrence.h"

namespace kr::tasks {

namespace {

int32_t ToLong(const std::string& text) {
    const char* s = text.c_str();
    while (*s == ' ') ++s;
    return static_cast<int32_t>(std::strtol(s, nullptr, 10));
}

bool Blank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c == ' '; });
}

}  // namespace

bool ApplyNewTaskDefaults(Schedule& SCH, int32_t today, int32_t clock, std::string_view defaultTaskDate) {
    const bool copy = !SCH.TaskType.empty();
    if (!copy) {
        SCH.TaskType = kTypeBoth;
        SCH.Date = Blank(defaultTaskDate) ? today : ToLong(std::string(defaultTaskDate));
        SCH.Time = clock;
        SCH.ScheduleType = "Day of Week";
        SCH.EveryLast = 1;
        SCH.Sunday = SCH.Monday = SCH.Tuesday = SCH.Wednesday = SCH.Thursday = SCH.Friday = SCH.Saturday = 1;
        SCH.Warn = 1;
        SCH.Every = 1;
        SCH.EveryType = "hour(s)";
    }
    SCH.Completed = 0;
    SCH.AdvanceWarned = 0;
    SCH.Disabled = 0;
    if (SCH.Category.empty()) SCH.Category = "General";
    return copy;
}

TaskTypeView ApplyTaskType(Schedule& SCH) {
    TaskTypeView v;
    const std::string& t = SCH.TaskType.str();
    if (t == kTypeRunProgram) {
        v.message = false;
    } else if (t == kTypeDisplayMessage) {
        v.command = false;
    } else if (t == kTypeNone) {
        v.time = false;
        v.command = false;
        SCH.Time = kReminderTime;
    }
    return v;
}

ScheduleTypeView ApplyScheduleType(Schedule& SCH) {
    ScheduleTypeView v;
    const std::string& t = SCH.ScheduleType.str();
    if (t == "Day of Week") {
        v.weekdays = true;
    } else if (t == "Day of Month") {
        v.weekdays = v.ordinals = v.except = true;
        v.ordinalsEnabled = SCH.LastDayofMonth == 0;
    } else if (t == "Monthly") {
        v.groupCaption = "&Repeat (Per Month)";
        v.except = v.repeat = true;
        v.offsetEnabled = ApplyMonthRepeat(SCH);
        if (!v.offsetEnabled) SCH.MonthRepeat = "Once";
    } else if (t == "Yearly") {
        v.except = true;
    } else if (t == "Custom") {
        v.every = v.except = true;
    }
    return v;
}

bool ApplyMonthRepeat(Schedule& SCH) {
    if (SCH.MonthRepeat.empty()) SCH.MonthRepeat = "Once";
    return SCH.MonthRepeat.str()[0] == 'T';
}

void ApplyEveryRule(Schedule& SCH) {
    if (SCH.Every > 0 && SCH.EveryType.str() == "hour(s)") SCH.NoHistory = 1;
}

bool NextDateFitsSchedule(const Schedule& SCH) { return SCH.Date == 0 || DateFitsSchedule(SCH, SCH.Date); }

WarningDefaults ReadWarningDefaults(std::string_view iniName) {
    WarningDefaults d;
    d.active = ToLong(GetIniValue(iniName, "Warning", "Active", "0")) != 0;
    d.days = ToLong(GetIniValue(iniName, "Warning", "Date", "0"));
    d.hundredths = ToLong(GetIniValue(iniName, "Warning", "Time", "0"));
    return d;
}

void ApplyDefaultWarning(Schedule& SCH, const WarningDefaults& defaults) {
    SCH.AdvanceWarned = 0;
    int32_t date = SCH.Date - defaults.days;
    int32_t time = SCH.Time - defaults.hundredths;
    if (date > 0) NormalizeDateTime(date, time);
    SCH.AdvanceWarnDate = date;
    SCH.AdvanceWarnTime = time;
}

void WarningTracker::Start(const Schedule& SCH, bool insert) {
    any_ = !insert;
    date_ = SCH.Date;
    time_ = SCH.Time;
}

bool WarningTracker::Apply(Schedule& SCH, const WarningDefaults& defaults) {
    if (!defaults.active) return false;
    if (any_ && SCH.Date == date_ && SCH.Time == time_) return false;
    ApplyDefaultWarning(SCH, defaults);
    any_ = true;
    date_ = SCH.Date;
    time_ = SCH.Time;
    return true;
}

bool WarningAfterTask(const Schedule& SCH) {
    return SCH.Date < SCH.AdvanceWarnDate || (SCH.Date == SCH.AdvanceWarnDate && SCH.Time < SCH.AdvanceWarnTime);
}

bool ClearWarningAfterTask(Schedule& SCH) {
    if (!WarningAfterTask(SCH)) return false;
    SCH.AdvanceWarnDate = 0;
    SCH.AdvanceWarnTime = 0;
    return true;
}

std::string FillAlarmFile(Schedule& SCH, const std::string& lastWavFile) {
    std::string file = SCH.AlarmFile.str();
    while (!file.empty() && file.back() == ' ') file.pop_back();
    if (file.empty()) {
        SCH.AlarmFile = lastWavFile;
        return {};
    }
    return file;
}

std::string FolderOf(const std::string& file) {
    const auto slash = file.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : file.substr(0, slash);
}

void ApplyChosenProgram(FString<255>& command, FString<255>& path, const std::string& file) {
    command = file;
    if (path.empty()) {
        const std::string folder = FolderOf(file);
        path = folder.empty() ? file : folder;
    }
}

bool IsWavFile(std::string_view name) {
    if (name.size() < 4) return false;
    std::string ext(name.substr(name.size() - 4));
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".wav";
}

void PrepareForSave(Schedule& SCH) {
    if (SCH.Command.empty()) SCH.Command = "N/A";
}

std::string TaskTitle(std::string_view action, std::string_view description, bool view) {
    auto clip = [](std::string_view s) {
        while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
        return std::string(s);
    };
    std::string title = clip(action) + "  (" + clip(description) + ")";
    if (view) {
        const auto blank = title.find(' ');
        title = "View" + (blank == std::string::npos ? std::string() : title.substr(blank));
    }
    return title;
}

std::array<bool, 7> ExceptDaysOf(const Schedule& SCH) {
    std::array<bool, 7> days{};
    const std::string& s = SCH.ExceptOther.str();
    for (size_t i = 0; i < 7 && i < s.size(); ++i) days[i] = s[i] == 'Y';
    return days;
}

void SetExceptDays(Schedule& SCH, const std::array<bool, 7>& days) {
    std::string s(7, ' ');
    for (size_t i = 0; i < 7; ++i)
        if (days[i]) s[i] = 'Y';
    SCH.ExceptOther = s;
}

int32_t EasterHolidayDate(int32_t date, std::string_view name, int32_t today) {
    int32_t easter = EasterDate(DateYear(today));
    if (easter < today) easter = EasterDate(DateYear(today) + 1);
    if (easter == 0) return date;
    std::string upper(name);
    while (!upper.empty() && upper.back() == ' ') upper.pop_back();
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (date < easter - 30 || upper == "EASTER") date = easter;
    if (upper == "GOOD FRIDAY") date = easter - 2;
    if (upper == "EASTER MONDAY") date = easter + 1;
    return date;
}

}  // namespace kr::tasks
