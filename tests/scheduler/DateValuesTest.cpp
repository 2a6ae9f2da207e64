#include <gtest/gtest.h>

#include "scheduler/DateValues.h"
#include "SchedulerTestSupport.h"

namespace kr {
namespace {

using test::D;
using test::T;

TEST(DateValues, WeekdayAnchorsOfTheTables) {
    // The calendar facts the other tables lean on.
    EXPECT_EQ(MakeDate(1, 1, 1801), 4);
    EXPECT_EQ(Weekday(MakeDate(1, 1, 1801)), 4);  // a Thursday
    EXPECT_EQ(Weekday(D(2024, 1, 1)), 1);         // Monday
    EXPECT_EQ(Weekday(D(2024, 7, 1)), 1);         // Monday
    EXPECT_EQ(Weekday(D(2024, 5, 31)), 5);        // Friday
    EXPECT_EQ(Weekday(D(2024, 6, 1)), 6);         // Saturday
    EXPECT_EQ(Weekday(D(2025, 3, 1)), 6);         // Saturday
}

TEST(DateValues, NormalizeFoldsTimeIntoDate) {
    struct Case {
        int32_t date, time, wantDate, wantTime;
    } cases[] = {
        {10, 8640001, 11, 1},
        {10, 0, 9, 8640000},
        {0, 0, 0, 0},
        {10, 8640000, 10, 8640000},
        {10, 3 * 8640000 + 5, 13, 5},
        {10, -8640000, 8, 8640000},
        {10, 1, 10, 1},
        {2, -5 * 8640000, 0, -3 * 8640000},  // carrying stops at date 0
        {0, 8640001, 1, 1},
    };
    for (const Case& c : cases) {
        int32_t d = c.date, t = c.time;
        NormalizeDateTime(d, t);
        EXPECT_EQ(d, c.wantDate) << c.date << "," << c.time;
        EXPECT_EQ(t, c.wantTime) << c.date << "," << c.time;
    }
}

TEST(DateValues, CompareNormalisesCopiesOnly) {
    EXPECT_EQ(CompareDateTime(5, 8640100, 6, 100), 0);
    EXPECT_EQ(CompareDateTime(5, 100, 5, 101), -1);
    EXPECT_EQ(CompareDateTime(6, 1, 5, 8640000), 1);
    EXPECT_EQ(CompareDateTime(6, 0, 5, 8640000), 0);
    int32_t d = 5, t = 8640100;
    CompareDateTime(d, t, 1, 1);
    EXPECT_EQ(d, 5);
    EXPECT_EQ(t, 8640100);
}

TEST(DateValues, EasterSundays) {
    struct Case {
        int year, month, day;
    } cases[] = {{1818, 3, 22}, {2285, 3, 22}, {1954, 4, 18}, {2000, 4, 23}, {2024, 3, 31},
                 {2025, 4, 20}, {2038, 4, 25}, {1943, 4, 25}, {2019, 4, 21}, {1801, 4, 5}};
    for (const Case& c : cases) {
        EXPECT_EQ(EasterDate(c.year), D(c.year, c.month, c.day)) << c.year;
        EXPECT_EQ(Weekday(EasterDate(c.year)), 0) << c.year;
    }
    EXPECT_EQ(EasterDate(1700), 0);
}

TEST(DateValues, EightDigitText) {
    EXPECT_EQ(DateToYYYYMMDD(D(2024, 1, 5)), "20240105");
    EXPECT_EQ(DateToYYYYMMDD(D(2024, 3, 31)), "20240331");
    EXPECT_EQ(DateToYYYYMMDD(D(1801, 12, 9)), "18011209");
}

TEST(DateValues, MomentsRoundTrip) {
    for (int32_t t : {1, 2, 8639999, 8640000}) {
        int32_t d, tt;
        SplitMoment(MomentOf(100, t), d, tt);
        EXPECT_EQ(d, 100);
        EXPECT_EQ(tt, t);
    }
}

}  // namespace
}  // namespace kr
