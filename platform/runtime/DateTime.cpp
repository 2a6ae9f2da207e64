#include "platform/runtime/DateTime.h"

#include <atomic>
#include <ctime>

namespace kr {

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

// Day number 4 is 1801-01-01.
const int64_t kEpochOffset = 4 - DaysFromCivil(1801, 1, 1);

SystemClock g_systemClock;
std::atomic<Clock*> g_clock{nullptr};

}  // namespace

int32_t MakeDate(int month, int day, int year) {
    int64_t y = year;
    int64_t m = month - 1;
    y += m >= 0 ? m / 12 : (m - 11) / 12;
    m = ((m % 12) + 12) % 12;
    if (y < kMinYear - 1 || y > kMaxYear + 1) return 0;
    const int64_t first = DaysFromCivil(y, static_cast<unsigned>(m + 1), 1) + kEpochOffset;
    const int64_t n = first + (static_cast<int64_t>(day) - 1);
    int cy, cm, cd;
    CivilFromDays(n - kEpochOffset, cy, cm, cd);
    // Day numbers start at 1 (28 December 1800) and end with 9999.
    if (n < 1 || cy > kMaxYear) return 0;
    return static_cast<int32_t>(n);
}

static void Split(int32_t date, int& y, int& m, int& d) {
    if (date <= 0) {
        y = m = d = 0;
        return;
    }
    CivilFromDays(date - kEpochOffset, y, m, d);
}

int DateDay(int32_t date) {
    int y, m, d;
    Split(date, y, m, d);
    return d;
}
int DateMonth(int32_t date) {
    int y, m, d;
    Split(date, y, m, d);
    return m;
}
int DateYear(int32_t date) {
    int y, m, d;
    Split(date, y, m, d);
    return y;
}
int Weekday(int32_t date) { return ((date % 7) + 7) % 7; }

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int month, int year) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

int32_t MakeTime(int hours, int minutes, int seconds, int hundredths) {
    return hours * kTicksPerHour + minutes * kTicksPerMinute + seconds * 100 + hundredths + 1;
}
int TimeHours(int32_t t) { return t <= 0 ? 0 : (t - 1) / kTicksPerHour; }
int TimeMinutes(int32_t t) { return t <= 0 ? 0 : ((t - 1) / kTicksPerMinute) % 60; }
int TimeSeconds(int32_t t) { return t <= 0 ? 0 : ((t - 1) / 100) % 60; }
int TimeHundredths(int32_t t) { return t <= 0 ? 0 : (t - 1) % 100; }

int32_t SystemClock::Today() const {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return MakeDate(tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900);
}

int32_t SystemClock::ClockTime() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    localtime_r(&ts.tv_sec, &tm);
    return MakeTime(tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ts.tv_nsec / 10000000));
}

void ManualClock::Advance(int64_t hundredths) {
    int64_t t = static_cast<int64_t>(time_) + hundredths;
    int64_t d = date_;
    // Fold whole days out of the time so that 1 <= t <= kTicksPerDay.
    int64_t days = (t - 1) >= 0 ? (t - 1) / kTicksPerDay : -((-(t - 1) + kTicksPerDay - 1) / kTicksPerDay);
    t -= days * kTicksPerDay;
    d += days;
    date_ = static_cast<int32_t>(d);
    time_ = static_cast<int32_t>(t);
}

Clock& CurrentClock() {
    Clock* c = g_clock.load();
    return c ? *c : g_systemClock;
}

void InstallClock(Clock* clock) { g_clock.store(clock); }

}  // namespace kr
