#include "scheduler/NextOccurrence.h"

#include <algorithm>
#include <numeric>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scheduler/DateValues.h"

namespace kr {

namespace {

// The acceptance margin of the date-based steps: an occurrence on the given
// day must be more than a minute after the given time.
constexpr int64_t kMargin = 6000;

// Every search is bounded. Steps that can be counted are taken in one jump,
// so only the month- and year-based steps and the twice-monthly steps back
// loop, a few times each; the steps a jump stands for count against this
// bound, which covers the whole range of dates (about 196,000 twice-monthly
// steps) and stops anything beyond.
constexpr int kMaxSteps = 400000;

bool ValidDate(int64_t d) { return d >= 1 && d <= LastValidDate(); }

bool AnyWeekday(const Schedule& s) {
    return s.Sunday || s.Monday || s.Tuesday || s.Wednesday || s.Thursday || s.Friday || s.Saturday;
}

bool WeekdayAllowed(const Schedule& s, int32_t date) {
    switch (Weekday(date)) {
        case 0: return s.Sunday != 0;
        case 1: return s.Monday != 0;
        case 2: return s.Tuesday != 0;
        case 3: return s.Wednesday != 0;
        case 4: return s.Thursday != 0;
        case 5: return s.Friday != 0;
        default: return s.Saturday != 0;
    }
}

bool AnyWeekFlag(const Schedule& s) {
    return s.Every1st || s.Every2nd || s.Every3rd || s.Every4th || s.EveryLast;
}

bool InLastSevenDays(int32_t date) { return DateMonth(date + 7) != DateMonth(date); }

// The week-of-month test of "Day of Month": the 1st to 7th is the first week,
// the 8th to 14th the second and so on; "Last" is the month's last seven days.
bool WeekAllowed(const Schedule& s, int32_t date) {
    const int day = DateDay(date);
    if (day <= 7 && s.Every1st) return true;
    if (day >= 8 && day <= 14 && s.Every2nd) return true;
    if (day >= 15 && day <= 21 && s.Every3rd) return true;
    if (day >= 22 && day <= 28 && s.Every4th) return true;
    return s.EveryLast && InLastSevenDays(date);
}

bool TwiceMonthly(const Schedule& s) { return Upper(Sub(s.MonthRepeat.str(), 1, 5)) == "TWICE"; }
bool RepeatHasLast(const Schedule& s) { return Upper(s.MonthRepeat.str()).find("LAST") != std::string::npos; }

// The last day of a month (months outside 1..12 roll into the neighbouring years).
int32_t LastDayOf(int month, int year) { return DateInMonth(month, 31, year); }

// One weekday step: to the next (or previous) allowed weekday, or one day when
// no weekday is allowed. At most seven days.
int64_t WeekdayStep(const Schedule& s, int64_t d, int dir) {
    if (!AnyWeekday(s)) return d + dir;
    for (int i = 0; i < 7; ++i) {
        d += dir;
        if (WeekdayAllowed(s, static_cast<int32_t>(d))) break;
    }
    return d;
}

// The calendar repeats itself every 400 years (146,097 days, a whole number
// of weeks), so a day number outside the dates the suite holds is read and
// built through the same day 400 years nearer a window in its middle. The
// twice-monthly rules work on the pattern's dates before the offset, and
// those may lie beyond the calendar's ends (1 January 10000 less an offset
// of -1 is 31 December 9999).
constexpr int64_t kDaysIn400Years = 146097;
constexpr int kWindowYear = 4000;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

struct Civil {
    int64_t year;
    int month, day, daysInMonth;
    int64_t monthIndex() const { return year * 12 + month - 1; }
};

Civil CivilOf(int64_t n) {
    static const int32_t window = MakeDate(1, 1, kWindowYear);
    const int64_t cycles = FloorDiv(n - window, kDaysIn400Years);
    const int32_t d = static_cast<int32_t>(n - cycles * kDaysIn400Years);
    return {DateYear(d) + 400 * cycles, DateMonth(d), DateDay(d), DaysInMonth(DateMonth(d), DateYear(d))};
}

// The day number of a day of a month, months and days rolling over as in
// MakeDate, for any year.
int64_t DayNumberOf(int64_t monthIndex, int day) {
    const int64_t year = FloorDiv(monthIndex, 12);
    const int month = static_cast<int>(monthIndex - year * 12) + 1;
    const int64_t cycles = FloorDiv(year - kWindowYear, 400);
    return MakeDate(month, day, static_cast<int>(year - cycles * 400)) + cycles * kDaysIn400Years;
}

int32_t OrNone(int64_t d) { return ValidDate(d) ? static_cast<int32_t>(d) : 0; }

// The twice-monthly pattern's dates before the offset, numbered two a month
// from month index 0: the 1st and the 15th, or with "Last" the 15th and the
// month's last day.
int64_t PatternDate(bool hasLast, int64_t index) {
    const int64_t month = FloorDiv(index, 2);
    const bool second = index - 2 * month == 1;
    if (hasLast) return second ? DayNumberOf(month + 1, 1) - 1 : DayNumberOf(month, 15);
    return DayNumberOf(month, second ? 15 : 1);
}

// The first twice-monthly occurrence the calendar holds.
int32_t FirstSemiMonthly(const Schedule& s) {
    const bool hasLast = RepeatHasLast(s);
    int64_t i = 2 * CivilOf(1 - static_cast<int64_t>(s.Offset)).monthIndex();
    while (PatternDate(hasLast, i) + s.Offset < 1) ++i;
    return OrNone(PatternDate(hasLast, i) + s.Offset);
}

int32_t SemiMonthlyBack(const Schedule& s, int32_t d) {
    const Civil b = CivilOf(static_cast<int64_t>(d) - s.Offset);
    int64_t n;
    if (b.day == 15) {
        n = DayNumberOf(b.monthIndex() - 1, 1);
        if (RepeatHasLast(s)) n -= 1;
    } else if (b.day < 16) {
        n = DayNumberOf(b.monthIndex() - 1, 15);
    } else {
        n = DayNumberOf(b.monthIndex(), 15);
    }
    return OrNone(n + s.Offset);
}

void ShowInvalidUnits(bool quiet) {
    if (!quiet) Message(kInvalidUnitsText, kInvalidUnitsTitle, MessageIcon::None, kButtonOk);
}

// Hundredths of one minute or hour step of a custom schedule. The whole step
// is taken at full width: a step of 256 days or more is as valid as a shorter one.
int64_t TickStep(const Schedule& s, CustomUnit unit) {
    return static_cast<int64_t>(s.Every) * (unit == CustomUnit::Minute ? kTicksPerMinute : kTicksPerHour);
}

// A search that found nothing within the dates the suite holds leaves the
// record where it was.
OccurrenceResult NotFound(Schedule& s, int32_t date, int32_t time, bool complete) {
    s.Date = date;
    s.Time = time;
    if (complete) s.Completed = 1;
    return OccurrenceResult::NoOccurrence;
}

int64_t MonthIndex(int32_t d) { return static_cast<int64_t>(DateYear(d)) * 12 + DateMonth(d) - 1; }

// The day a date keeps after k steps of `months` months from month index
// `from`: each step cuts the day to its month's length, so it is the least of
// the day and the lengths of the months the steps reach. The months other
// than February repeat every 12 / gcd(months, 12) steps; the Februaries
// reached come every as many steps, and only their years tell 28 from 29.
int DayAfterSteps(int64_t from, int64_t months, int64_t k, int day) {
    if (day <= 28 || k <= 0) return day;
    const int64_t period = 12 / std::gcd<int64_t>(months < 0 ? -months : months, 12);
    int64_t february = 0;
    for (int64_t i = 1; i <= std::min(k, period); ++i) {
        const int64_t n = from + i * months;
        const int month = static_cast<int>(n - FloorDiv(n, 12) * 12) + 1;
        if (month == 2)
            february = i;
        else
            day = std::min(day, DaysInMonth(month, 2001));
    }
    // A non-leap year comes within a hundred Februaries unless every
    // February reached is in the same place of the 400-year cycle.
    for (int64_t i = february, seen = 0; february > 0 && i <= k && day > 28 && seen < 401;
         i += period, ++seen)
        day = std::min(day, DaysInMonth(2, static_cast<int>(FloorDiv(from + i * months, 12))));
    return day;
}

// Steps of `months` months (negative: back) while the record's moment is not
// accepted; `bound` is the first date accepted going forward, the last one
// going back (the record's time does not change). Each step keeps the day the
// date has, cut to the month's length. All but the last of the steps to the
// bound's month are taken in one jump, with the day the steps between would
// have cut it to, so a task decades behind costs a few steps, wherever its
// day lies, and ends where stepping one at a time ends.
template <class Accept>
OccurrenceResult StepMonths(Schedule& s, int64_t months, int32_t bound, Accept notDone, int32_t oldDate,
                            int32_t oldTime, bool complete, bool earliest = false) {
    const bool forward = months > 0;
    // A jump that would leave the calendar's start is taken shorter when
    // the earliest occurrence is asked for.
    int64_t cap = INT64_MAX;
    auto offStart = [&](int64_t k) {
        if (!earliest || forward) return false;
        cap = k - 1;
        return k > 1;
    };
    for (int64_t steps = 0; notDone(s);) {
        if (steps >= kMaxSteps) return NotFound(s, oldDate, oldTime, complete);
        // No date the steps reach is accepted: the search would only run out.
        if (forward ? bound > LastValidDate() : bound < 1) {
            if (earliest && !forward) return OccurrenceResult::Found;
            return NotFound(s, oldDate, oldTime, complete);
        }
        const int32_t d = s.Date;
        const int day = DateDay(d);
        // The first (last) month in which the day is accepted, and the
        // steps it takes to reach it. A day cut on the way can only move
        // that month on by one, which the steps after the jump take.
        const int64_t target = forward ? MonthIndex(bound) + (day >= DateDay(bound) ? 0 : 1)
                                       : MonthIndex(bound) - (day <= DateDay(bound) ? 0 : 1);
        const int64_t distance = forward ? target - MonthIndex(d) : MonthIndex(d) - target;
        const int64_t stride = forward ? months : -months;
        const int64_t need = (distance + stride - 1) / stride;
        const int64_t k = std::min(need > 1 ? need - 1 : 1, std::max<int64_t>(cap, 1));
        if (steps + k > kMaxSteps) return NotFound(s, oldDate, oldTime, complete);
        const int64_t n = MonthIndex(d) + k * months;
        const int64_t year = FloorDiv(n, 12);
        const int cut = DayAfterSteps(MonthIndex(d), months, k, day);
        const int month = static_cast<int>(n - year * 12) + 1;
        const int32_t next =
            year < kMinYear || year > kMaxYear ? 0 : DateInMonth(month, cut, static_cast<int>(year));
        if (!ValidDate(next)) {
            if (offStart(k)) continue;
            if (earliest && !forward) return OccurrenceResult::Found;
            return NotFound(s, oldDate, oldTime, complete);
        }
        s.Date = next;
        steps += k;
    }
    return OccurrenceResult::Found;
}

// The twice-monthly steps forward. The pattern's dates (before the offset)
// are the 1st and 15th, or the 15th and the month's last day with "Last";
// counted in order (two a month), the first step goes from the task's date
// to a pattern date and each later step to the next one. So the occurrence
// is counted, not walked to: the later of the first step's date and the
// first pattern date the bound accepts.
template <class Accept>
OccurrenceResult StepSemiMonthly(Schedule& s, int32_t bound, Accept notDone, int32_t oldDate, int32_t oldTime) {
    if (!notDone(s)) return OccurrenceResult::Found;
    // No date past the calendar's end is accepted.
    if (bound > LastValidDate()) return NotFound(s, oldDate, oldTime, true);
    const bool hasLast = RepeatHasLast(s);
    auto dateOf = [hasLast](int64_t index) { return PatternDate(hasLast, index); };
    // The pattern date the first step reaches, and its number.
    const Civil b = CivilOf(static_cast<int64_t>(s.Date) - s.Offset);
    int64_t first;
    if (b.day == 15)
        first = 2 * b.monthIndex() + (hasLast ? 1 : 2);
    else if (b.day < 15)
        first = 2 * b.monthIndex() + (hasLast ? 0 : 1);
    else
        first = 2 * (b.monthIndex() + 1) + (hasLast ? 0 : 1);
    // The first pattern date on or after the bound's.
    const int64_t boundBase = static_cast<int64_t>(bound) - s.Offset;
    int64_t accepted = 2 * CivilOf(boundBase).monthIndex();
    while (dateOf(accepted) < boundBase) ++accepted;
    const int32_t found = OrNone(dateOf(std::max(first, accepted)) + s.Offset);
    if (!found) return NotFound(s, oldDate, oldTime, true);
    s.Date = found;
    return OccurrenceResult::Found;
}

// The twice-monthly steps back. From a date of the pattern (before the
// offset) every step goes back one month: "1st, 15th" alternates the two
// days, "15th, Last" goes from the last day to the 15th of its own month and
// from the 15th to the last day of the month two before. So an even number
// of steps keeps the day and goes back as many months, and a search far
// ahead of its bound jumps to two months above the bound's and steps from
// there. `bound` is the last date accepted.
template <class Accept>
OccurrenceResult StepSemiMonthlyBack(Schedule& s, int32_t bound, Accept notDone, int32_t oldDate,
                                     int32_t oldTime, bool earliest) {
    const bool hasLast = RepeatHasLast(s);
    // The back steps skip dates of the pattern, so the earliest occurrence,
    // when asked for, is the calendar's first.
    auto first = [&] {
        if (const int32_t d = FirstSemiMonthly(s)) s.Date = d;
        return OccurrenceResult::Found;
    };
    // No date before the calendar's start is accepted.
    if (bound < 1) {
        if (!notDone(s)) return OccurrenceResult::Found;
        return earliest ? first() : NotFound(s, oldDate, oldTime, false);
    }
    const int64_t boundMonth = CivilOf(static_cast<int64_t>(bound) - s.Offset).monthIndex();
    for (int64_t steps = 0; notDone(s);) {
        if (steps >= kMaxSteps) return NotFound(s, oldDate, oldTime, false);
        const int64_t b = static_cast<int64_t>(s.Date) - s.Offset;
        if (ValidDate(b)) {
            const int32_t bd = static_cast<int32_t>(b);
            const int day = DateDay(bd), month = DateMonth(bd), year = DateYear(bd);
            const bool onPattern =
                hasLast ? (day == 15 || day == DaysInMonth(month, year)) : (day == 1 || day == 15);
            const int64_t k = (MonthIndex(bd) - boundMonth - 2) / 2 * 2;
            if (onPattern && k > 0) {
                if (steps + k > kMaxSteps) return NotFound(s, oldDate, oldTime, false);
                const int64_t n = MonthIndex(bd) - k;
                const int y = static_cast<int>(n / 12), m = static_cast<int>(n % 12) + 1;
                // The same day of the pattern in the month reached.
                const int keptDay = day == 15 ? 15 : hasLast ? DaysInMonth(m, y) : 1;
                const int32_t j = y >= kMinYear ? MakeDate(m, keptDay, y) : 0;
                const int64_t jumped = static_cast<int64_t>(j) + s.Offset;
                if (j && ValidDate(jumped)) {
                    s.Date = static_cast<int32_t>(jumped);
                    steps += k;
                    continue;
                }
            }
        }
        const int32_t n = SemiMonthlyBack(s, s.Date);
        if (!ValidDate(n)) return earliest ? first() : NotFound(s, oldDate, oldTime, false);
        s.Date = n;
        ++steps;
    }
    return OccurrenceResult::Found;
}

OccurrenceResult Advance(Schedule& s, int32_t date, int32_t time, bool quiet) {
    const ScheduleKind kind = ScheduleKindOf(s);
    if (kind == ScheduleKind::Once) {
        s.Completed = 1;
        return OccurrenceResult::Completed;
    }
    const int32_t oldDate = s.Date, oldTime = s.Time;
    // A task without a date starts its search at the given date.
    if (s.Date <= 0) {
        if (!ValidDate(date)) return NotFound(s, oldDate, oldTime, true);
        s.Date = date;
    }
    const int64_t limit = static_cast<int64_t>(time) + kMargin;
    auto notAccepted = [date, limit](const Schedule& r) {
        return !(r.Date > date || (r.Date == date && r.Time > limit));
    };
    // The first date on which the record's own time is accepted.
    auto firstAcceptedDate = [date, limit](const Schedule& r) -> int64_t {
        return static_cast<int64_t>(date) + (r.Time <= limit ? 1 : 0);
    };

    // The first date accepted for steps that keep the record's time.
    const int64_t firstDate = static_cast<int64_t>(date) + (s.Time <= limit ? 1 : 0);
    const int32_t bound = static_cast<int32_t>(std::clamp<int64_t>(firstDate, INT32_MIN, INT32_MAX));

    switch (kind) {
        case ScheduleKind::Monthly:
            return StepMonths(s, 1, bound, notAccepted, oldDate, oldTime, true);
        case ScheduleKind::SemiMonthly:
            return StepSemiMonthly(s, bound, notAccepted, oldDate, oldTime);
        case ScheduleKind::Yearly:
            return StepMonths(s, 12, bound, notAccepted, oldDate, oldTime, true);
        case ScheduleKind::DayOfWeek: {
            if (!notAccepted(s)) return OccurrenceResult::Found;
            // Only the weekday matters, so the walk can start the day before
            // the first accepted date.
            const int64_t first = firstAcceptedDate(s);
            int64_t d = std::max<int64_t>(s.Date, first - 1);
            do {
                d = WeekdayStep(s, d, +1);
            } while (d < first);
            if (!ValidDate(d)) return NotFound(s, oldDate, oldTime, true);
            s.Date = static_cast<int32_t>(d);
            return OccurrenceResult::Found;
        }
        case ScheduleKind::DayOfMonth: {
            if (s.LastDayofMonth) {
                // The month's last day, whatever the weekday and week flags say.
                const int32_t base = std::max(s.Date, date);
                int32_t last = LastDayOf(DateMonth(base), DateYear(base));
                if (last && last <= date) last = LastDayOf(DateMonth(base) + 1, DateYear(base));
                if (!ValidDate(last)) return NotFound(s, oldDate, oldTime, true);
                s.Date = last;
                return OccurrenceResult::Found;
            }
            // Every allowed weekday up to the given date is passed over, so the
            // walk may as well start at the given date.
            int64_t d = std::max(s.Date, date);
            do {
                d = WeekdayStep(s, d, +1);
            } while (d <= date);
            if (AnyWeekFlag(s)) {
                // Every weekday occurs in each week of the month, so this ends
                // within five weeks; the bound is a safeguard.
                for (int i = 0; ValidDate(d) && !WeekAllowed(s, static_cast<int32_t>(d)); ++i) {
                    if (i > 400) return NotFound(s, oldDate, oldTime, true);
                    d = WeekdayStep(s, d, +1);
                }
            }
            if (!ValidDate(d)) return NotFound(s, oldDate, oldTime, true);
            s.Date = static_cast<int32_t>(d);
            return OccurrenceResult::Found;
        }
        case ScheduleKind::Custom:
        case ScheduleKind::Once:
            break;
    }

    if (s.Every < 1) s.Every = 1;
    const CustomUnit unit = CustomUnitOf(s);
    switch (unit) {
        case CustomUnit::Minute:
        case CustomUnit::Hour: {
            // At least one step, then as many as it takes to pass (date, time).
            const int64_t step = TickStep(s, unit);
            const int64_t m = MomentOf(s.Date, s.Time);
            const int64_t target = MomentOf(date, std::clamp<int32_t>(time, 0, kTicksPerDay));
            const int64_t k = m > target ? 1 : (target - m) / step + 1;
            int32_t d, t;
            SplitMoment(m + k * step, d, t);
            if (!ValidDate(d)) return NotFound(s, oldDate, oldTime, true);
            s.Date = d;
            s.Time = t;
            return OccurrenceResult::Found;
        }
        case CustomUnit::Day:
        case CustomUnit::Week: {
            const int64_t step = static_cast<int64_t>(s.Every) * (unit == CustomUnit::Week ? 7 : 1);
            const int64_t first = firstAcceptedDate(s);
            int64_t d = s.Date;
            if (d < first) d += (first - d + step - 1) / step * step;
            if (!ValidDate(d)) return NotFound(s, oldDate, oldTime, true);
            s.Date = static_cast<int32_t>(d);
            return OccurrenceResult::Found;
        }
        case CustomUnit::Month: {
            const int months = std::min<int64_t>(s.Every, 12 * (kMaxYear - kMinYear + 2));
            return StepMonths(s, months, bound, notAccepted, oldDate, oldTime, true);
        }
        case CustomUnit::Year:
            return StepMonths(s, 12 * static_cast<int64_t>(s.Every), bound, notAccepted, oldDate, oldTime, true);
        case CustomUnit::Invalid:
            break;
    }
    ShowInvalidUnits(quiet);
    // Restore a date that was 0, then push it past the given date so that the
    // caller still gets a future moment.
    s.Date = oldDate;
    if (date >= s.Date && ValidDate(static_cast<int64_t>(date) + 1)) s.Date = date + 1;
    return OccurrenceResult::InvalidUnits;
}

// Steps back to an occurrence before (date, time - a minute). With
// `earliest`, a walk that would leave the calendar's start ends on the
// earliest occurrence it reached instead (one at or after the moment); a
// twice-monthly task, whose back steps skip dates, on the calendar's first
// date of its pattern, and a schedule of weekdays, which any date starts, on
// the calendar's first day.
OccurrenceResult Retreat(Schedule& s, int32_t date, int32_t time, bool quiet, bool earliest) {
    const ScheduleKind kind = ScheduleKindOf(s);
    if (kind == ScheduleKind::Once) return OccurrenceResult::NoOccurrence;
    const int32_t oldDate = s.Date, oldTime = s.Time;
    const int64_t limit = static_cast<int64_t>(time) - kMargin;
    // Go on stepping back while the moment is not before (date, limit).
    auto notBefore = [date, limit](const Schedule& r) {
        return r.Date > date || (r.Date == date && r.Time >= limit);
    };
    // With the record's time fixed: the first date that is not before.
    auto firstNotBefore = [date, limit](const Schedule& r) -> int64_t {
        return static_cast<int64_t>(date) + (r.Time >= limit ? 0 : 1);
    };

    // The last date before (date, limit) for steps that keep the record's time.
    const int64_t lastDate = static_cast<int64_t>(date) - (s.Time < limit ? 0 : 1);
    const int32_t bound = static_cast<int32_t>(std::clamp<int64_t>(lastDate, INT32_MIN, INT32_MAX));

    switch (kind) {
        case ScheduleKind::Monthly:
            return StepMonths(s, -1, bound, notBefore, oldDate, oldTime, false, earliest);
        case ScheduleKind::SemiMonthly:
            return StepSemiMonthlyBack(s, bound, notBefore, oldDate, oldTime, earliest);
        case ScheduleKind::Yearly:
            return StepMonths(s, -12, bound, notBefore, oldDate, oldTime, false, earliest);
        case ScheduleKind::DayOfWeek:
        case ScheduleKind::DayOfMonth: {
            if (!notBefore(s)) return OccurrenceResult::Found;
            const bool weeks = kind == ScheduleKind::DayOfMonth && AnyWeekFlag(s);
            // Only weekdays and weeks of the month matter below the given
            // date, so the walk may start the day after it.
            int64_t d = std::min<int64_t>(s.Date, static_cast<int64_t>(date) + 1);
            for (int i = 0;; ++i) {
                if (i > 400) return NotFound(s, oldDate, oldTime, false);
                d = WeekdayStep(s, d, -1);
                if (!ValidDate(d) && earliest) {
                    s.Date = 1;
                    return OccurrenceResult::Found;
                }
                if (!ValidDate(d)) return NotFound(s, oldDate, oldTime, false);
                s.Date = static_cast<int32_t>(d);
                if (!notBefore(s) && (!weeks || WeekAllowed(s, s.Date))) break;
            }
            return OccurrenceResult::Found;
        }
        case ScheduleKind::Custom:
        case ScheduleKind::Once:
            break;
    }

    if (s.Every < 1) s.Every = 1;
    const CustomUnit unit = CustomUnitOf(s);
    switch (unit) {
        case CustomUnit::Minute:
        case CustomUnit::Hour: {
            // Counted, not looped: a one-minute task weeks ahead is one jump.
            const int64_t step = TickStep(s, unit);
            const int64_t m = MomentOf(s.Date, s.Time);
            const int64_t target =
                static_cast<int64_t>(date) * kTicksPerDay + std::clamp<int64_t>(limit, 1, kTicksPerDay + 1);
            int64_t k = m >= target ? (m - target) / step + 1 : 0;
            int32_t d, t;
            SplitMoment(m - k * step, d, t);
            if (!ValidDate(d) && earliest && k > 0) SplitMoment(m - (k - 1) * step, d, t);
            if (!ValidDate(d)) return NotFound(s, oldDate, oldTime, false);
            s.Date = d;
            s.Time = t;
            return OccurrenceResult::Found;
        }
        case CustomUnit::Day:
        case CustomUnit::Week: {
            const int64_t step = static_cast<int64_t>(s.Every) * (unit == CustomUnit::Week ? 7 : 1);
            const int64_t first = firstNotBefore(s);
            int64_t d = s.Date;
            if (d >= first) d -= ((d - first) / step + 1) * step;
            if (!ValidDate(d) && earliest && d < s.Date) d += step;
            if (!ValidDate(d)) return NotFound(s, oldDate, oldTime, false);
            s.Date = static_cast<int32_t>(d);
            return OccurrenceResult::Found;
        }
        case CustomUnit::Month: {
            const int months = std::min<int64_t>(s.Every, 12 * (kMaxYear - kMinYear + 2));
            return StepMonths(s, -static_cast<int64_t>(months), bound, notBefore, oldDate, oldTime, false,
                              earliest);
        }
        case CustomUnit::Year:
            return StepMonths(s, -12 * static_cast<int64_t>(s.Every), bound, notBefore, oldDate, oldTime, false,
                              earliest);
        case CustomUnit::Invalid:
            break;
    }
    ShowInvalidUnits(quiet);
    if (s.Date >= date && ValidDate(static_cast<int64_t>(date) - 1)) s.Date = date - 1;
    return OccurrenceResult::InvalidUnits;
}

}  // namespace

int32_t LastValidDate() {
    static const int32_t last = MakeDate(12, 31, kMaxYear);
    return last;
}

int32_t DateInMonth(int month, int day, int year) {
    int64_t m = static_cast<int64_t>(month) - 1;
    int64_t y = year + (m >= 0 ? m / 12 : (m - 11) / 12);
    m = ((m % 12) + 12) % 12 + 1;
    if (y < kMinYear || y > kMaxYear) return 0;
    const int dim = DaysInMonth(static_cast<int>(m), static_cast<int>(y));
    return MakeDate(static_cast<int>(m), std::clamp(day, 1, dim), static_cast<int>(y));
}

CustomUnit CustomUnitOf(const Schedule& SCH) {
    const std::string u = Lower(Sub(SCH.EveryType.str(), 1, 3));
    if (u == "min") return CustomUnit::Minute;
    if (u == "hou") return CustomUnit::Hour;
    if (u == "day") return CustomUnit::Day;
    if (u == "wee") return CustomUnit::Week;
    if (u == "mon") return CustomUnit::Month;
    if (u == "yea") return CustomUnit::Year;
    return CustomUnit::Invalid;
}

ScheduleKind ScheduleKindOf(const Schedule& SCH) {
    const std::string& t = SCH.ScheduleType.str();
    if (t == "Once") return ScheduleKind::Once;
    if (t == "Monthly") return TwiceMonthly(SCH) ? ScheduleKind::SemiMonthly : ScheduleKind::Monthly;
    if (t == "Yearly") return ScheduleKind::Yearly;
    if (t == "Day of Week") return ScheduleKind::DayOfWeek;
    if (t == "Day of Month") return ScheduleKind::DayOfMonth;
    return ScheduleKind::Custom;
}

OccurrenceResult NextScheduleDate(Schedule& SCH, int32_t date, int32_t time) {
    return Advance(SCH, date, time, false);
}

OccurrenceResult NextScheduleDate(Schedule& SCH, int32_t date, int32_t time, bool quiet) {
    return Advance(SCH, date, time, quiet);
}

OccurrenceResult StepBackToPreviousOccurrence(Schedule& SCH, int32_t date, int32_t time) {
    return Retreat(SCH, date, time, false, false);
}

OccurrenceResult StepBackToSearchStart(Schedule& SCH, int32_t date, int32_t time) {
    return Retreat(SCH, date, time, false, true);
}

bool DateFitsSchedule(const Schedule& SCH, int32_t date) {
    if (date == 0) date = SCH.Date;
    if (date <= 0) return false;
    switch (ScheduleKindOf(SCH)) {
        case ScheduleKind::SemiMonthly: {
            // The pattern date may lie beyond the calendar's ends.
            const Civil b = CivilOf(static_cast<int64_t>(date) - SCH.Offset);
            if (b.day == 15) return true;
            if (b.day == b.daysInMonth) return RepeatHasLast(SCH);
            if (b.day == 1) return !RepeatHasLast(SCH);
            return false;
        }
        case ScheduleKind::DayOfWeek:
            return WeekdayAllowed(SCH, date);
        case ScheduleKind::DayOfMonth:
            if (SCH.LastDayofMonth) return DateDay(date) == DaysInMonth(DateMonth(date), DateYear(date));
            if (!WeekdayAllowed(SCH, date)) return false;
            return WeekAllowed(SCH, date);
        default:
            return true;
    }
}

bool HasOccurrenceAt(const Schedule& SCH, int32_t date, int32_t time) {
    const ScheduleKind kind = ScheduleKindOf(SCH);
    if (kind == ScheduleKind::Once || SCH.Date <= 0) return false;
    const bool ticks = kind == ScheduleKind::Custom &&
                       (CustomUnitOf(SCH) == CustomUnit::Minute || CustomUnitOf(SCH) == CustomUnit::Hour);
    if (kind == ScheduleKind::Custom && CustomUnitOf(SCH) == CustomUnit::Invalid) return false;
    if (SCH.Date == date && SCH.Time == time) return true;
    // Every step other than minutes and hours keeps the time of day.
    if (!ticks && SCH.Time != time) return false;

    // The first occurrence at or after (toDate, toTime), stepping forward from
    // where `s` stands.
    auto firstFrom = [kind, ticks](Schedule& s, int32_t toDate, int32_t toTime) {
        if (ticks) return Advance(s, toDate, toTime - 1, true);
        if (kind == ScheduleKind::DayOfMonth) return Advance(s, toDate - 1, toTime, true);
        return Advance(s, toDate - 1, s.Time, true);
    };
    Schedule s = SCH;
    if (MomentOf(date, time) > MomentOf(SCH.Date, SCH.Time)) {
        // A later moment: a run there when the task's own steps reach it.
        return firstFrom(s, date, time) == OccurrenceResult::Found && s.Date == date && s.Time == time;
    }
    // An earlier moment holds a regular run only when it is a date the
    // schedule allows and the task's steps from there lead to where it
    // stands. Stepping back from where it stands cannot answer this: a step
    // back cuts the day to a shorter month (30 March to 28 February) and the
    // step forward again keeps the cut day, so 28 March would pass for a run
    // of a task that runs on the 30th.
    if (!DateFitsSchedule(SCH, date)) return false;
    s.Date = date;
    s.Time = time;
    return firstFrom(s, SCH.Date, SCH.Time) == OccurrenceResult::Found && s.Date == SCH.Date &&
           s.Time == SCH.Time;
}

}  // namespace kr
