// Quick start: a copy of a task that runs once, a chosen time from now, with
// the source's script.
#pragma once

#include <cstdint>

#include "dictionary/SchedulingTables.h"
#include "scheduler/ScheduleStore.h"

namespace kr::tasks {

inline constexpr const char* kQuickStartMenu = "5 minutes|10 minutes|30 minutes|1 hour|2 hours|3 hours|-|Cancel";
// The delay (hundredths of a second) of a menu choice (1-6); 0 for anything else.
int32_t QuickStartDelay(int choice);

// Turns the buffer into the one-off copy: today at the clock + delay + one
// second (carried past midnight), "Once", enabled, not completed, not
// skipped, no advance warning and no skip mark, so the copy always runs.
void PrepareQuickStart(Schedule& SCH, int32_t today, int32_t clock, int32_t delay);

// Stores the prepared copy of the buffer's task under a new ID and copies
// the source's script items to it. The new ID, or 0 when the store failed.
int32_t QuickStartTask(Schedule& SCH, int32_t today, int32_t clock, int32_t delay, ScheduleStore& store);

}  // namespace kr::tasks
