// Record layouts of the scheduling tables: the tasks, their script items, the
// script templates, the hand-over record of the message program, holidays,
// settings, the event log line, the synchronisation copies, the report work
// table and the script exchange row.
//
// One struct per table, named after its label; one member per field, named
// after the field without its prefix (groups have no member). Each table's
// TableDef (keys, memos, stored-as name, version) comes from its accessor.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "dictionary/FileNames.h"
#include "platform/data/TableDef.h"
#include "platform/runtime/FixedString.h"

namespace kr {

// The owner password of every encrypted table of the data files.
inline constexpr const char* kOwnerPassword = "pmxr7@tnw";

// Schedule (SCH): one scheduled task. 66 entries, 1104 bytes, memo Message.
struct Schedule {
    FString<40> User;
    int32_t ID = 0;
    FString<20> TaskType;
    FString<20> Category;
    FString<40> Description;
    FString<255> Command;
    FString<255> Path;
    FString<15> ScheduleType;
    // DayOfWeekGroup
    uint8_t Sunday = 0;
    uint8_t Monday = 0;
    uint8_t Tuesday = 0;
    uint8_t Wednesday = 0;
    uint8_t Thursday = 0;
    uint8_t Friday = 0;
    uint8_t Saturday = 0;
    FString<18> MonthRepeat;
    int32_t Offset = 0;
    int32_t Every = 0;
    // EveryOrdinal
    uint8_t Every1st = 0;
    uint8_t Every2nd = 0;
    uint8_t Every3rd = 0;
    uint8_t Every4th = 0;
    uint8_t EveryLast = 0;
    uint8_t LastDayofMonth = 0;
    FString<20> EveryType;
    // ScheduleDateAndTime
    int32_t Date = 0;
    int32_t Time = 0;
    int32_t LastRunDate = 0;
    int32_t LastRunTime = 0;
    uint8_t SkipNextTime = 0;
    // AlarmGroup
    uint8_t Alarm = 0;
    CString<255> AlarmFile;
    // AdvancedWarning
    int32_t AdvanceWarnDate = 0;
    int32_t AdvanceWarnTime = 0;
    uint8_t AdvanceWarned = 0;
    uint8_t Warn = 0;
    uint8_t SkipIfMissed = 0;
    uint8_t SkipIfScriptActive = 0;
    uint8_t NoHistory = 0;
    uint8_t UserSkip = 0;
    uint8_t Disabled = 0;
    uint8_t Completed = 0;
    uint8_t Skipped = 0;
    // Expiry
    int32_t ExpiryDate = 0;
    int32_t ExpiryTime = 0;
    // Exceptions
    FString<20> ShiftType;
    uint8_t ExceptWeekends = 0;
    uint8_t ExceptWeekdays = 0;
    uint8_t ExceptHolidays = 0;
    uint8_t ExceptTime = 0;
    int32_t ExceptTimeBegin = 0;
    int32_t ExceptTimeEnd = 0;
    FString<20> ExceptOther;
    int32_t ExceptionLink = 0;
    // Synchonization
    FString<30> NetworkUser;
    int32_t LastChangeDate = 0;
    int32_t LastChangeTime = 0;
    int32_t OriginalID = 0;
    // memo
    std::string Message;
};

// ScheduleWorkfile (SCW): the same layout as Schedule (memo of 1000 characters).
struct ScheduleWorkfile : Schedule {};

// SyncSchedule (SSch): Schedule with BiMonthly after LastDayofMonth.
struct SyncSchedule {
    FString<40> User;
    int32_t ID = 0;
    FString<20> TaskType;
    FString<20> Category;
    FString<40> Description;
    FString<255> Command;
    FString<255> Path;
    FString<15> ScheduleType;
    uint8_t Sunday = 0;
    uint8_t Monday = 0;
    uint8_t Tuesday = 0;
    uint8_t Wednesday = 0;
    uint8_t Thursday = 0;
    uint8_t Friday = 0;
    uint8_t Saturday = 0;
    FString<18> MonthRepeat;
    int32_t Offset = 0;
    int32_t Every = 0;
    uint8_t Every1st = 0;
    uint8_t Every2nd = 0;
    uint8_t Every3rd = 0;
    uint8_t Every4th = 0;
    uint8_t EveryLast = 0;
    uint8_t LastDayofMonth = 0;
    uint8_t BiMonthly = 0;
    FString<20> EveryType;
    int32_t Date = 0;
    int32_t Time = 0;
    int32_t LastRunDate = 0;
    int32_t LastRunTime = 0;
    uint8_t SkipNextTime = 0;
    uint8_t Alarm = 0;
    CString<255> AlarmFile;
    int32_t AdvanceWarnDate = 0;
    int32_t AdvanceWarnTime = 0;
    uint8_t AdvanceWarned = 0;
    uint8_t Warn = 0;
    uint8_t SkipIfMissed = 0;
    uint8_t SkipIfScriptActive = 0;
    uint8_t NoHistory = 0;
    uint8_t UserSkip = 0;
    uint8_t Disabled = 0;
    uint8_t Completed = 0;
    uint8_t Skipped = 0;
    int32_t ExpiryDate = 0;
    int32_t ExpiryTime = 0;
    FString<20> ShiftType;
    uint8_t ExceptWeekends = 0;
    uint8_t ExceptWeekdays = 0;
    uint8_t ExceptHolidays = 0;
    uint8_t ExceptTime = 0;
    int32_t ExceptTimeBegin = 0;
    int32_t ExceptTimeEnd = 0;
    FString<20> ExceptOther;
    int32_t ExceptionLink = 0;
    FString<30> NetworkUser;
    int32_t LastChangeDate = 0;
    int32_t LastChangeTime = 0;
    int32_t OriginalID = 0;
    std::string Message;
};

// Scripting (SCR): one script item of a task. 24 fields, 2528 bytes.
struct Scripting {
    int32_t ID = 0;
    int32_t Sequence = 0;
    FString<27> Action;
    FString<255> Keystrokes;
    int32_t SecondsToWait = 0;
    FString<255> WaitForWindow;
    FString<255> FocusOnWindow;
    FString<20> WindowExistance;
    FString<255> WindowTitleToCheckFor;
    FString<20> IfTimeElapsed;
    int32_t TimeElapsed = 0;
    int32_t NextTaskID = 0;
    FString<30> NetworkUser;
    int32_t LastChangeDate = 0;
    int32_t LastChangeTime = 0;
    int32_t OriginalID = 0;
    int32_t EmailID = 0;
    FString<255> Command;
    FString<255> Path;
    FString<20> DDEType;
    FString<255> DDEApplicationName;
    FString<255> DDEApplicationTopic;
    FString<80> DDELinkItem;
    FString<255> DDECommand;
};

// SyncScripting (SScr): the same layout as Scripting.
struct SyncScripting : Scripting {};

// ScriptTemplates (KRT): a named script template. 319 bytes.
struct ScriptTemplates {
    int32_t Wiz_ID = 0;
    FString<60> Description;
    FString<255> DOSFilename;
};

// ScriptTemplateDetails (KRD): one item of a template; Scripting's layout with
// Wiz_ID in place of the task ID.
struct ScriptTemplateDetails {
    int32_t Wiz_ID = 0;
    int32_t Sequence = 0;
    FString<27> Action;
    FString<255> Keystrokes;
    int32_t SecondsToWait = 0;
    FString<255> WaitForWindow;
    FString<255> FocusOnWindow;
    FString<20> WindowExistance;
    FString<255> WindowTitleToCheckFor;
    FString<20> IfTimeElapsed;
    int32_t TimeElapsed = 0;
    int32_t NextTaskID = 0;
    FString<30> NetworkUser;
    int32_t LastChangeDate = 0;
    int32_t LastChangeTime = 0;
    int32_t OriginalID = 0;
    int32_t EmailID = 0;
    FString<255> Command;
    FString<255> Path;
    FString<20> DDEType;
    FString<255> DDEApplicationName;
    FString<255> DDEApplicationTopic;
    FString<80> DDELinkItem;
    FString<255> DDECommand;
};

// MsgLink (ML): a message handed to the message program. 4415 bytes.
struct MsgLink {
    int32_t ID = 0;
    FString<60> Title;
    FString<4096> Message;
    FString<255> AlarmFile;
};

// Holidays (HOL): one holiday date. 54 bytes.
struct Holidays {
    int32_t HolidayDate = 0;
    FString<30> Holiday;
    FString<20> HolidayType;
};

// Configuration (CF): one named setting. 295 bytes.
struct Configuration {
    FString<40> DataType;
    FString<255> DataValue;
};

// KR_Log (KRL): one line of the event log. 182 bytes.
struct KR_Log {
    FString<12> LogDate;
    FString<10> LogTime;
    FString<32> LogLabel;
    FString<128> LogData;
};

// Export (EXP): one row of a script exchange file. 1550 bytes.
struct Export {
    FString<20> Type;
    FString<255> Field1;
    FString<255> Field2;
    FString<255> Field3;
    FString<255> Field4;
    FString<255> Field5;
    FString<255> Field6;
};

// The text values the fields hold (the value lists that lists and the query
// wizard offer for them).
inline constexpr std::array<const char*, 4> kTaskTypes = {"Run Program", "Display Message", "Both",
                                                          "Reminder Only"};
inline constexpr std::array<const char*, 7> kScheduleTypes = {
    "Once", "Day of Week", "Day of Month", "Semi-Monthly", "Monthly", "Yearly", "Custom"};
inline constexpr std::array<const char*, 3> kMonthRepeats = {"Once", "Twice - 1st, 15th", "Twice - 15th, Last"};
inline constexpr std::array<const char*, 3> kShiftTypes = {"Skip (to Next Valid Day)", "Previous Day",
                                                           "Next Day"};
inline constexpr std::array<const char*, 16> kScriptActions = {
    "Send Keys",    "Set Focus",     "Wait",        "Display Message", "If Window...", "If Time Elapsed...",
    "If Value...",  "...End If",     "Start Program", "Close Program", "Start Script", "DDE",
    "File Actions", "Send Email",    "Set Value",   "Exit Script"};
inline constexpr std::array<const char*, 2> kWindowExistances = {"Window Exists", "Window Doesn't Exist"};
inline constexpr std::array<const char*, 2> kIfTimeElapsedTests = {"Is Greater Than", "Is Less Than"};
inline constexpr std::array<const char*, 2> kDDETypes = {"Request", "Execute"};
// Holidays.HolidayType of a new record.
inline constexpr const char* kHolidayTypeAnnual = "Annual";

// The table definitions.
const data::TableDef& ScheduleDef();
const data::TableDef& ScheduleWorkfileDef();
const data::TableDef& SyncScheduleDef();
const data::TableDef& ScriptingDef();
const data::TableDef& SyncScriptingDef();
const data::TableDef& ScriptTemplatesDef();
const data::TableDef& ScriptTemplateDetailsDef();
const data::TableDef& MsgLinkDef();
const data::TableDef& HolidaysDef();
const data::TableDef& ConfigurationDef();
const data::TableDef& KR_LogDef();
const data::TableDef& ExportDef();

}  // namespace kr
