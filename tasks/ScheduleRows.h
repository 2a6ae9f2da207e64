// The rules of the schedule lists' rows, without a display: the state and
// task-type icons, the colours of the date cell, the active-only check, the
// selected day that follows midnight, the scripting check and the query
// wizard's field list of the Schedule table.
#pragma once

#include <cstdint>
#include <functional>
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

// Explore Schedule's filters: the Status, Day and Category choices as named
// conditions over the Schedule fields, the day new tasks take and the date
// label. Custom uses from and to (0: 1 January 1995 and 1 January 2099).
struct ExploreFilters {
    std::vector<std::pair<std::string, std::string>> filters;  // name, condition ("" none)
    int32_t selectedDay = 0;
    int32_t from = 0, to = 0;
    std::string label;  // the day, or "from-to"; empty for "All"
};
ExploreFilters MakeExploreFilters(const std::string& status, const std::string& day, const std::string& category,
                                  int32_t today, int32_t from, int32_t to,
                                  const std::function<std::string(int32_t)>& formatDate);

}  // namespace kr::tasks
