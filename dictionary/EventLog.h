// The event log "KR98Evnt.LOG" in the data folder, and the user's date format.
//
// Each line is the record of KR_Log: the date (12 characters), the time (10),
// the label (32) and the detail (128), side by side, space-filled, then CR LF.
// A line goes to the file in one write to a file opened for appending, so
// lines that other programs of the suite append at the same time never mix
// with ours. The file is the one in the current folder: a line written after
// the folder changed, or after the file was deleted, goes to the file that is
// there now.
#pragma once

#include <cstdint>
#include <string>

namespace kr {

// Appends one line with a label (cut to 32 characters) and a detail (cut to
// 128) while the setting LogEvents is on. The date is today in the user's
// date format, or in "d3" when that does not fit in 12 characters; the time
// is the clock in "t7". CR and LF inside the texts become blanks, so a line
// stays one line. The transfer password in the label or the detail shows
// as "********" (MaskTransferPassword), whoever logs it. Errors are not
// reported and never stop the caller. Any thread may call it.
void LogEvent(const std::string& label, const std::string& text);
// The same line whatever LogEvents says: the log viewer's one note that
// logging is off, so that the file exists and tells why nothing new is in it.
void LogEventAlways(const std::string& label, const std::string& text);

// The date in the user's date format (GlobalDateFormat): picture "d<n>" for
// n 1..18 taken from the format's second and third characters, "d3" for any
// other, the year alone for "n4b" ("Year Only"). Date 0 gives "".
std::string FormatUserDate(int32_t date);
// The date picture FormatUserDate uses ("@D3", ...; "@N4B" for the year only).
std::string UserDatePicture();

// The log file: the existing "KR98Evnt.LOG" of the current folder in
// whatever case it is spelt, else the path a new one takes. The writer and the
// viewer both use it.
std::string EventLogPath();

// The write counter: lines written since the log was last opened; 0 while it
// is closed. The file is closed after every 101st line.
int EventLogWriteCounter();
// Closes the log file now (shut-down, and before the data folder changes).
void CloseEventLog();

}  // namespace kr
