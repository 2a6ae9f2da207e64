// The options the task runner, the script values and the value references
// read, in one place: the program-wide settings loaded at start-up.
#pragma once

#include <cstdint>
#include <string>

namespace kr::runner {

// ScriptingDelay: hundredths of a second between script items (at least 25).
int32_t ScriptingDelay();
// LogEvents and LogExitCodes: the event log is written; exit codes of
// started programs are logged.
bool LogEvents();
bool LogExitCodes();
// NewProc16: start 16-bit programs apart (no meaning here; read for the log).
bool NewProc16();
// Debug mode: traces go to the event log. On when the program INI's
// "[Debug]" "Debug" is set (Options().DebugMode), or its "[Settings]" "Debug"
// (read by the frame at start-up), or when the script viewer switches it on.
bool DebugMode();
// The "[Settings]" "Debug" value: the frame sets it at start-up, the script
// viewer's command later; empty is off.
void SetDebug(const std::string& value);
std::string Debug();
// A date in the user's date format (empty for 0).
std::string UserDate(int32_t date);

}  // namespace kr::runner
