// BugReport: the window "Bug Reporting" that mails the user's comments with
// a dump of the program's settings and state to the support address.
#pragma once

namespace kr::organiser {

inline constexpr const char* kBugReportProcedure = "BugReport";

// Opens the window on the current procedure thread.
void BugReport();
// Registers "BugReport" for the frame's Support Tools menu and the current
// script viewer.
void RegisterBugReport();

}  // namespace kr::organiser
