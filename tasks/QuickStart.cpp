#include "tasks/QuickStart.h"

#include "scheduler/DateValues.h"
#include "scheduler/Reschedule.h"
#include "scriptedit/ScriptCopy.h"

namespace kr::tasks {

int32_t QuickStartDelay(int choice) {
    static constexpr int32_t kDelays[6] = {30000, 60000, 180000, 360000, 720000, 1080000};
    return choice >= 1 && choice <= 6 ? kDelays[choice - 1] : 0;
}

void PrepareQuickStart(Schedule& SCH, int32_t today, int32_t clock, int32_t delay) {
    SCH.Date = today;
    SCH.Time = clock + delay + 100;
    NormalizeDateTime(SCH.Date, SCH.Time);
    SCH.ScheduleType = "Once";
    SCH.AdvanceWarnDate = 0;
    SCH.AdvanceWarnTime = 0;
    SCH.AdvanceWarned = 0;
    SCH.SkipNextTime = 0;
    SCH.Disabled = 0;
    SCH.Completed = 0;
    SCH.Skipped = 0;
}

int32_t QuickStartTask(Schedule& SCH, int32_t today, int32_t clock, int32_t delay, ScheduleStore& store) {
    const int32_t source = SCH.ID;
    PrepareQuickStart(SCH, today, clock, delay);
    if (AddScheduleCopy(store, SCH) != 0 || SCH.ID == 0 || SCH.ID == source) return 0;
    if (source != 0) CopyScript(source, SCH.ID);
    return SCH.ID;
}

}  // namespace kr::tasks
