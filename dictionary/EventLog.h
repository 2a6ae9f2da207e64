// The event log "KR98Evnt.LOG": one fixed-width line per event.
//
// This is the dictionary's minimal writer, enough for the tables' open-error
// logging. The full event log (the LogEvents setting, the user's date format,
// closing the file every 101 lines) replaces the body of LogEvent in
// EventLog.cpp; callers keep this declaration.
#pragma once

#include <string>

namespace kr {

// Appends one line with a label (cut to 32 characters) and a detail (cut to
// 128). Errors are not reported and never stop the caller.
void LogEvent(const std::string& label, const std::string& text);

}  // namespace kr
