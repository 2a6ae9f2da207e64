#include "tasks/TaskReservation.h"

#include "dictionary/Dictionary.h"
#include "platform/data/Errors.h"
#include "platform/runtime/Services.h"
#include "scriptedit/ScriptCopy.h"

namespace kr::tasks {

namespace {
using data::kLevelBenign;
}  // namespace

int32_t ReserveTaskID(int32_t copySourceID) {
    ScheduleFileManager& f = Schedule_File();
    Schedule& SCH = f.rec();
    // A copy primed with its source's record must not keep the source's ID.
    if (copySourceID != 0 && SCH.ID == copySourceID) SCH.ID = 0;
    if (SCH.ID != 0) return SCH.ID;
    SCH.Disabled = 1;
    const int r = f.PrimeAutoInc();
    SCH.Disabled = 0;
    if (r == kLevelBenign && SCH.ID != 0) return SCH.ID;
    if (data::LastDriverCause() != data::DriverCause::Replaced)
        Message("Auto-increment error.  Could not set unique schedule ID.", "Internal Error");
    return 0;
}

void ReleaseReservedTask(int32_t id) {
    // A delete stopped part way keeps the placeholder (disabled, so never
    // run) with the items left: given back, its ID would pass them on to
    // the next new task.
    if (id != 0 && DeleteScript(id) != ProcessState::Finished) return;
    Schedule_File().CancelAutoInc();
}

int32_t& CopySourceID() {
    static int32_t id = 0;
    return id;
}

std::string& DefaultTaskDate() {
    static std::string date;
    return date;
}


}  // namespace kr::tasks
