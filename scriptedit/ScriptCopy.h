// Whole-script operations on a task's items: delete every item of a task,
// copy every item of one task to another. Each is a process over the
// Scripting table of the current procedure thread that works through a batch
// of items at a time, one transaction per batch (never one held between
// batches, so the scheduler's own writes are never pulled into it); a window
// runs it in the progress window, other callers run it to its end.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/runtime/RecordProcess.h"

namespace kr {

// DeleteScript: deletes every item of the task (nothing when the ID is 0).
// A failed delete stops the process with the table's delete error; items
// deleted before it stay deleted.
std::shared_ptr<RecordProcess> MakeDeleteScript(int32_t taskID);

// CopyScript: adds to task toID a copy of every item of task fromID in
// sequence order (nothing when either ID is 0 or both are equal). An item
// whose sequence number is taken already goes to the next free one (at most
// 5000 further on), and the items after it keep their order; any other
// failure is reported as "Error adding script record:" with the error, and
// the copy goes on with the next item.
std::shared_ptr<RecordProcess> MakeCopyScript(int32_t fromID, int32_t toID);

// The same, run to the end at once. Per-item errors are shown (titled
// "Error") once their batch is written; the result is the process's state.
ProcessState DeleteScript(int32_t taskID);
ProcessState CopyScript(int32_t fromID, int32_t toID);

}  // namespace kr
