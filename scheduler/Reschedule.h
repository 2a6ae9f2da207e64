// Exceptions of a repeating task: a time range of the day in which it must not
// run, and days on which it must not run (weekends, weekdays, holidays, chosen
// weekdays). After the next occurrence has been found, RescheduleTask pushes
// it out of the time range and, on an excluded day, marks it to be skipped and
// may add a one-off copy on the previous or next allowed day.
#pragma once

#include <cstdint>

#include "dictionary/SchedulingTables.h"
#include "scheduler/ScheduleStore.h"

namespace kr {

// Steps of the time-range push before it falls back to the range's end.
inline constexpr int kTimeRangeSteps = 100;
// Days the shift to an allowed day searches.
inline constexpr int kShiftSearchDays = 366;

// What a shift to another day could not store once the task's own record
// was stored: the one-off copy, the copy's script items, the task's link to
// the copy. CompleteShift stores what is missing later.
struct ShiftShortfall {
    bool copy = false;         // the one-off copy was not added
    bool scriptItems = false;  // the copy's script items were not copied
    bool link = false;         // the task's SCH:ExceptionLink does not name the copy
    int32_t taskID = 0;
    // Where the task's record was left: the excluded day, marked to be skipped.
    int32_t taskDate = 0, taskTime = 0;
    int32_t copyDate = 0;      // the allowed day the copy runs on
    uint8_t copySkip = 0;      // the copy's SCH:SkipNextTime
    int32_t copyID = 0;        // once the copy is added
    bool Any() const { return copy || scriptItems || link; }
};

// Applies the exceptions to SCH, whose Date/Time hold the next occurrence.
// Returns 1 when it stored SCH (PUT), 0 otherwise (the caller then stores the
// record itself when it needs to). With keepEarlierCopy false, a one-off copy
// that an earlier shift made (SCH.ExceptionLink) is deleted when a new one is
// made. When the result is 1 and `missing` is given, it says what of a shift
// to another day was not stored (the copy, its script items, the link).
int RescheduleTask(Schedule& SCH, bool keepEarlierCopy, ScheduleStore& store, const HolidayTest& isHoliday,
                   ShiftShortfall* missing = nullptr);

// What CompleteShift came to.
enum class ShiftOutcome {
    Stored,   // nothing is missing any more
    Pending,  // a write failed again; try later
    // The task no longer stands where the shift left it (moved, disabled or
    // deleted since), or the copy is gone or over: the missing copy or
    // script items will not be made. The shortfall says which.
    GaveUp,
};
// Stores what a shift left missing: the copy (made from the task as it is
// stored now), then its script items and the link. Each part that is stored
// is cleared in `missing`, so a later call does only what is still missing.
ShiftOutcome CompleteShift(ShiftShortfall& missing, ScheduleStore& store);

// Adds `record` (with its message) under the highest ID + 1 (1 for an empty
// table), counting up while the ID is taken. Sets record.ID; returns the error
// code of the ADD.
int AddScheduleCopy(ScheduleStore& store, Schedule& record);

// True when the day is excluded by the task's day exceptions.
bool IsExcludedDay(const Schedule& SCH, int32_t date, const HolidayTest& isHoliday);
// True when the time lies in the task's excluded time range (an end of 0 is
// the end of the day; a begin after the end wraps past midnight).
bool InExceptTimeRange(const Schedule& SCH, int32_t time);
// True when the task has day exceptions, or the time exception.
bool HasDayExceptions(const Schedule& SCH);

}  // namespace kr
