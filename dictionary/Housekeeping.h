// The work behind the Housekeeping window: removing disabled or completed
// tasks with their script items, clearing the to-do list, and deleting the
// saved window positions. Display-free.
//
// Each removal runs in one transaction: on any read or write error it is
// rolled back and the error is reported, so a failure never leaves the
// tables half cleared. Tasks a hot key runs are passed over (removing one
// would leave its hot key pointing at nothing), and so are tasks an open
// editor holds (a new task's placeholder is stored disabled).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kr {

// What a task removal tests.
enum class HousekeepingFlag { Disabled, Completed };

struct HousekeepingResult {
    int error = 0;          // 0: done; else the error code that stopped it (all rolled back)
    std::string errorText;  // what failed, for the message
    int removed = 0;        // records removed (tasks, or to-do entries)
    int scriptItems = 0;    // script items removed with the tasks
    int passedOver = 0;     // tasks kept because a hot key or an open editor has them
    bool ok() const { return error == 0; }
};

// True for a task that must not be removed now (held by an open editor).
using TaskInUse = std::function<bool(int32_t id)>;

// Reads the tasks from the first disabled one in the order of
// SCH:KeyDateEnabled and removes each whose flag is set, with its script
// items. A completed task that is not disabled is therefore kept.
HousekeepingResult RemoveTasks(HousekeepingFlag flag, const TaskInUse& inUse = {});
// Deletes every record of Todo.
HousekeepingResult ClearTodoList();
// Deletes "POSITION.INI" in the current folder and drops what the program
// holds of it in memory. True also when there was no file.
bool ResetSavedWindowSettings();

}  // namespace kr
