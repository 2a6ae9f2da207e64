// The rules of the task form that the task wizards share: the defaults of a
// new task, which parts of the form the task type and the schedule type use,
// the next-date and advance-warning checks, the alarm file, the program
// choice and the form's titles. Display-free: the windows ask these
// functions and show what they answer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "dictionary/SchedulingTables.h"

namespace kr::tasks {

// The time a reminder ("None") is given: five seconds before the end of the day.
inline constexpr int32_t kReminderTime = 8639500;

inline constexpr const char* kTypeRunProgram = "Run Program";
inline constexpr const char* kTypeDisplayMessage = "Display Message";
inline constexpr const char* kTypeBoth = "Both";
inline constexpr const char* kTypeNone = "None";
inline constexpr std::array<const char*, 4> kFormTaskTypes = {kTypeRunProgram, kTypeDisplayMessage, kTypeBoth,
                                                              kTypeNone};
inline constexpr std::array<const char*, 6> kFormScheduleTypes = {"Once",    "Day of Week", "Day of Month",
                                                                  "Monthly", "Yearly",      "Custom"};
inline constexpr std::array<const char*, 6> kEveryTypes = {"minute(s)", "hour(s)",  "day(s)",
                                                           "week(s)",   "month(s)", "year(s)"};
inline constexpr std::array<const char*, 3> kFormMonthRepeats = {"Once", "Twice - 1st, 15th",
                                                                 "Twice - 15th, Last"};
inline constexpr std::array<const char*, 3> kFormShiftTypes = {"Skip (to next valid day)", "Previous day",
                                                               "Next day"};

// Defaults of a new task. A record that arrives with a task type is a copy
// and keeps its values; otherwise it gets the defaults of a new task (date
// from defaultTaskDate, a day number as text, when not blank, else today;
// the clock's time; Day of Week on every weekday, hourly every 1). Both clear
// the completed, warned and disabled marks and give a blank category
// "General". Returns true for a copy.
bool ApplyNewTaskDefaults(Schedule& SCH, int32_t today, int32_t clock, std::string_view defaultTaskDate);

// What the task type shows. "None" also sets the reminder time.
struct TaskTypeView {
    bool time = true;     // "&Time:" and its box
    bool command = true;  // the Command tab
    bool message = true;  // the Message tab
};
TaskTypeView ApplyTaskType(Schedule& SCH);

// What the schedule type shows and enables on the When tab.
struct ScheduleTypeView {
    std::string groupCaption = "&Every...";
    bool weekdays = false;         // "Sunday" .. "Saturday"
    bool ordinals = false;         // "1st" .. "Last" and "Month End"
    bool ordinalsEnabled = true;   // all but "Month End" (off while Month End is set)
    bool except = false;           // "E&xcept"
    bool repeat = false;           // the "Repeat" option, offset box and "&Tips"
    bool offsetEnabled = false;    // the offset prompt, box and "&Tips"
    bool every = false;            // "Every:", its entry and "Every Type"
};
// Applies the rule; "Monthly" without a twice-monthly repeat stores "Once".
ScheduleTypeView ApplyScheduleType(Schedule& SCH);

// "Repeat" accepted: a blank repeat becomes "Once"; true when the offset
// controls are enabled (a twice-monthly choice).
bool ApplyMonthRepeat(Schedule& SCH);

// "Every:" or "Every Type" accepted: an hourly repeat keeps no history.
// Nothing clears the mark again.
void ApplyEveryRule(Schedule& SCH);

// True when the next date is blank or fits the task's schedule.
bool NextDateFitsSchedule(const Schedule& SCH);

// [Warning] of the program INI: the default advance warning.
struct WarningDefaults {
    bool active = false;
    int32_t days = 0;        // "Date"
    int32_t hundredths = 0;  // "Time"
};
WarningDefaults ReadWarningDefaults(std::string_view iniName);

// The default warning moment: the task's moment less the offsets, with the
// time carried into the date, so a task at 00:30 warned six hours ahead is
// warned at 18:30 the day before. Clears the warned mark.
void ApplyDefaultWarning(Schedule& SCH, const WarningDefaults& defaults);

// The form recomputes the default warning only when the next date or time
// changed in the form since the last time it did, so a warning the user set
// (or one already shown) is never overwritten by the OK pass.
class WarningTracker {
public:
    // An insert starts with nothing computed; a change starts from the
    // record's moment as it was opened.
    void Start(const Schedule& SCH, bool insert);
    // Recomputes when due; true when it did.
    bool Apply(Schedule& SCH, const WarningDefaults& defaults);

private:
    int32_t date_ = 0;
    int32_t time_ = 0;
    bool any_ = false;
};

// True when the warning moment lies after the task's moment.
bool WarningAfterTask(const Schedule& SCH);
// Clears the warning when it lies after the task; true when it did.
bool ClearWarningAfterTask(Schedule& SCH);

// The alarm file: a blank one is filled from `lastWavFile`; returns the
// value to keep as the last WAV file (blank: keep nothing).
std::string FillAlarmFile(Schedule& SCH, const std::string& lastWavFile);

// A chosen program: the command becomes the file, and a blank start folder
// the file's folder (a name without a folder is taken whole).
void ApplyChosenProgram(FString<255>& command, FString<255>& path, const std::string& file);
// The folder of a chosen file, for the dialog's next start ("" when none).
std::string FolderOf(const std::string& file);
// True when the name ends in ".wav" in any case.
bool IsWavFile(std::string_view name);

// Before the record is stored: a blank command means a script-only task.
void PrepareForSave(Schedule& SCH);

// The window title: the action text, two blanks and the description in
// brackets; in view mode "View" takes the place of the first word.
std::string TaskTitle(std::string_view action, std::string_view description, bool view);

// The seven weekday overrides of the exceptions ("Y" or a blank each,
// Sunday first).
std::array<bool, 7> ExceptDaysOf(const Schedule& SCH);
void SetExceptDays(Schedule& SCH, const std::array<bool, 7>& days);

// The date a holiday gets when its type is changed to "Easter": the next
// Easter Sunday (this year's while it is not past), the Friday before for
// "Good Friday", the Monday after for "Easter Monday"; any other name keeps
// a date within the 30 days before Easter.
int32_t EasterHolidayDate(int32_t date, std::string_view name, int32_t today);

}  // namespace kr::tasks
