// The recurrence rules of a task: its next occurrence after a moment, its
// previous occurrence before one, and whether a date fits its schedule.
// These work on a Schedule record in memory and never touch a table.
#pragma once

#include <cstdint>
#include <string>

#include "dictionary/SchedulingTables.h"

namespace kr {

// What a search for an occurrence ended with.
enum class OccurrenceResult {
    Found,         // the record holds the occurrence
    Completed,     // a "Once" task: no further occurrence, Completed set
    InvalidUnits,  // a custom unit the engine does not know ("Invalid Units")
    NoOccurrence,  // none within the dates the suite can hold; the record keeps
                   // its date and time (NextScheduleDate also sets Completed)
};

// The unit of a "Custom" schedule: the first three letters of EveryType.
enum class CustomUnit { Minute, Hour, Day, Week, Month, Year, Invalid };
CustomUnit CustomUnitOf(const Schedule& SCH);

// The kinds of schedule the engine tells apart.
enum class ScheduleKind { Once, Monthly, SemiMonthly, Yearly, DayOfWeek, DayOfMonth, Custom };
ScheduleKind ScheduleKindOf(const Schedule& SCH);

inline constexpr const char* kInvalidUnitsText = "Custom repetition is not set up properly.  Select units.";
inline constexpr const char* kInvalidUnitsTitle = "Invalid Units";

// Moves SCH.Date/SCH.Time to the first occurrence after (date, time). Except
// for the minute and hour units, an occurrence must be more than a minute
// (6000) later than (date, time) on the same day, or on a later day.
OccurrenceResult NextScheduleDate(Schedule& SCH, int32_t date, int32_t time);
// The same; with quiet set an unknown custom unit gives no "Invalid Units"
// message (a search tried again for an occurrence already told).
OccurrenceResult NextScheduleDate(Schedule& SCH, int32_t date, int32_t time, bool quiet);

// Moves SCH.Date/SCH.Time back to an occurrence before (date, time - 6000),
// stepping by the same rules as NextScheduleDate backwards. A "Once" task has
// no other occurrence and is left as it is (Completed is not touched).
OccurrenceResult StepBackToPreviousOccurrence(Schedule& SCH, int32_t date, int32_t time);

// Moves SCH.Date/SCH.Time back to where a forward search for the first
// occurrence after (date, time) can start: as StepBackToPreviousOccurrence,
// or, when no occurrence lies before the moment within the calendar (a
// moment early in January 1801), to the earliest occurrence the steps back
// reach (a twice-monthly task to the calendar's first date of its pattern,
// a schedule of weekdays to the calendar's first day, since any day starts
// it). NoOccurrence otherwise as StepBackToPreviousOccurrence gives it.
OccurrenceResult StepBackToSearchStart(Schedule& SCH, int32_t date, int32_t time);

// True when the date is one the schedule allows; a date of 0 stands for SCH.Date.
bool DateFitsSchedule(const Schedule& SCH, int32_t date);

// True when the task, stepping by its own rules from where it stands, has a
// regular occurrence at exactly (date, time). Works on a copy and shows no
// message. The exceptions use it so that a shifted run is not added on top
// of a regular run at the same moment.
bool HasOccurrenceAt(const Schedule& SCH, int32_t date, int32_t time);

// Builds a date from a month (months outside 1..12 roll into the neighbouring
// years) and a day; a day the month does not have becomes the month's last
// day (31 April is 30 April, 29 February of a common year is 28 February).
// 0 when the year is outside the dates the suite can hold.
int32_t DateInMonth(int month, int day, int year);

// The last date the suite can hold (31 December 9999).
int32_t LastValidDate();

}  // namespace kr
