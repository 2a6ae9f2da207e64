// Whole-script operations on a task's items: delete every item of a task,
// copy every item of one task to another. Each is a process over the
// Scripting table of the current procedure thread that works through a batch
// of items at a time, one transaction per batch (never one held between
// batches, so the scheduler's own writes are never pulled into it); a window
// runs it in the progress window, other callers run it to its end.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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

// The same, for callers that wait for the end: run by the installed runner
// (the windows show the progress window, "Deleting Script" or "Copying
// Script", whose Cancel stops before the next item), else to the end at
// once. Per-item errors are shown (titled "Error") once their batch is
// written; the result is the process's state.
ProcessState DeleteScript(int32_t taskID);
ProcessState CopyScript(int32_t fromID, int32_t toID);

// Runs a whole-script process to its end or its cancel, with the text of
// its progress window's user line, and answers its final state.
using ScriptProcessRunner = std::function<ProcessState(std::shared_ptr<RecordProcess>, const std::string& text)>;
void SetScriptProcessRunner(ScriptProcessRunner runner);

}  // namespace kr
