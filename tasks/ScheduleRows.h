// The rules of the schedule lists' rows, without a display: the state and
// task-type icons, the colours of the date cell, the active-only check, the
// selected day that follows midnight, the scripting check and the query
// wizard's field list of the Schedule table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/SchedulingTables.h"

namespace kr::tasks {

// Icon numbers of the schedule lists' icon list (1-based).
enum ScheduleIcon : int {
    kIconBlank = 1,
    kIconBoth = 2,
    kIconDisabled = 3,
    kIconDone = 4,
    kIconMessage = 5,
    kIconNotDone = 6,
    kIconProgram = 7,
    kIconSkip = 8,
    kIconSkipped = 9,
};
const std::vector<std::string>& ScheduleIconNames();

// The state icon: done, skip, disabled, skipped or not done (first that holds).
int ScheduleStateIcon(const Schedule& SCH);
// The task-type icon: program, message, both, else blank.
int ScheduleTypeIcon(std::string_view taskType);

// Colours of the date cell (0x00BBGGRR, -1 the list's default).
struct DateColours {
    int32_t normalFg = -1, selectedFg = -1;
};
// Disabled: grey, else skip-next: blue; selected text white, or (Explore
// Schedule) light green.
DateColours ScheduleDateColours(const Schedule& SCH, bool explore = false);

// While "Show Active Only" is on, disabled and completed tasks are left out.
bool ShownInList(const Schedule& SCH, bool activeOnly);

// Task types that carry a script begin with "R" (Run Program, Reminder
// Only) or "B" (Both).
bool TaskTypeHasScript(std::string_view taskType);
inline constexpr const char* kNoScriptingMessage = "This schedule type does not support scripting.";

// The day a list shows follows today across midnight while the user has not
// picked another day.
struct SelectedDayFollower {
    int32_t selectedDay = 0;
    int32_t lastSeenDay = 0;
    void Start(int32_t today) { selectedDay = lastSeenDay = today; }
    // The timer: true when the selected day moved to today.
    bool Tick(int32_t today);
};

// The query wizard's field list of the schedule lists (entries separated by
// 0xAB, columns by 0xA6), for TC_ADDFIELDSQUEUEDATA.
const std::string& ScheduleQueryFields();
inline constexpr const char* kScheduleQueryLabel = "SCHEDULE";

}  // namespace kr::tasks
