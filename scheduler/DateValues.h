// Moments (a date and a time of day) as the scheduler handles them: folding a
// time that ran past midnight into the date, comparing two moments, the
// eight-digit text of a date, and Easter Sunday.
#pragma once

#include <cstdint>
#include <string>

namespace kr {

// Folds whole days out of the time into the date, so that afterwards
// 1 <= time <= 8640000 (or the date is 0). A time of exactly 8640000 stays on
// its day; a time of 0 moves to 8640000 of the day before, unless the date is
// 0, which never moves below 0 by carrying.
void NormalizeDateTime(int32_t& date, int32_t& time);

// -1 when (date1, time1) is earlier than (date2, time2), 1 when later, 0 when
// the same moment. Both pairs are normalised first (on copies).
int CompareDateTime(int32_t date1, int32_t time1, int32_t date2, int32_t time2);

// The date as eight digits, year, month and day zero-padded: "20240331".
std::string DateToYYYYMMDD(int32_t date);

// Easter Sunday of the year in the Gregorian calendar (0 for a year outside
// the dates the suite can hold).
int32_t EasterDate(int year);

// A moment as one number of hundredths, date * 8640000 + time, and back. Two
// normalised moments compare as their numbers do.
int64_t MomentOf(int32_t date, int32_t time);
void SplitMoment(int64_t moment, int32_t& date, int32_t& time);

}  // namespace kr
