// The frame starts the reports of its "&Reports" menu by these names.
#include <cstdlib>

#include "platform/ui/ProcedureThread.h"
#include "reports/windows/ReportWindows.h"

namespace kr::reports {

void RegisterReportWindows() {
    if (const char* pdf = std::getenv("KR_TEST_REPORT_PDF"); pdf && *pdf) SetReportOutputFile(pdf);
    RegisterProcedure("Print:SCH:AllDateOrder", [] { Print_SCH_AllDateOrder(); });
    RegisterProcedure("Print:SCH:AllCategoryOrder", [] { Print_SCH_AllCategoryOrder(); });
    RegisterProcedure("Print:SCH:OneCategory", [] { Print_SCH_OneCategory(); });
    RegisterProcedure("PrintCAT:KeyCategory", [] { PrintCAT_KeyCategory(); });
    RegisterProcedure("PrintContacts", [] { PrintContacts(); });
    RegisterProcedure("PrintScheduleBrief", [] { PrintScheduleBrief(); });
    RegisterProcedure("PrintScheduleChecklist", [] { PrintScheduleChecklist(); });
    RegisterProcedure("PrintToDoByPriority", [] { PrintToDoByPriority(); });
    RegisterProcedure("PrintToDoByCategory", [] { PrintToDoByCategory(); });
}

}  // namespace kr::reports
