// The ID of a new task is reserved as soon as its form or wizard opens: a
// placeholder record, disabled so that the scheduler never runs it, is stored
// through the Schedule manager of the current procedure thread. The editors
// count themselves and hold their task in the open-editor registry
// (scheduler/OpenEditors.h), so that history expiry passes over them.
#pragma once

#include <cstdint>
#include <string>

#include "scheduler/OpenEditors.h"

namespace kr::tasks {

// Reserves a new ID for the Schedule buffer of the current thread: the
// placeholder is stored disabled and the buffer is enabled again. A buffer
// that still carries `copySourceID` (a copy primed with its source's record)
// is given a new ID too. Returns the new ID, 0 when none could be reserved;
// the user has then been told ("Internal Error", or the file manager's one
// message of a data file another file has replaced, which says it all).
int32_t ReserveTaskID(int32_t copySourceID = 0);
// Gives a reserved ID back: the task's script items and the placeholder go
// (a delete of the items cancelled part way keeps the placeholder).
void ReleaseReservedTask(int32_t id);

// CopySourceID: the task a list is copying (set before it opens the form
// for the copy). DefaultTaskDate: the day chosen in a schedule list, as a
// day number in text (blank: today), for new tasks.
int32_t& CopySourceID();
std::string& DefaultTaskDate();

}  // namespace kr::tasks
