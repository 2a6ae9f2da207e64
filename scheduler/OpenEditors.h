// The task editors that are open: the task forms and wizards count
// themselves here and name the task they hold, so that the daily history
// expiry passes over a task whose editor is open (a new task's reserved,
// disabled placeholder in particular). Any thread may call these.
#pragma once

#include <cstdint>

namespace kr {

// OpenTaskEditors: the task forms and wizards open at the moment.
int OpenTaskEditors();
void EditorOpened();
void EditorClosed();

// The tasks the open editors hold (an editor holds one task at a time; the
// same task held twice is released twice).
void HoldTask(int32_t id);
void ReleaseTask(int32_t id);
bool TaskHeldByEditor(int32_t id);

}  // namespace kr
