// The names of the suite's data files, in the one spelling new files take.
// Existing files are found without regard to case ("kr97.tps" is KR97.TPS).
#pragma once

namespace kr {

inline constexpr const char* kDataFileName = "KR97.TPS";          // the multi-table data file
inline constexpr const char* kTemplateFileName = "KRTpl";         // the script templates' file
inline constexpr const char* kMsgLinkFileName = "MSGLINK";        // hand-over to the message program
inline constexpr const char* kEventLogFileName = "KR98Evnt.LOG";  // the event log (ASCII lines)
inline constexpr const char* kScheduleFileName = "kr97\\!s";      // initial name of Schedule
inline constexpr const char* kSyncScheduleFileName = "SyncSch.syn";
inline constexpr const char* kSyncScriptingFileName = "SyncScr.syn";
inline constexpr const char* kSyncTodoFileName = "SyncTodo.syn";

}  // namespace kr
