// The printed reports and the windows they ask their criteria in.
//
// Every report runs on the report engine (platform/ui/ReportPreview.h): the
// preview question, the progress window, the preview or the printer. A
// report started from the frame's "&Reports" menu runs on a thread of its
// own; RegisterReportWindows makes the frame's procedure names known.
#pragma once

#include <functional>
#include <string>

namespace kr::reports {

// "Report Criteria": fills the report variables (ReportCriteria.h). done
// gets kRequestCompleted after OK, kRequestCancelled after Cancel (which
// leaves the filter and order empty).
void ReportParameters(std::function<void(int response)> done = {});
// "Set Report Title": edits ReportTitle; done gets kRequestCancelled on Cancel.
void SetReportTitle(std::function<void(int response)> done = {});
// Empties and fills the work file in progress windows ("Processing
// Records"); done gets kRequestCancelled when the user cancelled.
void CreateWorkfile(std::function<void(int response)> done = {});

// The reports. done (when given) gets the engine's response once the run
// has ended: kRequestCompleted when pages were previewed or printed.
void Print_SCH_AllDateOrder(std::function<void(int)> done = {});
void Print_SCH_AllCategoryOrder(std::function<void(int)> done = {});
void Print_SCH_OneCategory(std::function<void(int)> done = {});
void PrintCAT_KeyCategory(std::function<void(int)> done = {});
void PrintContacts(std::function<void(int)> done = {});
void PrintScheduleBrief(std::function<void(int)> done = {});
void PrintCompleteScheduleBrief(std::function<void(int)> done = {});
void PrintScheduleChecklist(std::function<void(int)> done = {});
void PrintCompleteSchedule(std::function<void(int)> done = {});
void PrintToDoByPriority(std::function<void(int)> done = {});
void PrintToDoByCategory(std::function<void(int)> done = {});

// Printing writes this PDF file instead of going to the printer (tests and
// the end-to-end runs; empty: the printer).
void SetReportOutputFile(const std::string& pdf);

// Registers the report procedures under the names the frame starts them by.
// A non-empty KR_TEST_REPORT_PDF in the environment becomes the output file.
void RegisterReportWindows();

}  // namespace kr::reports
