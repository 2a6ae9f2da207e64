// The month- and year-based steps jump once the day is settled: every result
// must be the one that walking a step at a time gives. The walk is written
// out here as the rules state it and compared over month ends, leap days,
// offsets, strides, bounds near and far and both directions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SchedulerTestSupport.h"
#include "scheduler/DateValues.h"
#include "scheduler/NextOccurrence.h"

namespace kr {
namespace {

using test::Custom;
using test::D;
using test::T;
using test::Task;

constexpr int kWalkLimit = 400000;
constexpr int32_t kMargin = 6000;

// One step of the schedule (back when `back`), or 0 outside the calendar.
int32_t WalkStep(const Schedule& s, int32_t d, bool back) {
    const int sign = back ? -1 : 1;
    const ScheduleKind kind = ScheduleKindOf(s);
    if (kind == ScheduleKind::SemiMonthly) {
        // Forward: from the 15th to the 1st (or the month's last day),
        // before it to the 15th, after it to the next month's 15th. Back:
        // from the 15th to the previous month's 1st (a day earlier with
        // "Last"), below the 16th to the previous month's 15th, else to the
        // 15th of its own month.
        // The pattern's dates before the offset may lie past either end of
        // the calendar: they are worked out 400 years (146,097 days, the
        // calendar's cycle) nearer its middle.
        int32_t b = d - s.Offset, shift = 0;
        if (b > D(9000, 1, 1)) shift = 146097;
        if (b < D(2300, 1, 1)) shift = -146097;
        b -= shift;
        const bool last = s.MonthRepeat.str().find("Last") != std::string::npos;
        const int day = DateDay(b), month = DateMonth(b), year = DateYear(b);
        int32_t n;
        if (!back)
            n = day == 15  ? MakeDate(month + 1, 1, year) - (last ? 1 : 0)
                : day < 15 ? MakeDate(month, 15, year)
                           : MakeDate(month + 1, 15, year);
        else
            n = day == 15  ? MakeDate(month - 1, 1, year) - (last ? 1 : 0)
                : day < 16 ? MakeDate(month - 1, 15, year)
                           : MakeDate(month, 15, year);
        return n > 0 ? n + shift + s.Offset : 0;
    }
    int64_t months = kind == ScheduleKind::Monthly ? 1 : kind == ScheduleKind::Yearly ? 12 : 0;
    if (kind == ScheduleKind::Custom)
        months = CustomUnitOf(s) == CustomUnit::Month ? s.Every : 12 * static_cast<int64_t>(s.Every);
    const int64_t to = DateMonth(d) + sign * months;
    if (to < -200000 || to > 200000) return 0;
    return DateInMonth(static_cast<int>(to), DateDay(d), DateYear(d));
}

// The walk: a step at a time until the moment is after (date, time + a
// minute), or before (date, time - a minute) going back.
OccurrenceResult Walk(Schedule& s, int32_t date, int32_t time, bool back) {
    const int32_t oldDate = s.Date, oldTime = s.Time;
    auto pending = [&](const Schedule& r) {
        return back ? r.Date > date || (r.Date == date && r.Time >= time - kMargin)
                    : !(r.Date > date || (r.Date == date && r.Time > time + kMargin));
    };
    for (int steps = 0; pending(s); ++steps) {
        const int32_t n = steps < kWalkLimit ? WalkStep(s, s.Date, back) : 0;
        if (n < 1 || n > D(9999, 12, 31)) {
            s.Date = oldDate;
            s.Time = oldTime;
            if (!back) s.Completed = 1;
            return OccurrenceResult::NoOccurrence;
        }
        s.Date = n;
    }
    return OccurrenceResult::Found;
}

struct Kind {
    std::string name;
    Schedule (*make)(int32_t date);
    bool back;  // also searched backwards
};

Schedule Semi(const char* repeat, int offset, int32_t date) {
    Schedule s = Task("Monthly", date, T(9, 0));
    s.MonthRepeat = repeat;
    s.Offset = offset;
    return s;
}

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        {"monthly", [](int32_t d) { return Task("Monthly", d, T(9, 0)); }, true},
        {"yearly", [](int32_t d) { return Task("Yearly", d, T(9, 0)); }, true},
        {"every 2 months", [](int32_t d) { return Custom(2, "month(s)", d, T(9, 0)); }, true},
        {"every 4 months", [](int32_t d) { return Custom(4, "month(s)", d, T(9, 0)); }, true},
        {"every 6 months", [](int32_t d) { return Custom(6, "month(s)", d, T(9, 0)); }, true},
        {"every 10 months", [](int32_t d) { return Custom(10, "month(s)", d, T(9, 0)); }, true},
        {"every 4 years", [](int32_t d) { return Custom(4, "year(s)", d, T(9, 0)); }, true},
        {"every 12 months", [](int32_t d) { return Custom(12, "month(s)", d, T(9, 0)); }, true},
        {"every 25 months", [](int32_t d) { return Custom(25, "month(s)", d, T(9, 0)); }, true},
        {"every 3 years", [](int32_t d) { return Custom(3, "year(s)", d, T(9, 0)); }, true},
        {"1st and 15th", [](int32_t d) { return Semi("Twice - 1st, 15th", 0, d); }, true},
        {"15th and last, offset 4", [](int32_t d) { return Semi("Twice - 15th, Last", 4, d); }, true},
        {"1st and 15th, offset -3", [](int32_t d) { return Semi("Twice - 1st, 15th", -3, d); }, true},
        {"15th and last, offset -2", [](int32_t d) { return Semi("Twice - 15th, Last", -2, d); }, true},
    };
    return kinds;
}

