#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "scheduler/NextOccurrence.h"
#include "SchedulerTestSupport.h"

namespace kr {
namespace {

using test::Custom;
using test::D;
using test::T;
using test::Task;
using test::Weekdays;
using Millis = std::chrono::duration<double, std::milli>;

struct NextCase {
    std::string name;
    Schedule task;
    int32_t givenDate, givenTime;  // 0, 0: the task's own moment plus one hundredth
    int32_t wantDate, wantTime;
};

Schedule Semi(const std::string& repeat, int offset, int32_t date) {
    Schedule s = Task("Monthly", date, T(9, 0));
    s.MonthRepeat = repeat;
    s.Offset = offset;
    return s;
}

Schedule DayOfMonth(const std::string& weeks, const std::string& days, int32_t date) {
    Schedule s = Task("Day of Month", date, T(9, 0));
    Weekdays(s, days);
    s.Every1st = weeks.find('1') != std::string::npos;
    s.Every2nd = weeks.find('2') != std::string::npos;
    s.Every3rd = weeks.find('3') != std::string::npos;
    s.Every4th = weeks.find('4') != std::string::npos;
    s.EveryLast = weeks.find('L') != std::string::npos;
    return s;
}

Schedule DayOfWeek(const std::string& days, int32_t date, int32_t time) {
    Schedule s = Task("Day of Week", date, time);
    Weekdays(s, days);
    return s;
}

Schedule MonthEnd(int32_t date) {
    Schedule s = Task("Day of Month", date, T(9, 0));
    s.LastDayofMonth = 1;
    s.Monday = 1;  // plays no part
    s.Every1st = 1;
    return s;
}

void RunCases(const std::vector<NextCase>& cases) {
    test::ScopedServices services;
    for (NextCase c : cases) {
        Schedule s = c.task;
        int32_t gd = c.givenDate, gt = c.givenTime;
        if (gd == 0) {
            gd = s.Date;
            gt = s.Time + 1;
        }
        EXPECT_EQ(NextScheduleDate(s, gd, gt), OccurrenceResult::Found) << c.name;
        EXPECT_EQ(s.Date, c.wantDate) << c.name << ": got " << DateYear(s.Date) << "-" << DateMonth(s.Date) << "-"
                                      << DateDay(s.Date);
        EXPECT_EQ(s.Time, c.wantTime) << c.name << ": got " << TimeHours(s.Time) << ":" << TimeMinutes(s.Time);
    }
    EXPECT_TRUE(services.responder.shown().empty());
}

TEST(NextScheduleDate, DayOfWeek) {
    // 1 July 2024 is a Monday.
    RunCases({
        {"due now is never returned unchanged", DayOfWeek("-x-----", D(2024, 7, 1), T(9, 0)), 0, 0, D(2024, 7, 8),
         T(9, 0)},
        {"next allowed weekday", DayOfWeek("-x-x-x-", D(2024, 7, 1), T(9, 0)), 0, 0, D(2024, 7, 3), T(9, 0)},
        {"Friday to Monday over the weekend", DayOfWeek("-x-x-x-", D(2024, 7, 5), T(9, 0)), 0, 0, D(2024, 7, 8),
         T(9, 0)},
        {"exactly a minute ahead is not enough", DayOfWeek("-x-----", D(2024, 7, 1), T(9, 0)), D(2024, 7, 1),
         T(8, 59), D(2024, 7, 8), T(9, 0)},
        {"more than a minute ahead stays", DayOfWeek("-x-----", D(2024, 7, 1), T(9, 0)), D(2024, 7, 1),
         T(8, 59) - 1, D(2024, 7, 1), T(9, 0)},
        {"no weekday allowed steps one day", DayOfWeek("-------", D(2024, 7, 1), T(9, 0)), 0, 0, D(2024, 7, 2),
         T(9, 0)},
        {"months behind catches up", DayOfWeek("-x-----", D(2024, 1, 1), T(9, 0)), D(2024, 7, 1), T(10, 0),
         D(2024, 7, 8), T(9, 0)},
        {"later the same day", DayOfWeek("-x-----", D(2024, 1, 1), T(9, 0)), D(2024, 7, 1), T(7, 0), D(2024, 7, 1),
         T(9, 0)},
        {"Sunday only across a month end", DayOfWeek("x------", D(2024, 6, 30), T(9, 0)), 0, 0, D(2024, 7, 7),
         T(9, 0)},
    });
}

TEST(NextScheduleDate, CustomMinutesAndHours) {
    RunCases({
        {"90 minutes past midnight", Custom(90, "minute(s)", D(2024, 7, 1), T(23, 0)), 0, 0, D(2024, 7, 2),
         T(0, 30)},
        {"1500 minutes is a day and an hour", Custom(1500, "minute(s)", D(2024, 7, 1), T(10, 0)), 0, 0,
         D(2024, 7, 2), T(11, 0)},
        {"minutes compare with the time itself", Custom(90, "minute(s)", D(2024, 7, 1), T(0, 0)), D(2024, 7, 1),
         T(10, 29), D(2024, 7, 1), T(10, 30)},
        {"an occurrence at the given time is passed", Custom(90, "minute(s)", D(2024, 7, 1), T(0, 0)),
         D(2024, 7, 1), T(10, 30), D(2024, 7, 1), T(12, 0)},
        {"at least one step even when ahead", Custom(15, "minute(s)", D(2024, 7, 3), T(9, 0)), D(2024, 7, 1),
         T(9, 0), D(2024, 7, 3), T(9, 15)},
        {"one minute from weeks back", Custom(1, "minute(s)", D(2024, 5, 1), T(0, 0)), D(2024, 7, 1), T(8, 0),
         D(2024, 7, 1), T(8, 1)},
        {"two hours past midnight", Custom(2, "hour(s)", D(2024, 7, 1), T(23, 0)), 0, 0, D(2024, 7, 2), T(1, 0)},
        {"30 hours is a day and six hours", Custom(30, "Hours", D(2024, 7, 1), T(10, 0)), 0, 0, D(2024, 7, 2),
         T(16, 0)},
        {"a 256-day step in minutes", Custom(368640, "minute(s)", D(2024, 7, 1), T(10, 0)), 0, 0,
         D(2024, 7, 1) + 256, T(10, 0)},
        {"a 300-day step in hours", Custom(7200, "hour(s)", D(2024, 7, 1), T(10, 0)), 0, 0, D(2024, 7, 1) + 300,
         T(10, 0)},
    });
}

TEST(NextScheduleDate, CustomDaysWeeksMonthsYears) {
    RunCases({
        {"every 3 days", Custom(3, "day(s)", D(2024, 7, 1), T(9, 0)), 0, 0, D(2024, 7, 4), T(9, 0)},
        {"every 3 days, due later the given day", Custom(3, "day(s)", D(2024, 7, 1), T(9, 0)), D(2024, 7, 10),
         T(8, 0), D(2024, 7, 10), T(9, 0)},
        {"every 3 days, due within the minute", Custom(3, "day(s)", D(2024, 7, 1), T(9, 0)), D(2024, 7, 10),
         T(8, 59, 30), D(2024, 7, 13), T(9, 0)},
        {"every 2 weeks", Custom(2, "week(s)", D(2024, 7, 1), T(9, 0)), 0, 0, D(2024, 7, 15), T(9, 0)},
        {"every 18 months from March", Custom(18, "month(s)", D(2024, 3, 15), T(9, 0)), 0, 0, D(2025, 9, 15),
         T(9, 0)},
        {"month passing December", Custom(1, "month(s)", D(2024, 12, 15), T(9, 0)), 0, 0, D(2025, 1, 15), T(9, 0)},
        {"31 January to leap February", Custom(1, "month(s)", D(2024, 1, 31), T(9, 0)), 0, 0, D(2024, 2, 29),
         T(9, 0)},
        {"31 January to common February", Custom(1, "month(s)", D(2023, 1, 31), T(9, 0)), 0, 0, D(2023, 2, 28),
         T(9, 0)},
        {"29 February plus a year", Custom(1, "year(s)", D(2024, 2, 29), T(9, 0)), 0, 0, D(2025, 2, 28), T(9, 0)},
        {"29 February plus four years", Custom(4, "year(s)", D(2024, 2, 29), T(9, 0)), 0, 0, D(2028, 2, 29),
         T(9, 0)},
        {"Every below 1 counts as 1", Custom(0, "day(s)", D(2024, 7, 1), T(9, 0)), 0, 0, D(2024, 7, 2), T(9, 0)},
    });
}

TEST(NextScheduleDate, MonthlyAndYearly) {
    RunCases({
        {"December to January", Task("Monthly", D(2024, 12, 15), T(9, 0)), 0, 0, D(2025, 1, 15), T(9, 0)},
        {"31 January to 29 February", Task("Monthly", D(2024, 1, 31), T(9, 0)), 0, 0, D(2024, 2, 29), T(9, 0)},
        {"31 March to 30 April", Task("Monthly", D(2024, 3, 31), T(9, 0)), 0, 0, D(2024, 4, 30), T(9, 0)},
        {"months behind", Task("Monthly", D(2024, 1, 10), T(9, 0)), D(2024, 5, 20), T(0, 0), D(2024, 6, 10),
         T(9, 0)},
        {"repeat Once is plain monthly", [] {
             Schedule s = Task("Monthly", D(2024, 1, 10), T(9, 0));
             s.MonthRepeat = "Once";
             return s;
         }(), 0, 0, D(2024, 2, 10), T(9, 0)},
        {"yearly", Task("Yearly", D(2024, 1, 1), T(9, 0)), 0, 0, D(2025, 1, 1), T(9, 0)},
        {"yearly from 29 February", Task("Yearly", D(2024, 2, 29), T(9, 0)), 0, 0, D(2025, 2, 28), T(9, 0)},
    });
}

TEST(NextScheduleDate, SemiMonthly) {
    RunCases({
        {"15th to leap last day", Semi("Twice - 15th, Last", 0, D(2024, 2, 15)), 0, 0, D(2024, 2, 29), T(9, 0)},
        {"15th to common last day", Semi("Twice - 15th, Last", 0, D(2023, 2, 15)), 0, 0, D(2023, 2, 28), T(9, 0)},
        {"last day to 15th", Semi("Twice - 15th, Last", 0, D(2024, 2, 29)), 0, 0, D(2024, 3, 15), T(9, 0)},
        {"1st to 15th", Semi("Twice - 1st, 15th", 0, D(2024, 3, 1)), 0, 0, D(2024, 3, 15), T(9, 0)},
        {"15th to 1st", Semi("Twice - 1st, 15th", 0, D(2024, 3, 15)), 0, 0, D(2024, 4, 1), T(9, 0)},
        {"15th of December to 1 January", Semi("Twice - 1st, 15th", 0, D(2024, 12, 15)), 0, 0, D(2025, 1, 1),
         T(9, 0)},
        {"offset 3: 4th to 18th", Semi("Twice - 1st, 15th", 3, D(2024, 3, 4)), 0, 0, D(2024, 3, 18), T(9, 0)},
        {"offset 3: 18th to 4th", Semi("Twice - 1st, 15th", 3, D(2024, 3, 18)), 0, 0, D(2024, 4, 4), T(9, 0)},
        {"offset -1: 14th to last but one", Semi("Twice - 15th, Last", -1, D(2024, 4, 14)), 0, 0, D(2024, 4, 29),
         T(9, 0)},
        {"offset -1: last but one to 14th", Semi("Twice - 15th, Last", -1, D(2024, 4, 29)), 0, 0, D(2024, 5, 14),
         T(9, 0)},
        {"offset -2: 13th to 30 March", Semi("Twice - 1st, 15th", -2, D(2024, 3, 13)), 0, 0, D(2024, 3, 30),
         T(9, 0)},
        {"offset -2: 30 March to 13 April", Semi("Twice - 1st, 15th", -2, D(2024, 3, 30)), 0, 0, D(2024, 4, 13),
         T(9, 0)},
        {"a day off the pattern joins it", Semi("Twice - 1st, 15th", 0, D(2024, 3, 20)), 0, 0, D(2024, 4, 15),
         T(9, 0)},
        {"repeat read without regard to case", Semi("twice - 15th, last", 0, D(2024, 2, 15)), 0, 0, D(2024, 2, 29),
         T(9, 0)},
    });
}

TEST(NextScheduleDate, DayOfMonth) {
    // July 2024 begins on a Monday, May 2024 ends on a Friday, September 2024
    // begins on a Sunday.
    RunCases({
        {"second Monday from the 1st", DayOfMonth("2", "-x-----", D(2024, 7, 1)), 0, 0, D(2024, 7, 8), T(9, 0)},
        {"first Monday that is the 1st", DayOfMonth("1", "-x-----", D(2024, 6, 30)), 0, 0, D(2024, 7, 1), T(9, 0)},
        {"last Friday that is the last day", DayOfMonth("L", "-----x-", D(2024, 5, 20)), 0, 0, D(2024, 5, 31),
         T(9, 0)},
        {"fourth Sunday", DayOfMonth("4", "x------", D(2024, 9, 1)), 0, 0, D(2024, 9, 22), T(9, 0)},
        {"first and third Monday", DayOfMonth("13", "-x-----", D(2024, 7, 1)), 0, 0, D(2024, 7, 15), T(9, 0)},
        {"no week flag: every allowed weekday", DayOfMonth("", "---x---", D(2024, 7, 1)), 0, 0, D(2024, 7, 3),
         T(9, 0)},
        {"passes days up to the given date", DayOfMonth("2", "-x-----", D(2024, 1, 8)), D(2024, 7, 9), T(0, 0),
         D(2024, 8, 12), T(9, 0)},
        {"month end from 31 January", MonthEnd(D(2024, 1, 31)), 0, 0, D(2024, 2, 29), T(9, 0)},
        {"month end from 31 January 2023", MonthEnd(D(2023, 1, 31)), 0, 0, D(2023, 2, 28), T(9, 0)},
        {"month end asked on 10 March", MonthEnd(D(2024, 2, 29)), D(2024, 3, 10), T(12, 0), D(2024, 3, 31), T(9, 0)},
        {"month end on 31 December", MonthEnd(D(2024, 12, 31)), 0, 0, D(2025, 1, 31), T(9, 0)},
    });
}

TEST(NextScheduleDate, OnceIsCompletedInPlace) {
    Schedule s = Task("Once", D(2024, 7, 1), T(9, 0));
    EXPECT_EQ(NextScheduleDate(s, D(2024, 7, 1), T(10, 0)), OccurrenceResult::Completed);
    EXPECT_EQ(s.Completed, 1);
    EXPECT_EQ(s.Date, D(2024, 7, 1));
    EXPECT_EQ(s.Time, T(9, 0));
}

TEST(NextScheduleDate, InvalidUnitsWarnsAndPushesPastTheGivenDate) {
    test::ScopedServices services;
    Schedule s = Custom(5, "seconds", D(2024, 7, 1), T(9, 0));
    EXPECT_EQ(NextScheduleDate(s, D(2024, 7, 3), T(10, 0)), OccurrenceResult::InvalidUnits);
    EXPECT_EQ(s.Date, D(2024, 7, 4));
    EXPECT_EQ(s.Time, T(9, 0));
    ASSERT_EQ(services.responder.shown().size(), 1u);
    EXPECT_EQ(services.responder.shown()[0].request.title, "Invalid Units");
    EXPECT_EQ(services.responder.shown()[0].request.text, "Custom repetition is not set up properly.  Select units.");
    // A date already past the given one stays.
    Schedule ahead = Custom(5, "", D(2024, 8, 1), T(9, 0));
    NextScheduleDate(ahead, D(2024, 7, 3), T(10, 0));
    EXPECT_EQ(ahead.Date, D(2024, 8, 1));
}

TEST(NextScheduleDate, EndOfTheCalendarIsAClearResult) {
    Schedule s = Task("Yearly", D(9999, 6, 1), T(9, 0));
    EXPECT_EQ(NextScheduleDate(s, D(9999, 6, 1), T(10, 0)), OccurrenceResult::NoOccurrence);
    EXPECT_EQ(s.Date, D(9999, 6, 1));
    EXPECT_EQ(s.Completed, 1);
    Schedule m = Custom(100, "minute(s)", D(9999, 12, 31), T(23, 0));
    EXPECT_EQ(NextScheduleDate(m, D(9999, 12, 31), T(23, 0)), OccurrenceResult::NoOccurrence);
    EXPECT_EQ(m.Time, T(23, 0));
}

TEST(NextScheduleDate, TwiceMonthlySearchAtTheCalendarsEndAnswersAtOnce) {
    struct Case {
        std::string name;
        int32_t offset, date, time;
        OccurrenceResult result;
        int32_t wantDate;
    };
    const int32_t start = D(1801, 1, 1);
    const std::vector<Case> cases = {
        {"from the last evening", 0, D(9999, 12, 31), T(23, 0), OccurrenceResult::NoOccurrence, start},
        {"from a month before", 0, D(9999, 11, 30), T(23, 0), OccurrenceResult::Found, D(9999, 12, 1)},
        // The pattern's date behind the bound lies past the calendar's end.
        {"offset back from the end", -5, D(9999, 12, 27), T(23, 0), OccurrenceResult::NoOccurrence, start},
    };
    for (const Case& c : cases) {
        double best = 1e9;
        for (int run = 0; run < 5; ++run) {
            Schedule s = Semi("Twice - 1st, 15th", c.offset, start);
            const auto t0 = std::chrono::steady_clock::now();
            const OccurrenceResult r = NextScheduleDate(s, c.date, c.time);
            best = std::min(best, Millis(std::chrono::steady_clock::now() - t0).count());
            EXPECT_EQ(r, c.result) << c.name;
            EXPECT_EQ(s.Date, c.wantDate) << c.name;
            EXPECT_EQ(s.Completed != 0, c.result == OccurrenceResult::NoOccurrence) << c.name;
        }
        EXPECT_LT(best, 1.0) << c.name << ": " << best << " ms";
    }
}

TEST(NextScheduleDate, TwiceMonthlyTasksKeepTheirLastRunsOfDecember9999) {
    // "15th, Last" due on the 15th: its last day follows.
    Schedule last = Semi("Twice - 15th, Last", 0, D(9999, 12, 15));
    EXPECT_EQ(NextScheduleDate(last, D(9999, 12, 15), T(10, 0)), OccurrenceResult::Found);
    EXPECT_EQ(last.Date, D(9999, 12, 31));
    EXPECT_EQ(last.Completed, 0);

    // With an offset back, the pattern's dates of January 10000 (the 1st,
    // the 15th, the 31st) bring runs into December 9999: every run the
    // offset brings back is found, each fits the schedule, and the search
    // ends after the last one.
    const int32_t end = D(9999, 12, 31);
    for (const char* repeat : {"Twice - 1st, 15th", "Twice - 15th, Last"}) {
        const bool hasLast = std::string(repeat).find("Last") != std::string::npos;
        // The pattern's dates from 1 December 9999 on, as days after the calendar's end.
        const std::vector<int> pattern =
            hasLast ? std::vector<int>{-16, 0, 15, 31} : std::vector<int>{-30, -16, 1, 15, 32};
        for (int offset = -1; offset >= -30; --offset) {
            std::vector<int32_t> want;
            for (int p : pattern)
                if (end + p + offset <= end && end + p + offset >= D(9999, 11, 30))
                    want.push_back(end + p + offset);
            Schedule s = Semi(repeat, offset, want.front());
            std::vector<int32_t> got = {s.Date};
            while (NextScheduleDate(s, s.Date, T(10, 0)) == OccurrenceResult::Found) {
                got.push_back(s.Date);
                if (got.size() > want.size()) break;
            }
            EXPECT_EQ(got, want) << repeat << ", offset " << offset;
            EXPECT_EQ(s.Completed, 1) << repeat << ", offset " << offset;
            for (int32_t d : want) EXPECT_TRUE(DateFitsSchedule(s, d)) << repeat << ", offset " << offset;
        }
    }
}

TEST(NextScheduleDate, MonthStepsOnTheLastDaysOfAMonthSkipAhead) {
    // Steps that reach only some months (2, 3, 4, 6, 9, 10) from a 29th to
    // 31st cross the calendar as fast as any other task.
    for (int every : {2, 3, 4, 6, 9, 10}) {
        for (int day : {29, 30, 31}) {
            double best = 1e9;
            Schedule s;
            for (int run = 0; run < 5; ++run) {
                s = Custom(every, "month(s)", DateInMonth(1, day, 1801), T(9, 0));
                const auto t0 = std::chrono::steady_clock::now();
                EXPECT_EQ(NextScheduleDate(s, D(9999, 1, 1), T(9, 0)), OccurrenceResult::Found);
                best = std::min(best, Millis(std::chrono::steady_clock::now() - t0).count());
            }
            EXPECT_LT(best, 0.5) << "every " << every << " months from the " << day << "th: " << best
                                 << " ms";
            EXPECT_EQ(DateYear(s.Date), 9999) << every << " " << day;
        }
    }
    // The day is cut where a step one at a time cuts it: 31 January every 4
    // months is 30 September from the first September on, and 31 January
    // every 6 months keeps the 31st.
    Schedule four = Custom(4, "month(s)", D(2001, 1, 31), T(9, 0));
    EXPECT_EQ(NextScheduleDate(four, D(2101, 3, 1), T(9, 0)), OccurrenceResult::Found);
    EXPECT_EQ(four.Date, D(2101, 5, 30));
    Schedule six = Custom(6, "month(s)", D(2001, 1, 31), T(9, 0));
    EXPECT_EQ(NextScheduleDate(six, D(2101, 3, 1), T(9, 0)), OccurrenceResult::Found);
    EXPECT_EQ(six.Date, D(2101, 7, 31));
}

TEST(NextScheduleDate, TaskWithoutDateStartsAtTheGivenDate) {
    Schedule s = Task("Monthly", 0, T(9, 0));
    EXPECT_EQ(NextScheduleDate(s, D(2024, 7, 10), T(10, 0)), OccurrenceResult::Found);
    EXPECT_EQ(s.Date, D(2024, 8, 10));
}

TEST(DateFitsSchedule, ByScheduleType) {
    struct Case {
        std::string name;
        Schedule task;
        int32_t date;
        bool fits;
    };
    Schedule semiFirst = Semi("Twice - 1st, 15th", 0, 0);
    Schedule semiLast = Semi("Twice - 15th, Last", 0, 0);
    Schedule semiOffset = Semi("Twice - 1st, 15th", 3, 0);
    std::vector<Case> cases = {
        {"once", Task("Once", 0, 0), D(2024, 7, 3), true},
        {"monthly", Task("Monthly", 0, 0), D(2024, 7, 3), true},
        {"custom", Custom(2, "day(s)", 0, 0), D(2024, 7, 3), true},
        {"semi 1st", semiFirst, D(2024, 7, 1), true},
        {"semi 15th", semiFirst, D(2024, 7, 15), true},
        {"semi last without LAST", semiFirst, D(2024, 7, 31), false},
        {"semi other day", semiFirst, D(2024, 7, 16), false},
        {"semi-last 1st", semiLast, D(2024, 7, 1), false},
        {"semi-last leap last day", semiLast, D(2024, 2, 29), true},
        {"semi-last 28 Feb of leap year", semiLast, D(2024, 2, 28), false},
        {"semi offset 4th", semiOffset, D(2024, 7, 4), true},
        {"semi offset 18th", semiOffset, D(2024, 7, 18), true},
        {"semi offset 1st", semiOffset, D(2024, 7, 1), false},
        {"day of week allowed", DayOfWeek("-x-----", 0, 0), D(2024, 7, 1), true},
        {"day of week not allowed", DayOfWeek("-x-----", 0, 0), D(2024, 7, 2), false},
        {"second Monday", DayOfMonth("2", "-x-----", 0), D(2024, 7, 8), true},
        {"first Monday is not second", DayOfMonth("2", "-x-----", 0), D(2024, 7, 1), false},
        {"last Friday", DayOfMonth("L", "-----x-", 0), D(2024, 5, 31), true},
        {"Friday before the last seven days", DayOfMonth("L", "-----x-", 0), D(2024, 5, 24), false},
        {"no week flag", DayOfMonth("", "-x-----", 0), D(2024, 7, 1), false},
        {"month end", MonthEnd(0), D(2024, 2, 29), true},
        {"not month end", MonthEnd(0), D(2024, 2, 28), false},
    };
    for (const Case& c : cases) EXPECT_EQ(DateFitsSchedule(c.task, c.date), c.fits) << c.name;
    Schedule own = DayOfWeek("-x-----", D(2024, 7, 1), 0);
    EXPECT_TRUE(DateFitsSchedule(own, 0));
}

struct BackCase {
    std::string name;
    Schedule task;
    int32_t date, time;
    int32_t wantDate, wantTime;
};

TEST(StepBackToPreviousOccurrence, ByScheduleType) {
    test::ScopedServices services;
    std::vector<BackCase> cases = {
        {"one-minute task weeks ahead", Custom(1, "minute(s)", D(2024, 9, 1), T(0, 0)), D(2024, 7, 1), T(8, 0),
         D(2024, 7, 1), T(7, 58)},
        {"hours", Custom(5, "hour(s)", D(2024, 7, 10), T(10, 0)), D(2024, 7, 1), T(8, 0), D(2024, 7, 1), T(6, 0)},
        {"days", Custom(3, "day(s)", D(2024, 7, 30), T(9, 0)), D(2024, 7, 10), T(8, 0), D(2024, 7, 9), T(9, 0)},
        {"weeks", Custom(1, "week(s)", D(2024, 8, 26), T(9, 0)), D(2024, 7, 1), T(10, 0), D(2024, 7, 1), T(9, 0)},
        {"months over January", Custom(2, "month(s)", D(2024, 3, 10), T(9, 0)), D(2024, 1, 1), T(0, 0),
         D(2023, 11, 10), T(9, 0)},
        {"years", Custom(1, "year(s)", D(2030, 2, 28), T(9, 0)), D(2024, 7, 1), T(0, 0), D(2024, 2, 28), T(9, 0)},
        {"monthly January to December", Task("Monthly", D(2025, 1, 15), T(9, 0)), D(2025, 1, 1), T(0, 0),
         D(2024, 12, 15), T(9, 0)},
        {"yearly", Task("Yearly", D(2030, 5, 1), T(9, 0)), D(2024, 7, 1), T(0, 0), D(2024, 5, 1), T(9, 0)},
        {"day of week", DayOfWeek("-x-----", D(2024, 9, 30), T(9, 0)), D(2024, 7, 3), T(0, 0), D(2024, 7, 1),
         T(9, 0)},
        {"day of week, same day earlier", DayOfWeek("-x-----", D(2024, 9, 30), T(9, 0)), D(2024, 7, 1), T(10, 0),
         D(2024, 7, 1), T(9, 0)},
        {"day of month", DayOfMonth("2", "-x-----", D(2024, 12, 9)), D(2024, 7, 20), T(0, 0), D(2024, 7, 8),
         T(9, 0)},
        {"already before stays", Task("Monthly", D(2024, 1, 15), T(9, 0)), D(2024, 7, 1), T(0, 0), D(2024, 1, 15),
         T(9, 0)},
    };
    for (BackCase c : cases) {
        Schedule s = c.task;
        EXPECT_EQ(StepBackToPreviousOccurrence(s, c.date, c.time), OccurrenceResult::Found) << c.name;
        EXPECT_EQ(s.Date, c.wantDate) << c.name;
        EXPECT_EQ(s.Time, c.wantTime) << c.name;
    }
    EXPECT_TRUE(services.responder.shown().empty());
}

TEST(StepBackToPreviousOccurrence, OnceIsLeftAlone) {
    Schedule s = Task("Once", D(2024, 9, 1), T(9, 0));
    EXPECT_EQ(StepBackToPreviousOccurrence(s, D(2024, 7, 1), T(9, 0)), OccurrenceResult::NoOccurrence);
    EXPECT_EQ(s.Completed, 0);
    EXPECT_EQ(s.Date, D(2024, 9, 1));
}

TEST(StepBackToPreviousOccurrence, BelowTheCalendarIsAClearResult) {
    Schedule s = Task("Yearly", D(1802, 6, 1), T(9, 0));
    EXPECT_EQ(StepBackToPreviousOccurrence(s, D(1801, 1, 1), T(0, 0)), OccurrenceResult::NoOccurrence);
    EXPECT_EQ(s.Date, D(1802, 6, 1));
    // A twice-monthly task at the calendar's end, asked from its start.
    Schedule semi = Semi("Twice - 1st, 15th", 0, D(9999, 12, 15));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(StepBackToPreviousOccurrence(semi, D(1801, 1, 1), T(0, 0)), OccurrenceResult::NoOccurrence);
    EXPECT_LT(Millis(std::chrono::steady_clock::now() - t0).count(), 1.0);
    EXPECT_EQ(semi.Date, D(9999, 12, 15));
}

TEST(HasOccurrenceAt, ForwardAndBack) {
    Schedule daily = Custom(1, "day(s)", D(2024, 7, 6), T(9, 0));
    EXPECT_TRUE(HasOccurrenceAt(daily, D(2024, 7, 8), T(9, 0)));
    EXPECT_TRUE(HasOccurrenceAt(daily, D(2024, 7, 5), T(9, 0)));
    EXPECT_FALSE(HasOccurrenceAt(daily, D(2024, 7, 8), T(9, 30)));
    Schedule weekly = Custom(1, "week(s)", D(2024, 7, 6), T(9, 0));
    EXPECT_FALSE(HasOccurrenceAt(weekly, D(2024, 7, 8), T(9, 0)));
    EXPECT_TRUE(HasOccurrenceAt(weekly, D(2024, 6, 29), T(9, 0)));
    Schedule hourly = Custom(12, "hour(s)", D(2024, 7, 6), T(8, 0));
    EXPECT_TRUE(HasOccurrenceAt(hourly, D(2024, 7, 8), T(20, 0)));
    EXPECT_FALSE(HasOccurrenceAt(hourly, D(2024, 7, 8), T(21, 0)));
    Schedule secondMonday = DayOfMonth("2", "-x-----", D(2024, 7, 8));
    EXPECT_TRUE(HasOccurrenceAt(secondMonday, D(2024, 8, 12), T(9, 0)));
    EXPECT_FALSE(HasOccurrenceAt(secondMonday, D(2024, 8, 5), T(9, 0)));
    EXPECT_FALSE(HasOccurrenceAt(Task("Once", D(2024, 7, 8), T(9, 0)), D(2024, 7, 8), T(9, 0)));
}

TEST(HasOccurrenceAt, AnEarlierMomentCountsOnlyWhenTheStepsLeadBack) {
    // Runs on the 30th: the 28th of the month is no run of it, though a step
    // back to February cuts the day to the 28th.
    Schedule monthly = Task("Monthly", D(2025, 3, 30), T(9, 0));
    EXPECT_FALSE(HasOccurrenceAt(monthly, D(2025, 3, 28), T(9, 0)));
    EXPECT_FALSE(HasOccurrenceAt(monthly, D(2025, 2, 28), T(9, 0)));
    EXPECT_FALSE(HasOccurrenceAt(monthly, D(2025, 1, 30), T(9, 0))); // February cuts it to the 28th
    EXPECT_TRUE(HasOccurrenceAt(monthly, D(2026, 1, 30), T(9, 0)));
    EXPECT_TRUE(HasOccurrenceAt(monthly, D(2026, 2, 28), T(9, 0)));
    EXPECT_FALSE(HasOccurrenceAt(monthly, D(2026, 3, 30), T(9, 0))); // the 28th from February on
    Schedule yearly = Task("Yearly", D(2024, 2, 29), T(9, 0));
    EXPECT_FALSE(HasOccurrenceAt(yearly, D(2024, 2, 28), T(9, 0)));
    EXPECT_FALSE(HasOccurrenceAt(yearly, D(2023, 2, 28), T(9, 0))); // leads to 28 February 2024
    Schedule mid = Task("Monthly", D(2025, 3, 15), T(9, 0));
    EXPECT_TRUE(HasOccurrenceAt(mid, D(2025, 2, 15), T(9, 0)));
    Schedule semi = Semi("Twice - 1st, 15th", 0, D(2024, 7, 15));
    EXPECT_TRUE(HasOccurrenceAt(semi, D(2024, 7, 1), T(9, 0)));
    EXPECT_FALSE(HasOccurrenceAt(semi, D(2024, 7, 2), T(9, 0)));
    Schedule minutes = Custom(90, "minute(s)", D(2024, 7, 6), T(9, 0));
    EXPECT_TRUE(HasOccurrenceAt(minutes, D(2024, 7, 5), T(22, 30)));
    EXPECT_FALSE(HasOccurrenceAt(minutes, D(2024, 7, 5), T(22, 0)));
}

}  // namespace
}  // namespace kr
