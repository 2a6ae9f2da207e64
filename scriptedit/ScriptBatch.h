// What the whole-script operations (delete, copy, import, export, moving
// items) share: walking one task's items in sequence order, and the write
// transaction each batch of them runs in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "dictionary/Dictionary.h"
#include "platform/runtime/RecordProcess.h"

namespace kr {

// The Scripting key in task, sequence order.
const data::KeyDef* ScriptItemKey();

// The first item of the task at or after the sequence number, into `out`;
// false when the task has none there.
bool ScriptItemAtOrAfter(int32_t task, int32_t sequence, Scripting& out);

// How many items the task has (walks them; for percentages).
int CountScriptItems(int32_t task);

// One write transaction over the Scripting table (or `file`, a template's
// items), unless the caller already holds one (then its transaction covers
// the work). `own` says whether Begin started one that End is to commit; a
// failed commit throws the table's put error.
struct ScriptBatch {
    bool own = false;
    data::FileManager* file = nullptr;
    // The process whose batches this frames (FrameScriptBatches): a commit
    // that fails after one of the batch's records failed and told it stays
    // quiet, the user has heard of the failure once.
    const RecordProcess* process = nullptr;
    std::size_t errorsBefore = 0;
    void Begin();
    void End();
};

// Runs every batch of the process in a ScriptBatch; the frame is handed
// back so that a step can end and begin it around a message box.
std::shared_ptr<ScriptBatch> FrameScriptBatches(RecordProcess& p);

// At the process's end the table's buffer gets back what it held before the
// process, and the process's use of the table ends (`file` is
// Scripting_File or ScriptTemplateDetails_File).
template <class Manager, class Record>
void RestoreBufferAtEnd(RecordProcess& p, Manager& (*file)(), Record saved) {
    p.onEnd = [file, saved](ProcessState) {
        file().rec() = saved;
        file().Close();
    };
}

}  // namespace kr
