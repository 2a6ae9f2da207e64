#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/runtime/ErrorCodes.h"
#include "scheduler/Reschedule.h"
#include "scheduler/ScheduleDefaults.h"
#include "SchedulerTestSupport.h"

namespace kr {
namespace {

using test::Custom;
using test::D;
using test::T;
using test::Task;
using test::Weekdays;

CompletionSettings Settings() {
    CompletionSettings s;
    s.userID = "maria";
    s.formatUserDate = [](int32_t date) { return "day " + std::to_string(date); };
    return s;
}

TEST(CompleteScheduleRecord, Descriptions) {
    struct Case {
        std::string taskType, command, message;
        int32_t id;
        std::string wantCommand, wantDescription;
    };
    test::ScopedServices services;  // today is 1 July 2024
    const std::string today = "day " + std::to_string(D(2024, 7, 1));
    std::vector<Case> cases = {
        {"Run Program", "", "", 7, "N/A", "Script: " + today},
        {"Run Program", "n/a", "", 7, "n/a", "Script: " + today},
        {"Run Program", "/usr/bin/backup --all", "", 7, "/usr/bin/backup --all", "Run: /usr/bin/backup --all"},
        {"Both", "", "", 7, "N/A", "Message/Run Program"},
        {"Hot Key", "", "", 12, "N/A", "Hot Key 12"},
        {"Display Message", "", "Water the plants", 7, "", "Message: Water the plants"},
        {"None", "", "Call the dentist about the appointment next week", 7, "",
         "Reminder: Call the dentist about the app"},
    };
    for (const Case& c : cases) {
        MemoryScheduleStore store;
        Schedule s = Custom(1, "day(s)", D(2024, 7, 2), T(9, 0));
        s.TaskType = c.taskType;
        s.Command = c.command;
        s.Message = c.message;
        s.ID = c.id;
        CompleteScheduleRecord(s, store, Settings());
        EXPECT_EQ(s.Command.str(), c.wantCommand) << c.taskType;
        EXPECT_EQ(s.Description.str(), c.wantDescription) << c.taskType;
        EXPECT_EQ(s.Category.str(), "General");
        EXPECT_EQ(s.NetworkUser.str(), "maria");
        EXPECT_EQ(s.LastChangeDate, D(2024, 7, 1));
        EXPECT_EQ(s.LastChangeTime, T(8, 0));
        EXPECT_EQ(s.OriginalID, c.id);
    }
}

TEST(CompleteScheduleRecord, KeepsWhatIsFilledAndAppliesExceptions) {
    test::ScopedServices services;
    MemoryScheduleStore store;
    // 6 July 2024 is a Saturday.
    Schedule s = Custom(1, "week(s)", D(2024, 7, 6), T(9, 0));
    s.Description = "Weekly backup";
    s.Category = "Work";
    s.OriginalID = 3;
    s.ExceptWeekends = 1;
    s.ShiftType = "Next Day";
    AddScheduleCopy(store, s);
    CompleteScheduleRecord(s, store, Settings());
    EXPECT_EQ(s.Description.str(), "Weekly backup");
    EXPECT_EQ(s.Category.str(), "Work");
    EXPECT_EQ(s.OriginalID, 3);
    EXPECT_EQ(s.SkipNextTime, 1);
    Schedule copy;
    ASSERT_EQ(store.Fetch(s.ExceptionLink, copy), kNoError);
    EXPECT_EQ(copy.Date, D(2024, 7, 8));
}

TEST(DescribeSchedule, ByScheduleType) {
    struct Case {
        std::string want;
        Schedule task;
    };
    auto with = [](Schedule s, auto change) {
        change(s);
        return s;
    };
    std::vector<Case> cases = {
        {"Once", Task("Once", 0, 0)},
        {"Yearly", Task("Yearly", 0, 0)},
        {"Monthly", Task("Monthly", 0, 0)},
        {"Twice Monthly", with(Task("Monthly", 0, 0), [](Schedule& s) { s.MonthRepeat = "Twice - 1st, 15th"; })},
        {"Twice Monthly (-1)", with(Task("Monthly", 0, 0), [](Schedule& s) {
             s.MonthRepeat = "Twice - 15th, Last";
             s.Offset = -1;
         })},
        {"Days: Mon, Wed, Fri", with(Task("Day of Week", 0, 0), [](Schedule& s) { Weekdays(s, "-x-x-x-"); })},
        {"Days: Sun, Sat", with(Task("Day of Week", 0, 0), [](Schedule& s) { Weekdays(s, "x-----x"); })},
        {"Days: 1st, 3rd: Mon", with(Task("Day of Month", 0, 0), [](Schedule& s) {
             Weekdays(s, "-x-----");
             s.Every1st = s.Every3rd = 1;
         })},
        {"Days: 2nd, Last: Fri", with(Task("Day of Month", 0, 0), [](Schedule& s) {
             Weekdays(s, "-----x-");
             s.Every2nd = s.EveryLast = 1;
         })},
        {"Every 2 day(s) (exceptions exist)", with(Custom(2, "day(s)", 0, 0), [](Schedule& s) { s.ExceptTime = 1; })},
        {"Every 15 minute(s)", Custom(15, "minute(s)", 0, 0)},
        {"Monthly (exceptions exist)", with(Task("Monthly", 0, 0), [](Schedule& s) { s.ExceptOther = "Y"; })},
    };
    for (const Case& c : cases) EXPECT_EQ(DescribeSchedule(c.task), c.want);
    Schedule many = Task("Day of Month", 0, 0);
    Weekdays(many, "xxxxxxx");
    many.Every1st = many.Every2nd = many.Every3rd = many.Every4th = many.EveryLast = 1;
    many.ExceptHolidays = 1;
    EXPECT_LE(DescribeSchedule(many).size(), 80u);
}

}  // namespace
}  // namespace kr
