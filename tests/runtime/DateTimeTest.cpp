#include <gtest/gtest.h>

#include "platform/runtime/DateTime.h"

using namespace kr;

TEST(DateTime, EpochAndKnownDays) {
    // Day 4 is 1 January 1801, a Thursday.
    EXPECT_EQ(MakeDate(1, 1, 1801), 4);
    EXPECT_EQ(Weekday(4), 4);
    EXPECT_EQ(MakeDate(1, 1, 2000), 72687);
    EXPECT_EQ(Weekday(72687), 6);  // 1 January 2000 was a Saturday
    EXPECT_EQ(DateDay(72687), 1);
    EXPECT_EQ(DateMonth(72687), 1);
    EXPECT_EQ(DateYear(72687), 2000);
    // 8 December 2026 is a Tuesday.
    EXPECT_EQ(Weekday(MakeDate(12, 8, 2026)), 2);
}

TEST(DateTime, MonthAndDayRollOver) {
    EXPECT_EQ(MakeDate(13, 1, 2000), MakeDate(1, 1, 2001));
    EXPECT_EQ(MakeDate(14, 29, 2023), MakeDate(2, 29, 2024));
    EXPECT_EQ(MakeDate(0, 1, 2001), MakeDate(12, 1, 2000));
    EXPECT_EQ(MakeDate(3, 0, 2024), MakeDate(2, 29, 2024));  // day 0: last of the month before
    EXPECT_EQ(MakeDate(2, 30, 2023), MakeDate(3, 2, 2023));
    EXPECT_EQ(MakeDate(25, 1, 2000), MakeDate(1, 1, 2002));
}

TEST(DateTime, OutOfRangeYearsGiveNoDate) {
    EXPECT_EQ(MakeDate(12, 31, 1800), 3);  // the day before the first of 1801 still counts
    EXPECT_EQ(MakeDate(1, 1, 1700), 0);
    EXPECT_EQ(MakeDate(1, 1, 10000), 0);
    EXPECT_EQ(DateYear(0), 0);
    EXPECT_EQ(DateMonth(-5), 0);
}

TEST(DateTime, LeapYearsAndMonthLengths) {
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(2024));
    EXPECT_EQ(DaysInMonth(2, 2024), 29);
    EXPECT_EQ(DaysInMonth(2, 2100), 28);
    EXPECT_EQ(MakeDate(3, 1, 2024) - MakeDate(2, 1, 2024), 29);
}

TEST(DateTime, TimesAreHundredthsPlusOne) {
    EXPECT_EQ(MakeTime(0, 0), 1);
    EXPECT_EQ(MakeTime(23, 59, 59, 99), 8640000);
    int32_t t = MakeTime(13, 45, 12, 34);
    EXPECT_EQ(TimeHours(t), 13);
    EXPECT_EQ(TimeMinutes(t), 45);
    EXPECT_EQ(TimeSeconds(t), 12);
    EXPECT_EQ(TimeHundredths(t), 34);
}

TEST(DateTime, ManualClockCarriesDays) {
    ManualClock c(100, MakeTime(23, 59));
    c.Advance(kTicksPerMinute);
    EXPECT_EQ(c.Today(), 101);
    EXPECT_EQ(c.ClockTime(), 1);
    c.Advance(-1);
    EXPECT_EQ(c.Today(), 100);
    EXPECT_EQ(c.ClockTime(), kTicksPerDay);
    c.Advance(3LL * kTicksPerDay);
    EXPECT_EQ(c.Today(), 103);
    InstallClock(&c);
    EXPECT_EQ(Today(), 103);
    InstallClock(nullptr);
    EXPECT_NE(Today(), 103);
}
