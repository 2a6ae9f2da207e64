#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/ErrorCodes.h"
#include "scheduler/DateValues.h"
#include "scheduler/NextOccurrence.h"
#include "scheduler/Reschedule.h"
#include "SchedulerTestSupport.h"

namespace kr {
namespace {

using test::Custom;
using test::D;
using test::T;
using test::Task;

// 6 July 2024 is a Saturday, 8 July a Monday: day 81640 is 81636 days after
// 1 January 1801 (day 4), and 81640 mod 7 = 6.
constexpr int32_t kFri = 81639;
constexpr int32_t kSat = 81640;
constexpr int32_t kSun = 81641;
constexpr int32_t kMon = 81642;
constexpr int32_t kTue = 81643;

TEST(RescheduleTask, DayNumbersOfTheWeek) {
    EXPECT_EQ(kSat, D(2024, 7, 6));
    EXPECT_EQ(Weekday(kSat), 6);
    EXPECT_EQ(Weekday(kMon), 1);
}

Schedule Stored(MemoryScheduleStore& store, Schedule s) {
    AddScheduleCopy(store, s);
    return s;
}

Schedule WithRange(Schedule s, int32_t begin, int32_t end) {
    s.ExceptTime = 1;
    s.ExceptTimeBegin = begin;
    s.ExceptTimeEnd = end;
    return s;
}

TEST(RescheduleTask, TimeRange) {
    struct Case {
        std::string name;
        Schedule task;
        int32_t wantDate, wantTime;
        int result;
    };
    const int32_t d = D(2024, 7, 2);
    std::vector<Case> cases = {
        {"wrapping range pushes to its end", WithRange(Custom(1, "hour(s)", d, T(23, 0)), T(22, 0), T(6, 0)), d + 1,
         T(6, 0), 1},
        {"wrapping range begin is allowed", WithRange(Custom(1, "hour(s)", d, T(22, 0)), T(22, 0), T(6, 0)), d,
         T(22, 0), 0},
        {"wrapping range end is allowed", WithRange(Custom(1, "hour(s)", d, T(6, 0)), T(22, 0), T(6, 0)), d, T(6, 0),
         0},
        {"normal range begin is excluded", WithRange(Custom(1, "hour(s)", d, T(12, 0)), T(12, 0), T(13, 0)), d,
         T(14, 0), 1},
        {"normal range end is excluded", WithRange(Custom(1, "hour(s)", d, T(13, 0)), T(12, 0), T(13, 0)), d,
         T(14, 0), 1},
        {"outside the range", WithRange(Custom(1, "hour(s)", d, T(11, 0)), T(12, 0), T(13, 0)), d, T(11, 0), 0},
        {"100 steps fall back to the range end", WithRange(Custom(1, "hour(s)", d, T(10, 0)), T(0, 0), T(23, 59)), d,
         T(23, 59), 1},
        {"a daily task moves to the end the same day", WithRange(Custom(1, "day(s)", d, T(12, 30)), T(12, 0), T(13, 0)),
         d, T(13, 0), 1},
        {"a daily task after a wrapping begin moves to the next day",
         WithRange(Custom(1, "day(s)", d, T(23, 0)), T(22, 0), T(6, 0)), d + 1, T(6, 0), 1},
        {"every 5 minutes leaves the range", WithRange(Custom(5, "minute(s)", d, T(12, 5)), T(12, 0), T(12, 30)), d,
         T(12, 35), 1},
        {"an end of 0 is the end of the day", WithRange(Custom(1, "hour(s)", d, T(21, 0)), T(20, 0), 0), d + 1,
         T(0, 0), 1},
    };
    for (const Case& c : cases) {
        MemoryScheduleStore store;
        Schedule s = Stored(store, c.task);
        EXPECT_EQ(RescheduleTask(s, true, store, {}), c.result) << c.name;
        EXPECT_EQ(s.Date, c.wantDate) << c.name;
        EXPECT_EQ(s.Time, c.wantTime) << c.name;
        EXPECT_EQ(store.puts(), c.result) << c.name;
        if (c.result) {
            Schedule stored;
            store.Fetch(s.ID, stored);
            EXPECT_EQ(stored.Time, c.wantTime) << c.name;
        }
    }
    MemoryScheduleStore store;
    Schedule s = Stored(store, WithRange(Custom(1, "hour(s)", d, T(21, 0)), T(20, 0), 0));
    RescheduleTask(s, true, store, {});
    EXPECT_EQ(s.ExceptTimeEnd, kTicksPerDay);
}

TEST(RescheduleTask, InvalidUnitsInARangeWarnOnce) {
    test::ScopedServices services;
    MemoryScheduleStore store;
    Schedule s = Stored(store, WithRange(Custom(1, "fortnights", D(2024, 7, 2), T(12, 30)), T(12, 0), T(13, 0)));
    EXPECT_EQ(RescheduleTask(s, true, store, {}), 1);
    EXPECT_EQ(services.responder.shown().size(), 1u);
    EXPECT_EQ(s.Time, T(13, 0));
}

// Runs the tasks of the store as the timer cycle does, until `until`: the
// earliest pending task runs (unless marked to be skipped), then gets its next
// occurrence after its own moment and its exceptions. Gives the moments run.
std::vector<std::pair<int32_t, int32_t>> RunAsTimer(MemoryScheduleStore& store, const HolidayTest& holidays,
                                                    int32_t untilDate) {
    std::vector<std::pair<int32_t, int32_t>> runs;
    for (int guard = 0; guard < 10000; ++guard) {
        const Schedule* due = nullptr;
        for (const auto& [id, r] : store.records())
            if (!r.Completed && !r.Disabled &&
                (!due || CompareDateTime(r.Date, r.Time, due->Date, due->Time) < 0))
                due = &r;
        if (!due || due->Date >= untilDate) break;
        Schedule s = *due;
        if (!s.SkipNextTime) runs.emplace_back(s.Date, s.Time);
        NextScheduleDate(s, s.Date, s.Time);
        if (s.Completed) {
            store.Put(s);
            continue;
        }
        s.SkipNextTime = 0;
        if (RescheduleTask(s, true, store, holidays) == 0) store.Put(s);
    }
    return runs;
}

TEST(RescheduleTask, TimeRangePushNearTheCalendarsEndFallsBackToTheRangeEnd) {
    struct Case {
        std::string name;
        Schedule task;
        int32_t wantDate, wantTime;
        bool completed;
    };
    const std::vector<Case> cases = {
        {"every 100 years", WithRange(Custom(100, "year(s)", D(2025, 3, 3), T(9, 0)), T(8, 0), T(10, 0)),
         D(2025, 3, 3), T(10, 0), false},
        {"every day in the last quarter",
         WithRange(Custom(1, "day(s)", D(9999, 10, 1), T(9, 0)), T(8, 0), T(10, 0)), D(9999, 10, 1), T(10, 0),
         false},
        {"the last day, range ending the next day",
         WithRange(Custom(1, "day(s)", D(9999, 12, 31), T(23, 0)), T(22, 0), T(6, 0)), D(9999, 12, 31),
         T(23, 0), true},
    };
    for (const Case& c : cases) {
        MemoryScheduleStore store;
        Schedule s = Stored(store, c.task);
        EXPECT_EQ(RescheduleTask(s, true, store, {}), 1) << c.name;
        EXPECT_EQ(s.Date, c.wantDate) << c.name;
        EXPECT_EQ(s.Time, c.wantTime) << c.name;
        EXPECT_EQ(s.Completed != 0, c.completed) << c.name;
        Schedule stored;
        ASSERT_EQ(store.Fetch(s.ID, stored), kNoError) << c.name;
        EXPECT_EQ(stored.Completed != 0, c.completed) << c.name;
    }
}

TEST(RescheduleTask, TaskAtTheRangeEndRunsAtEachOccurrence) {
    MemoryScheduleStore store;
    Schedule daily = Stored(store, WithRange(Custom(1, "day(s)", D(2025, 4, 1), T(9, 0)), T(8, 0), T(10, 0)));
    RescheduleTask(daily, true, store, {});
    ASSERT_EQ(daily.Date, D(2025, 4, 1));
    ASSERT_EQ(daily.Time, T(10, 0));
    const auto runs = RunAsTimer(store, {}, D(2025, 4, 4));
    const std::vector<std::pair<int32_t, int32_t>> want = {
        {D(2025, 4, 1), T(10, 0)}, {D(2025, 4, 2), T(10, 0)}, {D(2025, 4, 3), T(10, 0)}};
    EXPECT_EQ(runs, want);

    MemoryScheduleStore weeklyStore;
    Schedule weekly = Stored(weeklyStore, WithRange(Custom(7, "day(s)", D(2015, 4, 9), T(18, 27, 39)),
                                                    T(6, 51, 41), T(18, 27, 39)));
    RescheduleTask(weekly, true, weeklyStore, {});
    EXPECT_EQ(weekly.Date, D(2015, 4, 9));
    EXPECT_EQ(weekly.Time, T(18, 27, 39));
    EXPECT_EQ(weekly.Completed, 0);
}

TEST(RescheduleTask, DailyTaskMovedOffAWeekendRunsOncePerDay) {
    for (const char* shift : {"Next Day", "Previous Day"}) {
        MemoryScheduleStore store;
        Schedule s = Custom(1, "day(s)", D(2024, 7, 4), T(9, 0));
        s.ExceptWeekends = 1;
        s.ShiftType = shift;
        Stored(store, s);
        const auto runs = RunAsTimer(store, {}, D(2024, 7, 17));
        std::vector<std::pair<int32_t, int32_t>> want;
        for (int32_t day : {4, 5, 8, 9, 10, 11, 12, 15, 16}) want.emplace_back(D(2024, 7, day), T(9, 0));
        EXPECT_EQ(runs, want) << shift;
    }
}

TEST(RescheduleTask, WeeklySaturdayTaskRunsOnTheShiftedDayInstead) {
    struct Case {
        const char* shift;
        std::vector<int> runDays;
    } cases[] = {{"Next Day", {8, 15, 22}}, {"Previous Day", {5, 12, 19}}, {"Skip (to Next Valid Day)", {}}};
    for (const Case& c : cases) {
        MemoryScheduleStore store;
        Schedule s = Custom(1, "week(s)", kSat, T(10, 0));
        s.ExceptWeekends = 1;
        s.ShiftType = c.shift;
        s = Stored(store, s);
        // The first occurrence is completed by the form: apply its exceptions.
        RescheduleTask(s, true, store, {});
        const auto runs = RunAsTimer(store, {}, D(2024, 7, 25));
        std::vector<std::pair<int32_t, int32_t>> want;
        for (int day : c.runDays) want.emplace_back(D(2024, 7, day), T(10, 0));
        EXPECT_EQ(runs, want) << c.shift;
    }
}

TEST(RescheduleTask, ShiftedCopyWithTimeRangeWeekendsAndHolidays) {
    MemoryScheduleStore store;
    Schedule s = WithRange(Custom(1, "week(s)", kSat, T(10, 0)), T(22, 0), T(23, 0));
    s.ExceptWeekends = 1;
    s.ExceptHolidays = 1;
    s.ShiftType = "Next Day";
    s.Message = "weekly report";
    s = Stored(store, s);
    Scripting item;
    item.ID = s.ID;
    item.Action = "Send Keys";
    store.AddScriptItem(item);
    item.Action = "Wait";
    store.AddScriptItem(item);

    HolidaySet holidays({kMon});
    EXPECT_EQ(RescheduleTask(s, true, store, holidays.Test()), 1);
    // The task stays due on Saturday, marked to be skipped, and names the copy.
    EXPECT_EQ(s.Date, kSat);
    EXPECT_EQ(s.SkipNextTime, 1);
    ASSERT_NE(s.ExceptionLink, 0);
    Schedule stored;
    ASSERT_EQ(store.Fetch(s.ID, stored), kNoError);
    EXPECT_EQ(stored.SkipNextTime, 1);
    EXPECT_EQ(stored.ExceptionLink, s.ExceptionLink);

    Schedule copy;
    ASSERT_EQ(store.Fetch(s.ExceptionLink, copy), kNoError);
    EXPECT_EQ(copy.ScheduleType.str(), "Once");
    EXPECT_EQ(copy.Date, kTue);  // Monday is a holiday
    EXPECT_EQ(copy.Time, T(10, 0));
    EXPECT_EQ(copy.SkipNextTime, 0);
    EXPECT_EQ(copy.ExceptionLink, 0);
    EXPECT_EQ(copy.Message, "weekly report");
    // The copy carries the task's script.
    const auto items = store.ScriptItems(copy.ID);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Action.str(), "Send Keys");
    EXPECT_EQ(items[1].Action.str(), "Wait");
    EXPECT_EQ(items[1].Sequence, 2);
}

TEST(RescheduleTask, PreviousDayCopyOfAMonthEndRunIsMade) {
    struct Case {
        std::string name;
        Schedule task;
        int32_t copyDate;
    };
    Schedule monthly = Task("Monthly", D(2025, 3, 30), T(9, 0));
    monthly.MonthRepeat = "Once";
    monthly.ExceptWeekends = 1;
    Schedule yearly = Task("Yearly", D(2024, 2, 29), T(9, 0));
    yearly.ExceptOther = "    Y"; // Thursdays
    Schedule quarterly = Custom(3, "month(s)", D(2051, 5, 30), T(9, 0));
    quarterly.ExceptWeekdays = 1;
    const auto dated = [](Schedule s, int32_t date) {
        s.Date = date;
        return s;
    };
    const std::vector<Case> cases = {
        {"monthly on Sunday the 30th", monthly, D(2025, 3, 28)},
        {"monthly on Saturday the 31st", dated(monthly, D(2025, 5, 31)), D(2025, 5, 30)},
        {"monthly on Saturday the 29th", dated(monthly, D(2025, 3, 29)), D(2025, 3, 28)},
        {"yearly on a leap day", yearly, D(2024, 2, 28)},
        {"every 3 months on a Tuesday the 30th", quarterly, D(2051, 5, 28)},
    };
    for (const Case& c : cases) {
        MemoryScheduleStore store;
        Schedule s = c.task;
        s.ShiftType = "Previous Day";
        s = Stored(store, s);
        const int32_t due = s.Date;
        EXPECT_EQ(RescheduleTask(s, true, store, {}), 1) << c.name;
        EXPECT_EQ(s.Date, due) << c.name;
        EXPECT_EQ(s.SkipNextTime, 1) << c.name;
        Schedule copy;
        ASSERT_EQ(store.Fetch(s.ExceptionLink, copy), kNoError) << c.name;
        EXPECT_EQ(copy.ScheduleType.str(), "Once") << c.name;
        EXPECT_EQ(copy.Date, c.copyDate) << c.name;
        EXPECT_EQ(copy.Time, T(9, 0)) << c.name;
    }
}

TEST(RescheduleTask, EarlierCopyKeptOrDeleted) {
    for (bool keep : {true, false}) {
        MemoryScheduleStore store;
        Schedule s = Custom(1, "week(s)", kSat, T(10, 0));
        s.ExceptWeekends = 1;
        s.ShiftType = "Next Day";
        s = Stored(store, s);
        Scripting item;
        item.ID = s.ID;
        store.AddScriptItem(item);
        RescheduleTask(s, keep, store, {});
        const int32_t first = s.ExceptionLink;
        s.Date = kSat + 7;
        s.SkipNextTime = 0;
        RescheduleTask(s, keep, store, {});
        EXPECT_NE(s.ExceptionLink, first);
        Schedule earlier;
        EXPECT_EQ(store.Fetch(first, earlier) == kNoError, keep);
        EXPECT_EQ(store.ScriptItems(first).empty(), !keep);
        EXPECT_EQ(store.Count(), 3 - (keep ? 0 : 1));
    }
}

// A weekly Saturday task moved to Monday, with one script item, stored.
Schedule ShiftedSaturdayTask(MemoryScheduleStore& store) {
    Schedule s = Custom(1, "week(s)", kSat, T(10, 0));
    s.ExceptWeekends = 1;
    s.ShiftType = "Next Day";
    s = Stored(store, s);
    Scripting item;
    item.ID = s.ID;
    item.Action = "Send Keys";
    store.AddScriptItem(item);
    return s;
}

TEST(RescheduleTask, AShiftsCopyLinkOrScriptNotStoredIsHandedBackAndCompletedLater) {
    enum class Fail { Copy, Items, Link };
    struct Case {
        const char* name;
        Fail fail;
        bool copy, items, link;  // what is handed back as missing
    } cases[] = {{"the copy", Fail::Copy, true, true, true},
                 {"the script items", Fail::Items, false, true, false},
                 {"the link", Fail::Link, false, false, true}};
    for (const Case& c : cases) {
        MemoryScheduleStore store;
        Schedule s = ShiftedSaturdayTask(store);
        if (c.fail == Fail::Copy) store.FailNextAdd(kDriverError);
        if (c.fail == Fail::Items) store.FailNextCopy(kDriverError);
        if (c.fail == Fail::Link) store.FailNextPut(kDriverError, 1);  // the task's own Put goes through
        ShiftShortfall missing;
        // 1 still means the task's record was stored: due Saturday, skipped.
        EXPECT_EQ(RescheduleTask(s, true, store, {}, &missing), 1) << c.name;
        Schedule task;
        ASSERT_EQ(store.Fetch(s.ID, task), kNoError);
        EXPECT_EQ(task.Date, kSat) << c.name;
        EXPECT_EQ(task.SkipNextTime, 1) << c.name;
        EXPECT_EQ(missing.copy, c.copy) << c.name;
        EXPECT_EQ(missing.scriptItems, c.items) << c.name;
        EXPECT_EQ(missing.link, c.link) << c.name;

        // Tried again, only what is missing is stored: one copy on Monday
        // with one script item, named by the task.
        EXPECT_EQ(CompleteShift(missing, store), ShiftOutcome::Stored) << c.name;
        EXPECT_FALSE(missing.Any()) << c.name;
        EXPECT_EQ(store.Count(), 2) << c.name;
        ASSERT_EQ(store.Fetch(s.ID, task), kNoError);
        Schedule copy;
        ASSERT_EQ(store.Fetch(task.ExceptionLink, copy), kNoError) << c.name;
        EXPECT_EQ(copy.ScheduleType.str(), "Once") << c.name;
        EXPECT_EQ(copy.Date, kMon) << c.name;
        EXPECT_EQ(copy.SkipNextTime, 0) << c.name;
        EXPECT_EQ(store.ScriptItems(copy.ID).size(), 1u) << c.name;
        EXPECT_EQ(CompleteShift(missing, store), ShiftOutcome::Stored) << "nothing left to do";
        EXPECT_EQ(store.Count(), 2) << c.name;
    }
}

TEST(RescheduleTask, AMissingShiftCopyIsMadeFromTheTaskAsStoredAndGivenUpOnceTheTaskMoved) {
    MemoryScheduleStore store;
    Schedule s = ShiftedSaturdayTask(store);
    store.FailNextAdd(kDriverError);
    ShiftShortfall missing;
    ASSERT_EQ(RescheduleTask(s, true, store, {}, &missing), 1);
    ASSERT_TRUE(missing.copy);
    // Still failing: nothing is made, all of it still owed.
    store.FailNextAdd(kDriverError);
    EXPECT_EQ(CompleteShift(missing, store), ShiftOutcome::Pending);
    EXPECT_TRUE(missing.copy && missing.scriptItems && missing.link);
    // An edit of the description meanwhile goes into the copy.
    Schedule task;
    ASSERT_EQ(store.Fetch(s.ID, task), kNoError);
    task.Description = "Edited";
    ASSERT_EQ(store.Put(task), kNoError);
    ShiftShortfall again = missing;
    EXPECT_EQ(CompleteShift(again, store), ShiftOutcome::Stored);
    Schedule copy;
    ASSERT_EQ(store.Fetch(task.ID + 1, copy), kNoError);
    EXPECT_EQ(copy.Description.str(), "Edited");

    // The task moved off the skipped Saturday meanwhile: no copy is made.
    MemoryScheduleStore moved;
    Schedule t = ShiftedSaturdayTask(moved);
    moved.FailNextAdd(kDriverError);
    ASSERT_EQ(RescheduleTask(t, true, moved, {}, &missing), 1);
    ASSERT_EQ(moved.Fetch(t.ID, task), kNoError);
    task.Date = kTue;
    task.SkipNextTime = 0;
    ASSERT_EQ(moved.Put(task), kNoError);
    EXPECT_EQ(CompleteShift(missing, moved), ShiftOutcome::GaveUp);
    EXPECT_EQ(moved.Count(), 1);
}

TEST(RescheduleTask, SkipShiftKeepsTheDayWithoutCopy) {
    MemoryScheduleStore store;
    Schedule s = Custom(1, "week(s)", kSun, T(10, 0));
    s.ExceptOther = "Y";
    s.ShiftType = "Skip (to Next Valid Day)";
    s = Stored(store, s);
    EXPECT_EQ(RescheduleTask(s, true, store, {}), 1);
    EXPECT_EQ(s.Date, kSun);
    EXPECT_EQ(s.SkipNextTime, 1);
    EXPECT_EQ(store.Count(), 1);
}

TEST(RescheduleTask, EveryDayExcludedMakesNoCopy) {
    MemoryScheduleStore store;
    Schedule s = Custom(1, "week(s)", kSun, T(10, 0));
    s.ExceptOther = "YYYYYYY";
    s.ShiftType = "Next Day";
    s = Stored(store, s);
    EXPECT_EQ(RescheduleTask(s, true, store, {}), 1);
    EXPECT_EQ(s.SkipNextTime, 1);
    EXPECT_EQ(s.ExceptionLink, 0);
    EXPECT_EQ(store.Count(), 1);
}

TEST(RescheduleTask, WhichDaysAreExcluded) {
    Schedule s = Custom(1, "day(s)", kSat, T(10, 0));
    HolidaySet holidays({kTue});
    s.ExceptWeekends = 1;
    EXPECT_TRUE(IsExcludedDay(s, kSat, {}));
    EXPECT_TRUE(IsExcludedDay(s, kSun, {}));
    EXPECT_FALSE(IsExcludedDay(s, kMon, {}));
    s = Custom(1, "day(s)", kSat, T(10, 0));
    s.ExceptWeekdays = 1;
    EXPECT_FALSE(IsExcludedDay(s, kSat, {}));
    EXPECT_TRUE(IsExcludedDay(s, kFri, {}));
    s = Custom(1, "day(s)", kSat, T(10, 0));
    s.ExceptHolidays = 1;
    EXPECT_TRUE(IsExcludedDay(s, kTue, holidays.Test()));
    EXPECT_FALSE(IsExcludedDay(s, kMon, holidays.Test()));
    EXPECT_FALSE(IsExcludedDay(s, kTue, HolidaySet().Test()));
    s = Custom(1, "day(s)", kSat, T(10, 0));
    s.ExceptOther = "     Y";  // Friday only
    EXPECT_TRUE(IsExcludedDay(s, kFri, {}));
    EXPECT_FALSE(IsExcludedDay(s, kSat, {}));
}

TEST(RescheduleTask, WeekendsDropTheWeekdayException) {
    MemoryScheduleStore store;
    Schedule s = WithRange(Custom(1, "day(s)", kTue, T(10, 0)), T(22, 0), T(23, 0));
    s.ExceptWeekends = 1;
    s.ExceptWeekdays = 1;
    s = Stored(store, s);
    EXPECT_EQ(RescheduleTask(s, true, store, {}), 0);
    EXPECT_EQ(s.ExceptWeekdays, 0);
    EXPECT_EQ(s.Date, kTue);
}

TEST(RescheduleTask, DayExceptionsApplyWithoutTimeRange) {
    MemoryScheduleStore store;
    Schedule s = Custom(1, "week(s)", kSat, T(10, 0));
    s.ExceptWeekends = 1;
    s.ShiftType = "Next Day";
    s = Stored(store, s);
    EXPECT_EQ(RescheduleTask(s, true, store, {}), 1);
    EXPECT_EQ(s.SkipNextTime, 1);
    EXPECT_EQ(store.Count(), 2);
}

TEST(RescheduleTask, OnceAndDayOfWeekCarryNoExceptions) {
    for (const char* type : {"Once", "Day of Week"}) {
        MemoryScheduleStore store;
        Schedule s = WithRange(Task(type, kSat, T(12, 30)), T(12, 0), T(13, 0));
        s.ExceptWeekends = 1;
        s.ExceptHolidays = 1;
        s.ExceptOther = "Y";
        s = Stored(store, s);
        EXPECT_EQ(RescheduleTask(s, true, store, {}), 0) << type;
        EXPECT_EQ(s.ExceptTime + s.ExceptWeekends + s.ExceptHolidays, 0) << type;
        EXPECT_EQ(s.ExceptTimeBegin, 0);
        EXPECT_EQ(s.ExceptTimeEnd, 0);
        EXPECT_TRUE(s.ExceptOther.empty());
        EXPECT_EQ(s.Time, T(12, 30));
        EXPECT_EQ(store.puts(), 0);
    }
}

// A store whose idea of the highest ID lags behind, so that the copy's first
// choice of ID is taken.
class LaggingStore : public MemoryScheduleStore {
public:
    int32_t LastID() override { return 1; }
};

TEST(AddScheduleCopy, NextFreeID) {
    MemoryScheduleStore empty;
    Schedule s = Task("Once", kSat, T(10, 0));
    EXPECT_EQ(AddScheduleCopy(empty, s), kNoError);
    EXPECT_EQ(s.ID, 1);
    s.ID = 41;
    empty.Add(s);
    EXPECT_EQ(AddScheduleCopy(empty, s), kNoError);
    EXPECT_EQ(s.ID, 42);

    LaggingStore lagging;
    for (int32_t id : {1, 2, 3}) {
        s.ID = id;
        lagging.Add(s);
    }
    EXPECT_EQ(AddScheduleCopy(lagging, s), kNoError);
    EXPECT_EQ(s.ID, 4);
}

}  // namespace
}  // namespace kr
