// Dates and times as the suite stores them.
//
// A date is a day number: day 4 is 1 January 1801 and consecutive days count
// up by one, so that date % 7 is the weekday (0 Sunday ... 6 Saturday).
// 0 means "no date". A time is hundredths of a second since midnight plus
// one: 1 is 00:00:00.00, 8640000 is 23:59:59.99, 0 means "no time".
#pragma once

#include <cstdint>
#include <memory>

namespace kr {

constexpr int32_t kTicksPerMinute = 6000;
constexpr int32_t kTicksPerHour = 360000;
constexpr int32_t kTicksPerDay = 8640000;

// Lowest and highest years a date can hold.
constexpr int kMinYear = 1801;
constexpr int kMaxYear = 9999;

// Builds a date from month, day and year. Months outside 1..12 roll into the
// neighbouring years (month 13 is January of the next year, month 0 December
// of the year before) and days outside the month roll into the neighbouring
// months (day 0 is the last day of the month before). Gives 0 when the result
// lies before day 1 (28 December 1800) or after 9999.
int32_t MakeDate(int month, int day, int year);

int DateDay(int32_t date);    // 1..31, 0 for no date
int DateMonth(int32_t date);  // 1..12, 0 for no date
int DateYear(int32_t date);   // 0 for no date
int Weekday(int32_t date);    // 0 Sunday .. 6 Saturday
bool IsLeapYear(int year);
int DaysInMonth(int month, int year);

// Builds a time from hours, minutes, seconds and hundredths (plus one).
int32_t MakeTime(int hours, int minutes, int seconds = 0, int hundredths = 0);
int TimeHours(int32_t time);
int TimeMinutes(int32_t time);
int TimeSeconds(int32_t time);
int TimeHundredths(int32_t time);

// The clock the whole suite reads "today" and "now" from. Tests install a
// clock they can set and advance, so that days of scheduling run in
// milliseconds.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int32_t Today() const = 0;      // day number
    virtual int32_t ClockTime() const = 0;  // hundredths since midnight plus one
};

// The system clock in local time.
class SystemClock : public Clock {
public:
    int32_t Today() const override;
    int32_t ClockTime() const override;
};

// A clock that stands still until it is set or advanced.
class ManualClock : public Clock {
public:
    ManualClock(int32_t date, int32_t time) : date_(date), time_(time) {}
    int32_t Today() const override { return date_; }
    int32_t ClockTime() const override { return time_; }
    void Set(int32_t date, int32_t time) { date_ = date; time_ = time; }
    // Moves the clock on by the given hundredths, carrying into the date.
    void Advance(int64_t hundredths);

private:
    int32_t date_;
    int32_t time_;
};

// The clock in use; the system clock unless one was installed.
Clock& CurrentClock();
// Installs a clock (nullptr restores the system clock). The caller keeps
// ownership and must keep it alive while installed.
void InstallClock(Clock* clock);

inline int32_t Today() { return CurrentClock().Today(); }
inline int32_t ClockTime() { return CurrentClock().ClockTime(); }

}  // namespace kr
