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

// Applies the exceptions to SCH, whose Date/Time hold the next occurrence.
// Returns 1 when it stored SCH (PUT), 0 otherwise (the caller then stores the
// record itself when it needs to). With keepEarlierCopy false, a one-off copy
// that an earlier shift made (SCH.ExceptionLink) is deleted when a new one is
// made.
int RescheduleTask(Schedule& SCH, bool keepEarlierCopy, ScheduleStore& store, const HolidayTest& isHoliday);

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
