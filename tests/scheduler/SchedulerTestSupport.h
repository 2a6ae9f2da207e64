// Shorthands for the date engine's tests. Weekdays in the tables are worked
// out by hand from the calendar: 1 January 1801 is day 4, a Thursday, and
// 1 January 2024 a Monday; each month's first weekday follows by adding the
// length of the month before.
#pragma once

#include <string>

#include "dictionary/SchedulingTables.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"

namespace kr::test {

inline int32_t D(int year, int month, int day) { return MakeDate(month, day, year); }
inline int32_t T(int hours, int minutes, int seconds = 0) { return MakeTime(hours, minutes, seconds); }

// A task of the given schedule type due at (date, time).
inline Schedule Task(const std::string& type, int32_t date, int32_t time) {
    Schedule s;
    s.ScheduleType = type;
    s.Date = date;
    s.Time = time;
    s.TaskType = "Run Program";
    return s;
}

inline Schedule Custom(int every, const std::string& unit, int32_t date, int32_t time) {
    Schedule s = Task("Custom", date, time);
    s.Every = every;
    s.EveryType = unit;
    return s;
}

// Sunday first, as the flags of the record and ExceptOther are ordered.
inline void Weekdays(Schedule& s, const std::string& sevenFlags) {
    uint8_t* f[] = {&s.Sunday, &s.Monday, &s.Tuesday, &s.Wednesday, &s.Thursday, &s.Friday, &s.Saturday};
    for (int i = 0; i < 7; ++i) *f[i] = sevenFlags[static_cast<std::size_t>(i)] == 'x' ? 1 : 0;
}

// Installs a responder for the lifetime of a test and a clock that stands still.
struct ScopedServices {
    ScriptedResponder responder;
    ScopedMessageService messages{&responder};
    ManualClock clock{MakeDate(7, 1, 2024), MakeTime(8, 0)};
    ScopedServices() { InstallClock(&clock); }
    ~ScopedServices() { InstallClock(nullptr); }
};

}  // namespace kr::test
