#include <gtest/gtest.h>

#include <vector>

#include "SchedulerTestSupport.h"
#include "platform/runtime/ErrorCodes.h"
#include "scheduler/DateValues.h"
#include "scheduler/NextOccurrence.h"
#include "scheduler/ReDate.h"
#include "scheduler/Reschedule.h"

namespace kr {
namespace {

using test::Custom;
using test::D;
using test::T;
using test::Task;
using test::Weekdays;

Schedule Get(MemoryScheduleStore& store, int32_t id) {
    Schedule s;
    EXPECT_EQ(store.Fetch(id, s), kNoError);
    return s;
}

int32_t Put(MemoryScheduleStore& store, Schedule s) {
    AddScheduleCopy(store, s);
    return s.ID;
}

TEST(RescheduleAllTasks, MovesRepeatingTasksToTheirFirstOccurrenceAfterTheMoment) {
    test::ScopedServices services;  // today is Monday 1 July 2024, 08:00
    MemoryScheduleStore store;
    const int32_t daily = Put(store, Custom(1, "day(s)", D(2024, 6, 24), T(9, 0)));
    Schedule monday = Task("Day of Week", D(2024, 6, 24), T(9, 0));
    Weekdays(monday, "-x-----");
    const int32_t weekly = Put(store, monday);
    // A one-minute task some weeks ahead steps back in one jump.
    const int32_t minutely = Put(store, Custom(1, "minute(s)", D(2024, 9, 1), T(0, 0)));
    const int32_t monthly = Put(store, Task("Monthly", D(2023, 1, 31), T(9, 0)));
    const int32_t ahead = Put(store, Custom(1, "day(s)", D(2024, 12, 1), T(9, 0)));

    // Tomorrow 08:00.
    EXPECT_EQ(RescheduleAllTasks(store, D(2024, 7, 2), T(8, 0)), ReDater::State::Finished);
    EXPECT_EQ(Get(store, daily).Date, D(2024, 7, 2));
    EXPECT_EQ(Get(store, daily).Time, T(9, 0));
    EXPECT_EQ(Get(store, weekly).Date, D(2024, 7, 8));
    EXPECT_EQ(Get(store, minutely).Date, D(2024, 7, 2));
    EXPECT_EQ(Get(store, minutely).Time, T(8, 1));
    // Walking forward from January 2023 clamps to the 28th in February.
    EXPECT_EQ(Get(store, monthly).Date, D(2024, 7, 28));
    // A task further ahead is brought back to its first occurrence after the moment.
    EXPECT_EQ(Get(store, ahead).Date, D(2024, 7, 2));
    EXPECT_TRUE(services.responder.shown().empty());
}

TEST(RescheduleAllTasks, MonthEndTaskBroughtBackKeepsItsDay) {
    struct Case {
        const char* name;
        Schedule task;
        int32_t date, time;
        int32_t want;
    };
    const std::vector<Case> cases = {
        {"monthly 31st, moment in the short month before", Task("Monthly", D(2025, 3, 31), T(9, 0)),
         D(2025, 3, 1), T(8, 0), D(2025, 3, 31)},
        {"monthly 31st, moment two months before", Task("Monthly", D(2025, 3, 31), T(9, 0)), D(2025, 1, 29),
         T(12, 0), D(2025, 1, 31)},
        {"monthly 30th, moment in February", Task("Monthly", D(2025, 3, 30), T(9, 0)), D(2025, 2, 10),
         T(8, 0), D(2025, 2, 28)},
        {"yearly leap day", Task("Yearly", D(2028, 2, 29), T(9, 0)), D(2028, 1, 1), T(8, 0), D(2028, 2, 29)},
        {"every 3 months, 30th", Custom(3, "month(s)", D(2026, 5, 30), T(9, 0)), D(2026, 3, 1), T(8, 0),
         D(2026, 5, 30)},
        {"monthly 31st, moment after it", Task("Monthly", D(2025, 3, 31), T(9, 0)), D(2025, 4, 2), T(8, 0),
         D(2025, 4, 30)},
    };
    for (const Case& c : cases) {
        MemoryScheduleStore store;
        const int32_t id = Put(store, c.task);
        EXPECT_EQ(RescheduleAllTasks(store, c.date, c.time), ReDater::State::Finished) << c.name;
        EXPECT_EQ(Get(store, id).Date, c.want) << c.name << ": got " << DateToYYYYMMDD(Get(store, id).Date);
        EXPECT_EQ(Get(store, id).Time, T(9, 0)) << c.name;
    }
}

TEST(RescheduleAllTasks, WeeklyTaskRunningBeforeTheMomentGoesToTheNextWeek) {
    MemoryScheduleStore store;
    Schedule monday = Task("Day of Week", D(2024, 7, 1), T(9, 0));
    Weekdays(monday, "-x-----");
    const int32_t id = Put(store, monday);
    RescheduleAllTasks(store, D(2024, 7, 1), T(10, 0));
    EXPECT_EQ(Get(store, id).Date, D(2024, 7, 8));
    EXPECT_EQ(Get(store, id).Time, T(9, 0));
}

TEST(RescheduleAllTasks, PassesOverTasksThatKeepTheirDates) {
    MemoryScheduleStore store;
    Schedule hotKey = Custom(1, "day(s)", D(2024, 1, 1), T(9, 0));
    hotKey.TaskType = "Hot Key";
    Schedule completed = Custom(1, "day(s)", D(2024, 1, 1), T(9, 0));
    completed.Completed = 1;
    Schedule noTime = Custom(1, "day(s)", D(2024, 1, 1), 0);
    Schedule once = Task("Once", D(2024, 1, 1), T(9, 0));
    std::vector<int32_t> ids = {Put(store, hotKey), Put(store, completed), Put(store, noTime), Put(store, once)};
    RescheduleAllTasks(store, D(2024, 7, 2), T(8, 0));
    EXPECT_EQ(store.puts(), 0);
    for (int32_t id : ids) EXPECT_EQ(Get(store, id).Date, D(2024, 1, 1));
    // A pending one-off task stays pending, so clearing completed tasks keeps it.
    EXPECT_EQ(Get(store, ids[3]).Completed, 0);
    EXPECT_EQ(Get(store, ids[3]).Time, T(9, 0));
}

TEST(RescheduleAllTasks, AppliesExceptionsAndDropsAnOldSkipMark) {
    MemoryScheduleStore store;
    // 6 July 2024 is a Saturday; the task was marked to skip an old occurrence.
    Schedule s = Custom(1, "day(s)", D(2024, 6, 1), T(9, 0));
    s.ExceptWeekends = 1;
    s.SkipNextTime = 1;
    const int32_t id = Put(store, s);
    RescheduleAllTasks(store, D(2024, 7, 5), T(10, 0));
    Schedule after = Get(store, id);
    EXPECT_EQ(after.Date, D(2024, 7, 6));
    EXPECT_EQ(after.SkipNextTime, 1);  // Saturday is skipped
    s.Date = D(2024, 6, 1);
    const int32_t second = Put(store, s);
    RescheduleAllTasks(store, D(2024, 7, 2), T(10, 0));
    EXPECT_EQ(Get(store, second).Date, D(2024, 7, 3));
    EXPECT_EQ(Get(store, second).SkipNextTime, 0);
}

TEST(RescheduleAllTasks, RunsInChunksWithProgressAndCancel) {
    MemoryScheduleStore store;
    for (int i = 0; i < 25; ++i) Put(store, Custom(1, "day(s)", D(2024, 1, 1), T(9, 0)));
    ReDater pass(store, D(2024, 7, 2), T(8, 0));
    std::vector<int> progress;
    pass.onProgress = [&] {
        progress.push_back(pass.done());
        EXPECT_EQ(pass.total(), 25);
    };
    EXPECT_TRUE(pass.Step(10));
    EXPECT_TRUE(pass.Step(10));
    EXPECT_EQ(pass.done(), 20);
    pass.Cancel();
    EXPECT_FALSE(pass.Step(10));
    EXPECT_EQ(pass.state(), ReDater::State::Cancelled);
    EXPECT_EQ(progress, (std::vector<int>{10, 20}));
    EXPECT_EQ(store.puts(), 20);
    EXPECT_EQ(Get(store, 25).Date, D(2024, 1, 1));
}

TEST(RescheduleAllTasks, FailedWriteEndsThePass) {
    MemoryScheduleStore store;
    for (int i = 0; i < 3; ++i) Put(store, Custom(1, "day(s)", D(2024, 1, 1), T(9, 0)));
    store.FailNextPut(kDiskFull);
    ReDater pass(store, D(2024, 7, 2), T(8, 0));
    while (pass.Step(2)) {
    }
    EXPECT_EQ(pass.state(), ReDater::State::Failed);
    EXPECT_EQ(pass.error(), kDiskFull);
    EXPECT_EQ(pass.done(), 1);
    EXPECT_EQ(Get(store, 2).Date, D(2024, 1, 1));
}

TEST(RescheduleAllTasks, TaskWithoutOccurrenceIsReportedAndSkipped) {
    test::ScopedServices services;
    MemoryScheduleStore store;
    // A step of two thousand million months leaves the calendar.
    const int32_t stuck = Put(store, Custom(2000000000, "month(s)", D(2024, 1, 1), T(9, 0)));
    const int32_t fine = Put(store, Custom(1, "day(s)", D(2024, 1, 1), T(9, 0)));
    ReDater pass(store, D(2024, 7, 2), T(8, 0));
    while (pass.Step(100)) {
    }
    EXPECT_EQ(pass.state(), ReDater::State::Finished);
    ASSERT_EQ(pass.failures().size(), 1u);
    EXPECT_EQ(pass.failures()[0].rfind("Failed on Custom(month(s),", 0), 0u);
    ASSERT_EQ(services.responder.shown().size(), 1u);
    EXPECT_EQ(services.responder.shown()[0].request.title, "Debug Previous");
    Schedule s = Get(store, stuck);
    EXPECT_EQ(s.Date, D(2024, 1, 1));
    EXPECT_EQ(s.Completed, 0);
    EXPECT_EQ(Get(store, fine).Date, D(2024, 7, 2));
}

TEST(RescheduleAllTasks, AMomentAtTheCalendarsStartFindsTheFirstOccurrenceAfterIt) {
    test::ScopedServices services;
    MemoryScheduleStore store;
    // No occurrence of these lies before 1 January 1801 00:30 within the
    // calendar: each goes to its first one after it.
    const int32_t monthly = Put(store, Task("Monthly", D(2024, 3, 15), T(9, 0)));
    const int32_t yearly = Put(store, Task("Yearly", D(2024, 6, 1), T(9, 0)));
    const int32_t tenDays = Put(store, Custom(10, "day(s)", D(2024, 7, 10), T(9, 0)));
    const int32_t nineDays = Put(store, Custom(9 * 24, "hour(s)", D(2024, 7, 10), T(9, 0)));
    Schedule semi = Task("Monthly", D(2024, 7, 15), T(9, 0));
    semi.MonthRepeat = "Twice - 1st, 15th";
    const int32_t twice = Put(store, semi);

    EXPECT_EQ(RescheduleAllTasks(store, D(1801, 1, 1), T(0, 30)), ReDater::State::Finished);
    EXPECT_TRUE(services.responder.shown().empty()) << services.responder.shown()[0].request.text;
    EXPECT_EQ(Get(store, monthly).Date, D(1801, 1, 15));
    EXPECT_EQ(Get(store, yearly).Date, D(1801, 6, 1));
    // The first day from 1 January 1801 on that lies a whole number of
    // steps before the task's own date.
    auto firstFrom = [](int32_t own, int32_t step) { return own - (own - D(1801, 1, 1)) / step * step; };
    EXPECT_EQ(Get(store, tenDays).Date, firstFrom(D(2024, 7, 10), 10));
    EXPECT_EQ(Get(store, nineDays).Date, firstFrom(D(2024, 7, 10), 9));
    EXPECT_EQ(Get(store, nineDays).Time, T(9, 0));
    EXPECT_EQ(Get(store, twice).Date, D(1801, 1, 1));
    for (int32_t id : {monthly, yearly, tenDays, nineDays, twice}) EXPECT_EQ(Get(store, id).Time, T(9, 0));
}

TEST(ReDateWindow, StartMomentAndFutureCheck) {
    test::ScopedServices services;  // 1 July 2024, 08:00
    int32_t d = D(2024, 6, 1), t = T(9, 0);
    ReDateStartMoment(d, t);
    EXPECT_EQ(d, D(2024, 7, 1));
    EXPECT_EQ(t, T(8, 1));
    d = D(2024, 7, 1), t = T(8, 0, 30);
    ReDateStartMoment(d, t);
    EXPECT_EQ(t, T(8, 1));
    d = D(2024, 7, 3), t = T(7, 0);
    ReDateStartMoment(d, t);
    EXPECT_EQ(d, D(2024, 7, 3));
    EXPECT_EQ(t, T(7, 0));
    services.clock.Set(D(2024, 7, 1), T(23, 59, 30));
    d = 0, t = 0;
    ReDateStartMoment(d, t);
    EXPECT_EQ(d, D(2024, 7, 2));
    EXPECT_EQ(t, T(0, 0, 30));

    services.clock.Set(D(2024, 7, 1), T(8, 0));
    EXPECT_TRUE(CheckReDateMoment(D(2024, 7, 1), T(8, 1)));
    EXPECT_TRUE(CheckReDateMoment(D(2024, 7, 2), T(0, 0)));
    EXPECT_TRUE(services.responder.shown().empty());
    EXPECT_FALSE(CheckReDateMoment(D(2024, 7, 1), T(8, 0, 59)));
    EXPECT_FALSE(CheckReDateMoment(D(2024, 6, 30), T(23, 0)));
    ASSERT_EQ(services.responder.shown().size(), 2u);
    EXPECT_EQ(services.responder.shown()[0].request.text, "The date and time entered must be in the future.");
    EXPECT_EQ(services.responder.shown()[0].request.title, "Error");
}

}  // namespace
}  // namespace kr
