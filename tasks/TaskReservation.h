// The ID of a new task is reserved as soon as its form or wizard opens: a
// placeholder record, disabled so that the scheduler never runs it, is stored
// through the Schedule manager of the current procedure thread. The editors
// that are open (and the tasks they hold) are counted here, so that history
// expiry passes over a task whose editor is open.
#pragma once

#include <cstdint>
#include <string>

namespace kr::tasks {

// Reserves a new ID for the Schedule buffer of the current thread: the
// placeholder is stored disabled and the buffer is enabled again. A buffer
// that still carries `copySourceID` (a copy primed with its source's record)
// is given a new ID too. Returns the new ID, 0 when none could be reserved.
int32_t ReserveTaskID(int32_t copySourceID = 0);
// Gives a reserved ID back: the task's script items and the placeholder go.
void ReleaseReservedTask(int32_t id);

// OpenTaskEditors: the task forms and wizards open at the moment, and the IDs
// they hold (an editor holds one task at a time).
int OpenTaskEditors();
void EditorOpened();
void EditorClosed();
void HoldTask(int32_t id);
void ReleaseTask(int32_t id);
bool TaskHeldByEditor(int32_t id);

// CopySourceID: the task a list is copying (set before it opens the form
// for the copy). DefaultTaskDate: the day chosen in a schedule list, as a
// day number in text (blank: today), for new tasks.
int32_t& CopySourceID();
std::string& DefaultTaskDate();

}  // namespace kr::tasks
