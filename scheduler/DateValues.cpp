#include "scheduler/DateValues.h"

#include <cstdio>

#include "platform/runtime/DateTime.h"

namespace kr {

void NormalizeDateTime(int32_t& date, int32_t& time) {
    int64_t d = date;
    int64_t t = time;
    if (t > kTicksPerDay) {
        const int64_t days = (t - 1) / kTicksPerDay;
        t -= days * kTicksPerDay;
        d += days;
    }
    if (t <= 0 && d != 0) {
        // Days needed to bring the time back to 1 or more; carrying stops
        // when the date reaches 0.
        int64_t days = (-t) / kTicksPerDay + 1;
        if (d > 0 && days > d) days = d;
        t += days * kTicksPerDay;
        d -= days;
    }
    date = static_cast<int32_t>(d);
    time = static_cast<int32_t>(t);
}

int CompareDateTime(int32_t date1, int32_t time1, int32_t date2, int32_t time2) {
    NormalizeDateTime(date1, time1);
    NormalizeDateTime(date2, time2);
    if (date1 != date2) return date1 < date2 ? -1 : 1;
    if (time1 != time2) return time1 < time2 ? -1 : 1;
    return 0;
}

std::string DateToYYYYMMDD(int32_t date) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", DateYear(date) % 10000, DateMonth(date), DateDay(date));
    return buf;
}

int32_t EasterDate(int year) {
    if (year < kMinYear || year > kMaxYear) return 0;
    // The computus of Lilius and Clavius as Knuth gives it, with truncating
    // integer division.
    const int g = year % 19 + 1;             // golden number
    const int c = year / 100 + 1;            // century
    const int x = 3 * c / 4 - 12;            // years like 1900 that are not leap years
    const int z = (8 * c + 5) / 25 - 5;      // correction for the moon's orbit
    const int d = 5 * year / 4 - x - 10;     // March ((-d) mod 7) is a Sunday
    int e = (11 * g + 20 + z - x) % 30;      // epact: age of the moon on 1 January
    if (e < 0) e += 30;
    if ((e == 25 && g > 11) || e == 24) e += 1;
    int n = 44 - e;                          // the full moon: March n
    if (n <= 20) n += 30;
    n = n + 7 - (d + n) % 7;                 // the Sunday after it
    return n > 31 ? MakeDate(4, n - 31, year) : MakeDate(3, n, year);
}

int64_t MomentOf(int32_t date, int32_t time) {
    return static_cast<int64_t>(date) * kTicksPerDay + time;
}

void SplitMoment(int64_t moment, int32_t& date, int32_t& time) {
    // Floor division, so that times come out as 1..8640000.
    int64_t m = moment - 1;
    int64_t d = m >= 0 ? m / kTicksPerDay : -((-m + kTicksPerDay - 1) / kTicksPerDay);
    date = static_cast<int32_t>(d);
    time = static_cast<int32_t>(moment - d * kTicksPerDay);
}

}  // namespace kr