TEST(MonthStepsTest, JumpsEndWhereStepsEnd) {
    test::ScopedServices services;
    std::vector<int32_t> starts;
    for (int year : {1801, 1900, 2023, 2024})
        for (int month : {1, 2, 4, 12})
            for (int day : {1, 14, 15, 16, 28, 29, 30, 31}) starts.push_back(DateInMonth(month, day, year));
    // The longest searches back start at the calendar's end.
    for (int day : {15, 31})
        starts.push_back(D(9999, 12, day));
    std::vector<int32_t> near = {D(2024, 2, 29), D(2024, 3, 31), D(2031, 5, 15), D(1850, 8, 1)};
    int compared = 0;
    for (const Kind& kind : Kinds()) {
        for (int32_t start : starts) {
            std::vector<int32_t> bounds = near;
            bounds.push_back(start);
            bounds.push_back(start + 17);
            if (DateYear(start) == 9999) bounds = {start, D(1801, 1, 20)};
            // The longest searches from a few starts: each walk of them takes
            // milliseconds.
            if (start == D(1801, 1, 1) || start == D(1801, 1, 15) || start == D(1801, 1, 31))
                bounds.insert(bounds.end(), {D(9999, 11, 30), D(9999, 12, 31)});
            for (int32_t bound : bounds) {
                for (int32_t time : {T(8, 59), T(9, 0), T(9, 2)}) {
                    for (bool back : {false, true}) {
                        if (back && !kind.back) continue;
                        Schedule want = kind.make(start);
                        Schedule got = want;
                        const OccurrenceResult w = Walk(want, bound, time, back);
                        const OccurrenceResult g = back ? StepBackToPreviousOccurrence(got, bound, time)
                                                        : NextScheduleDate(got, bound, time);
                        ASSERT_EQ(g, w) << kind.name << " from " << DateToYYYYMMDD(start) << " to "
                                        << DateToYYYYMMDD(bound) << (back ? " back" : "");
                        ASSERT_EQ(got.Date, want.Date) << kind.name << " from " << DateToYYYYMMDD(start) << " to "
                                                       << DateToYYYYMMDD(bound) << (back ? " back" : "")
                                                       << ": got " << DateToYYYYMMDD(got.Date) << ", want "
                                                       << DateToYYYYMMDD(want.Date);
                        ASSERT_EQ(got.Time, want.Time);
                        ASSERT_EQ(got.Completed, want.Completed);
                        ++compared;
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 5000);
}

}  // namespace
}  // namespace kr
