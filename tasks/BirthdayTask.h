// The birthday and anniversary wizard's task, without a window: the yearly
// reminder's defaults and the texts and dates built from the answers.
#pragma once

#include <cstdint>
#include <string>

#include "dictionary/SchedulingTables.h"

namespace kr::tasks {

// Six in the morning. Times count hundredths from midnight plus one, so a
// quarter of the day (2160000) alone would show as 5:59AM.
inline constexpr int32_t kBirthdayTime = 2160001;

struct BirthdayAnswers {
    std::string name;
    bool exact = true;           // "I know the exact birthdate"; else month and day only
    int32_t eventDate = 0;
    bool warn = false;
    int32_t warnDays = 1;
    std::string occasion = "Birthday";  // "Birthday", "Anniversary" or "Other"
};

// The new record's defaults: a yearly "Display Message" in "Reminders".
void ApplyBirthdayDefaults(Schedule& SCH, int32_t today);

// Builds the description, the message (with the age reference for an exact
// date), the next date (this year's day, or next year's when it is today or
// past), the time and the advance warning. False, and nothing changed, when
// the event date is not set.
bool BuildBirthdayTask(Schedule& SCH, const BirthdayAnswers& a, int32_t today);

}  // namespace kr::tasks
