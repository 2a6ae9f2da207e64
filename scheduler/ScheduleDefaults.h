// Completing a task before a form or wizard saves it, and the one-line text of
// its repetition that the schedule lists show.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dictionary/SchedulingTables.h"
#include "scheduler/ScheduleStore.h"

namespace kr {

// What completing a task needs from the rest of the program.
struct CompletionSettings {
    std::string userID;                                  // the UserID setting
    std::function<std::string(int32_t)> formatUserDate;  // the user's date format; empty: picture d3
    HolidayTest holidays;                                // for the holiday exception
};

// Fills the defaults of a task about to be saved (command "N/A" for a
// script-only task, a description made from the task, category "General"),
// applies its exceptions (which may store it and add a shifted copy through
// `store`) and stamps the user and the time of the change.
void CompleteScheduleRecord(Schedule& SCH, ScheduleStore& store, const CompletionSettings& settings);

// The repetition in words, at most 80 characters: "Monthly", "Twice Monthly
// (3)", "Days: Mon, Wed, Fri", "Days: 1st, 3rd: Mon", "Every 2 day(s)", with
// " (exceptions exist)" when any exception is set.
std::string DescribeSchedule(const Schedule& SCH);

}  // namespace kr
